// The value stack of a script thread: 32-bit words with a chain of four-word call frames
// {function handle, return offset, previous frame (index + 1, 0 for none), locals base index}.
// Local 0 of a frame is `this`, parameter n the word n above it; a native takes its arguments
// there and pushes its result above its frame record.
//
// The fit rule of a call counts the top word itself, so a frame that fits can end one word
// past the buffer: the buffer carries guard words beyond its capacity (and one below it, where
// the top of an empty stack points), and no fitting frame ever writes outside the block.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"
#include "script/vm/gs_class.h"
#include "script/vm/gs_object.h"

namespace GSRuntime {

class GSContext;

class GSStack {
public:
    static constexpr uint32_t kThreadWords = 1024;
    static constexpr uint32_t kGuardWords = 8;

    explicit GSStack(uint32_t capacity = kThreadWords);
    virtual ~GSStack();
    GSStack(const GSStack&) = delete;
    GSStack& operator=(const GSStack&) = delete;

    // Pops every frame (releasing each frame's reference locals and `this`) and empties the
    // stack.
    void Reset();
    // False, with "GSStack overflow..." and the frame list in the script log, when the
    // function's words do not fit.
    bool PushFrame(GSFunction* function, uint32_t returnOffset);
    // False when there is no frame or the top does not stand on the frame record. The
    // interpreter, which knows the frame's function, hands it over (`function`); null looks it
    // up by the record's handle. It hands over the live header of the frame's `this` too when
    // it has checked it (`self`); null checks the word before releasing it.
    bool PopFrame(const GSFunction* function = nullptr, GSScriptInstance* self = nullptr);
    // Pops the frame keeping one result word in the place of `this`; after a native call an
    // empty frame gives 0 (allowMissing). False, logging "GSStack::ReturnValue> diff=%d", when
    // the frame holds anything else.
    bool ReturnValue(bool allowMissing, const GSFunction* function = nullptr,
                     GSScriptInstance* self = nullptr);
    // Releases the reference locals of a frame of `function` (none when null), whose locals
    // start at `locals`, and then its `this`, whose live header is `self` (null: checked here),
    // zeroing each; the interpreter's return, which pops the record itself, calls it too.
    [[gnu::always_inline]] void ReleaseLocals(uint32_t* locals, const GSFunction* function,
                                              GSScriptInstance* self) {
        if (function != nullptr && !function->referenceSlots.empty())
            ReleaseReferenceLocals(function, locals);
        Ref word = locals[0];
        locals[0] = 0;
        if (self != nullptr)
            ReleaseHeader(self);
        else
            ReleaseReference(word);
    }
    // "function %s, line %d" per frame from the current one outwards.
    void Dump() const;
    // The context of the first frame whose `this` has one, from the current frame outwards.
    GSContext* CurrentContext() const;

    bool Empty() const { return top == buffer - 1; }
    int32_t TopIndex() const { return static_cast<int32_t>(top - buffer); }

    // Frame access.
    GSFunction* FrameFunction(const uint32_t* record) const {
        return FunctionFromHandle(record[0]);
    }
    uint32_t* FrameLocals(const uint32_t* record) const { return buffer + record[3]; }
    uint32_t* PreviousFrame(const uint32_t* record) const {
        return record[2] == 0 ? nullptr : buffer + (record[2] - 1);
    }
    uint32_t* Locals() const { return frame == nullptr ? nullptr : FrameLocals(frame); }

    // Pushes; the top moves up one word.
    void Push(uint32_t word) { *++top = word; }
    void PushFloat(float value);
    void PushPString(const Kiv::PString& text);
    void PushString(std::string_view text);
    // The object's instance as its part of `cls` (any part when `cls` is null), 0 when none;
    // PushObject adds a reference to a non-null result, PushObjectAs does not.
    void PushObject(const GSObjectReference* object, const GSClass* cls);
    void PushObjectAs(const GSObjectReference* object, const GSClass* cls);
    // Parameter `index` of the current frame.
    uint32_t GetWord(uint32_t index) const { return Locals()[index]; }
    float GetFloat(uint32_t index) const;
    // The reference at parameter `index` with one reference added (0 stays 0).
    Ref FetchReference(uint32_t index) const;

    // The state a nested run on a shared static thread saves and restores.
    struct State {
        uint32_t* top;
        uint32_t* frame;
        uint32_t returnOffset;
    };
    State Save() const { return {top, frame, returnOffset}; }
    void Restore(const State& s) {
        top = s.top;
        frame = s.frame;
        returnOffset = s.returnOffset;
    }

    uint32_t returnOffset = 0;
    uint32_t* top = nullptr;
    uint32_t* buffer = nullptr;
    uint32_t capacity = 0;
    uint32_t* frame = nullptr;

private:
    // Releases the frame's reference locals and then `this`, zeroing each.
    [[gnu::always_inline]] void ReleaseFrameLocals(const uint32_t* record,
                                                   const GSFunction* f = nullptr,
                                                   GSScriptInstance* selfHeader = nullptr) {
        ReleaseLocals(FrameLocals(record), f != nullptr ? f : FrameFunction(record), selfHeader);
    }
    void ReleaseReferenceLocals(const GSFunction* f, uint32_t* locals);
    bool ReportOverflow() const;
    bool ReportReturnMismatch(int64_t difference) const;
    uint32_t* block_ = nullptr;
};

// Calls and returns run these for every script call, so they are inline; only the reports of
// a failure are not.

[[gnu::always_inline]] inline bool GSStack::PushFrame(GSFunction* function, uint32_t retOffset) {
    const int64_t i = top - buffer;
    const int64_t base = i + function->localsBase;
    if (int64_t{function->needed} > int64_t{capacity} - i || base < 0 || function->needed < 4 ||
        int64_t{function->frameRecord} + 3 > int64_t{function->needed} ||
        function->topAdvance > function->needed) [[unlikely]]
        return ReportOverflow();
    // Every word the frame puts below the new top starts at 0: the locals and temporaries
    // (whose references are released when the frame goes); the record's words are written
    // below.
    const int64_t advance = function->topAdvance;
    const int64_t recordAt = function->frameRecord;
    for (int64_t k = 1; k <= std::min(advance, recordAt - 1); ++k)
        top[k] = 0;
    for (int64_t k = std::max<int64_t>(1, recordAt + 4); k <= advance; ++k)
        top[k] = 0;
    uint32_t* record = top + function->frameRecord;
    record[0] = function->handle;
    record[1] = retOffset;
    record[2] = frame == nullptr ? 0 : static_cast<uint32_t>(frame - buffer) + 1;
    record[3] = static_cast<uint32_t>(base);
    frame = record;
    top += function->topAdvance;
    return true;
}

[[gnu::always_inline]] inline bool GSStack::PopFrame(const GSFunction* function,
                                                     GSScriptInstance* self) {
    if (frame == nullptr) return false;
    uint32_t* record = frame;
    if (top != record + 3) return false;
    ReleaseFrameLocals(record, function, self);
    top = FrameLocals(record) - 1;
    returnOffset = record[1];
    frame = PreviousFrame(record);
    return true;
}

[[gnu::always_inline]] inline bool GSStack::ReturnValue(bool allowMissing,
                                                        const GSFunction* function,
                                                        GSScriptInstance* self) {
    if (frame == nullptr) return false;
    uint32_t* record = frame;
    const int64_t d = top - record;
    uint32_t result;
    if (d == 4) [[likely]] {
        result = *top;
    } else if (d == 3 && allowMissing) {
        result = 0;
    } else {
        return ReportReturnMismatch(d);
    }
    ReleaseFrameLocals(record, function, self);
    top = FrameLocals(record);
    *top = result;
    returnOffset = record[1];
    frame = PreviousFrame(record);
    return true;
}

}  // namespace GSRuntime
