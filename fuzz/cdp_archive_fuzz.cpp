// Hostile CDP archives: any bytes read as an archive, checked as opening checks them, and each
// asset (the first few) checksummed and extracted into a scratch folder, with the default
// refusal of local file references. Nothing may be written outside the scratch folder, every
// extraction must end, and an archive that opened must build again into an archive that opens.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/cdp_archive.h"
#include "archive/cdp_dsid.h"
#include "archive/cdp_extract.h"
#include "archive/cdp_write.h"
#include "foundation/tbuffer.h"

namespace {

constexpr uint32_t kAssetsExtracted = 4;

namespace fs = std::filesystem;

// A scratch folder for the whole run, with a sibling that nothing may touch.
struct Scratch {
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "cdp-fuzz-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        root = tmpl;
        fs::create_directories(root / "dest");
        fs::create_directories(root / "outside");
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path root;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    if (size > (1u << 22)) return 0;
    TBuffer stream(data, static_cast<uint32_t>(size));
    CdpArchive archive;
    if (!CdpReadFromStream(archive, stream)) return 0;
    const bool opens = CdpCheckShape(archive).IsEmpty();
    if (!opens) {
        if (archive.root) std::abort();
        return 0;
    }

    const uint32_t count = CdpAssetCount(archive);
    for (uint32_t i = 0; i < count && i < kAssetsExtracted; ++i) {
        TDBTagRef asset = CdpGetAsset(archive, i);
        CdpCheckDsid(asset);
        CdpFindAsset(archive, CdpAssetKUID(asset));
        const fs::path dest = scratch.root / "dest";
        CdpExtractFolder(CdpAssetFiles(asset), dest.string(), "asset", CdpAssetCompression(asset));
        std::error_code ec;
        fs::remove_all(dest / "asset", ec);
        if (!fs::is_empty(scratch.root / "outside") || !fs::is_empty(dest)) std::abort();
        if (fs::exists(scratch.root.parent_path() / "asset")) std::abort();
    }

    // What opened builds again: the assets with valid, distinct KUIDs, in order.
    CdpArchive rebuilt;
    for (uint32_t i = 0; i < count && i < kAssetsExtracted; ++i)
        CdpAddAsset(rebuilt, CdpGetAsset(archive, i));
    if (CdpBuild(rebuilt).IsEmpty() && !CdpCheckShape(rebuilt).IsEmpty()) std::abort();
    return 0;
}
