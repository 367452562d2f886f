#include "foundation/callback.h"

int TCXCallbackBase::Invoke(void*) {
    return -1;
}

void TCXCallbackBase::AddRef() {
    Kiv::SingleLock lock(&lock_, true);
    ++refs_;
}

void TCXCallbackBase::Release() {
    bool last;
    {
        Kiv::SingleLock lock(&lock_, true);
        last = --refs_ == 0;
    }
    if (last) delete this;
}

int32_t TCXCallbackBase::GetRefCount() {
    Kiv::SingleLock lock(&lock_, true);
    return refs_;
}

TCXCallback::TCXCallback(TCXCallbackBase* target) : target_(target) {
    if (target_ != nullptr) target_->AddRef();
}

TCXCallback::TCXCallback(const TCXCallback& other) : target_(other.target_) {
    if (target_ != nullptr) target_->AddRef();
}

TCXCallback& TCXCallback::operator=(const TCXCallback& other) {
    TCXCallbackBase* target = other.target_;  // other may be this handle
    if (target != nullptr) target->AddRef();
    Reset();
    target_ = target;
    return *this;
}

TCXCallback& TCXCallback::operator=(TCXCallback&& other) noexcept {
    if (this != &other) {
        Reset();
        target_ = std::exchange(other.target_, nullptr);
    }
    return *this;
}

TCXCallback::~TCXCallback() {
    Reset();
}

void TCXCallback::Reset() {
    if (TCXCallbackBase* t = std::exchange(target_, nullptr)) t->Release();
}

int TCXCallback::Invoke(void* argument) const {
    return target_ != nullptr ? target_->Invoke(argument) : -1;
}
