#include "foundation/tstream.h"

#include <algorithm>

uint32_t TStream::GetSize() {
    uint32_t p = Tell();
    Seek(0, kFromEnd);
    uint32_t size = Tell();
    SetPosition(p);
    return size;
}

bool TStream::Seek(int64_t offset, int origin) {
    bool ok = SeekDevice(offset, origin);
    ClearReadAhead();
    return ok;
}

void TStream::SetPosition(uint32_t target) {
    int64_t d = int64_t{target} - int64_t{Tell()};
    if (int64_t{offset_} + d >= 0 && d <= int64_t{unread_}) {
        offset_ = static_cast<uint32_t>(int64_t{offset_} + d);
        unread_ = static_cast<uint32_t>(int64_t{unread_} - d);
        return;
    }
    Seek(target, kFromStart);
}

void TStream::DropReadAhead() {
    if (unread_ != 0) SeekDevice(0, kFromCurrent);
    // The kept bytes no longer sit just behind the logical position once something is
    // written, so they are forgotten too.
    ClearReadAhead();
}

uint32_t TStream::ReadBuffered(uint8_t* dest, uint32_t n) {
    uint32_t delivered = 0;
    // The kept-behind bytes are only valid when the buffer was filled to its end and used up.
    bool usedUp = offset_ + unread_ == kReadAheadSize;
    if (unread_ != 0) {
        std::memcpy(dest, buffer_ + offset_, unread_);
        delivered = unread_;
        dest += unread_;
        n -= unread_;
        unread_ = 0;
        offset_ = kReadAheadSize;
    }
    if (n >= kDirectReadThreshold) {
        uint32_t got = ReadDevice(dest, n);
        ClearReadAhead();
        return delivered + got;
    }
    uint32_t got;
    uint32_t start;
    if (usedUp && offset_ == kReadAheadSize) {
        std::memmove(buffer_, buffer_ + kReadAheadSize - kKeptBehind, kKeptBehind);
        got = ReadDevice(buffer_ + kKeptBehind, kReadAheadSize - kKeptBehind);
        start = kKeptBehind;
    } else {
        got = ReadDevice(buffer_, kReadAheadSize);
        start = 0;
    }
    uint32_t copied = std::min(n, got);
    if (copied != 0) std::memcpy(dest, buffer_ + start, copied);
    unread_ = got - copied;
    offset_ = start + copied;
    return delivered + copied;
}

bool TStream::ReadBool(bool& out, bool defaultValue) {
    uint8_t b;
    if (ReadBytes(&b, 1) != 1) {
        out = defaultValue;
        SetError(kErrorShortRead);
        return false;
    }
    out = b != 0;
    return true;
}

void TStream::ReadU32Array(uint32_t* dest, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        ReadU32(dest[i], 0);
}

bool TStream::ReadStringBytes(std::string& out) {
    out.clear();
    uint32_t length;
    ReadU32(length, 0);
    if (length == 0) return false;
    if (length > kMaxStringLength) {
        // Skip the announced bytes without reading them.
        if (length <= unread_) {
            offset_ += length;
            unread_ -= length;
        } else {
            Seek(int64_t{length}, kFromCurrent);
        }
        SetError(kErrorTooLong);
        return false;
    }
    out.resize(length);
    uint32_t got = ReadBytes(out.data(), length);
    // The text ends at its first NUL (the interned form's terminator) or after the last byte
    // that was there; a string cut short by the end of the data keeps what was read.
    out.resize(::strnlen(out.data(), got));
    return true;
}

void TStream::ReadPString(Kiv::PString& out) {
    std::string text;
    ReadStringBytes(text);
    out = Kiv::PString(std::string_view(text));
}

void TStream::ReadString(std::string& out) {
    ReadStringBytes(out);
}

void TStream::ReadString(Kiv::String& out) {
    std::string text;
    ReadStringBytes(text);
    out = Kiv::String(std::move(text));
}

void TStream::WriteU32Array(const uint32_t* words, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        WriteU32(words[i]);
}

void TStream::WriteU32At(uint32_t position, uint32_t value) {
    uint32_t back = Tell();
    SetPosition(position);
    WriteU32(value);
    SetPosition(back);
}

void TStream::WritePString(const Kiv::PString& text) {
    if (text.IsNull() || text.Length() + 1 > kMaxStringLength) {
        WriteU32(0u);
        return;
    }
    auto length = static_cast<uint32_t>(text.Length() + 1);
    WriteU32(length);
    Write(text.c_str(), length);
}

void TStream::WriteString(std::string_view text) {
    if (text.size() > kMaxStringLength) {
        WriteU32(0u);
        return;
    }
    WriteU32(static_cast<uint32_t>(text.size()));
    if (!text.empty()) Write(text.data(), static_cast<uint32_t>(text.size()));
}

uint32_t TStream::BeginSizeMark() {
    uint32_t mark = Tell();
    WriteU32(kSizeMarkPlaceholder);
    return mark;
}

void TStream::EndSizeMark(uint32_t mark) {
    uint32_t c = Tell();
    SetPosition(mark);
    WriteU32(c - mark - 4);
    SetPosition(c);
}
