#include "script/vm/gs_game_object.h"

#include <algorithm>
#include <string>
#include <vector>

#include "script/vm/gs_context.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/script_log.h"
#include "script/vm/vm_statics.h"

namespace GSRuntime {

namespace {

GSClass* g_messageClass = nullptr;
MessageSoupHook g_messageSoup = nullptr;

// The member store rule: a value of another context that does not share its objects is not
// stored (a handed-over value is released); the member's old reference is released first.
void StoreMember(GSScriptInstance* target, uint32_t word, Ref value, bool handedOver) {
    uint32_t& slot = target->Members()[word];
    ReleaseReference(slot);
    slot = 0;
    if (value == 0) return;
    GSContext* from = GetHeader(value)->Context();
    if (from != nullptr && from != target->Context() && from->shared == 0) {
        if (handedOver) ReleaseReference(value);
        return;
    }
    if (!handedOver) AddReference(value);
    slot = value;
}

Ref GameObjectRef(GSRouter* router, int32_t id) {
    GSNode* n = GSGameObject::FindNodeAnywhere(router, id);
    if (n == nullptr || !(n->nodeFlags & GSNode::kGameObjectBit)) return 0;
    Ref r = static_cast<GSGameObject*>(n)->instance;
    return (r != 0 && GetHeader(r)->refCount > 0) ? r : 0;
}

}  // namespace

void SetMessageClass(GSClass* cls) {
    g_messageClass = cls;
}

void SetMessageSoupHook(MessageSoupHook hook) {
    g_messageSoup = hook;
}

GSClass* GetMessageClass() {
    return g_messageClass;
}

Ref MakeMessageObject(GSContext* context, GSMessage* message) {
    GSClass* cls = g_messageClass;
    if (cls == nullptr || context == nullptr || message == nullptr || cls->memberWordCount < 7)
        return 0;
    auto* object = new (std::nothrow) GSObject();
    if (object == nullptr) return 0;
    if (!object->Instantiate(cls, context)) {
        if (object->instance != 0)
            ReleaseReference(object->instance);
        else
            delete object;
        return 0;
    }
    GSRouter* router = context->router;
    GSScriptInstance* h = GetHeader(object->instance);
    auto text = [&](uint16_t id) -> Ref {
        const char* t = router != nullptr ? router->GetMessageText(id) : nullptr;
        if (t == nullptr) return 0;
        auto* s = new (std::nothrow) GSString(t);
        return s != nullptr ? s->GetInstance() : 0;
    };
    StoreMember(h, 2, text(message->major), true);
    StoreMember(h, 3, text(message->minor), true);
    StoreMember(h, 4, GameObjectRef(router, message->source), false);
    StoreMember(h, 5, GameObjectRef(router, message->destination), false);
    StoreMember(h, 6, g_messageSoup != nullptr ? g_messageSoup(context, message->data) : 0, true);
    return object->instance;
}

// --- threads and their messages ------------------------------------------------------------

GSGameObject* MessagingObjectOf(const GSThread& thread) {
    auto* game = dynamic_cast<GSGameObject*>(thread.gameObject);
    return (game != nullptr && game->router != nullptr) ? game : nullptr;
}

void DropWaitFilters(GSThread& thread) {
    if (GSGameObject* game = MessagingObjectOf(thread))
        for (const GSThread::WaitFilter& f : thread.filters)
            game->router->Unsubscribe(game, f.major);
    thread.filters.clear();
}

void DropThreadMessaging(GSThread& thread) {
    DropWaitFilters(thread);
    for (GSMessage* m : thread.messages)
        m->Release();
    thread.messages.clear();
}

namespace {

const GSThread::WaitFilter* Match(const GSThread& thread, const GSMessage* m) {
    for (const GSThread::WaitFilter& f : thread.filters)
        if (f.major == m->major && (f.minor == GSRouter::kAnyMinor || f.minor == m->minor))
            return &f;
    return nullptr;
}

}  // namespace

bool OfferMessage(GSThread& thread, GSMessage* message, bool mayQueue) {
    GSGameObject* game = MessagingObjectOf(thread);
    if (game == nullptr) return false;
    const GSThread::WaitFilter* f = Match(thread, message);
    if (thread.state == GSThread::kWaiting) {
        if (f == nullptr) return false;
        thread.resumeOffset = f->offset;
        message->AddReference();  // the stack holds it until the script takes it
        thread.stack.Push(MakeMessageObject(game->context, message));
        message->Release();
        thread.state = GSThread::kRunning;
        thread.timer = 0.0f;
        return true;
    }
    if (f == nullptr) return false;
    if (!mayQueue) return true;
    if (thread.messages.size() >= GSGameObject::kMaxQueuedMessages) {
        std::string report = "Message Queue Overflow for node " + std::to_string(game->id) +
                             " (discarded message follows)\n" + game->router->TraceText(message) +
                             "\n thread state is " + std::to_string(thread.state) +
                             "\n messages already in queue follow:\n";
        for (GSMessage* queued : thread.messages)
            report += game->router->TraceText(queued) + "\n";
        GS_SCRIPT_LOG("%s", report.c_str());
        return true;
    }
    message->AddReference();
    thread.messages.push_back(message);
    return true;
}

bool DispatchQueued(GSThread& thread) {
    if (MessagingObjectOf(thread) == nullptr || thread.messages.empty())
        return thread.state != GSThread::kWaiting;
    for (size_t n = thread.messages.size(); n > 0; --n) {
        GSMessage* m = thread.messages.front();
        thread.messages.pop_front();
        if (thread.state == GSThread::kWaiting) {
            if (!OfferMessage(thread, m, false)) {
                m->Release();  // matches no filter: dropped
                continue;
            }
            m->Release();
        } else if (Match(thread, m) != nullptr) {
            thread.messages.push_back(m);  // kept, in order, for the next wait
        } else {
            m->Release();
        }
    }
    return thread.state != GSThread::kWaiting;
}

// --- game objects ---------------------------------------------------------------------------

GSGameObject::GSGameObject() : GSObject(kKindGameObject) {
    nodeFlags = kGameObjectBit;
}

GSGameObject::~GSGameObject() {
    DestroyThreadsAndHandlers();
}

void GSGameObject::DestroyThreadsAndHandlers() {
    threads.ClearAndFree();
    if (router != nullptr)
        for (auto* n = handlers.First(); n != nullptr; n = handlers.Next(n))
            router->Unsubscribe(this, static_cast<GSHandler*>(n)->major);
    handlers.ClearAndFree();
}

bool GSGameObject::Instantiate(GSClass* cls, GSContext* ctx) {
    DestroyThreadsAndHandlers();
    if (cls == nullptr) return GSObject::Instantiate(nullptr, ctx);
    static const Kiv::PString kGameObject("GameObject");
    if (!cls->IsNamed(kGameObject)) return false;
    return GSObject::Instantiate(cls, ctx);
}

bool GSGameObject::DeferDeletion() {
    if (threads.IsEmpty()) return false;
    nodeFlags |= kDeletePending;
    if (router == nullptr) return false;
    if (queuedForDeletion) return true;
    queuedForDeletion = true;
    router->DeferDeletion(this);
    return true;
}

GSThread* GSGameObject::NewThread() {
    if (threads.Count() >= kMaxThreads || instance == 0 || GetHeader(instance)->cls == nullptr)
        return nullptr;
    auto* t = new GSThread(this, 0);
    threads.PushBack(t);
    return t;
}

void GSGameObject::Update(float elapsed) {
    GSNode::Update(elapsed);
    for (auto* n = threads.First(); n != nullptr;) {
        auto* t = static_cast<GSThread*>(n);
        const int32_t rc = GSThread::Execute(t, elapsed);
        auto* next = threads.Next(n);
        if (rc != ER_Blocked) {
            threads.Remove(t);
            delete t;
        }
        n = next;
    }
}

void GSGameObject::DumpThreadStacks() {
    int number = 0;
    for (auto* n = threads.First(); n != nullptr; n = threads.Next(n), ++number) {
        GS_SCRIPT_LOG("*** STACK DUMP OF THREAD %d ON GAME OBJECT %s, id %d ***", number,
                      name.c_str(), id);
        static_cast<GSThread*>(n)->stack.Dump();
    }
}

GSNode* GSGameObject::FindNodeAnywhere(GSRouter* router, int32_t id) {
    if (router != nullptr)
        if (GSNode* n = router->FindNode(id)) return n;
    for (GSContext* c : LiveScriptContexts())
        if (c->router != nullptr && c->router != router)
            if (GSNode* n = c->router->FindNode(id)) return n;
    return nullptr;
}

bool GSGameObject::HandleMessage(GSMessage* message) {
    if (router == nullptr) return false;
    bool taken = false;
    for (auto* n = threads.First(); n != nullptr; n = threads.Next(n))
        taken = OfferMessage(*static_cast<GSThread*>(n), message, true) || taken;

    struct Collected {
        int32_t nodeId;
        GSFunction* function;
        bool sniffing;
    };
    std::vector<Collected> collected;
    for (auto* n = handlers.First(); n != nullptr; n = handlers.Next(n)) {
        auto* h = static_cast<GSHandler*>(n);
        if (h->major == message->major &&
            (h->minor == GSRouter::kAnyMinor || h->minor == message->minor))
            collected.push_back({h->nodeId, h->function, h->sniffing != 0});
    }
    GSRouter* own = router;
    for (const Collected& c : collected) {
        if (c.sniffing) {
            if (message->delayWord & GSMessage::kForwardedBit) continue;
            GSNode* sniffer = FindNodeAnywhere(own, c.nodeId);
            if (sniffer == nullptr) continue;
            GSMessage* copy = message->Copy();
            copy->delayWord |= GSMessage::kForwardedBit;
            sniffer->HandleMessage(copy);
            copy->Release();
            continue;
        }
        GSNode* node = FindNodeAnywhere(own, c.nodeId);
        if (node == nullptr || !(node->nodeFlags & kGameObjectBit) || c.function == nullptr)
            continue;
        auto* handler = static_cast<GSGameObject*>(node);
        if (handler->instance == 0) continue;
        Ref self = GetClassData(GetHeader(handler->instance), c.function->owner);
        if (self == 0) continue;
        Ref messageObject = MakeMessageObject(handler->context, message);
        RunOnStaticThread(GSNativeRegistry::Get().StaticThread(), c.function, self, &messageObject,
                          1);
    }
    if (!taken && message->major == GSRouter::kDeleteMajor) nodeFlags |= kDeletePending;
    return taken || !collected.empty();
}

}  // namespace GSRuntime
