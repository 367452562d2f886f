// The image decoder over arbitrary bytes: it answers with a whole picture whose size is what it
// says, within the caps, or with a failure and nothing; never a crash, hang or read outside.
#include <cstdint>
#include <cstdlib>

#include "platform/kiv/base/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Kiv::Bitmap bitmap;
    const bool ok = bitmap.LoadFromMemory(data, size);
    if (ok) {
        if (bitmap.GetWidth() == 0 || bitmap.GetHeight() == 0 ||
            bitmap.GetWidth() > Kiv::Bitmap::kMaxSide || bitmap.GetHeight() > Kiv::Bitmap::kMaxSide)
            std::abort();
        if (bitmap.GetPixels().size() != size_t{bitmap.GetWidth()} * bitmap.GetHeight() * 4)
            std::abort();
    } else if (!bitmap.GetPixels().empty() || bitmap.GetWidth() != 0) {
        std::abort();
    }
    return 0;
}
