// TStream: the one byte-stream abstraction every file format and wire record goes through.
//
// A 4096-byte read-ahead buffer sits in front of a device (memory, file, or a window over
// another stream). Values are little-endian. Failures never throw: the first failure sets a
// sticky error code that callers read once after a sequence of reads, and typed readers store
// the caller's default on a short read so a parse can always run to its end.
//
// Invariant: the logical position is the device position less the unread count; everything
// that writes, seeks or measures first brings the device back to the logical position.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

struct KUID;

static_assert(std::endian::native == std::endian::little,
              "streams copy little-endian values straight from memory");

class TStream {
public:
    static constexpr uint32_t kReadAheadSize = 4096;
    // Reads of at least this many bytes (after what the read-ahead holds) bypass it.
    static constexpr uint32_t kDirectReadThreshold = 4080;
    // Bytes kept at the front of a refilled read-ahead so a small backward move stays inside.
    static constexpr uint32_t kKeptBehind = 16;
    static constexpr uint32_t kMaxStringLength = 65535;
    static constexpr uint32_t kSizeMarkPlaceholder = 0xFEEDCEEB;

    // Sticky error codes; the first one set is kept.
    enum Error : uint32_t {
        kErrorNone = 0,
        kErrorDevice = 1,    // no file, or the device moved fewer bytes than asked
        kErrorTooLong = 3,   // a string over 65535 bytes, or a memory write without memory
        kErrorShortRead = 4  // a typed read found fewer bytes than it needs
    };

    // Seek origins.
    enum Origin : int { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2 };

    TStream() = default;
    virtual ~TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // --- device operations (virtual, in the product's slot order) ---------------------------
    virtual void Reset() = 0;
    virtual uint32_t Tell() = 0;
    virtual bool IsOpen() = 0;
    virtual uint32_t GetSize();
    // Writes n bytes at the logical position; returns the count written.
    virtual uint32_t Write(const void* data, uint32_t n) = 0;
    virtual bool AtEnd() = 0;

    // Moves the device by offset from an origin (the device's own rule for each origin) and
    // empties the read-ahead. Most callers want SetPosition.
    bool Seek(int64_t offset, int origin);
    // Moves to an absolute position, inside the read-ahead when the bytes are there.
    void SetPosition(uint32_t target);
    void Rewind() { SetPosition(0); }

    // --- reads -------------------------------------------------------------------------------
    // Delivers up to n bytes; the result is the count delivered (no error of its own).
    uint32_t ReadBytes(void* dest, uint32_t n) {
        if (unread_ >= n) {
            if (n != 0) std::memcpy(dest, buffer_ + offset_, n);
            offset_ += n;
            unread_ -= n;
            return n;
        }
        return ReadBuffered(static_cast<uint8_t*>(dest), n);
    }

    bool ReadU32(uint32_t& out, uint32_t defaultValue = 0) { return ReadValue(out, defaultValue); }
    bool ReadU32(int32_t& out, int32_t defaultValue = 0) { return ReadValue(out, defaultValue); }
    bool ReadFloat(float& out, float defaultValue = 0.0f) { return ReadValue(out, defaultValue); }
    bool ReadU64(uint64_t& out, uint64_t defaultValue = 0) { return ReadValue(out, defaultValue); }
    bool ReadBool(bool& out, bool defaultValue = false);
    bool ReadU8(uint8_t& out, uint8_t defaultValue = 0) { return ReadValue(out, defaultValue); }
    bool ReadU16(uint16_t& out, uint16_t defaultValue = 0) { return ReadValue(out, defaultValue); }
    // Reads count words; a word that cannot be read becomes 0 and the rest are still read.
    void ReadU32Array(uint32_t* dest, uint32_t count);
    // Convenience forms returning the value.
    uint32_t ReadU32Value(uint32_t defaultValue = 0) {
        uint32_t v;
        ReadU32(v, defaultValue);
        return v;
    }

    // Interned string: length counts the text and its NUL; read with letter case kept.
    void ReadPString(Kiv::PString& out);
    Kiv::PString ReadPString() {
        Kiv::PString s;
        ReadPString(s);
        return s;
    }
    // Owned text: length counts the text only.
    void ReadString(Kiv::String& out);
    void ReadString(std::string& out);

    // The 8-byte binary form of a KUID (defined with KUID in configdata).
    void ReadKUID(KUID& out);

    // --- writes ------------------------------------------------------------------------------
    uint32_t WriteU8(uint8_t v) { return Write(&v, 1); }
    uint32_t WriteU16(uint16_t v) { return Write(&v, 2); }
    uint32_t WriteU32(uint32_t v) { return Write(&v, 4); }
    uint32_t WriteU32(int32_t v) { return Write(&v, 4); }
    uint32_t WriteFloat(float v) { return Write(&v, 4); }
    uint32_t WriteU64(uint64_t v) { return Write(&v, 8); }
    uint32_t WriteBool(bool v) { return WriteU8(v ? 1 : 0); }
    void WriteU32Array(const uint32_t* words, uint32_t count);
    // Writes the word at position, then returns to where the stream was.
    void WriteU32At(uint32_t position, uint32_t value);

    void WritePString(const Kiv::PString& text);
    void WriteString(std::string_view text);
    void WriteKUID(const KUID& kuid);

    // Size marks: Begin writes a placeholder word and returns its position; End fills it with
    // the number of bytes written after it. Marks nest.
    uint32_t BeginSizeMark();
    void EndSizeMark(uint32_t mark);

    // --- error code --------------------------------------------------------------------------
    uint32_t GetError() const { return error_; }
    bool HasError() const { return error_ != kErrorNone; }
    // Records a failure unless one is recorded already.
    void SetError(uint32_t code) {
        if (error_ == kErrorNone) error_ = code;
    }

    // Bytes of the read-ahead not yet delivered (for tests and stream subclasses).
    uint32_t GetUnreadCount() const { return unread_; }

protected:
    // Moves the device; the read-ahead is the caller's business (see Seek).
    virtual bool SeekDevice(int64_t offset, int origin) = 0;
    // Reads straight from the device, bypassing the read-ahead.
    virtual uint32_t ReadDevice(void* dest, uint32_t n) = 0;

    // Brings the device back to the logical position and forgets the read-ahead. Every write
    // does this first.
    void DropReadAhead();
    void ClearReadAhead() {
        unread_ = 0;
        offset_ = 0;
    }
    void ClearError() { error_ = kErrorNone; }

    uint32_t unread_ = 0;
    uint32_t offset_ = 0;

private:
    template <typename T>
    bool ReadValue(T& out, T defaultValue) {
        if (unread_ >= sizeof(T)) {
            std::memcpy(&out, buffer_ + offset_, sizeof(T));
            offset_ += sizeof(T);
            unread_ -= sizeof(T);
            return true;
        }
        if (ReadBuffered(reinterpret_cast<uint8_t*>(&out), sizeof(T)) == sizeof(T)) return true;
        out = defaultValue;
        SetError(kErrorShortRead);
        return false;
    }

    uint32_t ReadBuffered(uint8_t* dest, uint32_t n);
    // Shared by both string readers: the bytes of one string, or false for the empty string.
    bool ReadStringBytes(std::string& out);

    uint8_t buffer_[kReadAheadSize];
    uint32_t error_ = kErrorNone;
};
