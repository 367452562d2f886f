// The process's standard output and its redirection to a parent's pipe. A parent that wants
// this program's output makes a FIFO named after the child's process id, "/tmp/<pid>cout", and
// opens it for reading before the child runs; at static start-up the child then sends its
// standard output there, as UTF-16 (little-endian), converted from the UTF-8 it prints. Without
// such a pipe (or with no reader on it) output stays where it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace OS {

std::string StdoutPipeName(uint32_t processId);

// Opens this process's pipe, when its parent made one, and makes it standard output (the C
// library's stdout and std::cout). True when output now goes to a pipe. Runs during static
// start-up; later calls try again only while output is not redirected yet.
bool RedirectStdoutToPipe();
// The same for a pipe of the given name.
bool RedirectStdoutTo(const std::string& pipeName);
bool IsStdoutPipe();

// Writes bytes straight to standard output's descriptor, converted when it is the pipe, without
// taking a lock or allocating: for signal handlers. Text beyond ASCII arrives as U+FFFD on the
// pipe.
void WriteStdoutRaw(const char* text, size_t length);

}  // namespace OS

// Converts UTF-8 to UTF-16LE bytes, appending to out. A sequence cut off at the end of the text
// is kept in carry (when given) to be completed by the next call; malformed bytes become
// U+FFFD.
void AppendUtf16LE(std::string_view utf8, std::string& out, std::string* carry = nullptr);
// Converts UTF-32 code points (wide characters) to UTF-8; invalid ones become U+FFFD.
std::string WideToUtf8(const wchar_t* text, size_t length);
