// The shared-state block as another process left it: its 36 bytes (a shorter input is padded
// with zeros) are put in the block of a database folder of this run, and this process attaches
// to it as a client does, tidies it, reads the daemon's port from it and leaves. Whatever the
// words say, no port above 65535 is handed out.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>

#include "assetdb/shared_state.h"
#include "platform/system/named_mutex.h"
#include "platform/system/shared_memory.h"

namespace {

const std::string& DatabasePath() {
    static const std::string path = [] {
        std::string folder = std::filesystem::temp_directory_path().string() +
                             "/shared-state-fuzz-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
        return folder + "/assets.wbi";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SharedStateNames names = SharedStateNamesFor(DatabasePath());
    if (names.mutex.empty()) std::abort();
    // Another process that is still attached wrote the block: its lock files and bytes stay
    // while this one comes and goes.
    Sys::NamedMutex writer;
    Sys::SharedMemory block;
    if (writer.Create(names.mutex, false) == Sys::NamedMutex::OpenResult::kFailed ||
        !block.Open(names.mapping, kSharedStateSize))
        std::abort();
    {
        std::lock_guard<Sys::NamedMutex> hold(writer);
        std::memset(block.Data(), 0, kSharedStateSize);
        if (size > 0)
            std::memcpy(block.Data(), data, size < kSharedStateSize ? size : kSharedStateSize);
    }

    if (AttachSharedState(DatabasePath())) {
        IPCIdle();
        if (GetDaemonPort() > 0xFFFF) std::abort();
        (void)IsDatabaseOwner();
        DetachSharedState();
    }
    writer.Close();
    block.Close();
    Sys::SharedMemory::Remove(names.mapping);
    return 0;
}
