#include "cli/batch_line.h"

#include <algorithm>

namespace {

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

}  // namespace

std::string_view CutBatchLine(std::string_view line) {
    if (line.empty()) return line;
    // A zero byte ends the text even in first place; a line end there is kept as a character.
    if (line[0] == '\0') return {};
    auto end = std::find_if(line.begin() + 1, line.end(), IsLineEnd);
    return line.substr(0, static_cast<size_t>(end - line.begin()));
}

bool IsBlankBatchLine(std::string_view line) {
    line = CutBatchLine(line);
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return c == ' ' || c == '\r' || c == '\n'; });
}

std::vector<std::string> TokenizeBatchLine(std::string_view line) {
    line = CutBatchLine(line);
    // Every unquoted word, the first one included, gets a blank before and after it.
    std::string work;
    work.reserve(line.size() + 2);
    if (line.empty() || line[0] != ' ') work += ' ';
    work += line;
    work += ' ';

    constexpr size_t kNone = std::string::npos;
    std::vector<std::string> args;
    size_t start = kNone;
    bool inQuotes = false;
    size_t pos = 0;
    while (pos < work.size()) {
        char c = work[pos];
        if (c == '"') {
            if (inQuotes) args.push_back(work.substr(start, pos - start));
            start = inQuotes ? kNone : pos + 1;
            inQuotes = !inQuotes;
            ++pos;
        } else if (c == ' ' && !inQuotes) {
            if (start == kNone) {
                start = pos + 1;
                ++pos;
            } else {
                // The blank ends this argument and is looked at again, so it also starts the
                // next one.
                args.push_back(work.substr(start, pos - start));
                start = kNone;
            }
        } else {
            ++pos;
        }
    }
    return args;
}
