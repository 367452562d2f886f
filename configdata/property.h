// Property objects: named, typed values that turn into text and back and travel through
// streams. Results-log messages carry one as their parameter (as a rule the KUID of the asset
// concerned), and archive and command code keep asset-id properties in lists.
//
// Only the asset-id kind exists. A property reaches its users through HalvexPropertyRef,
// a counted handle; the stream form is the kind word, then the name and the value text.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "configdata/kuid.h"
#include "platform/kiv/base/pstring.h"

class TStream;

// Root of the identifiable objects; nothing but a virtual destructor.
class IdentifiableType {
public:
    IdentifiableType() = default;
    IdentifiableType(const IdentifiableType&) = delete;
    IdentifiableType& operator=(const IdentifiableType&) = delete;
    virtual ~IdentifiableType() = default;
};

class HalvexProperty : public IdentifiableType {
public:
    // Kind words of the stream form.
    enum Kind : uint32_t { kKindNone = 0, kKindAssetID = 8 };

    HalvexProperty(Kiv::PString name, uint32_t kind) : name_(std::move(name)), kind_(kind) {}

    // Sets the value from text; an absent text (null) is the kind's own "none". The base
    // keeps no value and ignores the text.
    virtual void SetFromText(const char* text);
    // The value as text; the base has none and gives the empty text.
    virtual Kiv::PString ToText() const;
    // Reference counting: the base is not counted, so only its variants can be held by
    // HalvexPropertyRef.
    virtual void AddReference() = 0;
    virtual void Release() {}

    const Kiv::PString& GetName() const { return name_; }
    uint32_t GetKind() const { return kind_; }

private:
    Kiv::PString name_;
    uint32_t kind_;
};

// A property that deletes itself when its last reference is released. Starts with one
// reference, which the creator hands to a HalvexPropertyRef by Attach.
class HalvexPropertyRefCounted : public HalvexProperty {
public:
    using HalvexProperty::HalvexProperty;

    void AddReference() override { count_.fetch_add(1, std::memory_order_relaxed); }
    void Release() override;

    // For tests and diagnostics.
    uint32_t GetReferenceCount() const { return count_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint32_t> count_{1};
};

class HalvexPropertyAssetID : public HalvexPropertyRefCounted {
public:
    HalvexPropertyAssetID(Kiv::PString name, const KUID& kuid)
        : HalvexPropertyRefCounted(std::move(name), kKindAssetID), kuid_(kuid) {}

    // Any text form of a KUID, read leniently; anything unreadable is the null KUID.
    void SetFromText(const char* text) override;
    // "<NULL>", "<kuid:%d:%d>" or "<kuid2:%d:%d:%d>".
    Kiv::PString ToText() const override;

    const KUID& GetKUID() const { return kuid_; }
    void SetKUID(const KUID& kuid) { kuid_ = kuid; }

private:
    KUID kuid_;
};

// A counted handle to one property, or empty.
class HalvexPropertyRef {
public:
    HalvexPropertyRef() = default;
    HalvexPropertyRef(const HalvexPropertyRef& other) : property_(other.property_) {
        if (property_) property_->AddReference();
    }
    HalvexPropertyRef(HalvexPropertyRef&& other) noexcept : property_(other.property_) {
        other.property_ = nullptr;
    }
    // Takes the new reference before dropping the old one, so assigning a handle to itself
    // (or to another handle on the same property) never frees the property on the way.
    HalvexPropertyRef& operator=(const HalvexPropertyRef& other);
    HalvexPropertyRef& operator=(HalvexPropertyRef&& other) noexcept;
    ~HalvexPropertyRef() { Reset(); }

    // Takes over a reference the caller already owns (a new property's first one).
    void Attach(HalvexProperty* property);
    // Drops the held reference; the handle is empty afterwards.
    void Reset();

    HalvexProperty* Get() const { return property_; }
    HalvexProperty* operator->() const { return property_; }
    explicit operator bool() const { return property_ != nullptr; }
    bool IsEmpty() const { return property_ == nullptr; }

    // The held property's value text; the empty text when the handle is empty.
    Kiv::PString GetText() const;

    // A handle on a new asset-id property.
    static HalvexPropertyRef MakeAssetID(Kiv::PString name, const KUID& kuid);

private:
    HalvexProperty* property_ = nullptr;
};

// Stream form: u32 kind; for a non-empty handle then the name and the value text, each as an
// interned-string field. An empty handle writes the kind 0 alone.
void WriteHalvexProperty(TStream& stream, const HalvexPropertyRef& property);
// Reads one stream form into `property`, dropping what it held. Kind 0, an unknown kind and a
// record cut short (the stream then reports the error) all leave the handle empty; an
// unknown kind's name and value are still read past, so the stream stays in step. True when
// the record was there whole (whatever its kind), false when it was cut short.
bool ReadHalvexProperty(TStream& stream, HalvexPropertyRef& property);

// Replaces an interned string by its lower-case twin.
void PStringToLowerInPlace(Kiv::PString& text);
