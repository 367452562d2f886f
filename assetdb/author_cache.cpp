#include "assetdb/author_cache.h"

#include <algorithm>
#include <iterator>

#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"

namespace {

// Interned once, on first use.
const Kiv::PString& NoAuthorName() {
    static const Kiv::PString name("-");
    return name;
}
const Kiv::PString& UnknownAuthorName() {
    static const Kiv::PString name("unknown");
    return name;
}
const Kiv::PString& MakerName() {
    static const Kiv::PString name("Orvel");
    return name;
}

constexpr int32_t kNoAuthor = 0;
constexpr int32_t kUnknownAuthor = -2;

bool IsMakerId(int32_t authorId) {
    return authorId < 0 || std::find(std::begin(kWEXMakerAuthorIds), std::end(kWEXMakerAuthorIds),
                                     authorId) != std::end(kWEXMakerAuthorIds);
}

WEXAuthorRecord AskDaemon(int32_t authorId) {
    WEXPayload payload("WEXClient::GetAuthorRecord");
    payload.WriteU32(authorId);
    TBuffer reply;
    WEXAuthorRecord record;
    if (WEXTransact(kWEXRequestAuthorRecord, payload, reply)) {
        reply.ReadU32(record.value, 0);
        reply.ReadPString(record.name);
    }
    return record;
}

}  // namespace

WEXAuthorCache& WEXAuthorCache::Instance() {
    static WEXAuthorCache cache;
    return cache;
}

WEXAuthorRecord WEXAuthorCache::Get(int32_t authorId) {
    if (authorId == kNoAuthor) return {-1, NoAuthorName()};
    if (authorId == kUnknownAuthor) return {-1, UnknownAuthorName()};
    if (IsMakerId(authorId)) return {-1, MakerName()};
    std::lock_guard<std::mutex> hold(lock_);
    auto it = records_.find(authorId);
    if (it != records_.end()) return it->second;
    WEXAuthorRecord record = AskDaemon(authorId);
    records_.emplace(authorId, record);
    return record;
}

size_t WEXAuthorCache::Size() const {
    std::lock_guard<std::mutex> hold(lock_);
    return records_.size();
}

namespace WEXClient {

WEXAuthorRecord GetAuthorRecord(int32_t authorId) {
    return WEXAuthorCache::Instance().Get(authorId);
}

}  // namespace WEXClient

Kiv::PString GetAuthorName(int32_t authorId) {
    return WEXClient::GetAuthorRecord(authorId).name;
}
