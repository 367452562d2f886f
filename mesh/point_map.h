// HXMapKDTree: maps three-dimensional float points to integer values and finds every stored point
// at exactly a given position (no tolerance). The collision-tree build welds triangle corners
// with it. HXMemoryChain is the block pool that holds its point records.
//
// The tree is implicit: the built part is an array of point pointers in which a range's node is
// its middle element and its children the ranges on either side. Points inserted since the last
// build wait in a pending list that every lookup also scans; the rebuild rule decides when they
// join the built part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Fixed-size records in blocks that are kept and reused, never returned one by one.
class HXMemoryChain {
public:
    explicit HXMemoryChain(size_t blockSize) : blockSize_(blockSize) {}
    virtual ~HXMemoryChain();
    HXMemoryChain(const HXMemoryChain&) = delete;
    HXMemoryChain& operator=(const HXMemoryChain&) = delete;

    // n bytes from the current block, or the next one (reused from its start, or new).
    void* Allocate(size_t n);
    // Every block back to its start (the memory is kept for reuse).
    void Rewind();
    size_t GetBlockCount() const;

private:
    struct Block {
        Block* next = nullptr;
        Block* previous = nullptr;
        uint8_t* free = nullptr;
        uint8_t* start = nullptr;
        uint8_t* end = nullptr;
    };
    size_t blockSize_;
    Block* first_ = nullptr;
    Block* current_ = nullptr;
};

class HXMapKDTree {
public:
    static constexpr int kNever = -1, kAlways = -2, kAutomatic = -3;
    static constexpr size_t kRecordsPerBlock = 4000;

    struct Point {
        float position[3];
        uint8_t axis;
        uint8_t removed;
        int32_t value;
    };
    static_assert(sizeof(Point) == 20);

    // Called every 1024th node of a build with the node count and the larger of it and the
    // point count; false cancels the build.
    using Progress = std::function<bool(uint32_t nodes, uint32_t total)>;

    HXMapKDTree() : chain_(kRecordsPerBlock * sizeof(Point)) {}
    virtual ~HXMapKDTree() = default;

    void Insert(const float point[3], int32_t value);
    // The values of every stored point at exactly the position; their number.
    size_t Lookup(const float point[3], std::vector<int32_t>& results);
    // Marks the first stored point at the position removed; false when there is none.
    bool Remove(const float point[3]);

    void SetRebuildModes(int insertions, int removals) {
        insertMode_ = insertions;
        removeMode_ = removals;
    }
    void SetLazy(bool lazy) { lazy_ = lazy; }
    void SetProgress(Progress progress) { progress_ = std::move(progress); }
    bool WasCancelled() const { return cancelled_; }

    size_t GetBuiltSize() const { return built_.size(); }
    size_t GetPendingSize() const { return pending_.size(); }
    // Every point into the built part, now.
    void Build();

private:
    void ApplyRebuildRule();
    void BuildRange(size_t lo, size_t hi);
    void Search(size_t lo, size_t hi, const float q[3], std::vector<int32_t>& results) const;

    std::vector<Point*> built_;
    std::vector<Point*> pending_;
    size_t insertions_ = 0, removals_ = 0;
    int insertMode_ = kAutomatic, removeMode_ = kAutomatic;
    bool lazy_ = true;
    Progress progress_;
    bool cancelled_ = false;
    uint32_t nodes_ = 0;
    HXMemoryChain chain_;
};
