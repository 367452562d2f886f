#include "services/wexdaemon/asset_record.h"

#include <charconv>

namespace wexd {

std::string AssetFolderName(const KUID& kuid) {
    return kuid.ToDisplayString().str();
}

std::optional<KUID> KUIDFromFolderName(std::string_view name) {
    // Read the numbers loosely, then insist that the name is the canonical form of what was
    // read, so that every KUID has exactly one folder name and nothing else passes.
    std::string_view rest;
    int wanted;
    if (name.starts_with("kuid2 ")) {
        rest = name.substr(6);
        wanted = 3;
    } else if (name.starts_with("kuid ")) {
        rest = name.substr(5);
        wanted = 2;
    } else {
        return std::nullopt;
    }
    int32_t numbers[3] = {0, 0, 0};
    const char* p = rest.data();
    const char* end = rest.data() + rest.size();
    for (int i = 0; i < wanted; ++i) {
        if (i > 0) {
            if (p == end || *p != ' ') return std::nullopt;
            ++p;
        }
        auto [next, ec] = std::from_chars(p, end, numbers[i]);
        if (ec != std::errc()) return std::nullopt;
        p = next;
    }
    if (p != end) return std::nullopt;
    KUID kuid(numbers[0], numbers[1], wanted == 3 ? numbers[2] : (numbers[0] < 0 ? 127 : 0));
    if (kuid.IsNull() || AssetFolderName(kuid) != name) return std::nullopt;
    // A KUID whose packed form would not give it back is no asset's name.
    uint32_t packed;
    uint32_t content;
    KUID::PackWords(kuid, packed, content);
    if (!(KUID::UnpackWords(packed, content) == kuid)) return std::nullopt;
    return kuid;
}

}  // namespace wexd
