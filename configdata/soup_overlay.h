// TDBSoupOverlay: the changes made through the read view of a loaded binary soup, kept beside
// the loaded bytes, which never change. Children added to a run are records in the order
// added; chunks removed from a run are a set of (chunk position, run key) pairs. A run's key is
// the body offset where its chunks start (0 for the root), which no other run shares.
//
// Each change advances a generation number, so that every view of the same bytes can tell
// whether what it has counted or cached still holds.
#pragma once

#include <cstdint>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "configdata/tdb_tag_ref.h"

class TDBSoupOverlay {
public:
    // An added child is either a node held by reference, or a chunk of the same file named by
    // its position (and the key of the run it came from): holding a node of the same file by
    // reference would make the file keep itself alive.
    struct Added {
        Kiv::PString name;
        TDBTagRef node;
        uint32_t chunk = kNoChunk;
        uint32_t chunkParent = 0;
    };
    static constexpr uint32_t kNoChunk = 0xFFFFFFFF;
    // The position that stands for the root run, which has no chunk of its own.
    static constexpr uint32_t kRootChunk = 0xFFFFFFFE;

    bool HasChanges() const { return changed_; }
    uint64_t GetGeneration() const { return generation_; }

    bool IsRemoved(uint32_t chunk, uint32_t runKey) const {
        return changed_ && removed_.count({chunk, runKey}) != 0;
    }
    // False when the chunk was already removed.
    bool MarkRemoved(uint32_t chunk, uint32_t runKey);

    // The children added to a run, in the order added (null when none).
    const std::vector<Added>* GetAdded(uint32_t runKey) const;
    uint32_t CountAdded(uint32_t runKey) const;
    // False when the same node (or chunk) is already an added child of the run.
    bool Add(uint32_t runKey, Added record);
    // Removes the added child holding that node, or that chunk; false when there is none.
    bool RemoveAddedNode(uint32_t runKey, const ACSChunk* node);
    bool RemoveAddedChunk(uint32_t runKey, uint32_t chunk);

    void Clear();

private:
    void Changed() {
        changed_ = true;
        ++generation_;
    }

    std::unordered_map<uint32_t, std::vector<Added>> added_;
    std::set<std::pair<uint32_t, uint32_t>> removed_;
    bool changed_ = false;
    uint64_t generation_ = 0;
};
