// Text helpers on paths and names that the whole program shares: the lower-case comparison form
// of a path, name tests, the prefix wildcard of asset names, safe file names and the byte
// lower-case table. None of them touches the file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/kiv/base/path.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

// The form paths are compared in: normalised, backslash separators, lower case, and no trailing
// separator unless the path is a single character. Only for comparing: never open a file by it,
// the file system keeps letter case. An empty path stays empty.
Kiv::File::Path NormalizePathLower(const Kiv::File::Path& path);

// The path's file name is a texture description: "texture.txt" or a name ending in
// ".texture.txt", in any letter case.
bool IsTextureTxtFile(std::string_view path);

// The text after the last dot of the name ("" when there is none). A dot in a folder part of a
// path does not count.
std::string_view FindFileExtension(std::string_view name);

// The name is "." or "..".
bool IsDotDirectory(std::string_view name);

// A path that is never joined to another folder: a leading '/' (a leading '\' reads as one), a
// drive letter form "c:\" or "c:/", or a share "\\server". "c:" alone and "c:name" are relative.
bool IsAbsolutePath(std::string_view text);

// n is a power of two; 0 counts as one.
bool IsPowerOfTwo(uint32_t n);

// A copy in which every byte other than an ASCII digit, letter, '_' or ' ' becomes '_', with
// trailing blanks removed.
Kiv::String MakeSafeFileName(std::string_view text);

// '?' matches any one character, letters match ignoring case, anything else exactly ('*' too);
// the match succeeds once the pattern is used up, so a pattern matches every name it begins.
// An empty pattern matches everything.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// The 256-entry lower-case table: ASCII capitals to small letters, every other byte unchanged
// (bytes from 0x80 up are parts of UTF-8 sequences here and must not move).
uint8_t LowerCaseByte(uint8_t c);
// Lower-cases size bytes in place through the table.
void LowerCaseText(char* text, size_t size);
// Replaces the interned string by the interned lower-case form of its text; null stays null.
void LowerCasePString(Kiv::PString& name);
