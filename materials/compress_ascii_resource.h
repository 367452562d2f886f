// CompressAsciiResource: the texture resource that texture conversion builds from a texture
// description and saves as a texture file. It reads the description as the engine's
// description texture does, chooses its output format from its creation options and the
// description's settings, builds its levels with the program's compression, and saves them
// through a twin, so a failed save keeps the old file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "materials/texture_compress.h"
#include "platform/kiv/base/options.h"
#include "platform/kiv/res/texture_resource.h"

class CompressAsciiResource : public Kiv::AsciiTextureResource {
public:
    using Kiv::AsciiTextureResource::AsciiTextureResource;

    // The creation options (not owned; must outlive the resource's loads and builds).
    void SetCreationOptions(const Kiv::Options* options) { options_ = options; }

    // Reads "forceOptions", "BumpMap" and "MaxTextureSize" from the creation options, then the
    // description and the options' description settings, the options winning only with
    // "forceOptions". False without creation options.
    bool LoadTxt(std::string_view path) override;
    // The engine's size clamped to the maximum width, then the maximum height, keeping the
    // aspect (height x maximum / width, at least 1).
    void GetSize(uint32_t& width, uint32_t& height) const override;
    // The format code the compressor receives; sets the alpha flag (HasAlpha).
    uint32_t ChooseOutputFormat();
    bool HasAlpha() const { return alpha_; }

    uint32_t GetFormat() const override { return format_; }
    uint32_t GetNumMipLevels() const override;
    // Builds every face's levels (again, unless they stand built with the same acceleration
    // flag). False, with nothing kept, when a face cannot be compressed.
    bool GetMipLock(bool hardwareAcceleration) override;
    const Kiv::Bitmap* GetMip(uint32_t level, uint32_t face) const override;
    void GetMipUnlock() override;

    // Saves the levels already built to the file, through a twin.
    bool Save(std::string_view fileName);
    // Builds the levels (as GetMipLock) and saves them to the file in the folder (an empty
    // folder: the name is the whole path); fails without writing when building fails.
    bool Save(std::string_view folder, std::string_view fileName, bool hardwareAcceleration);

private:
    const Kiv::Options* options_ = nullptr;
    bool forceOptions_ = false;
    bool bumpMap_ = false;
    bool alpha_ = true;
    uint32_t maxWidth_ = UINT32_MAX;
    uint32_t maxHeight_ = UINT32_MAX;
    uint32_t format_ = 0;
    bool built_ = false;
    bool builtWithAcceleration_ = false;
    std::vector<std::unique_ptr<TextureCompress>> faces_;
};

// The description settings that creation options may carry, in the order they are applied.
inline constexpr const char* kTextureOptionKeys[] = {
    "Hint", "AlphaHint", "Anisotropy", "AutoMip", "MagFilter", "MinFilter", "MipFilter", "Tile"};
