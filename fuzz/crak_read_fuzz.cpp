// The command host's archive file read from hostile bytes: the header checked, every record
// bounded by the file, each soup read inside its own record. The archive word is taken from
// the bytes themselves so that the records are reached.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/crak_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    auto u32 = [&](size_t at) {
        return size >= at + 4 ? data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                    static_cast<uint32_t>(data[at + 3]) << 24
                              : 0u;
    };
    // Version 0 files have no version float, so their word comes four bytes earlier.
    const uint32_t word = u32(size >= 8 && u32(4) == 0 ? 12 : 16);
    CrakReader reader;
    if (reader.OpenBytes(bytes, word) != CrakStatus::kOk) return 0;
    CrakRecord record;
    uint32_t last = 0;
    while (reader.Next(record)) {
        // Records only move forward and stay inside the file.
        if (record.end <= record.start || record.end > size || record.start < last) std::abort();
        last = record.end;
        reader.ReadData(record);
    }
    return 0;
}
