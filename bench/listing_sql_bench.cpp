// The SQL text of one batch of 10,000 listed assets (each with two dependencies, three category
// ids and three category codes), written by WriteListingSQL from the listing soup, beside the
// same rows written with fprintf from plain structures into the same six files. Both make their
// files durable before they end (the writer syncs each twin before its rename; the peer syncs
// before it closes), so the pair compares the text's making and writing.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/listing_keys.h"
#include "archive/listing_record.h"
#include "archive/listing_sql.h"
#include "assetdb/asset_info.h"
#include "bench/ratio.h"
#include "configdata/tdb_container_tag.h"

namespace {

constexpr int kRecords = 10000;

struct Row {
    std::string k;
    int typeId;
    std::string title;
    std::string description;
    std::string downloadPath;
    int fileSize;
    int version;
    float productVersion;
    std::string previous;
    std::vector<std::string> deps;
    std::vector<int> cats;
    std::vector<std::string> catEls;
};

KUID AssetOf(int i) {
    return KUID(424242, 1000 + i, i % 3);
}

WEXAssetInfo InfoOf(int i) {
    WEXAssetInfo info;
    info.asset = AssetOf(i);
    info.name = Kiv::String::Printf("Asset number %d, Fred's", i);
    info.categoryCodes = Kiv::PString("TR;TV;LOC");
    info.region = "GB";
    info.era = "1950;1960";
    info.fileSize = static_cast<uint32_t>(10000 + i);
    info.build = 3.6f;
    return info;
}

TDBTagRef MakeSoup() {
    TDBTagRef soup = MakeCounted<TDBContainerTag>();
    for (int i = 0; i < kRecords; ++i) {
        ListingFacts facts;
        facts.description = "A typical description of a listed asset.";
        facts.dependencies.Append(KUID(424242, 1, 2));
        facts.dependencies.Append(KUID(424242, 2));
        TDBTagRef entry;
        FillListingRecord(AssetOf(i), InfoOf(i), facts, entry);
        soup->AddChild(ListingNumberName(static_cast<uint32_t>(i)), entry);
    }
    return soup;
}

std::vector<Row> MakeRows() {
    std::vector<Row> rows;
    for (int i = 0; i < kRecords; ++i) {
        KUID k = AssetOf(i);
        WEXAssetInfo info = InfoOf(i);
        Row r;
        r.k = ListingKUIDText(k);
        r.typeId = 2;
        r.title = Kiv::String::Printf("Asset number %d, Fred\\'s", i).str();
        r.description = "A typical description of a listed asset.";
        r.downloadPath = ListingDownloadPath(k);
        r.fileSize = static_cast<int>(info.fileSize);
        r.version = k.version;
        r.productVersion = info.build;
        if (k.version > 1)
            r.previous =
                Kiv::String::Printf("%d:%d:%d", k.userId, k.contentId, k.version - 1).str();
        else if (k.version == 1)
            r.previous = Kiv::String::Printf("%d:%d", k.userId, k.contentId).str();
        r.deps = {"424242:1:2", "424242:2"};
        r.cats = {572, 156, 157};
        r.catEls = {"TR", "TV", "LOC"};
        rows.push_back(std::move(r));
    }
    return rows;
}

std::string Folder() {
    static const std::string folder = [] {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "halvex-bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        return tmpl;
    }();
    return folder;
}

void BM_WriteListingSQL(benchmark::State& state) {
    TDBTagRef soup = MakeSoup();
    SetListingOutputFolder(Folder());
    for (auto _ : state) {
        if (!WriteListingSQL(soup, 0)) {
            state.SkipWithError("WriteListingSQL failed");
            break;
        }
        state.PauseTiming();
        std::filesystem::remove(Folder() + "/kuids.txt");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_WriteListingSQL)->Unit(benchmark::kMillisecond);

bool Close(FILE* f) {
    bool ok = std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
    return std::fclose(f) == 0 && ok;
}

void BM_FprintfListingSQL(benchmark::State& state) {
    std::vector<Row> rows = MakeRows();
    const std::string dir = Folder();
    const char* select =
        "((SELECT AssetID FROM Asset WHERE KUID = '%s' AND AssetDownloadID='T10'), ";
    for (auto _ : state) {
        FILE* kuids = std::fopen((dir + "/kuids.txt").c_str(), "ab");
        FILE* asset = std::fopen((dir + "/SQL_Asset_0.txt").c_str(), "wb");
        FILE* child = std::fopen((dir + "/SQL_AssetChild_0.txt").c_str(), "wb");
        FILE* deps = std::fopen((dir + "/SQL_AssetDependencies_0.txt").c_str(), "wb");
        FILE* cats = std::fopen((dir + "/SQL_AssetCategories_0.txt").c_str(), "wb");
        FILE* els = std::fopen((dir + "/SQL_AssetCategoryElements_0.txt").c_str(), "wb");
        if (!kuids || !asset || !child || !deps || !cats || !els) {
            state.SkipWithError("cannot open the files");
            break;
        }
        std::fprintf(child, "INSERT INTO AssetChild (AssetID,ChildID) VALUES \r\n");
        std::fprintf(deps, "INSERT INTO AssetKUIDDependency (AssetID,KUID) VALUES \r\n");
        std::fprintf(cats,
                     "INSERT INTO Asset_AssetCategory_Rels (AssetID,AssetCategoryID) VALUES \r\n");
        std::fprintf(
            els, "INSERT INTO Asset_CategoryElement_Rels (AssetID,CategoryElementID) VALUES \r\n");
        for (const Row& r : rows) {
            std::fprintf(kuids, "%s\r\n", r.k.c_str());
            std::fprintf(
                asset,
                "UPDATE Asset SET AssetTypeID=%d,ProductID=198,Title='%s',Description='%s',"
                "DownloadPath='%s',FileSize=%d,Version=%d,AssetStatusID='AVL',"
                "AssetDownloadID='T10',LastUpdated=NOW(),ProductVersion=%.1f WHERE "
                "KUID='%s' AND AssetDownloadID='FAK'; \r\n",
                r.typeId, r.title.c_str(), r.description.c_str(), r.downloadPath.c_str(),
                r.fileSize, r.version, static_cast<double>(r.productVersion), r.k.c_str());
            if (r.version > 0) {
                std::fprintf(child, select, r.k.c_str());
                std::fprintf(child, "(SELECT AssetID from Asset WHERE KUID = '%s')), \r\n",
                             r.previous.c_str());
            }
            for (const std::string& d : r.deps) {
                std::fprintf(deps, select, r.k.c_str());
                std::fprintf(deps, "'%s'), \r\n", d.c_str());
            }
            for (int c : r.cats) {
                std::fprintf(cats, select, r.k.c_str());
                std::fprintf(cats, "'%d'), \r\n", c);
            }
            for (const std::string& e : r.catEls) {
                std::fprintf(els, select, r.k.c_str());
                std::fprintf(els, "'%s'), \r\n", e.c_str());
            }
        }
        bool ok =
            Close(kuids) & Close(asset) & Close(child) & Close(deps) & Close(cats) & Close(els);
        if (!ok) {
            state.SkipWithError("cannot write the files");
            break;
        }
        state.PauseTiming();
        std::filesystem::remove(dir + "/kuids.txt");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_FprintfListingSQL)->Unit(benchmark::kMillisecond);

HALVEX_BENCH_COMPARE("BM_WriteListingSQL", "BM_FprintfListingSQL");

}  // namespace
