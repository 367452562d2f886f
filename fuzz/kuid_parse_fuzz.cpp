// The KUID text parser, in both modes, on arbitrary bytes; a parsed KUID must print and parse
// back to itself (non-strict: the strict forms refuse negative content ids by design).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "configdata/kuid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (bool strict : {false, true}) {
        KUID k;
        k.Parse(text.c_str(), strict);
        if (k.IsNull()) continue;
        KUID again = KUID::FromText(k.ToString().view(), false);
        if (!(again == k)) std::abort();
        (void)k.ToDisplayString();
        (void)k.ToColonString();
    }
    return 0;
}
