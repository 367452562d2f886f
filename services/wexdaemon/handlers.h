// The daemon's asset requests: each group of handlers reads its request's payload exactly as
// the client's request catalogue writes it and answers exactly what the client reads, from the
// store (never a made-up success). AddAssetRequests adds them all; the daemon program calls it
// before it runs.
//
//   read      20 config, 21 information record, 23 path, 26 exact KUID, 27 newest version,
//             28 description, 29 preview (none here), 42 dependencies, 43 obsoletes, 74 which
//             content-service entries are needed, 90 author, 253 installed builds
//   edit      30 open for edit, 31 close a handle, 32 a handle's name and folder, 33 revert,
//             34 commit, 35 create
//   store     36 delete, 39 install a folder, 50 favourite, 54 keywords, 58 a new KUID (of
//             the user id in the settings group "database", key "user-id"; 0, local content
//             of no registered author, while none is set)
//   export    48 an installed asset's config and packed files for an archive
//   host      140 a link becomes the command host, 141 its answer, 38 validation and 40
//             installing an archive through it
//   search    2 the asset search
//   settings  100 read a group, 101 store a group, 102 one value
//   repair    3 repair with a report, 4 its progress, 256 repair with nobody waiting,
//             235 come to rest, 236 at rest
//   vendrix   230 start a content-service request, 231 end it, 232 its record (the daemon's
//             stand-in service, vendrix_service.h)
//   elsewhere requests this build does not serve (content-service access, online login,
//             built-in content, and texture conversion): each answers its failure value, and
//             a request also a report line saying so
#pragma once

#include <memory>
#include <string>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"

#include "services/wexdaemon/handler_services.h"
#include "services/wexdaemon/request_table.h"

namespace wexd {

class Daemon;

void AddAssetRequests(Daemon& daemon);
// The same handlers over the services given.
void AddAssetRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);

void AddReadRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);
void AddEditRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);
void AddStoreRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);
void AddSearchRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);
void AddSettingsRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);
void AddRepairRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);
void AddExportRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);
void AddHostRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);
void AddUnavailableRequests(RequestTable& table);
// The content-service requests 230 to 232, served from the stand-in's folder.
void AddVendrixRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);
// Before a commit through `handle`: the host converts the texture descriptions of the asset's
// editing copy (none: nothing happens); its messages go to the requester. Not for the host's
// own commits.
class RequestReport;
void ConvertTexturesBeforeCommit(HandlerServices& services, RequestContext& context,
                                 RequestReport& report, uint64_t handle);
// The online-access requests (profile, ticket, refusal, a script's local data) and the
// "pologin://" road of request 230, in front of whatever handles 230 when it is added.
void AddOnlineRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services);

// The export entry of the asset installed in `folder` (its config's tags, "files" without the
// top-level config, "compression" "LZSS" and "dsid"); an error text, `entry` empty, when the
// config cannot be read or does not name `kuid`, or the files cannot be packed.
std::string ExportInstalledFolder(const std::string& folder, const KUID& kuid, TDBTagRef& entry);

// True when the payload's fields were all there; otherwise logs that the request was cut
// short (it is then answered with its failure value).
bool PayloadWhole(RequestContext& context, const char* request);

}  // namespace wexd
