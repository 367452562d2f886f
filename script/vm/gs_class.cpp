#include "script/vm/gs_class.h"

#include <atomic>
#include <mutex>

namespace GSRuntime {

std::atomic<std::atomic<GSFunction*>*> g_handleChunks[kHandleChunks] = {};

namespace {

constexpr uint32_t kChunkBits = kHandleChunkBits;
constexpr uint32_t kChunkSize = kHandleChunkSize;
constexpr uint32_t kChunks = kHandleChunks;

// The registration side of the handle table: its lock, the next new handle and the freed ones.
// Handle 0 is kept free so that a zero word is no function.
struct HandleTable {
    std::mutex lock;
    uint32_t next = 1;
    std::vector<uint32_t> free;
};

HandleTable& Handles() {
    static HandleTable* table = new HandleTable();  // lives to the end of the process
    return *table;
}

}  // namespace

int GSFunction::LineOf(uint32_t offset) const {
    if (!hasLineTable || lines.empty()) return -1;
    size_t i = 0;
    while (i < lines.size() && lines[i].offset <= offset)
        ++i;
    return static_cast<int>(lines[i == 0 ? 0 : i - 1].line);
}

uint32_t RegisterFunctionHandle(GSFunction* function) {
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    uint32_t h;
    if (!t.free.empty()) {
        h = t.free.back();
        t.free.pop_back();
    } else {
        if (t.next >= kChunkSize * kChunks) return 0;
        h = t.next++;
        auto& chunk = g_handleChunks[h >> kChunkBits];
        if (chunk.load(std::memory_order_relaxed) == nullptr)
            chunk.store(new std::atomic<GSFunction*>[kChunkSize](), std::memory_order_release);
    }
    g_handleChunks[h >> kChunkBits].load(std::memory_order_relaxed)[h & (kChunkSize - 1)].store(
        function, std::memory_order_release);
    return h;
}

void ReleaseFunctionHandle(uint32_t handle) {
    if (handle == 0) return;
    HandleTable& t = Handles();
    std::lock_guard<std::mutex> guard(t.lock);
    if (handle >= t.next) return;
    g_handleChunks[handle >> kChunkBits]
        .load(std::memory_order_relaxed)[handle & (kChunkSize - 1)]
        .store(nullptr, std::memory_order_release);
    t.free.push_back(handle);
}

bool GSClass::IsNamed(const Kiv::PString& wanted) const {
    if (name == wanted) return true;
    for (size_t i = bases.size(); i-- > 0;)
        if (bases[i].cls != nullptr && bases[i].cls->name == wanted) return true;
    return false;
}

int32_t GSClass::PartOf(const GSClass* base) const {
    if (base == this) return 0;
    for (size_t i = bases.size(); i-- > 0;)
        if (bases[i].cls == base) return bases[i].w1;
    return -1;
}

GSFunction* GSClass::FindFunction(const Kiv::PString& signature) const {
    for (const auto& f : functions)
        if (f->name == signature) return f.get();
    return nullptr;
}

}  // namespace GSRuntime
