// Staged initialisation: a DelayedInitClient is an object whose set-up runs in up to three
// deferred stages; a DelayedInitManager (the script context derives from it) keeps the
// clients still waiting and completes them. Completing runs only the stages a client has not
// run yet, so a client may be completed any number of times without repeating work. A
// manager's list belongs to its thread.
#pragma once

#include <cstdint>

#include "foundation/blocklist.h"

class DelayedInitManager;

class DelayedInitClient {
public:
    // The low bits of the state byte; derived classes keep their own flags from 16 upwards.
    static constexpr uint8_t kStage1Done = 1;
    static constexpr uint8_t kStage2Done = 2;
    static constexpr uint8_t kStage3Done = 4;
    static constexpr uint8_t kAllStagesDone = kStage1Done | kStage2Done | kStage3Done;
    static constexpr uint8_t kWaiting = 8;

    // No stage done.
    DelayedInitClient() = default;
    // The state as given (stages already done, a derived class's flags); a new client is in
    // no list, so the waiting bit is not taken over.
    explicit DelayedInitClient(uint8_t state) : state_(state & ~kWaiting) {}
    // A client still waiting leaves its manager's list.
    virtual ~DelayedInitClient();
    DelayedInitClient(const DelayedInitClient&) = delete;
    DelayedInitClient& operator=(const DelayedInitClient&) = delete;

    // The base stages only mark themselves done; an override calls them (or sets its bit)
    // once its work has succeeded.
    virtual void InitStage1() { state_ |= kStage1Done; }
    virtual void InitStage2() { state_ |= kStage2Done; }
    virtual void InitStage3() { state_ |= kStage3Done; }

    uint8_t GetState() const { return state_; }
    bool IsWaiting() const { return (state_ & kWaiting) != 0; }

protected:
    uint8_t state_ = 0;

private:
    friend class DelayedInitManager;
    DelayedInitManager* manager_ = nullptr;  // the manager whose list holds it
};

class DelayedInitManager {
public:
    DelayedInitManager() = default;
    // Lets go of every waiting client (their waiting bit is cleared).
    virtual ~DelayedInitManager();
    DelayedInitManager(const DelayedInitManager&) = delete;
    DelayedInitManager& operator=(const DelayedInitManager&) = delete;

    // Queues a client that has stages left and is not waiting anywhere yet.
    void AddClient(DelayedInitClient* client);
    // Runs, in order, each of the three stages the client has not done, then takes it out of
    // the list it waits in.
    void CompleteClient(DelayedInitClient* client);
    // Takes a client waiting in this manager out of the list (while the list is being walked,
    // its slot is emptied instead) and clears its waiting bit.
    void RemoveClient(DelayedInitClient* client);
    // Completes every waiting client in the order they were added, including clients that
    // stages add meanwhile. False, doing nothing, when called from within such a walk.
    bool CompleteAllClients();

    // The clients waiting now.
    uint32_t GetWaitingCount() const;

private:
    BlockList<DelayedInitClient*, 64> clients_;
    bool walking_ = false;
};
