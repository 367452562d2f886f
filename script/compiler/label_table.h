// The jump labels of one function: forward jumps are emitted before their target exists, so
// each records where its 4-byte operand lies and every operand is written once the code is
// complete. Labels are numbered; `goto` labels also have a name. Loop and switch labels stay
// anonymous (the generator keeps them per statement), so a `goto` label can never be taken for
// one of them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class ByteBuffer;

namespace GSCompiler {

class LabelTable {
public:
    int32_t NewLabel();
    // The label of that name, made on first use.
    int32_t LabelFor(std::string_view name);
    // False when there is no such label or it is defined already (the first offset stays).
    bool DefineLabel(int32_t label, uint32_t offset);
    bool IsDefined(int32_t label) const;
    uint32_t OffsetOf(int32_t label) const;
    // `message` is what is reported, with the line, when the label is never defined.
    void AddReference(uint32_t operandOffset, int32_t label, const char* message, uint32_t line);

    // Writes each reference's label offset into `code`; for each label never defined reports
    // "%s, line %d" through `report` and counts it. The buffer's cursor is kept.
    uint32_t ResolveReferences(ByteBuffer& code,
                               const std::function<void(const std::string&)>& report);
    void Clear();

private:
    struct Label {
        bool defined = false;
        uint32_t offset = 0;
    };
    struct Reference {
        int32_t label;
        uint32_t operandOffset;
        const char* message;
        uint32_t line;
    };
    std::vector<Label> labels_;
    std::map<std::string, int32_t, std::less<>> names_;
    std::vector<Reference> references_;
};

}  // namespace GSCompiler
