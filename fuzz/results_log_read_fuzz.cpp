// Results-log wire forms over arbitrary bytes: read into a log, written back, and the written
// form read and written again, which must give the same bytes (what a reader keeps, a writer
// reproduces exactly).
#include <cstdint>
#include <string>

#include "foundation/tbuffer.h"
#include "validation/results_log.h"

namespace {

std::string Wire(ResultsLog& log) {
    TBuffer out;
    log.WriteToStream(out, 0);
    return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetDataLength());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBuffer in(data, static_cast<uint32_t>(size));
    ResultsLog log;
    ResultsLog::ReadFromBuffer(in, log);
    // Every entry takes at least twelve bytes of the input.
    if (uint64_t{log.GetCount()} * 12 > size) __builtin_trap();

    // A parameter name of 65535 bytes without its NUL reads but cannot be written back whole.
    bool writable = true;
    log.ForEachEntry([&writable](const ResultsLogEntry& e) {
        if (!e.parameter.IsEmpty() && e.parameter->GetName().Length() >= TStream::kMaxStringLength)
            writable = false;
    });
    if (!writable) return 0;

    std::string first = Wire(log);
    TBuffer again(first.data(), static_cast<uint32_t>(first.size()));
    ResultsLog back;
    ResultsLog::ReadFromBuffer(again, back);
    if (again.HasError() || back.GetCount() != log.GetCount() ||
        back.GetErrorCount() != log.GetErrorCount() ||
        back.GetWarningCount() != log.GetWarningCount() || Wire(back) != first)
        __builtin_trap();
    return 0;
}
