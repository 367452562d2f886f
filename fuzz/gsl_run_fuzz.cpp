// Runs what the machine accepts: every class of a library that loads is made in a fresh
// context and each of its script functions without arguments is called. Whatever the code
// does, the run ends with a result code (a failure, a time-out) and the context's teardown
// frees what it made.
#include <cstdint>
#include <vector>

#include "script/vm/gs_context.h"
#include "script/vm/gs_library.h"
#include "script/vm/gs_machine.h"
#include "script/vm/gs_thread.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    using namespace GSRuntime;
    GSMachine machine;
    GSLibrary library;
    if (machine.LoadImage(library, std::vector<uint8_t>(data, data + size)) != kLoadOk) return 0;
    int runs = 0;
    for (const auto& cls : library.classes) {
        GSContext context;
        auto* object = new GSObject();
        if (!object->Instantiate(cls.get(), &context)) {
            delete object;
            continue;
        }
        for (const auto& f : cls->functions) {
            if (f.get() == cls->constructor || f->IsNative() || f->params != 1) continue;
            if (++runs > 8) break;  // a time-out costs 16 MiB of code bytes
            uint32_t word = 0;
            int32_t rc = RunOnStaticThread(&context.StaticThread(), f.get(), object->instance,
                                           nullptr, 0, &word);
            if (rc == ER_Done && f->returnsReference) ReleaseReference(word);
        }
        ReleaseReference(object->instance);
    }
    return 0;
}
