// The soup of a script image, as the Image class exports and imports it:
//   "width"   int    pixels across, 1 to 16384
//   "height"  int    pixels down, 1 to 16384
//   "pixels"  bytes  width * height * 4 bytes, rows from the top, each pixel blue, green, red,
//                    alpha (the bitmap's format 2)
// Anything else in the soup is ignored. Soups come from scripts and files, so an import checks
// the sizes against the pixel bytes before it allocates.
#pragma once

#include <memory>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/bitmap.h"

namespace ScriptImage {

// A new soup holding the bitmap; null for a bitmap of another format or none.
TDBTagRef ExportImageSoup(const Kiv::Bitmap* bitmap);
// The bitmap a soup holds; null when a tag is missing or of another type, a side is outside
// 1-16384, the picture is over Kiv::Bitmap::kMaxPixels, or the pixel bytes are not exactly
// width * height * 4.
std::unique_ptr<Kiv::Bitmap> ImportImageSoup(const TDBTagRef& soup);

}  // namespace ScriptImage
