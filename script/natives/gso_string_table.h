// GSOStringTable, the native object of the script class "StringTable": the "string-table"
// container of an asset's configuration and ten parameters ("$0" to "$9") substituted into the
// strings it gives out. A name the table lacks is looked up in the interface text, which gives
// the name back when it has no text either.
#pragma once

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace ScriptNatives {

class GSOStringTable : public GSRuntime::GSObject {
public:
    static constexpr int kParamCount = 10;

    // Instantiated at once with the StringTable class slot in `context`; the table is the
    // configuration's "string-table" container (none when it has none).
    GSOStringTable(GSRuntime::GSContext* context, const TDBTagRef& configuration);

    // Step 3 of GetString: "$d" becomes parameter d and "$$" one "$", in one pass from the
    // start; inserted text is not scanned again.
    static std::string Substitute(std::string_view text, const Kiv::PString (&params)[kParamCount]);

    // The natives, in their table order.
    void GetLanguage(GSRuntime::GSStack& frame);
    void ClearParams(GSRuntime::GSStack& frame);
    void SetParam(GSRuntime::GSStack& frame);
    void GetString(GSRuntime::GSStack& frame);

private:
    TDBTagRef table_;
    Kiv::PString params_[kParamCount];
};

}  // namespace ScriptNatives
