// GSOImage, the native object of the script class "Image": a 32-bit bitmap (format 2) that
// scripts clear, resize and draw on with a line and a fill colour, draw TrueType text on, and
// turn into a Soup and back (script/image/image_soup.h gives the layout).
//
// Colours: scripts give each component from 0 to 1; it is stored as round(c * 255), clamped to
// 0..255 (NaN reads as 0).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/bitmap.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace GSRuntime {
class GSNativeRegistry;
}

namespace ScriptNatives {

class GSOImage : public GSRuntime::GSObject {
public:
    // Instantiated at once with the Image class slot in `context` (none without either).
    explicit GSOImage(GSRuntime::GSContext* context);
    // A new image loaded from an image file; null when loading fails.
    static GSOImage* FromFile(GSRuntime::GSContext* context, const std::string& path);

    static uint32_t ColourByte(float component);

    // The natives, in their table order.
    void Clear(GSRuntime::GSStack& frame);
    void Resize(GSRuntime::GSStack& frame);
    void GetWidth(GSRuntime::GSStack& frame);
    void GetHeight(GSRuntime::GSStack& frame);
    void SetLineColor(GSRuntime::GSStack& frame);
    void SetFillColor(GSRuntime::GSStack& frame);
    void DrawPoint(GSRuntime::GSStack& frame);
    void DrawRect(GSRuntime::GSStack& frame);
    void DrawLine(GSRuntime::GSStack& frame);
    void DrawCircle(GSRuntime::GSStack& frame);
    void DrawTriangle(GSRuntime::GSStack& frame);
    void DrawImageAt(GSRuntime::GSStack& frame);
    void DrawImageInto(GSRuntime::GSStack& frame);
    void DrawImagePart(GSRuntime::GSStack& frame);
    void SetTextFont(GSRuntime::GSStack& frame);
    void MeasureTextWidth(GSRuntime::GSStack& frame);
    void DrawText(GSRuntime::GSStack& frame);

    // For the Soup natives: the soup of ExportImage, and ImportImage's replacement (false,
    // changing nothing, when the soup holds no image).
    bool ImportFrom(const TDBTagRef& soup);

    Kiv::Bitmap* GetBitmap() const { return bitmap_.get(); }
    uint32_t GetLineColour() const { return line_; }
    uint32_t GetFillColour() const { return fill_; }
    uint32_t GetChanges() const { return changes_; }
    const std::string& GetFontFace() const { return face_; }
    int GetFontSize() const { return size_; }

private:
    static uint32_t Colour(GSRuntime::GSStack& frame);
    void Copy(int dx1, int dy1, int dx2, int dy2, GSOImage* source, int sx1, int sy1, int sx2,
              int sy2);

    std::unique_ptr<Kiv::Bitmap> bitmap_;
    uint32_t line_ = 0xFFFFFFFFu;
    uint32_t fill_ = 0;
    std::string face_ = "swiss";
    int size_ = 12;
    uint32_t changes_ = 0;
};

// Binds the natives of "Image" in the order of its table.
void RegisterImageNatives(GSRuntime::GSNativeRegistry& registry);

}  // namespace ScriptNatives
