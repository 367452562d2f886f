// The process-wide map from a number of the database client (a transaction or task number) to
// the results log that collects its messages, so that messages arriving for that number find
// their log. The map does not own the logs: a log takes itself out when it is destroyed.
#pragma once

#include <cstdint>
#include <functional>

class ResultsLog;

class GlobalResultsMap {
public:
    // Stores the log under the key, replacing what was there.
    static void Set(uint32_t key, ResultsLog* log);
    // The log under the key, or null. The pointer is only good while its owner keeps the log;
    // a thread other than the owner's uses WithLog.
    static ResultsLog* Find(uint32_t key);
    // Runs `use` on the log under the key while the map is locked, so the log cannot be
    // destroyed meanwhile (its destructor takes itself out of the map first). False when no
    // log is there.
    static bool WithLog(uint32_t key, const std::function<void(ResultsLog&)>& use);
    // Removes the key when present.
    static void Erase(uint32_t key);
    // Removes every key whose log is this one.
    static void EraseLog(const ResultsLog* log);
    static uint32_t Count();
};
