#include "services/wexdaemon/request_report.h"

#include "foundation/tbuffer.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/request_table.h"

namespace wexd {

void RequestReport::Add(uint32_t severity, const KUID& kuid, const std::string& text) {
    DaemonLog("request %u: %s%s%s", context_.MessageId(),
              kuid.IsNull() ? "" : kuid.ToString().c_str(), kuid.IsNull() ? "" : ": ",
              text.c_str());
    HalvexPropertyRef parameter;
    if (!kuid.IsNull()) parameter = HalvexPropertyRef::MakeAssetID(Kiv::PString("AssetID"), kuid);
    AddMessage(log_, severity, parameter, Kiv::String(text));
}

bool RequestReport::Send() {
    uint32_t count = log_.GetCount();
    if (count == sent_ || context_.IsPost()) return false;
    TBuffer note;
    note.WriteU32(context_.TransactionId());
    log_.WriteToStream(note, sent_);
    sent_ = count;
    return context_.SendNote(kNoteResultsLog, note.GetData(), note.GetDataLength());
}

}  // namespace wexd
