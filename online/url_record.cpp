#include "online/url_record.h"

#include <limits>

namespace {

// A token runs to the first of these or to the end. '?' is among them so that a host written
// straight before a query ("example.com?id=1") does not swallow the query.
constexpr std::string_view kTokenStops = ":@/?";
// After the user part, the host may hold an at sign but still ends at the port or the path.
constexpr std::string_view kHostStops = ":/?";

size_t TokenEnd(std::string_view text, size_t from, std::string_view stops) {
    size_t end = text.find_first_of(stops, from);
    return end == std::string_view::npos ? text.size() : end;
}

bool At(std::string_view text, size_t pos, char c) {
    return pos < text.size() && text[pos] == c;
}

}  // namespace

void URLRecord::Clear() {
    scheme.clear();
    user.clear();
    password.clear();
    host.clear();
    port = 0;
    path.clear();
    query.clear();
}

void URLRecord::Parse(std::string_view text) {
    Clear();

    size_t pos = 0;
    size_t end = TokenEnd(text, pos, kTokenStops);
    if (text.substr(end, 3) == "://") {
        SetScheme(text.substr(0, end));
        pos = end + 3;
        end = TokenEnd(text, pos, kTokenStops);
    }

    // User information is there only when an at sign comes before the path (or the query).
    if (At(text, end, ':') || At(text, end, '@')) {
        size_t at = text.find('@', end);
        size_t pathStart = TokenEnd(text, end, "/?");
        if (at != std::string_view::npos && at < pathStart) {
            SetUser(text.substr(pos, end - pos));
            // A colon after the user introduces the password, which runs to the at sign (it
            // may hold further colons).
            if (text[end] == ':') SetPassword(text.substr(end + 1, at - end - 1));
            pos = at + 1;
            end = TokenEnd(text, pos, kHostStops);
        }
    }
    SetHost(text.substr(pos, end - pos));
    pos = end;

    if (At(text, pos, ':')) {
        ++pos;
        uint64_t value = 0;
        bool overflow = false;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            value = value * 10 + static_cast<uint64_t>(text[pos] - '0');
            if (value > std::numeric_limits<uint32_t>::max()) {
                overflow = true;
                value = 0;
            }
            ++pos;
        }
        // A number past 32 bits is no port at all rather than a wrapped one.
        port = overflow ? 0 : static_cast<uint32_t>(value);
    }

    std::string_view rest = text.substr(pos);
    size_t question = rest.find('?');
    if (question == std::string_view::npos) {
        SetPath(rest);
    } else {
        SetPath(rest.substr(0, question));
        SetQuery(rest.substr(question));
    }
}

Kiv::PString URLRecord::Compose() const {
    std::string out = scheme.empty() ? std::string("http") : scheme;
    out += "://";
    if (!user.empty()) {
        out += user;
        if (!password.empty()) {
            out += ':';
            out += password;
        }
        out += '@';
    }
    out += host;
    if (port != 0) {
        out += ':';
        out += std::to_string(port);
    }
    out += path;
    out += query;
    return Kiv::PString(out);
}
