#include "assetdb/asset_name.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <string_view>

#include "assetdb/asset_vocabulary.h"
#include "configdata/interface_text.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/main_lock.h"

namespace {

constexpr const char* kUntitledKey = "$cm_general_untitled";
constexpr std::string_view kBlanks = " \t\r\n";

int ClampedCount(size_t n) {
    return static_cast<int>(std::min<size_t>(n, INT_MAX));
}

}  // namespace

Kiv::String UntitledAssetName() {
    static std::atomic<bool> loaded{false};
    static Kiv::String text;
    if (!loaded.load(std::memory_order_acquire)) {
        // The main-thread lock is the one every interface-text look-up takes, so two threads
        // asking at once look the text up once; a plain static would make the second wait on
        // its guard without giving the main thread its idle work.
        MainLockScope hold;
        if (!loaded.load(std::memory_order_relaxed)) {
            text = GetInterfaceString(kUntitledKey);
            loaded.store(true, std::memory_order_release);
        }
    }
    return text;
}

Kiv::String AssetDisplayName(const TDBTagRef& config) {
    Kiv::String name;
    for (AssetTagIndex tag : {kTagUsername, kTagName, kTagAssetFilename}) {
        name = Kiv::String(TDBContainerTag::GetString(config, AssetTag(tag)).view());
        if (!name.IsEmpty()) break;
    }
    // Builds are compared in whole hundredths; 0.005 keeps 2.9 from reading as 2.89999.
    float build = TDBContainerTag::GetFloat(config, AssetTag(kTagHalvexBuild), 0.0f);
    if (static_cast<int>((build + 0.005f) * 100.0f) < 290) name = UnderscoresToSpaces(name);
    return CleanAssetName(name);
}

int QuoteLengthAt(const char* at, int count) {
    if (at == nullptr || count == 0) return 0;
    const int step = count > 0 ? 1 : -1;
    auto byte = [&](int i) { return static_cast<unsigned char>(at[i * step]); };
    const int available = count > 0 ? count : -count;
    unsigned char c = byte(0);
    if (c == '\'' || c == '"') return 1;
    if (c >= 145 && c <= 148) return available > 1 && byte(1) < 128 ? 1 : 0;
    if (available < 3) return 0;
    if (count > 0) {
        return c == 0xE2 && byte(1) == 0x80 && (byte(2) == 0x98 || byte(2) == 0x9C) ? 3 : 0;
    }
    // Backward: the sequence ends at the last byte.
    return (c == 0x99 || c == 0x9D) && byte(1) == 0x80 && byte(2) == 0xE2 ? 3 : 0;
}

Kiv::String CleanAssetName(const Kiv::String& text) {
    std::string_view v = text.view();
    size_t first = v.find_first_not_of(kBlanks);
    v = first == std::string_view::npos ? std::string_view() : v.substr(first);
    v = v.substr(0, v.find_last_not_of(kBlanks) + 1);
    if (!v.empty()) v.remove_prefix(QuoteLengthAt(v.data(), ClampedCount(v.size())));
    if (!v.empty())
        v.remove_suffix(QuoteLengthAt(v.data() + v.size() - 1, -ClampedCount(v.size())));
    if (v.empty()) return UntitledAssetName();
    return Kiv::String(v);
}

Kiv::String UnderscoresToSpaces(const Kiv::String& text) {
    Kiv::String out = text;
    std::replace(out.str().begin(), out.str().end(), '_', ' ');
    return out;
}
