// The offline boxes of the script class OnlineAccess from arbitrary bytes: loading never reads
// past the data, keeps only whole records, and what it kept saves and loads back to the same
// number of records.
#include <cstdint>
#include <cstdlib>

#include "foundation/tbuffer.h"
#include "online/offline_box.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBuffer file(data, static_cast<uint32_t>(size));
    StoredMessageList box;
    LoadOfflineBox(file, box);
    // Every record takes at least its KUID, a length word and the soup header.
    if (box.size() > size / 28 + 1) std::abort();
    TBuffer again;
    if (!SaveOfflineBox(again, box)) return 0;
    again.Rewind();
    StoredMessageList reloaded;
    if (!LoadOfflineBox(again, reloaded) || reloaded.size() != box.size()) std::abort();
    return 0;
}
