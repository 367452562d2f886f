#include "script/natives/native_frame.h"

#include <cstdarg>
#include <cstdio>

#include "script/vm/gs_string_array.h"
#include "script/vm/gs_thread.h"

namespace ScriptNatives {

namespace {

GSRuntime::GSClass* g_slots[kClassSlotCount] = {};

}  // namespace

GSRuntime::GSClass* GetClassSlot(ClassSlot slot) {
    return g_slots[slot];
}

void SetClassSlot(ClassSlot slot, GSRuntime::GSClass* cls) {
    g_slots[slot] = cls;
}

void RaiseNativeError(const char* format, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    GSRuntime::GSThread::RaiseError(GSRuntime::CurrentThread(), text, false);
}

void PushNewObject(GSRuntime::GSStack& frame, GSRuntime::GSObject* object, ClassSlot slot) {
    if (object != nullptr && object->instance == 0) {
        delete object;
        object = nullptr;
    }
    frame.PushObjectAs(object, GetClassSlot(slot));
}

bool GetNativeStringParam(GSRuntime::GSStack& frame, uint32_t slot, std::string& out,
                          bool emptyAllowed) {
    const GSRuntime::Ref r = frame.GetWord(slot);
    auto* s = r != 0 ? dynamic_cast<GSRuntime::GSString*>(GSRuntime::GetOwner(r)) : nullptr;
    out.clear();
    if (s != nullptr && !s->text.empty()) {
        out = s->text;
        return true;
    }
    if (emptyAllowed) return true;
    RaiseNativeError(s != nullptr ? "empty string at parameter %d" : "null string at parameter %d",
                     static_cast<int>(slot));
    return false;
}

bool GetNativeStringParam(GSRuntime::GSStack& frame, uint32_t slot, Kiv::PString& out,
                          bool emptyAllowed) {
    std::string text;
    const bool ok = GetNativeStringParam(frame, slot, text, emptyAllowed);
    out = Kiv::PString(text);
    return ok;
}

}  // namespace ScriptNatives
