// Names of the objects that processes share by name (a mutex, a shared-memory block). The
// product's names are long texts holding paths; the system's names are short keys derived from
// them, and the lock files of a named mutex live in one folder that every process of the user
// can reach.
#pragma once

#include <string>
#include <string_view>

namespace Sys {

// "halvex-" and 16 hexadecimal digits of a 64-bit FNV-1a hash of the name: the same name gives
// the same key in every process, and the key is a valid file name.
std::string NamedObjectKey(std::string_view name);

// The folder of the lock files: /dev/shm when it is a folder, else /tmp.
const std::string& NamedObjectFolder();

// Every user can make files in that folder, so a name may already be taken by a file another
// user planted there to stand in for this user's processes. True when the open file is a
// regular file of this process's user that no other user may read or write; otherwise false,
// with `error` saying what is wrong with the file `path`.
bool IsOwnPrivateFile(int fd, std::string_view path, std::string& error);

}  // namespace Sys
