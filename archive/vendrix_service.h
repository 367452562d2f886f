// Where the content service is reached: one host name, shared by the program's search URL and
// the daemon that answers for the service. It lies under the reserved ".invalid" domain, so a
// URL of it can never leave the machine; the daemon maps it onto its own stand-in and refuses
// every other host.
//
//   search page   https://<host>/halvex/VDXT_Search_Text.php?Banners=1&SearchCriteria=<K>
//                 &textsearchID=1&DependencyLevel=5
//   archive       https://<host>/halvex/download/<K>.cdp
//
// with <K> the KUID's colon text ("%d:%d", or "%d:%d:%d" when the version is not the one its
// user id implies).
#pragma once

#include <string>
#include <string_view>

#include "configdata/kuid.h"

inline constexpr std::string_view kVendrixScheme = "https";
inline constexpr std::string_view kVendrixHost = "vendrix.halvex.invalid";
inline constexpr std::string_view kVendrixSearchPath = "/halvex/VDXT_Search_Text.php";
inline constexpr std::string_view kVendrixDownloadFolder = "/halvex/download/";
inline constexpr std::string_view kVendrixDownloadExtension = ".cdp";
// The dependency levels every search asks for.
inline constexpr int kVendrixDependencyLevel = 5;

// The search page's URL for the asset.
std::string VendrixSearchURL(const KUID& asset);
// The URL of the archive that holds the asset.
std::string VendrixDownloadURL(const KUID& asset);
