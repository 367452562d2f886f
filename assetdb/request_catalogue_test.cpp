// Every request and post of the catalogue against a scripted daemon, one row per message id:
// the payload bytes it sends (and whether it hands the link a results log, an event handler and
// the keep-log flag), what it yields from a full reply, from an empty reply, and when the
// daemon cannot be reached. Expected bytes are written out field by field, independently of
// the stream code.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "assetdb/asset_info_format.h"
#include "assetdb/author_cache.h"
#include "assetdb/online_requests.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/settings_requests.h"
#include "assetdb/spec_registry.h"
#include "assetdb/tag_text.h"
#include "assetdb/vendrix_cache.h"
#include "assetdb/vendrix_selection.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_database.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "online/url_record.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;
using requesttest::Wire;

// Stand-ins the wrappers only pass through to the link.
alignas(16) char gLogObject[16];
alignas(16) char gHandlerObject[16];
ResultsLog* const kLog = reinterpret_cast<ResultsLog*>(gLogObject);
WEXClientEventHandler* const kHandler = reinterpret_cast<WEXClientEventHandler*>(gHandlerObject);

// The script host's registry as far as these requests reach it: the specs they drop.
std::vector<KUID> gForgotten;
class RecordingSpecRegistry : public SpecRegistry {
public:
    void Forget(const KUID& asset) override { gForgotten.push_back(asset); }
};

const KUID kAsset(1234, 5678, 2);
Wire AssetWire() {
    return Wire().Kuid(1234, 5678, 2);
}

std::string Text(const Kiv::String& s) {
    return "'" + s.str() + "'";
}
std::string Name(const Kiv::PString& s) {
    return s.IsNull() ? "<none>" : "'" + s.str() + "'";
}
std::string Kuid(const KUID& k) {
    return k.ToString().str();
}
std::string Bool(bool b) {
    return b ? "true" : "false";
}
std::string List(const KUIDBlockList& list) {
    std::string out = "[";
    for (const KUID& k : list)
        out += (out.size() > 1 ? "," : "") + Kuid(k);
    return out + "]";
}
std::string Hex(uint64_t v) {
    char b[32];
    std::snprintf(b, sizeof b, "%llx", static_cast<unsigned long long>(v));
    return b;
}
std::string Handle(const WEXAssetHandle& h) {
    if (!h.IsValid()) return "empty";
    return "handle " + Hex(h.GetDaemonHandle()) + " " + Kuid(h.GetAsset()) + " " +
           Name(h.GetName()) + " " + Text(h.GetFolder()) + (h.IsOpen() ? " open" : " closed") +
           " flags " + std::to_string(h.GetFlags());
}
std::string Forgotten() {
    std::string out = gForgotten.empty() ? "-" : "";
    for (const KUID& k : gForgotten)
        out += Kuid(k);
    return out;
}
std::string Tree(const TDBTagRef& tree, const char* key) {
    if (!tree) return "no tree";
    return std::string("tree ") + key + "=" + WEXReadTextTag(tree, key).str();
}
std::string Info(const WEXAssetInfo& i) {
    char b[512];
    std::snprintf(b, sizeof b,
                  "%s|%s|%s|%s|A%02x B%02x C%x|%u %s|%s|%x|%s|%s|D%x|%u|%g|%llu %llu|%s|%d",
                  Kuid(i.asset).c_str(), i.name.c_str(), i.region.c_str(), i.keywords.c_str(),
                  i.statusA, i.statusB, i.statusC, i.authorId, Name(i.authorName).c_str(),
                  i.era.c_str(), i.fileSize, Name(i.categoryCodes).c_str(), i.userName.c_str(),
                  i.statusD, i.rating, i.build, static_cast<unsigned long long>(i.installedAt),
                  static_cast<unsigned long long>(i.modifiedAt), Kuid(i.parent).c_str(),
                  i.buildKnown ? 1 : 0);
    return b;
}

TDBTagRef TreeWith(const char* key, const char* value) {
    TDBTagRef tree = MakeCounted<TDBContainerTag>();
    WEXSetTextTag(tree, key, value);
    return tree;
}
Bytes SoupBytes(const TDBTagRef& tree) {
    TBuffer b;
    EXPECT_TRUE(WriteTagTreeBinary(tree, b));
    return Bytes(b.GetData(), b.GetData() + b.GetDataLength());
}
const Bytes kEmptySoup = Wire().U32(0x24534341).U32(1).U32(0).U32(0);

// Eight status bools for the bits of a byte, bit 0 first.
Wire& Bits(Wire& w, uint8_t bits, int count) {
    for (int i = 0; i < count; ++i)
        w.Bool((bits >> i) & 1);
    return w;
}

Bytes FullAssetInfoReply() {
    Wire w;
    w.Kuid(1234, 5678, 2).Text("Big Loco").Text("UK").Text("steam");
    Bits(w, 0x8C, 8);
    Bits(w, 0x21, 8);
    Bits(w, 0x5, 3);
    w.U32(1234).Name("Ann").Text("1950").U32(0xFFFFFFFF).Name("TR;LOC").Text("big_loco");
    Bits(w, 0x2, 3);
    w.U32(0x104).Float(3.5f).U64(1700000000).U64(1700000100).Kuid(9, 10).Bool(true);
    return w;
}

enum class Kind { kRequest, kPost };

struct Row {
    uint32_t id;
    Kind kind;
    std::function<std::string()> call;
    Bytes request;
    Bytes reply;
    std::string answered;     // from the full reply (a post: once sent)
    std::string emptyReply;   // from an empty reply (a post: unused)
    std::string unreachable;  // when the daemon cannot be reached
    bool log = false;
    bool handler = false;
    bool keep = false;
};

std::vector<Row> Catalogue() {
    TDBTagRef meshTree = TreeWith("kind", "mesh");
    TDBTagRef loginTree = TreeWith("username", "bob");
    return {
        {kWEXRequestStartRepair, Kind::kRequest,
         [] {
             WEXClient::StartRepair(150, kLog);
             return std::string("done");
         },
         Wire().U32(150), Wire().Bool(true), "done", "done", "done", true, false, true},
        {kWEXRequestRepairProgress,
         Kind::kRequest,
         [] {
             float progress = 9;
             Kiv::String status = "before";
             bool running = WEXClient::GetRepairProgress(progress, status);
             return Bool(running) + " " + std::to_string(progress) + " " + Text(status);
         },
         {},
         Wire().Bool(true).Float(0.5f).Text("indexing"),
         "true 0.500000 'indexing'",
         "false 0.000000 ''",
         "false 9.000000 'before'"},
        {kWEXRequestAssetConfig, Kind::kRequest,
         [] { return Tree(WEXClient::GetAssetConfig(kAsset), "kind"); }, AssetWire(),
         SoupBytes(meshTree), "tree kind=mesh", "no tree", "no tree"},
        {kWEXRequestAssetInfo, Kind::kRequest,
         [] {
             WEXAssetInfo info;
             bool ok = WEXClient::GetAssetInfo(kAsset, info, kWEXInfoEverything);
             return Bool(ok) + " " + Info(info);
         },
         AssetWire().U32(0xFFFFFFFF), FullAssetInfoReply(),
         "true <kuid2:1234:5678:2>|Big Loco|UK|steam|A8c B21 C5|1234 'Ann'|1950|ffffffff|"
         "'TR;LOC'|big_loco|D2|4|3.5|1700000000 1700000100|<kuid:9:10>|1",
         "true <NULL>||||A00 B00 C0|0 ''||ffffffff|''||D0|255|0|0 0|<NULL>|0",
         "false <NULL>||||A01 B00 C0|0 <none>||ffffffff|<none>||D0|255|0|0 0|<NULL>|0"},
        {kWEXRequestResolveAssetPath, Kind::kRequest,
         [] {
             Kiv::String path = "old";
             bool ok = WEXClient::ResolveAssetPath(kAsset, true, path);
             return Bool(ok) + " " + Text(path);
         },
         AssetWire().Bool(true), Wire().Name("Big Loco").Text("/data/loco"), "true '/data/loco'",
         "true ''", "false 'old'"},
        {kWEXRequestResolveAssetId, Kind::kRequest,
         [] { return Kuid(WEXClient::ResolveAssetId(kAsset)); }, AssetWire(),
         Wire().Kuid(1234, 5678, 3), "<kuid2:1234:5678:3>", "<NULL>", "<kuid2:1234:5678:2>"},
        {kWEXRequestUpdatedAsset, Kind::kRequest,
         [] { return Kuid(WEXClient::GetUpdatedAsset(kAsset)); }, AssetWire(),
         Wire().Kuid(1234, 5678, 4), "<kuid2:1234:5678:4>", "<NULL>", "<kuid2:1234:5678:2>"},
        {kWEXRequestAssetDescription, Kind::kRequest,
         [] { return Text(WEXClient::GetAssetDescription(kAsset)); }, AssetWire(),
         Wire().Text("A fine loco"), "'A fine loco'", "''", "''"},
        {kWEXRequestThumbnailPath, Kind::kRequest,
         [] {
             Kiv::String path = "old";
             uint32_t status = 9;
             bool ok = WEXClient::GetThumbnailPath(kAsset, 7, path, status);
             return Bool(ok) + " " + Text(path) + " " + std::to_string(status);
         },
         AssetWire().U32(7), Wire().Name("Big Loco").Text("/thumb.jpg").U32(3),
         "true '/thumb.jpg' 3", "true '' 0", "false '' 0"},
        {kWEXRequestOpenAssetForEdit, Kind::kRequest,
         [] {
             Kiv::String folder = "none";
             WEXAssetHandle h = WEXClient::OpenAssetForEdit(kAsset, true, 5, &folder);
             return Handle(h) + " folder " + Text(folder);
         },
         AssetWire().Bool(true), Wire().U64(0x1122334455667788).Name("Loco").Text("/edit/loco"),
         "handle 1122334455667788 <kuid2:1234:5678:2> 'Loco' '/edit/loco' open flags 5 folder "
         "'/edit/loco'",
         "empty folder 'none'", "empty folder 'none'"},
        {kWEXRequestCloseHandle, Kind::kRequest,
         [] {
             WEXAssetHandle::Close(0x99);
             return std::string("done");
         },
         Wire().U64(0x99), Wire().Bool(true), "done", "done", "done"},
        {kWEXRequestHandlePath, Kind::kRequest,
         [] {
             WEXAssetHandle h = WEXAssetHandle::Open(0x42, kAsset, {}, {}, false, 0);
             Kiv::String path = "keep";
             Kiv::PString name;
             bool ok = WEXClient::GetHandlePath(h, path, &name);
             return Bool(ok) + " " + Text(path) + " " + Name(name) + (h.IsOpen() ? " open" : "");
         },
         Wire().U64(0x42), Wire().Name("Loco").Text("/edit/loco"), "true '/edit/loco' 'Loco' open",
         "false '' '' open", "false 'keep' <none>"},
        {kWEXRequestRevertAsset, Kind::kRequest,
         [] {
             WEXAssetHandle h = WEXAssetHandle::Open(0x42, kAsset, {}, {}, true, 0);
             bool ok = WEXClient::RevertAsset(h, kLog);
             return Bool(ok) + (h.IsValid() ? " held" : " released");
         },
         Wire().U64(0x42), Wire().Bool(true), "true released", "false released", "false released",
         true},
        {kWEXRequestCommitAsset, Kind::kRequest,
         [] {
             WEXAssetHandle h = WEXAssetHandle::Open(0x42, kAsset, {}, {}, true, 9);
             bool second = true;
             bool ok = WEXClient::CommitAsset(h, 6, &second, kLog);
             return Bool(ok) + " second " + Bool(second) + " " + Handle(h) + " forgot " +
                    Forgotten();
         },
         Wire().U64(0x42).U32(6), Wire().Bool(true).Bool(false),
         "true second false handle 42 <kuid2:1234:5678:2> <none> '' closed flags 0 forgot "
         "<kuid2:1234:5678:2>",
         "false second false handle 42 <kuid2:1234:5678:2> <none> '' closed flags 9 forgot -",
         "false second true handle 42 <kuid2:1234:5678:2> <none> '' closed flags 9 forgot -", true},
        {kWEXRequestCreateAsset, Kind::kRequest,
         [] { return Handle(WEXClient::CreateAsset(kAsset, true, "New loco", 3)); },
         AssetWire().Bool(true).Text("New loco"),
         Wire().U64(0x77).Kuid(1234, 9999).Name("New loco").Text("/edit/new"),
         "handle 77 <kuid:1234:9999> 'New loco' '/edit/new' closed flags 3", "empty", "empty"},
        {kWEXRequestDeleteAsset, Kind::kRequest,
         [] {
             bool ok = WEXClient::DeleteAsset(kAsset, false, kLog);
             return Bool(ok) + " forgot " + Forgotten();
         },
         AssetWire().Bool(false), Wire().Bool(true), "true forgot <kuid2:1234:5678:2>",
         "false forgot -", "false forgot -", true},
        {kWEXRequestValidation, Kind::kRequest,
         [] { return Bool(WEXClient::RequestValidation("/edit/loco", "second", kLog)); },
         Wire().Name("/edit/loco").Text("second"), Wire().Bool(true), "true", "false", "false",
         true},
        {kWEXRequestInstallFromPath, Kind::kRequest,
         [] {
             KUID installed(1, 1);
             bool ok = WEXClient::InstallFromPath("/in/folder", 4, true, installed, kLog, kHandler);
             return Bool(ok) + " " + Kuid(installed);
         },
         Wire().Text("/in/folder").U32(4).Bool(true), Wire().Kuid(5, 6).Bool(true),
         "true <kuid:5:6>", "false <NULL>", "false <kuid:1:1>", true, true},
        {kWEXRequestInstallArchive, Kind::kRequest,
         [] {
             uint32_t count = 77;
             bool ok = WEXClient::InstallArchive("/in/a.cdp", 6, false, &count, kLog, kHandler);
             return Bool(ok) + " " + std::to_string(count);
         },
         Wire().Text("/in/a.cdp").U32(6).Bool(false), Wire().U32(3).Bool(true), "true 3", "false 0",
         "false 77", true, true},
        {kWEXRequestDependencyList, Kind::kRequest,
         [] {
             KUIDBlockList list;
             list.Append(KUID(9, 9));
             bool ok = WEXClient::GetDependencyList(1, kAsset, list);
             return Bool(ok) + " " + List(list);
         },
         Wire().U32(1).Kuid(1234, 5678, 2), Wire().U32(2).Kuid(1, 2).Kuid(3, 4, 5),
         "true [<kuid:9:9>,<kuid:1:2>,<kuid2:3:4:5>]", "true [<kuid:9:9>]", "false [<kuid:9:9>]"},
        {kWEXRequestObsoletes, Kind::kRequest,
         [] {
             KUIDBlockList list;
             bool ok = WEXClient::GetObsoletes(kAsset, list);
             return Bool(ok) + " " + List(list);
         },
         AssetWire(), Wire().U32(1).Kuid(7, 8), "true [<kuid:7:8>]", "true []", "false []"},
        {kWEXRequestExportAsset, Kind::kRequest,
         [] { return Tree(WEXClient::ExportAsset(kAsset, 3, kLog), "kind"); }, AssetWire().U32(3),
         SoupBytes(meshTree), "tree kind=mesh", "no tree", "no tree", true},
        {kWEXPostAssetFavorite,
         Kind::kPost,
         [] {
             WEXClient::SetAssetFavorite(kAsset, true);
             return std::string("done");
         },
         AssetWire().Bool(true),
         {},
         "done",
         "",
         "done"},
        {kWEXPostImportKeywords,
         Kind::kPost,
         [] { return Bool(WEXClient::ImportKeywords(kAsset, "steam;uk")); },
         AssetWire().Text("steam;uk"),
         {},
         "true",
         "",
         "false"},
        {kWEXRequestGenerateKUID,
         Kind::kRequest,
         [] { return Kuid(WEXClient::GenerateKUID(KUID(1, 1))); },
         {},
         Wire().Kuid(777, 12),
         "<kuid:777:12>",
         "<NULL>",
         "<kuid:1:1>"},
        {kWEXRequestSelectDownloads, Kind::kRequest,
         [] {
             std::vector<uint32_t> positions;
             bool ok = WEXClient::SelectNeededDownloads(
                 {{KUID(1, 2), KUID(1, 2, 3), 1000}, {KUID(3, 4), KUID(3, 4, 1), 2000}}, positions);
             std::string out = Bool(ok) + " [";
             for (uint32_t p : positions)
                 out += std::to_string(p) + ";";
             return out + "]";
         },
         Wire().U32(2).Kuid(1, 2).Kuid(1, 2, 3).U32(1000).Kuid(3, 4).Kuid(3, 4, 1).U32(2000),
         Wire().U32(1).U32(1), "true [1;]", "true []", "false []"},
        {kWEXRequestAuthorRecord, Kind::kRequest,
         [] {
             WEXAuthorCache cache;
             WEXAuthorRecord r = cache.Get(4242);
             return std::to_string(r.value) + " " + Name(r.name);
         },
         Wire().U32(4242), Wire().U32(7).Name("Ann"), "7 'Ann'", "0 ''", "-1 <none>"},
        {kWEXRequestReadSettings, Kind::kRequest,
         [] {
             TDBTagRef tree = TreeWith("stale", "x");
             bool ok = WEXClient::ReadSettings("internet", tree);
             return Bool(ok) + " " + Tree(tree, "username");
         },
         Wire().Name("internet"), SoupBytes(loginTree), "true tree username=bob",
         "true tree username=", "false no tree"},
        {kWEXRequestWriteSettings, Kind::kRequest,
         [] { return Bool(WEXClient::WriteSettings("internet", TreeWith("username", "bob"))); },
         Wire().Name("internet").Raw(SoupBytes(loginTree)), Wire().Bool(true), "true", "true",
         "false"},
        {kWEXRequestGetSetting, Kind::kRequest,
         [] { return Name(WEXClient::GetSetting("internet", "language")); },
         Wire().Name("internet").Name("language"), Wire().Name("de"), "'de'", "''", "''"},
        {kWEXRequestVendrixAccess,
         Kind::kRequest,
         [] {
             uint32_t level = 9;
             bool ok = WEXClient::QueryVendrixAccess(&level);
             return Bool(ok) + " " + std::to_string(level);
         },
         {},
         Wire().Bool(true).U32(2),
         "true 2",
         "false 0",
         "false 0"},
        {kWEXRequestTexture,
         Kind::kRequest,
         [] { return Bool(WEXClient::TextureRequest()); },
         {},
         Wire().Bool(false),
         "false",
         "true",
         "true"},
        {kWEXRequestResolveVendrixAsset, Kind::kRequest,
         [] {
             URLRecord url;
             url.Parse("https://shop.example/x?y=1");
             uint64_t id = WEXClient::ResolveVendrixAsset(url, 2);
             WEXVendrixInfo cached;
             bool inCache = WEXVendrixCache::Instance().Find(id, cached);
             WEXVendrixCache::Instance().Remove(id);
             if (id == kWEXNoVendrixRecord) return std::string("none");
             return Hex(id) + (inCache && !cached.finished ? " cached" : " not cached");
         },
         Wire()
             .Bool(false)
             .Name("https://shop.example/x?y=1")
             .U32(2)
             .U32(0xFFFFFFFF)
             .Raw(kEmptySoup),
         Wire().U64(0x55), "55 cached", "none", "none"},
        {kWEXPostOnlineNotice,
         Kind::kPost,
         [] {
             WEXVendrixCache::Instance().Insert(0x66);
             WEXClient::PostOnlineNotice(0x66);
             WEXVendrixInfo cached;
             return std::string(WEXVendrixCache::Instance().Find(0x66, cached) ? "kept"
                                                                               : "removed");
         },
         Wire().U64(0x66),
         {},
         "removed",
         "",
         "removed"},
        {kWEXRequestVendrixInfo, Kind::kRequest,
         [] {
             WEXVendrixInfo info{false, KUID(1, 1), "before", Kiv::PString("t")};
             bool ok = WEXClient::GetVendrixInfo(0x55, info);
             return Bool(ok) + (info.finished ? " finished " : " pending ") + Kuid(info.asset) +
                    " " + Text(info.path) + " " + Name(info.text);
         },
         Wire().U64(0x55), Wire().Bool(true).Kuid(5, 6).Text("/dl/page.txt").Name(""),
         "true finished <kuid:5:6> '/dl/page.txt' ''", "true finished <NULL> '' ''",
         "false pending <kuid:1:1> 'before' 't'"},
        {kWEXRequestQuiesce,
         Kind::kRequest,
         [] {
             WEXClient::RequestQuiesce();
             return std::string("done");
         },
         {},
         Wire().Bool(true),
         "done",
         "done",
         "done"},
        {kWEXRequestIsQuiescent,
         Kind::kRequest,
         [] { return Bool(WEXClient::IsQuiescent()); },
         {},
         Wire().Bool(true),
         "true",
         "false",
         "false"},
        {kWEXRequestOnline240,
         Kind::kRequest,
         [] { return Text(WEXClient::OnlineRequest240()); },
         {},
         Wire().Text("Profile").Text("b").Text("c").U16(1).Text("e").U16(2),
         "'Profile'",
         "''",
         "''"},
        {kWEXPostOnline241,
         Kind::kPost,
         [] {
             WEXClient::OnlinePost241();
             return std::string("done");
         },
         {},
         {},
         "done",
         "",
         "done"},
        {kWEXRequestOnline242,
         Kind::kRequest,
         [] { return Text(WEXClient::OnlineRequest242()); },
         {},
         Wire().Text("ticket"),
         "'ticket'",
         "''",
         "''"},
        {kWEXRequestInstalledBuilds,
         Kind::kRequest,
         [] { return Name(WEXClient::ListInstalledBuilds()); },
         {},
         Wire().Name("3.6 3.7"),
         "'3.6 3.7'",
         "''",
         "''"},
        {kWEXPostRepairDatabase,
         Kind::kPost,
         [] {
             WEXClient::RepairDatabase();
             return std::string("done");
         },
         {},
         {},
         "done",
         "",
         "done"},
    };
}

class RequestCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        gForgotten.clear();
        SetSpecRegistryFactory([]() -> std::unique_ptr<SpecRegistry> {
            return std::make_unique<RecordingSpecRegistry>();
        });
        CreateSpecRegistry();
    }
    void TearDown() override {
        DestroySpecRegistry();
        SetSpecRegistryFactory(nullptr);
    }

    // Runs the row's operation and checks the one message of its id that went out.
    std::string Run(const Row& row) {
        gForgotten.clear();
        daemon_.ClearSent();
        std::string yielded = row.call();
        std::vector<requesttest::SentMessage> sent = daemon_.SentWithId(row.id);
        EXPECT_EQ(sent.size(), 1u);
        if (sent.size() == 1) {
            const requesttest::SentMessage& m = sent[0];
            EXPECT_EQ(m.post, row.kind == Kind::kPost);
            EXPECT_EQ(m.payload, row.request);
            EXPECT_EQ(m.resultsLog, row.log ? kLog : nullptr);
            EXPECT_EQ(m.eventHandler, row.handler ? kHandler : nullptr);
            EXPECT_EQ(m.keepLog, row.keep);
        }
        return yielded;
    }

    ScriptedTransport daemon_;
};

TEST_F(RequestCatalogue, EveryMessageSendsItsFieldsAndReadsItsReply) {
    std::vector<Row> rows = Catalogue();
    EXPECT_EQ(rows.size(), 42u);
    for (const Row& row : rows) {
        SCOPED_TRACE("message " + std::to_string(row.id));
        daemon_.SetPostsSucceed(true);
        daemon_.Answer(row.id, row.reply);
        EXPECT_EQ(Run(row), row.answered) << "full reply";
        if (row.kind == Kind::kRequest) {
            daemon_.Answer(row.id, {});
            EXPECT_EQ(Run(row), row.emptyReply) << "empty reply";
            daemon_.Unreachable(row.id);
        } else {
            daemon_.SetPostsSucceed(false);
        }
        EXPECT_EQ(Run(row), row.unreachable) << "daemon unreachable";
    }
}

}  // namespace
