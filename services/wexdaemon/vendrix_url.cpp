#include "services/wexdaemon/vendrix_url.h"

#include <charconv>
#include <vector>

#include "archive/vendrix_service.h"
#include "online/url_record.h"
#include "platform/kiv/base/text.h"

namespace wexd {

namespace {

using Kind = VendrixURLRequest::Kind;

constexpr uint32_t kHttpsPort = 443;
constexpr size_t kMaxColonNumbers = 3;

bool ParseNumber(std::string_view text, int64_t& out) {
    if (text.empty() || text.size() > 12) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

VendrixURLRequest Refuse(std::string why) {
    VendrixURLRequest r;
    r.refusal = std::move(why);
    return r;
}

// The value of one query parameter; false when the query does not hold it.
bool QueryValue(std::string_view query, std::string_view key, std::string_view& value) {
    if (!query.empty() && query.front() == '?') query.remove_prefix(1);
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == key) {
            value = pair.substr(eq + 1);
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParseColonKUID(std::string_view text, KUID& out) {
    std::vector<int64_t> numbers;
    while (numbers.size() < kMaxColonNumbers) {
        size_t colon = text.find(':');
        int64_t n = 0;
        if (!ParseNumber(text.substr(0, colon), n)) return false;
        numbers.push_back(n);
        if (colon == std::string_view::npos) {
            text = {};
            break;
        }
        text.remove_prefix(colon + 1);
    }
    if (!text.empty() || numbers.size() < 2) return false;
    int64_t user = numbers[0], content = numbers[1];
    int64_t version = numbers.size() == 3 ? numbers[2] : (user < 0 ? KUID::kMaxVersion : 0);
    if (user < KUID::kMinUserId || user > KUID::kMaxUserId || content < INT32_MIN ||
        content > INT32_MAX || version < 0 || version > KUID::kMaxVersion)
        return false;
    KUID kuid(static_cast<int32_t>(user), static_cast<int32_t>(content),
              static_cast<int32_t>(version));
    if (kuid.IsNull()) return false;
    out = kuid;
    return true;
}

VendrixURLRequest MapVendrixURL(std::string_view url) {
    URLRecord record;
    record.Parse(url);
    if (!Kiv::EqualsIgnoreCase(record.scheme, kVendrixScheme) ||
        !Kiv::EqualsIgnoreCase(record.host, kVendrixHost))
        return Refuse("not the content service's host");
    if (!record.user.empty() || !record.password.empty() ||
        (record.port != 0 && record.port != kHttpsPort))
        return Refuse("not the content service's address");

    VendrixURLRequest r;
    std::string_view path = record.path;
    if (path == kVendrixSearchPath) {
        std::string_view criteria, level;
        if (!QueryValue(record.query, "SearchCriteria", criteria) ||
            !ParseColonKUID(criteria, r.asset))
            return Refuse("the search names no KUID");
        int64_t depth = 0;
        if (QueryValue(record.query, "DependencyLevel", level) &&
            (!ParseNumber(level, depth) || depth < 0))
            return Refuse("the search's dependency level is no number");
        r.depth = static_cast<uint32_t>(std::min<int64_t>(depth, kMaxVendrixDependencyLevel));
        r.kind = Kind::kSearch;
        return r;
    }
    if (path.starts_with(kVendrixDownloadFolder) && path.ends_with(kVendrixDownloadExtension) &&
        record.query.empty()) {
        path.remove_prefix(kVendrixDownloadFolder.size());
        path.remove_suffix(kVendrixDownloadExtension.size());
        if (!ParseColonKUID(path, r.asset)) return Refuse("the archive path names no KUID");
        r.kind = Kind::kDownload;
        return r;
    }
    return Refuse("no such page on the content service");
}

}  // namespace wexd
