// The file layer's path substitutions: one process-wide table of names and their folders.
#include <map>
#include <mutex>
#include <string>

#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/text.h"

namespace Kiv {

namespace {

struct LessIgnoringCase {
    bool operator()(const std::string& a, const std::string& b) const {
        return ToLowerAscii(a) < ToLowerAscii(b);
    }
};

struct SubstTable {
    std::mutex lock;
    std::map<std::string, std::string, LessIgnoringCase> folders;
};

// Never destroyed: files' static objects may resolve paths during exit.
SubstTable& Table() {
    static SubstTable* table = new SubstTable;
    return *table;
}

}  // namespace

bool File::Subst(std::string_view name, std::string_view folder) {
    if (name.empty()) return false;
    SubstTable& t = Table();
    std::lock_guard<std::mutex> hold(t.lock);
    if (folder.empty())
        t.folders.erase(std::string(name));
    else
        t.folders[std::string(name)] = std::string(folder);
    return true;
}

std::string File::ResolveSubst(std::string_view path) {
    size_t end = 0;
    while (end < path.size() && !Path::IsSeparator(path[end]))
        ++end;
    SubstTable& t = Table();
    std::lock_guard<std::mutex> hold(t.lock);
    auto it = t.folders.find(std::string(path.substr(0, end)));
    if (end == 0 || it == t.folders.end()) return std::string(path);
    Path resolved(it->second);
    if (end < path.size()) resolved.AddPath(path.substr(end + 1));
    return resolved.str();
}

}  // namespace Kiv
