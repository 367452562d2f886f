#include "platform/system/named_object.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

namespace Sys {

std::string NamedObjectKey(std::string_view name) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : name) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 0x100000001b3ull;
    }
    char key[32];
    std::snprintf(key, sizeof key, "halvex-%016llx", static_cast<unsigned long long>(hash));
    return key;
}

const std::string& NamedObjectFolder() {
    static const std::string folder = [] {
        struct stat st;
        if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)) return std::string("/dev/shm");
        return std::string("/tmp");
    }();
    return folder;
}

}  // namespace Sys
