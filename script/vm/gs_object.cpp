#include "script/vm/gs_object.h"

#include <cstring>

#include "platform/kiv/base/alloc.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/vm_statics.h"

namespace GSRuntime {

char* g_regionBase = ReferenceRegion::Get().Base();

void* GSObjectReference::operator new(size_t bytes) {
    void* block = GSContextHeap().Alloc(bytes);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void* GSObjectReference::operator new(size_t bytes, const std::nothrow_t&) noexcept {
    return GSContextHeap().Alloc(bytes);
}

void GSObjectReference::operator delete(void* block) {
    GSContextHeap().Free(block);
}

// --- registry -------------------------------------------------------------------------------

bool GSTrackedRegistry::Register(GSTrackedObject* object) {
    if (current_ == nullptr || current_->freeHead == nullptr) {
        current_ = nullptr;
        for (TrackedBlock* b : blocks_)
            if (b->freeHead != nullptr) {
                current_ = b;
                break;
            }
        if (current_ == nullptr) {
            auto* b = static_cast<TrackedBlock*>(Kiv::Alloc::New(sizeof(TrackedBlock)));
            if (b == nullptr) return false;
            b->owner = this;
            for (uint32_t i = 0; i < kTrackedSlotsPerBlock; ++i) {
                b->slots[i].objectOrNext =
                    i + 1 < kTrackedSlotsPerBlock ? &b->slots[i + 1] : nullptr;
                b->slots[i].block = nullptr;
            }
            b->freeHead = &b->slots[0];
            blocks_.push_back(b);
            current_ = b;
        }
    }
    TrackedSlot* s = current_->freeHead;
    current_->freeHead = static_cast<TrackedSlot*>(s->objectOrNext);
    s->objectOrNext = object;
    s->block = current_;
    object->slot = s;
    if (current_->freeHead == nullptr) current_ = nullptr;
    return true;
}

void GSTrackedRegistry::Unregister(GSTrackedObject* object) {
    TrackedSlot* s = object->slot;
    if (s == nullptr) return;
    TrackedBlock* b = s->block;
    s->objectOrNext = b->freeHead;
    s->block = nullptr;
    b->freeHead = s;
    object->slot = nullptr;
}

void GSTrackedRegistry::TearDown() {
    if (blocks_.empty()) return;
    tearingDown_ = true;
    // Objects made while a pass runs land in fresh slots of the same blocks, or in new blocks
    // that the index loop still reaches.
    for (int pass = 0; pass < 3; ++pass) {
        for (size_t bi = 0; bi < blocks_.size(); ++bi) {
            for (uint32_t i = 0; i < kTrackedSlotsPerBlock; ++i) {
                TrackedSlot& s = blocks_[bi]->slots[i];
                if (s.block == nullptr) continue;
                auto* object = static_cast<GSTrackedObject*>(s.objectOrNext);
                if (pass == 0) {
                    object->Pin();
                } else if (pass == 1) {
                    object->DropReferences();
                } else {
                    s.block = nullptr;
                    s.objectOrNext = nullptr;
                    object->Finalise();
                }
            }
        }
    }
    for (TrackedBlock* b : blocks_)
        Kiv::Alloc::Delete(b);
    blocks_.clear();
    current_ = nullptr;
    tearingDown_ = false;
}

// --- instances ------------------------------------------------------------------------------

GSContext* GSScriptInstance::Context() const {
    if (slot == nullptr || slot->block == nullptr) return nullptr;
    return slot->block->owner->Context();
}

GSScriptInstance* AllocateInstance(GSTrackedRegistry* registry, uint32_t memberWords,
                                   GSObjectReference* owner, GSClass* cls) {
    if (memberWords == 0) memberWords = 1;
    if (memberWords > kMaxMemberWords) return nullptr;
    uint32_t bytes = static_cast<uint32_t>(kHeaderBytes) + 4 * memberWords;
    uint32_t offset = ReferenceRegion::Get().Alloc(bytes);
    if (offset == 0) return nullptr;
    char* at = ReferenceRegion::Get().At(offset);
    auto* h = new (at) GSScriptInstance();
    h->allocBytes = bytes;
    h->owner = owner;
    h->cls = cls;
    std::memset(h->Members(), 0, 4 * size_t{memberWords});
    if (registry != nullptr && !registry->Register(h)) {
        ReferenceRegion::Get().Free(offset, bytes);
        return nullptr;
    }
    return h;
}

void FreeInstance(GSScriptInstance* header) {
    if (header->slot != nullptr) {
        TrackedBlock* b = header->slot->block;
        if (b != nullptr && !b->owner->TearingDown()) b->owner->Unregister(header);
        header->slot = nullptr;
    }
    uint32_t offset = ReferenceRegion::Get().OffsetOf(header);
    uint32_t bytes = header->allocBytes;
    header->~GSScriptInstance();
    ReferenceRegion::Get().Free(offset, bytes);
}

namespace {

void ReleaseWord(uint32_t& word) {
    Ref r = word;
    word = 0;
    ReleaseReference(r);
}

}  // namespace

bool ReleaseMemberReferences(GSScriptInstance* header, const GSClass* cls) {
    if (header->cls != cls || cls == nullptr) return false;
    uint32_t* m = header->Members();
    uint32_t words = cls->memberWordCount;
    for (size_t i = cls->bases.size(); i-- > 0;) {
        const GSBaseEntry& base = cls->bases[i];
        if (base.cls == nullptr) continue;
        for (uint32_t w : base.cls->ownReferenceMembers) {
            uint64_t at = uint64_t(uint32_t(base.w1)) + w;
            if (at < words) ReleaseWord(m[at]);
        }
    }
    for (uint32_t w : cls->ownReferenceMembers)
        if (w < words) ReleaseWord(m[w]);
    return true;
}

void ReleaseLastHeader(GSScriptInstance* h) {
    if (h->owner != nullptr) {
        if (h->owner->DeferDeletion()) return;
        delete h->owner;  // the owner frees its instance
        return;
    }
    if (h->cls != nullptr) {
        ReleaseMemberReferences(h, h->cls);
        FreeInstance(h);
    }
}

Ref GetClassData(GSScriptInstance* header, const GSClass* cls) {
    if (header == nullptr || cls == nullptr || header->cls == nullptr) return 0;
    static const Kiv::PString kGameObject("GameObject");
    if (header->owner == nullptr && header->cls->IsNamed(kGameObject)) return 0;
    int32_t part = header->cls->PartOf(cls);
    if (part < 0) return 0;
    return header->PrimaryRef() + 4 * static_cast<uint32_t>(part);
}

void GSScriptInstance::DropReferences() {
    int32_t kind = owner != nullptr ? owner->Kind() : kKindObject;
    switch (kind) {
        case kKindArray:
            static_cast<GSArray*>(owner)->Resize(0);
            break;
        case kKindObject:
            break;
        case kKindGameObject:
            owner->StopScripts();
            break;
        default:
            return;
    }
    if (cls != nullptr) ReleaseMemberReferences(this, cls);
}

void GSScriptInstance::Finalise() {
    slot = nullptr;
    GSObjectReference* o = owner;
    GSClass* c = cls;
    if (o != nullptr) {
        if (o->Kind() == kKindObject || o->Kind() == kKindGameObject) {
            ++refCount;
            static_cast<GSObject*>(o)->Instantiate(nullptr, nullptr);
            delete o;
        } else {
            delete o;  // a string or array frees its own instance
            return;
        }
    }
    if (c != nullptr) FreeInstance(this);
}

// --- GSObject -------------------------------------------------------------------------------

void GSObject::DropInstance() {
    Ref r = instance;
    instance = 0;
    context = nullptr;
    if (r == 0) return;
    GSScriptInstance* h = GetHeader(r);
    h->owner = nullptr;
    ReleaseHeader(h);
}

GSObject::~GSObject() {
    if (instance == 0) return;
    GSScriptInstance* h = GetHeader(instance);
    if (h->refCount < 2 && h->refCount > 0 && h->cls != nullptr) {
        --h->refCount;
        ReleaseMemberReferences(h, h->cls);
        FreeInstance(h);
        instance = 0;
        context = nullptr;
        return;
    }
    DropInstance();
}

bool GSObject::Instantiate(GSClass* cls, GSContext* ctx) {
    if (cls == nullptr) {
        DropInstance();
        return false;
    }
    if (instance != 0) return false;
    context = ctx;
    if (ctx == nullptr) return false;
    return ctx->CreateScriptInstance(this, cls);
}

}  // namespace GSRuntime
