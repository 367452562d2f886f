// Background resource loading: an OverlappedResourceSystem runs the load step of queued
// resources on one loader thread, oldest request first; whoever needs a result first completes
// the resource on its own thread (taking it out of the queue, or waiting for the loader to be
// done with it) and runs its finish step there. The program keeps one process-wide slot for a
// system but creates none, so no background request is ever made by the program itself; a
// system published in the slot (tests, tools) is used by the mesh code's collision trees.
//
// States of a resource: 0 idle (not queued, nothing loaded), 1 queued, 2 loading on the loader
// thread, 3 loaded (its finish step pending), 4 finished, 5 taken out of the queue by a
// requester.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kiv/base/sync.h"
#include "platform/kiv/base/thread.h"

class OverlappedResourceSystem;

class OverlappedResource {
public:
    enum State : uint32_t {
        kIdle = 0,
        kQueued = 1,
        kLoading = 2,
        kLoaded = 3,
        kFinished = 4,
        kTaken = 5
    };

    explicit OverlappedResource(OverlappedResourceSystem* system);
    virtual ~OverlappedResource() = default;
    OverlappedResource(const OverlappedResource&) = delete;
    OverlappedResource& operator=(const OverlappedResource&) = delete;

    // The work itself; true for success.
    virtual bool Load() = 0;
    virtual bool Finish() = 0;

    State GetState() const { return state_.load(); }
    const std::string& GetName() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    bool IsCancelled() const { return cancel_.load(); }
    OverlappedResourceSystem* GetSystem() const { return system_; }
    void SetCancel() { cancel_.store(true); }

private:
    friend class OverlappedResourceSystem;
    OverlappedResourceSystem* system_;
    std::string name_ = "unknown";
    float key_ = 0;
    std::atomic<State> state_{kIdle};
    double created_;
    std::atomic<bool> cancel_{false};
    std::mutex lock_;  // the loader's change from loading to loaded happens under it
};

// A resource whose two steps are functions; a missing one counts as success.
class OverlappedResourceCallback : public OverlappedResource {
public:
    using Step = std::function<bool()>;
    OverlappedResourceCallback(OverlappedResourceSystem* system, Step load, Step finish)
        : OverlappedResource(system), load_(std::move(load)), finish_(std::move(finish)) {}
    bool Load() override { return load_ ? load_() : true; }
    bool Finish() override { return finish_ ? finish_() : true; }

private:
    Step load_, finish_;
};

// A requester's record of one pending request. Going away before its resource is finished
// cancels it: the resource is completed without being loaded and deleted.
class Overlapped {
public:
    explicit Overlapped(std::unique_ptr<OverlappedResource> resource)
        : resource_(std::move(resource)) {}
    virtual ~Overlapped();
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    OverlappedResource* GetResource() const { return resource_.get(); }

private:
    std::unique_ptr<OverlappedResource> resource_;
};

class OverlappedResourceSystem {
public:
    static constexpr size_t kMaxQueued = 5000;
    static constexpr size_t kFinishSlots = 8;
    static constexpr int kRaisedPriority = 2;

    // Publishes the system in the process-wide slot; with startLoader, its loader thread runs.
    explicit OverlappedResourceSystem(bool startLoader = true);
    // Clears the slot, stops the loader thread and empties the queue.
    virtual ~OverlappedResourceSystem();
    OverlappedResourceSystem(const OverlappedResourceSystem&) = delete;
    OverlappedResourceSystem& operator=(const OverlappedResourceSystem&) = delete;

    // The system in the process-wide slot; null when there is none.
    static OverlappedResourceSystem* Get();

    // A request of the two steps, named when a name is given, queued.
    std::unique_ptr<Overlapped> Request(OverlappedResourceCallback::Step load,
                                        OverlappedResourceCallback::Step finish,
                                        const std::string& name = {});
    // Queues the resource unless it is queued already or 5000 are.
    void Queue(OverlappedResource* resource);
    // Takes a queued resource out; false when it was not queued.
    bool Remove(OverlappedResource* resource);
    // Makes the result available on the calling thread (see the header comment).
    void Complete(OverlappedResource* resource);
    // 1 while the request is pending, 2 when there is none: a request whose resource is idle or
    // finished is deleted first.
    int Poll(std::unique_ptr<Overlapped>& record);
    // Cancels and deletes the request.
    void Cancel(std::unique_ptr<Overlapped>& record);

    size_t GetQueuedCount();
    int GetLoaderPriority() const { return loader_.GetPriority(); }
    // Pops and loads one resource on the calling thread as the loader would (for a system
    // without a loader thread); false when the queue was empty.
    bool LoadNext();

private:
    struct FinishSlot {
        OverlappedResource* resource = nullptr;
        uint32_t users = 0;
        std::mutex lock;
    };

    uint32_t LoaderLoop();
    OverlappedResource* PopOldest();  // under the queue lock
    void SiftUp(size_t at);
    void SiftDown(size_t at);
    void RemoveAt(size_t at);
    void RunLoad(OverlappedResource* resource);
    FinishSlot& TakeFinishSlot(OverlappedResource* resource);
    void ReleaseFinishSlot(FinishSlot& slot);

    Kiv::Thread loader_;
    std::atomic<bool> stopping_{false};
    std::vector<OverlappedResource*> queue_;  // a max-heap on the key
    Kiv::Mutex queueLock_;
    Kiv::Semaphore queued_;
    Kiv::WEvent idle_{true, true};
    OverlappedResource* current_ = nullptr;  // under the queue lock
    FinishSlot slots_[kFinishSlots];
    std::mutex slotTable_;
    std::condition_variable slotFreed_;
};
