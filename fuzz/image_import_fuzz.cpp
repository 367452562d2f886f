// Soup bytes read as a tree and imported as a script image: either a whole bitmap whose pixel
// bytes are exactly what its sizes say, or none; never a crash, hang or read outside. An image
// that imports exports again to a soup that imports to the same pixels.
#include <cstdint>
#include <cstdlib>

#include "configdata/tdb_binary_file.h"
#include "foundation/tbuffer.h"
#include "script/image/image_soup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (uint32_t{1} << 24)) return 0;
    TBuffer stream(data, static_cast<uint32_t>(size));
    TDBTagRef root;
    if (!ReadTagTreeBinary(stream, root)) return 0;
    std::unique_ptr<Kiv::Bitmap> image = ScriptImage::ImportImageSoup(root);
    if (image == nullptr) return 0;
    if (image->GetPixels().size() != size_t{image->GetWidth()} * image->GetHeight() * 4)
        std::abort();
    std::unique_ptr<Kiv::Bitmap> again =
        ScriptImage::ImportImageSoup(ScriptImage::ExportImageSoup(image.get()));
    if (again == nullptr || again->GetPixels() != image->GetPixels()) std::abort();
    return 0;
}
