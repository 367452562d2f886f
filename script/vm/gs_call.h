// Calling script methods from native code by their signature ("$void@T::F(Soup)"): the method
// found in the object's class (or the first base that declares it), the override the object's
// own class carries run to completion on the native registry's static thread, or, for a thread
// function of a game object, started as a new thread of that object.
#pragma once

#include <cstdint>
#include <string_view>

#include "script/vm/gs_object.h"

namespace GSRuntime {

class GSClass;
class GSContext;
class GSFunction;

struct MethodLookup {
    const GSClass* declaring = nullptr;  // the class whose records hold the signature
    int32_t part = 0;                    // member word of that class's part
    uint32_t slot = 0;                   // the method's entry in that part's method table
    GSFunction* function = nullptr;      // as declared
};

// The class's own records first, then each base's own records in base-table order. With
// `loose`, only the bases are searched and only the text from the first "::" on is compared.
bool FindFunctionBySignature(const GSClass* cls, std::string_view signature, MethodLookup& out,
                             bool loose = false);

// True when the method ran to completion (or was started as a thread). `args` are the words
// after `this`; `result` receives the returned word of a method that returns one. Every failure
// leaves the static thread as it was.
bool CallMethodBySignature(GSContext* context, const GSClass* cls, Ref instance,
                           std::string_view signature, const uint32_t* args = nullptr,
                           uint32_t argCount = 0, uint32_t* result = nullptr);

}  // namespace GSRuntime
