#include "script/compiler/label_table.h"

#include "foundation/byte_buffer.h"

namespace GSCompiler {

int32_t LabelTable::NewLabel() {
    labels_.push_back({});
    return static_cast<int32_t>(labels_.size() - 1);
}

int32_t LabelTable::LabelFor(std::string_view name) {
    auto it = names_.find(name);
    if (it != names_.end()) return it->second;
    int32_t label = NewLabel();
    names_.emplace(std::string(name), label);
    return label;
}

bool LabelTable::DefineLabel(int32_t label, uint32_t offset) {
    if (label < 0 || static_cast<size_t>(label) >= labels_.size()) return false;
    Label& l = labels_[label];
    if (l.defined) return false;
    l.defined = true;
    l.offset = offset;
    return true;
}

bool LabelTable::IsDefined(int32_t label) const {
    return label >= 0 && static_cast<size_t>(label) < labels_.size() && labels_[label].defined;
}

uint32_t LabelTable::OffsetOf(int32_t label) const {
    return IsDefined(label) ? labels_[label].offset : 0;
}

void LabelTable::AddReference(uint32_t operandOffset, int32_t label, const char* message,
                              uint32_t line) {
    references_.push_back({label, operandOffset, message, line});
}

uint32_t LabelTable::ResolveReferences(ByteBuffer& code,
                                       const std::function<void(const std::string&)>& report) {
    uint32_t unresolved = 0;
    const uint32_t cursor = code.GetCursor();
    for (const Reference& r : references_) {
        if (!IsDefined(r.label)) {
            ++unresolved;
            report(std::string(r.message) + ", line " + std::to_string(r.line));
            continue;
        }
        // An operand beyond the code is refused by the cursor move (the buffer's flag is set).
        if (code.SetCursor(r.operandOffset)) code.AppendU32(labels_[r.label].offset);
    }
    code.SetCursor(cursor);
    return unresolved;
}

void LabelTable::Clear() {
    labels_.clear();
    names_.clear();
    references_.clear();
}

}  // namespace GSCompiler
