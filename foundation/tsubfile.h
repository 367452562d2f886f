// TSubFile: a window [start, end] over another stream, read and written through it. Archives
// hand out their members' bytes this way.
#pragma once

#include "foundation/tstream.h"

class TSubFile : public TStream {
public:
    // The current position starts at the parent's position (not at start).
    TSubFile(TStream* parent, uint32_t start, uint32_t end);

    void Reset() override {}
    uint32_t Tell() override { return current_ - start_ - unread_; }
    bool IsOpen() override { return parent_->IsOpen(); }
    uint32_t Write(const void* data, uint32_t n) override;
    bool AtEnd() override;

protected:
    bool SeekDevice(int64_t offset, int origin) override;
    uint32_t ReadDevice(void* dest, uint32_t n) override;

private:
    TStream* parent_;
    uint32_t start_;
    uint32_t end_;
    uint32_t current_;
};
