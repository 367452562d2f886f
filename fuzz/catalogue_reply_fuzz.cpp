// Hostile daemon replies through every reader of the request catalogue: the scripted daemon
// answers each request with the input bytes, and the content-service update notification and
// the two shared record forms read them directly. A record that reads must write back to bytes
// that read and write again unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assetdb/asset_info_format.h"
#include "assetdb/asset_status.h"
#include "assetdb/author_cache.h"
#include "assetdb/online_requests.h"
#include "assetdb/request_test_support.h"
#include "assetdb/settings_requests.h"
#include "assetdb/vendrix_cache.h"
#include "assetdb/vendrix_selection.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_database.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "foundation/tbuffer.h"
#include "online/url_record.h"
#include "platform/kiv/base/pstring.h"

namespace {

const KUID kAsset(100, 200, 3);

// Write, read, write: both writes must be the same bytes.
template <typename Record, typename Read, typename Write>
void CheckRewrite(const Record& first, Read read, Write write) {
    TBuffer once;
    write(once, first);
    once.Rewind();
    Record again;
    read(once, again);
    TBuffer twice;
    write(twice, again);
    if (once.GetDataLength() != twice.GetDataLength() ||
        std::memcmp(once.GetData(), twice.GetData(), once.GetDataLength()) != 0) {
        std::abort();
    }
}

void ReadRecords(const uint8_t* data, uint32_t n) {
    TBuffer infoBytes(data, n);
    WEXAssetInfo info;
    WEXReadAssetInfo(infoBytes, info);
    CheckRewrite(info, WEXReadAssetInfo, WEXWriteAssetInfo);

    TBuffer vendrixBytes(data, n);
    WEXVendrixInfo vendrix;
    WEXReadVendrixInfo(vendrixBytes, vendrix);
    CheckRewrite(vendrix, WEXReadVendrixInfo, WEXWriteVendrixInfo);

    WEXVendrixCache cache;
    cache.Insert(0);
    TBuffer notification(data, n);
    cache.Update(notification);
}

void AskEverything() {
    KUIDBlockList list;
    Kiv::String text;
    uint32_t word = 0;
    float progress = 0;
    KUID kuid;

    WEXClient::GetAssetConfig(kAsset);
    WEXClient::AssetScriptConfig scriptConfig;
    WEXClient::LoadAssetConfigSoup(kAsset, scriptConfig);
    WEXAssetInfo info;
    WEXClient::GetAssetInfo(kAsset, info, kWEXInfoEverything);
    WEXAssetStatusLetters(info);
    WEXClient::ResolveAssetPath(kAsset, true, text);
    WEXClient::ResolveAssetId(kAsset);
    WEXClient::GetUpdatedAsset(kAsset);
    WEXClient::GetAssetDescription(kAsset);
    WEXClient::GetThumbnailPath(kAsset, 0, text, word);
    WEXClient::GetDependencyList(0, kAsset, list);
    WEXClient::GetObsoletes(kAsset, list);
    WEXClient::GenerateKUID();

    WEXAssetHandle opened = WEXClient::OpenAssetForEdit(kAsset, false);
    WEXAssetHandle copy(opened);
    WEXClient::GetHandlePath(copy, text);
    bool second = false;
    WEXClient::CommitAsset(copy, 0, &second, nullptr);
    WEXClient::RevertAsset(opened, nullptr);
    WEXAssetHandle created = WEXClient::CreateAsset(kAsset, false, "new");
    WEXClient::GetHandlePath(created, text);
    WEXClient::DeleteAsset(kAsset, false, nullptr);

    WEXClient::RequestValidation("/edit", "", nullptr);
    WEXClient::InstallFromPath("/in", 0, false, kuid, nullptr, nullptr);
    WEXClient::InstallArchive("/in.cdp", 2, false, &word, nullptr, nullptr);
    WEXClient::ExportAsset(kAsset, 3, nullptr);
    WEXAuthorCache authors;
    authors.Get(12345);

    WEXClient::StartRepair(100, nullptr);
    WEXClient::GetRepairProgress(progress, text);
    WEXClient::QueryVendrixAccess(&word);
    WEXClient::TextureRequest();
    WEXClient::IsQuiescent();
    WEXClient::ListInstalledBuilds();

    TDBTagRef group;
    WEXClient::ReadSettings("internet", group);
    WEXClient::GetSetting("internet", "language");
    WEXStoreOnlineLogin("user", "secret");

    URLRecord url;
    url.Parse("https://shop.example/page");
    uint64_t record = WEXClient::ResolveVendrixAsset(url, 2);
    WEXVendrixInfo vendrix;
    WEXClient::GetVendrixInfo(record, vendrix);
    WEXClient::IsVendrixAvailable(record);
    WEXClient::PostOnlineNotice(record);
    std::vector<uint32_t> positions;
    WEXClient::SelectNeededDownloads(std::vector<WEXVendrixEntry>(4), positions);

    WEXClient::OnlineRequest240();
    WEXClient::OnlineRequest242();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto n = static_cast<uint32_t>(size);
    ReadRecords(data, n);
    {
        requesttest::ScriptedTransport daemon;
        daemon.AnswerUnscripted(requesttest::Bytes(data, data + size));
        AskEverything();
    }
    // The program collects unreferenced interned strings while idle; so does each run here.
    Kiv::PStringCache::CollectGarbage();
    return 0;
}
