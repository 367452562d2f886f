// The daemon's index file and change records read from hostile bytes. An index that reads
// writes back to a soup that reads as the same index.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/pstring.h"
#include "services/wexdaemon/asset_index.h"
#include "services/wexdaemon/staging_area.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBuffer in(data, static_cast<uint32_t>(size));
    TDBTagRef root;
    wexd::IndexContents index;
    std::string why;
    if (ReadTagTreeBinary(in, root) && wexd::IndexFromSoup(root, index, why)) {
        TBuffer out;
        if (!WriteTagTreeBinary(wexd::IndexToSoup(index), out)) std::abort();
        out.Rewind();
        TDBTagRef again;
        wexd::IndexContents back;
        if (!ReadTagTreeBinary(out, again) || !wexd::IndexFromSoup(again, back, why) ||
            back.records != index.records || !(back.counters == index.counters))
            std::abort();
    }

    wexd::ChangeIntent intent;
    if (wexd::DecodeIntent(std::string_view(reinterpret_cast<const char*>(data), size), intent)) {
        wexd::ChangeIntent back;
        if (!wexd::DecodeIntent(wexd::EncodeIntent(intent), back) || !(back == intent))
            std::abort();
    }
    Kiv::PStringCache::CollectGarbage();
    return 0;
}
