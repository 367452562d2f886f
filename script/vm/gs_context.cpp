#include "script/vm/gs_context.h"

#include "script/vm/gs_router.h"

#include "script/vm/script_log.h"
#include "script/vm/vm_statics.h"

namespace GSRuntime {

namespace {

thread_local GSContext* t_currentContext = nullptr;

}  // namespace

GSContext* CurrentContext() {
    return t_currentContext;
}

void SetCurrentContext(GSContext* context) {
    t_currentContext = context;
}

GSLibraryContext::GSLibraryContext(GSLibrary* lib)
    : slots(lib->classes.size(), nullptr), library(lib) {}

GSLibraryContext::~GSLibraryContext() {
    for (size_t i = slots.size(); i-- > 0;) {
        GSObject* o = slots[i];
        slots[i] = nullptr;
        if (o != nullptr && o->instance != 0) ReleaseReference(o->instance);
    }
}

GSContext::GSContext() : registry_(this), staticThread_(nullptr, GSThread::kStaticThread) {
    LiveScriptContexts().insert(this);
}

GSContext::~GSContext() {
    // Static objects first: their release may run into instances still tracked below.
    while (!libraryContexts_.empty()) {
        auto node = libraryContexts_.extract(libraryContexts_.begin());
        node.mapped().reset();
    }
    if (router != nullptr) {
        router->Done();
        delete router;
        router = nullptr;
    }
    staticThread_.Reset();
    LiveScriptContexts().erase(this);
    if (t_currentContext == this) t_currentContext = nullptr;
    registry_.TearDown();
}

GSLibraryContext* GSContext::GetLibraryContext(GSLibrary* library) {
    auto key = std::make_pair(library->id1, library->id2);
    auto it = libraryContexts_.find(key);
    if (it != libraryContexts_.end()) return it->second.get();
    auto lc = std::make_unique<GSLibraryContext>(library);
    GSLibraryContext* raw = lc.get();
    libraryContexts_.emplace(key, std::move(lc));
    return raw;
}

GSObject* GSContext::GetStaticObject(GSClass* cls) {
    if (cls == nullptr || (cls->flags & kClassStatic) == 0 || cls->library == nullptr)
        return nullptr;
    GSLibraryContext* lc = GetLibraryContext(cls->library);
    if (cls->index >= lc->slots.size()) return nullptr;
    if (lc->slots[cls->index] != nullptr) return lc->slots[cls->index];
    auto* object = new GSObject();
    if (!object->Instantiate(cls, this)) {
        // The object may still hold an instance that something else references.
        if (object->instance != 0)
            ReleaseReference(object->instance);
        else
            delete object;
        GS_SCRIPT_LOG("Could not construct static class %s for context", cls->name.c_str());
        return nullptr;
    }
    lc->slots[cls->index] = object;
    return object;
}

bool GSContext::CreateScriptInstance(GSObject* object, GSClass* cls) {
    if (object->instance != 0) return false;
    GSScriptInstance* h = AllocateInstance(&registry_, cls->memberWordCount, object, cls);
    if (h == nullptr) {
        object->context = nullptr;
        return false;
    }
    object->instance = h->PrimaryRef();
    object->context = this;
    uint32_t* m = h->Members();
    uint32_t words = cls->memberWordCount == 0 ? 1 : cls->memberWordCount;
    for (const GSInitialiser& init : cls->initialisers)
        if (init.word < words) m[init.word] = init.value;

    auto run = [&](GSClass* c, int32_t part) -> bool {
        if (c == nullptr || c->constructor == nullptr) return true;
        Ref self = object->instance + 4 * static_cast<uint32_t>(part);
        return RunOnStaticThread(&staticThread_, c->constructor, self) == ER_Done;
    };
    bool ok = true;
    for (size_t i = cls->bases.size(); ok && i-- > 0;)
        ok = run(cls->bases[i].cls, cls->bases[i].w1);
    if (ok) ok = run(cls, 0);
    if (!ok) {
        // The constructor may have handed `this` to others: the owner lets go and the last
        // reference frees the instance.
        Ref r = object->instance;
        object->instance = 0;
        object->context = nullptr;
        GSScriptInstance* header = GetHeader(r);
        header->owner = nullptr;
        ReleaseHeader(header);
        return false;
    }
    return true;
}

}  // namespace GSRuntime
