// TDBDataTag: the editable value node of a tag tree: a type code and shared raw bytes.
#pragma once

#include "configdata/tdb_tag_ref.h"

class TDBDataTag : public ACSChunk {
public:
    TDBDataTag() = default;
    TDBDataTag(uint32_t type, ACSRawDataRef data)
        : data_(std::move(data)), bytes_(data_.GetData()), size_(data_.GetSize()), type_(type) {}

    const void* GetData() const override { return bytes_; }
    uint32_t GetDataSize() const override { return size_; }
    uint32_t GetType() const override { return type_; }
    void SetData(uint32_t type, const ACSRawDataRef& data) override {
        type_ = type;
        data_ = data;
        bytes_ = data_.GetData();
        size_ = data_.GetSize();
    }

protected:
    // Over bytes that live as long as the node (an arena node's own, after it), so nothing is
    // counted for them until SetData gives the node other bytes.
    TDBDataTag(uint32_t type, const uint8_t* bytes, uint32_t size)
        : bytes_(size != 0 ? bytes : nullptr), size_(bytes != nullptr ? size : 0), type_(type) {}

private:
    ACSRawDataRef data_;
    const uint8_t* bytes_ = nullptr;
    uint32_t size_ = 0;
    uint32_t type_ = kTagEmpty;
};
