#include "script/natives/constructors_natives.h"

#include <new>

#include "script/natives/gso_image.h"
#include "script/natives/gso_kuid_list.h"
#include "script/natives/gso_soup.h"
#include "script/natives/native_frame.h"

namespace ScriptNatives {

void ConstructorsNewSoup(GSRuntime::GSContext* context, GSRuntime::GSStack& frame) {
    PushNewObject(frame, context ? new (std::nothrow) GSOSoup(context) : nullptr, kSoup);
}

void ConstructorsNewKUIDList(GSRuntime::GSContext* context, GSRuntime::GSStack& frame) {
    PushNewObject(frame, context ? new (std::nothrow) GSOKUIDList(context) : nullptr, kKUIDList);
}

void ConstructorsNewImage(GSRuntime::GSContext* context, GSRuntime::GSStack& frame) {
    PushNewObject(frame, context ? new (std::nothrow) GSOImage(context) : nullptr, kImage);
}

}  // namespace ScriptNatives
