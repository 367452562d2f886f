// The ".kin" animation reader over arbitrary bytes: no crash, leak or read outside the bytes;
// what it accepts writes out in a form that reads back to the same bones and keys.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/kiv/geom/kin_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Kiv::KinAnimation animation;
    if (!animation.Read(std::span<const uint8_t>(data, size))) return 0;
    const std::vector<uint8_t> written = animation.Write();
    Kiv::KinAnimation again;
    if (!again.Read(written) || again.bones.size() != animation.bones.size()) std::abort();
    for (size_t i = 0; i < again.bones.size(); ++i)
        if (again.bones[i].name != animation.bones[i].name ||
            again.bones[i].keys.size() != animation.bones[i].keys.size())
            std::abort();
    if (again.Write() != written) std::abort();
    return 0;
}
