// Texture compression: one 32-bit bitmap into the list of its mip levels, as a compressed
// texture resource stores them. Block-compressed formats go through NVIDIA Texture Tools;
// uncompressed ones are halved with the engine's bitmap scaling.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <nvtt/nvtt.h>

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/res/texture_file.h"

// The levels of one face of a texture, largest first; owns its bitmaps.
class TextureCompress {
public:
    TextureCompress() = default;
    virtual ~TextureCompress() = default;
    TextureCompress(const TextureCompress&) = delete;
    TextureCompress& operator=(const TextureCompress&) = delete;

    void Append(std::unique_ptr<Kiv::Bitmap> level) { levels_.push_back(std::move(level)); }
    uint32_t Count() const { return static_cast<uint32_t>(levels_.size()); }
    // The level, or null past the end.
    const Kiv::Bitmap* Get(uint32_t level) const {
        return level < levels_.size() ? levels_[level].get() : nullptr;
    }
    const Kiv::Bitmap* Last() const { return levels_.empty() ? nullptr : levels_.back().get(); }
    void Clear() { levels_.clear(); }

private:
    std::vector<std::unique_ptr<Kiv::Bitmap>> levels_;
};

// Collects the compressor's images into a level list. Each image is announced with its byte
// size and then written in pieces; data beyond the announced size is refused. The image being
// filled joins the list when the next one starts and, for the last one, at Finish or
// destruction, whichever comes first (once).
class OurOutputHandler : public nvtt::OutputHandler {
public:
    explicit OurOutputHandler(TextureCompress& levels) : levels_(levels) {}
    ~OurOutputHandler() override;
    OurOutputHandler(const OurOutputHandler&) = delete;
    OurOutputHandler& operator=(const OurOutputHandler&) = delete;

    void beginImage(int size, int width, int height, int depth, int face, int miplevel) override;
    bool writeData(const void* data, int size) override;
    void Finish();

private:
    TextureCompress& levels_;
    std::unique_ptr<Kiv::Bitmap> current_;
    size_t written_ = 0;
};

// Appends to `levels` the levels of `bitmap` (pixel format 2 or 3 only) in target format
// `mode` (a Kiv::TextureFormat code: 1, 3, 5 uncompressed; 10, 11, 12, 25-27 blocks). The bitmap is
// not changed: a format-3 source (or mode 3) is compressed with opaque alpha from a copy.
// Uncompressed modes (1, 3, 5) always give the whole chain down to 1 by 1; block modes give the
// whole chain when `mipmaps` is set, else one level. False for another pixel format or mode, or
// when the compressor fails or throws (GetLastCompressionError then tells why); the list may then
// hold the levels made before the failure.
bool CompressTexture(const Kiv::Bitmap& bitmap, TextureCompress& levels, uint32_t mode, bool alpha,
                     bool tile, bool normalMap, bool mipmaps, bool hardwareAcceleration);

// The compressor's text for the last error of a compression run by this thread; empty when
// its last compression had none. Kept per thread: conversions run side by side, each reading
// back its own.
Kiv::PString GetLastCompressionError();
