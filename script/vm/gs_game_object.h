// Game objects: script objects that are nodes of their context's router. A game object owns its
// script threads (at most kMaxThreads) and the handlers through which other objects take its
// messages, and runs its threads from its update.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/intrusive_list.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_router.h"
#include "script/vm/gs_thread.h"

namespace GSRuntime {

class GSFunction;

// A handler of a game object's messages: run `function` of the handling node (`nodeId`) or,
// for a sniffing handler, forward a copy to the sniffing node `nodeId`.
class GSHandler : public Utils::IDoubleLinkListNode {
public:
    int32_t nodeId = -1;
    uint32_t reserved = 0;
    GSFunction* function = nullptr;  // null for a sniffing handler
    uint16_t major = 0;
    uint16_t minor = 0;
    uint8_t sniffing = 0;
};

class GSGameObject : public GSObject, public GSNode {
public:
    static constexpr uint32_t kMaxThreads = 64;
    // The messages a thread keeps for its next wait; beyond this a new one is reported and
    // dropped.
    static constexpr size_t kMaxQueuedMessages = 1024;

    GSGameObject();
    ~GSGameObject() override;

    // Destroys every thread and handler first; then only a class named "GameObject" or
    // derived from it is instantiated.
    bool Instantiate(GSClass* cls, GSContext* context) override;
    // Kept (and handed to its router) while it has threads.
    bool DeferDeletion() override;
    void StopScripts() override { DestroyThreadsAndHandlers(); }

    std::string GetName() const override { return name; }
    bool HandleMessage(GSMessage* message) override;
    // The node's own queue, then each thread in list order; a thread that does not block is
    // removed and destroyed.
    void Update(float elapsed) override;

    // A new thread of this object, appended to its list; null beyond kMaxThreads or without an
    // instance of a class.
    GSThread* NewThread();
    uint32_t ThreadCount() const { return threads.Count(); }
    void DumpThreadStacks();

    // The handling object of a handler, found in this router or any live context's.
    static GSNode* FindNodeAnywhere(GSRouter* router, int32_t id);

    // The natives of the script class "GameObject" (parameter n is word n of the frame).
    void NativeSendMessage(GSStack& stack);
    void NativeSendMessageWithData(GSStack& stack);
    void NativePostMessage(GSStack& stack);
    void NativePostMessageWithData(GSStack& stack);
    void NativeClearMessages(GSStack& stack);
    void NativeAddHandler(GSStack& stack);
    void NativeSniff(GSStack& stack);
    void NativeSleep(GSStack& stack);
    void NativeGetId(GSStack& stack);
    void NativeGetName(GSStack& stack);
    void NativeException(GSStack& stack);

    std::string name;  // the host names its objects; empty for an unnamed one
    NodeList threads;
    NodeList handlers;

private:
    void DestroyThreadsAndHandlers();
    void Send(GSStack& stack, bool withData);
    void Post(GSStack& stack, bool withData);
    bool HandlerParams(GSStack& stack, const char* native, bool needsRouter, GSGameObject*& target,
                       const char*& major);
};

class GSNativeRegistry;
// Appends the GameObject natives to the registry, in their table order.
void RegisterGameObjectNatives(GSNativeRegistry& registry);
// The script class "GameObject" of the machine's own library, as natives push game objects;
// null until that library is loaded.
void SetGameObjectClass(GSClass* cls);
GSClass* GetGameObjectClass();
// Message data from a script object (the host's Soup: a copy without its "__" tags); none
// while no hook is set. A hook that answers a reason ("nests too deep") refuses the data (a
// tree the host will not copy): the send or post is then refused with an error that gives it.
// Null accepts.
using MessageDataHook = const char* (*)(GSObjectReference* object, CountedRef<ACSChunk>& data);
void SetMessageDataHook(MessageDataHook hook);
// The script object a message's data becomes in a Message (word 6), its reference handed to the
// caller; 0 for none. No data reaches scripts while no hook is set.
using MessageSoupHook = Ref (*)(GSContext* context, const CountedRef<ACSChunk>& data);
void SetMessageSoupHook(MessageSoupHook hook);

// Offers a message to a thread of a game object (see OfferMessage in gs_game_object.cpp);
// true when taken.
bool OfferMessage(GSThread& thread, GSMessage* message, bool mayQueue);
// Delivers the queued messages that match the filters of a thread that has just started to
// wait; true when the thread is no longer waiting.
bool DispatchQueued(GSThread& thread);
// Drops a thread's wait filters, unsubscribing its node from each major.
void DropWaitFilters(GSThread& thread);
// Drops the filters and releases the queued messages (a thread's reset).
void DropThreadMessaging(GSThread& thread);

// The script class that router messages become (the class "Message" of the machine's own
// library): members 2 major, 3 minor (strings), 4 source, 5 destination (game objects), 6 data
// (Soup). Null until the library is loaded.
void SetMessageClass(GSClass* cls);
GSClass* GetMessageClass();
// The script Message object of a router message in `context` (one reference, handed to the
// caller); 0 without a Message class.
Ref MakeMessageObject(GSContext* context, GSMessage* message);

// The game object of a thread that can take messages: a game object in a router; else null.
GSGameObject* MessagingObjectOf(const GSThread& thread);

}  // namespace GSRuntime
