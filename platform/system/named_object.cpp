#include "platform/system/named_object.h"

#include <sys/stat.h>
#include <unistd.h>

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

bool IsOwnPrivateFile(int fd, std::string_view path, std::string& error) {
    struct stat st;
    char text[160];
    if (::fstat(fd, &st) != 0) {
        error = std::string(path) + " cannot be examined";
    } else if (!S_ISREG(st.st_mode)) {
        error = std::string(path) + " is not a plain file";
    } else if (st.st_uid != ::geteuid()) {
        std::snprintf(text, sizeof text, " belongs to user %u, not to this user (%u)",
                      static_cast<unsigned>(st.st_uid), static_cast<unsigned>(::geteuid()));
        error = std::string(path) + text;
    } else if ((st.st_mode & 077) != 0) {
        std::snprintf(text, sizeof text, " is open to other users (mode %04o, not 0600)",
                      static_cast<unsigned>(st.st_mode & 07777));
        error = std::string(path) + text;
    } else {
        return true;
    }
    return false;
}

}  // namespace Sys
