#include "configdata/acs_converter.h"

#include <cstring>
#include <string>

#include "configdata/acs_chunk.h"
#include "configdata/kuid.h"
#include "configdata/number_text.h"
#include "foundation/statics.h"

class ACSConverterList {
public:
    // Zero-initialised before any constructor runs, so converters may link in any order.
    static ACSConverter*& Head() {
        static ACSConverter* head = nullptr;
        return head;
    }
    static void Link(ACSConverter* converter) {
        ACSConverter** at = &Head();
        while (*at != nullptr)
            at = &(*at)->next_;
        *at = converter;
    }
    static void Unlink(ACSConverter* converter) {
        for (ACSConverter** at = &Head(); *at != nullptr; at = &(*at)->next_) {
            if (*at == converter) {
                *at = converter->next_;
                return;
            }
        }
    }
    static const ACSConverter* Find(uint32_t sourceType, uint32_t targetType) {
        for (const ACSConverter* c = Head(); c != nullptr; c = c->next_)
            if (c->GetSourceType() == sourceType && c->GetTargetType() == targetType) return c;
        return nullptr;
    }
};

ACSConverter::ACSConverter(uint32_t sourceType, uint32_t targetType)
    : sourceType_(sourceType), targetType_(targetType) {
    ACSConverterList::Link(this);
}

ACSConverter::~ACSConverter() {
    ACSConverterList::Unlink(this);
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool NumericText(std::string_view t, bool exponentWithoutDot) {
    size_t i = 0;
    if (i < t.size() && t[i] == '-') ++i;
    if (i == t.size()) return false;
    size_t end = t.size();
    while (end > i && (t[end - 1] == ' ' || t[end - 1] == '\t'))
        --end;
    bool dot = false;
    bool exponent = false;
    bool digit = false;
    while (i < end) {
        char c = t[i];
        if (IsDigit(c)) {
            digit = true;
            ++i;
        } else if (c == '.' && !dot && !exponent) {
            dot = true;
            ++i;
        } else if (c == 'e' && !exponent && (dot || (exponentWithoutDot && digit)) && i + 2 < end &&
                   (t[i + 1] == '+' || t[i + 1] == '-')) {
            exponent = true;
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

ACSRawDataRef TextData(const std::string& text) {
    return MakeRawData(text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

// One number from a text that passes the numeric test of its side; a text that passes but
// holds no number (a lone '-', blanks) reads as 0, one out of range as nothing.
template <typename T, uint32_t kTarget, bool (*kPasses)(std::string_view),
          NumberScan (*kScan)(const char*, const char*, T&, const char**)>
class TextNumberConverter final : public ACSConverter {
public:
    TextNumberConverter() : ACSConverter(kTagText, kTarget) {}
    ACSRawDataRef Convert(const ACSRawDataRef& input) const override {
        std::string_view text = TextOfData(input.GetData(), input.GetSize());
        if (!kPasses(text)) return {};
        T value = 0;
        if (kScan(text.data(), text.data() + text.size(), value, nullptr) ==
            NumberScan::kOutOfRange)
            return {};
        return MakeRawData(&value, 4);
    }
};
using TextIntConverter = TextNumberConverter<int32_t, kTagInt, IsIntNumericText, ScanInt>;
using TextFloatConverter = TextNumberConverter<float, kTagFloat, IsFloatNumericText, ScanFloat>;

class TextKUIDConverter final : public ACSConverter {
public:
    TextKUIDConverter() : ACSConverter(kTagText, kTagKUID) {}
    ACSRawDataRef Convert(const ACSRawDataRef& input) const override {
        KUID kuid = KUID::FromText(TextOfData(input.GetData(), input.GetSize()), false);
        uint8_t block[8];
        KUID::PackWords(kuid, block);
        return MakeRawData(block, 8);
    }
};

class IntTextConverter final : public ACSConverter {
public:
    IntTextConverter() : ACSConverter(kTagInt, kTagText) {}
    ACSRawDataRef Convert(const ACSRawDataRef& input) const override {
        std::string text;
        AppendIntList(input.GetData(), input.GetSize(), text);
        return TextData(text);
    }
};

class FloatTextConverter final : public ACSConverter {
public:
    FloatTextConverter() : ACSConverter(kTagFloat, kTagText) {}
    ACSRawDataRef Convert(const ACSRawDataRef& input) const override {
        if (input.GetSize() < 4) return {};
        std::string text;
        AppendFloatList(input.GetData(), input.GetSize(), text);
        return TextData(text);
    }
};

class KUIDTextConverter final : public ACSConverter {
public:
    KUIDTextConverter() : ACSConverter(kTagKUID, kTagText) {}
    ACSRawDataRef Convert(const ACSRawDataRef& input) const override {
        if (input.GetSize() != 8) return {};
        std::string text;
        KUID::UnpackWords(input.GetData()).AppendString(text);
        return TextData(text);
    }
};

class IntFloatConverter final : public ACSConverter {
public:
    IntFloatConverter() : ACSConverter(kTagInt, kTagFloat) {}
    ACSRawDataRef Convert(const ACSRawDataRef& input) const override {
        uint32_t count = input.GetSize() / 4;
        if (count == 0) return {};
        std::string bytes(size_t{count} * 4, '\0');
        for (uint32_t i = 0; i < count; ++i) {
            int32_t v;
            std::memcpy(&v, input.GetData() + size_t{i} * 4, 4);
            auto f = static_cast<float>(v);
            std::memcpy(&bytes[size_t{i} * 4], &f, 4);
        }
        return MakeRawData(bytes.data(), count * 4);
    }
};

template <class T>
const T& Converter(const char* name) {
    static const ProcessStatic<T> converter(name);
    return converter.Get();
}

bool BuildConverters() {
    Converter<TextIntConverter>("text-to-int converter");
    Converter<TextFloatConverter>("text-to-float converter");
    Converter<TextKUIDConverter>("text-to-KUID converter");
    Converter<IntTextConverter>("int-to-text converter");
    Converter<FloatTextConverter>("float-to-text converter");
    Converter<KUIDTextConverter>("KUID-to-text converter");
    Converter<IntFloatConverter>("int-to-float converter");
    return true;
}

// Builds the converters before main.
[[maybe_unused]] const bool kBuilt = BuildConverters();

}  // namespace

ACSRawDataRef ConvertRawData(uint32_t sourceType, const ACSRawDataRef& data, uint32_t targetType) {
    // Also here, for a conversion asked for by another file's static before this file's own.
    static const bool built = BuildConverters();
    (void)built;
    if (sourceType == targetType) return data;
    if (sourceType == kTagEmpty) return {};
    const ACSConverter* converter = ACSConverterList::Find(sourceType, targetType);
    return converter != nullptr ? converter->Convert(data) : ACSRawDataRef();
}

bool IsIntNumericText(std::string_view text) {
    return NumericText(text, false);
}

bool IsFloatNumericText(std::string_view text) {
    return NumericText(text, true);
}

std::string_view TextOfData(const void* data, uint32_t size) {
    if (data == nullptr) return {};
    const auto* text = static_cast<const char*>(data);
    const void* nul = std::memchr(text, '\0', size);
    return std::string_view(text, nul != nullptr ? static_cast<const char*>(nul) - text : size);
}
