// The process's working directory: reading it, and changing it for a scope (the commands that
// run in the directory the user started the program from change back when they end).
#pragma once

#include <string>

// The current working directory; empty when it cannot be had.
std::string CurrentWorkingDirectory();

// Changes to `dir` (nothing when it is empty) and back to the directory before at the end of
// the scope. A change that fails is logged; the command goes on where it is.
class WorkingDirectoryScope {
public:
    explicit WorkingDirectoryScope(const std::string& dir);
    ~WorkingDirectoryScope();
    WorkingDirectoryScope(const WorkingDirectoryScope&) = delete;
    WorkingDirectoryScope& operator=(const WorkingDirectoryScope&) = delete;

private:
    std::string before_;
};
