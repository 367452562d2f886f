// ReferenceCountMP: the thread-safe intrusive reference count under every tree node, raw-data
// block and loaded soup file, and CountedRef, the smart reference that holds one count.
//
// A new object starts with a count of 1, which the first CountedRef adopts; the object deletes
// itself (DeleteSelf) when the last reference goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

class ReferenceCountMP {
public:
    ReferenceCountMP() = default;
    ReferenceCountMP(const ReferenceCountMP&) = delete;
    ReferenceCountMP& operator=(const ReferenceCountMP&) = delete;
    virtual ~ReferenceCountMP() = default;

    // Deletes the object; called by whoever brings the count to zero.
    virtual void DeleteSelf() { delete this; }

    void AddReference() const { count_.fetch_add(1, std::memory_order_relaxed); }
    void ReleaseReference() const {
        if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1)
            const_cast<ReferenceCountMP*>(this)->DeleteSelf();
    }
    int32_t GetReferenceCount() const { return count_.load(std::memory_order_acquire); }

private:
    mutable std::atomic<int32_t> count_{1};
};

// One counted reference to a T (a ReferenceCountMP), or none.
template <typename T>
class CountedRef {
public:
    CountedRef() = default;
    CountedRef(const CountedRef& o) : p_(o.p_) {
        if (p_ != nullptr) p_->AddReference();
    }
    CountedRef(CountedRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <typename U>
    CountedRef(const CountedRef<U>& o) : p_(o.Get()) {  // NOLINT: like a pointer upcast
        if (p_ != nullptr) p_->AddReference();
    }
    ~CountedRef() {
        if (p_ != nullptr) p_->ReleaseReference();
    }
    CountedRef& operator=(const CountedRef& o) {
        // The new reference is taken before the old is dropped, so self-assignment is safe.
        T* old = p_;
        p_ = o.p_;
        if (p_ != nullptr) p_->AddReference();
        if (old != nullptr) old->ReleaseReference();
        return *this;
    }
    CountedRef& operator=(CountedRef&& o) noexcept {
        if (this != &o) {
            T* old = std::exchange(p_, std::exchange(o.p_, nullptr));
            if (old != nullptr) old->ReleaseReference();
        }
        return *this;
    }

    // Takes over a count the caller holds (a new object's first count).
    static CountedRef Adopt(T* object) {
        CountedRef r;
        r.p_ = object;
        return r;
    }
    // Adds a count of its own.
    static CountedRef Share(T* object) {
        if (object != nullptr) object->AddReference();
        return Adopt(object);
    }

    void Reset() {
        if (T* old = std::exchange(p_, nullptr)) old->ReleaseReference();
    }
    // Gives up the count without dropping it; the caller now holds it.
    T* Detach() { return std::exchange(p_, nullptr); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool operator==(const CountedRef& o) const { return p_ == o.p_; }
    bool operator==(const T* o) const { return p_ == o; }

private:
    T* p_ = nullptr;
};

// A new object under its first reference.
template <typename T, typename... Args>
CountedRef<T> MakeCounted(Args&&... args) {
    return CountedRef<T>::Adopt(new T(std::forward<Args>(args)...));
}
