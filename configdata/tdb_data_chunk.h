// TDBDataChunk: a value of a loaded binary soup, seen through the read view. It refers to the
// loaded bytes without a copy, or holds a copy where the bytes needed one (misaligned numbers,
// text given a NUL or converted to UTF-8). It cannot be changed in place; a new value is set by
// replacing the child in its container.
#pragma once

#include "configdata/soup_node.h"

class TDBDataChunk : public ACSChunk {
public:
    // Over `size` bytes at `data`: bytes of the body block, or of `copy`.
    TDBDataChunk(CountedRef<TDBSoupBody> body, SoupNodeLocation location, uint32_t type,
                 const uint8_t* data, uint32_t size, ACSRawDataRef copy = {})
        : body_(std::move(body)),
          location_(location),
          copy_(std::move(copy)),
          data_(size != 0 ? data : nullptr),
          size_(data != nullptr ? size : 0),
          type_(type) {}

    const void* GetData() const override { return data_; }
    uint32_t GetDataSize() const override { return size_; }
    uint32_t GetType() const override { return type_; }

    // The body block of the file this value was taken from.
    const TDBSoupBody* GetBody() const { return body_.Get(); }
    SoupNodeLocation GetLocation() const { return location_; }

private:
    CountedRef<TDBSoupBody> body_;
    SoupNodeLocation location_;
    ACSRawDataRef copy_;
    const uint8_t* data_;
    uint32_t size_;
    uint32_t type_;
};
