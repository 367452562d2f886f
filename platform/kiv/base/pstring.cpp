#include "platform/kiv/base/pstring.h"

#include "platform/kiv/base/text.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace Kiv {
namespace detail {

struct PStringEntry {
    std::atomic<uint32_t> refs{0};
    PStringEntry* lower = nullptr;  // counted reference to the lower-case twin, or this
    uint32_t length = 0;
    char text[1];  // the bytes follow, NUL-terminated
};

}  // namespace detail

namespace {

using detail::PStringEntry;

class Cache {
public:
    PStringEntry* Intern(std::string_view text) {
        std::lock_guard<std::mutex> lock(mutex_);
        return InternLocked(text);
    }

    PStringEntry* Lower(PStringEntry* e) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (e->lower == nullptr) {
            std::string lowered(e->text, e->length);
            bool changed = false;
            for (char& c : lowered) {
                if (c >= 'A' && c <= 'Z') {
                    c = static_cast<char>(c - 'A' + 'a');
                    changed = true;
                }
            }
            // The twin link holds its own reference so the twin outlives the original.
            PStringEntry* twin = changed ? InternLocked(lowered) : e;
            if (changed) twin->lower = twin;
            e->lower = twin;
        }
        e->lower->refs.fetch_add(1, std::memory_order_relaxed);
        return e->lower;
    }

    size_t CollectGarbage() {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t freed = 0;
        // Freeing an entry releases its twin, which may become free in turn.
        bool again = true;
        while (again) {
            again = false;
            for (auto it = map_.begin(); it != map_.end();) {
                PStringEntry* e = it->second;
                if (e->refs.load(std::memory_order_acquire) == 0) {
                    it = map_.erase(it);
                    if (e->lower != nullptr && e->lower != e) {
                        e->lower->refs.fetch_sub(1, std::memory_order_acq_rel);
                        again = true;
                    }
                    ::operator delete(e);
                    ++freed;
                } else {
                    ++it;
                }
            }
        }
        return freed;
    }

    size_t Size() {
        std::lock_guard<std::mutex> lock(mutex_);
        return map_.size();
    }

private:
    PStringEntry* InternLocked(std::string_view text) {
        auto it = map_.find(text);
        PStringEntry* e;
        if (it != map_.end()) {
            e = it->second;
        } else {
            void* mem = ::operator new(sizeof(PStringEntry) + text.size());
            e = new (mem) PStringEntry;
            e->length = static_cast<uint32_t>(text.size());
            if (!text.empty()) std::memcpy(e->text, text.data(), text.size());
            e->text[text.size()] = '\0';
            map_.emplace(std::string_view(e->text, e->length), e);
        }
        e->refs.fetch_add(1, std::memory_order_relaxed);
        return e;
    }

    std::mutex mutex_;
    std::unordered_map<std::string_view, PStringEntry*> map_;
};

Cache& TheCache() {
    // Never destroyed: handles in static objects are released after exit.
    static Cache* cache = new Cache;
    return *cache;
}

void AddRef(PStringEntry* e) {
    if (e != nullptr) e->refs.fetch_add(1, std::memory_order_relaxed);
}

void Release(PStringEntry* e) {
    if (e != nullptr) e->refs.fetch_sub(1, std::memory_order_acq_rel);
}

}  // namespace

PString::PString(std::string_view text) : entry_(TheCache().Intern(text)) {}

PString::PString(const char* text)
    : entry_(text == nullptr ? nullptr : TheCache().Intern(std::string_view(text))) {}

PString::PString(const PString& other) noexcept : entry_(other.entry_) {
    AddRef(entry_);
}

PString& PString::operator=(const PString& other) noexcept {
    if (entry_ != other.entry_) {
        AddRef(other.entry_);
        Release(entry_);
        entry_ = other.entry_;
    }
    return *this;
}

PString& PString::operator=(PString&& other) noexcept {
    if (this != &other) {
        Release(entry_);
        entry_ = other.entry_;
        other.entry_ = nullptr;
    }
    return *this;
}

PString::~PString() {
    Release(entry_);
}

PString PString::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    return PString(std::string_view(text));
}

void PString::Setf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    *this = PString(std::string_view(text));
}

const char* PString::c_str() const {
    return entry_ ? entry_->text : "";
}

std::string_view PString::view() const {
    return entry_ ? std::string_view(entry_->text, entry_->length) : std::string_view();
}

size_t PString::Length() const {
    return entry_ ? entry_->length : 0;
}

PString PString::ToLower() const {
    if (entry_ == nullptr) return PString();
    return PString(TheCache().Lower(entry_));
}

bool PString::EqualsIgnoreCase(const PString& other) const {
    if (entry_ == other.entry_) return true;
    if (entry_ == nullptr || other.entry_ == nullptr) return false;
    return ToLower() == other.ToLower();
}

bool PString::operator<(const PString& other) const {
    if (entry_ == other.entry_) return false;
    if (entry_ == nullptr) return true;
    if (other.entry_ == nullptr) return false;
    return view() < other.view();
}

uint32_t PString::RefCount() const {
    return entry_ ? entry_->refs.load(std::memory_order_relaxed) : 0;
}

PString PStringCache::Create(std::string_view text) {
    return PString(text);
}

size_t PStringCache::CollectGarbage() {
    return TheCache().CollectGarbage();
}

size_t PStringCache::Size() {
    return TheCache().Size();
}

}  // namespace Kiv
