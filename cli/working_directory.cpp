#include "cli/working_directory.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "foundation/logging.h"

std::string CurrentWorkingDirectory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

WorkingDirectoryScope::WorkingDirectoryScope(const std::string& dir)
    : before_(CurrentWorkingDirectory()) {
    if (!dir.empty() && ::chdir(dir.c_str()) != 0)
        LogOutputf("WorkingDirectoryScope> cannot change to '%s'", dir.c_str());
}

WorkingDirectoryScope::~WorkingDirectoryScope() {
    if (!before_.empty() && ::chdir(before_.c_str()) != 0)
        LogOutputf("WorkingDirectoryScope> cannot change back to '%s'", before_.c_str());
}
