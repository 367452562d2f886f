// The stored-messages file from arbitrary bytes: loading never reads past the data, keeps only
// whole records, and what it kept saves and loads back to the same number of records.
#include <cstdint>
#include <cstdlib>

#include "foundation/tbuffer.h"
#include "online/online_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBuffer file(data, static_cast<uint32_t>(size));
    StoredMessageList list;
    LoadStoredMessages(file, list);
    // Every record takes at least its KUID, a length word and the soup header.
    if (list.size() > size / 28 + 1) std::abort();
    TBuffer again;
    if (!SaveStoredMessages(again, list)) return 0;
    again.Rewind();
    StoredMessageList reloaded;
    if (!LoadStoredMessages(again, reloaded) || reloaded.size() != list.size()) std::abort();
    return 0;
}
