#include "script/natives/gso_kuid.h"

#include <map>
#include <new>
#include <tuple>

#include "assetdb/asset_status.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_context.h"

namespace ScriptNatives {

namespace {

using Key = std::tuple<GSRuntime::GSContext*, int32_t, int32_t, int32_t>;

std::map<Key, GSOKUID*>& Table() {
    static std::map<Key, GSOKUID*> table;
    return table;
}

Key KeyOf(GSRuntime::GSContext* context, const KUID& k) {
    return {context, k.userId, k.contentId, k.version};
}

GSRuntime::GSContext* ContextOf(const GSRuntime::GSObject* object) {
    return object->context != nullptr ? object->context : GSRuntime::CurrentContext();
}

}  // namespace

GSOKUID::~GSOKUID() {
    auto it = Table().find(KeyOf(keyContext_, *this));
    if (it != Table().end() && it->second == this) Table().erase(it);
}

GSOKUID* GSOKUID::NewKUIDObject(GSRuntime::GSContext* context, const KUID& kuid) {
    const Key key = KeyOf(context, kuid);
    if (auto it = Table().find(key); it != Table().end()) {
        GSRuntime::AddReference(it->second->instance);
        return it->second;
    }
    GSRuntime::GSClass* cls = GetClassSlot(kKUID);
    if (cls == nullptr || context == nullptr) return nullptr;
    auto* object = new (std::nothrow) GSOKUID(kuid);
    if (object == nullptr) return nullptr;
    if (!object->Instantiate(cls, context)) {
        delete object;
        return nullptr;
    }
    object->keyContext_ = context;
    Table().emplace(key, object);
    return object;
}

void GSOKUID::Push(GSRuntime::GSStack& frame, GSRuntime::GSContext* context, const KUID& kuid) {
    frame.PushObjectAs(NewKUIDObject(context, kuid), GetClassSlot(kKUID));
}

size_t GSOKUID::LiveCount() {
    return Table().size();
}

void GSOKUID::GetName(GSRuntime::GSStack& frame) {
    frame.PushString(WEXGetAssetName(*this).str());
}

void GSOKUID::GetHTMLString(GSRuntime::GSStack& frame) {
    frame.PushPString(ToString());
}

void GSOKUID::GetLogString(GSRuntime::GSStack& frame) {
    frame.PushPString(ToString());
}

void GSOKUID::GetBaseString(GSRuntime::GSStack& frame) {
    frame.PushPString(ToStringNoVersion());
}

void GSOKUID::GetBaseKUID(GSRuntime::GSStack& frame) {
    // A user id whose top seven bits are neither all clear nor all set has no 25-bit form.
    const uint32_t top = static_cast<uint32_t>(userId) >> 25;
    KUID base = KUID::kNull;
    if (top == 0 || top == 0x7F) base = KUID(userId, contentId, userId >= 0 ? 0 : 127);
    Push(frame, ContextOf(this), base);
}

}  // namespace ScriptNatives
