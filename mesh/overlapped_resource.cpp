#include "mesh/overlapped_resource.h"

#include <algorithm>

#include "platform/kiv/base/clock.h"

namespace {

std::atomic<OverlappedResourceSystem*> gSystem{nullptr};

}  // namespace

OverlappedResource::OverlappedResource(OverlappedResourceSystem* system)
    : system_(system), created_(Kiv::Time::GetSeconds()) {}

Overlapped::~Overlapped() {
    if (!resource_) return;
    resource_->SetCancel();
    if (OverlappedResourceSystem* system = resource_->GetSystem())
        system->Complete(resource_.get());
}

OverlappedResourceSystem::OverlappedResourceSystem(bool startLoader) {
    gSystem.store(this);
    if (startLoader) loader_.Start([this] { return LoaderLoop(); });
}

OverlappedResourceSystem::~OverlappedResourceSystem() {
    OverlappedResourceSystem* self = this;
    gSystem.compare_exchange_strong(self, nullptr);
    stopping_.store(true);
    queued_.Release(1);
    loader_.Wait();
    Kiv::SingleLock hold(&queueLock_, true);
    for (OverlappedResource* r : queue_)
        r->state_.store(OverlappedResource::kIdle);
    queue_.clear();
}

OverlappedResourceSystem* OverlappedResourceSystem::Get() {
    return gSystem.load();
}

std::unique_ptr<Overlapped> OverlappedResourceSystem::Request(
    OverlappedResourceCallback::Step load, OverlappedResourceCallback::Step finish,
    const std::string& name) {
    auto resource =
        std::make_unique<OverlappedResourceCallback>(this, std::move(load), std::move(finish));
    if (!name.empty()) resource->SetName(name);
    OverlappedResource* queued = resource.get();
    auto record = std::make_unique<Overlapped>(std::move(resource));
    Queue(queued);
    return record;
}

void OverlappedResourceSystem::Queue(OverlappedResource* resource) {
    Kiv::SingleLock hold(&queueLock_, true);
    if (queue_.size() >= kMaxQueued) return;
    if (std::find(queue_.begin(), queue_.end(), resource) != queue_.end()) return;
    resource->state_.store(OverlappedResource::kQueued);
    queue_.push_back(resource);
    SiftUp(queue_.size() - 1);
    queued_.Release(1);
}

void OverlappedResourceSystem::SiftUp(size_t at) {
    while (at > 0) {
        const size_t parent = (at - 1) / 2;
        if (!(queue_[parent]->key_ < queue_[at]->key_)) break;
        std::swap(queue_[parent], queue_[at]);
        at = parent;
    }
}

void OverlappedResourceSystem::SiftDown(size_t at) {
    for (;;) {
        const size_t left = 2 * at + 1, right = left + 1;
        if (left >= queue_.size()) break;
        size_t child = left;
        if (right < queue_.size() && queue_[right]->key_ >= queue_[left]->key_) child = right;
        if (queue_[child]->key_ < queue_[at]->key_) break;
        std::swap(queue_[child], queue_[at]);
        at = child;
    }
}

void OverlappedResourceSystem::RemoveAt(size_t at) {
    queue_[at] = queue_.back();
    queue_.pop_back();
    if (at < queue_.size()) {
        SiftUp(at);
        SiftDown(at);
    }
}

bool OverlappedResourceSystem::Remove(OverlappedResource* resource) {
    Kiv::SingleLock hold(&queueLock_, true);
    auto found = std::find(queue_.begin(), queue_.end(), resource);
    if (found == queue_.end()) return false;
    RemoveAt(static_cast<size_t>(found - queue_.begin()));
    return true;
}

size_t OverlappedResourceSystem::GetQueuedCount() {
    Kiv::SingleLock hold(&queueLock_, true);
    return queue_.size();
}

OverlappedResource* OverlappedResourceSystem::PopOldest() {
    if (queue_.empty()) return nullptr;
    // The key is the time waited: rebuilt for every element, so the oldest comes to the root.
    const double now = Kiv::Time::GetSeconds();
    for (OverlappedResource* r : queue_)
        r->key_ = static_cast<float>(now - r->created_);
    for (size_t i = 0; i < queue_.size(); ++i)
        SiftUp(i);
    OverlappedResource* oldest = queue_.front();
    RemoveAt(0);
    return oldest;
}

void OverlappedResourceSystem::RunLoad(OverlappedResource* resource) {
    if (!resource->Load()) {
        resource->state_.store(OverlappedResource::kIdle);
        return;
    }
    std::lock_guard<std::mutex> hold(resource->lock_);
    auto loading = OverlappedResource::kLoading;
    resource->state_.compare_exchange_strong(loading, OverlappedResource::kLoaded);
}

bool OverlappedResourceSystem::LoadNext() {
    OverlappedResource* next;
    {
        Kiv::SingleLock hold(&queueLock_, true);
        next = PopOldest();
        if (next == nullptr) return false;
        next->state_.store(OverlappedResource::kLoading);
        current_ = next;
    }
    RunLoad(next);
    Kiv::SingleLock hold(&queueLock_, true);
    current_ = nullptr;
    return true;
}

uint32_t OverlappedResourceSystem::LoaderLoop() {
    while (!stopping_.load()) {
        idle_.Set();
        Kiv::Time::Delay(1);
        idle_.Reset();
        // A semaphore count left by a resource a requester took out finds the queue empty.
        if (!queued_.Lock(1000) || stopping_.load()) continue;
        LoadNext();
    }
    idle_.Set();
    return 0;
}

OverlappedResourceSystem::FinishSlot& OverlappedResourceSystem::TakeFinishSlot(
    OverlappedResource* resource) {
    std::unique_lock<std::mutex> table(slotTable_);
    FinishSlot* slot = nullptr;
    for (;;) {
        for (FinishSlot& s : slots_)
            if (s.users != 0 && s.resource == resource) slot = &s;
        if (slot == nullptr)
            for (FinishSlot& s : slots_)
                if (s.users == 0) {
                    slot = &s;
                    break;
                }
        if (slot != nullptr) break;
        slotFreed_.wait(table);  // at most eight resources are finished at once
    }
    slot->resource = resource;
    ++slot->users;
    table.unlock();
    slot->lock.lock();
    return *slot;
}

void OverlappedResourceSystem::ReleaseFinishSlot(FinishSlot& slot) {
    slot.lock.unlock();
    std::lock_guard<std::mutex> table(slotTable_);
    if (--slot.users == 0) {
        slot.resource = nullptr;
        slotFreed_.notify_one();
    }
}

void OverlappedResourceSystem::Complete(OverlappedResource* resource) {
    {
        Kiv::SingleLock hold(&queueLock_, true);
        const auto state = resource->state_.load();
        if (state == OverlappedResource::kQueued) {
            auto found = std::find(queue_.begin(), queue_.end(), resource);
            if (found != queue_.end()) RemoveAt(static_cast<size_t>(found - queue_.begin()));
            resource->state_.store(OverlappedResource::kTaken);
        }
        if (current_ == resource) {
            // The loader is working on it: let it run at a raised priority until it is done.
            loader_.SetPriority(kRaisedPriority);
            while (current_ == resource) {
                hold.Unlock();
                idle_.Wait(5);
                hold.Lock();
            }
            loader_.SetPriority(0);
        }
    }
    if (resource->state_.load() == OverlappedResource::kFinished) return;
    FinishSlot& slot = TakeFinishSlot(resource);
    using S = OverlappedResource;
    if (resource->state_.load() == S::kLoaded) {
        resource->state_.store(resource->Finish() ? S::kFinished : S::kIdle);
    } else if (resource->state_.load() != S::kFinished) {
        if (resource->IsCancelled()) {
            // A cancelled resource is not loaded by the completion that ends it.
            resource->state_.store(S::kIdle);
        } else if (resource->Load()) {
            resource->state_.store(resource->Finish() ? S::kFinished : S::kIdle);
        } else {
            resource->state_.store(S::kIdle);
        }
    }
    ReleaseFinishSlot(slot);
}

int OverlappedResourceSystem::Poll(std::unique_ptr<Overlapped>& record) {
    if (record) {
        const auto state = record->GetResource()->GetState();
        if (state == OverlappedResource::kIdle || state == OverlappedResource::kFinished)
            record.reset();
    }
    return record ? 1 : 2;
}

void OverlappedResourceSystem::Cancel(std::unique_ptr<Overlapped>& record) {
    record.reset();  // the record's going away cancels and completes its resource
}
