// GSOKUIDList, the native object of the script class "KUIDList": its own KUID list (insertion
// order, no two equal entries when built through AddKUID) and a locked flag. Lists the program
// hands out are locked copies, so scripts never change the program's own data.
#pragma once

#include "configdata/kuid_list.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace ScriptNatives {

class GSOKUIDList : public GSRuntime::GSObject {
public:
    // Empty and unlocked; instantiated at once with the KUIDList class slot in `context`.
    explicit GSOKUIDList(GSRuntime::GSContext* context);
    // A locked deep copy of `source`.
    GSOKUIDList(GSRuntime::GSContext* context, const KUIDBlockList& source);

    const KUIDBlockList& GetList() const { return list_; }

    // The natives, in their table order.
    void CountKUIDs(GSRuntime::GSStack& frame);
    void AddKUID(GSRuntime::GSStack& frame);
    void RemoveKUID(GSRuntime::GSStack& frame);
    void HasKUID(GSRuntime::GSStack& frame);
    void GetIndexedKUID(GSRuntime::GSStack& frame);
    void Copy(GSRuntime::GSStack& frame);
    void Clear(GSRuntime::GSStack& frame);
    void IsLocked(GSRuntime::GSStack& frame);

private:
    bool RefusedAsLocked(const char* native) const;

    KUIDBlockList list_;
    bool locked_ = false;
};

}  // namespace ScriptNatives
