#include "script/natives/gso_image.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "script/image/image_soup.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/vm_test_support.h"

namespace ScriptNatives {
namespace {

using GSRuntime::GSStack;
using Method = void (GSOImage::*)(GSStack&);

uint32_t F(float f) {
    return std::bit_cast<uint32_t>(f);
}

class ImageTest : public ::testing::Test {
protected:
    ImageTest() {
        SetClassSlot(kImage, imageClass.get());
        GSRuntime::SetCurrentContext(&context);
        image = new GSOImage(&context);
    }
    ~ImageTest() override {
        GSRuntime::ReleaseReference(image->instance);
        GSRuntime::SetCurrentContext(nullptr);
        SetClassSlot(kImage, nullptr);
    }
    // Calls a native with the words as its parameters 1..n; the word it pushed, if any.
    uint32_t Call(Method m, std::vector<uint32_t> words) {
        auto fn = GSRuntime::testing::MakeFunction(
            "native", static_cast<uint32_t>(words.size()) + 1, 0, 0, 2);
        GSStack stack;
        stack.Push(0);  // `this` is the object the native runs on
        for (uint32_t w : words)
            stack.Push(w);
        EXPECT_TRUE(stack.PushFrame(fn.get(), 0));
        uint32_t* before = stack.top;
        (image->*m)(stack);
        const uint32_t pushed = stack.top > before ? *stack.top : 0;
        stack.top = before;
        stack.Reset();
        return pushed;
    }
    uint32_t Pixel(int x, int y) const { return image->GetBitmap()->GetPixel(x, y); }

    std::unique_ptr<GSRuntime::GSClass> imageClass = GSRuntime::testing::MakeClass("Image", 2);
    GSRuntime::GSContext context;
    GSOImage* image;
};

TEST(ImageColours, ComponentsFromZeroToOneBecomeRoundedBytes) {
    const std::pair<float, uint32_t> cases[] = {
        {0.0f, 0},   {1.0f, 255},   {0.5f, 128}, {0.2f, 51},
        {2.0f, 255}, {255.0f, 255}, {-1.0f, 0},  {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (auto [c, byte] : cases)
        EXPECT_EQ(GSOImage::ColourByte(c), byte) << c;
}

TEST_F(ImageTest, ANewImageHasNoBitmapWhiteLinesAndClearFillsWithTheFillColour) {
    ASSERT_NE(image->instance, 0u);
    EXPECT_EQ(image->GetLineColour(), 0xFFFFFFFFu);
    EXPECT_EQ(image->GetFillColour(), 0u);
    EXPECT_EQ(Call(&GSOImage::GetWidth, {}), 0u);
    Call(&GSOImage::Clear, {0, 10});
    EXPECT_EQ(image->GetBitmap(), nullptr);
    Call(&GSOImage::Clear, {16385, 1});  // over the cap: no bitmap
    EXPECT_EQ(image->GetBitmap(), nullptr);
    Call(&GSOImage::SetFillColor, {F(1), F(0), F(0), F(0.5f)});
    EXPECT_EQ(image->GetFillColour(), 0x80FF0000u);
    Call(&GSOImage::Clear, {3, 2});
    EXPECT_EQ(Call(&GSOImage::GetWidth, {}), 3u);
    EXPECT_EQ(Call(&GSOImage::GetHeight, {}), 2u);
    EXPECT_EQ(Pixel(2, 1), 0x80FF0000u);
}

TEST_F(ImageTest, ResizeScalesOrCropsAndTheSameSizeChangesNothing) {
    Call(&GSOImage::Clear, {2, 2});
    Call(&GSOImage::DrawPoint, {1, 1});
    const uint32_t changes = image->GetChanges();
    Call(&GSOImage::Resize, {2, 2, 1});
    EXPECT_EQ(image->GetChanges(), changes);
    Call(&GSOImage::Resize, {4, 4, 1});  // scaled: the white pixel covers the bottom right quarter
    EXPECT_EQ(Pixel(3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(1, 1), 0u);
    Call(&GSOImage::Resize, {3, 3, 0});  // cropped at the origin
    EXPECT_EQ(Pixel(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(Call(&GSOImage::GetWidth, {}), 3u);
}

TEST_F(ImageTest, RectanglesFillThenOutlineAndDrawingWithoutABitmapDoesNothing) {
    Call(&GSOImage::DrawRect, {0, 0, 3, 3});  // no bitmap yet
    EXPECT_EQ(image->GetChanges(), 0u);
    Call(&GSOImage::Clear, {5, 5});
    Call(&GSOImage::SetFillColor, {F(0), F(0), F(1), F(1)});
    Call(&GSOImage::DrawRect, {1, 1, 4, 4});
    EXPECT_EQ(Pixel(1, 1), 0xFFFFFFFFu);  // outline in the line colour
    EXPECT_EQ(Pixel(2, 2), 0xFF0000FFu);  // inside in the fill colour
    EXPECT_EQ(Pixel(4, 4), 0u);
}

TEST_F(ImageTest, AnImageDrawnIntoItselfNeedsRectanglesOfOneSize) {
    Call(&GSOImage::Clear, {4, 4});
    Call(&GSOImage::DrawPoint, {0, 0});
    GSRuntime::AddReference(image->instance);
    const uint32_t self = image->instance;
    Call(&GSOImage::DrawImagePart, {2, 2, 4, 4, self, 0, 0, 1, 1});  // sizes differ: nothing
    EXPECT_EQ(Pixel(2, 2), 0u);
    Call(&GSOImage::DrawImagePart, {2, 2, 3, 3, self, 0, 0, 1, 1});
    EXPECT_EQ(Pixel(2, 2), 0xFFFFFFFFu);
    Call(&GSOImage::DrawImageAt, {1, 0, self});  // shifted right by one, read before the copy
    EXPECT_EQ(Pixel(1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(3, 2), 0xFFFFFFFFu);
    GSRuntime::ReleaseReference(self);
}

TEST_F(ImageTest, TextDrawsInTheLineColourAndAnEmptyTextDrawsNothing) {
    Call(&GSOImage::Clear, {40, 20});
    const uint32_t changes = image->GetChanges();
    const GSRuntime::Ref empty = GSRuntime::GSString::Make("");
    Call(&GSOImage::DrawText, {0, 0, empty});
    EXPECT_EQ(image->GetChanges(), changes);
    const GSRuntime::Ref face = GSRuntime::GSString::Make("DejaVu Sans");
    Call(&GSOImage::SetTextFont, {face, 12});
    EXPECT_EQ(image->GetFontFace(), "dejavu sans");
    const GSRuntime::Ref text = GSRuntime::GSString::Make("Hg");
    EXPECT_GT(Call(&GSOImage::MeasureTextWidth, {text}), 10u);
    Call(&GSOImage::DrawText, {2, 2, text});
    bool drawn = false;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            drawn = drawn || (Pixel(x, y) >> 24) != 0;
    EXPECT_TRUE(drawn);
    Call(&GSOImage::SetTextFont, {face, 600});  // no such font: nothing measured
    EXPECT_EQ(Call(&GSOImage::MeasureTextWidth, {text}), 0u);
    for (GSRuntime::Ref r : {empty, face, text})
        GSRuntime::ReleaseReference(r);
}

TEST_F(ImageTest, ExportThenImportRoundTrips) {
    Call(&GSOImage::Clear, {3, 3});
    Call(&GSOImage::DrawLine, {0, 0, 2, 2});
    TDBTagRef soup = ScriptImage::ExportImageSoup(image->GetBitmap());
    const std::vector<uint8_t> before = image->GetBitmap()->GetPixels();
    Call(&GSOImage::Clear, {1, 1});
    const uint32_t changes = image->GetChanges();
    ASSERT_TRUE(image->ImportFrom(soup));
    EXPECT_EQ(image->GetChanges(), changes + 1);
    EXPECT_EQ(image->GetBitmap()->GetPixels(), before);
    EXPECT_FALSE(image->ImportFrom(TDBTagRef()));
}

}  // namespace
}  // namespace ScriptNatives
