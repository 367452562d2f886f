#include "online/tme_packet.h"

#include <cstring>

TMEPacket::TMEPacket() {
    GetBuffer()->Grow(kInitialCapacity);
}

TMEPacket::TMEPacket(const void* bytes, uint32_t length) : TMEPacket() {
    Replace(bytes, length);
}

void TMEPacket::CopyOut(void* dest) const {
    if (GetDataLength() > 0) std::memcpy(dest, GetData(), GetDataLength());
}

std::vector<uint8_t> TMEPacket::Content() const {
    return std::vector<uint8_t>(GetData(), GetData() + GetDataLength());
}

void TMEPacket::Replace(const void* bytes, uint32_t length) {
    Reset();
    if (length > 0) Write(bytes, length);
    Rewind();
}

void TMEPacket::Reserve(uint32_t bytes) {
    Kiv::DynamicBuffer* buffer = GetBuffer();
    if (bytes > buffer->GetAllocated()) buffer->Grow(bytes - buffer->GetAllocated());
}

void TMEPacket::Clear() {
    Reset();
    ClearError();
    sequence = 0;
    ack = 0;
    tries = 0;
    sendTime = 0.0;
    deliveryTag = 0;
}
