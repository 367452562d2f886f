// What a requester hands the link so that the daemon can ask it questions while its request
// runs (an install that meets an asset already there, say). The daemon's question arrives as a
// notification naming the request; the answer goes back as a one-way message.
#pragma once

#include <cstdint>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

struct KUID;

// Answer codes the link gives on the requester's behalf.
constexpr uint32_t kEventAnswerNoHandler = 2;  // the request has no handler
constexpr uint32_t kEventAnswerNoRequest = 4;  // no request of that number waits

class WEXClientEventHandler {
public:
    virtual ~WEXClientEventHandler() = default;
    // Answers one question about the asset; `answer` may carry a text back to the caller (the
    // link sends only the code). The link passes flag 0. Runs on a thread of its own, never
    // the requester's, while the requester still waits.
    virtual uint32_t OnQuestion(const Kiv::PString& question, Kiv::String& answer,
                                const KUID& asset, uint32_t flag) = 0;
};
