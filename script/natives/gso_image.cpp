#include "script/natives/gso_image.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "script/image/glyph_atlas.h"
#include "script/image/image_soup.h"
#include "script/image/tt_font.h"
#include "script/natives/native_frame.h"
#include "script/natives/unavailable_natives.h"
#include "script/vm/gs_native.h"

namespace ScriptNatives {

using GSRuntime::GSStack;
using Kiv::Bitmap;

namespace {

int Int(GSStack& frame, uint32_t slot) {
    return static_cast<int32_t>(frame.GetWord(slot));
}

}  // namespace

GSOImage::GSOImage(GSRuntime::GSContext* context) {
    if (GSRuntime::GSClass* cls = GetClassSlot(kImage)) Instantiate(cls, context);
}

GSOImage* GSOImage::FromFile(GSRuntime::GSContext* context, const std::string& path) {
    auto loaded = std::make_unique<Bitmap>();
    if (!loaded->Load(path)) return nullptr;
    // A file without alpha loads as format 3; the canvas draws on format 2 only.
    std::unique_ptr<Bitmap> canvas = loaded->GetFormat() == Bitmap::kFormatARGB32
                                         ? std::move(loaded)
                                         : loaded->Convert(Bitmap::kFormatARGB32);
    if (canvas == nullptr || !canvas->IsValid()) return nullptr;
    auto* image = new GSOImage(context);
    image->bitmap_ = std::move(canvas);
    return image;
}

uint32_t GSOImage::ColourByte(float c) {
    if (!(c > 0.0f)) return 0;  // NaN too
    const double v = std::round(double{c} * 255.0);
    return v >= 255.0 ? 255u : static_cast<uint32_t>(v);
}

uint32_t GSOImage::Colour(GSStack& frame) {
    return ColourByte(frame.GetFloat(3)) | ColourByte(frame.GetFloat(2)) << 8 |
           ColourByte(frame.GetFloat(1)) << 16 | ColourByte(frame.GetFloat(4)) << 24;
}

void GSOImage::Clear(GSStack& frame) {
    const int w = Int(frame, 1), h = Int(frame, 2);
    bitmap_.reset();
    ++changes_;
    if (w <= 0 || h <= 0) return;
    auto b = std::make_unique<Bitmap>(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    if (!b->IsValid()) return;  // over the caps, or no memory: no bitmap
    b->Fill(fill_);
    bitmap_ = std::move(b);
}

void GSOImage::Resize(GSStack& frame) {
    const int w = Int(frame, 1), h = Int(frame, 2);
    const bool scale = frame.GetWord(3) != 0;
    if (bitmap_ == nullptr || w <= 0 || h <= 0 ||
        (uint32_t(w) == bitmap_->GetWidth() && uint32_t(h) == bitmap_->GetHeight()))
        return;
    auto b = std::make_unique<Bitmap>(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    if (!b->IsValid()) return;
    b->Fill(fill_);
    const int ow = static_cast<int>(bitmap_->GetWidth()),
              oh = static_cast<int>(bitmap_->GetHeight());
    if (scale)
        b->Image(0, 0, w, h, *bitmap_, 0, 0, ow, oh, Bitmap::kModeCopyImage);
    else
        b->Image(0, 0, ow, oh, *bitmap_, 0, 0, ow, oh, Bitmap::kModeCopyImage);
    bitmap_ = std::move(b);
    ++changes_;
}

void GSOImage::GetWidth(GSStack& frame) {
    frame.Push(bitmap_ ? bitmap_->GetWidth() : 0);
}

void GSOImage::GetHeight(GSStack& frame) {
    frame.Push(bitmap_ ? bitmap_->GetHeight() : 0);
}

void GSOImage::SetLineColor(GSStack& frame) {
    line_ = Colour(frame);
}

void GSOImage::SetFillColor(GSStack& frame) {
    fill_ = Colour(frame);
}

void GSOImage::DrawPoint(GSStack& frame) {
    if (!bitmap_) return;
    bitmap_->BlendPixel(Int(frame, 1), Int(frame, 2), line_);
    ++changes_;
}

void GSOImage::DrawRect(GSStack& frame) {
    if (!bitmap_) return;
    const int x1 = Int(frame, 1), y1 = Int(frame, 2), x2 = Int(frame, 3), y2 = Int(frame, 4);
    bitmap_->Box(x1, y1, x2, y2, fill_, Bitmap::kModeFill);
    bitmap_->Box(x1, y1, x2, y2, line_, Bitmap::kModeOutline);
    ++changes_;
}

void GSOImage::DrawLine(GSStack& frame) {
    if (!bitmap_) return;
    bitmap_->Line(Int(frame, 1), Int(frame, 2), Int(frame, 3), Int(frame, 4), line_,
                  Bitmap::kModeBlend);
    ++changes_;
}

void GSOImage::DrawCircle(GSStack& frame) {
    if (!bitmap_) return;
    const int x = Int(frame, 1), y = Int(frame, 2), r = Int(frame, 3);
    bitmap_->Circle(x, y, r, fill_, Bitmap::kModeFill);
    bitmap_->Circle(x, y, r, line_, Bitmap::kModeBlend);
    ++changes_;
}

void GSOImage::DrawTriangle(GSStack& frame) {
    if (!bitmap_) return;
    const int p[6] = {Int(frame, 1), Int(frame, 2), Int(frame, 3),
                      Int(frame, 4), Int(frame, 5), Int(frame, 6)};
    bitmap_->Triangle(p[0], p[1], p[2], p[3], p[4], p[5], fill_, Bitmap::kModeFill);
    bitmap_->Triangle(p[0], p[1], p[2], p[3], p[4], p[5], line_, Bitmap::kModeBlend);
    ++changes_;
}

void GSOImage::Copy(int dx1, int dy1, int dx2, int dy2, GSOImage* source, int sx1, int sy1, int sx2,
                    int sy2) {
    if (!bitmap_ || source == nullptr || !source->bitmap_) return;
    if (source == this &&
        (int64_t{dx2} - dx1 != int64_t{sx2} - sx1 || int64_t{dy2} - dy1 != int64_t{sy2} - sy1))
        return;
    bitmap_->Image(dx1, dy1, dx2, dy2, *source->bitmap_, sx1, sy1, sx2, sy2,
                   Bitmap::kModeCopyImage);
    ++changes_;
}

void GSOImage::DrawImageAt(GSStack& frame) {
    GSOImage* source = nullptr;
    if (!GetNativeObjectParam(frame, 3, source, false)) return;
    if (!source->bitmap_) return;
    const int x = Int(frame, 1), y = Int(frame, 2);
    const int w = static_cast<int>(source->bitmap_->GetWidth());
    const int h = static_cast<int>(source->bitmap_->GetHeight());
    // Corners past the int range are clipped there; the bitmap clips the rest.
    const int x2 = static_cast<int>(std::min<int64_t>(int64_t{x} + w, INT32_MAX));
    const int y2 = static_cast<int>(std::min<int64_t>(int64_t{y} + h, INT32_MAX));
    Copy(x, y, x2, y2, source, 0, 0, w, h);
}

void GSOImage::DrawImageInto(GSStack& frame) {
    GSOImage* source = nullptr;
    if (!GetNativeObjectParam(frame, 5, source, false)) return;
    if (!source->bitmap_) return;
    Copy(Int(frame, 1), Int(frame, 2), Int(frame, 3), Int(frame, 4), source, 0, 0,
         static_cast<int>(source->bitmap_->GetWidth()),
         static_cast<int>(source->bitmap_->GetHeight()));
}

void GSOImage::DrawImagePart(GSStack& frame) {
    GSOImage* source = nullptr;
    if (!GetNativeObjectParam(frame, 5, source, false)) return;
    Copy(Int(frame, 1), Int(frame, 2), Int(frame, 3), Int(frame, 4), source, Int(frame, 6),
         Int(frame, 7), Int(frame, 8), Int(frame, 9));
}

void GSOImage::SetTextFont(GSStack& frame) {
    std::string face;
    GetNativeStringParam(frame, 1, face, true);
    for (char& c : face)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    face_ = face;
    size_ = Int(frame, 2);
}

void GSOImage::MeasureTextWidth(GSStack& frame) {
    std::string text;
    GetNativeStringParam(frame, 1, text, true);
    ScriptImage::TTFont* font =
        ScriptImage::FindFont({.height = size_, .charset = "", .face = face_});
    frame.Push(font != nullptr ? static_cast<uint32_t>(font->MeasureText(text)) : 0u);
}

void GSOImage::DrawText(GSStack& frame) {
    std::string text;
    GetNativeStringParam(frame, 3, text, true);
    if (!bitmap_ || text.empty()) return;
    ScriptImage::TTFont* font =
        ScriptImage::FindFont({.height = size_, .charset = "", .face = face_});
    if (font == nullptr) return;
    ScriptImage::DrawText(*bitmap_, Int(frame, 1), Int(frame, 2), *font, text, line_);
    ++changes_;
}

bool GSOImage::ImportFrom(const TDBTagRef& soup) {
    std::unique_ptr<Bitmap> b = ScriptImage::ImportImageSoup(soup);
    if (b == nullptr) return false;
    bitmap_ = std::move(b);
    ++changes_;
    return true;
}

void RegisterImageNatives(GSRuntime::GSNativeRegistry& registry) {
    struct Row {
        const char* signature;
        void (GSOImage::*method)(GSStack&);
    };
    static constexpr Row kRows[] = {
        {"$void@Image::Clear(int,int)", &GSOImage::Clear},
        {"$void@Image::Resize(int,int,bool)", &GSOImage::Resize},
        {"$int@Image::GetWidth()", &GSOImage::GetWidth},
        {"$int@Image::GetHeight()", &GSOImage::GetHeight},
        {"$void@Image::SetLineColor(float,float,float,float)", &GSOImage::SetLineColor},
        {"$void@Image::SetFillColor(float,float,float,float)", &GSOImage::SetFillColor},
        {"$void@Image::DrawPoint(int,int)", &GSOImage::DrawPoint},
        {"$void@Image::DrawRect(int,int,int,int)", &GSOImage::DrawRect},
        {"$void@Image::DrawLine(int,int,int,int)", &GSOImage::DrawLine},
        {"$void@Image::DrawCircle(int,int,int)", &GSOImage::DrawCircle},
        {"$void@Image::DrawTriangle(int,int,int,int,int,int)", &GSOImage::DrawTriangle},
        {"$void@Image::DrawImage(int,int,Image)", &GSOImage::DrawImageAt},
        {"$void@Image::DrawImage(int,int,int,int,Image)", &GSOImage::DrawImageInto},
        {"$void@Image::DrawImage(int,int,int,int,Image,int,int,int,int)", &GSOImage::DrawImagePart},
        {"$void@Image::SetTextFont(string,int)", &GSOImage::SetTextFont},
        {"$int@Image::MeasureTextWidth(string)", &GSOImage::MeasureTextWidth},
        {"$void@Image::DrawText(int,int,string)", &GSOImage::DrawText},
    };
    for (const Row& row : kRows)
        registry.Add(std::make_unique<GSRuntime::GSCPPNativeFunction<GSOImage>>(
            "Image", row.signature, row.method));
    // ExportImage and ImportImage, last in the table, give and take a Soup.
    RegisterImageSoupStandIns(registry);
}

}  // namespace ScriptNatives
