#include "script/vm/gs_stack.h"

#include <bit>
#include <cstring>

#include "platform/kiv/base/alloc.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/script_log.h"

namespace GSRuntime {

GSStack::GSStack(uint32_t cap) : capacity(cap) {
    size_t words = size_t{cap} + kGuardWords + 1;
    block_ = static_cast<uint32_t*>(Kiv::Alloc::New(4 * words));
    if (block_ == nullptr) {
        capacity = 0;
        static uint32_t none[2];
        buffer = none + 1;
    } else {
        std::memset(block_, 0, 4 * words);
        buffer = block_ + 1;
    }
    top = buffer - 1;
}

GSStack::~GSStack() {
    Reset();
    Kiv::Alloc::Delete(block_);
}

void GSStack::ReleaseReferenceLocals(const GSFunction* f, uint32_t* locals) {
    for (size_t i = f->referenceSlots.size(); i-- > 0;) {
        int32_t slot = f->referenceSlots[i];
        if (slot <= 0) continue;  // `this` goes last
        uint32_t& w = locals[slot];
        Ref r = w;
        w = 0;
        ReleaseReference(r);
    }
}

void GSStack::Reset() {
    while (frame != nullptr) {
        uint32_t* record = frame;
        ReleaseFrameLocals(record);
        top = FrameLocals(record) - 1;
        returnOffset = record[1];
        frame = PreviousFrame(record);
    }
    top = buffer - 1;
    frame = nullptr;
    returnOffset = 0;
}

bool GSStack::ReportOverflow() const {
    GS_SCRIPT_LOG("GSStack overflow...");
    for (const uint32_t* r = frame; r != nullptr; r = PreviousFrame(r)) {
        GSFunction* f = FrameFunction(r);
        GS_SCRIPT_LOG("function %s", f != nullptr ? f->name.c_str() : "");
    }
    return false;
}

bool GSStack::ReportReturnMismatch(int64_t difference) const {
    GS_SCRIPT_LOG("GSStack::ReturnValue> diff=%d", static_cast<int>(difference));
    return false;
}

void GSStack::Dump() const {
    const uint32_t* inner = nullptr;
    for (const uint32_t* r = frame; r != nullptr; r = PreviousFrame(r)) {
        GSFunction* f = FrameFunction(r);
        int line = (inner == nullptr || f == nullptr) ? -1 : f->LineOf(inner[1]);
        GS_SCRIPT_LOG("function %s, line %d", f != nullptr ? f->name.c_str() : "", line);
        inner = r;
    }
}

GSContext* GSStack::CurrentContext() const {
    for (const uint32_t* r = frame; r != nullptr; r = PreviousFrame(r)) {
        // Code whose kinds the image does not settle can store any word over `this`.
        const GSScriptInstance* h = LiveHeader(FrameLocals(r)[0]);
        if (h == nullptr) continue;
        if (GSContext* c = h->Context()) return c;
    }
    return nullptr;
}

void GSStack::PushFloat(float value) {
    Push(std::bit_cast<uint32_t>(value));
}

void GSStack::PushPString(const Kiv::PString& text) {
    Push(GSString::Make(text.view()));
}

void GSStack::PushString(std::string_view text) {
    Push(GSString::Make(text));
}

namespace {

Ref PartOfObject(const GSObjectReference* object, const GSClass* cls) {
    if (object == nullptr) return 0;
    Ref r = object->GetInstance();
    if (r == 0 || cls == nullptr) return r;
    return GetClassData(GetHeader(r), cls);
}

}  // namespace

void GSStack::PushObject(const GSObjectReference* object, const GSClass* cls) {
    Ref r = PartOfObject(object, cls);
    if (r != 0) AddReference(r);
    Push(r);
}

void GSStack::PushObjectAs(const GSObjectReference* object, const GSClass* cls) {
    Push(PartOfObject(object, cls));
}

float GSStack::GetFloat(uint32_t index) const {
    return std::bit_cast<float>(GetWord(index));
}

Ref GSStack::FetchReference(uint32_t index) const {
    Ref r = GetWord(index);
    if (r != 0) AddReference(r);
    return r;
}

}  // namespace GSRuntime
