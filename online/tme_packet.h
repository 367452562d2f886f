// One message of the online-service datagram protocol: a memory stream holding the payload,
// with the header fields the reliability layer gives it. Write the payload with the stream's
// write calls, rewind, then read it with the read calls.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/tbuffer.h"

class TMEPacket : public TBuffer {
public:
    static constexpr uint32_t kInitialCapacity = 512;

    TMEPacket();
    TMEPacket(const void* bytes, uint32_t length);

    uint32_t Size() const { return GetDataLength(); }
    // Copies the whole content into dest, which must hold Size() bytes.
    void CopyOut(void* dest) const;
    std::vector<uint8_t> Content() const;
    // Replaces the content by the bytes and rewinds.
    void Replace(const void* bytes, uint32_t length);
    // The content for in-place work (scrambling).
    uint8_t* MutableData() { return GetBuffer()->GetData(); }
    // Room for at least this many bytes without another allocation.
    void Reserve(uint32_t bytes);
    uint32_t Capacity() const { return GetBuffer()->GetAllocated(); }
    // Empties the packet for reuse: no content, no recorded error, header fields zero; the
    // allocation stays.
    void Clear();

    uint8_t sequence = 0;  // 0: an unsequenced control packet
    uint8_t ack = 0;
    uint8_t tries = 0;
    double sendTime = 0.0;
    uint32_t deliveryTag = 0;
};
