// The requests the daemon serves through its command host: 140 (a link becomes the host), 141
// (the host's answer to a call), 38 (validation, call 0) and 40 (installing an archive, call 3
// over a "crak" file of the archive's entries); 181 (whether texture conversion is to leave the
// hardware path alone: always, here). A commit of an asset whose editing copy holds texture
// descriptions first has the host convert them (call 1), so that the committed asset carries
// its compressed textures. The host's messages reach the requester as one
// report note before the reply. Without a host manager (handlers run alone in tests) 38 and 40
// answer their failure values and say why.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <set>

#include "archive/cdp_archive.h"
#include "archive/crak_file.h"
#include "assetdb/daemon_link.h"
#include "assetdb/request_ids.h"
#include "foundation/file_utils.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/file.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/command_host_manager.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/folder_ops.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/request_report.h"

namespace wexd {

namespace {

// Install mode 6: an archive the content service delivered; what it installs is marked so.
constexpr uint32_t kInstallModeDownload = 6;

// The host's answer: its results log, then what follows it.
struct HostAnswer {
    TBuffer bytes;
    ResultsLog log;
};

// Carries out one call; false (the report says why) when the host could not answer. The
// answer's log is read off, so the buffer stands at what follows it.
bool CallHost(HandlerServices& services, TBuffer& call, RequestReport& report, HostAnswer& out,
              const KUID& about) {
    CommandHostManager* host = services.Host();
    if (host == nullptr) {
        report.Error(about, std::string("the command host: ") + kNotAvailable);
        return false;
    }
    std::vector<uint8_t> payload(call.GetData(), call.GetData() + call.GetDataLength());
    std::vector<uint8_t> answer;
    std::string why;
    if (!host->Call(payload, answer, why)) {
        report.Error(about, "the command host failed: " + why);
        return false;
    }
    out.bytes.Write(answer.data(), static_cast<uint32_t>(answer.size()));
    out.bytes.Rewind();
    ResultsLog::ReadFromBuffer(out.bytes, out.log);
    return true;
}

// The host's messages, whole, as one note before the reply.
void Relay(RequestReport& report, RequestContext& context, ResultsLog& log) {
    report.Send();
    TBuffer note;
    note.WriteU32(context.TransactionId());
    log.WriteToStream(note, 0);
    if (log.GetCount() != 0)
        context.SendNote(kNoteResultsLog, note.GetData(), note.GetDataLength());
}

uint32_t RandomWord() {
    std::random_device device;
    return device();
}

}  // namespace

void ConvertTexturesBeforeCommit(HandlerServices& services, RequestContext& context,
                                 RequestReport& report, uint64_t handle) {
    CommandHostManager* host = services.Host();
    // The host's own commits (an archive it installs) are part of a call it is serving: it
    // cannot take another until that one ends.
    if (host == nullptr || context.LinkId() == host->HostLink() || context.Payload().HasError())
        return;
    std::optional<KUID> kuid = services.Store().HandleAsset(handle);
    if (!kuid) return;
    const std::string folder = services.Store().EditingFolder(*kuid);
    if (!FindFileRecursive("*texture.txt", folder)) return;
    TBuffer call;
    call.WriteU32(1u);
    call.WritePString(Kiv::PString("editing"));
    call.WriteString(folder);
    // The commit goes on without its textures when no host can be had: the daemon's log says
    // why, the requester hears of it only from a host that answered.
    std::vector<uint8_t> payload(call.GetData(), call.GetData() + call.GetDataLength());
    std::vector<uint8_t> bytes;
    std::string why;
    if (!host->Call(payload, bytes, why)) {
        DaemonLog("commit: the textures of %s are not converted: %s", folder.c_str(), why.c_str());
        return;
    }
    HostAnswer answer;
    answer.bytes.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    answer.bytes.Rewind();
    ResultsLog::ReadFromBuffer(answer.bytes, answer.log);
    uint32_t converted = 0;
    answer.bytes.ReadU32(converted);
    DaemonLog("commit: textures of %s converted: %u", folder.c_str(), converted);
    Relay(report, context, answer.log);
}

void AddHostRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    table.Add(kMessageRegisterCommandHost, "command host", 0, [services](RequestContext& context) {
        CommandHostManager* host = services->Host();
        if (host == nullptr || !context.Link()) {
            DaemonLog("command host: %s; ignored", kNotAvailable);
            return;
        }
        host->Register(context.Link());
    });

    table.Add(kMessageCommandHostAnswer, "command host answer", 0,
              [services](RequestContext& context) {
                  CommandHostManager* host = services->Host();
                  if (host == nullptr) return;
                  TStream& payload = context.Payload();
                  std::vector<uint8_t> bytes;
                  uint8_t chunk[4096];
                  uint32_t n;
                  while ((n = payload.ReadBytes(chunk, sizeof chunk)) > 0)
                      bytes.insert(bytes.end(), chunk, chunk + n);
                  host->Answer(context.LinkId(), bytes.data(), static_cast<uint32_t>(bytes.size()));
              });

    table.Add(kWEXRequestTexture, "texture conversion", 0,
              [](RequestContext& context) { context.Reply().WriteBool(true); });

    // The folder goes to the host with the name of its location (the first step of the
    // folder's path below the data root). Until the validator is built no stored status
    // changes.
    table.Add(kWEXRequestValidation, "validation", kRequestRunsLong,
              [services](RequestContext& context) {
                  RequestReport report(context);
                  Kiv::PString folder;
                  std::string second;
                  context.Payload().ReadPString(folder);
                  context.Payload().ReadString(second);
                  bool valid = false;
                  if (PayloadWhole(context, "validation")) {
                      std::string root = services->Store().Paths().root;
                      std::string path(folder.view());
                      std::string location;
                      if (path.size() > root.size() + 1 &&
                          path.compare(0, root.size(), root) == 0 && path[root.size()] == '/') {
                          std::string rest = path.substr(root.size() + 1);
                          location = rest.substr(0, rest.find('/'));
                      }
                      TBuffer call;
                      call.WriteU32(0u);
                      call.WritePString(Kiv::PString(location));
                      call.WritePString(folder);
                      HostAnswer answer;
                      if (CallHost(*services, call, report, answer, KUID::kNull)) {
                          uint8_t byte = 0;
                          answer.bytes.ReadU8(byte);
                          valid = byte != 0;
                          Relay(report, context, answer.log);
                      }
                  }
                  report.Send();
                  context.Reply().WriteBool(valid);
              });

    // The archive's entries go to the host in a "crak" file in the cache folder, removed
    // afterwards; the reply tells how many were installed and whether all were.
    table.Add(
        kWEXRequestInstallArchive, "archive install", kRequestRunsLong,
        [services](RequestContext& context) {
            RequestReport report(context);
            std::string path;
            uint32_t mode = 0;
            bool flag = false;
            context.Payload().ReadString(path);
            context.Payload().ReadU32(mode);
            context.Payload().ReadBool(flag);
            uint32_t installed = 0;
            bool all = false;
            auto finish = [&] {
                report.Send();
                context.Reply().WriteU32(installed);
                context.Reply().WriteBool(all);
            };
            if (!PayloadWhole(context, "archive install")) return finish();
            if (services->Host() == nullptr) {
                report.Error(KUID::kNull, std::string("the command host: ") + kNotAvailable);
                return finish();
            }
            CdpArchive archive;
            Kiv::PString error = path.empty() || path.front() != '/'
                                     ? Kiv::PString(kCdpNotValidMessage)
                                     : CdpOpen(archive, Kiv::File::ResolveCase(path));
            if (!error.IsEmpty()) {
                report.Error(KUID::kNull, std::string(error.view()));
                return finish();
            }
            const uint32_t word = RandomWord();
            CrakWriter file(word);
            TBuffer call;
            std::vector<KUID> assets;
            for (uint32_t i = 0, n = CdpAssetCount(archive); i < n; ++i) {
                TDBTagRef entry = CdpGetAsset(archive, i);
                KUID kuid = CdpAssetKUID(entry);
                if (kuid.IsNull() || !file.Add(kuid, entry)) {
                    report.Error(
                        kuid, "the archive's entry " + std::to_string(i) + " cannot be installed");
                    continue;
                }
                assets.push_back(kuid);
            }
            std::string cache = services->Store().Paths().root + "/cache";
            std::string crak = cache + "/archive-" + std::to_string(word) + ".crak";
            std::error_code ec;
            std::filesystem::create_directories(cache, ec);
            if (!file.WriteTo(crak)) {
                report.Error(KUID::kNull, "unable to write " + crak);
                return finish();
            }
            call.WriteU32(3u);
            call.WriteU32(word);
            call.WritePString(Kiv::PString(crak));
            call.WriteU32(static_cast<uint32_t>(assets.size()));
            for (const KUID& kuid : assets)
                call.WriteKUID(kuid);
            HostAnswer answer;
            if (CallHost(*services, call, report, answer, KUID::kNull)) {
                // The ids not installed; their count is bounded by the bytes present.
                uint32_t missing = 0;
                answer.bytes.ReadU32(missing);
                uint32_t left = answer.bytes.GetDataLength() - answer.bytes.Tell();
                if (answer.bytes.HasError() || missing > left / 8 || missing > assets.size()) {
                    report.Error(KUID::kNull, "the command host's answer is damaged");
                } else {
                    installed = static_cast<uint32_t>(assets.size()) - missing;
                    all = missing == 0 && installed == CdpAssetCount(archive);
                    if (mode == kInstallModeDownload) {
                        std::set<KUID> notInstalled;
                        for (uint32_t i = 0; i < missing; ++i) {
                            KUID kuid;
                            answer.bytes.ReadKUID(kuid);
                            notInstalled.insert(kuid);
                        }
                        for (const KUID& kuid : assets)
                            if (notInstalled.count(kuid) == 0)
                                services->Store().MarkFromService(kuid);
                    }
                }
                Relay(report, context, answer.log);
            }
            std::remove(crak.c_str());
            finish();
        });
}

}  // namespace wexd
