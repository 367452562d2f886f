#include "script/vm/gs_call.h"

#include "script/vm/gs_class.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_router.h"
#include "script/vm/gs_thread.h"

namespace GSRuntime {

namespace {

// The entry of `function` among the methods of a class's own part (which starts at 0 of its own
// table).
bool SlotOf(const GSClass* cls, const GSFunction* function, uint32_t& slot) {
    for (size_t i = 0; i < cls->methods.size(); ++i) {
        if (cls->methods[i].function == function) {
            slot = static_cast<uint32_t>(i);
            return true;
        }
    }
    return false;
}

bool Matches(std::string_view name, std::string_view signature, bool loose) {
    if (!loose) return name == signature;
    const size_t a = name.find("::"), b = signature.find("::");
    return a != std::string_view::npos && b != std::string_view::npos &&
           name.substr(a) == signature.substr(b);
}

bool SearchOwn(const GSClass* cls, std::string_view signature, bool loose, int32_t part,
               MethodLookup& out) {
    for (const auto& f : cls->functions) {
        if (!Matches(f->name.view(), signature, loose)) continue;
        uint32_t slot = 0;
        if (!SlotOf(cls, f.get(), slot)) continue;  // not a method (an initialiser)
        out = {cls, part, slot, f.get()};
        return true;
    }
    return false;
}

}  // namespace

bool FindFunctionBySignature(const GSClass* cls, std::string_view signature, MethodLookup& out,
                             bool loose) {
    if (cls == nullptr) return false;
    if (!loose && SearchOwn(cls, signature, false, 0, out)) return true;
    for (const GSBaseEntry& b : cls->bases)
        if (b.cls != nullptr && SearchOwn(b.cls, signature, loose, b.w1, out)) return true;
    return false;
}

bool CallMethodBySignature(GSContext* context, const GSClass* cls, Ref instance,
                           std::string_view signature, const uint32_t* args, uint32_t argCount,
                           uint32_t* result) {
    if (context == nullptr || context->router == nullptr || instance == 0) return false;
    MethodLookup found;
    if (!FindFunctionBySignature(cls, signature, found)) return false;
    GSScriptInstance* h = GetHeader(instance);
    const GSClass* actual = h->cls;
    if (actual == nullptr) return false;
    const int32_t part = actual->PartOf(found.declaring);
    if (part < 0) return false;
    const Ref partRef = h->PrimaryRef() + 4 * static_cast<uint32_t>(part);
    const uint64_t index = uint64_t{RefWords(partRef)[1]} + found.slot;
    if (index >= actual->methods.size()) return false;
    const GSMethodEntry& e = actual->methods[index];
    GSFunction* function = e.function;
    if (function == nullptr || static_cast<uint32_t>(e.baseOffset) >= actual->memberWordCount)
        return false;
    if (function->params != argCount + 1) return false;
    const Ref self = h->PrimaryRef() + 4 * static_cast<uint32_t>(e.baseOffset);

    if (function->flags & kFunctionThread) {
        auto* game = dynamic_cast<GSGameObject*>(h->owner);
        if (game == nullptr) return false;
        GSThread* t = game->NewThread();
        if (t == nullptr) return false;
        AddReference(self);
        t->stack.Push(self);
        for (uint32_t i = 0; i < argCount; ++i)
            t->stack.Push(args[i]);
        if (!t->stack.PushFrame(function, 0)) {
            game->threads.Remove(t);
            delete t;
            return false;
        }
        return true;  // it runs from its start at the object's next update
    }
    return RunOnStaticThread(GSNativeRegistry::Get().StaticThread(), function, self, args, argCount,
                             result) == ER_Done;
}

}  // namespace GSRuntime
