// The program's own options. They may stand anywhere on the command line, in any letter case,
// and stay in the argument list (a command never reads them as its arguments, and only one
// standing first would be taken for a command word). They choose the engine's render and log
// options and whether this process presents itself to the daemon as a client.
#pragma once

#include <string>

struct OwnOptions {
    bool renderOff = false;          // "norender", written without a dash
    bool engineLogToStdOut = false;  // "-kivlog"
    bool wexClientEnabled = true;    // cleared by "-nowexclient"
    // "-nostartwexdaemon" is accepted and changes nothing.
};

// Scans argv[0] to argv[argc - 1].
OwnOptions ScanOwnOptions(int argc, const char* const* argv);

// The engine option string for the OS object: the render words, then the log words, each
// followed by a blank ("-NullRender " or "-render=OpenGL -hidewindow ", then "-LogStdOut " or
// "-LogFile=/dev/null ").
std::string BuildEngineOptionString(const OwnOptions& options);
