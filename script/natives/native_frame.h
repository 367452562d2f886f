// The frame the native script classes share: the class slots (one process-wide script class per
// native class, filled at registration), the fetchers that take a native's parameters off the
// argument frame and raise the standard parameter errors, and raising a native's own errors.
//
// Parameter n of a script method is word n of the frame. A fetcher that fails has raised its
// error on the current script thread (which then ends with "ER_Exception"); the native returns
// at once without a result.
#pragma once

#include <cstdint>
#include <string>

#include "platform/kiv/base/pstring.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace ScriptNatives {

enum ClassSlot {
    kGameObject,
    kKUIDList,
    kImage,
    kStringTable,
    kHTMLBuffer,
    kSoup,
    kOnlineGroup,
    kAsset,
    kSecurityToken,
    kHalvexGameObject,
    kLibrary,
    kConstructorsBase,
    kKUID,
    kWorldCoordinate,
    kOrientation,
    kOnlineAccess,
    kClassSlotCount,
};

GSRuntime::GSClass* GetClassSlot(ClassSlot slot);
void SetClassSlot(ClassSlot slot, GSRuntime::GSClass* cls);

// printf-style; the text goes to the current thread's RaiseError, which ends the thread.
void RaiseNativeError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Pushes an object a native has just made, its one reference handed to the stack, as its part
// of the slot's class; an object that got no instance (no class, no memory) is deleted and 0
// pushed, as is a null object.
void PushNewObject(GSRuntime::GSStack& frame, GSRuntime::GSObject* object, ClassSlot slot);

// The native object of class C behind a reference parameter. A reference to another class
// raises "incorrect parameter type at parameter %d"; no reference, where nulls are not allowed,
// raises "null object at parameter %d".
template <typename C>
bool GetNativeObjectParam(GSRuntime::GSStack& frame, uint32_t slot, C*& out, bool nullAllowed) {
    const GSRuntime::Ref r = frame.GetWord(slot);
    out = nullptr;
    if (r != 0) {
        out = dynamic_cast<C*>(GSRuntime::GetOwner(r));
        if (out == nullptr) {
            RaiseNativeError("incorrect parameter type at parameter %d", static_cast<int>(slot));
            return false;
        }
        return true;
    }
    if (!nullAllowed) {
        RaiseNativeError("null object at parameter %d", static_cast<int>(slot));
        return false;
    }
    return true;
}

// The text of a string parameter: an empty text where empties are not allowed raises "empty
// string at parameter %d"; a null (or a non-string) "null string at parameter %d"; where empties
// are allowed both read as the empty string.
bool GetNativeStringParam(GSRuntime::GSStack& frame, uint32_t slot, std::string& out,
                          bool emptyAllowed);
bool GetNativeStringParam(GSRuntime::GSStack& frame, uint32_t slot, Kiv::PString& out,
                          bool emptyAllowed);

}  // namespace ScriptNatives
