// Collects the engine log's lines while alive, for tests that check what was logged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/kiv/base/log.h"

namespace testsupport {

class LogLines {
public:
    LogLines()
        : id_(Kiv::Log::AddListener([this](std::string_view l) { lines.emplace_back(l); })) {}
    ~LogLines() { Kiv::Log::RemoveListener(id_); }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;
    std::vector<std::string> lines;

private:
    int id_;
};

}  // namespace testsupport
