// Reading filter trees from bytes that another process wrote: the daemon reads every search a
// client sends, so every count is checked against the bytes that remain before it sizes a loop
// or an allocation, the first short read ends the read, and groups nest at most kMaxDepth deep.
// A failed read says what was wrong and at which offset.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "assetdb/filter_element.h"
#include "platform/kiv/base/text.h"

class WEXFilterReader {
public:
    // Groups open at once, the outermost included.
    static constexpr uint32_t kMaxDepth = 64;
    // The smallest envelope: a type code and one word (a bool element).
    static constexpr uint32_t kMinEnvelopeBytes = 8;

    // Reads from the stream's position up to its end as it stands now.
    explicit WEXFilterReader(TStream& stream);
    WEXFilterReader(const WEXFilterReader&) = delete;
    WEXFilterReader& operator=(const WEXFilterReader&) = delete;

    // One envelope: the type code, then the body of the element it names. No element when
    // the code names none or the body cannot be read.
    std::unique_ptr<WEXFilterElement> ReadElement();

    // Field readers for the element bodies; each fails when its bytes are not all there.
    // `field` names the field in the error text.
    bool ReadU8(uint8_t& out, const char* field);
    bool ReadBool(bool& out, const char* field);
    bool ReadU32(uint32_t& out, const char* field);
    bool ReadU64(uint64_t& out, const char* field);
    bool ReadBytes(void* out, uint32_t n, const char* field);
    // An interned string: a length counting the NUL, then the bytes; the text ends at its
    // first NUL. Length 0 is the empty text.
    bool ReadText(Kiv::PString& out, const char* field);
    // A count of items that take at least bytesEach bytes each; refused when they could not
    // all be there.
    bool ReadCount(uint32_t& count, uint32_t bytesEach, const char* field);

    // A group's children are read between these; Enter refuses a group nested too deep.
    bool EnterGroup();
    void LeaveGroup() { --depth_; }

    // Records the first failure, with the offset of what could not be read, and returns false.
    bool Fail(std::string_view what);
    bool FailAt(uint32_t offset, std::string_view what);
    bool HasFailed() const { return !error_.IsEmpty(); }
    const Kiv::String& GetError() const { return error_; }

    uint32_t Remaining();

private:
    bool Need(uint32_t bytes, const char* field);

    TStream& stream_;
    uint32_t end_;
    uint32_t depth_ = 0;
    Kiv::String error_;
};

// Reads one element's envelope from the stream's position. On failure, no element; `error`
// (when given) receives the reason.
std::unique_ptr<WEXFilterElement> WEXFilterReadElement(TStream& stream,
                                                       Kiv::String* error = nullptr);
