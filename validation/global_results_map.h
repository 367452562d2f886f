// The process-wide map from a number of the database client (a transaction or task number) to
// the results log that collects its messages, so that messages arriving for that number find
// their log. The map does not own the logs: a log takes itself out when it is destroyed.
#pragma once

#include <cstdint>

class ResultsLog;

class GlobalResultsMap {
public:
    // Stores the log under the key, replacing what was there.
    static void Set(uint32_t key, ResultsLog* log);
    // The log under the key, or null.
    static ResultsLog* Find(uint32_t key);
    // Removes the key when present.
    static void Erase(uint32_t key);
    // Removes every key whose log is this one.
    static void EraseLog(const ResultsLog* log);
    static uint32_t Count();
};
