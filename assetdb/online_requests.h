// Requests of the online-access endpoint, whose state the daemon keeps: the user's profile
// name, the notice of a refused login, and the login ticket; and the local data that a script's
// OnlineAccess object keeps per asset and key.
#pragma once

#include <string_view>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/text.h"

namespace WEXClient {

// The user's profile name: the first of the six fields the daemon answers; empty without an
// answer.
Kiv::String OnlineRequest240();
// One-way: tells the daemon that the online-access server refused the login.
void OnlinePost241();
// The login ticket for the online-access server; empty without an answer.
Kiv::String OnlineRequest242();
// Request 121: the data stored for the asset under the key (an empty tree when none). False,
// `data` empty, without a whole answer.
bool GetOnlineLocalData(const KUID& asset, std::string_view key, TDBTagRef& data);
// One-way 122: stores the data for the asset under the key (an empty tree removes it). False
// when it could not be sent.
bool PostOnlineLocalData(const KUID& asset, std::string_view key, const TDBTagRef& data);

}  // namespace WEXClient
