// The stand-in content service's reading of URLs: its own host and pages only, and the KUID a
// URL names read exactly.
#include "services/wexdaemon/vendrix_url.h"

#include <gtest/gtest.h>

#include "archive/vendrix_service.h"

namespace wexd {
namespace {

using Kind = VendrixURLRequest::Kind;

TEST(VendrixURL, TheProgramsOwnURLsMapOntoTheirKUID) {
    for (const KUID& k : {KUID(424242, 104), KUID(424242, 104, 3), KUID(-5, 7), KUID(-5, 7, 2)}) {
        VendrixURLRequest search = MapVendrixURL(VendrixSearchURL(k));
        EXPECT_EQ(search.kind, Kind::kSearch) << search.refusal;
        EXPECT_EQ(search.asset, k);
        EXPECT_EQ(search.depth, 5u);
        VendrixURLRequest download = MapVendrixURL(VendrixDownloadURL(k));
        EXPECT_EQ(download.kind, Kind::kDownload) << download.refusal;
        EXPECT_EQ(download.asset, k);
    }
}

TEST(VendrixURL, EverythingElseIsRefused) {
    const std::string host = "https://vendrix.halvex.invalid";
    const char* refused[] = {
        "https://example.com/halvex/download/1:2.cdp",
        "http://vendrix.halvex.invalid/halvex/download/1:2.cdp",
        "https://user:pw@vendrix.halvex.invalid/halvex/download/1:2.cdp",
        "https://vendrix.halvex.invalid:8080/halvex/download/1:2.cdp",
        "https://vendrix.halvex.invalid.example.com/halvex/download/1:2.cdp",
        "https://vendrix.halvex.invalid/halvex/download/../../etc/passwd",
        "https://vendrix.halvex.invalid/halvex/download/1:2.cdp?x=1",
        "https://vendrix.halvex.invalid/halvex/download/1:2:3:4.cdp",
        "https://vendrix.halvex.invalid/halvex/download/1.cdp",
        "https://vendrix.halvex.invalid/halvex/download/1:2:128.cdp",
        "https://vendrix.halvex.invalid/halvex/download/33554432:1.cdp",
        "https://vendrix.halvex.invalid/halvex/download/-1:-1:127.cdp",
        "https://vendrix.halvex.invalid/halvex/download/1: 2.cdp",
        "https://vendrix.halvex.invalid/halvex/download/NULLKUID.cdp",
        "https://vendrix.halvex.invalid/halvex/other.php",
        "https://vendrix.halvex.invalid/halvex/VDXT_Search_Text.php?Banners=1",
        "https://vendrix.halvex.invalid/halvex/VDXT_Search_Text.php?SearchCriteria=x:1",
        "https://vendrix.halvex.invalid/halvex/VDXT_Search_Text.php?SearchCriteria=1:2&"
        "DependencyLevel=-1",
        "",
        "vendrix.halvex.invalid",
    };
    for (const char* url : refused) {
        VendrixURLRequest r = MapVendrixURL(url);
        EXPECT_EQ(r.kind, Kind::kRefused) << url;
        EXPECT_FALSE(r.refusal.empty()) << url;
    }
    // The host and scheme ignore letter case; a deep level is held at the cap; no level asks
    // for the asset alone.
    VendrixURLRequest r = MapVendrixURL(
        "HTTPS://Vendrix.Halvex.Invalid/halvex/VDXT_Search_Text.php?SearchCriteria=1:2:3&"
        "DependencyLevel=999");
    EXPECT_EQ(r.kind, Kind::kSearch);
    EXPECT_EQ(r.asset, KUID(1, 2, 3));
    EXPECT_EQ(r.depth, kMaxVendrixDependencyLevel);
    r = MapVendrixURL(host + "/halvex/VDXT_Search_Text.php?SearchCriteria=1:2");
    EXPECT_EQ(r.depth, 0u);
    EXPECT_EQ(MapVendrixURL(host + ":443/halvex/download/1:2.cdp").kind, Kind::kDownload);
}

}  // namespace
}  // namespace wexd
