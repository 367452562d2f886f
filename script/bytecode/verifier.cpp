#include "script/bytecode/verifier.h"

#include <cstdarg>
#include <cstdio>
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

constexpr int32_t kUnseen = -1;
constexpr int32_t kUnknown = -2;  // after a call whose result the image does not show

enum class CallResult { kNone, kValue, kUnknown };

class Verifier {
public:
    Verifier(const GslImage& image, VerifyError& error) : image_(image), error_(error) {}

    bool Run() {
        for (const GslClass& c : image_.classes) {
            for (size_t i = 0; i < c.functions.size(); ++i) {
                const bool initialiser = i + 1 == c.functions.size();
                if (!Function(c.functions[i], initialiser)) return false;
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

    CallResult RowResult(uint32_t row) const {
        return SignatureReturnsValue(image_.String(image_.functionTable[row].signature))
                   ? CallResult::kValue
                   : CallResult::kNone;
    }

    // The result of a virtual call through `slot`, when every callee the image can show for it
    // agrees.
    CallResult SlotResult(uint32_t slot) {
        auto cached = slots_.find(slot);
        if (cached != slots_.end()) return cached->second;
        bool value = false;
        bool none = false;
        auto add = [&](CallResult r) { (r == CallResult::kValue ? value : none) = true; };
        for (const GslClass& c : image_.classes)
            if (slot < c.methods.size()) add(RowResult(c.methods[slot].function));
        for (uint32_t row = 0; row < image_.functionTable.size(); ++row) {
            const GslFunctionRow& f = image_.functionTable[row];
            const bool external = image_.classTable[f.classIndex].module != 0;
            if (external && f.methodSlot >= 0 && static_cast<uint32_t>(f.methodSlot) <= slot)
                add(RowResult(row));
        }
        CallResult r =
            value == none ? CallResult::kUnknown : (value ? CallResult::kValue : CallResult::kNone);
        slots_.emplace(slot, r);
        return r;
    }

    bool Operands(const Instruction& in, uint32_t frameSize) {
        for (size_t i = 0; i < OperandFields(in.info->layout).size(); ++i) {
            const OperandField& f = OperandFields(in.info->layout)[i];
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
        if (in.opcode == kWait)
            for (uint32_t i = 0; i < in.tableCount; ++i)
                if (in.Major(i) >= image_.strings.size() || in.Minor(i) >= image_.strings.size())
                    return Fail(in.offset, "message name beyond the string table");
        return true;
    }

    bool Function(const GslFunction& f, bool initialiser) {
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

        // Instruction starts.
        std::vector<Instruction> at(size);
        std::vector<uint8_t> isStart(size, 0);
        for (uint32_t pc = 0; pc < size;) {
            Instruction in;
            DecodeResult r = DecodeInstruction(code, pc, in);
            if (r == DecodeResult::kUnknownOpcode) return Fail(pc, "unknown opcode %u", code[pc]);
            if (r != DecodeResult::kOk) return Fail(pc, "operands run past the code");
            if (!Operands(in, static_cast<uint32_t>(frameSize))) return false;
            isStart[pc] = 1;
            at[pc] = in;
            pc += in.length;
        }

        const int32_t maxAllowed = static_cast<int32_t>(f.frame.MaxDepth());
        std::vector<int32_t> depthAt(size, kUnseen);
        std::vector<uint32_t> work;
        int32_t deepest = 0;
        bool unknownSeen = false;
        auto reach = [&](uint32_t from, uint32_t target, int32_t depth) {
            if (target >= size || isStart[target] == 0)
                return Fail(from, "target %u is no instruction start", target);
            int32_t& seen = depthAt[target];
            if (seen == kUnseen || (seen == kUnknown && depth != kUnknown)) {
                seen = depth;
                work.push_back(target);
            } else if (depth != kUnknown && seen != depth) {
                return Fail(target, "reached with depths %d and %d", seen, depth);
            }
            return true;
        };
        if (!reach(0, 0, 0)) return false;
        while (!work.empty()) {
            const uint32_t pc = work.back();
            work.pop_back();
            const Instruction& in = at[pc];
            int32_t depth = depthAt[pc];
            const bool known = depth != kUnknown;
            if (known) {
                if (depth < in.info->pops)
                    return Fail(pc, "%s takes %u words from a stack of %d", in.info->mnemonic,
                                in.info->pops, depth);
                depth += in.info->pushes - in.info->pops;
            }
            if ((in.info->marks & kMarkCall) != 0) {
                const int64_t words = 1 - in.operand[0];
                CallResult result = CallResult::kNone;
                if (in.opcode == kCallInherited)
                    result = RowResult(static_cast<uint32_t>(in.operand[1]));
                else if (in.opcode != kCallThread)
                    result = SlotResult(static_cast<uint32_t>(in.operand[1]));
                if (known) {
                    if (words > depth)
                        return Fail(pc, "a call of %lld words on a stack of %d",
                                    static_cast<long long>(words), depth);
                    depth -= static_cast<int32_t>(words);
                    if (result == CallResult::kValue) ++depth;
                }
                if (result == CallResult::kUnknown) {
                    depth = kUnknown;
                    unknownSeen = true;
                }
            }
            if (depth != kUnknown) {
                if (depth > maxAllowed)
                    return Fail(pc, "depth %d passes the recorded maximum %d", depth, maxAllowed);
                if (depth > deepest) deepest = depth;
                if ((in.info->marks & kMarkReturn) != 0 && depth != 0)
                    return Fail(pc, "returns with %d words on the stack", depth);
            }
            if (in.info->layout == Layout::kCodeOffset &&
                !reach(pc, static_cast<uint32_t>(in.operand[0]), depth))
                return false;
            if (in.opcode == kSwitch) {
                for (uint32_t i = 0; i < in.tableCount; ++i) {
                    if (i > 0 && in.CaseValue(i) <= in.CaseValue(i - 1))
                        return Fail(pc, "case values not ascending");
                    if (!reach(pc, in.CaseOffset(i), depth)) return false;
                }
                if (!reach(pc, in.DefaultOffset(), depth)) return false;
            }
            if (in.opcode == kWait) {
                const int32_t woken = depth == kUnknown ? kUnknown : depth + 1;
                if (woken != kUnknown && woken > maxAllowed)
                    return Fail(pc, "a woken handler passes the recorded maximum");
                if (woken > deepest) deepest = woken;
                for (uint32_t i = 0; i < in.tableCount; ++i)
                    if (!reach(pc, in.HandlerOffset(i), woken)) return false;
            }
            if ((in.info->marks & kMarkNoFallThrough) == 0) {
                if (pc + in.length >= size) return Fail(pc, "runs past the end of the code");
                if (!reach(pc, pc + in.length, depth)) return false;
            }
        }
        // Code no path reaches (after a return, say) still counts in the recorded maximum.
        bool allReached = true;
        for (uint32_t pc = 0; pc < size && allReached; ++pc)
            allReached = isStart[pc] == 0 || depthAt[pc] != kUnseen;
        if (!unknownSeen && allReached && deepest != maxAllowed)
            return Fail(0, "the deepest stack is %d, the record says %d", deepest, maxAllowed);
        return true;
    }

    const GslImage& image_;
    VerifyError& error_;
    const GslFunction* function_ = nullptr;
    std::map<uint32_t, CallResult> slots_;
};

}  // namespace

bool VerifyImage(const GslImage& image, VerifyError& error) {
    error = VerifyError{};
    return Verifier(image, error).Run();
}

}  // namespace GSBytecode
