// Packing an asset's files.
#include "archive/cdp_pack.h"

#include <string>

#include "archive/cdp_archive.h"
#include "archive/cdp_file_data.h"
#include "configdata/soup_format.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/file_utils.h"
#include "foundation/statics.h"
#include "platform/kiv/base/find.h"

namespace {

// The longest child name a soup stores (its NUL aside).
constexpr size_t kMaxNameBytes = kSoupMaxNameBytes - 1;

Kiv::PString PackFile(const std::string& path, ACSRawDataRef& out) {
    Kiv::File file;
    if (!file.Open(path, Kiv::File::kModeRead))
        return CdpFormatError("Unable to read '%s'", path.c_str());
    uint64_t size = file.GetSize();
    if (size > kCdpMaxPackedFileSize)
        return CdpFormatError("'%s' is too large for an archive", path.c_str());
    std::string bytes(static_cast<size_t>(size), '\0');
    if (file.Read(bytes.data(), static_cast<uint32_t>(size)) != size || !file.Eof())
        return CdpFormatError("Unable to read '%s'", path.c_str());
    if (!CdpPackFileData(bytes.data(), static_cast<uint32_t>(size), out))
        return CdpFormatError("'%s' is too large for an archive", path.c_str());
    return EmptyPString();
}

Kiv::PString PackFolder(const std::string& folder, const TDBTagRef& files, int depth) {
    if (depth > kMaxFolderDepth)
        return CdpFormatError("Folders nest too deeply below '%s'", folder.c_str());
    Kiv::File::Find find;
    // An empty folder lists "." at least; a folder that cannot be listed lists nothing.
    if (!find.Open(Kiv::File::Path(folder).AddPath("*").view()))
        return CdpFormatError("Unable to list '%s'", folder.c_str());
    for (; find.IsValid(); find.Next()) {
        const std::string& name = find.GetName();
        if (name == "." || name == ".." || find.IsSymbolicLink()) continue;
        const std::string path = Kiv::File::Path(folder).AddPath(name).str();
        if (name.size() > kMaxNameBytes)
            return CdpFormatError("The name '%s' is too long for an archive", path.c_str());
        if (find.IsDirectory()) {
            TDBTagRef sub = MakeCounted<TDBContainerTag>();
            Kiv::PString error = PackFolder(path, sub, depth + 1);
            if (!error.IsEmpty()) return error;
            files->AddChild(Kiv::PString(name), sub);
        } else if (Kiv::File::IsRegularFile(path)) {
            ACSRawDataRef data;
            Kiv::PString error = PackFile(path, data);
            if (!error.IsEmpty()) return error;
            files->AddChild(Kiv::PString(name), TDBContainerTag::MakeTag(kTagRaw, data));
        }
    }
    return EmptyPString();
}

Kiv::PString PackTree(const TDBTagRef& raw, const TDBTagRef& packed, uint32_t depth) {
    if (depth > kMaxTagTreeDepth)
        return Kiv::PString("Unable to pack the files: folders nest too deeply");
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; raw->GetChildAt(i, name, child); ++i) {
        if (child->GetType() == kTagContainer) {
            TDBTagRef sub = MakeCounted<TDBContainerTag>();
            Kiv::PString error = PackTree(child, sub, depth + 1);
            if (!error.IsEmpty()) return error;
            packed->AddChild(name, sub);
        } else if (child->GetType() == kTagRaw) {
            ACSRawDataRef data;
            if (!CdpPackFileData(child->GetData(), child->GetDataSize(), data))
                return CdpFormatError("Unable to pack the file '%s'", name.c_str());
            packed->AddChild(name, TDBContainerTag::MakeTag(kTagRaw, data));
        } else {
            packed->AddChild(name, child);
        }
    }
    return EmptyPString();
}

}  // namespace

Kiv::PString CdpPackFolder(std::string_view folder, TDBTagRef& files) {
    files = MakeCounted<TDBContainerTag>();
    Kiv::PString error = PackFolder(std::string(folder), files, 0);
    if (!error.IsEmpty()) files.Reset();
    return error;
}

Kiv::PString CdpPackFiles(const TDBTagRef& raw, TDBTagRef& packed) {
    packed = MakeCounted<TDBContainerTag>();
    if (!raw) return EmptyPString();
    Kiv::PString error = PackTree(raw, packed, 1);
    if (!error.IsEmpty()) packed.Reset();
    return error;
}
