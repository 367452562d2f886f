// The native plug-in the tests load: exports only its entry point, whose library object has
// "Init" (counted, so a test sees that it ran once), "InitCount" (that count as text) and
// "Echo" (its string arguments joined by '|', objects written as "<class>"). Built also without
// the entry (HNI_TEST_NO_ENTRY) and with an entry that refuses (HNI_TEST_REFUSES).
#include <string>

#include "platform/nativeinterface/hni.h"

namespace {

int gInits = 0;

HNIHandle Init(HNIHandle, HNIHandle, void*) {
    ++gInits;
    return HNIAllocString("ok");
}

HNIHandle InitCount(HNIHandle, HNIHandle, void*) {
    return HNIAllocString(std::to_string(gInits).c_str());
}

HNIHandle Echo(HNIHandle, HNIHandle args, void*) {
    std::string out;
    const int32_t n = HNIGetArraySize(args);
    for (int32_t i = 0; i < n; ++i) {
        const HNIHandle e = HNIGetArrayElement(args, static_cast<uint32_t>(i));
        if (i) out += '|';
        if (const char* text = HNIGetStringText(e)) {
            out += text;
        } else if (const char* cls = HNIGetObjectClass(e)) {
            out += std::string("<") + cls + ">";
        } else if (HNIGetArraySize(e) >= 0) {
            out += "[" + std::to_string(HNIGetArraySize(e)) + "]";
        }
    }
    return HNIAllocString(out.c_str());
}

const HNILibraryEntry kFunctions[] = {{"Init", Init}, {"InitCount", InitCount}, {"Echo", Echo}};

}  // namespace

#ifndef HNI_TEST_NO_ENTRY
HNI_EXPORT HNIHandle HNIEntryPoint(HNIHandle host) {
#ifdef HNI_TEST_REFUSES
    (void)host;
    return HNI_NONE;
#else
    (void)host;
    return HNIAllocLibrary("HNITestLibrary", kFunctions, 3, nullptr, nullptr);
#endif
}
#else
// Something to export so the library is not empty.
HNI_EXPORT int HNITestNothing(void) {
    return gInits;
}
#endif
