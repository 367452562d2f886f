#include "configdata/soup_file.h"

#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "foundation/file_utils.h"
#include "foundation/tfile.h"

bool ReadTagTreeBinaryFile(std::string_view path, TDBTagRef& out) {
    out.Reset();
    TFile file;
    if (!file.Open(path, Kiv::File::kModeRead)) return false;
    return ReadTagTreeBinary(file, out);
}

bool WriteTagTreeBinaryFile(const TDBTagRef& root, std::string_view path) {
    return WriteFileReplacing(path,
                              [&](TStream& stream) { return WriteTagTreeBinary(root, stream); });
}
