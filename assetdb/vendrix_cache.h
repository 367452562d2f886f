// Content-service requests that the daemon carries out, and the process-wide cache of their
// info records. Starting a request enters a record under the id the daemon answers; asking
// for its info refills the record; the daemon's update notifications refill it too, on the
// link's reader thread; the notice that ends a request removes the record. Callers hold the
// record id, so a request that was ended is simply no longer found. Every lookup, insertion
// and removal is made under the cache's lock.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "assetdb/vendrix_info.h"
#include "configdata/tdb_tag_ref.h"

class TStream;
class URLRecord;

class WEXVendrixCache {
public:
    // The process-wide cache behind the WEXClient content-service requests.
    static WEXVendrixCache& Instance();

    // Enters a fresh record (not finished) for the id, replacing one of the same id.
    void Insert(uint64_t recordId);
    // Removes the record; false when there was none.
    bool Remove(uint64_t recordId);
    // A copy of the record; false when there is none.
    bool Find(uint64_t recordId, WEXVendrixInfo& out) const;
    // Stores the record when the id is cached; false (nothing stored) otherwise.
    bool Store(uint64_t recordId, const WEXVendrixInfo& info);
    // An update notification: a u64 record id, then an info record. The cached record of that
    // id is re-read from it; an id the cache does not hold is ignored. False when ignored.
    bool Update(TStream& notification);
    size_t Size() const;

private:
    mutable std::mutex lock_;
    std::map<uint64_t, WEXVendrixInfo> records_;
};

namespace WEXClient {

// Has the daemon fetch the URL (kind 2 a search page, 0 an archive), passing the tree on to it
// unchanged (an empty reference sends an empty soup). The new record's id, entered in the
// cache; kWEXNoVendrixRecord when the daemon started nothing or cannot be reached.
uint64_t ResolveVendrixAsset(const URLRecord& url, uint32_t kind, const TDBTagRef& tree = {});
// One-way: ends the request; its record is removed from the cache whether or not the notice
// could be sent.
void PostOnlineNotice(uint64_t recordId);
// Asks the daemon for the request's info, stores it in the cached record (when cached) and in
// `info`; false, `info` unchanged, without an answer.
bool GetVendrixInfo(uint64_t recordId, WEXVendrixInfo& info);
// Whether the request has finished: a record already marked finished answers without asking;
// otherwise the daemon is asked. False without an answer.
bool IsVendrixAvailable(uint64_t recordId);
// The same, always asking the daemon.
bool IsVendrixAvailableNow(uint64_t recordId);

}  // namespace WEXClient

// The link's handler for update notifications (type 4): WEXVendrixCache::Instance().Update.
void WEXVendrixUpdateNotification(TStream& payload);
