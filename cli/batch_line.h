// One line of a batch file split into the arguments of one command. Arguments are separated by
// blanks or stand whole between double quotes, and a word without quotes counts too (the
// command word usually stands so). The quirks are the system's own and batch files rely on
// them:
//   - two blanks in a row pass an empty argument between them, and so does a blank at the end
//     of the line;
//   - a quote that is never closed yields no argument for its text;
//   - a quote in the middle of an unquoted word drops the part of the word before it.
// The line ends at its first carriage return or line feed after its first character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A line's text (without its line end) may hold this many bytes: what fits the 512-byte line
// buffer with its terminating zero.
inline constexpr size_t kBatchLineBufferSize = 512;
inline constexpr size_t kBatchLineMaxLength = kBatchLineBufferSize - 1;

// The line as far as it is read: up to its first carriage return, line feed or zero byte,
// except that the first character always counts.
std::string_view CutBatchLine(std::string_view line);

// True when the line holds nothing but blanks and line ends: such a line is skipped.
bool IsBlankBatchLine(std::string_view line);

// The arguments of the line, in order; empty when it yields none.
std::vector<std::string> TokenizeBatchLine(std::string_view line);
