// Test support for the asset store: asset folders with a binary config naming their KUID, and
// a summary of a folder's files to compare whole folders by.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "configdata/kuid.h"
#include "configdata/soup_file.h"
#include "configdata/tdb_container_tag.h"

namespace storetest {

// Makes `folder` with a "config.chump" whose "kuid" and "username" tags are given, and the
// extra files (name -> contents).
inline void MakeAssetFolder(const std::string& folder, const KUID& kuid, const std::string& name,
                            const std::map<std::string, std::string>& files = {}) {
    std::filesystem::create_directories(folder);
    TDBTagRef root = TDBContainerTag::MakeTag(kTagContainer, {});
    uint8_t packed[8];
    KUID::PackWords(kuid, packed);
    root->AddChild(Kiv::PString("kuid"), root->CreateTag(kTagKUID, MakeRawData(packed, 8)));
    root->AddChild(Kiv::PString("username"),
                   root->CreateTag(kTagText, MakeRawData(name.c_str(), name.size() + 1)));
    ASSERT_TRUE(WriteTagTreeBinaryFile(root, folder + "/config.chump"));
    for (const auto& [file, body] : files) {
        std::filesystem::path p = std::filesystem::path(folder) / file;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << body;
    }
}

// Every regular file under the folder (relative name -> contents), config included; empty
// when the folder does not exist.
inline std::map<std::string, std::string> FolderFiles(const std::string& folder) {
    std::map<std::string, std::string> out;
    if (!std::filesystem::is_directory(folder)) return out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        out[std::filesystem::relative(e.path(), folder).string()] =
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    return out;
}

// The entries of a folder by name (empty when it does not exist).
inline std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> out;
    if (!std::filesystem::is_directory(folder)) return out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace storetest
