#include "script/natives/gso_kuid_list.h"

#include "script/natives/gso_kuid.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_context.h"

namespace ScriptNatives {

using GSRuntime::GSStack;

namespace {

void CopyList(const KUIDBlockList& from, KUIDBlockList& to) {
    for (auto it = from.Begin(); !it.IsEnd(); it.Next())
        to.Append(*it);
}

}  // namespace

GSOKUIDList::GSOKUIDList(GSRuntime::GSContext* context) {
    if (GSRuntime::GSClass* cls = GetClassSlot(kKUIDList)) Instantiate(cls, context);
}

GSOKUIDList::GSOKUIDList(GSRuntime::GSContext* context, const KUIDBlockList& source)
    : locked_(true) {
    CopyList(source, list_);
    if (GSRuntime::GSClass* cls = GetClassSlot(kKUIDList)) Instantiate(cls, context);
}

bool GSOKUIDList::RefusedAsLocked(const char* native) const {
    if (!locked_) return false;
    RaiseNativeError("%s> list is locked", native);
    return true;
}

void GSOKUIDList::CountKUIDs(GSStack& frame) {
    frame.Push(list_.Count());
}

void GSOKUIDList::AddKUID(GSStack& frame) {
    GSOKUID* kuid = nullptr;
    if (!GetNativeObjectParam(frame, 1, kuid, false) || RefusedAsLocked("KUIDList.AddKUID")) return;
    if (list_.Find(*kuid).IsEnd()) list_.Append(*kuid);
}

void GSOKUIDList::RemoveKUID(GSStack& frame) {
    GSOKUID* kuid = nullptr;
    if (!GetNativeObjectParam(frame, 1, kuid, false) || RefusedAsLocked("KUIDList.RemoveKUID"))
        return;
    list_.Erase(list_.Find(*kuid));
}

void GSOKUIDList::HasKUID(GSStack& frame) {
    GSOKUID* kuid = nullptr;
    if (!GetNativeObjectParam(frame, 1, kuid, false)) return;
    frame.Push(list_.Find(*kuid).IsEnd() ? 0u : 1u);
}

void GSOKUIDList::GetIndexedKUID(GSStack& frame) {
    const uint32_t index = frame.GetWord(1);  // unsigned: a negative index is out of range
    if (index >= list_.Count()) {
        RaiseNativeError("KUIDList.GetIndexedKUID> index out of range");
        return;
    }
    auto it = list_.Begin();
    it.Advance(index);
    GSOKUID::Push(frame, context != nullptr ? context : GSRuntime::CurrentContext(), *it);
}

void GSOKUIDList::Copy(GSStack& frame) {
    GSOKUIDList* source = nullptr;
    if (!GetNativeObjectParam(frame, 1, source, false) || RefusedAsLocked("KUIDList.Copy")) return;
    // Copied before the own list is freed: the source may be this very list.
    KUIDBlockList copy;
    CopyList(source->list_, copy);
    list_ = std::move(copy);
}

void GSOKUIDList::Clear(GSStack&) {
    if (RefusedAsLocked("KUIDList.Clear")) return;
    list_.FreeAll();
}

void GSOKUIDList::IsLocked(GSStack& frame) {
    frame.Push(locked_ ? 1u : 0u);
}

}  // namespace ScriptNatives
