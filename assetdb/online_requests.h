// Requests of the online-access endpoint, whose state the daemon keeps: the user's profile
// name, the notice of a refused login, and the login ticket.
#pragma once

#include "platform/kiv/base/text.h"

namespace WEXClient {

// The user's profile name: the first of the six fields the daemon answers; empty without an
// answer.
Kiv::String OnlineRequest240();
// One-way: tells the daemon that the online-access server refused the login.
void OnlinePost241();
// The login ticket for the online-access server; empty without an answer.
Kiv::String OnlineRequest242();

}  // namespace WEXClient
