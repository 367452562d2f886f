#include "script/bytecode/verifier.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <limits>
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

// Calls `each(isReference)` for every parameter after `this`, in order.
template <typename Each>
void ForEachParameterKind(std::string_view signature, Each&& each) {
    size_t open = signature.find('(');
    if (open == std::string_view::npos) return;
    for (size_t p = open + 1; p < signature.size() && signature[p] != ')';) {
        // Up to the next ',' or ')', or the end: a loop of its own, which costs no library call
        // per character as find_first_of does.
        size_t end = p;
        while (end < signature.size() && signature[end] != ',' && signature[end] != ')')
            ++end;
        each(!IsPlainTypeName(signature.substr(p, end - p)));
        p = end < signature.size() && signature[end] == ',' ? end + 1 : end;
    }
}

}  // namespace

SignatureKinds KindsOfSignature(std::string_view signature) {
    SignatureKinds kinds;
    kinds.returnsReference = ReturnsReference(signature);
    ForEachParameterKind(signature,
                         [&](bool reference) { kinds.parameterIsReference.push_back(reference); });
    return kinds;
}

bool SignatureHasKinds(std::string_view signature, bool returnsReference,
                       std::span<const uint8_t> parameterIsReference) {
    if (ReturnsReference(signature) != returnsReference) return false;
    size_t i = 0;
    bool same = true;
    ForEachParameterKind(signature, [&](bool reference) {
        same =
            same && i < parameterIsReference.size() && reference == (parameterIsReference[i] != 0);
        ++i;
    });
    return same && i == parameterIsReference.size();
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

// What the walk asks of an opcode beyond its kinds.
enum Special : uint8_t {
    kSpecialNone,
    kSpecialReferenceSlot,  // loadr, storer, storerk: the slot holds a reference
    kSpecialPlainSlot,      // store, storek: the slot holds none
    kSpecialReturnValue,    // retv: a reference result is a reference
};

enum TableKind : uint8_t { kNoTable, kWaitTable, kSwitchTable };

// How an opcode's operands are read: the shapes the layouts have, each read by code of its own,
// and the general reading for any other.
enum DecodeShape : uint8_t {
    kShapeNone,
    kShapeU16,
    kShapeU32,
    kShapeCall,
    kShapeTable,
    kShapeOther
};

// Everything decoding and the walk ask of one opcode byte, in one row: the opcode table's entry,
// its operand fields and its kind row, gathered once, so an instruction costs one look-up.
struct OpRow {
    const char* mnemonic = nullptr;  // null: the byte is no opcode
    Layout layout = Layout::kNone;
    TableKind table = kNoTable;
    DecodeShape shape = kShapeNone;
    uint8_t fixedBytes = 0;  // operand bytes of a fixed layout
    uint8_t fields = 0;
    uint8_t width[2] = {};
    bool isSigned[2] = {};
    uint8_t limit[2] = {};  // the OperandKind of each field
    uint8_t pops = 0;
    uint8_t pushes = 0;
    uint8_t marks = 0;
    uint8_t readsReference = 0;  // bit i: read word i must be a reference or 0
    uint8_t leave[4] = {};       // as KindCode::leave
    Special special = kSpecialNone;
    bool branches = false;  // has targets: a code offset or a table
    // Neither calls, branches nor returns: the walk's short way, which most instructions take.
    bool plain = false;
    // What it leaves: nothing, one word of a fixed kind, or anything else.
    enum LeaveMode : uint8_t { kLeaveNothing, kLeaveFixed, kLeaveAny } leaveMode = kLeaveNothing;
};

const OpRow* OpRows() {
    static const auto rows = [] {
        std::array<OpRow, 256> out{};
        const KindCode* kinds = KindCodes();
        for (unsigned op = 0; op < kOpcodeCount; ++op) {
            const OpcodeInfo* info = FindOpcode(static_cast<uint8_t>(op));
            OpRow& row = out[op];
            row.mnemonic = info->mnemonic;
            row.layout = info->layout;
            row.table = info->layout == Layout::kWaitTable     ? kWaitTable
                        : info->layout == Layout::kSwitchTable ? kSwitchTable
                                                               : kNoTable;
            const std::span<const OperandField> fields = OperandFields(info->layout);
            row.fields = static_cast<uint8_t>(std::min<size_t>(fields.size(), 2));
            for (size_t i = 0; i < row.fields; ++i) {
                row.width[i] = fields[i].width;
                row.isSigned[i] = fields[i].isSigned;
                row.limit[i] = static_cast<uint8_t>(fields[i].kind);
                row.fixedBytes = static_cast<uint8_t>(row.fixedBytes + fields[i].width);
            }
            row.shape = row.table != kNoTable                                      ? kShapeTable
                        : row.fields == 0                                          ? kShapeNone
                        : row.fields == 1 && row.width[0] == 2 && !row.isSigned[0] ? kShapeU16
                        : row.fields == 1 && row.width[0] == 4 && !row.isSigned[0] ? kShapeU32
                        : row.fields == 2 && row.width[0] == 2 && row.isSigned[0] &&
                                row.width[1] == 2 && !row.isSigned[1]
                            ? kShapeCall
                            : kShapeOther;
            row.pops = info->pops;
            row.pushes = info->pushes;
            row.marks = info->marks;
            row.readsReference = kinds[op].readsReference;
            std::copy(std::begin(kinds[op].leave), std::end(kinds[op].leave), row.leave);
            row.special = op == kLoadLocalRef || op == kStoreLocalRef || op == kStoreLocalRefKeep
                              ? kSpecialReferenceSlot
                          : op == kStoreLocal || op == kStoreLocalKeep ? kSpecialPlainSlot
                          : op == kReturnValue                         ? kSpecialReturnValue
                                                                       : kSpecialNone;
            row.branches = info->layout == Layout::kCodeOffset || row.table != kNoTable;
            row.leaveMode = row.pushes == 0                                   ? OpRow::kLeaveNothing
                            : row.pushes == 1 && row.leave[0] < kConstantKind ? OpRow::kLeaveFixed
                                                                              : OpRow::kLeaveAny;
            row.plain = !row.branches && row.special != kSpecialReturnValue &&
                        (row.marks & (kMarkReturn | kMarkCall | kMarkNoFallThrough |
                                      kMarkPushesAtTarget | kMarkJump | kMarkTable)) == 0;
        }
        return out;
    }();
    return rows.data();
}

// Per opcode byte, the bytes from an instruction's opcode to the next for a fixed layout (0 for
// the tables and for no opcode): a table of its own, so that the next instruction's place
// waits on one small read after the opcode's, not on the row's.
const uint8_t* FixedLengths() {
    static const auto lengths = [] {
        std::array<uint8_t, 256> out{};
        const OpRow* rows = OpRows();
        for (size_t op = 0; op < out.size(); ++op)
            if (rows[op].mnemonic != nullptr && rows[op].table == kNoTable)
                out[op] = static_cast<uint8_t>(1 + rows[op].fixedBytes);
        return out;
    }();
    return lengths.data();
}

// One decoded instruction, kept small: the walk reads one per step. A table's entries stay in
// the code, three bytes after the opcode.
struct Decoded {
    uint32_t offset = 0;
    uint8_t opcode = 0;
    uint16_t tableCount = 0;
    // A jump's target by instruction index, once the targets are checked; a call's number
    // among the function's calls.
    uint32_t target = 0xFFFFFFFF;
    // Fixed operands in layout order, widened: signed fields sign-extended.
    int64_t operand[2] = {0, 0};
};

// Switch: case i's value and offset, and the default offset; wait: handler i's names and offset.
// `table` is the first byte after the count.
inline int32_t CaseValue(const uint8_t* table, uint32_t i) {
    return static_cast<int32_t>(ReadU32At(table + 4 * i));
}
inline uint32_t CaseOffset(const uint8_t* table, uint32_t n, uint32_t i) {
    return ReadU32At(table + 4 * (n + i));
}
inline uint32_t DefaultOffset(const uint8_t* table, uint32_t n) {
    return ReadU32At(table + 8 * n);
}
inline uint16_t Major(const uint8_t* table, uint32_t i) {
    return ReadU16At(table + 4 * i);
}
inline uint16_t Minor(const uint8_t* table, uint32_t i) {
    return ReadU16At(table + 4 * i + 2);
}
inline uint32_t HandlerOffset(const uint8_t* table, uint32_t n, uint32_t i) {
    return ReadU32At(table + 4 * n + 4 * i);
}

constexpr int32_t kUnseen = -1;
constexpr int32_t kUnknown = -2;  // after a call whose result the image does not show

enum class CallResult { kNone, kValue, kUnknown };

class Verifier {
public:
    Verifier(const GslImage& image, VerifyError& error)
        : image_(image), error_(error), rows_(OpRows()), fixedLengths_(FixedLengths()) {}

    bool Run(std::vector<std::vector<RunChecks>>* checks) {
        static const bool rowsFit = KindRowsFitTheTable();
        if (!rowsFit) {
            error_.text = "the kind rows are out of step with the opcode table";
            return false;
        }
        sites_.assign(1, CallSite{});  // the thread call's: no callee, no result
        rowSite_.assign(image_.functionTable.size(), kNoSite);
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
        // The arguments (0 the first after the object), in order, that are a reference in
        // every callee that takes them. Where the callees the image shows for a slot disagree
        // (the image cannot tell which one a call through an external class's slot reaches),
        // the argument is not held to either kind, so an ordinary call with a plain argument is
        // never refused for another method's reference parameter.
        std::vector<uint32_t> referenceArguments;
    };

    // The callees of one call, gathered before they are settled into a CallSite.
    struct Callees {
        bool value = false, none = false, plain = false, reference = false;
        std::vector<uint8_t> argument;  // per argument: 1 some callee takes a reference, 2 plain
    };

    // A function row's signature, parsed once per image.
    struct RowKinds {
        bool parsed = false;
        bool returnsValue = false;
        bool returnsReference = false;
        uint32_t first = 0;  // of its parameters in `parameterKinds_`
        uint32_t count = 0;
    };

    const RowKinds& KindsOfRow(uint32_t row) {
        if (rowKinds_.size() < image_.functionTable.size())
            rowKinds_.resize(image_.functionTable.size());
        RowKinds& k = rowKinds_[row];
        if (k.parsed) return k;
        const std::string_view signature = image_.String(image_.functionTable[row].signature);
        k.parsed = true;
        k.returnsValue = SignatureReturnsValue(signature);
        k.returnsReference = ReturnsReference(signature);
        k.first = static_cast<uint32_t>(parameterKinds_.size());
        ForEachParameterKind(signature,
                             [&](bool reference) { parameterKinds_.push_back(reference ? 1 : 0); });
        k.count = static_cast<uint32_t>(parameterKinds_.size()) - k.first;
        return k;
    }

    void AddCallee(Callees& callees, uint32_t row) {
        const RowKinds& kinds = KindsOfRow(row);
        (kinds.returnsValue ? callees.value : callees.none) = true;
        if (kinds.returnsValue) (kinds.returnsReference ? callees.reference : callees.plain) = true;
        if (callees.argument.size() < kinds.count) callees.argument.resize(kinds.count, 0);
        for (uint32_t i = 0; i < kinds.count; ++i)
            callees.argument[i] |= parameterKinds_[kinds.first + i] != 0 ? 1 : 2;
    }

    // Known when the callees agree on leaving a word and on its kind.
    uint32_t Settle(const Callees& callees) {
        CallSite site;
        if (callees.value == callees.none)
            site.result = CallResult::kUnknown;
        else if (callees.value)
            site.result =
                callees.plain && callees.reference ? CallResult::kUnknown : CallResult::kValue;
        else
            site.result = CallResult::kNone;
        site.resultKind = callees.reference ? kRef : kPlain;
        for (uint32_t i = 0; i < callees.argument.size(); ++i)
            if (callees.argument[i] == 1) site.referenceArguments.push_back(i);
        sites_.push_back(std::move(site));
        return static_cast<uint32_t>(sites_.size() - 1);
    }

    // The inherited call's: the function its row names.
    uint32_t RowSite(uint32_t row) {
        if (rowSite_[row] != kNoSite) return rowSite_[row];
        Callees callees;
        AddCallee(callees, row);
        return rowSite_[row] = Settle(callees);
    }

    // A virtual call through `slot`: known when every callee the image can show for it agrees.
    uint32_t SlotSite(uint32_t slot) {
        if (slot < slotSite_.size() && slotSite_[slot] != kNoSite) return slotSite_[slot];
        if (!externalRowsFound_) {
            // The rows of other libraries' functions with a method slot: they answer for every
            // slot from theirs up.
            for (uint32_t row = 0; row < image_.functionTable.size(); ++row) {
                const GslFunctionRow& f = image_.functionTable[row];
                if (image_.classTable[f.classIndex].module != 0 && f.methodSlot >= 0)
                    externalRows_.push_back(row);
            }
            externalRowsFound_ = true;
        }
        Callees callees;
        for (const GslClass& c : image_.classes)
            if (slot < c.methods.size()) AddCallee(callees, c.methods[slot].function);
        for (const uint32_t row : externalRows_)
            if (static_cast<uint32_t>(image_.functionTable[row].methodSlot) <= slot)
                AddCallee(callees, row);
        if (slotSite_.size() <= slot) slotSite_.resize(size_t{slot} + 1, kNoSite);
        return slotSite_[slot] = Settle(callees);
    }

    // The operand limits and the wait table's message names of a decoded instruction.
    bool Operands(const Decoded& in, const OpRow& row, uint32_t frameSize) {
        // One compare per operand against its kind's limit; which limit failed is told below.
        for (size_t i = 0; i < row.fields; ++i)
            if (in.operand[i] >= limit_[row.limit[i]]) return OperandFailure(in, row, frameSize);
        if (row.table == kWaitTable) {
            const uint8_t* table = code_ + in.offset + 3;
            for (uint32_t i = 0; i < in.tableCount; ++i)
                if (Major(table, i) >= image_.strings.size() ||
                    Minor(table, i) >= image_.strings.size())
                    return Fail(in.offset, "message name beyond the string table");
        }
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

    [[gnu::noinline, gnu::cold]] bool OperandFailure(const Decoded& in, const OpRow& row,
                                                     uint32_t frameSize) {
        for (size_t i = 0; i < row.fields; ++i) {
            const int64_t v = in.operand[i];
            switch (static_cast<OperandKind>(row.limit[i])) {
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

    // A frame slot instruction's slot holds the kind of word it moves.
    bool SlotKind(const GslFunction& f, const OpRow& row, const Decoded& in) {
        if (row.special == kSpecialReferenceSlot) {
            if (!ReferenceSlot(f, in.operand[0]))
                return Fail(in.offset, "%s on plain slot %lld", row.mnemonic,
                            static_cast<long long>(in.operand[0]));
        } else if (row.special == kSpecialPlainSlot) {
            if (ReferenceSlot(f, in.operand[0]))
                return Fail(in.offset, "a plain store into reference slot %lld",
                            static_cast<long long>(in.operand[0]));
        }
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

    // Bytes from an instruction's opcode to the next instruction.
    uint32_t Length(const Decoded& in) const {
        const OpRow& row = rows_[in.opcode];
        switch (row.table) {
            case kWaitTable:
                return 3 + 8 * uint32_t{in.tableCount};
            case kSwitchTable:
                return 3 + 8 * uint32_t{in.tableCount} + 4;
            default:
                return 1 + uint32_t{row.fixedBytes};
        }
    }

    // The range of depths at which the code from instruction `entry` on can run: it reads no
    // word below depth 0 and pushes none past `maxDepth` before the next place where the top
    // is compared again (`isEntry`), a call, a jump or a return.
    RunChecks::Bound BoundFrom(uint32_t entry, std::span<const Decoded> ins,
                               const std::vector<uint8_t>& isEntry, int32_t maxDepth) const {
        int64_t r = 0, lowest = 0, highest = 0;
        for (uint32_t i = entry; i < ins.size();) {
            const Decoded& in = ins[i];
            const OpRow& row = rows_[in.opcode];
            if ((row.marks & kMarkCall) != 0) {
                lowest = std::min(lowest, r - (1 - in.operand[0]));
                break;
            }
            lowest = std::min(lowest, r - row.pops);
            r += int64_t{row.pushes} - row.pops;
            highest = std::max(highest, r);
            if ((row.marks & kMarkPushesAtTarget) != 0) highest = std::max(highest, r + 1);
            if ((row.marks & kMarkNoFallThrough) != 0) break;
            ++i;
            if (i < ins.size() && isEntry[i] != 0) break;
        }
        return {ins[entry].offset, static_cast<int32_t>(-lowest),
                static_cast<int32_t>(maxDepth - highest)};
    }

    [[gnu::noinline]] uint8_t* Grow(int32_t depth) {
        stack_.resize(std::max(static_cast<size_t>(depth) + 8, 2 * stack_.size()));
        return stack_.data();
    }

    // The decoded instructions of the function being checked.
    std::span<const Decoded> Instructions() const { return {instructions_.data(), count_}; }

    // The index of the instruction that starts at `offset`, or kNoInstruction.
    uint32_t IndexOf(uint64_t offset) const {
        const std::span<const Decoded> ins = Instructions();
        const auto at =
            std::lower_bound(ins.begin(), ins.end(), offset,
                             [](const Decoded& in, uint64_t o) { return in.offset < o; });
        return at != ins.end() && at->offset == offset ? static_cast<uint32_t>(at - ins.begin())
                                                       : kNoInstruction;
    }

    // Decodes the code into `instructions_`, checking every operand, and notes which
    // instructions branch and which call. The first fault in code order is told.
    bool Decode(std::span<const uint8_t> code, uint32_t frameSize) {
        const uint32_t size = static_cast<uint32_t>(code.size());
        // No more instructions than bytes: the buffer is made that large once, and filled by
        // index.
        if (instructions_.size() < size) instructions_.resize(size);
        Decoded* const ins = instructions_.data();
        count_ = 0;
        branching_.clear();
        callsAt_.clear();
        const uint8_t* bytes = code.data();
        for (uint32_t pc = 0; pc < size;) {
            const uint8_t opcode = bytes[pc];
            const OpRow& row = rows_[opcode];
            if (row.mnemonic == nullptr) return Fail(pc, "unknown opcode %u", opcode);
            const uint64_t left = uint64_t{size} - pc - 1;
            const uint8_t* p = bytes + pc + 1;
            // Filled where it lies: a record built aside and copied in would be read back whole
            // before its parts were written.
            const uint32_t index = count_++;
            Decoded& in = ins[index];
            in.offset = pc;
            in.opcode = opcode;
            in.tableCount = 0;
            in.target = kNoInstruction;
            in.operand[0] = 0;
            in.operand[1] = 0;
            uint32_t length = fixedLengths_[opcode];
            if (left < row.fixedBytes) return Fail(pc, "operands run past the code");
            switch (row.shape) {
                // The fixed shapes check their operands against their kinds' limits here, in
                // field order, as Operands does for the others.
                case kShapeNone:
                    break;
                case kShapeU16:
                    in.operand[0] = ReadU16At(p);
                    if (in.operand[0] >= limit_[row.limit[0]])
                        return OperandFailure(in, row, frameSize);
                    break;
                case kShapeU32:
                    in.operand[0] = ReadU32At(p);
                    if (in.operand[0] >= limit_[row.limit[0]])
                        return OperandFailure(in, row, frameSize);
                    break;
                case kShapeCall:
                    in.operand[0] = static_cast<int16_t>(ReadU16At(p));
                    in.operand[1] = ReadU16At(p + 2);
                    if (in.operand[0] >= limit_[row.limit[0]] ||
                        in.operand[1] >= limit_[row.limit[1]])
                        return OperandFailure(in, row, frameSize);
                    break;
                case kShapeTable: {
                    if (left < 2) return Fail(pc, "operands run past the code");
                    const uint32_t n = ReadU16At(p);
                    // A wait entry is two u16 names and a u32 offset; a switch entry a value and
                    // an offset, then one default offset.
                    const uint64_t tableBytes = row.table == kWaitTable ? 8ull * n : 8ull * n + 4;
                    if (left - 2 < tableBytes) return Fail(pc, "operands run past the code");
                    in.tableCount = static_cast<uint16_t>(n);
                    length = static_cast<uint32_t>(3 + tableBytes);
                    if (!Operands(in, row, frameSize)) return false;
                    break;
                }
                case kShapeOther: {
                    uint32_t at = 0;
                    for (size_t i = 0; i < row.fields; ++i) {
                        if (row.width[i] == 2) {
                            const uint16_t v = ReadU16At(p + at);
                            in.operand[i] =
                                row.isSigned[i] ? int64_t{static_cast<int16_t>(v)} : int64_t{v};
                        } else {
                            const uint32_t v = ReadU32At(p + at);
                            in.operand[i] =
                                row.isSigned[i] ? int64_t{static_cast<int32_t>(v)} : int64_t{v};
                        }
                        at += row.width[i];
                    }
                    if (!Operands(in, row, frameSize)) return false;
                    break;
                }
            }
            if (row.branches) branching_.push_back(index);
            if ((row.marks & kMarkCall) != 0) {
                in.target = static_cast<uint32_t>(callsAt_.size());  // the call's number
                callsAt_.push_back(index);
            }
            pc += length;
        }
        return true;
    }

    bool Function(const GslFunction& f, bool initialiser, RunChecks& checks) {
        function_ = &f;
        const std::span<const uint8_t> code = f.code;
        code_ = code.data();
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
        if (!Decode(code, static_cast<uint32_t>(frameSize))) return false;
        const std::span<const Decoded> ins = Instructions();
        const OpRow* const rows = rows_;
        const uint32_t count = count_;
        // Where a path other than the fall-through from the instruction before arrives: only
        // there can two paths meet, so only there are kinds kept to compare.
        std::vector<uint8_t>& isTarget = isTarget_;
        isTarget.assign(count, 0);
        isTarget[0] = 1;
        uint32_t found = kNoInstruction;  // the last target's index
        auto target = [&](uint32_t from, uint64_t offset) {
            found = IndexOf(offset);
            if (found == kNoInstruction)
                return Fail(from, "target %u is no instruction start",
                            static_cast<uint32_t>(offset));
            isTarget[found] = 1;
            return true;
        };
        for (const uint32_t b : branching_) {
            Decoded& in = instructions_[b];
            const uint8_t* table = code_ + in.offset + 3;
            const uint32_t n = in.tableCount;
            if (rows[in.opcode].layout == Layout::kCodeOffset) {
                if (!target(in.offset, static_cast<uint64_t>(in.operand[0]))) return false;
                in.target = found;
            }
            if (in.opcode == kSwitch) {
                for (uint32_t i = 0; i < n; ++i)
                    if (!target(in.offset, CaseOffset(table, n, i))) return false;
                if (!target(in.offset, DefaultOffset(table, n))) return false;
            }
            if (in.opcode == kWait)
                for (uint32_t i = 0; i < n; ++i)
                    if (!target(in.offset, HandlerOffset(table, n, i))) return false;
        }

        const int32_t maxAllowed = static_cast<int32_t>(f.frame.MaxDepth());
        const bool returnsReference = ReturnsReference(image_.String(f.signature));
        // Callers take what a call leaves from the callee's signature.
        const bool returnsValue = SignatureReturnsValue(image_.String(f.signature));
        std::vector<int32_t>& depthAt = depthAt_;
        depthAt.assign(count, kUnseen);
        // At targets only, each set when its target is first reached: the kinds of a target's
        // words lie in one arena for the whole function, from `kindsAt[target]` on.
        std::vector<uint32_t>& kindsAt = kindsAt_;
        if (kindsAt.size() < count) kindsAt.resize(count);
        std::vector<uint8_t>& arena = arena_;
        arena.clear();
        std::vector<uint32_t>& work = work_;
        work.clear();
        std::vector<uint8_t>& callResult = callResult_;
        callResult.assign(callsAt_.size(), kNotACall);
        std::vector<uint64_t>& plainArguments = plainArguments_;
        plainArguments.assign(callsAt_.size(), 0);
        // By instruction index until the calls are recorded.
        std::vector<RunChecks::PlainArgument>& plainPast64 = plainPast64_;
        plainPast64.clear();
        int32_t deepest = 0;
        bool unknownSeen = false;
        // The kinds of the words on the stack, the lowest first: as many as the depth when it
        // is known, none when not. Room is made before each instruction for what it leaves.
        if (stack_.size() < 8) stack_.resize(64);
        uint8_t* kinds = stack_.data();
        auto room = [&](int32_t depth) {
            if (static_cast<size_t>(depth) + 8 > stack_.size()) kinds = Grow(depth);
        };
        // `t` is an instruction index.
        auto reach = [&](uint32_t t, int32_t depth) {
            const uint32_t offset = ins[t].offset;
            int32_t& seen = depthAt[t];
            if (seen == kUnseen || (seen == kUnknown && depth != kUnknown)) {
                seen = depth;
                kindsAt[t] = static_cast<uint32_t>(arena.size());
                if (depth > 0) arena.insert(arena.end(), kinds, kinds + depth);
                work.push_back(t);
            } else if (depth != kUnknown && seen != depth) {
                return Fail(offset, "reached with depths %d and %d", seen, depth);
            } else if (depth != kUnknown) {
                // Each word keeps one kind; 0 takes the kind the other path gives.
                bool changed = false;
                uint8_t* have = arena.data() + kindsAt[t];
                for (int32_t i = 0; i < depth; ++i) {
                    if (have[i] == kinds[i] || kinds[i] == kNull) continue;
                    if (have[i] != kNull)
                        return Fail(offset,
                                    "stack word %d reached as a reference and as a plain word", i);
                    have[i] = kinds[i];
                    changed = true;
                }
                if (changed) work.push_back(t);
            }
            return true;
        };
        kindsAt[0] = 0;
        depthAt[0] = 0;
        work.push_back(0);
        while (!work.empty()) {
            uint32_t index = work.back();
            work.pop_back();
            int32_t depth = depthAt[index];
            if (depth > 0) {
                room(depth);
                std::copy_n(arena.data() + kindsAt[index], depth, kinds);
            }
            // A run of instructions each reached only from the one before.
            for (;;) {
                const Decoded& in = ins[index];
                const OpRow& row = rows[in.opcode];
                const uint32_t pc = in.offset;
                depthAt[index] = depth;
                const bool known = depth != kUnknown;
                // The short way: the same checks, in the same order, as the long one below
                // makes for such an instruction.
                // The words an instruction reads as references are references or 0. Read byte
                // by byte: the bytes were just written one by one, and a wider read over them
                // would wait for the writes to land.
                const auto ReadsReferences = [&](const OpRow& r, int32_t base) {
                    for (uint32_t i = 0; i < r.pops; ++i)
                        if ((r.readsReference >> i & 1u) != 0 && kinds[base + i] == kPlain)
                            return Fail(pc, "%s takes a plain word as a reference", r.mnemonic);
                    return true;
                };
                const auto leave = [&](int32_t base) {
                    // Every left kind picked from one row by its code, four written whatever the
                    // count: those past the new top are never read.
                    const uint8_t pick[8] = {
                        kPlain,          kRef,
                        kNull,           static_cast<uint8_t>(in.operand[0] == 0 ? kNull : kPlain),
                        kinds[base],     kinds[base + 1],
                        kinds[base + 2], kinds[base + 3]};
                    static_assert(kConstantKind == 3 && kFromRead == 4);
                    kinds[base] = pick[row.leave[0]];
                    kinds[base + 1] = pick[row.leave[1]];
                    kinds[base + 2] = pick[row.leave[2]];
                    kinds[base + 3] = pick[row.leave[3]];
                };
                // The words the instruction takes: there, and references where it reads them.
                const auto takes = [&](int32_t& base) {
                    if (depth < row.pops)
                        return Fail(pc, "%s takes %u words from a stack of %d", row.mnemonic,
                                    row.pops, depth);
                    room(depth);
                    base = depth - row.pops;
                    return row.readsReference == 0 || ReadsReferences(row, base);
                };
                if (row.plain && known) {
                    int32_t base;
                    if (!takes(base)) return false;
                    if (row.special != kSpecialNone && !SlotKind(f, row, in)) return false;
                    if (row.leaveMode == OpRow::kLeaveFixed)
                        kinds[base] = row.leave[0];
                    else if (row.leaveMode == OpRow::kLeaveAny)
                        leave(base);
                    depth = base + row.pushes;
                    if (depth > maxAllowed)
                        return Fail(pc, "depth %d passes the recorded maximum %d", depth,
                                    maxAllowed);
                    deepest = std::max(deepest, depth);
                    if (index + 1 >= count) return Fail(pc, "runs past the end of the code");
                    if (isTarget[index + 1] != 0) {
                        if (!reach(index + 1, depth)) return false;
                        break;
                    }
                    ++index;
                    continue;
                }
                if ((row.marks & kMarkReturn) != 0 && (in.opcode != kReturn) != returnsValue)
                    return Fail(pc, "%s where the signature says %s", row.mnemonic,
                                returnsValue ? "a value is returned" : "none is");
                if (known) {
                    int32_t base;
                    if (!takes(base)) return false;
                    if (row.special == kSpecialReturnValue) {
                        if (returnsReference && kinds[depth - 1] == kPlain)
                            return Fail(pc, "returns a plain word as a reference");
                    } else if (row.special != kSpecialNone && !SlotKind(f, row, in)) {
                        return false;
                    }
                    leave(base);
                    depth = base + row.pushes;
                } else if (row.special == kSpecialPlainSlot) {
                    if (ReferenceSlot(f, in.operand[0]))
                        return Fail(pc, "a plain store into reference slot %lld",
                                    static_cast<long long>(in.operand[0]));
                }
                if ((row.marks & kMarkCall) != 0) {
                    const int64_t words = 1 - in.operand[0];
                    const CallSite& site =
                        sites_[in.opcode == kCallInherited
                                   ? RowSite(static_cast<uint32_t>(in.operand[1]))
                               : in.opcode == kCallThread
                                   ? 0
                                   : SlotSite(static_cast<uint32_t>(in.operand[1]))];
                    callResult[in.target] = ExpectedResult(site);
                    if (known) {
                        if (words > depth)
                            return Fail(pc, "a call of %lld words on a stack of %d",
                                        static_cast<long long>(words), depth);
                        const int32_t before = depth;
                        depth -= static_cast<int32_t>(words);
                        const int32_t object = depth;
                        if (kinds[object] == kPlain)
                            return Fail(pc, "%s on a word that is no reference", row.mnemonic);
                        for (int64_t i = 0; i + 1 < words; ++i) {
                            if (kinds[object + 1 + i] != kPlain) continue;
                            if (i < 64)
                                plainArguments[in.target] |= uint64_t{1} << i;
                            else
                                plainPast64.push_back({index, static_cast<uint32_t>(i + 1)});
                        }
                        for (const uint32_t i : site.referenceArguments) {
                            const int64_t word = int64_t{object} + 1 + i;
                            if (word < before && kinds[word] == kPlain)
                                return Fail(pc, "argument %u of %s is no reference", i + 1,
                                            row.mnemonic);
                        }
                        if (site.result == CallResult::kValue) kinds[depth++] = site.resultKind;
                    }
                    if (site.result == CallResult::kUnknown) {
                        depth = kUnknown;
                        unknownSeen = true;
                    }
                }
                if (depth != kUnknown) {
                    if (depth > maxAllowed)
                        return Fail(pc, "depth %d passes the recorded maximum %d", depth,
                                    maxAllowed);
                    if (depth > deepest) deepest = depth;
                    if ((row.marks & kMarkReturn) != 0 && depth != 0)
                        return Fail(pc, "returns with %d words on the stack", depth);
                }
                if (!row.branches) {
                    // The common case: no target but the next instruction.
                } else if (row.layout == Layout::kCodeOffset) {
                    if (!reach(in.target, depth)) return false;
                } else if (in.opcode == kSwitch) {
                    const uint8_t* table = code_ + pc + 3;
                    const uint32_t n = in.tableCount;
                    for (uint32_t i = 0; i < n; ++i) {
                        if (i > 0 && CaseValue(table, i) <= CaseValue(table, i - 1))
                            return Fail(pc, "case values not ascending");
                        if (!reach(IndexOf(CaseOffset(table, n, i)), depth)) return false;
                    }
                    if (!reach(IndexOf(DefaultOffset(table, n)), depth)) return false;
                } else if (in.opcode == kWait) {
                    const uint8_t* table = code_ + pc + 3;
                    const uint32_t n = in.tableCount;
                    const int32_t woken = depth == kUnknown ? kUnknown : depth + 1;
                    if (woken != kUnknown && woken > maxAllowed)
                        return Fail(pc, "a woken handler passes the recorded maximum");
                    if (woken > deepest) deepest = woken;
                    // The handlers start with the message on top; nothing falls through a
                    // wait, so the message goes where the stack's next word would.
                    if (woken != kUnknown) kinds[depth] = kRef;
                    for (uint32_t i = 0; i < n; ++i)
                        if (!reach(IndexOf(HandlerOffset(table, n, i)), woken)) return false;
                }
                if ((row.marks & kMarkNoFallThrough) != 0) break;
                if (index + 1 >= count) return Fail(pc, "runs past the end of the code");
                if (isTarget[index + 1] != 0) {
                    if (!reach(index + 1, depth)) return false;
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
        checks.calls.reserve(callsAt_.size());
        for (size_t call = 0; call < callsAt_.size(); ++call) {
            const uint32_t i = callsAt_[call];
            if (callResult[call] == kNotACall) continue;
            const bool hasPast = past != plainPast64.end() && past->offset == i;
            for (; past != plainPast64.end() && past->offset == i; ++past)
                checks.plainPast64.push_back({ins[i].offset, past->argument});
            checks.calls.push_back({ins[i].offset, static_cast<RunChecks::Result>(callResult[call]),
                                    plainArguments[call], hasPast});
        }
        if (unknownSeen) {
            // Every place a run can enter other than by falling through: there the top is
            // compared, exactly where the depth is known.
            std::vector<uint8_t> isEntry(count, 0);
            auto enter = [&](uint64_t offset) {
                const uint32_t t = IndexOf(offset);
                if (t == kNoInstruction) return;
                if (depthAt[t] != kUnseen) isEntry[t] = 1;
            };
            for (uint32_t i = 0; i < count; ++i) {
                if (depthAt[i] == kUnseen) continue;
                const Decoded& in = ins[i];
                const OpRow& row = rows[in.opcode];
                const uint8_t* table = code_ + in.offset + 3;
                const uint32_t n = in.tableCount;
                if (row.layout == Layout::kCodeOffset) enter(static_cast<uint64_t>(in.operand[0]));
                if ((row.marks & (kMarkCall | kMarkPushesAtTarget)) != 0)
                    enter(uint64_t{in.offset} + Length(in));
                if (in.opcode == kSwitch) {
                    for (uint32_t k = 0; k < n; ++k)
                        enter(CaseOffset(table, n, k));
                    enter(DefaultOffset(table, n));
                }
                if (in.opcode == kWait)
                    for (uint32_t k = 0; k < n; ++k)
                        enter(HandlerOffset(table, n, k));
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
    static constexpr uint32_t kNoSite = 0xFFFFFFFF;

    const GslImage& image_;
    VerifyError& error_;
    const OpRow* const rows_;
    const uint8_t* const fixedLengths_;
    const GslFunction* function_ = nullptr;
    const uint8_t* code_ = nullptr;  // of the function being checked
    // Call sites, settled once per image; the first is the thread call's.
    std::vector<CallSite> sites_;
    std::vector<uint32_t> rowSite_;   // by function row
    std::vector<uint32_t> slotSite_;  // by method slot
    std::vector<RowKinds> rowKinds_;  // by function row
    std::vector<uint8_t> parameterKinds_;
    std::vector<uint32_t> externalRows_;
    bool externalRowsFound_ = false;
    // Kept from function to function so their memory is reused.
    std::vector<Decoded> instructions_;
    uint32_t count_ = 0;  // of them decoded
    std::vector<uint32_t> branching_;
    std::vector<uint32_t> callsAt_;
    std::array<int64_t, static_cast<size_t>(OperandKind::kFunctionIndex) + 1> limit_{};
    std::vector<uint8_t> isReferenceSlot_;  // by frame slot, of the function being checked
    std::vector<uint8_t> isTarget_;
    std::vector<int32_t> depthAt_;
    std::vector<uint32_t> kindsAt_;
    std::vector<uint8_t> arena_;
    std::vector<uint32_t> work_;
    std::vector<uint8_t> callResult_;
    std::vector<uint64_t> plainArguments_;
    std::vector<RunChecks::PlainArgument> plainPast64_;
    std::vector<uint8_t> stack_;
};

}  // namespace

bool VerifyImage(const GslImage& image, VerifyError& error,
                 std::vector<std::vector<RunChecks>>* checks) {
    error = VerifyError{};
    return Verifier(image, error).Run(checks);
}

}  // namespace GSBytecode
