#include "configdata/soup_file.h"

#include <unistd.h>

#include <string>

#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "foundation/tfile.h"

namespace {
constexpr std::string_view kTwinSuffix = ".partial";
}  // namespace

bool ReadTagTreeBinaryFile(std::string_view path, TDBTagRef& out) {
    out.Reset();
    TFile file;
    if (!file.Open(path, Kiv::File::kModeRead)) return false;
    return ReadTagTreeBinary(file, out);
}

bool WriteTagTreeBinaryFile(const TDBTagRef& root, std::string_view path) {
    std::string twin = std::string(path) + std::string(kTwinSuffix);
    bool written;
    {
        TFile file;
        written = file.Open(twin, Kiv::File::kModeCreate) && WriteTagTreeBinary(root, file) &&
                  !file.HasError() && ::fsync(file.GetFile()->Handle()) == 0;
    }
    if (written && Kiv::File::Rename(twin, path)) return true;
    Kiv::File::Delete(twin);
    return false;
}
