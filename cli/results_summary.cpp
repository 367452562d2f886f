#include "cli/results_summary.h"

#include <cstring>
#include <vector>

#include "configdata/kuid.h"
#include "foundation/codepage.h"
#include "validation/results_log.h"

namespace {

// The console's code page: the locale's code set, UTF-8 here.
constexpr uint32_t kConsoleCodePage = kCodePageUtf8;

const char* SeverityPrefix(uint32_t severity) {
    switch (severity) {
        case kResultsInfo:
            return "; ";
        case kResultsWarning:
            return "! ";
        case kResultsError:
            return "- ";
        case kResultsSuccess:
            return "+ ";
        default:
            return "";
    }
}

}  // namespace

std::string Utf8ToConsoleText(std::string_view text) {
    if (text.empty()) return {};
    // Converted in place; when the converter asks for more room, once more in a buffer of the
    // size it asked for.
    std::vector<char> buffer(text.size() + 2, '\0');
    std::memcpy(buffer.data(), text.data(), text.size());
    int result = ConvertTextCodePage(buffer.data(), static_cast<uint32_t>(buffer.size()),
                                     kCodePageUtf8, kConsoleCodePage);
    if (result > 0) {
        std::vector<char> larger(static_cast<size_t>(result) + 1, '\0');
        std::memcpy(larger.data(), text.data(), text.size());
        buffer.swap(larger);
        ConvertTextCodePage(buffer.data(), static_cast<uint32_t>(buffer.size()), kCodePageUtf8,
                            kConsoleCodePage);
    }
    return std::string(buffer.data());
}

void PrintResultsSummary(ResultsLog& log, std::ostream& out) {
    Kiv::SingleLock hold(&log.GetLock(), true);
    uint32_t errors = 0;
    uint32_t warnings = 0;
    log.ForEachEntry([&](const ResultsLogEntry& entry) {
        if (entry.severity == kResultsWarning) ++warnings;
        if (entry.severity == kResultsError) ++errors;
        KUID asset = KUID::FromText(entry.parameter.GetText().view(), false);
        out << SeverityPrefix(entry.severity) << asset.ToString().view() << " : "
            << Utf8ToConsoleText(entry.text.view()) << '\n';
    });
    out << "OK (" << errors << " Errors, " << warnings << " Warnings)" << std::endl;
    log.SetReported(true);
}
