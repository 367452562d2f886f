// TBuffer: the memory stream. Requests, replies, archives and packets are built in one.
#pragma once

#include <memory>

#include "foundation/tstream.h"
#include "platform/kiv/base/dynamic_buffer.h"

class TBuffer : public TStream {
public:
    // Over a fresh dynamic buffer of its own.
    TBuffer();
    // Over a given dynamic buffer, destroyed with the stream when `owns` is set.
    TBuffer(Kiv::DynamicBuffer* buffer, bool owns);
    // Over a copy of the given bytes, positioned at the start (for reading).
    TBuffer(const void* data, uint32_t n);
    ~TBuffer() override;

    void Reset() override;
    uint32_t Tell() override;
    bool IsOpen() override { return true; }
    uint32_t Write(const void* data, uint32_t n) override;
    bool AtEnd() override;

    Kiv::DynamicBuffer* GetBuffer() { return buffer_; }
    const Kiv::DynamicBuffer* GetBuffer() const { return buffer_; }
    const uint8_t* GetData() const { return buffer_->GetData(); }
    uint32_t GetDataLength() const { return buffer_->GetLength(); }

protected:
    bool SeekDevice(int64_t offset, int origin) override;
    uint32_t ReadDevice(void* dest, uint32_t n) override;

private:
    Kiv::DynamicBuffer* buffer_;
    bool owns_;
};
