// Kiv::TextureResource and Kiv::AsciiTextureResource: a texture as the engine keeps it (its
// settings, the level-0 image of each face, and the levels it is stored in), and the texture
// read from a texture description, the small text file an asset author writes.
//
// A description is lines "Key=Value" (key letter case ignored, blanks around both trimmed; a
// line without '=' is ignored, and only the first 512 bytes of a line count). Keys:
//
//   Primary      the image (BMP, TGA or JPEG), a name relative to the description's folder
//   Alpha        a second image of the same size whose red channel becomes the alpha
//   AlphaHint    opaque 0, semitransparent 1, masked 2, exact 255 (kept uncompressed); unset,
//                it is 1 when an alpha image or an alpha channel exists, else 0
//   Hint         default: normal-map hint 0, modify-map 0; normalmap: 1, 0;
//                normalmap-invertgreen: 1, 1 (the green channel is stored inverted)
//   Compression  auto (unset: the converter decides), none 0, dxt1 1, dxt3 2, dxt5 3
//   Tile         st (both axes wrap: wrap mode 2 on each), s, t, none (wrap mode 1: clamp)
//   MipFilter    none 0 (no mip levels), point 1, linear 2 (the default)
//   MinFilter, MagFilter   point 0, linear 1 (the default), anisotropic 2
//   Anisotropy   a whole number 1 to 16
//   AutoMip      none 0, auto 1 (the default)
//
// Words are compared ignoring letter case. Another key is ignored; a known key with a value
// not in its list fails the load, as do a missing or unreadable image, an image over
// kMaxTextureSide, and an image name that is absolute, climbs out with "..", or is reached
// through a symbolic link.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/geom/mesh_file_support.h"
#include "platform/kiv/res/resource.h"

namespace Kiv {

// Settings given to the texture code as key and value words, in order.
using ConfigData = std::vector<std::pair<std::string, std::string>>;

constexpr uint32_t kMaxTextureSide = 4096;
constexpr size_t kMaxDescriptionBytes = 64 * 1024;
constexpr size_t kDescriptionLineBytes = 512;

constexpr uint32_t kAlphaHintOpaque = 0;
constexpr uint32_t kAlphaHintGraded = 1;
constexpr uint32_t kAlphaHintMasked = 2;
constexpr uint32_t kAlphaHintExact = 255;
constexpr uint32_t kWrapClamp = 1;
constexpr uint32_t kWrapRepeat = 2;

struct TextureSettings {
    static constexpr int32_t kUnset = -1;
    int32_t alphaHint = kUnset;
    int32_t compression = kUnset;
    uint32_t normalMap = 0;
    uint32_t modifyMap = 0;
    uint32_t wrapU = kWrapRepeat;
    uint32_t wrapV = kWrapRepeat;
    uint32_t mipFilter = 2;
    uint32_t minFilter = 1;
    uint32_t magFilter = 1;
    uint32_t anisotropy = 1;
    uint32_t autoMip = 1;
};

enum class TextureSettingResult { kApplied, kUnknownKey, kBadValue };
// Applies one description setting (a key of the table above other than Primary and Alpha).
TextureSettingResult ApplyTextureSetting(TextureSettings& settings, std::string_view key,
                                         std::string_view value);

class TextureResource : public Resource {
public:
    using Resource::Resource;

    // The size of the texture: its level-0 image's (0 by 0 before a load).
    virtual void GetSize(uint32_t& width, uint32_t& height) const;
    // Faces: 1 for a plain texture.
    uint32_t GetDepth() const { return static_cast<uint32_t>(images_.size()); }
    // The level-0 image of a face, or null.
    const Bitmap* GetImage(uint32_t face) const {
        return face < images_.size() ? images_[face].get() : nullptr;
    }
    const TextureSettings& GetSettings() const { return settings_; }
    bool UseMipMaps() const { return settings_.mipFilter != 0; }

    // The stored levels: their format code (0 when none are built), count, each level of a
    // face; GetMipLock builds them, GetMipUnlock lets them go. The engine's own texture keeps
    // no levels of its own here.
    virtual uint32_t GetFormat() const { return 0; }
    virtual uint32_t GetNumMipLevels() const { return 0; }
    virtual bool GetMipLock(bool /*hardwareAcceleration*/) { return false; }
    virtual const Bitmap* GetMip(uint32_t /*level*/, uint32_t /*face*/) const { return nullptr; }
    virtual void GetMipUnlock() {}

    // Appends the texture file of the locked levels (every face, GetNumMipLevels levels). False
    // when none are locked or they do not make a texture file.
    bool SaveLockedInternal(MeshOutput& out) const;

protected:
    TextureSettings settings_;
    std::vector<std::unique_ptr<Bitmap>> images_;
};

class AsciiTextureResource : public TextureResource {
public:
    using TextureResource::TextureResource;

    // Reads the description at `path` and its images over the current settings (the
    // description's own settings win over those set before). False with GetLoadError on any
    // failure; the images are then gone.
    virtual bool LoadTxt(std::string_view path);
    // Applies settings given as key and value words (the description's keys). False at the
    // first unknown key or bad value, with GetLoadError.
    bool LoadTextureOptions(const ConfigData& config);
    const std::string& GetLoadError() const { return loadError_; }

private:
    bool Fail(std::string error);

    std::string loadError_;
};

}  // namespace Kiv
