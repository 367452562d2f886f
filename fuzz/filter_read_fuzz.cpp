// Filter trees and search replies read from hostile bytes, as the daemon reads a client's
// search and the client reads the daemon's answer. A tree that reads must write back to bytes
// that read as an equal tree and write again unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "assetdb/asset_search.h"
#include "assetdb/filter_element.h"
#include "assetdb/filter_reader.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/pstring.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto n = static_cast<uint32_t>(size);
    TBuffer in(data, n);
    std::unique_ptr<WEXFilterElement> tree = WEXFilterReadElement(in);
    if (tree != nullptr) {
        tree->ValueText();
        TBuffer once;
        if (!WEXFilterWriteElement(once, tree.get())) std::abort();
        once.Rewind();
        std::unique_ptr<WEXFilterElement> again = WEXFilterReadElement(once);
        if (again == nullptr || !WEXFilterElementsEqual(*tree, *again)) std::abort();
        TBuffer twice;
        WEXFilterWriteElement(twice, again.get());
        if (twice.GetDataLength() != once.GetDataLength() ||
            std::memcmp(twice.GetData(), once.GetData(), once.GetDataLength()) != 0) {
            std::abort();
        }
    }

    TBuffer reply(data, n);
    KUIDBlockList found;
    WEXReadSearchReply(reply, found);

    // The program collects unreferenced interned strings while idle; so does each run here.
    Kiv::PStringCache::CollectGarbage();
    return 0;
}
