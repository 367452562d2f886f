// How the daemon's stand-in content service reads the URLs it is handed: only its own host
// (archive/vendrix_service.h), over https, with no user, password or other port; only the
// search page's path and the archive paths. A URL is mapped onto a request about a KUID; its
// text is never joined to a folder path (the caller looks the KUID up in its catalogue).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "configdata/kuid.h"

namespace wexd {

// The most dependency levels a search goes down, whatever the URL asks.
constexpr uint32_t kMaxVendrixDependencyLevel = 16;

struct VendrixURLRequest {
    enum class Kind { kRefused, kSearch, kDownload };
    Kind kind = Kind::kRefused;
    KUID asset;           // the KUID searched for or downloaded
    uint32_t depth = 0;   // a search's dependency levels (capped)
    std::string refusal;  // why a URL is refused
};

// Maps the URL text; anything but a well-formed search or archive URL of the service's host is
// refused, with the reason.
VendrixURLRequest MapVendrixURL(std::string_view url);

// The colon form of a KUID: "%d:%d" (the version its user id implies: 0, or 127 for a negative
// user id) or "%d:%d:%d", decimal numbers with an optional '-', each in the KUID's range. False
// for anything else.
bool ParseColonKUID(std::string_view text, KUID& out);

}  // namespace wexd
