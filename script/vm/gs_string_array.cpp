#include "script/vm/gs_string_array.h"

#include <atomic>
#include <cstring>

#include "platform/kiv/base/alloc.h"
#include "script/vm/gs_context.h"

namespace GSRuntime {

namespace {

GSTrackedRegistry* RegistryOf(GSContext* context) {
    return context != nullptr ? &context->Registry() : nullptr;
}

// The bytes of every string and the elements of every array together. A script that keeps
// making values (a loop that keeps a new string or array each pass until its time-out) has its
// next allocation fail, as a value too large does, instead of taking all the process's memory.
constexpr size_t kValueBudget = size_t{256} << 20;
std::atomic<size_t> g_budget{kValueBudget};
std::atomic<size_t> g_valueBytes{0};

bool TakeBytes(size_t bytes) {
    if (g_valueBytes.fetch_add(bytes, std::memory_order_relaxed) + bytes >
        g_budget.load(std::memory_order_relaxed)) {
        g_valueBytes.fetch_sub(bytes, std::memory_order_relaxed);
        return false;
    }
    return true;
}

void GiveBackBytes(size_t bytes) {
    g_valueBytes.fetch_sub(bytes, std::memory_order_relaxed);
}

}  // namespace

size_t SetValueBudgetForTesting(size_t bytes) {
    return g_budget.exchange(bytes, std::memory_order_relaxed);
}

size_t ValueBytesInUse() {
    return g_valueBytes.load(std::memory_order_relaxed);
}

// --- strings --------------------------------------------------------------------------------

GSString::GSString(std::string_view t) : GSObjectReference(kKindString), text(t) {
    GSScriptInstance* h = AllocateInstance(RegistryOf(CurrentContext()), 1, this, nullptr);
    instance_ = h != nullptr ? h->PrimaryRef() : 0;
}

GSString::~GSString() {
    GiveBackBytes(charged_);
    if (instance_ != 0) FreeInstance(GetHeader(instance_));
}

// Strings the machine makes for itself (message names) are not charged; every one a script
// makes or grows is.
Ref GSString::Make(std::string_view t) {
    if (t.size() > kMaxLength || !TakeBytes(t.size())) return 0;
    auto* s = new (std::nothrow) GSString(t);
    if (s == nullptr) {
        GiveBackBytes(t.size());
        return 0;
    }
    s->charged_ = t.size();
    if (s->instance_ == 0) {
        delete s;
        return 0;
    }
    return s->instance_;
}

bool GSString::ChargeUpTo(size_t length) {
    if (length <= charged_) return true;
    if (!TakeBytes(length - charged_)) return false;
    charged_ = length;
    return true;
}

bool GSString::Splice(int32_t from, int32_t to, const GSString* other) {
    int64_t length = static_cast<int64_t>(text.size());
    int64_t f = from < 0 ? 0 : from;
    int64_t t = (to < 0 || to > length) ? length : to;
    if (t < f) return false;
    std::string_view insert = other != nullptr ? std::string_view(other->text) : std::string_view();
    if (text.empty()) {
        if (insert.size() > kMaxLength || !ChargeUpTo(insert.size())) return false;
        text.assign(insert);
        return true;
    }
    if (f > length) f = length;
    const size_t grown = text.size() - static_cast<size_t>(t - f) + insert.size();
    if (grown > kMaxLength || !ChargeUpTo(grown)) return false;
    text.replace(static_cast<size_t>(f), static_cast<size_t>(t - f), insert);
    return true;
}

// --- arrays ---------------------------------------------------------------------------------

GSArray::GSArray(GSContext* context, uint8_t kind)
    : GSObjectReference(kKindArray), elementKind(kind) {
    GSScriptInstance* h = AllocateInstance(RegistryOf(context), 1, this, nullptr);
    instance_ = h != nullptr ? h->PrimaryRef() : 0;
}

GSArray::~GSArray() {
    Resize(0);
    if (instance_ != 0) FreeInstance(GetHeader(instance_));
}

Ref GSArray::Make(GSContext* context, uint8_t kind) {
    auto* a = new (std::nothrow) GSArray(context, kind);
    if (a == nullptr) return 0;
    if (a->instance_ == 0) {
        delete a;
        return 0;
    }
    return a->instance_;
}

void GSArray::ReleaseRange(uint32_t from, uint32_t to) {
    if (elementKind != 1) return;
    if (to > count) to = count;
    for (uint32_t i = from; i < to; ++i) {
        Ref r = elements[i];
        elements[i] = 0;
        ReleaseReference(r);
    }
}

void GSArray::AddReferenceRange(uint32_t from, uint32_t to) {
    if (elementKind != 1) return;
    if (to > count) to = count;
    for (uint32_t i = from; i < to; ++i)
        if (elements[i] != 0) AddReference(elements[i]);
}

namespace {

uint32_t* NewElements(size_t n) {
    const size_t bytes = 4 * n;
    if (!TakeBytes(bytes)) return nullptr;
    auto* block = static_cast<uint32_t*>(Kiv::Alloc::New(bytes));
    if (block == nullptr) GiveBackBytes(bytes);
    return block;
}

void DeleteElements(uint32_t* block, size_t n) {
    if (block == nullptr) return;
    GiveBackBytes(4 * n);
    Kiv::Alloc::Delete(block);
}

}  // namespace

bool GSArray::Resize(int32_t n) {
    if (n < 1) {
        // Released from a copy, so a release that reaches back into this array finds it empty.
        uint32_t* old = elements;
        uint32_t oldCount = count;
        elements = nullptr;
        count = 0;
        if (elementKind == 1)
            for (uint32_t i = 0; i < oldCount; ++i)
                ReleaseReference(old[i]);
        DeleteElements(old, oldCount);
        return true;
    }
    uint32_t want = static_cast<uint32_t>(n);
    if (want <= count) return true;
    if (want > kMaxElements) return false;
    uint32_t* block = NewElements(want);
    if (block == nullptr) return false;
    if (count != 0) std::memcpy(block, elements, 4 * size_t{count});
    std::memset(block + count, 0, 4 * size_t{want - count});
    DeleteElements(elements, count);
    elements = block;
    count = want;
    return true;
}

bool GSArray::Splice(int32_t from, int32_t to, const GSArray* other) {
    int64_t f = from < 0 ? 0 : from;
    int64_t t = to < 0 ? count : to;
    if (t < f) return false;
    if (other != nullptr && other->elementKind != elementKind) return false;
    uint32_t otherCount = other != nullptr ? other->count : 0;
    // Elements kept before the gap, the gap of zero words when `from` is beyond the count, the
    // inserted words, and the elements from `to` on.
    int64_t keepBefore = f < count ? f : count;
    int64_t pad = f > count ? f - count : 0;
    int64_t keepAfter = t < count ? count - t : 0;
    int64_t length = keepBefore + pad + otherCount + keepAfter;
    if (length > kMaxElements) return false;
    uint32_t* block = nullptr;
    if (length > 0) {
        block = NewElements(static_cast<size_t>(length));
        if (block == nullptr) return false;
    }
    uint32_t* out = block;
    if (keepBefore > 0) std::memcpy(out, elements, 4 * static_cast<size_t>(keepBefore));
    out += keepBefore;
    if (pad > 0) std::memset(out, 0, 4 * static_cast<size_t>(pad));
    out += pad;
    if (otherCount > 0) std::memcpy(out, other->elements, 4 * size_t{otherCount});
    uint32_t* inserted = out;
    out += otherCount;
    if (keepAfter > 0) std::memcpy(out, elements + t, 4 * static_cast<size_t>(keepAfter));
    // Add the inserted references before releasing the replaced ones: `other` may be this
    // array, or hold the last reference to something being replaced.
    if (elementKind == 1)
        for (uint32_t i = 0; i < otherCount; ++i)
            if (inserted[i] != 0) AddReference(inserted[i]);
    uint32_t* old = elements;
    uint32_t oldCount = count;
    elements = block;
    count = static_cast<uint32_t>(length);
    if (elementKind == 1)
        for (int64_t i = f; i < t && i < oldCount; ++i)
            ReleaseReference(old[i]);
    DeleteElements(old, oldCount);
    return true;
}

bool GSArray::CopyRange(const GSArray* source, int32_t from, int32_t to) {
    if (source == nullptr || source->elementKind != elementKind) return false;
    int64_t f = from < 0 ? 0 : from;
    int64_t t = (to < 0 || to > static_cast<int64_t>(source->count)) ? source->count : to;
    if (t < f) return false;
    uint32_t n = static_cast<uint32_t>(t - f);
    uint32_t* block = nullptr;
    if (n > 0) {
        block = NewElements(n);
        if (block == nullptr) return false;
        std::memcpy(block, source->elements + f, 4 * size_t{n});
        if (elementKind == 1)
            for (uint32_t i = 0; i < n; ++i)
                if (block[i] != 0) AddReference(block[i]);
    }
    Resize(0);
    elements = block;
    count = n;
    return true;
}

}  // namespace GSRuntime
