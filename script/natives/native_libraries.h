// The one-time registration of the native script classes: every native of every class is bound
// in the native registry, then the shipped libraries (bin/libraries, the folder "libraries"
// beside the program, which is the working directory) are made known to the script machine and
// each native class finds its script class there (the class slots of native_frame.h).
//
// The natives are bound before any library is loaded, so a library that a class library
// includes finds every binding when it links; they are bound once per process, so a call after
// a failed one binds nothing again. The call succeeds only when every class is found and the
// classes whose member words the natives write (Message, LinkedData) have those members of the
// right kinds; only then is registration done for the process and later calls return true at
// once.
#pragma once

#include <string_view>

#include "script/natives/native_frame.h"

namespace GSRuntime {
class GSClass;
class GSMachine;
class GSNativeRegistry;
}  // namespace GSRuntime

namespace ScriptNatives {

// The binders of the classes whose natives live above this library (the script world): the
// program installs them at start-up, before registration; a binder left null binds its
// class's stand-ins, which raise "<Class>.<Method>> not available in this build".
using NativeTableBinder = void (*)(GSRuntime::GSNativeRegistry& registry);
struct WorldNativeBinders {
    NativeTableBinder asset = nullptr;
    NativeTableBinder halvexGameObject = nullptr;
    NativeTableBinder library = nullptr;
    NativeTableBinder scriptBase = nullptr;
    NativeTableBinder securityToken = nullptr;
};
void SetWorldNativeBinders(const WorldNativeBinders& binders);

// On the program's machine, from "libraries" (relative to the program's folder).
bool RegisterNativeLibraries();
// The same on `machine`, from `folder`.
bool RegisterNativeLibraries(GSRuntime::GSMachine& machine, std::string_view folder);

// Empties the slot, then fills it with the class `className` of the library `library` (letter
// case ignored); false when either is not found.
bool RegisterNativeClass(GSRuntime::GSMachine& machine, ClassSlot slot, std::string_view library,
                         std::string_view className);

// What a native expects of a member word: a string, an int or an object reference.
enum class MemberKind { kString, kInt, kObject };
struct MemberWord {
    unsigned word;
    MemberKind kind;
};

// True when `cls` has a member of its own at each given word, of the given kind. Otherwise
// writes "RegisterNativeLibraries> class %s lacks member word %u of the kind its natives use"
// to the script log and gives false.
bool CheckMemberWords(const GSRuntime::GSClass* cls, const char* className, const MemberWord* words,
                      unsigned count);

}  // namespace ScriptNatives
