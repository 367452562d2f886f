// Author records: an author id's value word and creator name. A few ids are answered here
// without asking the daemon (0 "-", -2 "unknown", the maker's own ids and every other negative
// id "Orvel"); any other id is asked once and its answer kept for the rest of the process,
// a daemon that cannot be reached included (value -1, no name), so each id costs at most one
// request.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/kiv/base/pstring.h"

struct WEXAuthorRecord {
    int32_t value = -1;
    Kiv::PString name;
};

class WEXAuthorCache {
public:
    // The process-wide cache behind WEXClient::GetAuthorRecord.
    static WEXAuthorCache& Instance();

    // The record of the author id; asks the daemon the first time an unlisted id is seen.
    WEXAuthorRecord Get(int32_t authorId);
    // Ids answered by the daemon so far.
    size_t Size() const;

private:
    // Held across the request, so two threads asking for one new id send one request.
    mutable std::mutex lock_;
    std::map<int32_t, WEXAuthorRecord> records_;
};

// The maker's own author ids (the last is -1, which every negative id matches anyway).
inline constexpr int32_t kWEXMakerAuthorIds[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -1};

namespace WEXClient {

// The record from the process-wide cache; always answers.
WEXAuthorRecord GetAuthorRecord(int32_t authorId);

}  // namespace WEXClient

// The name part of the author's record.
Kiv::PString GetAuthorName(int32_t authorId);
