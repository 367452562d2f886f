// The dispatch loop: direct-threaded code (one handler address per byte value, 116 to 255
// leading to the illegal-instruction exit), with the program counter, the top of the stack and
// the locals base kept in registers between instructions. What the verifier proved at load
// (operands inside the code, jump targets on instruction starts, stack depths, local and table
// indices) is not checked again here; what a library cannot show at load (the object a call or
// member access reaches, array element kinds, sizes and bounds) is checked where it is used.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "script/bytecode/opcodes.h"
#include "script/bytecode/word_ops.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_dispatch.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_library.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_router.h"
#include "script/vm/gs_string_array.h"

namespace GSRuntime {

namespace {

inline uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline int16_t I16(const uint8_t* p) {
    return static_cast<int16_t>(U16(p));
}
inline uint32_t U32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline float F(uint32_t w) {
    return GSBytecode::WordToFloat(w);
}
inline uint32_t W(float f) {
    return GSBytecode::FloatToWord(f);
}
inline uint32_t I(int32_t v) {
    return static_cast<uint32_t>(v);
}
inline int32_t S(uint32_t w) {
    return static_cast<int32_t>(w);
}

// The handlers' names in the opcode table's order; the check below holds it to the table's
// numbers, so the dispatch has no numbering of its own.
// clang-format off
#define GS_OPCODE_NAMES(X)                                                                            \
    X(IntAdd) X(IntSubtract) X(IntMultiply) X(IntDivide) X(IntRemainder) X(IntNegate)             \
    X(IntIncrement) X(IntDecrement) X(IntToFloat) X(IntCompare) X(PushZero) X(PushOne)            \
    X(IsZero) X(BitAnd) X(BitOr) X(BitXor) X(BitNot) X(ShiftLeft) X(ShiftRight) X(FloatAdd)       \
    X(FloatSubtract) X(FloatMultiply) X(FloatDivide) X(FloatRemainder) X(FloatNegate)             \
    X(FloatIncrement) X(FloatDecrement) X(FloatToInt) X(FloatCompare) X(LogicalNot)               \
    X(PushConstant) X(LoadLocal) X(LoadLocalRef) X(StoreLocal) X(StoreLocalKeep)                  \
    X(StoreLocalRef) X(StoreLocalRefKeep) X(Pop) X(PopRef) X(Dup) X(DupRef) X(DupTwo)             \
    X(Swap) X(Jump) X(JumpIfZero) X(JumpIfNotZero) X(JumpIfZeroKeep) X(JumpIfNotZeroKeep)         \
    X(JumpIfBelow) X(JumpIfBelowOrZero) X(JumpIfAbove) X(JumpIfAboveOrZero) X(TestBelow)          \
    X(TestBelowOrZero) X(TestAbove) X(TestAboveOrZero) X(NewArray) X(NewRefArray)                 \
    X(ArraySize) X(ArrayCopy) X(ArrayLoad) X(ArrayStore) X(ArrayStoreKeep) X(RefArrayLoad)        \
    X(RefArrayStore) X(RefArrayStoreKeep) X(ArrayRange) X(ArrayRangeStore)                        \
    X(ArrayRangeStoreKeep) X(RefArrayRange) X(RefArrayRangeStore) X(RefArrayRangeStoreKeep)       \
    X(NewString) X(LoadString) X(IntToString) X(BoolToString) X(FloatToString) X(StringCopy)      \
    X(StringLength) X(StringLoadChar) X(StringStoreChar) X(StringStoreCharKeep) X(Substring)      \
    X(StringRangeStore) X(StringRangeStoreKeep) X(StringCompare) X(StringConcat) X(IsClass)       \
    X(NewObject) X(StaticObject) X(Cast) X(RefCompare) X(IsNull) X(IsNotNull) X(Call)             \
    X(CallNative) X(CallThread) X(MemberLoad) X(MemberLoadRef) X(MemberStore)                     \
    X(MemberStoreKeep) X(MemberStoreRef) X(MemberStoreRefKeep) X(ThisLoad) X(ThisLoadRef)         \
    X(ThisStore) X(ThisStoreRef) X(ThisStoreKeep) X(ThisStoreRefKeep) X(Return)                   \
    X(ReturnValue) X(ReturnRef) X(Wait) X(Switch) X(CallInherited) X(IsNotZero)
// clang-format on

constexpr bool HandlersFollowTheTable() {
    unsigned i = 0;
    bool ok = true;
#define GS_CHECK(name) ok = ok && GSBytecode::k##name == i++;
    GS_OPCODE_NAMES(GS_CHECK)
#undef GS_CHECK
    return ok && i == GSBytecode::kOpcodeCount;
}
static_assert(HandlersFollowTheTable());

// The fused forms. Each names the instructions it stands for; its number follows the opcodes.
// clang-format off
#define GS_FUSED_TESTS(X) X(TestBelow) X(TestBelowOrZero) X(TestAbove) X(TestAboveOrZero) \
    X(IsZero) X(IsNotZero)
#define GS_FUSED_BINARY(X) X(IntAdd) X(IntSubtract) X(IntMultiply) X(BitAnd) X(BitOr) X(BitXor) \
    X(ShiftLeft) X(ShiftRight)
// load x, push k, icmp, <test>, jz t
#define GS_FUSED_CMP_CONST_JUMP(t) X_FUSED(CmpConstJump_##t)
// load x, load y, icmp, <test>, jz t
#define GS_FUSED_CMP_LOCAL_JUMP(t) X_FUSED(CmpLocalJump_##t)
// load x, push k, <op>
#define GS_FUSED_LOCAL_CONST(o) X_FUSED(LocalConst_##o)
// load x, load y, <op>
#define GS_FUSED_LOCAL_LOCAL(o) X_FUSED(LocalLocal_##o)
// <op>, store x
#define GS_FUSED_OP_STORE(o) X_FUSED(OpStore_##o)
// load x, <op>
#define GS_FUSED_LOAD_OP(o) X_FUSED(LoadOp_##o)
// <op>, retv
#define GS_FUSED_OP_RETURN(o) X_FUSED(OpReturn_##o)
#define GS_FUSED_FORMS                                                                         \
    GS_FUSED_TESTS(GS_FUSED_CMP_CONST_JUMP) GS_FUSED_TESTS(GS_FUSED_CMP_LOCAL_JUMP)            \
    GS_FUSED_BINARY(GS_FUSED_LOCAL_CONST) GS_FUSED_BINARY(GS_FUSED_LOCAL_LOCAL)                \
    GS_FUSED_BINARY(GS_FUSED_OP_STORE) GS_FUSED_BINARY(GS_FUSED_LOAD_OP)                       \
    GS_FUSED_BINARY(GS_FUSED_OP_RETURN)                                                        \
    X_FUSED(LocalIncrement) X_FUSED(LocalDecrement) X_FUSED(ConstStore)                        \
    X_FUSED(LoadReturn) /* load x, retv */                                                     \
    GS_CHECKED_FORMS
// Not fusions but checks the verifier left to the run: a call that refuses a callee leaving
// other than the verified result, and a place where the top is compared before the
// instruction's own form runs (its bound searched for, or, in verified code, numbered in the
// dispatch bytes of the instruction's operands). Last, the script call of verified code that
// keeps its resolved callee (GSFunction::callSites), whatever it was verified with.
#define GS_CHECKED_FORMS X_FUSED(CallExpectNone) X_FUSED(CallExpectPlain) \
    X_FUSED(CallExpectReference) X_FUSED(CallAnyPassingPlain) X_FUSED(CallExpectNonePassingPlain) \
    X_FUSED(CallExpectPlainPassingPlain) X_FUSED(CallExpectReferencePassingPlain) \
    X_FUSED(Checkpoint) X_FUSED(CheckpointAt) X_FUSED(CallSite)
// clang-format on

enum FusedForm : unsigned {
    kBeforeFused = GSBytecode::kOpcodeCount - 1,
#define X_FUSED(name) kFused##name,
    GS_FUSED_FORMS
#undef X_FUSED
        kFusedEnd
};
constexpr uint8_t kNoOpcode = 255;
static_assert(kFusedEnd <= kNoOpcode,
              "the fused forms must leave 255 for bytes that are no opcode");
static_assert(kFusedCallExpectPlain - kFusedCallExpectNone ==
                      GSBytecode::RunChecks::kPlainResult - GSBytecode::RunChecks::kNoResult &&
                  kFusedCallExpectReference - kFusedCallExpectNone ==
                      GSBytecode::RunChecks::kReferenceResult - GSBytecode::RunChecks::kNoResult &&
                  kFusedCallExpectReferencePassingPlain - kFusedCallAnyPassingPlain ==
                      GSBytecode::RunChecks::kReferenceResult - GSBytecode::RunChecks::kAnyResult,
              "the call forms follow the verifier's results");

// How many instructions each fused form stands for.
constexpr unsigned FusedLength(unsigned form) {
    if (form >= kFusedCmpConstJump_TestBelow && form <= kFusedCmpLocalJump_IsNotZero) return 5;
    if (form >= kFusedLocalConst_IntAdd && form <= kFusedLocalLocal_ShiftRight) return 3;
    if (form == kFusedLocalIncrement || form == kFusedLocalDecrement) return 3;
    return 2;
}

template <uint8_t Op>
inline int32_t Binary(int32_t a, int32_t b) {
    using namespace GSBytecode;
    if constexpr (Op == kIntAdd) return IntAdd(a, b);
    if constexpr (Op == kIntSubtract) return IntSubtract(a, b);
    if constexpr (Op == kIntMultiply) return IntMultiply(a, b);
    if constexpr (Op == kBitAnd) return a & b;
    if constexpr (Op == kBitOr) return a | b;
    if constexpr (Op == kBitXor) return a ^ b;
    if constexpr (Op == kShiftLeft) return ShiftLeft(a, b);
    if constexpr (Op == kShiftRight) return ShiftRight(a, b);
}

// A sign test's word for the compare result `c` (-1, 0 or 1).
template <uint8_t Op>
inline bool Test(int32_t c) {
    using namespace GSBytecode;
    if constexpr (Op == kTestBelow) return c < 0;
    if constexpr (Op == kTestBelowOrZero) return c <= 0;
    if constexpr (Op == kTestAbove) return c > 0;
    if constexpr (Op == kTestAboveOrZero) return c >= 0;
    if constexpr (Op == kIsZero) return c == 0;
    if constexpr (Op == kIsNotZero) return c != 0;
}

// The handler table: the opcodes' handlers, the fused forms', and the illegal exit for the rest.
struct HandlerTable {
    void* entries[256];
    HandlerTable(void* const* handlers, size_t count, void* illegal) {
        for (size_t i = 0; i < 256; ++i)
            entries[i] = i < count ? handlers[i] : illegal;
    }
};

// The member word `member` of the part `r`, whose live header is `h` (null when it has none),
// when it lies inside the instance and is of the wanted kind (1 reference, 0 plain); null
// otherwise.
inline uint32_t* MemberWordIn(GSScriptInstance* h, Ref r, uint32_t member, bool reference) {
    const GSClass* c = h != nullptr ? h->cls : nullptr;
    if (c == nullptr) return nullptr;
    uint32_t part = static_cast<uint32_t>(-S(*RefWords(r)));
    uint64_t word = uint64_t{part} + member;
    if (word >= c->memberWordCount || word >= c->wordKinds.size()) return nullptr;
    uint8_t kind = c->wordKinds[word];
    if (reference ? kind != 1 : kind != 0) return nullptr;
    return h->Members() + word;
}
inline uint32_t* MemberWord(Ref r, uint32_t member, bool reference) {
    return MemberWordIn(LiveHeader(r), r, member, reference);
}

// The same for a plain load, which may read any word but a part's bookkeeping.
inline uint32_t* MemberWordAnyKindIn(GSScriptInstance* h, Ref r, uint32_t member) {
    const GSClass* c = h != nullptr ? h->cls : nullptr;
    if (c == nullptr) return nullptr;
    uint32_t part = static_cast<uint32_t>(-S(*RefWords(r)));
    uint64_t word = uint64_t{part} + member;
    if (word >= c->memberWordCount || word >= c->wordKinds.size()) return nullptr;
    return h->Members() + word;
}
inline uint32_t* MemberWordAnyKind(Ref r, uint32_t member) {
    return MemberWordAnyKindIn(LiveHeader(r), r, member);
}

inline void StoreReference(uint32_t& slot, Ref value) {
    Ref old = slot;
    slot = value;
    ReleaseReference(old);
}

std::string FloatText(float f) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(f));
    return buffer;
}

// The array or string behind a reference; null for the null reference and for a reference of
// another sort. The verifier tells references from plain words but not one sort from another,
// so a tampered library can hand an object to a string or array opcode: it fails as a null one.
inline GSArray* ArrayOf(Ref r) {
    GSObjectReference* owner = GetOwner(r);
    return owner != nullptr && owner->Kind() == kKindArray ? static_cast<GSArray*>(owner) : nullptr;
}
inline GSString* StringOf(Ref r) {
    GSObjectReference* owner = GetOwner(r);
    return owner != nullptr && owner->Kind() == kKindString ? static_cast<GSString*>(owner)
                                                            : nullptr;
}

// Resolves a virtual call: the method-table entry `slot` of the part `object`, whose live
// header is `h`; null when the slot lies outside the table.
inline const GSMethodEntry* VirtualEntry(const GSScriptInstance* h, Ref object, uint32_t slot) {
    const GSClass* c = h->cls;
    if (c == nullptr) return nullptr;
    uint64_t index = uint64_t{RefWords(object)[1]} + slot;
    if (index >= c->methods.size()) return nullptr;
    const GSMethodEntry* e = &c->methods[index];
    if (e->function == nullptr || static_cast<uint32_t>(e->baseOffset) >= c->memberWordCount)
        return nullptr;
    return e;
}

// A function's dispatch bytes are made on its first run (a load that only links never needs
// them); verified code may fuse them.
inline void MakeDispatchBytes(GSFunction& f) {
    if (f.dispatch.size() != f.codeSize + size_t{1}) PredecodeFunction(f, f.verified);
}

// The distance from each code byte of `f` to its dispatch byte, and the dispatch byte of a code
// byte at that distance.
inline intptr_t OverlayDistance(const GSFunction& f) {
    return reinterpret_cast<intptr_t>(f.dispatch.data()) - reinterpret_cast<intptr_t>(f.code);
}
inline const uint8_t* Overlay(const uint8_t* at, intptr_t distance) {
    return reinterpret_cast<const uint8_t*>(reinterpret_cast<intptr_t>(at) + distance);
}

// Whether a callee's frame words are the ones its parameter, local and temporary counts give
// (as the link holds every function's to) and its code is pre-decoded: a call site may then keep
// it and lay out its frame without the general push's checks.
inline bool KeepsLeanFrame(const GSFunction& f) {
    return !f.IsNative() && f.topAdvance >= 4 && f.topAdvance <= f.needed &&
           int64_t{f.frameRecord} + 3 == int64_t{f.topAdvance} &&
           int64_t{f.localsBase} == 1 - int64_t{f.params} &&
           f.dispatch.size() == f.codeSize + size_t{1};
}

// The length of the instruction at `pc` of verified code; 0 past the end or where none fits.
uint32_t InstructionLength(const uint8_t* code, uint32_t size, uint32_t pc) {
    using namespace GSBytecode;
    static const auto kFixed = [] {
        std::array<int16_t, 256> a{};
        a.fill(-2);  // no opcode
        for (unsigned op = 0; op < kOpcodeCount; ++op)
            a[op] = static_cast<int16_t>(
                FixedOperandBytes(FindOpcode(static_cast<uint8_t>(op))->layout));
        return a;
    }();
    const int fixed = kFixed[code[pc]];
    uint64_t length;
    if (fixed >= 0) {
        length = 1u + static_cast<uint32_t>(fixed);
    } else if (fixed == -1 && uint64_t{pc} + 3 <= size) {
        const uint64_t entries = U16(code + pc + 1);
        length = 3 + 8 * entries + (code[pc] == kSwitch ? 4 : 0);
    } else {
        return 0;
    }
    return uint64_t{pc} + length <= size ? static_cast<uint32_t>(length) : 0;
}

// Whether the call at `offset` of `f` hands `callee` a word the verifier found plain where the
// callee takes a reference.
bool PassesPlainToReference(const GSFunction& f, uint32_t offset, const GSFunction& callee) {
    auto it = std::lower_bound(
        f.argumentChecks.begin(), f.argumentChecks.end(), offset,
        [](const GSFunction::ArgumentCheck& c, uint32_t at) { return c.offset < at; });
    if (it == f.argumentChecks.end() || it->offset != offset) return false;
    if ((callee.referenceParameters & it->plainArguments) != 0) return true;
    if (!it->plainPast64) return false;
    const std::vector<GSBytecode::RunChecks::PlainArgument>& past = f.runChecks.plainPast64;
    for (auto p = std::lower_bound(past.begin(), past.end(),
                                   GSBytecode::RunChecks::PlainArgument{offset, 0});
         p != past.end() && p->offset == offset; ++p)
        if (p->argument < callee.paramIsReference.size() &&
            callee.paramIsReference[p->argument] != 0)
            return true;
    return false;
}

// `verified`: the code passed the verifier, so it is entered at instruction starts only and a
// call's operand bytes are never dispatched on: they hold the number of its call site.
void PlaceRunChecks(GSFunction& f, bool verified) {
    using namespace GSBytecode;
    f.argumentChecks.clear();
    f.callSites.clear();
    for (const RunChecks::Call& c : f.runChecks.calls) {
        if (c.offset >= f.codeSize) continue;
        const uint8_t op = f.code[c.offset];
        const bool passesPlain = c.plainArguments != 0 || c.plainPast64;
        if (op == kCallThread && passesPlain)
            f.argumentChecks.push_back({c.offset, c.plainArguments, c.plainPast64});
        if (op != kCall && op != kCallNative && op != kCallInherited) continue;
        if (verified && op != kCallNative && f.callSites.size() <= UINT16_MAX) {
            if (passesPlain)
                f.argumentChecks.push_back({c.offset, c.plainArguments, c.plainPast64});
            const auto site = static_cast<uint16_t>(f.callSites.size());
            f.callSites.push_back({});
            f.callSites.back().expect = c.result;
            f.callSites.back().passesPlain = passesPlain;
            f.dispatch[c.offset] = kFusedCallSite;
            f.dispatch[c.offset + 1] = static_cast<uint8_t>(site & 0xFF);
            f.dispatch[c.offset + 2] = static_cast<uint8_t>(site >> 8);
            continue;
        }
        if (passesPlain) {
            f.argumentChecks.push_back({c.offset, c.plainArguments, c.plainPast64});
            f.dispatch[c.offset] = static_cast<uint8_t>(kFusedCallAnyPassingPlain +
                                                        (c.result - RunChecks::kAnyResult));
        } else if (c.result != RunChecks::kAnyResult) {
            f.dispatch[c.offset] =
                static_cast<uint8_t>(kFusedCallExpectNone + (c.result - RunChecks::kNoResult));
        }
    }
    f.bounds.clear();
    for (const RunChecks::Bound& b : f.runChecks.bounds) {
        if (b.offset >= f.codeSize) continue;
        const uint8_t form = f.dispatch[b.offset];
        // An instruction with two operand bytes free for it names its bound there.
        const bool named = verified && form != kFusedCallSite && f.bounds.size() <= UINT16_MAX &&
                           InstructionLength(f.code, f.codeSize, b.offset) >= 3;
        if (named) {
            f.dispatch[b.offset + 1] = static_cast<uint8_t>(f.bounds.size() & 0xFF);
            f.dispatch[b.offset + 2] = static_cast<uint8_t>(f.bounds.size() >> 8);
        }
        f.bounds.push_back({b.offset, b.low, b.high, form});
        f.dispatch[b.offset] = named ? kFusedCheckpointAt : kFusedCheckpoint;
    }
}

}  // namespace

void PredecodeFunction(GSFunction& f, bool fuse) {
    using namespace GSBytecode;
    f.dispatch.clear();
    f.dispatch.reserve(size_t{f.codeSize} + 1);
    f.dispatch.assign(f.code, f.code + f.codeSize);
    // Verified code is only entered at instruction starts, which hold opcodes; other code may
    // be entered anywhere.
    if (!fuse)
        for (uint8_t& b : f.dispatch)
            if (b >= kOpcodeCount) b = kNoOpcode;
    f.dispatch.push_back(kNoOpcode);  // code that runs off its end stops there
    const std::vector<RunChecks::Bound>& bounds = f.runChecks.bounds;
    auto checkpoint = [&](uint32_t offset) {
        return std::binary_search(bounds.begin(), bounds.end(), RunChecks::Bound{offset, 0, 0},
                                  [](const RunChecks::Bound& a, const RunChecks::Bound& b) {
                                      return a.offset < b.offset;
                                  });
    };
    if (!fuse) {
        PlaceRunChecks(f, false);
        return;
    }
    // The instruction starts: the verifier's, or found by length in verified code.
    thread_local std::vector<uint32_t> found;
    const std::vector<uint32_t>* known = &f.runChecks.starts;
    if (known->empty()) {
        found.clear();
        for (uint32_t pc = 0; pc < f.codeSize;) {
            const uint32_t length = InstructionLength(f.code, f.codeSize, pc);
            if (length == 0) break;
            found.push_back(pc);
            pc += length;
        }
        known = &found;
    }
    const std::vector<uint32_t>& starts = *known;
    const size_t n = starts.size();
    const uint8_t* code = f.code;
    auto op = [&](size_t k) -> int { return k < n ? code[starts[k]] : -1; };
    auto slot = [&](size_t k) { return U16(code + starts[k] + 1); };
    static constexpr auto kTestOf = [] {
        std::array<int8_t, 256> a{};
        a.fill(-1);
        const int tests[] = {kTestBelow,       kTestBelowOrZero, kTestAbove,
                             kTestAboveOrZero, kIsZero,          kIsNotZero};
        for (int i = 0; i < 6; ++i)
            a[static_cast<size_t>(tests[i])] = static_cast<int8_t>(i);
        return a;
    }();
    static constexpr auto kBinaryOf = [] {
        std::array<int8_t, 256> a{};
        a.fill(-1);
        const int ops[] = {kIntAdd, kIntSubtract, kIntMultiply, kBitAnd, kBitOr,
                           kBitXor, kShiftLeft,   kShiftRight};  // GS_FUSED_BINARY's order
        for (int i = 0; i < 8; ++i)
            a[static_cast<size_t>(ops[i])] = static_cast<int8_t>(i);
        return a;
    }();
    auto testIndex = [](int o) -> int { return o < 0 ? -1 : kTestOf[static_cast<size_t>(o)]; };
    auto binaryIndex = [](int o) -> int { return o < 0 ? -1 : kBinaryOf[static_cast<size_t>(o)]; };
    for (size_t k = 0; k < n; ++k) {
        const int first = op(k);
        // Every fused form starts with one of these.
        if (first != kLoadLocal && first != kPushConstant && binaryIndex(first) < 0) continue;
        unsigned form = 0;
        const int t = testIndex(op(k + 3));
        if (first == kLoadLocal && op(k + 2) == kIntCompare && t >= 0 && op(k + 4) == kJumpIfZero &&
            (op(k + 1) == kPushConstant || op(k + 1) == kLoadLocal)) {
            form = (op(k + 1) == kPushConstant ? kFusedCmpConstJump_TestBelow
                                               : kFusedCmpLocalJump_TestBelow) +
                   static_cast<unsigned>(t);
        } else if (first == kLoadLocal &&
                   (op(k + 1) == kIntIncrement || op(k + 1) == kIntDecrement) &&
                   op(k + 2) == kStoreLocal && slot(k) == slot(k + 2)) {
            form = op(k + 1) == kIntIncrement ? kFusedLocalIncrement : kFusedLocalDecrement;
        } else if (first == kLoadLocal && binaryIndex(op(k + 2)) >= 0 &&
                   (op(k + 1) == kPushConstant || op(k + 1) == kLoadLocal)) {
            form =
                (op(k + 1) == kPushConstant ? kFusedLocalConst_IntAdd : kFusedLocalLocal_IntAdd) +
                static_cast<unsigned>(binaryIndex(op(k + 2)));
        } else if (binaryIndex(first) >= 0 && op(k + 1) == kStoreLocal) {
            form = kFusedOpStore_IntAdd + static_cast<unsigned>(binaryIndex(first));
        } else if (first == kLoadLocal && binaryIndex(op(k + 1)) >= 0) {
            form = kFusedLoadOp_IntAdd + static_cast<unsigned>(binaryIndex(op(k + 1)));
        } else if (first == kPushConstant && op(k + 1) == kStoreLocal) {
            form = kFusedConstStore;
        } else if (first == kLoadLocal && op(k + 1) == kReturnValue) {
            form = kFusedLoadReturn;
        } else if (binaryIndex(first) >= 0 && op(k + 1) == kReturnValue) {
            form = kFusedOpReturn_IntAdd + static_cast<unsigned>(binaryIndex(first));
        }
        // A place where the top is compared must be dispatched on, not run inside a fusion.
        if (form != 0 && !bounds.empty())
            for (size_t j = k + 1; j < k + FusedLength(form) && j < n; ++j)
                if (checkpoint(starts[j])) form = 0;
        if (form != 0) f.dispatch[starts[k]] = static_cast<uint8_t>(form);
    }
    PlaceRunChecks(f, true);
}

RunResult Dispatch(GSThread& thread, RunState& rs) {
    GSStack& st = thread.stack;
    if (st.frame == nullptr) return {ER_NoStackFrame, 0, nullptr, 0};
    GSFunction* fn = st.FrameFunction(st.frame);
    if (fn == nullptr) return {ER_NoStackFrame, 0, nullptr, 0};
    uint32_t* locals = st.Locals();
    if (locals[0] == 0) return {ER_NullReference, 0, fn, thread.resumeOffset};
    if (thread.resumeOffset >= fn->codeSize)
        return {ER_IllegalInstruction, 0, fn, thread.resumeOffset};

    MakeDispatchBytes(*fn);
    const uint8_t* code = fn->code;
    // The distance from a code byte to its dispatch byte, so a dispatch reads through the
    // program counter alone.
    intptr_t ov = OverlayDistance(*fn);
    const uint8_t* pc = code + thread.resumeOffset;
    const uint8_t* mark = pc;
    const uint8_t* ip = pc;
    uint32_t* sp = st.top;
    int32_t result = ER_Done;
    uint8_t expect = GSBytecode::RunChecks::kAnyResult;  // of the call being made
    bool passesPlain = false;                            // the call passes plain words
    // The live header of the frame's `this`, once checked (null until then). The frame holds a
    // count on its `this`, so the instance stays live for as long as local 0 is not stored to:
    // the check is made once per frame, not at every read of `this`.
    GSScriptInstance* self = nullptr;
    // The functions of the frames this run called from, innermost last, with their checked
    // `this` (null when not checked), code, dispatch bytes and locals: a return finds its
    // caller here rather than through the frame record's handle and locals base. Frames older
    // than the run, and those past the array, are looked up by their records.
    struct Caller {
        GSFunction* fn;
        GSScriptInstance* self;
        const uint8_t* code;
        intptr_t ov;
        uint32_t* locals;
    };
    constexpr uint32_t kCallers = 256;
    Caller callers[kCallers];
    uint32_t callerDepth = 0;
    uint32_t callersNotKept = 0;
    // The call site whose look-up the general call form makes, to keep what it finds.
    GSFunction::CallSite* filling = nullptr;
    uint32_t* popped = nullptr;  // the frame record a return pops
    uint32_t* const stackEnd = st.buffer + st.capacity;

    // One handler per opcode in the table's order (checked above), then one per fused form,
    // then the illegal exit for every byte value that is neither.
    static void* const kNamed[] = {
#define GS_HANDLER(name) &&op_##name,
        GS_OPCODE_NAMES(GS_HANDLER)
#undef GS_HANDLER
#define X_FUSED(name) &&fused_##name,
            GS_FUSED_FORMS
#undef X_FUSED
    };
    static_assert(std::size(kNamed) == kFusedEnd);
    static const HandlerTable kTable(kNamed, std::size(kNamed), &&op_illegal);
    void* const* const handlers = kTable.entries;

#define DISPATCH()                        \
    do {                                  \
        ip = pc++;                        \
        goto* handlers[*Overlay(ip, ov)]; \
    } while (false)
#define SELF() (self != nullptr ? self : (self = LiveHeader(locals[0])))
#define FAIL(code_)       \
    do {                  \
        result = (code_); \
        goto fail;        \
    } while (false)
// A taken jump or a call: count the bytes run since the mark, then check the time-out.
#define COUNT_OR_TIME_OUT()                                   \
    do {                                                      \
        rs.byteCounter += static_cast<uint64_t>(pc - mark);   \
        if (rs.byteCounter > kTimeoutBytes) FAIL(ER_Timeout); \
    } while (false)
#define JUMP(target_)          \
    do {                       \
        COUNT_OR_TIME_OUT();   \
        pc = code + (target_); \
        mark = pc;             \
        DISPATCH();            \
    } while (false)
#define BINARY_INT(expr)       \
    do {                       \
        int32_t b = S(sp[0]);  \
        int32_t a = S(sp[-1]); \
        --sp;                  \
        sp[0] = I(expr);       \
        DISPATCH();            \
    } while (false)
// A jump taken when the popped word `a` passes the test; a test that leaves 1 or 0 for it.
#define POP_JUMP_IF(test)        \
    do {                         \
        int32_t a = S(*sp--);    \
        if (test) JUMP(U32(pc)); \
        pc += 4;                 \
        DISPATCH();              \
    } while (false)
#define TEST_TOP(test)          \
    do {                        \
        int32_t a = S(sp[0]);   \
        sp[0] = (test) ? 1 : 0; \
        DISPATCH();             \
    } while (false)
#define BINARY_FLOAT(expr)   \
    do {                     \
        float b = F(sp[0]);  \
        float a = F(sp[-1]); \
        --sp;                \
        sp[0] = W(expr);     \
        DISPATCH();          \
    } while (false)

    DISPATCH();

    // --- integers -----------------------------------------------------------------------
op_IntAdd:
    BINARY_INT(GSBytecode::IntAdd(a, b));
op_IntSubtract:
    BINARY_INT(GSBytecode::IntSubtract(a, b));
op_IntMultiply:
    BINARY_INT(GSBytecode::IntMultiply(a, b));
op_IntDivide:
    if (sp[0] == 0) FAIL(ER_DivideByZero);
    BINARY_INT(GSBytecode::IntDivide(a, b));
op_IntRemainder:
    if (sp[0] == 0) FAIL(ER_DivideByZero);
    BINARY_INT(GSBytecode::IntRemainder(a, b));
op_IntNegate:
    sp[0] = I(GSBytecode::IntNegate(S(sp[0])));
    DISPATCH();
op_IntIncrement:
    sp[0] = I(GSBytecode::IntAdd(S(sp[0]), 1));
    DISPATCH();
op_IntDecrement:
    sp[0] = I(GSBytecode::IntSubtract(S(sp[0]), 1));
    DISPATCH();
op_IntToFloat:
    sp[0] = W(GSBytecode::IntToFloat(S(sp[0])));
    DISPATCH();
op_IntCompare:
    BINARY_INT(GSBytecode::IntCompare(a, b));
op_PushZero:
    *++sp = 0;
    DISPATCH();
op_PushOne:
    *++sp = 1;
    DISPATCH();
op_IsZero:
    sp[0] = sp[0] == 0 ? 1 : 0;
    DISPATCH();
op_BitAnd:
    BINARY_INT(a & b);
op_BitOr:
    BINARY_INT(a | b);
op_BitXor:
    BINARY_INT(a ^ b);
op_BitNot:
    sp[0] = ~sp[0];
    DISPATCH();
op_ShiftLeft:
    BINARY_INT(GSBytecode::ShiftLeft(a, b));
op_ShiftRight:
    BINARY_INT(GSBytecode::ShiftRight(a, b));
    // --- floats -------------------------------------------------------------------------
op_FloatAdd:
    BINARY_FLOAT(a + b);
op_FloatSubtract:
    BINARY_FLOAT(a - b);
op_FloatMultiply:
    BINARY_FLOAT(a * b);
op_FloatDivide:
    if (GSBytecode::IsFloatZeroDivisor(F(sp[0]))) FAIL(ER_DivideByZero);
    BINARY_FLOAT(a / b);
op_FloatRemainder:
    if (GSBytecode::IsFloatZeroDivisor(F(sp[0]))) FAIL(ER_DivideByZero);
    BINARY_FLOAT(GSBytecode::FloatRemainder(a, b));
op_FloatNegate:
    sp[0] = W(GSBytecode::FloatNegate(F(sp[0])));
    DISPATCH();
op_FloatIncrement:
    sp[0] = W(F(sp[0]) + 1.0f);
    DISPATCH();
op_FloatDecrement:
    sp[0] = W(F(sp[0]) - 1.0f);
    DISPATCH();
op_FloatToInt:
    sp[0] = I(GSBytecode::FloatToInt(F(sp[0])));
    DISPATCH();
op_FloatCompare : {
    float b = F(sp[0]);
    float a = F(sp[-1]);
    --sp;
    sp[0] = I(GSBytecode::FloatCompare(a, b));
    DISPATCH();
}
op_LogicalNot:
    sp[0] = sp[0] == 0 ? 1 : 0;
    DISPATCH();
    // --- constants, locals, stack words -------------------------------------------------
op_PushConstant:
    *++sp = U32(pc);
    pc += 4;
    DISPATCH();
op_LoadLocal:
    *++sp = locals[U16(pc)];
    pc += 2;
    DISPATCH();
op_LoadLocalRef : {
    uint16_t k = U16(pc);
    Ref r = locals[k];
    pc += 2;
    if (k == 0) {
        if (SELF() != nullptr) ++self->refCount;
    } else if (r != 0) {
        AddReference(r);
    }
    *++sp = r;
    DISPATCH();
}
op_StoreLocal:
    locals[U16(pc)] = *sp--;
    pc += 2;
    DISPATCH();
op_StoreLocalKeep:
    locals[U16(pc)] = *sp;
    pc += 2;
    DISPATCH();
op_StoreLocalRef:
    if (U16(pc) == 0) self = nullptr;
    StoreReference(locals[U16(pc)], *sp--);
    pc += 2;
    DISPATCH();
op_StoreLocalRefKeep : {
    Ref r = *sp;
    if (r != 0) AddReference(r);
    if (U16(pc) == 0) self = nullptr;
    StoreReference(locals[U16(pc)], r);
    pc += 2;
    DISPATCH();
}
op_Pop:
    --sp;
    DISPATCH();
op_PopRef:
    ReleaseReference(*sp--);
    DISPATCH();
op_Dup:
    sp[1] = sp[0];
    ++sp;
    DISPATCH();
op_DupRef : {
    Ref r = sp[0];
    if (r != 0) AddReference(r);
    *++sp = r;
    DISPATCH();
}
op_DupTwo : {
    Ref r = sp[-1];
    if (r != 0) AddReference(r);
    sp[1] = r;
    sp[2] = sp[0];
    sp += 2;
    DISPATCH();
}
op_Swap : {
    uint32_t t = sp[0];
    sp[0] = sp[-1];
    sp[-1] = t;
    DISPATCH();
}
    // --- jumps --------------------------------------------------------------------------
op_Jump:
    JUMP(U32(pc));
op_JumpIfZero : {
    uint32_t a = *sp--;
    if (a == 0) JUMP(U32(pc));
    pc += 4;
    DISPATCH();
}
op_JumpIfNotZero : {
    uint32_t a = *sp--;
    if (a != 0) JUMP(U32(pc));
    pc += 4;
    DISPATCH();
}
op_JumpIfZeroKeep:
    if (sp[0] == 0) JUMP(U32(pc));
    pc += 4;
    DISPATCH();
op_JumpIfNotZeroKeep:
    if (sp[0] != 0) JUMP(U32(pc));
    pc += 4;
    DISPATCH();
op_JumpIfBelow:
    POP_JUMP_IF(a < 0);
op_JumpIfBelowOrZero:
    POP_JUMP_IF(a <= 0);
op_JumpIfAbove:
    POP_JUMP_IF(a > 0);
op_JumpIfAboveOrZero:
    POP_JUMP_IF(a >= 0);
op_TestBelow:
    TEST_TOP(a < 0);
op_TestBelowOrZero:
    TEST_TOP(a <= 0);
op_TestAbove:
    TEST_TOP(a > 0);
op_TestAboveOrZero:
    TEST_TOP(a >= 0);
    // --- arrays -------------------------------------------------------------------------
op_NewArray:
op_NewRefArray : {
    uint8_t kind = ip[0] == GSBytecode::kNewRefArray ? 1 : 0;
    int32_t n = S(sp[0]);
    st.top = sp;
    Ref r = GSArray::Make(st.CurrentContext(), kind);
    if (r == 0) FAIL(ER_ArrayOutOfBounds);
    sp[0] = r;  // the array's own reference, released if it cannot grow
    if (!ArrayOf(r)->Resize(n)) FAIL(ER_ArrayOutOfBounds);
    DISPATCH();
}
op_ArraySize : {
    Ref r = sp[0];
    GSArray* a = ArrayOf(r);
    if (a == nullptr) FAIL(ER_NullArrayReference);
    sp[0] = a->count;
    ReleaseReference(r);
    DISPATCH();
}
op_ArrayCopy : {
    Ref r = sp[0];
    GSArray* a = ArrayOf(r);
    if (a == nullptr) FAIL(ER_NullArrayReference);
    st.top = sp;
    Ref copy = GSArray::Make(st.CurrentContext(), a->elementKind);
    if (copy == 0) FAIL(ER_ArrayOutOfBounds);
    sp[0] = copy;
    bool ok = ArrayOf(copy)->CopyRange(a, 0, -1);
    ReleaseReference(r);
    if (!ok) FAIL(ER_ArrayOutOfBounds);
    DISPATCH();
}
op_ArrayLoad:
op_RefArrayLoad : {
    bool refs = ip[0] == GSBytecode::kRefArrayLoad;
    Ref r = sp[-1];
    int32_t i = S(sp[0]);
    GSArray* a = ArrayOf(r);
    if (a == nullptr) FAIL(ER_NullArrayReference);
    if (a->elementKind != (refs ? 1 : 0) || i < 0 || static_cast<uint32_t>(i) >= a->count)
        FAIL(ER_ArrayOutOfBounds);
    uint32_t v = a->elements[i];
    if (refs && v != 0) AddReference(v);
    --sp;
    sp[0] = v;
    ReleaseReference(r);
    DISPATCH();
}
op_ArrayStore:
op_ArrayStoreKeep:
op_RefArrayStore:
op_RefArrayStoreKeep : {
    uint8_t op = ip[0];
    bool refs = op >= GSBytecode::kRefArrayStore;
    bool keep = op == GSBytecode::kArrayStoreKeep || op == GSBytecode::kRefArrayStoreKeep;
    Ref r = sp[-2];
    int32_t i = S(sp[-1]);
    uint32_t v = sp[0];
    GSArray* a = ArrayOf(r);
    if (a == nullptr) FAIL(ER_NullArrayReference);
    if (a->elementKind != (refs ? 1 : 0) || i < 0 || static_cast<uint32_t>(i) >= a->count)
        FAIL(ER_ArrayOutOfBounds);
    if (refs) {
        if (keep && v != 0) AddReference(v);
        StoreReference(a->elements[i], v);
    } else {
        a->elements[i] = v;
    }
    sp -= 2;
    if (keep)
        sp[0] = v;
    else
        --sp;
    ReleaseReference(r);
    DISPATCH();
}
op_ArrayRange:
op_RefArrayRange : {
    bool refs = ip[0] == GSBytecode::kRefArrayRange;
    Ref r = sp[-2];
    int32_t from = S(sp[-1]);
    int32_t to = S(sp[0]);
    GSArray* a = ArrayOf(r);
    if (a == nullptr) FAIL(ER_NullArrayReference);
    if (a->elementKind != (refs ? 1 : 0)) FAIL(ER_ArrayOutOfBounds);
    st.top = sp;
    Ref out = GSArray::Make(st.CurrentContext(), a->elementKind);
    if (out == 0) FAIL(ER_ArrayOutOfBounds);
    bool ok = ArrayOf(out)->CopyRange(a, from, to);
    sp -= 2;
    sp[0] = out;
    ReleaseReference(r);
    if (!ok) FAIL(ER_ArrayOutOfBounds);
    DISPATCH();
}
op_ArrayRangeStore:
op_ArrayRangeStoreKeep:
op_RefArrayRangeStore:
op_RefArrayRangeStoreKeep : {
    uint8_t op = ip[0];
    bool refs = op >= GSBytecode::kRefArrayRangeStore;
    bool keep = op == GSBytecode::kArrayRangeStoreKeep || op == GSBytecode::kRefArrayRangeStoreKeep;
    Ref r = sp[-3];
    int32_t from = S(sp[-2]);
    int32_t to = S(sp[-1]);
    Ref other = sp[0];
    GSArray* a = ArrayOf(r);
    if (a == nullptr) FAIL(ER_NullArrayReference);
    if (a->elementKind != (refs ? 1 : 0)) FAIL(ER_ArrayOutOfBounds);
    GSArray* o = ArrayOf(other);
    if (other != 0 && (o == nullptr || o->elementKind != a->elementKind)) FAIL(ER_ArrayOutOfBounds);
    bool ok = a->Splice(from, to, o);
    sp -= 3;
    sp[0] = keep ? other : 0;
    ReleaseReference(r);
    if (!keep) {
        --sp;
        ReleaseReference(other);
    }
    if (!ok) FAIL(ER_ArrayOutOfBounds);
    DISPATCH();
}
    // --- strings ------------------------------------------------------------------------
op_NewString : {
    st.top = sp;
    Ref s = GSString::Make("");
    if (s == 0) FAIL(ER_StringOutOfBounds);
    *++sp = s;
    DISPATCH();
}
op_LoadString : {
    uint16_t index = U16(pc);
    pc += 2;
    const GSLibrary* lib = fn->owner != nullptr ? fn->owner->library : nullptr;
    if (lib == nullptr || index >= lib->strings.size()) FAIL(ER_IllegalInstruction);
    st.top = sp;
    Ref s = GSString::Make(lib->strings[index]);
    if (s == 0) FAIL(ER_StringOutOfBounds);
    *++sp = s;
    DISPATCH();
}
op_IntToString:
op_BoolToString:
op_FloatToString : {
    uint8_t op = ip[0];
    uint32_t a = sp[0];
    Ref s;
    {  // the text ends before the next dispatch, which may not leave a live std::string's scope
        std::string text = op == GSBytecode::kIntToString ? std::to_string(S(a))
                           : op == GSBytecode::kBoolToString
                               ? std::string(a != 0 ? "true" : "false")
                               : FloatText(F(a));
        st.top = sp;
        s = GSString::Make(text);
    }
    if (s == 0) FAIL(ER_StringOutOfBounds);
    sp[0] = s;
    DISPATCH();
}
op_StringCopy : {
    Ref r = sp[0];
    st.top = sp;
    const GSString* from = StringOf(r);
    if (r != 0 && from == nullptr) FAIL(ER_NullStringReference);
    Ref s = GSString::Make(from != nullptr ? std::string_view(from->text) : std::string_view());
    if (s == 0) FAIL(ER_StringOutOfBounds);
    sp[0] = s;
    ReleaseReference(r);
    DISPATCH();
}
op_StringLength : {
    Ref r = sp[0];
    const GSString* str = StringOf(r);
    if (str == nullptr) FAIL(ER_NullStringReference);
    sp[0] = static_cast<uint32_t>(str->text.size());
    ReleaseReference(r);
    DISPATCH();
}
op_StringLoadChar : {
    Ref r = sp[-1];
    int32_t i = S(sp[0]);
    GSString* str = StringOf(r);
    if (str == nullptr) FAIL(ER_NullStringReference);
    const std::string& t = str->text;
    if (i < 0 || static_cast<size_t>(i) >= t.size()) FAIL(ER_StringOutOfBounds);
    --sp;
    sp[0] = static_cast<uint8_t>(t[static_cast<size_t>(i)]);
    ReleaseReference(r);
    DISPATCH();
}
op_StringStoreChar:
op_StringStoreCharKeep : {
    bool keep = ip[0] == GSBytecode::kStringStoreCharKeep;
    Ref r = sp[-2];
    int32_t i = S(sp[-1]);
    uint32_t v = sp[0];
    GSString* str = StringOf(r);
    if (str == nullptr) FAIL(ER_NullStringReference);
    std::string& t = str->text;
    if (i < 0 || static_cast<size_t>(i) >= t.size()) FAIL(ER_StringOutOfBounds);
    t[static_cast<size_t>(i)] = static_cast<char>(v & 0xFF);
    sp -= 2;
    if (keep)
        sp[0] = v;
    else
        --sp;
    ReleaseReference(r);
    DISPATCH();
}
op_Substring : {
    Ref r = sp[-2];
    int32_t from = S(sp[-1]);
    int32_t to = S(sp[0]);
    GSString* str = StringOf(r);
    if (str == nullptr) FAIL(ER_NullStringReference);
    const std::string& t = str->text;
    int64_t length = static_cast<int64_t>(t.size());
    int64_t f = from < 0 ? 0 : from;
    int64_t e = to < 0 ? length : to;
    if (f > length || e > length || e < f) FAIL(ER_StringOutOfBounds);
    st.top = sp;
    Ref s = GSString::Make(
        std::string_view(t).substr(static_cast<size_t>(f), static_cast<size_t>(e - f)));
    if (s == 0) FAIL(ER_StringOutOfBounds);
    sp -= 2;
    sp[0] = s;
    ReleaseReference(r);
    DISPATCH();
}
op_StringRangeStore:
op_StringRangeStoreKeep : {
    bool keep = ip[0] == GSBytecode::kStringRangeStoreKeep;
    Ref r = sp[-3];
    int32_t from = S(sp[-2]);
    int32_t to = S(sp[-1]);
    Ref other = sp[0];
    GSString* s = StringOf(r);
    if (s == nullptr) FAIL(ER_NullStringReference);
    int64_t length = static_cast<int64_t>(s->text.size());
    if (from > length || to > length || (to >= 0 && from >= 0 && to < from))
        FAIL(ER_StringOutOfBounds);
    const GSString* o = StringOf(other);
    if (other != 0 && o == nullptr) FAIL(ER_NullStringReference);
    if (!s->Splice(from, to, o)) FAIL(ER_StringOutOfBounds);
    sp -= 3;
    sp[0] = keep ? other : 0;
    ReleaseReference(r);
    if (!keep) {
        --sp;
        ReleaseReference(other);
    }
    DISPATCH();
}
op_StringCompare : {
    Ref a = sp[-1];
    Ref b = sp[0];
    const GSString* sa = StringOf(a);
    const GSString* sb = StringOf(b);
    if ((a != 0 && sa == nullptr) || (b != 0 && sb == nullptr)) FAIL(ER_NullStringReference);
    const std::string* ta = sa != nullptr ? &sa->text : nullptr;
    const std::string* tb = sb != nullptr ? &sb->text : nullptr;
    int32_t c;
    if (ta != nullptr && tb != nullptr) {
        int k = ta->compare(*tb);
        c = k < 0 ? -1 : (k > 0 ? 1 : 0);
    } else {
        bool ha = ta != nullptr && !ta->empty();
        bool hb = tb != nullptr && !tb->empty();
        c = hb && !ha ? -1 : (ha && !hb ? 1 : 0);
    }
    --sp;
    sp[0] = I(c);
    ReleaseReference(a);
    ReleaseReference(b);
    DISPATCH();
}
op_StringConcat : {
    Ref a = sp[-1];
    Ref b = sp[0];
    Ref out;
    const GSString* sa = StringOf(a);
    const GSString* sb = StringOf(b);
    if ((a != 0 && sa == nullptr) || (b != 0 && sb == nullptr)) FAIL(ER_NullStringReference);
    if (a != 0 && b != 0) {
        const std::string& ta = sa->text;
        const std::string& tb = sb->text;
        if (ta.size() + tb.size() > GSString::kMaxLength) FAIL(ER_StringOutOfBounds);
        std::string joined;
        joined.reserve(ta.size() + tb.size());
        joined.append(ta).append(tb);
        st.top = sp;
        out = GSString::Make(joined);
        if (out == 0) FAIL(ER_StringOutOfBounds);
        ReleaseReference(a);
        ReleaseReference(b);
    } else if (a != 0 || b != 0) {
        out = a != 0 ? a : b;
    } else {
        st.top = sp;
        out = GSString::Make("");
        if (out == 0) FAIL(ER_StringOutOfBounds);
    }
    --sp;
    sp[0] = out;
    DISPATCH();
}
    // --- classes, objects and references ------------------------------------------------
op_IsClass:
op_NewObject:
op_StaticObject:
op_Cast : {
    uint8_t op = ip[0];
    uint16_t index = U16(pc);
    pc += 2;
    const GSLibrary* lib = fn->owner != nullptr ? fn->owner->library : nullptr;
    GSClass* cls =
        (lib != nullptr && index < lib->classTable.size()) ? lib->classTable[index] : nullptr;
    if (cls == nullptr) FAIL(ER_LinkError);
    if (op == GSBytecode::kIsClass) {  // true for the class or one derived from it
        GSScriptInstance* h = LiveHeader(sp[0]);
        if (h == nullptr) FAIL(ER_NullReference);
        Ref r = sp[0];
        sp[0] = (h->cls != nullptr && h->cls->PartOf(cls) >= 0) ? 1 : 0;
        ReleaseReference(r);
    } else if (op == GSBytecode::kNewObject) {
        static const Kiv::PString kGameObject("GameObject");
        st.top = sp;
        GSContext* ctx = st.CurrentContext();
        const bool game = cls->IsNamed(kGameObject);
        GSObject* object = game ? new (std::nothrow) GSGameObject() : new (std::nothrow) GSObject();
        if (object == nullptr) FAIL(ER_ClassCreateError);
        if (!object->Instantiate(cls, ctx)) {
            delete object;
            FAIL(ER_ClassCreateError);
        }
        // A game object made by a script takes part in its context's messaging at once.
        if (game && ctx != nullptr && ctx->router != nullptr)
            ctx->router->AddNode(static_cast<GSGameObject*>(object));
        *++sp = object->instance;
    } else if (op == GSBytecode::kStaticObject) {
        st.top = sp;
        GSContext* ctx = st.CurrentContext();
        GSObject* object = ctx != nullptr ? ctx->GetStaticObject(cls) : nullptr;
        Ref r = object != nullptr ? GetClassData(GetHeader(object->instance), cls) : 0;
        if (r != 0) AddReference(r);
        *++sp = r;
    } else {
        Ref r = sp[0];
        if (r != 0) {
            GSScriptInstance* h = LiveHeader(r);
            if (h == nullptr) FAIL(ER_NullReference);
            Ref part = GetClassData(h, cls);
            if (part == 0) ReleaseReference(r);
            sp[0] = part;
        }
    }
    DISPATCH();
}
op_RefCompare : {
    Ref a = sp[-1];
    Ref b = sp[0];
    GSScriptInstance* ha = LiveHeader(a);
    GSScriptInstance* hb = LiveHeader(b);
    if ((a != 0 && ha == nullptr) || (b != 0 && hb == nullptr)) FAIL(ER_NullReference);
    bool differ = ha != hb;
    --sp;
    sp[0] = differ ? 1 : 0;
    ReleaseReference(a);
    ReleaseReference(b);
    DISPATCH();
}
op_IsNull:
op_IsNotNull : {
    Ref r = sp[0];
    sp[0] = (ip[0] == GSBytecode::kIsNull) == (r == 0) ? 1 : 0;
    ReleaseReference(r);
    DISPATCH();
}
// --- calls --------------------------------------------------------------------------
// Each form of a call names what its caller was verified with; the body is one.
#define CALL_FORM(label, result, plain)     \
    label:                                  \
    expect = GSBytecode::RunChecks::result; \
    passesPlain = (plain);                  \
    filling = nullptr;                      \
    goto call;
op_Call:
op_CallNative:
    CALL_FORM(op_CallInherited, kAnyResult, false)
    CALL_FORM(fused_CallExpectNone, kNoResult, false)
    CALL_FORM(fused_CallExpectPlain, kPlainResult, false)
    CALL_FORM(fused_CallExpectReference, kReferenceResult, false)
    CALL_FORM(fused_CallAnyPassingPlain, kAnyResult, true)
    CALL_FORM(fused_CallExpectNonePassingPlain, kNoResult, true)
    CALL_FORM(fused_CallExpectPlainPassingPlain, kPlainResult, true)
    CALL_FORM(fused_CallExpectReferencePassingPlain, kReferenceResult, true)
#undef CALL_FORM
// Into a script callee whose frame is laid out: the caller is kept for the return, and the
// callee's `this` is the checked header `h`'s part.
#define ENTER_CALLEE(callee_, locals_)                             \
    do {                                                           \
        if (callerDepth < kCallers && callersNotKept == 0)         \
            callers[callerDepth++] = {fn, self, code, ov, locals}; \
        else                                                       \
            ++callersNotKept;                                      \
        fn = (callee_);                                            \
        code = fn->code;                                           \
        ov = OverlayDistance(*fn);                                 \
        pc = code;                                                 \
        mark = pc;                                                 \
        locals = (locals_);                                        \
        self = h;                                                  \
        DISPATCH();                                                \
    } while (false)
    // A call site of verified code: the object's class and method table are those the site
    // resolved its callee for, so the callee and its shape are as they were checked then; the
    // frame is laid out here. Anything else is resolved by the general form, which keeps it.
fused_CallSite : {
    GSFunction::CallSite& site = fn->callSites[U16(Overlay(pc, ov))];
    const int32_t offset = I16(pc);
    Ref object = sp[offset];
    GSScriptInstance* h = self != nullptr && object == locals[0] ? self : LiveHeader(object);
    if (h == nullptr) {
        pc += 4;
        FAIL(ER_NullReference);
    }
    if (h->cls == nullptr || h->cls->serial != site.classSerial ||
        (ip[0] == GSBytecode::kCall && RefWords(object)[1] != site.tableWord)) [[unlikely]] {
        expect = site.expect;
        passesPlain = site.passesPlain;
        filling = &site;
        goto call;
    }
    GSFunction* const callee = site.callee;
    pc += 4;
    COUNT_OR_TIME_OUT();
    sp[offset] = h->PrimaryRef() + site.thisOffset;
    const auto returnOffset = static_cast<uint32_t>(pc - code);
    if (int64_t{callee->needed} > stackEnd - sp) [[unlikely]] {
        st.top = sp;
        st.PushFrame(callee, returnOffset);  // refuses it, with the report
        FAIL(ER_StackOverflow);
    }
    uint32_t* const frameLocals = sp + offset;
    const uint32_t localWords = callee->topAdvance - 4;
    for (uint32_t k = 1; k <= localWords; ++k)
        sp[k] = 0;
    uint32_t* const record = sp + localWords + 1;
    uint32_t* const buffer = st.buffer;
    record[0] = callee->handle;
    record[1] = returnOffset;
    record[2] = st.frame == nullptr ? 0 : static_cast<uint32_t>(st.frame - buffer) + 1;
    record[3] = static_cast<uint32_t>(frameLocals - buffer);
    st.frame = record;
    sp = record + 3;
    ENTER_CALLEE(callee, frameLocals);
}
call : {
    uint8_t op = ip[0];
    int32_t offset = I16(pc);
    uint16_t slot = U16(pc + 2);
    pc += 4;
    if (offset > 0 || sp + offset <= st.frame + 3) FAIL(ER_IllegalInstruction);
    Ref object = sp[offset];
    // A word equal to the frame's checked `this` names the same live instance.
    GSScriptInstance* h = self != nullptr && object == locals[0] ? self : LiveHeader(object);
    if (h == nullptr) FAIL(ER_NullReference);
    GSFunction* callee;
    int32_t base;
    if (op == GSBytecode::kCallInherited) {
        // The inherited version: the function the library's function table names.
        const GSLibrary* lib = fn->owner != nullptr ? fn->owner->library : nullptr;
        if (lib == nullptr || slot >= lib->functionTable.size()) FAIL(ER_NullReference);
        callee = lib->functionTable[slot];
        int32_t part = h->cls != nullptr ? h->cls->PartOf(callee->owner) : -1;
        if (part < 0) FAIL(ER_NullReference);
        base = part;
    } else {
        const GSMethodEntry* e = VirtualEntry(h, object, slot);
        if (e == nullptr) FAIL(ER_NullReference);
        callee = e->function;
        base = e->baseOffset;
    }
    // The caller's code was verified with the callee's words and result the image showed; a
    // callee of another shape would leave the stack other than the verifier counted it.
    if (callee->params != static_cast<uint32_t>(1 - offset) ||
        callee->IsNative() != (op == GSBytecode::kCallNative) ||
        (expect != GSBytecode::RunChecks::kAnyResult && callee->Result() != expect))
        FAIL(ER_IllegalInstruction);
    // A plain word handed to a reference parameter would be released by a frame that never
    // held it.
    if (passesPlain && (callee->referenceParameters != 0 || callee->params > 65) &&
        PassesPlainToReference(*fn, static_cast<uint32_t>(ip - code), *callee))
        FAIL(ER_IllegalInstruction);
    COUNT_OR_TIME_OUT();
    // `this` becomes the object's part of the callee's class; the count is the caller's.
    sp[offset] = h->PrimaryRef() + 4 * static_cast<uint32_t>(base);
    st.top = sp;
    uint32_t returnOffset = static_cast<uint32_t>(pc - code);
    if (!st.PushFrame(callee, returnOffset)) FAIL(ER_StackOverflow);
    // Before a call site may keep the callee.
    if (!callee->IsNative()) MakeDispatchBytes(*callee);
    if (filling != nullptr) {
        if (KeepsLeanFrame(*callee)) {
            filling->classSerial = h->cls->serial;
            filling->tableWord = op == GSBytecode::kCall ? RefWords(object)[1] : 0;
            filling->thisOffset = 4 * static_cast<uint32_t>(base);
            filling->callee = callee;
        }
        filling = nullptr;
    }
    if (op != GSBytecode::kCallNative) {
        sp = st.top;
        ENTER_CALLEE(callee, st.Locals());
    }
    // A native: called and its frame popped at once.
    mark = pc;
    GSNativeFunction* binding = callee->native;
    if (binding == nullptr || !binding->Call(GetOwner(st.Locals()[0]), st)) {
        sp = st.top;
        FAIL(ER_NativeCallError);  // the failure exit unwinds the native's frame with the rest
    }
    bool ok = callee->ReturnsValue() ? st.ReturnValue(true) : st.PopFrame();
    sp = st.top;
    if (!ok) FAIL(ER_StackReturnError);
    if (thread.state == GSThread::kWaiting) {
        thread.resumeOffset = static_cast<uint32_t>(pc - code);
        result = ER_Blocked;
        goto done;
    }
    if (thread.state == GSThread::kFinished) FAIL(ER_Exception);
    DISPATCH();
}
op_CallThread : {
    int32_t offset = I16(pc);
    pc += 4;
    if (offset > 0 || sp + offset <= st.frame + 3) FAIL(ER_IllegalInstruction);
    Ref object = sp[offset];
    GSScriptInstance* h = LiveHeader(object);
    if (h == nullptr) FAIL(ER_NullReference);
    auto* game = dynamic_cast<GSGameObject*>(h->owner);
    if (game == nullptr || game->router == nullptr) FAIL(ER_ThreadError);
    const GSMethodEntry* e = VirtualEntry(h, object, U16(ip + 3));
    if (e == nullptr) FAIL(ER_NullReference);
    GSFunction* callee = e->function;
    if (callee->params != static_cast<uint32_t>(1 - offset) || callee->IsNative() ||
        PassesPlainToReference(*fn, static_cast<uint32_t>(ip - code), *callee))
        FAIL(ER_IllegalInstruction);
    GSThread* started = game->NewThread();
    if (started == nullptr) FAIL(ER_ThreadError);
    // `this` and the arguments move to the new thread with their counts.
    GSStack& ns = started->stack;
    if (ns.TopIndex() + 1 - int64_t{offset} >= int64_t{ns.capacity}) {
        game->threads.Remove(started);
        delete started;
        FAIL(ER_ThreadError);
    }
    ns.Push(h->PrimaryRef() + 4 * static_cast<uint32_t>(e->baseOffset));
    for (int32_t i = offset + 1; i <= 0; ++i)
        ns.Push(sp[i]);
    if (!ns.PushFrame(callee, 0)) {
        game->threads.Remove(started);
        delete started;  // its reset releases what was moved
        sp += offset - 1;
        FAIL(ER_ThreadError);
    }
    sp += offset - 1;
    DISPATCH();
}
    // --- members ------------------------------------------------------------------------
op_MemberLoad:
op_MemberLoadRef : {
    bool refs = ip[0] == GSBytecode::kMemberLoadRef;
    uint16_t member = U16(pc);
    pc += 2;
    Ref r = sp[0];
    if (r == 0) FAIL(ER_NullReference);
    uint32_t* w = refs ? MemberWord(r, member, true) : MemberWordAnyKind(r, member);
    if (w == nullptr) FAIL(ER_IllegalInstruction);
    uint32_t v = *w;
    if (refs && v != 0) AddReference(v);
    sp[0] = v;
    ReleaseReference(r);
    DISPATCH();
}
op_MemberStore:
op_MemberStoreKeep:
op_MemberStoreRef:
op_MemberStoreRefKeep : {
    uint8_t op = ip[0];
    bool refs = op >= GSBytecode::kMemberStoreRef;
    bool keep = op == GSBytecode::kMemberStoreKeep || op == GSBytecode::kMemberStoreRefKeep;
    uint16_t member = U16(pc);
    pc += 2;
    Ref r = sp[-1];
    uint32_t v = sp[0];
    if (r == 0) FAIL(ER_NullReference);
    uint32_t* w = MemberWord(r, member, refs);
    if (w == nullptr) FAIL(ER_IllegalInstruction);
    if (refs) {
        if (keep && v != 0) AddReference(v);
        StoreReference(*w, v);
    } else {
        *w = v;
    }
    --sp;
    if (keep)
        sp[0] = v;
    else
        --sp;
    ReleaseReference(r);
    DISPATCH();
}
op_ThisLoad:
op_ThisLoadRef : {
    bool refs = ip[0] == GSBytecode::kThisLoadRef;
    uint16_t member = U16(pc);
    pc += 2;
    uint32_t* w = refs ? MemberWordIn(SELF(), locals[0], member, true)
                       : MemberWordAnyKindIn(SELF(), locals[0], member);
    if (w == nullptr) FAIL(ER_IllegalInstruction);
    uint32_t v = *w;
    if (refs && v != 0) AddReference(v);
    *++sp = v;
    DISPATCH();
}
op_ThisStore:
op_ThisStoreRef:
op_ThisStoreKeep:
op_ThisStoreRefKeep : {
    uint8_t op = ip[0];
    bool refs = op == GSBytecode::kThisStoreRef || op == GSBytecode::kThisStoreRefKeep;
    bool keep = op >= GSBytecode::kThisStoreKeep;
    uint16_t member = U16(pc);
    pc += 2;
    uint32_t v = sp[0];
    uint32_t* w = MemberWordIn(SELF(), locals[0], member, refs);
    if (w == nullptr) FAIL(ER_IllegalInstruction);
    if (refs) {
        if (keep && v != 0) AddReference(v);
        StoreReference(*w, v);
    } else {
        *w = v;
    }
    if (!keep) --sp;
    DISPATCH();
}
    // --- returns ------------------------------------------------------------------------
    // The frame of `fn` stands as its code left it, one result word above the record or none:
    // popped here, `locals` being its locals. Anything else goes the general way below, which
    // fails it.
op_ReturnValue:
op_ReturnRef:
    popped = st.frame;
    if (popped == nullptr || sp != popped + 4) [[unlikely]]
        goto return_general;
    {
        const uint32_t word = *sp;
        rs.byteCounter += static_cast<uint64_t>(pc - mark);
        st.ReleaseLocals(locals, fn, self);
        sp = locals;
        *sp = word;
    }
    goto return_to_caller;
op_Return:
    popped = st.frame;
    if (popped == nullptr || sp != popped + 3) [[unlikely]]
        goto return_general;
    rs.byteCounter += static_cast<uint64_t>(pc - mark);
    st.ReleaseLocals(locals, fn, self);
    sp = locals - 1;
return_to_caller : {
    const uint32_t back = popped[1];
    const uint32_t previous = popped[2];
    st.returnOffset = back;
    self = nullptr;
    if (previous == 0) {
        st.frame = nullptr;
        thread.state = GSThread::kFinished;
        mark = pc;
        result = ER_Done;
        goto done;
    }
    uint32_t* const frame = st.buffer + (previous - 1);
    st.frame = frame;
    if (callersNotKept == 0 && callerDepth > 0) [[likely]] {
        // The caller's `this` stayed as it was checked: its frame held it all along; and
        // nothing it called could move its locals or its dispatch bytes.
        const Caller& caller = callers[--callerDepth];
        fn = caller.fn;
        self = caller.self;
        code = caller.code;
        ov = caller.ov;
        locals = caller.locals;
    } else {
        if (callersNotKept > 0) --callersNotKept;
        fn = st.FrameFunction(frame);
        if (fn == nullptr) {
            mark = pc;
            FAIL(ER_NoStackFrame);
        }
        MakeDispatchBytes(*fn);  // a frame pushed from native code may not have run yet
        code = fn->code;
        ov = OverlayDistance(*fn);
        locals = st.FrameLocals(frame);
    }
    pc = code + back;
    mark = pc;
    DISPATCH();
}
return_general : {
    rs.byteCounter += static_cast<uint64_t>(pc - mark);
    st.top = sp;
    // `fn` is the function of the frame being popped.
    bool ok =
        ip[0] == GSBytecode::kReturn ? st.PopFrame(fn, self) : st.ReturnValue(false, fn, self);
    self = nullptr;
    sp = st.top;
    if (!ok) {
        mark = pc;
        FAIL(ER_StackReturnError);
    }
    if (st.frame == nullptr) {
        thread.state = GSThread::kFinished;
        mark = pc;
        result = ER_Done;
        goto done;
    }
    if (callersNotKept == 0 && callerDepth > 0) {
        // The caller's `this` stayed as it was checked: its frame held it all along.
        --callerDepth;
        fn = callers[callerDepth].fn;
        self = callers[callerDepth].self;
    } else {
        if (callersNotKept > 0) --callersNotKept;
        fn = st.FrameFunction(st.frame);
        if (fn == nullptr) {
            mark = pc;
            FAIL(ER_NoStackFrame);
        }
        MakeDispatchBytes(*fn);  // a frame pushed from native code may not have run yet
    }
    code = fn->code;
    ov = OverlayDistance(*fn);
    pc = code + st.returnOffset;
    mark = pc;
    locals = st.Locals();
    DISPATCH();
}
    // --- waiting and switching -----------------------------------------------------------
op_Wait : {
    const uint16_t n = U16(pc);
    const uint8_t* names = pc + 2;
    const uint8_t* targets = names + 4 * size_t{n};
    GSGameObject* game = MessagingObjectOf(thread);
    if (game == nullptr || thread.IsStatic()) FAIL(ER_ThreadError);
    const GSLibrary* lib = fn->owner != nullptr ? fn->owner->library : nullptr;
    if (lib == nullptr) FAIL(ER_IllegalInstruction);
    DropWaitFilters(thread);
    for (uint32_t i = 0; i < n; ++i) {
        const uint16_t majorIndex = U16(names + 4 * size_t{i});
        const uint16_t minorIndex = U16(names + 4 * size_t{i} + 2);
        if (majorIndex >= lib->strings.size() || minorIndex >= lib->strings.size()) {
            DropWaitFilters(thread);
            FAIL(ER_IllegalInstruction);
        }
        GSThread::WaitFilter f;
        f.major = game->router->GetMessageId(lib->strings[majorIndex].c_str());
        f.minor = game->router->GetMessageId(lib->strings[minorIndex].c_str());
        f.offset = U32(targets + 4 * size_t{i});
        thread.filters.push_back(f);
        game->router->Subscribe(game, f.major);
    }
    pc = targets + 4 * size_t{n};
    thread.resumeOffset = static_cast<uint32_t>(pc - code);
    thread.state = GSThread::kWaiting;
    st.top = sp;
    DispatchQueued(thread);  // a message already queued wakes it for its next update
    sp = st.top;
    result = ER_Blocked;
    goto done;
}
op_Switch : {
    uint16_t n = U16(pc);
    const uint8_t* values = pc + 2;
    const uint8_t* targets = values + 4 * size_t{n};
    int32_t a = S(*sp--);
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        int32_t v = S(U32(values + 4 * size_t{mid}));
        if (v < a)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < n && S(U32(values + 4 * size_t{lo})) == a) JUMP(U32(targets + 4 * size_t{lo}));
    JUMP(U32(targets + 4 * size_t{n}));
}
op_IsNotZero:
    sp[0] = sp[0] != 0 ? 1 : 0;
    DISPATCH();

    // --- fused forms: pc stands just past the first instruction's opcode byte -------------
#define CMP_CONST_JUMP(t)                                                       \
    fused_CmpConstJump_##t : {                                                  \
        int32_t c = GSBytecode::IntCompare(S(locals[U16(pc)]), S(U32(pc + 3))); \
        if (!Test<GSBytecode::k##t>(c)) {                                       \
            ip = pc + 9; /* the jz, counted as its own form counts it */        \
            pc = ip + 1;                                                        \
            JUMP(U32(pc));                                                      \
        }                                                                       \
        pc += 14;                                                               \
        DISPATCH();                                                             \
    }
#define CMP_LOCAL_JUMP(t)                                                               \
    fused_CmpLocalJump_##t : {                                                          \
        int32_t c = GSBytecode::IntCompare(S(locals[U16(pc)]), S(locals[U16(pc + 3)])); \
        if (!Test<GSBytecode::k##t>(c)) {                                               \
            ip = pc + 7;                                                                \
            pc = ip + 1;                                                                \
            JUMP(U32(pc));                                                              \
        }                                                                               \
        pc += 12;                                                                       \
        DISPATCH();                                                                     \
    }
    GS_FUSED_TESTS(CMP_CONST_JUMP)
    GS_FUSED_TESTS(CMP_LOCAL_JUMP)
#undef ENTER_CALLEE
#undef CMP_CONST_JUMP
#undef CMP_LOCAL_JUMP
#define LOCAL_CONST(o)                                                                          \
    fused_LocalConst_##o : * ++sp =                                                             \
                               I(Binary<GSBytecode::k##o>(S(locals[U16(pc)]), S(U32(pc + 3)))); \
    pc += 8;                                                                                    \
    DISPATCH();
#define LOCAL_LOCAL(o)                                                                      \
    fused_LocalLocal_##o                                                                    \
        : * ++sp = I(Binary<GSBytecode::k##o>(S(locals[U16(pc)]), S(locals[U16(pc + 3)]))); \
    pc += 6;                                                                                \
    DISPATCH();
#define OP_STORE(o)                                                                             \
    fused_OpStore_##o : locals[U16(pc + 1)] = I(Binary<GSBytecode::k##o>(S(sp[-1]), S(sp[0]))); \
    sp -= 2;                                                                                    \
    pc += 3;                                                                                    \
    DISPATCH();
#define LOAD_OP(o)                                                                        \
    fused_LoadOp_##o : sp[0] = I(Binary<GSBytecode::k##o>(S(sp[0]), S(locals[U16(pc)]))); \
    pc += 3;                                                                              \
    DISPATCH();
    GS_FUSED_BINARY(LOCAL_CONST)
    GS_FUSED_BINARY(LOCAL_LOCAL)
    GS_FUSED_BINARY(OP_STORE)
    GS_FUSED_BINARY(LOAD_OP)
#undef LOCAL_CONST
#undef LOCAL_LOCAL
#undef OP_STORE
#undef LOAD_OP
fused_LocalIncrement : {
    uint32_t& w = locals[U16(pc)];
    w = I(GSBytecode::IntAdd(S(w), 1));
    pc += 6;
    DISPATCH();
}
fused_LocalDecrement : {
    uint32_t& w = locals[U16(pc)];
    w = I(GSBytecode::IntSubtract(S(w), 1));
    pc += 6;
    DISPATCH();
}
fused_ConstStore:
    locals[U16(pc + 5)] = U32(pc);
    pc += 7;
    DISPATCH();
    // The return runs as its own form does, from its own place.
#define OP_RETURN(o)                                                                \
    fused_OpReturn_##o : sp[-1] = I(Binary<GSBytecode::k##o>(S(sp[-1]), S(sp[0]))); \
    --sp;                                                                           \
    ip = pc;                                                                        \
    pc = ip + 1;                                                                    \
    goto op_ReturnValue;
    GS_FUSED_BINARY(OP_RETURN)
#undef OP_RETURN
fused_LoadReturn:
    *++sp = locals[U16(pc)];
    ip = pc + 2;
    pc = ip + 1;
    goto op_ReturnValue;

    // Code whose depth the image does not fix is entered here: the top must stand where the
    // code from here on reads nothing below the frame record and pushes nothing past the
    // function's words.
fused_Checkpoint : {
    const uint32_t at = static_cast<uint32_t>(ip - code);
    const auto& bounds = fn->bounds;
    auto it = std::lower_bound(
        bounds.begin(), bounds.end(), at,
        [](const GSFunction::StackBound& b, uint32_t offset) { return b.offset < offset; });
    const int64_t depth = sp - (st.frame + 3);
    if (it == bounds.end() || it->offset != at || depth < it->low || depth > it->high)
        FAIL(ER_IllegalInstruction);
    goto* handlers[it->form];
}
    // The same where the bound's number stands in the dispatch bytes of the operands.
fused_CheckpointAt : {
    const GSFunction::StackBound& bound = fn->bounds[U16(Overlay(pc, ov))];
    const int64_t depth = sp - (st.frame + 3);
    if (depth < bound.low || depth > bound.high) FAIL(ER_IllegalInstruction);
    goto* handlers[bound.form];
}

op_illegal:
    FAIL(ER_IllegalInstruction);

fail:
    st.top = sp;
    return {result, static_cast<uint64_t>(pc - mark), fn, static_cast<uint32_t>(ip - code)};
done:
    st.top = sp;
    return {result, static_cast<uint64_t>(pc - mark), fn, static_cast<uint32_t>(ip - code)};

#undef DISPATCH
#undef FAIL
#undef COUNT_OR_TIME_OUT
#undef SELF
#undef JUMP
#undef BINARY_INT
#undef BINARY_FLOAT
#undef POP_JUMP_IF
#undef TEST_TOP
}

}  // namespace GSRuntime
