// Native functions: script functions whose bodies are functions of the program. Each binding
// names its script class and signature ("$string@GSObject::GetGSClassName()"); the one
// process-wide registry keeps them in the order added, and the loader binds each native
// function of a class to the first binding whose interned class name and signature are the
// same entries.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "script/vm/gs_object.h"

namespace GSRuntime {

class GSContext;
class GSStack;
class GSThread;

class GSNativeFunction {
public:
    GSNativeFunction(const char* className, const char* signature)
        : className_(className), signature_(signature) {}
    virtual ~GSNativeFunction() = default;
    GSNativeFunction(const GSNativeFunction&) = delete;
    GSNativeFunction& operator=(const GSNativeFunction&) = delete;

    // Runs the native for `target` (the owner of `this`) with the caller's stack, from which
    // it takes its arguments and onto which it pushes its result. False when the call cannot
    // be made (no target, or a target of the wrong class).
    virtual bool Call(GSObjectReference* target, GSStack& stack) = 0;

    const Kiv::PString& ClassName() const { return className_; }
    const Kiv::PString& Signature() const { return signature_; }

private:
    Kiv::PString className_;
    Kiv::PString signature_;
};

// A plain function given the target's context.
class GSCNativeFunction final : public GSNativeFunction {
public:
    using Function = void (*)(GSContext* context, GSStack& stack);
    GSCNativeFunction(const char* className, const char* signature, Function f)
        : GSNativeFunction(className, signature), function_(f) {}
    bool Call(GSObjectReference* target, GSStack& stack) override;

private:
    Function function_;
};

// A member function of a native class T, called on the target converted to T.
template <typename T>
class GSCPPNativeFunction final : public GSNativeFunction {
public:
    using Method = void (T::*)(GSStack& stack);
    GSCPPNativeFunction(const char* className, const char* signature, Method m)
        : GSNativeFunction(className, signature), method_(m) {}
    bool Call(GSObjectReference* target, GSStack& stack) override {
        T* object = dynamic_cast<T*>(target);
        if (object == nullptr) return false;
        (object->*method_)(stack);
        return true;
    }

private:
    Method method_;
};

// A member function of the target's context.
template <typename C>
class GSCPPContextNativeFunction final : public GSNativeFunction {
public:
    using Method = void (C::*)(GSStack& stack);
    GSCPPContextNativeFunction(const char* className, const char* signature, Method m)
        : GSNativeFunction(className, signature), method_(m) {}
    bool Call(GSObjectReference* target, GSStack& stack) override;

private:
    Method method_;
};

// The context of a native call's target: the context its instance is tracked in.
GSContext* ContextOfTarget(const GSObjectReference* target);

template <typename C>
bool GSCPPContextNativeFunction<C>::Call(GSObjectReference* target, GSStack& stack) {
    C* context = dynamic_cast<C*>(ContextOfTarget(target));
    if (context == nullptr) return false;
    (context->*method_)(stack);
    return true;
}

class GSNativeRegistry {
public:
    // The registry, built and given its built-in natives on first use.
    static GSNativeRegistry& Get();

    void Add(std::unique_ptr<GSNativeFunction> binding);
    // The first binding whose interned class name and signature are these entries.
    GSNativeFunction* Find(const Kiv::PString& className, const Kiv::PString& signature) const;
    size_t Count() const { return bindings_.size(); }
    // The bindings in the order added.
    const GSNativeFunction& At(size_t i) const { return *bindings_[i]; }
    // The static thread that runs script calls made from native code.
    GSThread* StaticThread() const { return staticThread_.get(); }

    ~GSNativeRegistry();

private:
    GSNativeRegistry() = default;
    void RegisterBuiltinNatives();
    std::vector<std::unique_ptr<GSNativeFunction>> bindings_;
    std::unique_ptr<GSThread> staticThread_;
};

// One row of a native class's table: a script signature and the member function it runs.
template <typename Binding>
struct NativeRow {
    const char* signature;
    typename Binding::Method method;
};

// Binds each row to `className` through `Binding` (a GSCPPNativeFunction of the object's class
// or a GSCPPContextNativeFunction of the context's), in the table's order.
template <typename Binding, size_t N>
void AddNativeRows(GSNativeRegistry& registry, const char* className,
                   const NativeRow<Binding> (&rows)[N]) {
    for (const NativeRow<Binding>& row : rows)
        registry.Add(std::make_unique<Binding>(className, row.signature, row.method));
}

}  // namespace GSRuntime
