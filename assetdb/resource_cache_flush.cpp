#include "assetdb/resource_cache_flush.h"

#include <atomic>

#include "foundation/main_thread.h"
#include "platform/kiv/base/pstring.h"

namespace {

std::atomic<bool> pending{false};
std::atomic<ResourceCacheDumpCall> dumpCall{nullptr};
std::atomic<uint32_t> flushes{0};

}  // namespace

void FlushResourceCacheOnMainThread() {
    if (!IsMainThread()) {
        pending.store(true, std::memory_order_release);
        return;
    }
    if (ResourceCacheDumpCall dump = dumpCall.load(std::memory_order_acquire)) dump();
    Kiv::PStringCache::CollectGarbage();
    pending.store(false, std::memory_order_release);
    flushes.fetch_add(1, std::memory_order_acq_rel);
}

bool IsResourceCacheFlushPending() {
    return pending.load(std::memory_order_acquire);
}

void SetResourceCacheDumpCall(ResourceCacheDumpCall call) {
    dumpCall.store(call, std::memory_order_release);
}

uint32_t CountResourceCacheFlushes() {
    return flushes.load(std::memory_order_acquire);
}
