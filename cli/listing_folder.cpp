#include "cli/listing_folder.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "archive/listing_sql.h"
#include "assetdb/data_folders.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/path.h"

namespace {

constexpr const char* kListingOutputName = "Halvex Asset Parse";

// A batch is written once it holds more than this many records.
constexpr uint32_t kBatchRecords = 1000;
// Deeper trees are not walked: no asset tree nests so deep, a loop of bind mounts would.
constexpr int kMaxWalkDepth = 64;

bool IsRealFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRealFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The entries of a folder by name, in name order; none when it cannot be read.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec))
        out.push_back(it->path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

void WriteBatch(FolderListing& run, ResultsLog& log) {
    if (!WriteListingSQL(run.soup, run.batch, &log)) run.failed = true;
    ++run.batch;
    run.soup = TDBTagRef();
    run.counter = 0;
}

void Walk(const std::string& folder, FolderListing& run, const ListOneAsset& one, ResultsLog& log,
          int depth) {
    if (depth > kMaxWalkDepth) return;
    for (const std::string& name : Names(folder)) {
        if (run.counter > kBatchRecords) WriteBatch(run, log);
        if (name.empty() || name.front() == '.') continue;
        std::string path = folder + "/" + name;
        if (!IsRealFolder(path)) continue;
        if (IsRealFile(path + "/config.chump")) {
            one(path + "/config.chump", run);
        } else if (IsRealFile(path + "/config.txt")) {
            one(path + "/config.txt", run);
        } else {
            Walk(path, run, one, log, depth + 1);
        }
    }
}

}  // namespace

void ListFolderAssets(const std::string& folder, FolderListing& run, const ListOneAsset& one,
                      ResultsLog& log) {
    Walk(folder, run, one, log, 0);
}

void FinishFolderListing(FolderListing& run, ResultsLog& log) {
    if (run.counter > 0) WriteBatch(run, log);
}

std::string ListingOutputFolder() {
    return std::string(GetDataRootPath().view()) + "/" + kListingOutputName;
}
