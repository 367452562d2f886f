#include "script/bytecode/disassembler.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "script/bytecode/opcodes.h"
#include "script/bytecode/word_ops.h"

namespace GSBytecode {

namespace {

void Add(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Add(std::string& out, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    out += text;
}

void Quoted(std::string& out, std::string_view text) {
    out += " \"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    out += '"';
}

std::string ClassName(const GslImage* image, int64_t index) {
    if (image == nullptr || index < 0 || index >= static_cast<int64_t>(image->classTable.size()))
        return {};
    return std::string(image->String(image->classTable[index].name));
}

}  // namespace

std::string Disassemble(std::span<const uint8_t> code, const GslImage* image) {
    std::string out;
    for (uint32_t pc = 0; pc < code.size();) {
        Instruction in;
        DecodeResult r = DecodeInstruction(code, pc, in);
        if (r != DecodeResult::kOk) {
            Add(out, "%04x  ?? %s\n", pc,
                r == DecodeResult::kUnknownOpcode ? "unknown opcode" : "truncated operands");
            break;
        }
        Add(out, "%04x  %s", pc, in.info->mnemonic);
        const auto fields = OperandFields(in.info->layout);
        for (size_t i = 0; i < fields.size(); ++i) {
            const int64_t v = in.operand[i];
            if (in.opcode == kPushConstant) {
                // A constant is shown as the integer it is, and as a float when it reads as one.
                const float f = WordToFloat(static_cast<uint32_t>(v));
                Add(out, " %d", static_cast<int32_t>(static_cast<uint32_t>(v)));
                if (v > 0xFFFF && v != 0xFFFFFFFF) Add(out, " (%g)", static_cast<double>(f));
                continue;
            }
            if (fields[i].kind == OperandKind::kCodeOffset) {
                Add(out, " %04" PRIx64, v);
                continue;
            }
            Add(out, i == 0 ? " %" PRId64 : ", %" PRId64, v);
            if (image == nullptr) continue;
            if (fields[i].kind == OperandKind::kString &&
                v < static_cast<int64_t>(image->strings.size()))
                Quoted(out, image->String(static_cast<uint32_t>(v)));
            if (fields[i].kind == OperandKind::kClass) {
                std::string name = ClassName(image, v);
                if (!name.empty()) Add(out, " <%s>", name.c_str());
            }
            if (fields[i].kind == OperandKind::kFunctionIndex &&
                v < static_cast<int64_t>(image->functionTable.size()))
                Add(out, " <%s>",
                    std::string(image->String(image->functionTable[v].signature)).c_str());
        }
        if (in.opcode == kSwitch) {
            for (uint32_t i = 0; i < in.tableCount; ++i)
                Add(out, " %d->%04x", in.CaseValue(i), in.CaseOffset(i));
            Add(out, " default->%04x", in.DefaultOffset());
        }
        if (in.opcode == kWait) {
            for (uint32_t i = 0; i < in.tableCount; ++i) {
                Add(out, " (%u, %u", in.Major(i), in.Minor(i));
                if (image != nullptr && in.Major(i) < image->strings.size() &&
                    in.Minor(i) < image->strings.size()) {
                    Quoted(out, image->String(in.Major(i)));
                    Quoted(out, image->String(in.Minor(i)));
                }
                Add(out, ")->%04x", in.HandlerOffset(i));
            }
        }
        out += '\n';
        pc += in.length;
    }
    return out;
}

std::string DumpImage(const GslImage& image) {
    std::string out;
    Add(out, "library \"%.*s\" size %u version 0x%08X id 0x%08X 0x%08X\n",
        static_cast<int>(image.name.size()), image.name.data(), image.totalSize, image.versionBits,
        image.id.sourceChecksum, image.id.nameChecksum);
    Add(out, "libraries %zu\n", image.libraries.size());
    for (size_t i = 0; i < image.libraries.size(); ++i)
        Add(out, "  %zu: 0x%08X 0x%08X\n", i, image.libraries[i].sourceChecksum,
            image.libraries[i].nameChecksum);
    Add(out, "strings %zu\n", image.strings.size());
    for (size_t i = 0; i < image.strings.size(); ++i) {
        Add(out, "  %zu:", i);
        Quoted(out, image.strings[i]);
        out += '\n';
    }
    Add(out, "classes %zu\n", image.classTable.size());
    for (size_t i = 0; i < image.classTable.size(); ++i)
        Add(out, "  %zu: %s (library %u)\n", i,
            std::string(image.String(image.classTable[i].name)).c_str(),
            image.classTable[i].module);
    Add(out, "functions %zu\n", image.functionTable.size());
    for (size_t i = 0; i < image.functionTable.size(); ++i) {
        const GslFunctionRow& f = image.functionTable[i];
        Add(out, "  %zu: %s class %u slot %d\n", i, std::string(image.String(f.signature)).c_str(),
            f.classIndex, f.methodSlot);
    }
    for (const GslClass& c : image.classes) {
        Add(out, "\nclass %s flags 0x%X\n", std::string(image.String(c.name)).c_str(), c.flags);
        for (const GslBase& b : c.bases)
            Add(out, "  base %s w1 %u w3 %u\n", ClassName(&image, b.classIndex).c_str(), b.w1,
                b.w3);
        for (const GslMember& m : c.members)
            Add(out, "  member %s type %u class %d flags %u slot %d\n",
                std::string(image.String(m.name)).c_str(), m.type, m.classIndex, m.flags, m.slot);
        for (size_t i = 0; i < c.methods.size(); ++i)
            Add(out, "  method %zu: function %u base %u\n", i, c.methods[i].function,
                c.methods[i].baseOffset);
        Add(out, "  initialiser words %u, second table %zu\n", c.memberWords, c.secondTable.size());
        for (const GslFunction& f : c.functions) {
            Add(out, "  function %s type %u class %d flags 0x%X slot %d\n",
                std::string(image.String(f.signature)).c_str(), f.returnType, f.returnClass,
                f.flags, f.methodSlot);
            Add(out, "    frame P %u A %u B %u D %u, %zu reference slots, %zu bytes\n",
                f.frame.Parameters(), f.frame.Locals(), f.frame.Temporaries(), f.frame.MaxDepth(),
                f.referenceSlots.size(), f.code.size());
            std::string code = Disassemble(f.code, &image);
            size_t line = 0;
            for (size_t at = 0; at < code.size();) {
                size_t end = code.find('\n', at);
                std::string_view text(code.data() + at, end - at);
                // The source line of the instruction, from the line table.
                uint32_t offset = static_cast<uint32_t>(
                    std::strtoul(std::string(text.substr(0, 4)).c_str(), nullptr, 16));
                while (line + 1 < f.lines.size() && f.lines[line + 1].offset <= offset)
                    ++line;
                if (!f.lines.empty() && f.lines[line].offset <= offset)
                    Add(out, "    %5u  ", f.lines[line].line);
                else
                    out += "           ";
                out.append(text);
                out += '\n';
                at = end + 1;
            }
        }
    }
    return out;
}

}  // namespace GSBytecode
