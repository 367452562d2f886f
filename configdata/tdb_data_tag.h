// TDBDataTag: the editable value node of a tag tree: a type code and shared raw bytes.
#pragma once

#include "configdata/tdb_tag_ref.h"

class TDBDataTag : public ACSChunk {
public:
    TDBDataTag() = default;
    TDBDataTag(uint32_t type, ACSRawDataRef data) : data_(std::move(data)), type_(type) {}

    const void* GetData() const override { return data_.GetData(); }
    uint32_t GetDataSize() const override { return data_.GetSize(); }
    uint32_t GetType() const override { return type_; }
    void SetData(uint32_t type, const ACSRawDataRef& data) override {
        type_ = type;
        data_ = data;
    }

private:
    ACSRawDataRef data_;
    uint32_t type_ = kTagEmpty;
};
