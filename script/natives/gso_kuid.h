// GSOKUID, the native object of the script class "KUID": a KUID value joined to the script
// runtime. The program makes at most one per (context, KUID): NewKUIDObject hands out the one a
// context already has, so scripts may compare KUIDs by reference.
//
// The table is keyed by the context's address. An object leaves it when it is destroyed, and a
// context's teardown destroys every object of its own (its registry finalises them), so a later
// context that happens to get the same address finds none of them.
#pragma once

#include <cstddef>

#include "configdata/kuid.h"
#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace ScriptNatives {

class GSOKUID : public KUID, public GSRuntime::GSObject {
public:
    ~GSOKUID() override;

    // The context's object for the KUID with one reference for the caller (an existing one
    // gains it); null when none can be made (no memory, no KUID class).
    static GSOKUID* NewKUIDObject(GSRuntime::GSContext* context, const KUID& kuid);
    // Pushes the context's object for the KUID (the reference handed to the stack); 0 when none
    // can be made.
    static void Push(GSRuntime::GSStack& frame, GSRuntime::GSContext* context, const KUID& kuid);
    // Objects in the table, for tests and diagnostics.
    static size_t LiveCount();

    // The natives, in their table order.
    void GetName(GSRuntime::GSStack& frame);
    void GetHTMLString(GSRuntime::GSStack& frame);
    void GetLogString(GSRuntime::GSStack& frame);
    void GetBaseString(GSRuntime::GSStack& frame);
    void GetBaseKUID(GSRuntime::GSStack& frame);

private:
    explicit GSOKUID(const KUID& kuid) : KUID(kuid) {}
    // The context of the table key: the object's own context field is cleared before its
    // destructor runs when the context's teardown finalises it.
    GSRuntime::GSContext* keyContext_ = nullptr;
};

}  // namespace ScriptNatives
