#include "mesh/point_map.h"

#include <algorithm>
#include <cstdlib>

HXMemoryChain::~HXMemoryChain() {
    for (Block* b = first_; b != nullptr;) {
        Block* next = b->next;
        std::free(b->start);
        delete b;
        b = next;
    }
}

void* HXMemoryChain::Allocate(size_t n) {
    if (n > blockSize_) return nullptr;
    if (current_ == nullptr || size_t(current_->end - current_->free) < n) {
        if (current_ != nullptr && current_->next != nullptr) {
            current_ = current_->next;
            current_->free = current_->start;
        } else {
            auto* block = new Block;
            block->start = static_cast<uint8_t*>(std::malloc(blockSize_));
            if (block->start == nullptr) {
                delete block;
                return nullptr;
            }
            block->free = block->start;
            block->end = block->start + blockSize_;
            block->previous = current_;
            if (current_ != nullptr)
                current_->next = block;
            else
                first_ = block;
            current_ = block;
        }
    }
    void* p = current_->free;
    current_->free += n;
    return p;
}

void HXMemoryChain::Rewind() {
    current_ = first_;
    if (current_ != nullptr) current_->free = current_->start;
}

size_t HXMemoryChain::GetBlockCount() const {
    size_t n = 0;
    for (Block* b = first_; b != nullptr; b = b->next)
        ++n;
    return n;
}

void HXMapKDTree::Insert(const float point[3], int32_t value) {
    auto* p = static_cast<Point*>(chain_.Allocate(sizeof(Point)));
    if (p == nullptr) return;
    *p = {{point[0], point[1], point[2]}, 0, 0, value};
    pending_.push_back(p);
    ++insertions_;
    if (!lazy_) ApplyRebuildRule();
}

bool HXMapKDTree::Remove(const float point[3]) {
    auto same = [&](const Point* p) {
        return !p->removed && p->position[0] == point[0] && p->position[1] == point[1] &&
               p->position[2] == point[2];
    };
    for (Point* p : built_)
        if (same(p)) {
            p->removed = 1;
            ++removals_;
            return true;
        }
    for (Point* p : pending_)
        if (same(p)) {
            p->removed = 1;
            ++removals_;
            return true;
        }
    return false;
}

void HXMapKDTree::ApplyRebuildRule() {
    size_t s = built_.size();
    auto wanted = [s](int mode, size_t c, bool insertion) {
        if (mode == kNever) return false;
        if (mode == kAlways) return true;
        if (mode == kAutomatic)
            return insertion ? (c > 1000 || (c > 10 && 8 * c > s)) : (c >= 11 && 4 * c > s);
        return c > static_cast<size_t>(mode);
    };
    if (wanted(insertMode_, insertions_, true) || wanted(removeMode_, removals_, false)) Build();
}

void HXMapKDTree::Build() {
    built_.insert(built_.end(), pending_.begin(), pending_.end());
    pending_.clear();
    insertions_ = removals_ = 0;
    nodes_ = 0;
    cancelled_ = false;
    if (!built_.empty()) BuildRange(0, built_.size() - 1);
}

void HXMapKDTree::BuildRange(size_t lo, size_t hi) {
    if (cancelled_) return;
    ++nodes_;
    if ((nodes_ & 1023) == 1023 && progress_ &&
        !progress_(nodes_, std::max<uint32_t>(nodes_, static_cast<uint32_t>(built_.size()))))
        cancelled_ = true;
    if (lo == hi) {
        built_[lo]->axis = 0;
        return;
    }
    float mn[3], mx[3];
    for (int a = 0; a < 3; ++a)
        mn[a] = mx[a] = built_[lo]->position[a];
    for (size_t k = lo + 1; k <= hi; ++k)
        for (int a = 0; a < 3; ++a) {
            mn[a] = std::min(mn[a], built_[k]->position[a]);
            mx[a] = std::max(mx[a], built_[k]->position[a]);
        }
    uint8_t axis = 0;
    if (mx[1] - mn[1] > mx[0] - mn[0]) axis = 1;
    if (mx[2] - mn[2] > mx[axis] - mn[axis]) axis = 2;
    size_t mid = (lo + hi) / 2;
    std::nth_element(
        built_.begin() + static_cast<ptrdiff_t>(lo), built_.begin() + static_cast<ptrdiff_t>(mid),
        built_.begin() + static_cast<ptrdiff_t>(hi) + 1,
        [axis](const Point* a, const Point* b) { return a->position[axis] < b->position[axis]; });
    built_[mid]->axis = axis;
    if (mid > lo) BuildRange(lo, mid - 1);
    if (mid < hi) BuildRange(mid + 1, hi);
}

void HXMapKDTree::Search(size_t lo, size_t hi, const float q[3],
                         std::vector<int32_t>& results) const {
    // Ranges are inclusive; an empty one is lo > hi (hi may have wrapped below 0).
    while (lo <= hi && hi != SIZE_MAX) {
        size_t m = (lo + hi) / 2;
        const Point* p = built_[m];
        float d = q[p->axis] - p->position[p->axis];
        if (d < 0) {
            if (m == 0) return;
            hi = m - 1;
        } else if (d > 0) {
            lo = m + 1;
        } else {
            if (!p->removed && p->position[0] == q[0] && p->position[1] == q[1] &&
                p->position[2] == q[2])
                results.push_back(p->value);
            if (m > lo) Search(lo, m - 1, q, results);
            lo = m + 1;
        }
    }
}

size_t HXMapKDTree::Lookup(const float point[3], std::vector<int32_t>& results) {
    if (lazy_) ApplyRebuildRule();
    results.clear();
    if (!built_.empty()) Search(0, built_.size() - 1, point, results);
    for (const Point* p : pending_)
        if (!p->removed && p->position[0] == point[0] && p->position[1] == point[1] &&
            p->position[2] == point[2])
            results.push_back(p->value);
    return results.size();
}
