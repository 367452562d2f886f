// The natives of the static script class "ConstructorsBase", through which scripts make the
// program's native objects: each makes its object in the caller's context and pushes it, or 0
// when it cannot be made.
#pragma once

#include "script/vm/gs_context.h"
#include "script/vm/gs_stack.h"

namespace ScriptNatives {

// "$Soup@ConstructorsBase::NewSoup()": empty and unlocked.
void ConstructorsNewSoup(GSRuntime::GSContext* context, GSRuntime::GSStack& frame);
// "$KUIDList@ConstructorsBase::NewKUIDList()": empty and unlocked.
void ConstructorsNewKUIDList(GSRuntime::GSContext* context, GSRuntime::GSStack& frame);
// "$Image@ConstructorsBase::NewImage()": without a bitmap.
void ConstructorsNewImage(GSRuntime::GSContext* context, GSRuntime::GSStack& frame);

}  // namespace ScriptNatives
