#include "materials/compress_ascii_resource.h"

#include <algorithm>
#include <charconv>

#include "foundation/file_utils.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/text.h"

namespace {

// Positions of the option's compression pairs by alpha hint: opaque, masked, graded.
int PositionOfHint(int32_t hint) {
    switch (hint) {
        case Kiv::kAlphaHintOpaque:
            return 0;
        case Kiv::kAlphaHintMasked:
            return 1;
        case Kiv::kAlphaHintGraded:
            return 2;
        default:
            return -1;
    }
}

struct Choice {
    uint32_t format = Kiv::kTextureFormatARGB8888;
    bool alpha = true;
};

// "dxt1", "dxt1a", "dxt3", "dxt5", "none"; false for any other word.
bool CompressionWord(std::string_view word, Choice& out) {
    struct Entry {
        const char* word;
        Choice choice;
    };
    static const Entry kWords[] = {
        {"dxt1", {Kiv::kTextureFormatDXT1, false}},    {"dxt1a", {Kiv::kTextureFormatDXT1, true}},
        {"dxt3", {Kiv::kTextureFormatDXT3, true}},     {"dxt5", {Kiv::kTextureFormatDXT5, true}},
        {"none", {Kiv::kTextureFormatARGB8888, true}},
    };
    for (const Entry& e : kWords) {
        if (Kiv::EqualsIgnoreCase(word, e.word)) {
            out = e.choice;
            return true;
        }
    }
    return false;
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos) return parts;
        start = comma + 1;
    }
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Clamps one side against its maximum, the other following in proportion (at least 1).
void Clamp(uint32_t& side, uint32_t& other, uint32_t maximum) {
    if (side <= maximum || maximum == 0) return;
    other = std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t{other} * maximum / side));
    side = maximum;
}

}  // namespace

bool CompressAsciiResource::LoadTxt(std::string_view path) {
    if (options_ == nullptr) return false;
    forceOptions_ = options_->Has("forceOptions");
    bumpMap_ = options_->Has("BumpMap");
    if (std::optional<std::string> sizes = options_->GetValue("MaxTextureSize")) {
        std::vector<std::string_view> values = SplitCommas(*sizes);
        uint32_t* targets[2] = {&maxWidth_, &maxHeight_};
        for (size_t i = 0; i < values.size() && i < 2; ++i) {
            const std::string_view v = Trimmed(values[i]);
            uint32_t n = 0;
            auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec == std::errc() && end == v.data() + v.size() && n != 0) *targets[i] = n;
        }
    }
    if (forceOptions_ && !AsciiTextureResource::LoadTxt(path)) return false;
    Kiv::ConfigData config;
    for (const char* key : kTextureOptionKeys) {
        if (std::optional<std::string> value = options_->GetValue(key))
            config.emplace_back(key, *value);
    }
    if (!LoadTextureOptions(config)) return false;
    if (forceOptions_) return true;
    return AsciiTextureResource::LoadTxt(path);
}

void CompressAsciiResource::GetSize(uint32_t& width, uint32_t& height) const {
    TextureResource::GetSize(width, height);
    Clamp(width, height, maxWidth_);
    Clamp(height, width, maxHeight_);
}

uint32_t CompressAsciiResource::ChooseOutputFormat() {
    alpha_ = true;
    const Kiv::TextureSettings& s = GetSettings();
    if (options_ == nullptr || s.alphaHint == static_cast<int32_t>(Kiv::kAlphaHintExact))
        return Kiv::kTextureFormatARGB8888;

    // The option's choice: three pairs for the alpha hints opaque, masked and graded.
    Choice option;
    bool haveOption = false;
    if (std::optional<std::string> compression = options_->GetValue("Compression")) {
        haveOption = true;
        int32_t hint = s.alphaHint;
        if (s.normalMap != 0 && hint == static_cast<int32_t>(Kiv::kAlphaHintMasked))
            hint = Kiv::kAlphaHintGraded;
        Choice pairs[3];
        std::vector<std::string_view> values = SplitCommas(*compression);
        for (size_t i = 0; i < values.size() && i < 3; ++i) {
            const std::string_view word = Trimmed(values[i]);
            if (i == 0 && Kiv::EqualsIgnoreCase(word, "auto")) {
                pairs[0] = {Kiv::kTextureFormatDXT1, false};
                pairs[1] = {Kiv::kTextureFormatDXT1, true};
                pairs[2] = {Kiv::kTextureFormatDXT5, true};
                break;
            }
            CompressionWord(word, pairs[i]);
        }
        const int position = PositionOfHint(hint);
        if (position >= 0) option = pairs[position];
    }
    Choice choice = option;

    // The description's own setting, for a texture large enough to be worth compressing.
    uint32_t width = 0;
    uint32_t height = 0;
    GetSize(width, height);
    const bool large = std::max(width, height) >= 64 && std::min(width, height) >= 8;
    const int32_t setting = large ? s.compression : 0;
    const bool opaque = s.alphaHint == static_cast<int32_t>(Kiv::kAlphaHintOpaque);
    switch (setting) {
        case 0:
            choice = opaque ? Choice{Kiv::kTextureFormatXRGB8888, false}
                            : Choice{Kiv::kTextureFormatARGB8888, true};
            break;
        case 1:
            choice = {Kiv::kTextureFormatDXT1, !opaque};
            break;
        case 2:
            choice = {Kiv::kTextureFormatDXT3, true};
            break;
        case 3:
            choice = {Kiv::kTextureFormatDXT5, true};
            break;
        default:
            break;
    }
    if (forceOptions_) choice = haveOption ? option : Choice{Kiv::kTextureFormatARGB8888, false};

    // Blocks cover 4 by 4 pixels: a side that is no multiple of 4 stays uncompressed.
    if (width % 4 != 0 || height % 4 != 0)
        choice.format = choice.alpha ? Kiv::kTextureFormatARGB8888 : Kiv::kTextureFormatXRGB8888;
    alpha_ = choice.alpha;
    return choice.format;
}

uint32_t CompressAsciiResource::GetNumMipLevels() const {
    if (faces_.empty()) return 0;
    uint32_t levels = faces_[0]->Count();
    for (const auto& face : faces_)
        levels = std::min(levels, face->Count());
    return levels;
}

bool CompressAsciiResource::GetMipLock(bool hardwareAcceleration) {
    if (built_ && builtWithAcceleration_ == hardwareAcceleration) return true;
    GetMipUnlock();
    if (GetDepth() == 0) return false;  // nothing loaded
    const uint32_t format = ChooseOutputFormat();
    uint32_t width = 0;
    uint32_t height = 0;
    GetSize(width, height);
    const Kiv::TextureSettings& s = GetSettings();
    for (uint32_t face = 0; face < GetDepth(); ++face) {
        const Kiv::Bitmap* image = GetImage(face);
        if (image == nullptr) {
            GetMipUnlock();
            return false;
        }
        // Scaling and the green inversion work on a copy: the loaded image stays as read, so
        // building the levels again gives the same levels.
        std::unique_ptr<Kiv::Bitmap> copy;
        if (image->GetWidth() != width || image->GetHeight() != height) {
            copy = image->Scale(width, height);
            if (copy == nullptr) {
                GetMipUnlock();
                return false;
            }
        }
        if (s.modifyMap == 1 && image->GetFormat() != Kiv::Bitmap::kFormatXRGB32) {
            if (copy == nullptr) copy = image->Convert(image->GetFormat());
            uint8_t* p = copy->GetData();
            for (size_t i = 0; i + 3 < copy->GetDataSize(); i += 4) {
                if ((p[i] | p[i + 1] | p[i + 2] | p[i + 3]) != 0)
                    p[i + 1] = static_cast<uint8_t>(255 - p[i + 1]);
            }
        }
        auto levels = std::make_unique<TextureCompress>();
        const bool tile = s.wrapU == Kiv::kWrapRepeat || s.wrapV == Kiv::kWrapRepeat;
        if (!CompressTexture(copy != nullptr ? *copy : *image, *levels, format, alpha_, tile,
                             s.normalMap != 0, UseMipMaps(), hardwareAcceleration)) {
            GetMipUnlock();
            return false;
        }
        faces_.push_back(std::move(levels));
    }
    format_ = format;
    built_ = true;
    builtWithAcceleration_ = hardwareAcceleration;
    return true;
}

const Kiv::Bitmap* CompressAsciiResource::GetMip(uint32_t level, uint32_t face) const {
    return face < faces_.size() ? faces_[face]->Get(level) : nullptr;
}

void CompressAsciiResource::GetMipUnlock() {
    faces_.clear();
    format_ = 0;
    built_ = false;
}

bool CompressAsciiResource::Save(std::string_view fileName) {
    Kiv::MeshOutput out;
    if (!SaveLockedInternal(out)) return false;
    return WriteFileReplacing(fileName, [&out](TStream& stream) {
        const std::vector<uint8_t>& bytes = out.Bytes();
        size_t done = 0;
        while (done < bytes.size()) {
            const uint32_t n =
                static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, 1u << 24));
            if (stream.Write(bytes.data() + done, n) != n) return false;
            done += n;
        }
        return true;
    });
}

bool CompressAsciiResource::Save(std::string_view folder, std::string_view fileName,
                                 bool hardwareAcceleration) {
    if (!GetMipLock(hardwareAcceleration)) return false;
    if (folder.empty()) return Save(fileName);
    Kiv::File::Path path(folder);
    path.AddPath(fileName);
    return Save(path.view());
}
