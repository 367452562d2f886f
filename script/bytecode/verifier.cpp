#include "script/bytecode/verifier.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <map>
#include <vector>

#include "script/bytecode/opcodes.h"

namespace GSBytecode {

bool SignatureReturnsValue(std::string_view signature) {
    if (signature.empty() || signature[0] != '$') return false;
    size_t at = signature.find('@');
    std::string_view ret = signature.substr(1, at == std::string_view::npos ? 0 : at - 1);
    return ret != "void";
}

namespace {

bool IsPlainTypeName(std::string_view type) {
    return type == "void" || type == "bool" || type == "int" || type == "float";
}

}  // namespace

namespace {

bool ReturnsReference(std::string_view signature) {
    size_t at = signature.find('@');
    return !signature.empty() && signature[0] == '$' && at != std::string_view::npos &&
           !IsPlainTypeName(signature.substr(1, at - 1));
}

}  // namespace

SignatureKinds KindsOfSignature(std::string_view signature) {
    SignatureKinds kinds;
    kinds.returnsReference = ReturnsReference(signature);
    size_t open = signature.find('(');
    if (open == std::string_view::npos) return kinds;
    for (size_t p = open + 1; p < signature.size() && signature[p] != ')';) {
        size_t end = signature.find_first_of(",)", p);
        if (end == std::string_view::npos) end = signature.size();
        kinds.parameterIsReference.push_back(!IsPlainTypeName(signature.substr(p, end - p)));
        p = end < signature.size() && signature[end] == ',' ? end + 1 : end;
    }
    return kinds;
}

namespace {

// A stack word's kind. The constant 0 is both a plain zero and the null reference.
enum Kind : uint8_t { kPlain = 0, kRef = 1, kNull = 2 };

// What each opcode reads and leaves, words listed from the lowest up. Read: '.' any word, 'r' a
// reference or 0. Left: 'p' plain, 'r' reference, 'z' 0, 'c' the constant operand (0 or plain),
// a digit the kind of that read word. Calls, frame slots and returns have checks of their own.
struct KindRow {
    std::string_view reads;
    std::string_view leaves;
};

constexpr KindRow kKinds[kOpcodeCount] = {
    {"..", "p"},  {"..", "p"},    {"..", "p"},  {"..", "p"},   {"..", "p"},    // 0-4
    {".", "p"},   {".", "p"},     {".", "p"},   {".", "p"},    {"..", "p"},    // 5-9
    {"", "z"},    {"", "p"},      {".", "p"},   {"..", "p"},   {"..", "p"},    // 10-14
    {"..", "p"},  {".", "p"},     {"..", "p"},  {"..", "p"},   {"..", "p"},    // 15-19
    {"..", "p"},  {"..", "p"},    {"..", "p"},  {"..", "p"},   {".", "p"},     // 20-24
    {".", "p"},   {".", "p"},     {".", "p"},   {"..", "p"},   {".", "p"},     // 25-29
    {"", "c"},    {"", "p"},      {"", "r"},    {".", ""},     {".", "0"},     // 30-34
    {"r", ""},    {"r", "0"},     {".", ""},    {"r", ""},     {".", "00"},    // 35-39
    {"r", "00"},  {"r.", "0101"}, {"..", "10"}, {"", ""},      {".", ""},      // 40-44
    {".", ""},    {".", "0"},     {".", "0"},   {".", ""},     {".", ""},      // 45-49
    {".", ""},    {".", ""},      {".", "p"},   {".", "p"},    {".", "p"},     // 50-54
    {".", "p"},   {".", "r"},     {".", "r"},   {"r", "p"},    {"r", "r"},     // 55-59
    {"r.", "p"},  {"r..", ""},    {"r..", "2"}, {"r.", "r"},   {"r.r", ""},    // 60-64
    {"r.r", "2"}, {"r..", "r"},   {"r..r", ""}, {"r..r", "3"}, {"r..", "r"},   // 65-69
    {"r..r", ""}, {"r..r", "3"},  {"", "r"},    {"", "r"},     {".", "r"},     // 70-74
    {".", "r"},   {".", "r"},     {"r", "r"},   {"r", "p"},    {"r.", "p"},    // 75-79
    {"r..", ""},  {"r..", "2"},   {"r..", "r"}, {"r..r", ""},  {"r..r", "3"},  // 80-84
    {"rr", "p"},  {"rr", "r"},    {"r", "p"},   {"", "r"},     {"", "r"},      // 85-89
    {"r", "r"},   {"rr", "p"},    {"r", "p"},   {"r", "p"},    {"", ""},       // 90-94
    {"", ""},     {"", ""},       {"r", "p"},   {"r", "r"},    {"r.", ""},     // 95-99
    {"r.", "1"},  {"rr", ""},     {"rr", "1"},  {"", "p"},     {"", "r"},      // 100-104
    {".", ""},    {"r", ""},      {".", "0"},   {"r", "0"},    {"", ""},       // 105-109
    {".", ""},    {"r", ""},      {"", ""},     {".", ""},     {"", ""},       // 110-114
    {".", "p"},                                                                // 115
};

bool KindRowsFitTheTable() {
    for (unsigned op = 0; op < kOpcodeCount; ++op) {
        const OpcodeInfo* info = FindOpcode(static_cast<uint8_t>(op));
        if (kKinds[op].reads.size() != info->pops || kKinds[op].leaves.size() != info->pushes ||
            kKinds[op].reads.size() > 4)
            return false;
    }
    return true;
}

// The kind rows decoded once, so the walk reads no text per instruction. A left kind is
// kPlain, kRef, kNull, `kConstantKind`, or `kFromRead` plus the read word's position.
constexpr uint8_t kConstantKind = 3;
constexpr uint8_t kFromRead = 4;

struct KindCode {
    uint8_t reads = 0;
    uint8_t leaves = 0;
    uint8_t readsReference = 0;  // bit i: read word i must be a reference or 0
    uint8_t leave[4] = {};
};

const KindCode* KindCodes() {
    static const auto codes = [] {
        std::array<KindCode, kOpcodeCount> out{};
        for (size_t op = 0; op < kOpcodeCount; ++op) {
            const KindRow& row = kKinds[op];
            KindCode& code = out[op];
            code.reads = static_cast<uint8_t>(std::min<size_t>(row.reads.size(), 4));
            code.leaves = static_cast<uint8_t>(std::min<size_t>(row.leaves.size(), 4));
            for (size_t i = 0; i < code.reads; ++i)
                if (row.reads[i] == 'r') code.readsReference |= static_cast<uint8_t>(1u << i);
            for (size_t i = 0; i < code.leaves; ++i) {
                const char c = row.leaves[i];
                code.leave[i] = c >= '0' && c <= '9' ? static_cast<uint8_t>(kFromRead + (c - '0'))
                                : c == 'c'           ? kConstantKind
                                : c == 'r'           ? uint8_t{kRef}
                                : c == 'z'           ? uint8_t{kNull}
                                                     : uint8_t{kPlain};
            }
        }
        return out;
    }();
    return codes.data();
}

bool IsReferenceSlot(const GslFunction& f, int64_t slot) {
    if (slot == 0) return true;  // `this`
    for (int32_t s : f.referenceSlots)
        if (s == slot) return true;
    return false;
}

constexpr int32_t kUnseen = -1;
constexpr int32_t kUnknown = -2;  // after a call whose result the image does not show

enum class CallResult { kNone, kValue, kUnknown };

class Verifier {
public:
    Verifier(const GslImage& image, VerifyError& error) : image_(image), error_(error) {}

    bool Run(std::vector<std::vector<RunChecks>>* checks) {
        static const bool rowsFit = KindRowsFitTheTable();
        if (!rowsFit) {
            error_.text = "the kind rows are out of step with the opcode table";
            return false;
        }
        if (checks != nullptr) checks->assign(image_.classes.size(), {});
        for (size_t k = 0; k < image_.classes.size(); ++k) {
            const GslClass& c = image_.classes[k];
            if (checks != nullptr) (*checks)[k].reserve(c.functions.size());
            for (size_t i = 0; i < c.functions.size(); ++i) {
                const bool initialiser = i + 1 == c.functions.size();
                RunChecks found;
                if (!Function(c.functions[i], initialiser, found)) return false;
                if (checks != nullptr) (*checks)[k].push_back(std::move(found));
            }
        }
        return true;
    }

private:
    bool Fail(uint32_t offset, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        error_.function = std::string(image_.String(function_->signature));
        error_.offset = offset;
        error_.text = text;
        return false;
    }

    // What a call leaves and which of its arguments must be references, over every callee the
    // image shows for it.
    struct CallSite {
        CallResult result = CallResult::kNone;
        Kind resultKind = kPlain;
        // Per argument after the object: a reference in every callee that takes it. Where the
        // callees the image shows for a slot disagree (the image cannot tell which one a call
        // through an external class's slot reaches), the argument is not held to either kind,
        // so an ordinary call with a plain argument is never refused for another method's
        // reference parameter.
        std::vector<bool> referenceArgument;
        std::vector<bool> plainArgument;  // taken as a plain word by some callee
    };

    void AddCallee(CallSite& site, bool& value, bool& none, bool& plain, bool& reference,
                   uint32_t row) const {
        std::string_view signature = image_.String(image_.functionTable[row].signature);
        (SignatureReturnsValue(signature) ? value : none) = true;
        const SignatureKinds kinds = KindsOfSignature(signature);
        if (SignatureReturnsValue(signature)) (kinds.returnsReference ? reference : plain) = true;
        if (site.referenceArgument.size() < kinds.parameterIsReference.size()) {
            site.referenceArgument.resize(kinds.parameterIsReference.size(), false);
            site.plainArgument.resize(kinds.parameterIsReference.size(), false);
        }
        for (size_t i = 0; i < kinds.parameterIsReference.size(); ++i)
            (kinds.parameterIsReference[i] ? site.referenceArgument : site.plainArgument)[i] = true;
    }

    // Known when the callees agree on leaving a word and on its kind.
    static void Settle(CallSite& site, bool value, bool none, bool plain, bool reference) {
        if (value == none)
            site.result = CallResult::kUnknown;
        else if (value)
            site.result = plain && reference ? CallResult::kUnknown : CallResult::kValue;
        else
            site.result = CallResult::kNone;
        site.resultKind = reference ? kRef : kPlain;
    }

    const CallSite& RowSite(uint32_t row) {
        auto cached = rows_.find(row);
        if (cached != rows_.end()) return cached->second;
        CallSite site;
        bool value = false, none = false, plain = false, reference = false;
        AddCallee(site, value, none, plain, reference, row);
        Settle(site, value, none, plain, reference);
        return rows_.emplace(row, site).first->second;
    }

    // A virtual call through `slot`: known when every callee the image can show for it agrees.
    const CallSite& SlotSite(uint32_t slot) {
        auto cached = slots_.find(slot);
        if (cached != slots_.end()) return cached->second;
        CallSite site;
        bool value = false, none = false, plain = false, reference = false;
        for (const GslClass& c : image_.classes)
            if (slot < c.methods.size())
                AddCallee(site, value, none, plain, reference, c.methods[slot].function);
        for (uint32_t row = 0; row < image_.functionTable.size(); ++row) {
            const GslFunctionRow& f = image_.functionTable[row];
            const bool external = image_.classTable[f.classIndex].module != 0;
            if (external && f.methodSlot >= 0 && static_cast<uint32_t>(f.methodSlot) <= slot)
                AddCallee(site, value, none, plain, reference, row);
        }
        Settle(site, value, none, plain, reference);
        return slots_.emplace(slot, site).first->second;
    }

    bool Operands(const Instruction& in, uint32_t frameSize) {
        if (in.info->layout == Layout::kNone) return true;
        // Asked once per layout rather than once per instruction.
        static const auto kFieldsOf = [] {
            std::array<std::span<const OperandField>, static_cast<size_t>(Layout::kSwitchTable) + 1>
                out{};
            for (size_t l = 0; l < out.size(); ++l)
                out[l] = OperandFields(static_cast<Layout>(l));
            return out;
        }();
        const std::span<const OperandField> fields =
            kFieldsOf[static_cast<size_t>(in.info->layout)];
        // One compare per operand against its kind's limit; which limit failed is told below.
        for (size_t i = 0; i < fields.size(); ++i)
            if (in.operand[i] >= limit_[static_cast<size_t>(fields[i].kind)])
                return OperandFailure(in, fields, frameSize);
        if (in.opcode == kWait)
            for (uint32_t i = 0; i < in.tableCount; ++i)
                if (in.Major(i) >= image_.strings.size() || in.Minor(i) >= image_.strings.size())
                    return Fail(in.offset, "message name beyond the string table");
        return true;
    }

    // The limit at or above which an operand of each kind is refused; no limit is the largest
    // value. A call's object position lies at or below the top, so 1 is its limit.
    void SetOperandLimits(uint64_t frameSize) {
        limit_.fill(std::numeric_limits<int64_t>::max());
        limit_[static_cast<size_t>(OperandKind::kString)] =
            static_cast<int64_t>(image_.strings.size());
        limit_[static_cast<size_t>(OperandKind::kClass)] =
            static_cast<int64_t>(image_.classTable.size());
        limit_[static_cast<size_t>(OperandKind::kFunctionIndex)] =
            static_cast<int64_t>(image_.functionTable.size());
        limit_[static_cast<size_t>(OperandKind::kFrameSlot)] = static_cast<int64_t>(frameSize);
        limit_[static_cast<size_t>(OperandKind::kObjectPosition)] = 1;
    }

    [[gnu::noinline, gnu::cold]] bool OperandFailure(const Instruction& in,
                                                     std::span<const OperandField> fields,
                                                     uint32_t frameSize) {
        for (size_t i = 0; i < fields.size(); ++i) {
            const OperandField& f = fields[i];
            const int64_t v = in.operand[i];
            switch (f.kind) {
                case OperandKind::kString:
                    if (v >= static_cast<int64_t>(image_.strings.size()))
                        return Fail(in.offset, "string %lld beyond the string table",
                                    static_cast<long long>(v));
                    break;
                case OperandKind::kClass:
                    if (v >= static_cast<int64_t>(image_.classTable.size()))
                        return Fail(in.offset, "class %lld beyond the class table",
                                    static_cast<long long>(v));
                    break;
                case OperandKind::kFunctionIndex:
                    if (v >= static_cast<int64_t>(image_.functionTable.size()))
                        return Fail(in.offset, "function %lld beyond the function table",
                                    static_cast<long long>(v));
                    break;
                case OperandKind::kFrameSlot:
                    if (v >= frameSize)
                        return Fail(in.offset, "frame slot %lld beyond the frame of %u",
                                    static_cast<long long>(v), frameSize);
                    break;
                case OperandKind::kObjectPosition:
                    if (v > 0)
                        return Fail(in.offset, "call position %lld above the top",
                                    static_cast<long long>(v));
                    break;
                default:
                    break;
            }
        }
        return Fail(in.offset, "an operand beyond its limit");  // not reached: one failed above
    }

    // Checks the kinds an instruction reads (frame slots included) and replaces them on
    // `kinds` with the kinds it leaves. Calls are checked by the walk.
    bool Kinds(const Instruction& in, const GslFunction& f, bool returnsReference,
               std::vector<uint8_t>& kinds) {
        const KindCode& row = KindCodes()[in.opcode];
        const size_t base = kinds.size() - row.reads;
        for (size_t i = 0; i < row.reads; ++i)
            if ((row.readsReference >> i & 1u) != 0 && kinds[base + i] == kPlain)
                return Fail(in.offset, "%s takes a plain word as a reference", in.info->mnemonic);
        switch (in.opcode) {
            case kLoadLocalRef:
            case kStoreLocalRef:
            case kStoreLocalRefKeep:
                if (!ReferenceSlot(f, in.operand[0]))
                    return Fail(in.offset, "%s on plain slot %lld", in.info->mnemonic,
                                static_cast<long long>(in.operand[0]));
                break;
            case kStoreLocal:
            case kStoreLocalKeep:
                if (ReferenceSlot(f, in.operand[0]))
                    return Fail(in.offset, "a plain store into reference slot %lld",
                                static_cast<long long>(in.operand[0]));
                break;
            case kReturnValue:
                if (returnsReference && kinds.back() == kPlain)
                    return Fail(in.offset, "returns a plain word as a reference");
                break;
            default:
                break;
        }
        uint8_t left[4];
        for (size_t i = 0; i < row.leaves; ++i) {
            const uint8_t c = row.leave[i];
            left[i] = c >= kFromRead ? kinds[base + (c - kFromRead)]
                      : c == kConstantKind
                          ? static_cast<uint8_t>(in.operand[0] == 0 ? kNull : kPlain)
                          : c;
        }
        // Shrinking and push_back within the kept capacity stay inline; growing resize does not.
        const size_t kept = std::min(row.reads, row.leaves);
        std::copy(left, left + kept, kinds.begin() + static_cast<std::ptrdiff_t>(base));
        if (row.leaves < row.reads) kinds.resize(base + row.leaves);
        for (size_t i = kept; i < row.leaves; ++i)
            kinds.push_back(left[i]);
        return true;
    }

    bool ReferenceSlot(const GslFunction& f, int64_t slot) const {
        return slot >= 0 && static_cast<uint64_t>(slot) < isReferenceSlot_.size()
                   ? isReferenceSlot_[static_cast<size_t>(slot)] != 0
                   : IsReferenceSlot(f, slot);
    }

    static RunChecks::Result ExpectedResult(const CallSite& site) {
        switch (site.result) {
            case CallResult::kNone:
                return RunChecks::kNoResult;
            case CallResult::kValue:
                return site.resultKind == kRef ? RunChecks::kReferenceResult
                                               : RunChecks::kPlainResult;
            default:
                return RunChecks::kAnyResult;
        }
    }

    // The range of depths at which the code from instruction `entry` on can run: it reads no
    // word below depth 0 and pushes none past `maxDepth` before the next place where the top
    // is compared again (`isEntry`), a call, a jump or a return.
    static RunChecks::Bound BoundFrom(uint32_t entry, const std::vector<Instruction>& ins,
                                      const std::vector<uint8_t>& isEntry, int32_t maxDepth) {
        int64_t r = 0, lowest = 0, highest = 0;
        for (uint32_t i = entry; i < ins.size();) {
            const Instruction& in = ins[i];
            if ((in.info->marks & kMarkCall) != 0) {
                lowest = std::min(lowest, r - (1 - in.operand[0]));
                break;
            }
            lowest = std::min(lowest, r - in.info->pops);
            r += int64_t{in.info->pushes} - in.info->pops;
            highest = std::max(highest, r);
            if ((in.info->marks & kMarkPushesAtTarget) != 0) highest = std::max(highest, r + 1);
            if ((in.info->marks & kMarkNoFallThrough) != 0) break;
            ++i;
            if (i < ins.size() && isEntry[i] != 0) break;
        }
        return {ins[entry].offset, static_cast<int32_t>(-lowest),
                static_cast<int32_t>(maxDepth - highest)};
    }

    bool Function(const GslFunction& f, bool initialiser, RunChecks& checks) {
        function_ = &f;
        const std::span<const uint8_t> code = f.code;
        const uint32_t size = static_cast<uint32_t>(code.size());
        if (!f.frame.IsConsistent()) return Fail(0, "inconsistent frame words");
        const uint64_t frameSize =
            uint64_t{f.frame.Parameters()} + f.frame.Locals() + f.frame.Temporaries();
        if (frameSize > 0x10000)
            return Fail(0, "a frame of %llu slots", static_cast<unsigned long long>(frameSize));
        for (int32_t slot : f.referenceSlots)
            if (slot < 0 || static_cast<uint64_t>(slot) >= frameSize)
                return Fail(0, "reference slot %d outside the frame", slot);
        SetOperandLimits(frameSize);
        // Frame slot instructions ask of their slot one by one: a table, not a search.
        isReferenceSlot_.assign(frameSize, 0);
        if (frameSize > 0) isReferenceSlot_[0] = 1;  // `this`
        for (int32_t slot : f.referenceSlots)
            isReferenceSlot_[static_cast<size_t>(slot)] = 1;
        uint32_t lastLine = 0;
        for (const GslLine& l : f.lines) {
            if (l.offset > size || l.offset < lastLine)
                return Fail(l.offset, "line record out of order or beyond the code");
            lastLine = l.offset;
        }
        if (size == 0) {
            if ((f.flags & kFunctionNative) != 0 || initialiser) return true;
            return Fail(0, "a function without code");
        }

        // Instructions, in code order; everything below is kept per instruction, not per byte.
        std::vector<Instruction>& ins = instructions_;
        ins.clear();
        std::vector<uint32_t>& indexAt = indexAt_;
        indexAt.assign(size, kNoInstruction);
        // Those with targets, checked once every instruction start is known.
        std::vector<uint32_t>& branching = branching_;
        branching.clear();
        // The calls, in code order, for recording those a path reaches without a pass over
        // every instruction.
        std::vector<uint32_t>& callsAt = callsAt_;
        callsAt.clear();
        for (uint32_t pc = 0; pc < size;) {
            Instruction& in = ins.emplace_back();
            DecodeResult r = DecodeInstruction(code, pc, in);
            if (r == DecodeResult::kUnknownOpcode) return Fail(pc, "unknown opcode %u", code[pc]);
            if (r != DecodeResult::kOk) return Fail(pc, "operands run past the code");
            if (!Operands(in, static_cast<uint32_t>(frameSize))) return false;
            indexAt[pc] = static_cast<uint32_t>(ins.size() - 1);
            if (in.info->layout == Layout::kCodeOffset || in.opcode == kSwitch ||
                in.opcode == kWait)
                branching.push_back(indexAt[pc]);
            if ((in.info->marks & kMarkCall) != 0) callsAt.push_back(indexAt[pc]);
            pc += in.length;
        }
        const uint32_t count = static_cast<uint32_t>(ins.size());
        // Where a path other than the fall-through from the instruction before arrives: only
        // there can two paths meet, so only there are kinds kept to compare.
        std::vector<uint8_t>& isTarget = isTarget_;
        isTarget.assign(count, 0);
        isTarget[0] = 1;
        auto target = [&](uint32_t from, uint64_t offset) {
            if (offset >= size || indexAt[offset] == kNoInstruction)
                return Fail(from, "target %u is no instruction start",
                            static_cast<uint32_t>(offset));
            isTarget[indexAt[offset]] = 1;
            return true;
        };
        for (const uint32_t b : branching) {
            const Instruction& in = ins[b];
            if (in.info->layout == Layout::kCodeOffset &&
                !target(in.offset, static_cast<uint64_t>(in.operand[0])))
                return false;
            if (in.opcode == kSwitch) {
                for (uint32_t i = 0; i < in.tableCount; ++i)
                    if (!target(in.offset, in.CaseOffset(i))) return false;
                if (!target(in.offset, in.DefaultOffset())) return false;
            }
            if (in.opcode == kWait)
                for (uint32_t i = 0; i < in.tableCount; ++i)
                    if (!target(in.offset, in.HandlerOffset(i))) return false;
        }

        const int32_t maxAllowed = static_cast<int32_t>(f.frame.MaxDepth());
        const bool returnsReference = ReturnsReference(image_.String(f.signature));
        // Callers take what a call leaves from the callee's signature.
        const bool returnsValue = SignatureReturnsValue(image_.String(f.signature));
        std::vector<int32_t>& depthAt = depthAt_;
        depthAt.assign(count, kUnseen);
        // At targets only, each set when its target is first reached (the vectors are kept
        // from function to function with their memory).
        std::vector<std::vector<uint8_t>>& kindsAt = kindsAt_;
        if (kindsAt.size() < count) kindsAt.resize(count);
        std::vector<uint32_t>& work = work_;
        work.clear();
        std::vector<uint8_t>& callResult = callResult_;
        callResult.assign(count, kNotACall);
        std::vector<uint64_t>& plainArguments = plainArguments_;
        plainArguments.assign(count, 0);
        // By instruction index until the calls are recorded.
        std::vector<RunChecks::PlainArgument>& plainPast64 = plainPast64_;
        plainPast64.clear();
        int32_t deepest = 0;
        bool unknownSeen = false;
        auto reach = [&](uint32_t from, uint32_t offset, int32_t depth,
                         const std::vector<uint8_t>& kinds) {
            const uint32_t t = indexAt[offset];
            int32_t& seen = depthAt[t];
            if (seen == kUnseen || (seen == kUnknown && depth != kUnknown)) {
                seen = depth;
                kindsAt[t] = kinds;
                work.push_back(t);
            } else if (depth != kUnknown && seen != depth) {
                return Fail(offset, "reached with depths %d and %d", seen, depth);
            } else if (depth != kUnknown) {
                // Each word keeps one kind; 0 takes the kind the other path gives.
                bool changed = false;
                std::vector<uint8_t>& have = kindsAt[t];
                for (size_t i = 0; i < have.size(); ++i) {
                    if (have[i] == kinds[i] || kinds[i] == kNull) continue;
                    if (have[i] != kNull)
                        return Fail(offset,
                                    "stack word %zu reached as a reference and as a plain word", i);
                    have[i] = kinds[i];
                    changed = true;
                }
                if (changed) work.push_back(t);
            }
            (void)from;
            return true;
        };
        std::vector<uint8_t>& kinds = kinds_;
        std::vector<uint8_t>& message = message_;
        kindsAt[0].clear();
        depthAt[0] = 0;
        work.push_back(0);
        while (!work.empty()) {
            uint32_t index = work.back();
            work.pop_back();
            int32_t depth = depthAt[index];
            kinds.assign(kindsAt[index].begin(), kindsAt[index].end());
            // A run of instructions each reached only from the one before.
            for (;;) {
                const Instruction& in = ins[index];
                const uint32_t pc = in.offset;
                depthAt[index] = depth;
                const bool known = depth != kUnknown;
                if ((in.info->marks & kMarkReturn) != 0 && (in.opcode != kReturn) != returnsValue)
                    return Fail(pc, "%s where the signature says %s", in.info->mnemonic,
                                returnsValue ? "a value is returned" : "none is");
                if (known) {
                    if (depth < in.info->pops)
                        return Fail(pc, "%s takes %u words from a stack of %d", in.info->mnemonic,
                                    in.info->pops, depth);
                    if (!Kinds(in, f, returnsReference, kinds)) return false;
                    depth += in.info->pushes - in.info->pops;
                } else if (in.opcode == kStoreLocal || in.opcode == kStoreLocalKeep) {
                    if (ReferenceSlot(f, in.operand[0]))
                        return Fail(pc, "a plain store into reference slot %lld",
                                    static_cast<long long>(in.operand[0]));
                }
                if ((in.info->marks & kMarkCall) != 0) {
                    const int64_t words = 1 - in.operand[0];
                    const CallSite& site =
                        in.opcode == kCallInherited ? RowSite(static_cast<uint32_t>(in.operand[1]))
                        : in.opcode == kCallThread  ? noCallee_
                                                   : SlotSite(static_cast<uint32_t>(in.operand[1]));
                    callResult[index] = ExpectedResult(site);
                    if (known) {
                        if (words > depth)
                            return Fail(pc, "a call of %lld words on a stack of %d",
                                        static_cast<long long>(words), depth);
                        depth -= static_cast<int32_t>(words);
                        const size_t object = static_cast<size_t>(depth);
                        if (kinds[object] == kPlain)
                            return Fail(pc, "%s on a word that is no reference", in.info->mnemonic);
                        for (size_t i = 0; i + 1 < static_cast<size_t>(words); ++i) {
                            if (kinds[object + 1 + i] != kPlain) continue;
                            if (i < 64)
                                plainArguments[index] |= uint64_t{1} << i;
                            else
                                plainPast64.push_back({index, static_cast<uint32_t>(i + 1)});
                        }
                        for (size_t i = 0; i < site.referenceArgument.size(); ++i) {
                            const size_t word = object + 1 + i;
                            if (word < kinds.size() && site.referenceArgument[i] &&
                                !site.plainArgument[i] && kinds[word] == kPlain)
                                return Fail(pc, "argument %zu of %s is no reference", i + 1,
                                            in.info->mnemonic);
                        }
                        kinds.resize(object);
                        if (site.result == CallResult::kValue) {
                            ++depth;
                            kinds.push_back(site.resultKind);
                        }
                    }
                    if (site.result == CallResult::kUnknown) {
                        depth = kUnknown;
                        kinds.clear();
                        unknownSeen = true;
                    }
                }
                if (depth != kUnknown) {
                    if (depth > maxAllowed)
                        return Fail(pc, "depth %d passes the recorded maximum %d", depth,
                                    maxAllowed);
                    if (depth > deepest) deepest = depth;
                    if ((in.info->marks & kMarkReturn) != 0 && depth != 0)
                        return Fail(pc, "returns with %d words on the stack", depth);
                }
                if (in.info->layout == Layout::kCodeOffset &&
                    !reach(pc, static_cast<uint32_t>(in.operand[0]), depth, kinds))
                    return false;
                if (in.opcode == kSwitch) {
                    for (uint32_t i = 0; i < in.tableCount; ++i) {
                        if (i > 0 && in.CaseValue(i) <= in.CaseValue(i - 1))
                            return Fail(pc, "case values not ascending");
                        if (!reach(pc, in.CaseOffset(i), depth, kinds)) return false;
                    }
                    if (!reach(pc, in.DefaultOffset(), depth, kinds)) return false;
                }
                if (in.opcode == kWait) {
                    const int32_t woken = depth == kUnknown ? kUnknown : depth + 1;
                    if (woken != kUnknown && woken > maxAllowed)
                        return Fail(pc, "a woken handler passes the recorded maximum");
                    if (woken > deepest) deepest = woken;
                    message = kinds;
                    if (woken != kUnknown) message.push_back(kRef);
                    for (uint32_t i = 0; i < in.tableCount; ++i)
                        if (!reach(pc, in.HandlerOffset(i), woken, message)) return false;
                }
                if ((in.info->marks & kMarkNoFallThrough) != 0) break;
                if (index + 1 >= count) return Fail(pc, "runs past the end of the code");
                if (isTarget[index + 1] != 0) {
                    if (!reach(pc, ins[index + 1].offset, depth, kinds)) return false;
                    break;
                }
                ++index;
            }
        }
        // Where only a call whose result the image cannot settle leads (its slot's callees
        // disagree: the receiver's class is not in the code), no word's kind is known and
        // nothing is refused: refusing there would turn away the compiler's own libraries
        // whenever two unrelated classes give one slot different results.
        // Code no path reaches (after a return, say) still counts in the recorded maximum.
        if (!unknownSeen && deepest != maxAllowed &&
            std::find(depthAt.begin(), depthAt.end(), kUnseen) == depthAt.end())
            return Fail(0, "the deepest stack is %d, the record says %d", deepest, maxAllowed);

        checks.starts.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            checks.starts[i] = ins[i].offset;
        // A path that meets a call again with other kinds names its arguments again.
        std::sort(plainPast64.begin(), plainPast64.end());
        plainPast64.erase(std::unique(plainPast64.begin(), plainPast64.end()), plainPast64.end());
        auto past = plainPast64.begin();
        checks.calls.reserve(callsAt.size());
        for (const uint32_t i : callsAt) {
            if (callResult[i] == kNotACall) continue;
            const bool hasPast = past != plainPast64.end() && past->offset == i;
            for (; past != plainPast64.end() && past->offset == i; ++past)
                checks.plainPast64.push_back({ins[i].offset, past->argument});
            checks.calls.push_back({ins[i].offset, static_cast<RunChecks::Result>(callResult[i]),
                                    plainArguments[i], hasPast});
        }
        if (unknownSeen) {
            // Every place a run can enter other than by falling through: there the top is
            // compared, exactly where the depth is known.
            std::vector<uint8_t> isEntry(count, 0);
            auto enter = [&](uint64_t offset) {
                if (offset >= size || indexAt[offset] == kNoInstruction) return;
                if (depthAt[indexAt[offset]] != kUnseen) isEntry[indexAt[offset]] = 1;
            };
            for (uint32_t i = 0; i < count; ++i) {
                if (depthAt[i] == kUnseen) continue;
                const Instruction& in = ins[i];
                if (in.info->layout == Layout::kCodeOffset)
                    enter(static_cast<uint64_t>(in.operand[0]));
                if ((in.info->marks & (kMarkCall | kMarkPushesAtTarget)) != 0)
                    enter(uint64_t{in.offset} + in.length);
                if (in.opcode == kSwitch) {
                    for (uint32_t k = 0; k < in.tableCount; ++k)
                        enter(in.CaseOffset(k));
                    enter(in.DefaultOffset());
                }
                if (in.opcode == kWait)
                    for (uint32_t k = 0; k < in.tableCount; ++k)
                        enter(in.HandlerOffset(k));
            }
            for (uint32_t i = 0; i < count; ++i) {
                if (isEntry[i] == 0) continue;
                if (depthAt[i] >= 0)
                    checks.bounds.push_back({ins[i].offset, depthAt[i], depthAt[i]});
                else
                    checks.bounds.push_back(BoundFrom(i, ins, isEntry, maxAllowed));
            }
        }
        return true;
    }

    static constexpr uint8_t kNotACall = 0xFF;
    static constexpr uint32_t kNoInstruction = 0xFFFFFFFF;

    const GslImage& image_;
    VerifyError& error_;
    const GslFunction* function_ = nullptr;
    std::map<uint32_t, CallSite> slots_;
    std::map<uint32_t, CallSite> rows_;
    const CallSite noCallee_{};
    // Kept from function to function so their memory is reused.
    std::vector<Instruction> instructions_;
    std::vector<uint32_t> indexAt_;
    std::vector<uint32_t> branching_;
    std::vector<uint32_t> callsAt_;
    std::array<int64_t, static_cast<size_t>(OperandKind::kFunctionIndex) + 1> limit_{};
    std::vector<uint8_t> isReferenceSlot_;  // by frame slot, of the function being checked
    std::vector<uint8_t> isTarget_;
    std::vector<int32_t> depthAt_;
    std::vector<std::vector<uint8_t>> kindsAt_;
    std::vector<uint32_t> work_;
    std::vector<uint8_t> callResult_;
    std::vector<uint64_t> plainArguments_;
    std::vector<RunChecks::PlainArgument> plainPast64_;
    std::vector<uint8_t> kinds_;
    std::vector<uint8_t> message_;
};

}  // namespace

bool VerifyImage(const GslImage& image, VerifyError& error,
                 std::vector<std::vector<RunChecks>>* checks) {
    error = VerifyError{};
    return Verifier(image, error).Run(checks);
}

}  // namespace GSBytecode
