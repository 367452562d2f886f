// Test helpers of the script machine: a capture of the script log and hand-made classes and
// functions for tests that need no compiled library.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "script/vm/gs_class.h"
#include "script/vm/vm_statics.h"

namespace GSRuntime::testing {

// Collects script log lines while alive.
class LogCapture {
public:
    LogCapture() {
        lines().clear();
        SetScriptLogHook(&Hook);
    }
    ~LogCapture() { SetScriptLogHook(nullptr); }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> l;
        return l;
    }
    bool Contains(const std::string& text) const {
        for (const auto& l : lines())
            if (l == text) return true;
        return false;
    }

private:
    static void Hook(const char* format, ...) {
        char buffer[4096];
        va_list ap;
        va_start(ap, format);
        vsnprintf(buffer, sizeof buffer, format, ap);
        va_end(ap);
        lines().emplace_back(buffer);
    }
};

// A class of `words` member words whose listed words hold references; the part bookkeeping
// words 0 and 1 are set by the initialisers as a compiled class's are.
inline std::unique_ptr<GSClass> MakeClass(const char* name, uint32_t words,
                                          std::vector<uint32_t> referenceWords = {}) {
    auto c = std::make_unique<GSClass>();
    c->name = Kiv::PString(name);
    c->memberWordCount = words;
    c->ownReferenceMembers = std::move(referenceWords);
    c->initialisers.push_back({1, 1, 0});
    return c;
}

// A function with the frame words of P parameter slots, A locals, B temporaries and a maximum
// depth D, registered for frame records.
inline std::unique_ptr<GSFunction> MakeFunction(const char* name, uint32_t p, uint32_t a,
                                                uint32_t b, uint32_t d) {
    auto f = std::make_unique<GSFunction>();
    f->name = Kiv::PString(name);
    f->topAdvance = a + b + 4;
    f->localsBase = 1 - static_cast<int32_t>(p);
    f->frameRecord = static_cast<int32_t>(a + b + 1);
    f->needed = d + a + b + 4;
    f->params = p;
    f->locals = a;
    f->temps = b;
    f->handle = RegisterFunctionHandle(f.get());
    return f;
}

}  // namespace GSRuntime::testing
