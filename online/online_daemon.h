// What the online-access client asks of the database daemon, which keeps the user's online
// state: the profile name (request 240), the login ticket (242), a login request through the
// content service (230 with "pologin://", polled, and dropped with 231) and the notice of a
// refused login (241). The daemon link implements it (assetdb/online_daemon_link.h); tests
// give scripted answers.
#pragma once

#include <cstdint>
#include <string>

class URLRecord;

class OnlineDaemon {
public:
    // The id of a login request that could not be started.
    static constexpr uint64_t kNoRequest = 0xFFFFFFFFFFFFFFFFull;

    virtual ~OnlineDaemon() = default;
    // Empty when no profile is set (or the daemon cannot be asked).
    virtual std::string ProfileName() = 0;
    // Empty when the user is not signed in.
    virtual std::string LoginTicket() = 0;
    // Starts a login request for the URL (mode 2); kNoRequest when none could be started.
    virtual uint64_t StartLogin(const URLRecord& url) = 0;
    // True once the request has finished.
    virtual bool IsLoginFinished(uint64_t request) = 0;
    // The finished request's result: 0 success, 3 refused, anything else failure.
    virtual int LoginResult(uint64_t request) = 0;
    // Tells the daemon to drop the request.
    virtual void DropLogin(uint64_t request) = 0;
    // Tells the daemon that the server refused the login.
    virtual void PostRefusal() = 0;
};
