#include "configdata/soup_overlay.h"

#include <algorithm>

bool TDBSoupOverlay::MarkRemoved(uint32_t chunk, uint32_t runKey) {
    if (!removed_.insert({chunk, runKey}).second) return false;
    Changed();
    return true;
}

const std::vector<TDBSoupOverlay::Added>* TDBSoupOverlay::GetAdded(uint32_t runKey) const {
    if (!changed_) return nullptr;
    auto it = added_.find(runKey);
    return it == added_.end() || it->second.empty() ? nullptr : &it->second;
}

uint32_t TDBSoupOverlay::CountAdded(uint32_t runKey) const {
    const std::vector<Added>* added = GetAdded(runKey);
    return added ? static_cast<uint32_t>(added->size()) : 0;
}

bool TDBSoupOverlay::Add(uint32_t runKey, Added record) {
    std::vector<Added>& run = added_[runKey];
    bool present = std::any_of(run.begin(), run.end(), [&](const Added& a) {
        return record.chunk == kNoChunk ? a.node == record.node : a.chunk == record.chunk;
    });
    if (present) return false;
    run.push_back(std::move(record));
    Changed();
    return true;
}

bool TDBSoupOverlay::RemoveAddedNode(uint32_t runKey, const ACSChunk* node) {
    auto it = added_.find(runKey);
    if (it == added_.end()) return false;
    auto& run = it->second;
    auto at = std::find_if(run.begin(), run.end(), [&](const Added& a) {
        return a.chunk == kNoChunk && a.node.Get() == node;
    });
    if (at == run.end()) return false;
    // The record leaves the list before its node is dropped: dropping it may run any code.
    Added gone = std::move(*at);
    run.erase(at);
    Changed();
    return true;
}

bool TDBSoupOverlay::RemoveAddedChunk(uint32_t runKey, uint32_t chunk) {
    auto it = added_.find(runKey);
    if (it == added_.end()) return false;
    auto& run = it->second;
    auto at =
        std::find_if(run.begin(), run.end(), [&](const Added& a) { return a.chunk == chunk; });
    if (at == run.end()) return false;
    run.erase(at);
    Changed();
    return true;
}

void TDBSoupOverlay::Clear() {
    auto added = std::move(added_);
    added_.clear();
    removed_.clear();
    Changed();
    changed_ = false;
}
