// TDBDataChunk: a value of a loaded binary soup, seen through the read view. It refers to the
// loaded bytes without a copy, or holds a copy where the bytes needed one (misaligned numbers,
// text given a NUL or converted to UTF-8). It cannot be changed in place; a new value is set by
// replacing the child in its container.
#pragma once

#include "configdata/soup_node.h"

class TDBDataChunk : public ACSChunk {
public:
    // Over `size` bytes at `data`: bytes of the file's body, or of `copy`.
    TDBDataChunk(CountedRef<TDBBinaryFile> file, SoupNodeLocation location, uint32_t type,
                 const uint8_t* data, uint32_t size, ACSRawDataRef copy = {})
        : file_(std::move(file)),
          location_(location),
          copy_(std::move(copy)),
          data_(size != 0 ? data : nullptr),
          size_(data != nullptr ? size : 0),
          type_(type) {}

    const void* GetData() const override { return data_; }
    uint32_t GetDataSize() const override { return size_; }
    uint32_t GetType() const override { return type_; }

    const TDBBinaryFile* GetFile() const { return file_.Get(); }
    SoupNodeLocation GetLocation() const { return location_; }

private:
    CountedRef<TDBBinaryFile> file_;
    SoupNodeLocation location_;
    ACSRawDataRef copy_;
    const uint8_t* data_;
    uint32_t size_;
    uint32_t type_;
};
