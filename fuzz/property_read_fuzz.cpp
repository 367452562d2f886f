// Property records over arbitrary bytes: one after another until the data or the stream's
// patience runs out, each one written back and read again when it made a property.
#include <cstdint>

#include "configdata/property.h"
#include "foundation/tbuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TBuffer stream(data, static_cast<uint32_t>(size));
    while (!stream.AtEnd() && !stream.HasError()) {
        HalvexPropertyRef property;
        ReadHalvexProperty(stream, property);
        // A name of 65535 bytes without its NUL reads but cannot be written back whole.
        if (property.IsEmpty() || property->GetName().Length() >= TStream::kMaxStringLength)
            continue;

        TBuffer copy;
        WriteHalvexProperty(copy, property);
        copy.Rewind();
        HalvexPropertyRef back;
        ReadHalvexProperty(copy, back);
        if (back.IsEmpty() || back->GetName() != property->GetName() ||
            back.GetText() != property.GetText())
            __builtin_trap();
    }
    return 0;
}
