// Call objects. A TCXCallback is a handle, copied by value, on a counted target that is either
// an object with a member function taking one pointer-sized argument or a plain function. The
// worker call queue, call chains and many notifications run them; whoever holds a handle keeps
// the target alive.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "platform/kiv/base/sync.h"

// The counted target. The count changes only under the target's own critical section; the
// last Release deletes the target.
class TCXCallbackBase {
public:
    TCXCallbackBase() = default;
    TCXCallbackBase(const TCXCallbackBase&) = delete;
    TCXCallbackBase& operator=(const TCXCallbackBase&) = delete;

    virtual int Invoke(void* argument);
    virtual ~TCXCallbackBase() = default;

    void AddRef();
    void Release();
    int32_t GetRefCount();

private:
    Kiv::CriticalSection lock_;
    int32_t refs_ = 0;
};

// A member function of an object; Invoke calls it and returns 0.
template <typename T>
class TCXCallbackCPPVoidPtr final : public TCXCallbackBase {
public:
    using Method = void (T::*)(void*);
    TCXCallbackCPPVoidPtr(T* object, Method method) : object_(object), method_(method) {}
    int Invoke(void* argument) override {
        (object_->*method_)(argument);
        return 0;
    }

private:
    T* object_;
    Method method_;
};

// A plain function; Invoke returns its result.
class TCXCallbackCIntPtr final : public TCXCallbackBase {
public:
    using Function = int (*)(void*);
    explicit TCXCallbackCIntPtr(Function function) : function_(function) {}
    int Invoke(void* argument) override { return function_(argument); }

private:
    Function function_;
};

// Any callable (a lambda with its captures); Invoke returns its result.
class TCXCallbackFunction final : public TCXCallbackBase {
public:
    explicit TCXCallbackFunction(std::function<int(void*)> function)
        : function_(std::move(function)) {}
    int Invoke(void* argument) override { return function_(argument); }

private:
    std::function<int(void*)> function_;
};

class TCXCallback {
public:
    TCXCallback() = default;
    // Holds the target (adds one reference); a null target makes an empty handle.
    explicit TCXCallback(TCXCallbackBase* target);
    TCXCallback(const TCXCallback& other);
    TCXCallback(TCXCallback&& other) noexcept : target_(std::exchange(other.target_, nullptr)) {}
    TCXCallback& operator=(const TCXCallback& other);
    TCXCallback& operator=(TCXCallback&& other) noexcept;
    virtual ~TCXCallback();

    virtual bool IsSet() const { return target_ != nullptr; }
    // -1 when no target is held, else the target's result.
    virtual int Invoke(void* argument) const;

    TCXCallbackBase* GetTarget() const { return target_; }
    void Reset();

private:
    TCXCallbackBase* target_ = nullptr;
};

template <typename T>
TCXCallback MakeCallback(T* object, void (T::*method)(void*)) {
    return TCXCallback(new TCXCallbackCPPVoidPtr<T>(object, method));
}
inline TCXCallback MakeCallback(int (*function)(void*)) {
    return TCXCallback(new TCXCallbackCIntPtr(function));
}
// Any callable, lambdas included.
inline TCXCallback MakeFunctionCallback(std::function<int(void*)> function) {
    return TCXCallback(new TCXCallbackFunction(std::move(function)));
}
