// What the user sees of a command's results log: each message on a line of its own with a
// one-character severity prefix and the asset it concerns, then the summary line
// "OK (n Errors, n Warnings)" (the "OK" stands whatever the counts are; callers read the
// counts).
#pragma once

#include <ostream>
#include <string>
#include <string_view>

class ResultsLog;

// Prints the log's messages in the order they were added, "<prefix><KUID> : <text>", and the
// summary line, under the log's lock; the log is then marked reported. A message without an
// asset shows "<NULL>".
void PrintResultsSummary(ResultsLog& log, std::ostream& out);

// The text converted from UTF-8 for the console (whose code set is UTF-8 on this platform, so
// valid text passes unchanged and every byte of a malformed sequence shows as '?').
std::string Utf8ToConsoleText(std::string_view text);
