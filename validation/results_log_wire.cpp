// The wire form of a results log: written by the command host into its answers, read from the
// daemon's replies and notifications. Read bytes are untrusted: every entry must be there whole
// before it joins the log, so a count word larger than the data can never run the loop past
// the bytes that are there.
#include <cstring>
#include <mutex>
#include <string>

#include "foundation/statics.h"
#include "foundation/tbuffer.h"
#include "validation/results_log.h"

namespace {

constexpr uint32_t kFormatWord = 0;
constexpr uint32_t kNoFormat = 0xFFFFFFFF;

// One text field (u32 length without NUL, then the bytes); false when it is not there whole.
// The text ends at its first NUL, as every string field of the streams does.
bool ReadWholeText(TStream& stream, Kiv::String& out) {
    uint32_t length;
    if (!stream.ReadU32(length)) return false;
    if (length > TStream::kMaxStringLength) {
        stream.SetError(TStream::kErrorTooLong);
        return false;
    }
    std::string bytes(length, '\0');
    if (stream.ReadBytes(bytes.data(), length) != length) {
        stream.SetError(TStream::kErrorShortRead);
        return false;
    }
    bytes.resize(::strnlen(bytes.data(), length));
    out = Kiv::String(std::move(bytes));
    return true;
}

bool ReadWholeEntry(TStream& stream, ResultsLogEntry& entry) {
    return stream.ReadU32(entry.severity) && ReadWholeText(stream, entry.text) &&
           ReadHalvexProperty(stream, entry.parameter);
}

}  // namespace

void ResultsLog::WriteToStream(TStream& stream, uint32_t first) {
    std::lock_guard hold(lock_);
    const uint32_t count = entries_.Count();
    stream.WriteU32(kFormatWord);
    stream.WriteU32(first < count ? count - first : 0u);
    entries_.ForEachFrom(first, [&stream](const ResultsLogEntry& e) {
        stream.WriteU32(e.severity);
        stream.WriteString(e.text.view());
        WriteHalvexProperty(stream, e.parameter);
    });
    reported_ = true;
}

void ResultsLog::ReadFromBuffer(TBuffer& buffer, ResultsLog& log) {
    std::lock_guard hold(log.lock_);
    uint32_t format;
    buffer.ReadU32(format, kNoFormat);
    if (format == kFormatWord) {
        uint32_t count;
        buffer.ReadU32(count, 0);
        for (uint32_t i = 0; i < count; ++i) {
            ResultsLogEntry entry;
            if (!ReadWholeEntry(buffer, entry)) break;
            log.AppendLocked(std::move(entry));
        }
    }
    log.ChangedLocked();
}
