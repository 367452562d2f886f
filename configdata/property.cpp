#include "configdata/property.h"

#include "foundation/tstream.h"

void HalvexProperty::SetFromText(const char*) {}

Kiv::PString HalvexProperty::ToText() const {
    return Kiv::PString(std::string_view());
}

void HalvexPropertyRefCounted::Release() {
    // The last release must see every write made through the other references.
    if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

void HalvexPropertyAssetID::SetFromText(const char* text) {
    kuid_.Parse(text, false);
}

Kiv::PString HalvexPropertyAssetID::ToText() const {
    return kuid_.ToString();
}

HalvexPropertyRef& HalvexPropertyRef::operator=(const HalvexPropertyRef& other) {
    HalvexProperty* previous = property_;
    property_ = other.property_;
    if (property_) property_->AddReference();
    if (previous) previous->Release();
    return *this;
}

HalvexPropertyRef& HalvexPropertyRef::operator=(HalvexPropertyRef&& other) noexcept {
    if (this != &other) {
        HalvexProperty* previous = property_;
        property_ = other.property_;
        other.property_ = nullptr;
        if (previous) previous->Release();
    }
    return *this;
}

void HalvexPropertyRef::Attach(HalvexProperty* property) {
    HalvexProperty* previous = property_;
    property_ = property;
    if (previous) previous->Release();
}

void HalvexPropertyRef::Reset() {
    HalvexProperty* previous = property_;
    property_ = nullptr;
    if (previous) previous->Release();
}

Kiv::PString HalvexPropertyRef::GetText() const {
    return property_ ? property_->ToText() : Kiv::PString(std::string_view());
}

HalvexPropertyRef HalvexPropertyRef::MakeAssetID(Kiv::PString name, const KUID& kuid) {
    HalvexPropertyRef ref;
    ref.Attach(new HalvexPropertyAssetID(std::move(name), kuid));
    return ref;
}

namespace {

// Reads one interned-string field; false when it was not there whole. The stream treats a
// string body cut short by the end of the data as the text that was there, without an error,
// so the length word is looked at first and compared with what the read took.
bool ReadWholePString(TStream& stream, Kiv::PString& out) {
    uint32_t start = stream.Tell();
    uint32_t length;
    if (!stream.ReadU32(length)) return false;
    stream.SetPosition(start);
    stream.ReadPString(out);
    return !stream.HasError() && stream.Tell() - start == 4 + length;
}

}  // namespace

void WriteHalvexProperty(TStream& stream, const HalvexPropertyRef& property) {
    if (property.IsEmpty()) {
        stream.WriteU32(uint32_t{HalvexProperty::kKindNone});
        return;
    }
    stream.WriteU32(property->GetKind());
    stream.WritePString(property->GetName());
    stream.WritePString(property->ToText());
}

bool ReadHalvexProperty(TStream& stream, HalvexPropertyRef& property) {
    property.Reset();
    uint32_t kind;
    if (!stream.ReadU32(kind, HalvexProperty::kKindNone)) return false;
    if (kind == HalvexProperty::kKindNone) return true;

    // A name or value cut short by the end of the data would otherwise become a property
    // with a wrong KUID ("<kuid:1:" reads as user 1 with no content id).
    Kiv::PString name;
    Kiv::PString value;
    if (!ReadWholePString(stream, name) || !ReadWholePString(stream, value)) {
        stream.SetError(TStream::kErrorShortRead);
        return false;
    }
    if (kind == HalvexProperty::kKindAssetID)
        property =
            HalvexPropertyRef::MakeAssetID(std::move(name), KUID::FromText(value.view(), false));
    return true;
}

void PStringToLowerInPlace(Kiv::PString& text) {
    text = text.ToLower();
}
