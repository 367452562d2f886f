// RefCountedPtr<T>: a handle that holds one reference on an intrusively counted object. The
// count is atomic, so handles on one object may live in several threads; the object deletes
// itself (through its virtual destructor) when the last reference goes.
#pragma once

#include <atomic>
#include <cstdint>

class RefCountedObject {
public:
    RefCountedObject() = default;
    virtual ~RefCountedObject() = default;
    RefCountedObject(const RefCountedObject&) = delete;
    RefCountedObject& operator=(const RefCountedObject&) = delete;

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference and deletes the object when it was the last.
    void Release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    int32_t GetRefCount() const { return refs_.load(std::memory_order_relaxed); }

private:
    std::atomic<int32_t> refs_{0};
};

template <typename T>
class RefCountedPtr {
public:
    RefCountedPtr() = default;
    explicit RefCountedPtr(T* p) { Assign(p); }
    RefCountedPtr(const RefCountedPtr& o) { Assign(o.p_); }
    RefCountedPtr(RefCountedPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    RefCountedPtr& operator=(const RefCountedPtr& o) {
        Assign(o.p_);
        return *this;
    }
    RefCountedPtr& operator=(RefCountedPtr&& o) noexcept {
        if (this != &o) {
            T* old = p_;
            p_ = o.p_;
            o.p_ = nullptr;
            if (old != nullptr) old->Release();
        }
        return *this;
    }
    ~RefCountedPtr() { Assign(nullptr); }

    // The new target gains a reference before the old one loses its own, so assigning an
    // object to the handle that already holds it never frees it.
    void Assign(T* p) {
        if (p != nullptr) p->AddRef();
        T* old = p_;
        p_ = p;
        if (old != nullptr) old->Release();
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};
