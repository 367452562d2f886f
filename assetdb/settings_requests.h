// The program's settings, kept by the daemon in named groups, each a tag tree of key/value
// tags: one value read, a whole group read, a whole group stored; and the two uses the program
// makes of them, the interface language and the online login.
#pragma once

#include <string_view>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

// The group and keys the program uses.
inline constexpr std::string_view kWEXSettingsInternet = "internet";
inline constexpr std::string_view kWEXSettingLanguage = "language";
inline constexpr std::string_view kWEXSettingUsername = "username";
inline constexpr std::string_view kWEXSettingPassword = "password";
// The ticket the online-access server takes at login, kept beside the profile name ("username")
// in the "internet" group; absent or empty while the user is not signed in.
inline constexpr std::string_view kWEXSettingOnlineTicket = "online-ticket";

namespace WEXClient {

// One value as an interned string; the empty string when it is absent or empty, or without an
// answer.
Kiv::PString GetSetting(std::string_view group, std::string_view key);

// The group's tree: true with the tree (an empty container when the daemon holds no such
// group); false, `tree` emptied, without an answer or when the answer is not a soup.
bool ReadSettings(std::string_view group, TDBTagRef& tree);

// Stores the group; an absent tree or one without children stores the group empty. False when
// it was not sent (no answer, or a tree or name a request cannot carry).
bool WriteSettings(std::string_view group, const TDBTagRef& tree);

}  // namespace WEXClient

// The interface language code of the "internet" group; empty for the default interface text.
Kiv::PString WEXGetInterfaceLanguage();

// Stores the online login: reads the "internet" group, sets "username" and "password" in it
// (replacing same-named tags) and stores it. When the group cannot be read nothing is stored,
// so a daemon that is briefly unreachable never has the group's other settings replaced by
// an empty group. False when the group could not be read or stored.
bool WEXStoreOnlineLogin(std::string_view username, std::string_view password);
