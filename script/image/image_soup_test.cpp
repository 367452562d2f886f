#include "script/image/image_soup.h"

#include <gtest/gtest.h>

#include <string>

#include "configdata/acs_raw_data.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"

namespace {

using ScriptImage::ExportImageSoup;
using ScriptImage::ImportImageSoup;

TEST(ImageSoupTest, ExportThenImportRoundTripsByteForByteThroughTheSoupFormat) {
    Kiv::Bitmap image(3, 2);
    for (int i = 0; i < 6; ++i)
        image.SetPixel(i % 3, i / 3, 0x01020304u * static_cast<uint32_t>(i + 1));
    TDBTagRef soup = ExportImageSoup(&image);
    ASSERT_TRUE(soup);
    // Through the soup file's bytes, as a script's saved soup would go.
    TDBTagRef read = souptest::Read(souptest::Write(soup));
    auto back = ImportImageSoup(read);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetWidth(), 3u);
    EXPECT_EQ(back->GetHeight(), 2u);
    EXPECT_EQ(back->GetPixels(), image.GetPixels());
    EXPECT_FALSE(ExportImageSoup(nullptr));
    Kiv::Bitmap none;
    EXPECT_FALSE(ExportImageSoup(&none));
}

TEST(ImageSoupTest, ImportChecksTheSizesAgainstThePixelBytesBeforeAllocating) {
    struct Case {
        const char* what;
        int32_t width, height;
        uint32_t bytes;
        bool rawPixels;
    } cases[] = {
        {"one byte short", 2, 2, 15, true},
        {"one byte over", 2, 2, 17, true},
        {"side of 0", 0, 4, 0, true},
        {"negative side", -2, -2, 16, true},
        {"side over the cap", 16385, 1, 16385 * 4, true},
        {"picture over the cap", 16384, 16384, 16, true},
        {"pixels as text", 2, 2, 16, false},
    };
    for (const Case& c : cases) {
        TDBTagRef soup = souptest::NewContainer();
        TDBContainerTag::SetInt(soup, Kiv::PString("width"), c.width);
        TDBContainerTag::SetInt(soup, Kiv::PString("height"), c.height);
        const std::string bytes(c.bytes, '\x7f');
        souptest::AddValue(soup, "pixels", c.rawPixels ? kTagRaw : kTagText, bytes);
        EXPECT_EQ(ImportImageSoup(soup), nullptr) << c.what;
    }
    TDBTagRef missing = souptest::NewContainer();
    TDBContainerTag::SetInt(missing, Kiv::PString("width"), 1);
    EXPECT_EQ(ImportImageSoup(missing), nullptr);
    EXPECT_EQ(ImportImageSoup(TDBTagRef()), nullptr);
}

}  // namespace
