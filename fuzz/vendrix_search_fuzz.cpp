// The content service's search page on arbitrary text, with the daemon's selection stubbed: the
// first byte says how many positions it answers, the next bytes are those positions (the reply
// may be cut short), the rest is the page. Records never outnumber the entries, and no two
// share a "latest-version".
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "archive/vendrix_search.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "configdata/config_text.h"
#include "foundation/tbuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint32_t announced = data[0];
    size_t given = std::min<size_t>(announced, size - 1);
    requesttest::Wire reply;
    reply.U32(announced);
    for (size_t i = 0; i < given; ++i)
        reply.U8(data[1 + i] % 8).U8(0).U8(0).U8(0);
    if (given > 0 && data[1] & 0x80) reply.U8(1);  // a position cut short
    std::string_view text(reinterpret_cast<const char*>(data + 1 + given), size - 1 - given);

    requesttest::ScriptedTransport daemon;
    daemon.Answer(kWEXRequestSelectDownloads, reply);
    TBuffer stream;
    stream.Write(text.data(), static_cast<uint32_t>(text.size()));
    stream.Seek(0, 0);
    TDBTagRef page;
    ParseTagTreeText(page, stream, false);

    VDXAssetRecordList out;
    ParseVendrixSearchReply(page, out);
    std::set<KUID> latest;
    for (const VDXAssetRecord& r : out)
        if (!latest.insert(r.latestVersion).second) std::abort();
    if (out.Count() > given) std::abort();
    return 0;
}
