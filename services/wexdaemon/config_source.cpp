#include "services/wexdaemon/config_source.h"

#include <sys/stat.h>

#include <cstring>

#include "configdata/config_file.h"
#include "platform/kiv/base/file.h"

namespace wexd {

namespace {

constexpr const char* kTextConfig = "config.txt";
constexpr const char* kBinaryConfig = "config.chump";

// The entry of that name in the folder, its letter case as found on disk.
std::string FindEntry(const std::string& folder, const char* name) {
    std::string path = Kiv::File::ResolveCase(folder + "/" + name);
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return path;
}

int64_t StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

// The file ReadAssetConfig reads, and whether it is the text form.
std::string ChooseConfig(const std::string& folder, bool& text) {
    std::string txt = FindEntry(folder, kTextConfig);
    text = !txt.empty();
    return text ? txt : FindEntry(folder, kBinaryConfig);
}

}  // namespace

bool ReadAssetConfig(const std::string& folder, AssetConfig& out, std::string& error) {
    out = AssetConfig();
    bool text = false;
    std::string file = ChooseConfig(folder, text);
    if (file.empty()) {
        error = "no config.txt or config.chump in " + folder;
        return false;
    }
    if (!ReadConfigFile({}, file, out.root, text ? "txt" : "chump", &out.warnings) || !out.root) {
        error = "unreadable config " + file;
        return false;
    }
    out.file = file;
    out.stamp = StampOf(file);
    return true;
}

int64_t AssetConfigStamp(const std::string& folder) {
    bool text = false;
    std::string file = ChooseConfig(folder, text);
    return file.empty() ? 0 : StampOf(file);
}

KUID ConfigKUID(const TDBTagRef& root) {
    if (!root) return KUID::kNull;
    static const Kiv::PString* kuidTag = new Kiv::PString("kuid");
    TDBTagRef tag = root->FindChild(*kuidTag);
    if (!tag) return KUID::kNull;
    if (tag->GetType() == kTagKUID && tag->GetDataSize() == 8)
        return KUID::UnpackWords(tag->GetData());
    // A text reader may leave the tag as the text it was written in.
    if (tag->GetType() == kTagText) {
        const char* data = static_cast<const char*>(tag->GetData());
        return KUID::FromText(std::string_view(data, strnlen(data, tag->GetDataSize())), false);
    }
    return KUID::kNull;
}

std::string ConfigUserName(const TDBTagRef& root) {
    if (!root) return {};
    static const Kiv::PString* nameTag = new Kiv::PString("username");
    TDBTagRef tag = root->FindChild(*nameTag);
    if (!tag || tag->GetType() != kTagText) return {};
    const char* data = static_cast<const char*>(tag->GetData());
    return std::string(data, strnlen(data, tag->GetDataSize()));
}

}  // namespace wexd
