#include "platform/kiv/res/texture_resource.h"

#include <sys/stat.h>

#include <charconv>

#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/text.h"
#include "platform/kiv/res/texture_file.h"

namespace Kiv {

namespace {

struct Word {
    const char* word;
    uint32_t value;
};

// The words of each setting and the engine number each stands for.
constexpr Word kAlphaHintWords[] = {{"opaque", kAlphaHintOpaque},
                                    {"semitransparent", kAlphaHintGraded},
                                    {"masked", kAlphaHintMasked},
                                    {"exact", kAlphaHintExact}};
constexpr Word kCompressionWords[] = {{"none", 0}, {"dxt1", 1}, {"dxt3", 2}, {"dxt5", 3}};
constexpr Word kMipFilterWords[] = {{"none", 0}, {"point", 1}, {"linear", 2}};
constexpr Word kFilterWords[] = {{"point", 0}, {"linear", 1}, {"anisotropic", 2}};
constexpr Word kAutoMipWords[] = {{"none", 0}, {"auto", 1}};
// Hint: normal-map hint in the low byte, modify-map above it.
constexpr Word kHintWords[] = {{"default", 0}, {"normalmap", 1}, {"normalmap-invertgreen", 0x101}};
// Tile: wrap mode of the first axis in the low byte, the second's above it.
constexpr Word kTileWords[] = {{"st", kWrapRepeat | kWrapRepeat << 8},
                               {"s", kWrapRepeat | kWrapClamp << 8},
                               {"t", kWrapClamp | kWrapRepeat << 8},
                               {"none", kWrapClamp | kWrapClamp << 8}};

template <size_t N>
bool Lookup(const Word (&words)[N], std::string_view text, uint32_t& out) {
    for (const Word& w : words) {
        if (EqualsIgnoreCase(text, w.word)) {
            out = w.value;
            return true;
        }
    }
    return false;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool IsLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The image's path below the description's folder: refused (empty) when the name is absolute,
// climbs out with "..", or meets a symbolic link on the way.
std::string ImagePath(std::string_view folder, std::string_view name) {
    if (name.empty() || File::Path::IsAbsolute(name)) return {};
    std::string path = std::string(folder);
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !File::Path::IsSeparator(name[end]))
            ++end;
        const std::string_view part = name.substr(start, end - start);
        if (part == "..") return {};
        if (!part.empty() && part != ".") {
            if (!path.empty() && path.back() != '/') path += '/';
            path += part;
            path = File::ResolveCase(path);
            if (IsLink(path)) return {};
        }
        start = end + 1;
    }
    // A pipe or a device would never end: only a plain file (or none, which fails to load).
    return File::IsPresent(path) && !File::IsRegularFile(path) ? std::string() : path;
}

}  // namespace

TextureSettingResult ApplyTextureSetting(TextureSettings& s, std::string_view key,
                                         std::string_view value) {
    uint32_t v = 0;
    auto apply = [&](bool ok) {
        return ok ? TextureSettingResult::kApplied : TextureSettingResult::kBadValue;
    };
    if (EqualsIgnoreCase(key, "AlphaHint")) {
        const bool ok = Lookup(kAlphaHintWords, value, v);
        if (ok) s.alphaHint = static_cast<int32_t>(v);
        return apply(ok);
    }
    if (EqualsIgnoreCase(key, "Compression")) {
        if (EqualsIgnoreCase(value, "auto")) {
            s.compression = TextureSettings::kUnset;
            return TextureSettingResult::kApplied;
        }
        const bool ok = Lookup(kCompressionWords, value, v);
        if (ok) s.compression = static_cast<int32_t>(v);
        return apply(ok);
    }
    if (EqualsIgnoreCase(key, "Hint")) {
        const bool ok = Lookup(kHintWords, value, v);
        if (ok) {
            s.normalMap = v & 0xFF;
            s.modifyMap = v >> 8;
        }
        return apply(ok);
    }
    if (EqualsIgnoreCase(key, "Tile")) {
        const bool ok = Lookup(kTileWords, value, v);
        if (ok) {
            s.wrapU = v & 0xFF;
            s.wrapV = v >> 8;
        }
        return apply(ok);
    }
    if (EqualsIgnoreCase(key, "MipFilter"))
        return apply(Lookup(kMipFilterWords, value, s.mipFilter));
    if (EqualsIgnoreCase(key, "MinFilter")) return apply(Lookup(kFilterWords, value, s.minFilter));
    if (EqualsIgnoreCase(key, "MagFilter")) return apply(Lookup(kFilterWords, value, s.magFilter));
    if (EqualsIgnoreCase(key, "AutoMip")) return apply(Lookup(kAutoMipWords, value, s.autoMip));
    if (EqualsIgnoreCase(key, "Anisotropy")) {
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
        const bool ok =
            ec == std::errc() && end == value.data() + value.size() && v >= 1 && v <= 16;
        if (ok) s.anisotropy = v;
        return apply(ok);
    }
    return TextureSettingResult::kUnknownKey;
}

void TextureResource::GetSize(uint32_t& width, uint32_t& height) const {
    const Bitmap* image = GetImage(0);
    width = image != nullptr ? image->GetWidth() : 0;
    height = image != nullptr ? image->GetHeight() : 0;
}

bool TextureResource::SaveLockedInternal(MeshOutput& out) const {
    const uint32_t levels = GetNumMipLevels();
    if (levels == 0 || GetDepth() == 0) return false;
    std::vector<std::vector<const Bitmap*>> faces(GetDepth());
    for (uint32_t f = 0; f < GetDepth(); ++f)
        for (uint32_t l = 0; l < levels; ++l)
            faces[f].push_back(GetMip(l, f));
    return WriteTextureFile(out, GetFormat(), faces);
}

bool AsciiTextureResource::Fail(std::string error) {
    loadError_ = std::move(error);
    images_.clear();
    return false;
}

bool AsciiTextureResource::LoadTextureOptions(const ConfigData& config) {
    for (const auto& [key, value] : config) {
        switch (ApplyTextureSetting(settings_, key, value)) {
            case TextureSettingResult::kApplied:
                break;
            case TextureSettingResult::kUnknownKey:
                return Fail("unknown setting '" + key + "'");
            case TextureSettingResult::kBadValue:
                return Fail("'" + value + "' is no value of " + key);
        }
    }
    return true;
}

bool AsciiTextureResource::LoadTxt(std::string_view path) {
    loadError_.clear();
    images_.clear();
    const std::string resolved = File::ResolveCase(path);
    if (IsLink(resolved)) return Fail("the description is a symbolic link");
    // Anything but a plain file (a pipe would never end) is no description.
    if (!File::IsRegularFile(resolved)) return Fail("the description is not a file");
    File file;
    if (!file.Open(resolved, File::kModeRead)) return Fail("the description cannot be opened");
    if (file.GetSize() > kMaxDescriptionBytes) return Fail("the description is too large");

    std::string primary;
    std::string alpha;
    std::string line;
    bool cut = false;
    bool continuation = false;
    while (file.ReadLine(line, kDescriptionLineBytes, &cut)) {
        // The rest of a line over the limit comes back as further reads: it does not count.
        const bool skip = continuation;
        continuation = cut;
        if (skip) continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string_view key = Trim(std::string_view(line).substr(0, eq));
        const std::string_view value = Trim(std::string_view(line).substr(eq + 1));
        if (EqualsIgnoreCase(key, "Primary")) {
            primary = value;
        } else if (EqualsIgnoreCase(key, "Alpha")) {
            alpha = value;
        } else if (ApplyTextureSetting(settings_, key, value) == TextureSettingResult::kBadValue) {
            return Fail("'" + std::string(value) + "' is no value of " + std::string(key));
        }
    }
    file.Close();
    if (primary.empty()) return Fail("the description names no primary image");

    const std::string folder(File::Path(resolved).GetFolder());
    auto load = [&](const std::string& name, Bitmap& image) {
        const std::string imagePath = ImagePath(folder, name);
        if (imagePath.empty()) return Fail("the image name '" + name + "' is refused");
        if (!image.Load(imagePath))
            return Fail("the image '" + name + "' cannot be loaded: " + image.GetError());
        if (image.GetWidth() > kMaxTextureSide || image.GetHeight() > kMaxTextureSide)
            return Fail("the image '" + name + "' is larger than a texture may be");
        return true;
    };
    auto image = std::make_unique<Bitmap>();
    if (!load(primary, *image)) return false;
    bool hasAlpha = image->GetFormat() == Bitmap::kFormatARGB32;
    if (!alpha.empty()) {
        Bitmap alphaImage;
        if (!load(alpha, alphaImage)) return false;
        if (alphaImage.GetWidth() != image->GetWidth() ||
            alphaImage.GetHeight() != image->GetHeight())
            return Fail("the alpha image differs in size from the primary image");
        auto withAlpha = image->Convert(Bitmap::kFormatARGB32);
        uint8_t* d = withAlpha->GetData();
        const uint8_t* a = alphaImage.GetData();
        for (size_t i = 0; i < withAlpha->GetDataSize(); i += 4)
            d[i + 3] = a[i];
        image = std::move(withAlpha);
        hasAlpha = true;
    }
    if (settings_.alphaHint == TextureSettings::kUnset)
        settings_.alphaHint = static_cast<int32_t>(hasAlpha ? kAlphaHintGraded : kAlphaHintOpaque);
    images_.push_back(std::move(image));
    return true;
}

}  // namespace Kiv
