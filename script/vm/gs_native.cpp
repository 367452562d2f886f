#include "script/vm/gs_native.h"

#include "script/vm/gs_context.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_stack.h"
#include "script/vm/gs_str_math_natives.h"
#include "script/vm/gs_thread.h"

namespace GSRuntime {

GSContext* ContextOfTarget(const GSObjectReference* target) {
    if (target == nullptr) return nullptr;
    if (const auto* object = dynamic_cast<const GSObject*>(target)) return object->context;
    Ref r = target->GetInstance();
    return r == 0 ? nullptr : GetHeader(r)->Context();
}

bool GSCNativeFunction::Call(GSObjectReference* target, GSStack& stack) {
    if (target == nullptr) return false;
    function_(ContextOfTarget(target), stack);
    return true;
}

namespace {

// "$string@GSObject::GetGSClassName()": the name of the script class of `this`, "void" when
// it has none.
void GetGSClassName(GSContext*, GSStack& stack) {
    Ref self = stack.GetWord(0);
    GSScriptInstance* h = self != 0 ? GetHeader(self) : nullptr;
    if (h == nullptr || h->cls == nullptr)
        stack.PushString("void");
    else
        stack.PushPString(h->cls->name);
}

}  // namespace

GSNativeRegistry& GSNativeRegistry::Get() {
    static GSNativeRegistry* registry = [] {
        auto* r = new GSNativeRegistry();
        r->RegisterBuiltinNatives();
        return r;
    }();
    return *registry;
}

GSNativeRegistry::~GSNativeRegistry() = default;

void GSNativeRegistry::Add(std::unique_ptr<GSNativeFunction> binding) {
    bindings_.push_back(std::move(binding));
}

GSNativeFunction* GSNativeRegistry::Find(const Kiv::PString& className,
                                         const Kiv::PString& signature) const {
    for (const auto& b : bindings_)
        if (b->ClassName() == className && b->Signature() == signature) return b.get();
    return nullptr;
}

void GSNativeRegistry::RegisterBuiltinNatives() {
    staticThread_ = std::make_unique<GSThread>(nullptr, GSThread::kStaticThread);
    Add(std::make_unique<GSCNativeFunction>("GSObject", "$string@GSObject::GetGSClassName()",
                                            &GetGSClassName));
    RegisterGameObjectNatives(*this);
    using Router = GSCPPContextNativeFunction<GSContext>;
    Add(std::make_unique<Router>("Router", "$GameObject@Router::GetGameObject(int)",
                                 &GSContext::RouterGetGameObject));
    Add(std::make_unique<Router>("Router", "$GameObject@Router::GetForeignGameObject(int)",
                                 &GSContext::RouterGetForeignGameObject));
    Add(std::make_unique<Router>("Router", "$GameObject@Router::GetGameObject(string)",
                                 &GSContext::RouterGetGameObjectByName));
    Add(std::make_unique<Router>("Router", "$void@Router::Info()", &GSContext::RouterInfo));
    Add(std::make_unique<Router>("Router", "$void@Router::PostMessage(int,int,string,string,float)",
                                 &GSContext::RouterPostMessage));
    RegisterStrNatives(*this);
    RegisterMathNatives(*this);
}

}  // namespace GSRuntime
