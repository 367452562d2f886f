// The stream's typed, string and KUID readers over arbitrary bytes, driven by the bytes
// themselves, through the memory stream and through a window over it.
#include <cstdint>
#include <string>

#include "configdata/kuid.h"
#include "foundation/tbuffer.h"
#include "foundation/tsubfile.h"

namespace {

void Drive(TStream& s, const uint8_t* ops, size_t n) {
    for (size_t i = 0; i < n && !s.AtEnd(); ++i) {
        switch (ops[i] % 8) {
            case 0: {
                uint32_t v;
                s.ReadU32(v, 1);
                break;
            }
            case 1: {
                std::string text;
                s.ReadString(text);
                break;
            }
            case 2: {
                Kiv::PString p;
                s.ReadPString(p);
                break;
            }
            case 3: {
                KUID k;
                s.ReadKUID(k);
                break;
            }
            case 4: {
                uint64_t v;
                s.ReadU64(v);
                break;
            }
            case 5: {
                uint8_t sink[64];
                s.ReadBytes(sink, ops[i] % 64);
                break;
            }
            case 6:
                s.SetPosition(s.Tell() >= 3 ? s.Tell() - 3 : 0);
                break;
            default: {
                bool b;
                s.ReadBool(b);
                break;
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBuffer whole(data, static_cast<uint32_t>(size));
    Drive(whole, data, size);

    TBuffer parent(data, static_cast<uint32_t>(size));
    uint32_t start = size > 0 ? data[0] % (static_cast<uint32_t>(size) + 1) : 0;
    parent.SetPosition(start);
    TSubFile window(&parent, start, static_cast<uint32_t>(size));
    Drive(window, data, size);
    return 0;
}
