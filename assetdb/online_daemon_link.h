// The online-access client's requests to the database daemon, through the daemon link: the
// profile name (240), the login ticket (242), the login request through the content service
// (230 with "pologin://", polled through its info record, dropped with 231) and the refusal
// notice (241).
#pragma once

#include "online/online_access_client.h"
#include "online/online_daemon.h"

class WEXOnlineDaemon : public OnlineDaemon {
public:
    std::string ProfileName() override;
    std::string LoginTicket() override;
    uint64_t StartLogin(const URLRecord& url) override;
    bool IsLoginFinished(uint64_t request) override;
    // The info record of a finished request: 0 when it carries no message, 3 when its message
    // is "refused", 1 for any other message or without an answer.
    int LoginResult(uint64_t request) override;
    void DropLogin(uint64_t request) override;
    void PostRefusal() override;
};

// The process-wide online-access client, made on first use with the daemon link and its
// stored messages in "<user data>/cache/oa_messages.dat"; destroyed at exit, when it writes
// the stored messages back if they changed. For the script classes, the only users.
OnlineAccessClientEndpoint& WEXOnlineAccessClient();
