// The upgrade followed by the check over arbitrary bytes: the bytes are parsed as a
// configuration text, stamped with an old build unless they carry one, upgraded and checked
// against definitions that list a few top-level tags. No crash, leak or hang, no container or
// tag outliving its check, and nothing written: the upgrade works on the tree in memory only.
#include <dirent.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "assetdb/category_codes.h"
#include "configdata/config_text.h"
#include "configdata/tdb_container_tag.h"
#include "validation/config_upgrade.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/tag.h"

namespace {

constexpr const char* kKinds = R"(
traincar
{
  top-level "1"
  subpossibilities
  {
    kind { kind "value" type "string" }
    halvex-build { kind "value" type "float" }
    username { kind "value" type "string" }
    description { kind "value" type "string" }
    asset-name { kind "value" type "string" }
    bogeys { kind "element" element-type "bogeys" }
    mesh-table { kind "element" element-type "meshes" }
  }
}
scenery
{
  top-level "1"
  subpossibilities
  {
    kind { kind "value" type "string" }
    category-era { kind "value" type "string" }
  }
}
bogeys { tagarray { type "string" } }
meshes { tagarray { type "string" } }
)";

std::string gFolder;

size_t CountEntries(const std::string& path) {
    size_t n = 0;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (::readdir(dir) != nullptr)
            ++n;
        ::closedir(dir);
    }
    return n;
}

bool Setup() {
    char folder[] = "/tmp/halvex-upgrade-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) std::abort();
    gFolder = folder;
    const std::string data = gFolder + "/DUVData/";
    if (std::system(("mkdir -p '" + data + "lists'").c_str()) != 0) std::abort();
    FILE* f = std::fopen((data + "kind.txt").c_str(), "wb");
    if (f == nullptr) std::abort();
    std::fwrite(kKinds, 1, std::string_view(kKinds).size(), f);
    std::fclose(f);
    DUVLib::AssetFolderServices services;
    services.categoryClass = ParseCategoryClass;
    DUVLib::SetAssetFolderServices(services);
    DUVLib::ErrorHandler::Startup();
    DUVLib::DataManager::Startup(data);
    DUVLib::DataManager::Instance().SetValidationAssetFolder(Kiv::PString("local"), gFolder);
    if (!DUVLib::DataManager::Instance().LoadTemplates()) std::abort();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    static const size_t entries = CountEntries(gFolder) + CountEntries(gFolder + "/DUVData");
    TDBTagRef soup;
    ParseTagTreeText(soup, std::string_view(reinterpret_cast<const char*>(data), size), false);
    // The check stores the build (an old one when the text has none) and upgrades first.
    DUVLib::ErrorHandler::Instance()->Clear();
    {
        DUVLib::Container root;
        root.CheckAsset(soup);
    }
    if (DUVLib::Container::LiveCount() != 0 || DUVLib::Tag::LiveCount() != 0) std::abort();
    // The upgrade once more on what it already upgraded, at the oldest build.
    DUVLib::DataManager::Instance().SetBuild(1.301f);
    UpgradeConfig(soup);
    std::string text;
    if (!soup.IsEmpty() && !AppendTagTreeText(soup, text)) std::abort();
    if (CountEntries(gFolder) + CountEntries(gFolder + "/DUVData") != entries) std::abort();
    DUVLib::ErrorHandler::Instance()->Clear();
    return 0;
}
