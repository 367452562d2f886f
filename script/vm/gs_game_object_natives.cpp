// The natives of game objects (the script class "GameObject") and of the router (the script
// class "Router", member functions of the context).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "script/vm/gs_context.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_router.h"
#include "script/vm/gs_stack.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/script_log.h"

namespace GSRuntime {

namespace {

GSClass* g_gameObjectClass = nullptr;

// The text of a string parameter; null for a null or non-string slot.
const char* StringParam(GSStack& stack, uint32_t slot) {
    Ref r = stack.GetWord(slot);
    if (r == 0) return nullptr;
    auto* s = dynamic_cast<GSString*>(GetOwner(r));
    return s != nullptr ? s->text.c_str() : nullptr;
}

GSGameObject* GameObjectParam(GSStack& stack, uint32_t slot) {
    Ref r = stack.GetWord(slot);
    return r == 0 ? nullptr : dynamic_cast<GSGameObject*>(GetOwner(r));
}

// A game object shown to scripts: its part of the GameObject class, when its node is a game
// object with an instance of a class (and, unless `anyClass`, that class is not hidden).
void PushGameObject(GSStack& stack, GSNode* node, bool anyClass) {
    if (node == nullptr || !(node->nodeFlags & GSNode::kGameObjectBit)) {
        stack.Push(0);
        return;
    }
    auto* game = static_cast<GSGameObject*>(node);
    GSScriptInstance* h = game->instance != 0 ? GetHeader(game->instance) : nullptr;
    if (h == nullptr || (!anyClass && (h->cls == nullptr || (h->cls->flags & 0x100) != 0))) {
        stack.Push(0);
        return;
    }
    stack.PushObject(game, g_gameObjectClass);
}

std::string Text(const char* t) {
    return t != nullptr ? t : "";
}

}  // namespace

void SetGameObjectClass(GSClass* cls) {
    g_gameObjectClass = cls;
}

GSClass* GetGameObjectClass() {
    return g_gameObjectClass;
}

// --- Router ---------------------------------------------------------------------------------

void GSContext::RouterGetGameObject(GSStack& stack) {
    PushGameObject(
        stack,
        router != nullptr ? router->FindNode(static_cast<int32_t>(stack.GetWord(1))) : nullptr,
        false);
}

void GSContext::RouterGetForeignGameObject(GSStack& stack) {
    const auto id = static_cast<int32_t>(stack.GetWord(1));
    for (GSContext* c : LiveScriptContexts()) {
        if (c->router == nullptr || c->router->foreignHidden != 0) continue;
        GSNode* n = c->router->FindNode(id);
        if (n == nullptr || !(n->nodeFlags & GSNode::kGameObjectBit)) continue;
        auto* game = static_cast<GSGameObject*>(n);
        GSScriptInstance* h = game->instance != 0 ? GetHeader(game->instance) : nullptr;
        if (h == nullptr || h->cls == nullptr || (h->cls->flags & 0x100) != 0) continue;
        PushGameObject(stack, n, false);
        return;
    }
    stack.Push(0);
}

void GSContext::RouterGetGameObjectByName(GSStack& stack) {
    const char* name = StringParam(stack, 1);
    PushGameObject(
        stack, router != nullptr && name != nullptr ? router->FindNodeByName(name) : nullptr, true);
}

void GSContext::RouterInfo(GSStack&) {
    if (router != nullptr) router->Info();
}

void GSContext::RouterPostMessage(GSStack& stack) {
    const char* major = StringParam(stack, 3);
    const char* minor = StringParam(stack, 4);
    if (router == nullptr || major == nullptr || minor == nullptr) return;
    auto* m = new GSMessage();
    m->major = router->GetMessageId(major);
    m->minor = router->GetMessageId(minor);
    m->source = static_cast<int32_t>(stack.GetWord(1));
    m->destination = static_cast<int32_t>(stack.GetWord(2));
    m->delayWord = DelayWordFromSeconds(stack.GetFloat(5));
    router->PostMessage(m);
    m->Release();
}

// --- GameObject -----------------------------------------------------------------------------

namespace {

MessageDataHook g_messageData = nullptr;

// False, with `native`'s error raised, when the hook refuses the object's data.
bool DataParam(GSStack& stack, uint32_t slot, CountedRef<ACSChunk>& data, const char* native) {
    Ref r = stack.GetWord(slot);
    data = {};
    if (r == 0 || g_messageData == nullptr) return true;
    const char* refused = g_messageData(GetOwner(r), data);
    if (refused == nullptr) return true;
    char text[160];
    std::snprintf(text, sizeof text, "%s message data %s", native, refused);
    GSThread::RaiseError(CurrentThread(), text, false);
    return false;
}

}  // namespace

void SetMessageDataHook(MessageDataHook hook) {
    g_messageData = hook;
}

void GSGameObject::Send(GSStack& stack, bool withData) {
    GSThread* thread = CurrentThread();
    if (thread != nullptr && thread->IsStatic()) {
        GSThread::RaiseError(thread, "Static Thread cannot call SendMessage", false);
        return;
    }
    const char* major = StringParam(stack, 2);
    const char* minor = StringParam(stack, 3);
    if (major == nullptr || minor == nullptr) {
        GSThread::RaiseError(thread, "GameObject::SendMessage() illegal major or minor string",
                             false);
        return;
    }
    if (router == nullptr) return;
    CountedRef<ACSChunk> data;
    if (withData && !DataParam(stack, 4, data, "GameObject::SendMessage()")) return;
    GSGameObject* target = GameObjectParam(stack, 1);
    GSMessage* m = router->CreateMessage(this, target != nullptr ? target->id : 0, major, minor,
                                         std::move(data), 0);
    if (m == nullptr) return;
    GSRouter* r = router;
    r->SendMessage(m);
    m->Release();
}

void GSGameObject::Post(GSStack& stack, bool withData) {
    const char* major = StringParam(stack, 2);
    const char* minor = StringParam(stack, 3);
    if (major == nullptr || minor == nullptr) {
        GSThread::RaiseError(CurrentThread(),
                             "GameObject::PostMessage() illegal major or minor string", false);
        return;
    }
    if (router == nullptr) return;
    CountedRef<ACSChunk> data;
    if (withData && !DataParam(stack, 4, data, "GameObject::PostMessage()")) return;
    GSGameObject* target = GameObjectParam(stack, 1);
    const uint32_t delay = DelayWordFromSeconds(stack.GetFloat(withData ? 5 : 4));
    GSMessage* m = router->CreateMessage(this, target != nullptr ? target->id : 0, major, minor,
                                         std::move(data), delay);
    if (m == nullptr) return;
    router->PostMessage(m);
    m->Release();
}

void GSGameObject::NativeSendMessage(GSStack& stack) {
    Send(stack, false);
}
void GSGameObject::NativeSendMessageWithData(GSStack& stack) {
    Send(stack, true);
}
void GSGameObject::NativePostMessage(GSStack& stack) {
    Post(stack, false);
}
void GSGameObject::NativePostMessageWithData(GSStack& stack) {
    Post(stack, true);
}

void GSGameObject::NativeClearMessages(GSStack& stack) {
    const char* major = StringParam(stack, 1);
    const char* minor = StringParam(stack, 2);
    if (router == nullptr) return;
    const int n =
        router->ClearMessages(this, router->GetMessageId(major), router->GetMessageId(minor));
    if (n > 0)
        GS_SCRIPT_LOG("%d queued router messages cleared for %04d '%s', message %s, %s", n, id,
                      name.c_str(), Text(major).c_str(), Text(minor).c_str());
}

namespace {

// A handler's function: the exact signature in the class and then its bases in table order;
// else, in the bases only, the text from "::" on, so that a base's handler is found under the
// derived class's name.
GSFunction* FindHandlerFunction(const GSClass* cls, const std::string& signature) {
    const Kiv::PString exact(signature);
    if (GSFunction* f = cls->FindFunction(exact)) return f;
    for (const GSBaseEntry& b : cls->bases)
        if (b.cls != nullptr)
            if (GSFunction* f = b.cls->FindFunction(exact)) return f;
    const size_t colons = signature.find("::");
    if (colons == std::string::npos) return nullptr;
    const std::string_view tail = std::string_view(signature).substr(colons);
    for (const GSBaseEntry& b : cls->bases) {
        if (b.cls == nullptr) continue;
        for (const auto& f : b.cls->functions) {
            const std::string_view name = f->name.view();
            const size_t at = name.find("::");
            if (at != std::string_view::npos && name.substr(at) == tail) return f.get();
        }
    }
    return nullptr;
}

}  // namespace

// The target and major of AddHandler and Sniff; a missing one is logged (the script goes on).
bool GSGameObject::HandlerParams(GSStack& stack, const char* native, bool needsRouter,
                                 GSGameObject*& target, const char*& major) {
    const char* problem = nullptr;
    target = GameObjectParam(stack, 1);
    major = StringParam(stack, 2);
    if (stack.GetWord(1) == 0)
        problem = "target object is null";
    else if (target == nullptr)
        problem = "target object is wrong type";
    else if (needsRouter && router == nullptr)
        problem = "router is null";
    else if (major == nullptr)
        problem = "major type is null";
    if (problem != nullptr) GS_SCRIPT_LOG("%s for GameObject::%s()", problem, native);
    return problem == nullptr;
}

void GSGameObject::NativeAddHandler(GSStack& stack) {
    if (router == nullptr) return;
    GSGameObject* target = nullptr;
    const char* majorText = nullptr;
    if (!HandlerParams(stack, "AddHandler", false, target, majorText)) return;
    const uint16_t major = router->GetMessageId(majorText);
    const uint16_t minor = router->GetMessageId(StringParam(stack, 3));
    const char* handlerName = StringParam(stack, 4);
    if (handlerName == nullptr) {
        for (auto* n = target->handlers.First(); n != nullptr;) {
            auto* h = static_cast<GSHandler*>(n);
            n = target->handlers.Next(n);
            if (!h->sniffing && h->nodeId == id && h->major == major && h->minor == minor) {
                target->handlers.Remove(h);
                delete h;
                if (target->router != nullptr) target->router->Unsubscribe(target, major);
            }
        }
        return;
    }
    GSScriptInstance* self = instance != 0 ? GetHeader(instance) : nullptr;
    if (self == nullptr || self->cls == nullptr) return;
    const std::string signature =
        "$void@" + std::string(self->cls->name.view()) + "::" + handlerName + "(Message)";
    GSFunction* function = FindHandlerFunction(self->cls, signature);
    if (function == nullptr) {
        GS_SCRIPT_LOG("Could not find handler %s for native GameObject::AddHandler()",
                      signature.c_str());
        return;
    }
    for (auto* n = target->handlers.First(); n != nullptr; n = target->handlers.Next(n)) {
        auto* h = static_cast<GSHandler*>(n);
        if (!h->sniffing && h->nodeId == id && h->major == major && h->minor == minor &&
            h->function == function)
            return;
    }
    auto* h = new GSHandler();
    h->nodeId = id;
    h->function = function;
    h->major = major;
    h->minor = minor;
    target->handlers.PushBack(h);
    if (target->router != nullptr) target->router->Subscribe(target, major);
}

void GSGameObject::NativeSniff(GSStack& stack) {
    GSGameObject* target = nullptr;
    const char* majorText = nullptr;
    if (!HandlerParams(stack, "Sniff", true, target, majorText)) return;
    const uint16_t major = router->GetMessageId(majorText);
    const uint16_t minor = router->GetMessageId(StringParam(stack, 3));
    const bool on = stack.GetWord(4) != 0;
    GSHandler* found = nullptr;
    for (auto* n = target->handlers.First(); n != nullptr; n = target->handlers.Next(n)) {
        auto* h = static_cast<GSHandler*>(n);
        if (h->sniffing && h->nodeId == id && h->major == major && h->minor == minor) found = h;
    }
    if (on && found == nullptr) {
        auto* h = new GSHandler();
        h->nodeId = id;
        h->major = major;
        h->minor = minor;
        h->sniffing = 1;
        target->handlers.PushBack(h);
        if (target->router != nullptr) target->router->Subscribe(target, major);
    } else if (!on && found != nullptr) {
        target->handlers.Remove(found);
        delete found;
        if (target->router != nullptr) target->router->Unsubscribe(target, major);
    }
}

void GSGameObject::NativeSleep(GSStack& stack) {
    const float seconds = stack.GetFloat(1);
    GSThread* thread = CurrentThread();
    if (!(seconds > 0.000001f) || thread == nullptr || thread->IsStatic()) return;
    thread->state = GSThread::kWaiting;
    thread->timer = seconds;
}

void GSGameObject::NativeGetId(GSStack& stack) {
    stack.Push(static_cast<uint32_t>(id));
}

void GSGameObject::NativeGetName(GSStack& stack) {
    stack.PushString(name);
}

void GSGameObject::NativeException(GSStack& stack) {
    GSThread::RaiseError(CurrentThread(), Text(StringParam(stack, 1)).c_str(), true);
}

void RegisterGameObjectNatives(GSNativeRegistry& registry) {
    using Native = GSCPPNativeFunction<GSGameObject>;
    struct Row {
        const char* signature;
        void (GSGameObject::*method)(GSStack&);
    };
    static constexpr Row kRows[] = {
        {"$void@GameObject::SendMessage(GameObject,string,string)",
         &GSGameObject::NativeSendMessage},
        {"$void@GameObject::SendMessage(GameObject,string,string,GSObject)",
         &GSGameObject::NativeSendMessageWithData},
        {"$void@GameObject::PostMessage(GameObject,string,string,float)",
         &GSGameObject::NativePostMessage},
        {"$void@GameObject::PostMessage(GameObject,string,string,GSObject,float)",
         &GSGameObject::NativePostMessageWithData},
        {"$void@GameObject::ClearMessages(string,string)", &GSGameObject::NativeClearMessages},
        {"$void@GameObject::AddHandler(GameObject,string,string,string)",
         &GSGameObject::NativeAddHandler},
        {"$void@GameObject::Sniff(GameObject,string,string,bool)", &GSGameObject::NativeSniff},
        {"$void@GameObject::Sleep(float)", &GSGameObject::NativeSleep},
        {"$int@GameObject::GetId()", &GSGameObject::NativeGetId},
        {"$string@GameObject::GetName()", &GSGameObject::NativeGetName},
        {"$void@GameObject::Exception(string)", &GSGameObject::NativeException},
    };
    for (const Row& row : kRows)
        registry.Add(std::make_unique<Native>("GameObject", row.signature, row.method));
}

}  // namespace GSRuntime
