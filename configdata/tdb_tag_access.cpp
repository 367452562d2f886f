// The typed getters and setters of TDBContainerTag.
#include <cstring>

#include "configdata/acs_converter.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/statics.h"

namespace {

// The named child, or an empty reference when there is none or it is of type 0.
TDBTagRef FindValue(const TDBTagRef& tag, const Kiv::PString& name) {
    if (!tag) return {};
    TDBTagRef child = tag->FindChild(name);
    if (child.IsEmpty()) return {};
    return child;
}

// The named child's value as the target type; empty when there is none.
ACSRawDataRef ConvertedValue(const TDBTagRef& tag, const Kiv::PString& name, uint32_t target) {
    TDBTagRef child = FindValue(tag, name);
    if (!child) return {};
    return ConvertRawData(child->GetType(), child->GetRawData(), target);
}

// The named child's single 4-byte value as the target type, or the default.
template <typename T>
T GetSingleValue(const TDBTagRef& tag, const Kiv::PString& name, uint32_t target, T defaultValue) {
    ACSRawDataRef value = ConvertedValue(tag, name, target);
    if (value.GetSize() != sizeof(T)) return defaultValue;
    T v;
    std::memcpy(&v, value.GetData(), sizeof(T));
    return v;
}

void SetValue(TDBTagRef& tag, const Kiv::PString& name, uint32_t type, const void* data,
              uint32_t size) {
    tag.EnsureContainer();
    TDBContainerTag::RemoveTag(tag, name);
    tag->AddChild(name, tag->CreateTag(type, MakeRawData(data, size)));
}

}  // namespace

int32_t TDBContainerTag::GetInt(const TDBTagRef& tag, const Kiv::PString& name,
                                int32_t defaultValue) {
    return GetSingleValue(tag, name, kTagInt, defaultValue);
}

bool TDBContainerTag::GetBool(const TDBTagRef& tag, const Kiv::PString& name, bool defaultValue) {
    return GetInt(tag, name, defaultValue ? 1 : 0) != 0;
}

float TDBContainerTag::GetFloat(const TDBTagRef& tag, const Kiv::PString& name,
                                float defaultValue) {
    return GetSingleValue(tag, name, kTagFloat, defaultValue);
}

KUID TDBContainerTag::GetKUID(const TDBTagRef& tag, const Kiv::PString& name,
                              const KUID& defaultValue) {
    ACSRawDataRef value = ConvertedValue(tag, name, kTagKUID);
    if (value.GetSize() != 8) return defaultValue;
    return KUID::UnpackWords(value.GetData());
}

Kiv::PString TDBContainerTag::GetString(const TDBTagRef& tag, const Kiv::PString& name) {
    ACSRawDataRef value = ConvertedValue(tag, name, kTagText);
    if (!value) return EmptyPString();
    return Kiv::PString(TextOfData(value.GetData(), value.GetSize()));
}

bool TDBContainerTag::GetFloatArray(const TDBTagRef& tag, const Kiv::PString& name,
                                    std::vector<float>& values) {
    TDBTagRef child = FindValue(tag, name);
    if (!child) return false;
    ACSRawDataRef value = ConvertRawData(child->GetType(), child->GetRawData(), kTagFloat);
    // A float child always gives a list, if an empty one; another type only when it converts.
    if (!value && child->GetType() != kTagFloat) return false;
    values.resize(value.GetSize() / 4);
    if (!values.empty()) std::memcpy(values.data(), value.GetData(), values.size() * 4);
    return true;
}

ACSRawDataRef TDBContainerTag::GetRawData(const TDBTagRef& tag, const Kiv::PString& name) {
    TDBTagRef child = FindValue(tag, name);
    return child ? child->GetRawData() : ACSRawDataRef();
}

uint32_t TDBContainerTag::GetTagType(const TDBTagRef& tag, const Kiv::PString& name) {
    return tag ? tag->FindChild(name)->GetType() : kTagEmpty;
}

bool TDBContainerTag::HasTag(const TDBTagRef& tag, const Kiv::PString& name) {
    return GetTagType(tag, name) != kTagEmpty;
}

TDBTagRef TDBContainerTag::GetContainer(const TDBTagRef& tag, const Kiv::PString& name) {
    TDBTagRef child = FindValue(tag, name);
    return child && child->GetType() == kTagContainer ? child : TDBTagRef();
}

TDBTagRef TDBContainerTag::GetContainerAt(const TDBTagRef& tag, uint32_t index) {
    if (!tag) return {};
    Kiv::PString name;
    TDBTagRef child;
    if (!tag->GetChildAt(index, name, child) || child->GetType() != kTagContainer) return {};
    return child;
}

Kiv::PString TDBContainerTag::GetChildName(const TDBTagRef& tag, uint32_t index) {
    Kiv::PString name;
    TDBTagRef child;
    if (!tag || !tag->GetChildAt(index, name, child)) return EmptyPString();
    return name;
}

uint32_t TDBContainerTag::CountChildren(const TDBTagRef& tag) {
    return tag ? tag->GetChildCount() : 0;
}

void TDBContainerTag::SetInt(TDBTagRef& tag, const Kiv::PString& name, int32_t value) {
    SetValue(tag, name, kTagInt, &value, 4);
}

void TDBContainerTag::SetBool(TDBTagRef& tag, const Kiv::PString& name, bool value) {
    SetInt(tag, name, value ? 1 : 0);
}

void TDBContainerTag::SetFloat(TDBTagRef& tag, const Kiv::PString& name, float value) {
    SetValue(tag, name, kTagFloat, &value, 4);
}

void TDBContainerTag::SetFloatArray(TDBTagRef& tag, const Kiv::PString& name,
                                    const std::vector<float>& values) {
    SetValue(tag, name, kTagFloat, values.data(), static_cast<uint32_t>(values.size() * 4));
}

void TDBContainerTag::SetString(TDBTagRef& tag, const Kiv::PString& name,
                                const Kiv::PString& text) {
    if (text.IsNull()) {
        SetValue(tag, name, kTagText, nullptr, 0);
    } else {
        SetValue(tag, name, kTagText, text.c_str(), static_cast<uint32_t>(text.Length() + 1));
    }
}

void TDBContainerTag::SetKUID(TDBTagRef& tag, const Kiv::PString& name, const KUID& kuid) {
    uint8_t block[8];
    KUID::PackWords(kuid, block);
    SetValue(tag, name, kTagKUID, block, 8);
}

void TDBContainerTag::SetEmpty(TDBTagRef& tag, const Kiv::PString& name) {
    SetValue(tag, name, kTagEmpty, nullptr, 0);
}

void TDBContainerTag::SetContainer(TDBTagRef& tag, const Kiv::PString& name, TDBTagRef& container) {
    tag.EnsureContainer();
    container.EnsureContainer();
    RemoveTag(tag, name);
    tag->AddChild(name, container);
}

void TDBContainerTag::RemoveTag(const TDBTagRef& tag, const Kiv::PString& name) {
    if (!tag) return;
    tag->RemoveChild(tag->FindChildForEdit(name));
}
