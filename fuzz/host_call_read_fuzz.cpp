// The command host's calls read from hostile bytes: a call reads whole or not at all, and its
// id list never claims more ids than the bytes hold.
#include <cstdint>
#include <cstdlib>

#include "assetdb/command_host.h"
#include "foundation/tbuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBuffer in(data, static_cast<uint32_t>(size));
    WEXCommandHostCall call;
    if (ReadCommandHostCall(in, call) && call.assets.size() * 8 > size) std::abort();
    return 0;
}
