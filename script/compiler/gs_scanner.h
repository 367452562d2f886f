// The VuruDadeda scanner: a flex scanner class (gs_scanner.l) reading one source text from
// memory. It hands out token codes (gs_tokens.h), the text of the last token and the current
// line; the parser works literal values out of the text. A failure of the generated code's own
// (out of memory) is reported through the error callback and ends the input, never the process.
#pragma once

#include <cstddef>
#include <string>

#ifndef yyFlexLexerOnce
#undef yyFlexLexer
#define yyFlexLexer gsFlexLexer
#include <FlexLexer.h>
#endif

namespace GSCompiler {

class GSScanner : public gsFlexLexer {
public:
    using ErrorCallback = void (*)(void* context, const char* message);

    // Scans `length` bytes at `text`, which must stay valid while the scanner reads.
    GSScanner(const char* text, size_t length);

    // The next token code; 0 at the end of the input (and after a scanner failure).
    int yylex() override;
    // The text of the last token, NUL-ended, valid until the next token is read.
    const char* Text() const { return YYText(); }
    size_t TextLength() const { return static_cast<size_t>(YYLeng()); }
    int Line() const { return lineno(); }

    void SetErrorCallback(ErrorCallback callback, void* context) {
        onError_ = callback;
        errorContext_ = context;
    }
    bool Failed() const { return failed_; }

protected:
    int LexerInput(char* buf, int maxSize) override;
    void LexerError(const char* message) override;

private:
    int Scan();  // the generated matching loop

    const char* text_;
    size_t remaining_;
    bool failed_ = false;
    ErrorCallback onError_ = nullptr;
    void* errorContext_ = nullptr;
};

}  // namespace GSCompiler
