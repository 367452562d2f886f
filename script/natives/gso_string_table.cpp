#include "script/natives/gso_string_table.h"

#include <string>

#include "configdata/interface_text.h"
#include "configdata/tdb_container_tag.h"
#include "script/natives/native_frame.h"

namespace ScriptNatives {

using GSRuntime::GSStack;

GSOStringTable::GSOStringTable(GSRuntime::GSContext* context, const TDBTagRef& configuration)
    : table_(TDBContainerTag::GetContainer(configuration, Kiv::PString("string-table"))) {
    if (GSRuntime::GSClass* cls = GetClassSlot(kStringTable)) Instantiate(cls, context);
}

std::string GSOStringTable::Substitute(std::string_view text,
                                       const Kiv::PString (&params)[kParamCount]) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '$' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char next = text[i + 1];
        if (next == '$') {
            out += '$';
            ++i;
        } else if (next >= '0' && next <= '9') {
            out += params[next - '0'].view();
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

void GSOStringTable::GetLanguage(GSStack& frame) {
    static const Kiv::PString kKey("$main_language");
    const Kiv::PString text = InterfaceTextDB::Instance().GetString(kKey, false);
    // A table without the key gives the key back: no language is named then either.
    frame.PushString(text.view().empty() || text == kKey ? std::string_view("english")
                                                         : text.view());
}

void GSOStringTable::ClearParams(GSStack&) {
    for (Kiv::PString& p : params_)
        p = Kiv::PString();
}

void GSOStringTable::SetParam(GSStack& frame) {
    const uint32_t index = frame.GetWord(1);  // unsigned: a negative index is out of range
    if (index >= kParamCount) {
        RaiseNativeError("StringTable.SetParam> index (%d) out of range (0..9)",
                         static_cast<int32_t>(index));
        return;
    }
    GetNativeStringParam(frame, 2, params_[index], true);
}

void GSOStringTable::GetString(GSStack& frame) {
    Kiv::PString name;
    GetNativeStringParam(frame, 1, name, true);
    if (name.view().empty()) {
        frame.PushString({});
        return;
    }
    name = name.ToLower();
    const Kiv::PString text = TDBContainerTag::HasTag(table_, name)
                                  ? TDBContainerTag::GetString(table_, name)
                                  : LookupTableString(InterfaceTextDB::Instance().GetTable(), name);
    frame.PushString(Substitute(text.view(), params_));
}

}  // namespace ScriptNatives
