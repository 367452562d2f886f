// The router's queue of delayed messages: a binary min-heap indexed from 1 (slot 0 stays null
// and ends every upward walk), ordered by the low 30 bits of each message's delay word, its due
// time. An element never passes one with an equal due time on its way up, so of two messages
// due at once the one queued first is never placed below the other. Each slot keeps the due
// time it was pushed with beside the pointer, so ordering never reads the queued elements (whose
// delay words must not change while they are queued).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Utils {

// T provides `uint32_t DelayWord() const`. The queue holds pointers; the caller owns their
// counts.
template <typename T>
class PriorityQueue {
public:
    static constexpr uint32_t kDueMask = 0x3FFFFFFFu;

    PriorityQueue() : heap_(1, Slot{0, nullptr}) {}

    uint32_t Count() const { return static_cast<uint32_t>(heap_.size() - 1); }
    bool Empty() const { return heap_.size() == 1; }
    // The element due first, null when empty.
    T* Top() const { return Empty() ? nullptr : heap_[1].element; }
    // Slot i (1-based), for walks that inspect every element.
    T* At(uint32_t i) const { return heap_[i].element; }

    void Push(T* element) {
        const Slot slot{element->DelayWord() & kDueMask, element};
        heap_.push_back(slot);
        size_t i = heap_.size() - 1;
        while (i > 1 && slot.due < heap_[i / 2].due) {
            heap_[i] = heap_[i / 2];
            i /= 2;
        }
        heap_[i] = slot;
    }

    // Takes the element due first; null when empty.
    T* Pop() {
        if (Empty()) return nullptr;
        T* top = heap_[1].element;
        const Slot last = heap_.back();
        heap_.pop_back();
        if (!Empty()) SiftDown(1, last);
        return top;
    }

    // Takes slot i (1-based) out, keeping the heap order.
    T* RemoveAt(uint32_t i) {
        T* removed = heap_[i].element;
        const Slot last = heap_.back();
        heap_.pop_back();
        if (i < heap_.size()) {
            SiftDown(i, last);
            size_t j = i;
            const Slot moved = heap_[j];
            while (j > 1 && moved.due < heap_[j / 2].due) {
                heap_[j] = heap_[j / 2];
                j /= 2;
            }
            heap_[j] = moved;
        }
        return removed;
    }

private:
    struct Slot {
        uint32_t due;
        T* element;
    };

    // Places `element` at slot i and moves it down: the second child is picked only when its
    // due time is strictly below the first's, and an equal due time moves down.
    void SiftDown(size_t i, Slot element) {
        size_t n = heap_.size() - 1;
        for (;;) {
            size_t child = 2 * i;
            if (child > n) break;
            if (child + 1 <= n && heap_[child + 1].due < heap_[child].due) ++child;
            if (element.due < heap_[child].due) break;
            heap_[i] = heap_[child];
            i = child;
        }
        heap_[i] = element;
    }

    std::vector<Slot> heap_;
};

}  // namespace Utils
