// Text conversion between code pages, in place in a caller's buffer, and decoding of single
// UTF-8 characters.
//
// Text in memory is UTF-8; files written by older tools hold text in the local code page,
// which on this platform is Windows-1252. Code pages are named by their Windows numbers: 0 is
// the local code page, 65001 UTF-8, and any other number n is the iconv character set "CPn".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr uint32_t kCodePageLocal = 0;
constexpr uint32_t kCodePageWindows1252 = 1252;
constexpr uint32_t kCodePageUtf8 = 65001;

// Results of ConvertTextCodePage besides a positive "bytes needed".
constexpr int kCodePageConverted = 0;
constexpr int kCodePageFailed = -1;

// Converts the NUL-terminated text in a buffer of bufferSize bytes from one code page to the
// other, in place. Results:
//   0   converted;
//   n>0 the buffer is too small: n bytes (the NUL included) are needed; the text is unchanged;
//   -1  no NUL within bufferSize (the text is emptied), or the text is not valid in its code
//       page, or a code page is unknown (every byte with its top bit set becomes '?').
// A character the target code page cannot hold becomes '?' on its own.
int ConvertTextCodePage(char* text, uint32_t bufferSize, uint32_t fromCodePage,
                        uint32_t toCodePage);

// From the local code page to UTF-8.
int ConvertToUtf8(char* text, uint32_t bufferSize);
// From UTF-8 to the given code page.
int ConvertFromUtf8(char* text, uint32_t bufferSize, uint32_t toCodePage);

// The text, up to its first NUL, converted from the local code page to UTF-8 in a buffer that
// grows as the conversion asks. False, with `out` empty, when it cannot be converted.
bool LocalTextToUtf8(std::string_view text, std::string& out);

// One character of UTF-8. The lead byte gives the number of following bytes (0 to 3); each
// following byte adds six bits. A lead byte whose following bytes are not all there (the text
// ends, or a byte is not a continuation byte) counts as one byte on its own, as do stray
// continuation bytes and the bytes 0xF8 to 0xFF: the value is then the byte itself. The number
// of bytes used goes to *length when given.
//
// This form reads a NUL-terminated text and never reads past its NUL.
uint32_t DecodeUtf8Char(const char* text, uint32_t* length = nullptr);
// This form reads no further than the view's end; an empty view gives 0 with length 0.
uint32_t DecodeUtf8Char(std::string_view text, uint32_t* length = nullptr);
