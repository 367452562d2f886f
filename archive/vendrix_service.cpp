#include "archive/vendrix_service.h"

#include "platform/kiv/base/text.h"

std::string VendrixSearchURL(const KUID& asset) {
    return Kiv::String::Printf(
               "%.*s://%.*s%.*s?Banners=1&SearchCriteria=%s&textsearchID=1&DependencyLevel=%d",
               static_cast<int>(kVendrixScheme.size()), kVendrixScheme.data(),
               static_cast<int>(kVendrixHost.size()), kVendrixHost.data(),
               static_cast<int>(kVendrixSearchPath.size()), kVendrixSearchPath.data(),
               asset.ToColonString().c_str(), kVendrixDependencyLevel)
        .str();
}

std::string VendrixDownloadURL(const KUID& asset) {
    return std::string(kVendrixScheme) + "://" + std::string(kVendrixHost) +
           std::string(kVendrixDownloadFolder) + asset.ToColonString().str() +
           std::string(kVendrixDownloadExtension);
}
