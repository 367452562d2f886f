// Shared by the soup fuzz targets: walking a whole tree without recursion, touching every
// byte a node hands out, and writing a tree to bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "foundation/tbuffer.h"

namespace soupfuzz {

// Visits the nodes below the root, at most `limit` of them (an edited tree may hold itself);
// the sum of all bytes keeps the reads from being dropped.
inline uint32_t Walk(const TDBTagRef& root, uint32_t limit = 1u << 20) {
    uint32_t sum = 0;
    std::vector<TDBTagRef> pending;
    if (root) pending.push_back(root);
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t visited = 0; !pending.empty() && visited < limit; ++visited) {
        TDBTagRef node = std::move(pending.back());
        pending.pop_back();
        auto data = static_cast<const uint8_t*>(node->GetData());
        for (uint32_t i = 0; data != nullptr && i < node->GetDataSize(); ++i)
            sum += data[i];
        uint32_t count = node->GetChildCount();
        for (uint32_t i = 0; i < count; ++i) {
            if (!node->GetChildAt(i, name, child)) std::abort();  // a counted child is there
            sum += static_cast<uint32_t>(name.Length());
            pending.push_back(child);
        }
    }
    return sum;
}

// The written bytes; `ok` is the writer's result.
inline std::string WriteBytes(const TDBTagRef& root, bool& ok) {
    TBuffer stream;
    ok = WriteTagTreeBinary(root, stream);
    return std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetDataLength());
}

inline TDBTagRef ReadBytes(const std::string& bytes) {
    TBuffer stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    TDBTagRef root;
    ReadTagTreeBinary(stream, root);
    return root;
}

}  // namespace soupfuzz
