// Test support for the stand-in content service: archives of small assets written where a test
// wants them, as the service's folder holds them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/cdp_pack.h"
#include "archive/cdp_write.h"
#include "configdata/tdb_container_tag.h"

namespace vendrixtest {

struct Listed {
    Listed(KUID k, std::string n, std::vector<KUID> deps = {}, std::string cats = "BD",
           std::map<std::string, std::string> f = {})
        : kuid(k),
          name(std::move(n)),
          dependencies(std::move(deps)),
          categories(std::move(cats)),
          files(std::move(f)) {}
    KUID kuid;
    std::string name;
    std::vector<KUID> dependencies;
    std::string categories = "BD";
    std::map<std::string, std::string> files;  // name -> bytes
};

// Writes an archive of the assets at `path` (its folders made first).
inline void WriteArchive(const std::string& path, const std::vector<Listed>& assets) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    CdpArchive archive;
    for (const Listed& a : assets) {
        TDBTagRef entry = CdpNewAssetEntry();
        TDBContainerTag::SetKUID(entry, Kiv::PString("kuid"), a.kuid);
        TDBContainerTag::SetString(entry, Kiv::PString("kind"), Kiv::PString("scenery"));
        TDBContainerTag::SetString(entry, Kiv::PString("username"), Kiv::PString(a.name));
        TDBContainerTag::SetString(entry, Kiv::PString("category-class"),
                                   Kiv::PString(a.categories));
        TDBContainerTag::SetFloat(entry, Kiv::PString("halvex-build"), 3.5f);
        if (!a.dependencies.empty()) {
            TDBTagRef table;
            for (size_t i = 0; i < a.dependencies.size(); ++i)
                TDBContainerTag::SetKUID(table, Kiv::PString(std::to_string(i)), a.dependencies[i]);
            TDBContainerTag::SetContainer(entry, Kiv::PString("kuid-table"), table);
        }
        std::filesystem::path folder =
            std::filesystem::path(path).parent_path() / (".files-" + a.kuid.ToColonString().str());
        std::filesystem::create_directories(folder);
        for (const auto& [name, bytes] : a.files)
            std::ofstream(folder / name, std::ios::binary) << bytes;
        TDBTagRef files;
        ASSERT_TRUE(CdpPackFolder(folder.string(), files).IsEmpty());
        std::filesystem::remove_all(folder);
        TDBContainerTag::SetContainer(entry, Kiv::PString("files"), files);
        ASSERT_TRUE(CdpAddAsset(archive, entry).IsEmpty()) << a.kuid.ToString().c_str();
    }
    ASSERT_TRUE(CdpWrite(archive, path).IsEmpty()) << path;
}

}  // namespace vendrixtest
