#include "script/image/image_soup.h"

#include <cstring>

#include "configdata/acs_raw_data.h"
#include "configdata/tdb_container_tag.h"

namespace ScriptImage {

namespace {

const Kiv::PString& Width() {
    static const Kiv::PString name("width");
    return name;
}
const Kiv::PString& Height() {
    static const Kiv::PString name("height");
    return name;
}
const Kiv::PString& Pixels() {
    static const Kiv::PString name("pixels");
    return name;
}

}  // namespace

TDBTagRef ExportImageSoup(const Kiv::Bitmap* bitmap) {
    if (bitmap == nullptr || bitmap->GetFormat() != Kiv::Bitmap::kFormatARGB32) return {};
    TDBTagRef soup = MakeCounted<TDBContainerTag>();
    TDBContainerTag::SetInt(soup, Width(), static_cast<int32_t>(bitmap->GetWidth()));
    TDBContainerTag::SetInt(soup, Height(), static_cast<int32_t>(bitmap->GetHeight()));
    const auto& px = bitmap->GetPixels();
    soup->AddChild(Pixels(),
                   TDBContainerTag::MakeTag(
                       kTagRaw, MakeRawData(px.data(), static_cast<uint32_t>(px.size()))));
    return soup;
}

std::unique_ptr<Kiv::Bitmap> ImportImageSoup(const TDBTagRef& soup) {
    if (!soup) return nullptr;
    if (TDBContainerTag::GetTagType(soup, Width()) != kTagInt ||
        TDBContainerTag::GetTagType(soup, Height()) != kTagInt ||
        TDBContainerTag::GetTagType(soup, Pixels()) != kTagRaw)
        return nullptr;
    const int32_t w = TDBContainerTag::GetInt(soup, Width(), 0);
    const int32_t h = TDBContainerTag::GetInt(soup, Height(), 0);
    if (w < 1 || h < 1 || static_cast<uint32_t>(w) > Kiv::Bitmap::kMaxSide ||
        static_cast<uint32_t>(h) > Kiv::Bitmap::kMaxSide ||
        uint64_t(w) * uint64_t(h) > Kiv::Bitmap::kMaxPixels)
        return nullptr;
    const ACSRawDataRef data = TDBContainerTag::GetRawData(soup, Pixels());
    if (data.GetSize() != uint64_t(w) * uint64_t(h) * 4) return nullptr;
    auto bitmap = std::make_unique<Kiv::Bitmap>(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    if (!bitmap->IsValid()) return nullptr;
    std::memcpy(bitmap->GetData(), data.GetData(), data.GetSize());
    return bitmap;
}

}  // namespace ScriptImage
