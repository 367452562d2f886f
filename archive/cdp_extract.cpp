// Extraction of an archived asset's files.
#include "archive/cdp_extract.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "archive/cdp_file_data.h"
#include "archive/cdp_keys.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/file_utils.h"
#include "foundation/statics.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"

namespace {

constexpr std::array<std::string_view, 33> kKnownFileTypes = {
    "txt", "bmp", "tga", "chump", "pm",      "im",  "kin", "wav", "jpg", "jpeg", "gnd",
    "ref", "tso", "obs", "trk",   "texture", "bmk", "dat", "gs",  "gse", "html", "htm",
    "evt", "lm",  "mp3", "lst",   "pfx",     "tfx", "avi", "wmv", "lyr", "trc",  "srt"};

bool IsNameCharacter(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::strchr("-&,+'._$~() ", c) != nullptr && c != '\0';
}

// A name the file system would take as more than one step of a path, or as a step back out.
bool LeavesItsFolder(std::string_view name) {
    return name == "." || name == ".." || name.find_first_of("/\\") != std::string_view::npos;
}

// The path's last step (after its last separator) is "." or "..": the path rule leaves that
// step to the name rule, but a folder argument is no name and is never checked by it.
bool EndsInDotStep(std::string_view path) {
    size_t separator = path.find_last_of("/\\");
    std::string_view last = separator == std::string_view::npos ? path : path.substr(separator + 1);
    return LeavesItsFolder(last);
}

std::string JoinRelative(std::string_view relative, std::string_view name) {
    std::string path(relative);
    if (!path.empty()) path += '/';
    path += name;
    return path;
}

std::string Full(std::string_view base, std::string_view relative) {
    if (relative.empty()) return std::string(base);
    return Kiv::File::Path(base).AddPath(relative).str();
}

// True when a step of `relative` below `base` is a symbolic link: writing through it could land
// anywhere. The base itself is the caller's and is not checked.
bool PassesThroughLink(std::string_view base, std::string_view relative) {
    std::string prefix(base);
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = relative.size();
        if (end > start) {
            prefix = Kiv::File::Path(prefix).AddPath(relative.substr(start, end - start)).str();
            if (IsSymbolicLink(prefix)) return true;
        }
        start = end + 1;
    }
    return false;
}

Kiv::PString Outside(std::string_view relative) {
    return Kiv::PString::Printf(kCdpOutsideDestinationFormat, std::string(relative).c_str());
}

bool WriteBytes(std::string_view destination, const uint8_t* bytes, size_t size) {
    return WriteFileReplacing(destination, [&](TStream& out) {
        size_t done = 0;
        while (done < size) {
            auto chunk = static_cast<uint32_t>(std::min<size_t>(size - done, 1u << 30));
            if (out.Write(bytes + done, chunk) != chunk) return false;
            done += chunk;
        }
        return true;
    });
}

uint32_t ReadWord(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The path text of a "filepath" entry: a string (u32 length, its NUL counted, then the bytes;
// not used), then a text (u32 length, then the bytes). False when either runs past the data.
bool ReadLocalReference(const ACSRawDataRef& data, std::string& path) {
    const uint8_t* p = data.GetData();
    uint32_t left = data.GetSize();
    for (int field = 0; field < 2; ++field) {
        if (left < 4) return false;
        uint32_t length = ReadWord(p);
        p += 4;
        left -= 4;
        if (length > left) return false;
        if (field == 1)
            path.assign(reinterpret_cast<const char*>(p),
                        ::strnlen(reinterpret_cast<const char*>(p), length));
        p += length;
        left -= length;
    }
    return !path.empty();
}

Kiv::PString CopyLocalFile(const ACSRawDataRef& data, std::string_view destination,
                           const CdpExtractOptions& options) {
    std::string source;
    if (!ReadLocalReference(data, source)) return Kiv::PString(kCdpLocalCopyInternalMessage);
    if (!options.allowLocalFileReferences) return Kiv::PString(kCdpLocalReferenceRefusedMessage);
    // A device or a pipe never ends as a file does.
    if (!Kiv::File::IsRegularFile(source) || !CopyFileContents(source, destination))
        return Kiv::PString(kCdpLocalCopyFailedMessage);
    return EmptyPString();
}

Kiv::PString UnpackFile(const ACSRawDataRef& data, std::string_view destination) {
    // Unpacked in memory first, so that a damaged entry leaves no file behind.
    std::vector<uint8_t> bytes;
    switch (CdpUnpackFileData(data.GetData(), data.GetSize(), bytes)) {
        case CdpUnpackResult::kUnpacked:
            break;
        case CdpUnpackResult::kUnknownMethod:
            return Kiv::PString(kCdpUnknownCompressionTypeMessage);
        case CdpUnpackResult::kDamaged:
            return Kiv::PString(kCdpDecompressFailedMessage);
    }
    if (!WriteBytes(destination, bytes.data(), bytes.size()))
        return Kiv::PString(kCdpWriteFailedMessage);
    return EmptyPString();
}

Kiv::PString ExtractLevel(const TDBTagRef& files, std::string_view base, std::string_view relative,
                          const Kiv::PString& compression, const CdpExtractOptions& options,
                          uint32_t depth) {
    if (depth > static_cast<uint32_t>(kMaxFolderDepth)) return Kiv::PString(kCdpTooDeepMessage);
    if (PassesThroughLink(base, relative)) return Outside(relative);
    const std::string folder = Full(base, relative);
    Kiv::PString result = EmptyPString();
    if (!Kiv::File::Md(folder)) result = Kiv::PString(kCdpWriteFailedMessage);

    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; files->GetChildAt(i, name, child); ++i) {
        const std::string_view text = name.view();
        const std::string path = JoinRelative(relative, text);
        // "." and "..", and names holding a separator, fail the name rule like any other bad
        // name: skipped without a word, nothing written outside.
        if (LeavesItsFolder(text) || !CdpIsValidFileName(text)) continue;
        const uint32_t type = child->GetType();
        if (type == kTagContainer) {
            if (!CdpIsValidRelativePath(path)) continue;
            Kiv::PString error = ExtractLevel(child, base, path, compression, options, depth + 1);
            if (!error.IsEmpty()) result = error;
        } else if (type == kTagRaw) {
            if (!CdpIsKnownFileType(text)) continue;
            const std::string destination = Kiv::File::Path(folder).AddPath(text).str();
            // A link already in the destination could lead anywhere: neither followed nor
            // replaced.
            if (IsSymbolicLink(destination)) {
                result = Outside(path);
                continue;
            }
            Kiv::PString error =
                CdpExtractFiles(compression, child->GetRawData(), destination, options);
            if (!error.IsEmpty()) result = error;
        } else {
            result = Kiv::PString(kCdpUnknownDataTypeMessage);
        }
    }
    return result;
}

}  // namespace

bool CdpIsValidFileName(std::string_view name) {
    if (name.empty()) return false;
    char first = name.front();
    if (first == ' ' || first == '.' || first == '~' || name.back() == ' ') return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return IsNameCharacter(static_cast<unsigned char>(c)); });
}

bool CdpIsValidRelativePath(std::string_view path) {
    size_t stepStart = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '/' && path[i] != '\\') continue;
        std::string_view step = path.substr(stepStart, i - stepStart);
        if (step.find_first_not_of('.') == std::string_view::npos) return false;
        stepStart = i + 1;
    }
    return true;
}

bool CdpIsKnownFileType(std::string_view name) {
    Kiv::File::Path path(name);
    return std::any_of(kKnownFileTypes.begin(), kKnownFileTypes.end(),
                       [&](std::string_view ext) { return path.IsExt(ext); });
}

Kiv::PString CdpExtractFolder(const TDBTagRef& files, std::string_view base,
                              std::string_view relative, const Kiv::PString& compression,
                              const CdpExtractOptions& options) {
    if (!CdpIsValidRelativePath(relative) || EndsInDotStep(relative)) return Outside(relative);
    // Each new file is looked up ignoring case before it is made; without the scope every
    // lookup would list its whole folder again.
    Kiv::File::FolderListingScope listings;
    if (!files) {
        if (PassesThroughLink(base, relative)) return Outside(relative);
        return Kiv::File::Md(Full(base, relative)) ? EmptyPString()
                                                   : Kiv::PString(kCdpWriteFailedMessage);
    }
    // The files reach the disk together at the end, before the extraction reports success.
    DeferredFileSync sync;
    Kiv::PString result = ExtractLevel(files, base, relative, compression, options, 0);
    if (!sync.Finish() && result.IsEmpty()) result = Kiv::PString(kCdpWriteFailedMessage);
    return result;
}

Kiv::PString CdpExtractFiles(const Kiv::PString& compression, const ACSRawDataRef& data,
                             std::string_view destination, const CdpExtractOptions& options) {
    const CdpKeys& keys = GetCdpKeys();
    if (compression.IsEmpty()) {
        if (!WriteBytes(destination, data.GetData(), data.GetSize()))
            return Kiv::PString(kCdpWriteFailedMessage);
        return EmptyPString();
    }
    if (compression == keys.filepath) return CopyLocalFile(data, destination, options);
    if (compression == keys.lzss) return UnpackFile(data, destination);
    return Kiv::PString(kCdpUnknownCompressionFormatMessage);
}
