#include "validation/global_results_map.h"

#include <map>
#include <mutex>

#include "foundation/statics.h"
#include "platform/kiv/base/sync.h"

namespace {

struct MapState {
    Kiv::CriticalSection lock;
    std::map<uint32_t, ResultsLog*> logs;
};

MapState& State() {
    static ProcessStatic<MapState> state("results map");
    return state.Get();
}

// Built before main, like the program's other process-wide statics.
[[maybe_unused]] const bool kBuilt = (State(), true);

}  // namespace

void GlobalResultsMap::Set(uint32_t key, ResultsLog* log) {
    MapState& s = State();
    std::lock_guard hold(s.lock);
    s.logs[key] = log;
}

ResultsLog* GlobalResultsMap::Find(uint32_t key) {
    MapState& s = State();
    std::lock_guard hold(s.lock);
    auto it = s.logs.find(key);
    return it != s.logs.end() ? it->second : nullptr;
}

bool GlobalResultsMap::WithLog(uint32_t key, const std::function<void(ResultsLog&)>& use) {
    MapState& s = State();
    std::lock_guard hold(s.lock);
    auto it = s.logs.find(key);
    if (it == s.logs.end() || it->second == nullptr) return false;
    use(*it->second);
    return true;
}

void GlobalResultsMap::Erase(uint32_t key) {
    MapState& s = State();
    std::lock_guard hold(s.lock);
    s.logs.erase(key);
}

void GlobalResultsMap::EraseLog(const ResultsLog* log) {
    MapState& s = State();
    std::lock_guard hold(s.lock);
    std::erase_if(s.logs, [log](const auto& item) { return item.second == log; });
}

uint32_t GlobalResultsMap::Count() {
    MapState& s = State();
    std::lock_guard hold(s.lock);
    return static_cast<uint32_t>(s.logs.size());
}
