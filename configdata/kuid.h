// KUID: the name of one asset (the author's user id, a content id and a version), with every
// text form the program writes, the one parser that reads them all, and the 8-byte binary form
// used inside streams, soups and requests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

class TStream;

struct KUID {
    int32_t userId = -1;
    int32_t contentId = -1;
    int32_t version = 127;

    // User ids must fit 25 bits: 0 .. 33,554,431, or -33,554,432 .. -1 with version 127.
    static constexpr int32_t kMaxUserId = 33554431;
    static constexpr int32_t kMinUserId = -33554432;
    static constexpr int32_t kMaxVersion = 127;

    // The default is the null KUID (-1, -1, 127).
    constexpr KUID() = default;
    constexpr KUID(int32_t user, int32_t content, int32_t ver = 0)
        : userId(user), contentId(content), version(ver) {}

    static const KUID kNull;

    constexpr bool IsNull() const { return userId == -1 && contentId == -1 && version == 127; }
    constexpr bool operator==(const KUID&) const = default;
    // Orders by user id, content id, version: for sorted tables and ordered maps.
    constexpr bool operator<(const KUID& o) const {
        if (userId != o.userId) return userId < o.userId;
        if (contentId != o.contentId) return contentId < o.contentId;
        return version < o.version;
    }

    // True when the version is the one implied by the user id's sign, so the two-number form
    // names the KUID exactly.
    constexpr bool IsShortForm() const {
        return (version == 0 && userId >= 0) || (version == 127 && userId < 0);
    }

    // "<NULL>", "<kuid:%d:%d>" or "<kuid2:%d:%d:%d>".
    Kiv::PString ToString() const;
    // The same text appended to `out`, without interning it.
    void AppendString(std::string& out) const;
    // "<NULL>" or "<kuid:%d:%d>", the version dropped.
    Kiv::PString ToStringNoVersion() const;
    // "NULLKUID", "kuid %d %d" or "kuid2 %d %d %d".
    Kiv::String ToDisplayString() const;
    // "NULLKUID", "%d:%d" or "%d:%d:%d".
    Kiv::String ToColonString() const;

    // Reads any text form; strict mode accepts only the keyword forms. Sets this KUID and
    // returns it; the null KUID on any failure.
    KUID& Parse(const char* text, bool strict);
    static KUID FromText(std::string_view text, bool strict);

    // The 8-byte binary form: content id, then the packed word.
    void Write(TStream& stream) const;
    void Read(TStream& stream);

    // The tag-value form's two words: the packed word (version in bits 25-31 over bits 0-24
    // of the user id) and the content id. The block variants hold them as 8 bytes in the
    // order packed word, content id.
    static void PackWords(const KUID& kuid, uint32_t& packed, uint32_t& content);
    static void PackWords(const KUID& kuid, void* block8);
    static KUID UnpackWords(uint32_t packed, uint32_t content);
    static KUID UnpackWords(const void* block8);
};

struct KUIDHash {
    size_t operator()(const KUID& k) const {
        uint64_t a =
            static_cast<uint32_t>(k.userId) | (uint64_t{static_cast<uint32_t>(k.contentId)} << 32);
        return std::hash<uint64_t>()(a * 0x9E3779B97F4A7C15ULL ^ static_cast<uint32_t>(k.version));
    }
};
