// URL text parsing on arbitrary bytes: every field keeps its limit, and a record whose parts
// hold none of the characters that split a URL composes to text that parses back to itself.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "online/url_record.h"

namespace {

bool Holds(std::string_view s, std::string_view chars) {
    return s.find_first_of(chars) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    URLRecord r;
    r.Parse(text);
    if (r.scheme.size() > URLRecord::kSchemeMax || r.user.size() > URLRecord::kUserMax ||
        r.password.size() > URLRecord::kPasswordMax || r.host.size() > URLRecord::kHostMax ||
        r.path.size() > URLRecord::kPathMax || r.query.size() > URLRecord::kQueryMax)
        std::abort();
    if (!r.query.empty() && r.query[0] != '?') std::abort();
    Kiv::PString composed = r.Compose();

    bool clean = !r.scheme.empty() && !Holds(r.scheme, ":@/?") && !Holds(r.user, ":@/?") &&
                 !Holds(r.password, "@/?") && !Holds(r.host, ":@/?") &&
                 (r.path.empty() || r.path[0] == '/') && !Holds(r.path, "?") &&
                 !(r.user.empty() && !r.password.empty());
    if (clean) {
        URLRecord again;
        again.Parse(composed.view());
        if (!(again == r)) std::abort();
    }
    return 0;
}
