// The requests that change what is installed (delete, install a folder) and what only the
// daemon knows about an asset (favourite, keywords), and the handing out of new KUIDs.
#include "assetdb/request_ids.h"
#include "platform/kiv/base/file.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/folder_ops.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/request_report.h"

namespace wexd {

namespace {

std::string DeleteProblem(const StoreResult& result) {
    switch (result.status) {
        case StoreStatus::kNotFound:
            return "unable to delete: the asset is not installed";
        case StoreStatus::kOpenForEdit:
            return "unable to delete: the asset is open for edit; commit or revert it first";
        default:
            return "unable to delete: " + result.message;
    }
}

// A post's refusal, which nobody but the daemon's log hears of.
void LogRefusal(const char* what, const KUID& kuid, const StoreResult& result) {
    if (!result.Ok())
        DaemonLog("%s of %s: %s", what, kuid.ToString().c_str(), result.message.c_str());
}

}  // namespace

void AddStoreRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    // The flag is not used.
    table.Add(kWEXRequestDeleteAsset, "delete", 0, [services](RequestContext& context) {
        RequestReport report(context);
        KUID kuid;
        kuid.Read(context.Payload());
        bool flag = false;
        context.Payload().ReadBool(flag);
        bool deleted = false;
        if (PayloadWhole(context, "delete")) {
            StoreResult result = services->Store().DeleteAsset(kuid);
            deleted = result.Ok();
            if (!deleted) report.Error(kuid, DeleteProblem(result));
        }
        report.Send();
        context.Reply().WriteBool(deleted);
    });

    // The folder must be a full path (the daemon cannot know where its client works); its
    // config must name the asset's KUID. The option word and the flag are not used.
    table.Add(kWEXRequestInstallFromPath, "install folder", kRequestRunsLong,
              [services](RequestContext& context) {
                  RequestReport report(context);
                  std::string folder;
                  uint32_t option = 0;
                  bool flag = false;
                  context.Payload().ReadString(folder);
                  context.Payload().ReadU32(option);
                  context.Payload().ReadBool(flag);
                  KUID installed;
                  std::vector<std::string> warnings;
                  bool ok = false;
                  if (PayloadWhole(context, "install folder")) {
                      std::string path = Kiv::File::ResolveCase(folder);
                      StoreResult result;
                      if (folder.empty() || path.front() != '/') {
                          result = {StoreStatus::kBadAsset,
                                    "\"" + folder + "\" is not a full path of a folder"};
                      } else if (!IsFolder(path)) {
                          result = {StoreStatus::kBadAsset, "there is no folder " + folder};
                      } else {
                          result = services->Store().InstallFolder(path, installed, &warnings);
                      }
                      ok = result.Ok();
                      for (const std::string& warning : warnings)
                          report.Warning(installed, warning);
                      if (!ok)
                          report.Error(KUID::kNull,
                                       "unable to install " + folder + ": " + result.message);
                  }
                  report.Send();
                  installed.Write(context.Reply());
                  context.Reply().WriteBool(ok);
              });

    // Posts: nobody hears of a failure but the daemon's log. Both are written to the index in
    // a batch, since a keyword import sends one post per asset.
    table.Add(kWEXPostAssetFavorite, "favourite", 0, [services](RequestContext& context) {
        KUID kuid;
        kuid.Read(context.Payload());
        bool favorite = false;
        context.Payload().ReadBool(favorite);
        if (PayloadWhole(context, "favourite"))
            LogRefusal("favourite", kuid, services->Store().SetFavorite(kuid, favorite, true));
    });

    table.Add(kWEXPostImportKeywords, "keywords", 0, [services](RequestContext& context) {
        KUID kuid;
        kuid.Read(context.Payload());
        std::string keywords;
        context.Payload().ReadString(keywords);
        if (PayloadWhole(context, "keywords"))
            LogRefusal("keywords", kuid, services->Store().SetKeywords(kuid, keywords, true));
    });

    // The next content id of the daemon's user id (see HandlerServices::GeneratingUserId);
    // the null KUID when the setting names no user id a KUID can hold.
    table.Add(kWEXRequestGenerateKUID, "new KUID", 0, [services](RequestContext& context) {
        int32_t user = 0;
        KUID kuid;
        if (services->GeneratingUserId(user)) kuid = services->Store().GenerateKUID(user);
        kuid.Write(context.Reply());
    });
}

}  // namespace wexd
