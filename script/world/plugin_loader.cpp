#include "script/world/plugin_loader.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>

#include "assetdb/data_folders.h"

namespace HalvexPlugins {
namespace {

std::recursive_mutex& PluginLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::atomic<int64_t> gAllocated{0};

// The counted pair: n + 8 bytes, the size in the first word (8 keeps the block aligned for any
// value the interface stores).
void* CountedAllocate(size_t bytes) {
    auto* block = static_cast<uint64_t*>(std::malloc(bytes + sizeof(uint64_t)));
    if (block == nullptr) return nullptr;
    block[0] = bytes;
    gAllocated += static_cast<int64_t>(bytes);
    return block + 1;
}
void CountedFree(void* p) {
    if (p == nullptr) return;
    uint64_t* block = static_cast<uint64_t*>(p) - 1;
    gAllocated -= static_cast<int64_t>(block[0]);
    std::free(block);
}

bool NameIsSafe(std::string_view name) {
    return !name.empty() && name.find_first_of("/\\") == std::string_view::npos &&
           name.find("..") == std::string_view::npos;
}

}  // namespace

HNIHandle PluginLoad(HNIHandle host, std::string_view name) {
    if (!NameIsSafe(name)) return HNI_NONE;
    std::lock_guard<std::recursive_mutex> lock(PluginLock());
    static bool allocatorSet = false;
    if (!allocatorSet) {
        HNISetAllocator(CountedAllocate, CountedFree);
        allocatorSet = true;
    }
    // A plug-in's own libraries are found through its RUNPATH ("$ORIGIN"), beside it.
    Kiv::File::Path path = GetPluginFolder();
    path.AddPath(std::string(name) + ".so");
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return HNI_NONE;
    auto entry = reinterpret_cast<HNIEntryPointFunction>(::dlsym(library, "HNIEntryPoint"));
    const HNIHandle object = entry ? entry(host) : HNI_NONE;
    if (object == HNI_NONE) {
        ::dlclose(library);
        return HNI_NONE;
    }
    const HNIHandle init = HNIAllocString("Init");
    HNIRelease(HNICallLibraryFunction(object, init, HNI_NONE));
    HNIRelease(init);
    return object;
}

void ReleasePlugins(PluginHolder& holder) {
    std::lock_guard<std::recursive_mutex> lock(PluginLock());
    HNIRelease(holder.library);
    HNIRelease(holder.host);
    holder.library = HNI_NONE;
    holder.host = HNI_NONE;
}

void PluginNotify(HNIHandle object, uint32_t flags) {
    if (flags & 1) HNINotifyObject(object, 1);
    if (flags & 2) HNINotifyObject(object, 2);
    if (flags & 4) {
        HNINotifyObject(object, 3);
        return;
    }
}

int64_t PluginAllocatedBytes() {
    return gAllocated.load();
}

}  // namespace HalvexPlugins
