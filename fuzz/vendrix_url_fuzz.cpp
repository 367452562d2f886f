// The daemon's mapping of a content-service URL (any text a client sends) onto its catalogue:
// only its own host and pages map, and a mapped KUID is a real KUID whose own URL maps back to
// the same request.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "archive/vendrix_service.h"
#include "platform/kiv/base/pstring.h"
#include "services/wexdaemon/vendrix_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view url(reinterpret_cast<const char*>(data), size);
    wexd::VendrixURLRequest r = wexd::MapVendrixURL(url);
    using Kind = wexd::VendrixURLRequest::Kind;
    if (r.kind == Kind::kRefused) {
        if (r.refusal.empty()) std::abort();
    } else {
        if (r.asset.IsNull() || r.depth > wexd::kMaxVendrixDependencyLevel) std::abort();
        std::string own =
            r.kind == Kind::kSearch ? VendrixSearchURL(r.asset) : VendrixDownloadURL(r.asset);
        wexd::VendrixURLRequest again = wexd::MapVendrixURL(own);
        if (again.kind != r.kind || !(again.asset == r.asset)) std::abort();
    }
    Kiv::PStringCache::CollectGarbage();
    return 0;
}
