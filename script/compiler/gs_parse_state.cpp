#include "script/compiler/gs_parse_state.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace GSCompiler {

namespace {

constexpr size_t kMessageBuffer = 256;

void Report(GSParseState& state, bool isError, bool isWarning, const char* file, uint32_t line,
            const char* format, va_list args) {
    if (isError) ++state.errors;
    if (isWarning) ++state.warnings;
    if (state.sink == nullptr) return;
    char text[kMessageBuffer];
    std::vsnprintf(text, sizeof text, format, args);
    std::string out = file != nullptr ? file : "";
    out += '(';
    out += std::to_string(static_cast<int32_t>(line));
    out += ") : ";
    out += text;
    state.sink->AddLine(out);
}

}  // namespace

void ReportMessage(GSParseState& state, bool isError, bool isWarning, uint32_t line,
                   const char* format, ...) {
    va_list args;
    va_start(args, format);
    Report(state, isError, isWarning, state.fileName.c_str(), line, format, args);
    va_end(args);
}

void ReportMessageAt(GSParseState& state, bool isError, bool isWarning, const char* file,
                     uint32_t line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    Report(state, isError, isWarning, file, line, format, args);
    va_end(args);
}

void Print(GSParseState& state, const char* format, ...) {
    if (state.sink == nullptr) return;
    char text[kMessageBuffer];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    state.sink->AddLine(text);
}

}  // namespace GSCompiler
