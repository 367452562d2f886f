// The help text: what the program prints, followed by a line end, when it is run without a
// command or with the word "help". It documents only part of the command words; the rest are
// for the daemon and for installers.
#pragma once

#include <string_view>

// The whole text. Its lines are separated by line feeds and the last one is empty, so the
// text ends in a line feed.
std::string_view GetHelpText();
