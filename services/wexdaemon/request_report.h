// The lines a request reports to its client: messages gathered in a results log (severity,
// text and, as a rule, the asset's KUID as the parameter "AssetID") and sent as one note
// before the request's reply, so that they reach the results log the client handed its
// request. A post has nobody to report to; its lines go to the daemon's log only.
#pragma once

#include <string>

#include "configdata/kuid.h"
#include "validation/results_log.h"

namespace wexd {

class RequestContext;

class RequestReport {
public:
    explicit RequestReport(RequestContext& context) : context_(context) {}
    // Sends what was gathered and not yet sent.
    ~RequestReport() { Send(); }
    RequestReport(const RequestReport&) = delete;
    RequestReport& operator=(const RequestReport&) = delete;

    // Adds a message; a null KUID adds it without a parameter. Every line also goes to the
    // daemon's log.
    void Add(uint32_t severity, const KUID& kuid, const std::string& text);
    void Error(const KUID& kuid, const std::string& text) { Add(kResultsError, kuid, text); }
    void Warning(const KUID& kuid, const std::string& text) { Add(kResultsWarning, kuid, text); }
    void Info(const KUID& kuid, const std::string& text) { Add(kResultsInfo, kuid, text); }

    // Sends the messages gathered since the last send as one note; nothing when there are
    // none. False when the note could not be sent (or the request is a post).
    bool Send();

private:
    RequestContext& context_;
    ResultsLog log_;
    uint32_t sent_ = 0;
};

// The text every request this build does not serve reports.
inline constexpr const char* kNotAvailable = "not available in this build";

}  // namespace wexd
