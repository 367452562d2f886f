#include "assetdb/vendrix_cache.h"

#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"
#include "online/url_record.h"

WEXVendrixCache& WEXVendrixCache::Instance() {
    static WEXVendrixCache cache;
    return cache;
}

void WEXVendrixCache::Insert(uint64_t recordId) {
    std::lock_guard<std::mutex> hold(lock_);
    records_[recordId] = WEXVendrixInfo();
}

bool WEXVendrixCache::Remove(uint64_t recordId) {
    std::lock_guard<std::mutex> hold(lock_);
    return records_.erase(recordId) != 0;
}

bool WEXVendrixCache::Find(uint64_t recordId, WEXVendrixInfo& out) const {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = records_.find(recordId);
    if (it == records_.end()) return false;
    out = it->second;
    return true;
}

bool WEXVendrixCache::Store(uint64_t recordId, const WEXVendrixInfo& info) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = records_.find(recordId);
    if (it == records_.end()) return false;
    it->second = info;
    return true;
}

bool WEXVendrixCache::Update(TStream& notification) {
    uint64_t recordId;
    if (!notification.ReadU64(recordId, kWEXNoVendrixRecord)) return false;
    WEXVendrixInfo info;
    WEXReadVendrixInfo(notification, info);
    return Store(recordId, info);
}

size_t WEXVendrixCache::Size() const {
    std::lock_guard<std::mutex> hold(lock_);
    return records_.size();
}

void WEXVendrixUpdateNotification(TStream& payload) {
    WEXVendrixCache::Instance().Update(payload);
}

namespace WEXClient {

uint64_t ResolveVendrixAsset(const URLRecord& url, uint32_t kind, const TDBTagRef& tree) {
    WEXPayload payload("WEXClient::ResolveVendrixAsset");
    payload.WriteBool(false);
    payload.WriteName(url.Compose());
    payload.WriteU32(kind);
    payload.WriteU32(0xFFFFFFFFu);
    payload.WriteSoup(tree);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestResolveVendrixAsset, payload, reply)) return kWEXNoVendrixRecord;
    uint64_t recordId;
    reply.ReadU64(recordId, kWEXNoVendrixRecord);
    if (recordId != kWEXNoVendrixRecord) WEXVendrixCache::Instance().Insert(recordId);
    return recordId;
}

void PostOnlineNotice(uint64_t recordId) {
    WEXPayload payload("WEXClient::PostOnlineNotice");
    payload.WriteU64(recordId);
    WEXPost(kWEXPostOnlineNotice, payload);
    WEXVendrixCache::Instance().Remove(recordId);
}

bool GetVendrixInfo(uint64_t recordId, WEXVendrixInfo& info) {
    WEXPayload payload("WEXClient::GetVendrixInfo");
    payload.WriteU64(recordId);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestVendrixInfo, payload, reply)) return false;
    WEXReadVendrixInfo(reply, info);
    WEXVendrixCache::Instance().Store(recordId, info);
    return true;
}

bool IsVendrixAvailable(uint64_t recordId) {
    WEXVendrixInfo cached;
    if (WEXVendrixCache::Instance().Find(recordId, cached) && cached.finished) return true;
    return IsVendrixAvailableNow(recordId);
}

bool IsVendrixAvailableNow(uint64_t recordId) {
    WEXVendrixInfo info;
    return GetVendrixInfo(recordId, info) && info.finished;
}

}  // namespace WEXClient
