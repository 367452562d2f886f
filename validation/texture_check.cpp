// The texture checks of an asset folder: every texture description ("*.texture.txt") and every
// binary texture ("*.texture") in the folder and its sub-folders. A description must be plain
// ASCII and name images that exist, load, have sides that are powers of two and, with an alpha
// image, match in size; a binary texture must have its description beside it. Findings are
// ownerless and name each file relative to the asset folder.
//
// Descriptions and images come with downloaded assets: a line is read into a 512-byte buffer
// (a longer one keeps its first 511 bytes and stays one line), an image name that would leave
// the asset folder is reported missing and never opened, and folder links are not followed.
#include <string>

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/find.h"
#include "validation/asset_paths.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"

namespace DUVLib {

namespace {

constexpr size_t kLineBuffer = 512;

std::string Relative(const Kiv::File::Path& base, const Kiv::File::Path& path) {
    size_t n = base.Length();
    const std::string& text = path.str();
    if (n == 0 || n > text.size()) return text;
    // The asset folder is given without its closing separator; the names start after it.
    if (n < text.size() && Kiv::File::Path::IsSeparator(text[n])) ++n;
    return text.substr(n);
}

bool IsPowerOfTwo(uint32_t v) {
    uint32_t s = v | (v >> 16);
    s |= s >> 8;
    s |= s >> 4;
    s |= s >> 2;
    s |= s >> 1;
    return ((static_cast<uint64_t>(s) + 1) >> 1) == v;
}

struct Description {
    std::string primary, alpha;
    bool nonAnsi = false;
};

// Reads what the checks need of a description: the last "Primary=" and "Alpha=" lines and
// whether any byte is above 0x7F. A line is what a 512-byte buffer holds of it, up to a NUL.
bool ReadDescription(const Kiv::File::Path& path, Description& out) {
    Kiv::File file;
    if (!file.Open(path.view(), Kiv::File::kModeRead)) return false;
    std::string line, rest;
    bool truncated = false;
    while (file.ReadLine(line, kLineBuffer - 1, &truncated)) {
        bool more = truncated;
        while (more && file.ReadLine(rest, 4096, &more)) {
        }
        line.resize(std::min(line.size(), line.find('\0')));
        for (const char c : line)
            if (static_cast<unsigned char>(c) >= 0x80) out.nonAnsi = true;
        if (line.compare(0, 8, "Primary=") == 0) out.primary = line.substr(8);
        if (line.compare(0, 6, "Alpha=") == 0) out.alpha = line.substr(6);
    }
    for (std::string* value : {&out.primary, &out.alpha}) {
        const size_t end = value->find_first_of("\r\n");
        if (end != std::string::npos) value->resize(end);
    }
    return true;
}

struct Image {
    bool loaded = false;
    uint32_t width = 0, height = 0;
};

// Checks one image a description names; the findings name it relative to the asset folder.
Image CheckImage(const Kiv::File::Path& base, const Kiv::File::Path& folder,
                 const std::string& value, const char* missingKey,
                 const std::string& descriptionName, bool& result) {
    ErrorHandler& handler = *ErrorHandler::Instance();
    Image image;
    const Kiv::PString lower = Kiv::PString(value).ToLower();
    Kiv::File::Path path(folder);
    path.AddPath(lower.view());
    const std::string name = Relative(base, path);
    if (!StaysInsideAsset(lower.view()) || !Kiv::File::IsRegularFile(path.view())) {
        handler.Error(FindingText(missingKey, {name, descriptionName}));
        result = false;
        return image;
    }
    Kiv::Bitmap bitmap;
    if (!bitmap.Load(path.view(), false)) {
        handler.Error(FindingText("$duv_texture_failedload", {name}));
        result = false;
        return image;
    }
    image.loaded = true;
    image.width = bitmap.GetWidth();
    image.height = bitmap.GetHeight();
    if (!IsPowerOfTwo(image.height) || !IsPowerOfTwo(image.width)) {
        handler.Error(FindingText("$duv_texture_notpower2", {name}));
        result = false;
    }
    return image;
}

}  // namespace

bool Container::CheckTextureFile(const Kiv::File::Path& base, const Kiv::File::Path& folder) {
    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler == nullptr) return true;
    DataManager& manager = DataManager::Instance();
    bool result = true;

    Kiv::File::Path pattern(folder);
    pattern.AddPath("*");
    Kiv::File::Find find;
    if (!find.Open(pattern.view())) return true;
    for (bool more = find.IsValid(); more; more = find.Next()) {
        const std::string& entryName = find.GetName();
        if (entryName == "." || entryName == "..") continue;
        Kiv::File::Path entry(folder);
        entry.AddPath(entryName);
        // A link to a folder is not followed: a link loop would never end, and a link may lead
        // out of the asset.
        if (find.IsDirectory() && !find.IsSymbolicLink())
            result = CheckTextureFile(base, entry) && result;

        if (entry.IsExt("texture")) {
            Kiv::File::Path description(entry);
            description.SetExt("texture.txt");
            if (!Kiv::File::IsPresent(description.view())) {
                const Kiv::PString text =
                    FindingText("$duv_duplicatetexture", {Relative(base, entry)});
                if (static_cast<int>(manager.GetBuild() * 100.0 + 0.1) >= 290)
                    handler->Error(text);
                else
                    handler->Warning(text);
                result = false;
            }
        } else if (entry.IsExt("txt")) {
            std::string stemText = entry.str();
            stemText.resize(stemText.size() - 4);
            const Kiv::File::Path stem(stemText);
            if (stem.IsExt("convert-tex")) {
                handler->Error(FindingText("$duv_texture_failedload", {Relative(base, entry)}));
            } else if (stem.IsExt("texture")) {
                const std::string name = Relative(base, entry);
                Description d;
                if (!find.IsDirectory() && ReadDescription(entry, d)) {
                    if (d.nonAnsi) {
                        handler->Error(FindingText("$duv_non_ansi_texture", {name}));
                        result = false;
                    }
                    Image primary, alpha;
                    if (!d.primary.empty())
                        primary = CheckImage(base, folder, d.primary,
                                             "$duv_texture_missing_primary", name, result);
                    if (!d.alpha.empty())
                        alpha = CheckImage(base, folder, d.alpha, "$duv_texture_missing_alpha",
                                           name, result);
                    if (primary.loaded && alpha.loaded &&
                        (primary.height != alpha.height || primary.width != alpha.width)) {
                        handler->Error(FindingText("$duv_primaryalpha_notsamesize", {name}));
                        result = false;
                    }
                }
                if (manager.conversionCheck && !Kiv::File::IsPresent(stem.view())) {
                    handler->Error(FindingText("$duv_binary_texture_conversion_failed", {name}));
                    result = false;
                }
            }
        }
    }
    return result;
}

}  // namespace DUVLib
