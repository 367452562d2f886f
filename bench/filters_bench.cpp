// Asset filters: an asset-id element of 100,000 KUIDs written and read through the memory
// stream, beside a plain loop that packs or unpacks the same KUIDs to or from bytes (the
// ceiling: no stream, no checks, no set); and 100,000 category lists matched against one
// expression, beside a matcher that splits every text into vectors first (the obvious way).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "assetdb/category_match.h"
#include "assetdb/filter_asset_id.h"
#include "assetdb/filter_reader.h"
#include "bench/ratio.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/rand.h"

namespace {

constexpr uint32_t kKUIDs = 100000;
constexpr uint32_t kLists = 100000;
constexpr const char* kExpression = "TR;TV;-LOC|BD;IND;ACTV|SPLN;-BRG";

std::unique_ptr<WEXFilterElementAssetID> ManyKUIDs() {
    KUIDBlockList list;
    for (uint32_t i = 0; i < kKUIDs; ++i)
        list.Append(KUID(static_cast<int32_t>(i % 5000), static_cast<int32_t>(i * 7919 % 100003),
                         static_cast<int32_t>(i % 3)));
    return std::make_unique<WEXFilterElementAssetID>(list);
}

std::vector<uint8_t> Envelope(const WEXFilterElement& e) {
    TBuffer b;
    WEXFilterWriteElement(b, &e);
    return std::vector<uint8_t>(b.GetData(), b.GetData() + b.GetDataLength());
}

void BM_WriteAssetIDs(benchmark::State& state) {
    auto ids = ManyKUIDs();
    for (auto _ : state) {
        TBuffer b;
        WEXFilterWriteElement(b, ids.get());
        benchmark::DoNotOptimize(b.GetData());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kKUIDs);
}
BENCHMARK(BM_WriteAssetIDs);

void BM_PackKUIDs(benchmark::State& state) {
    auto ids = ManyKUIDs();
    for (auto _ : state) {
        std::vector<uint8_t> out(12 + 8 * ids->GetKUIDs().size());
        uint8_t* p = out.data() + 12;
        for (const KUID& k : ids->GetKUIDs()) {
            uint32_t packed, content;
            KUID::PackWords(k, packed, content);
            std::memcpy(p, &content, 4);
            std::memcpy(p + 4, &packed, 4);
            p += 8;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kKUIDs);
}
BENCHMARK(BM_PackKUIDs);

void BM_ReadAssetIDs(benchmark::State& state) {
    auto bytes = Envelope(*ManyKUIDs());
    TBuffer b(bytes.data(), static_cast<uint32_t>(bytes.size()));
    for (auto _ : state) {
        b.Rewind();
        auto e = WEXFilterReadElement(b);
        benchmark::DoNotOptimize(e.get());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kKUIDs);
}
BENCHMARK(BM_ReadAssetIDs);

void BM_UnpackKUIDs(benchmark::State& state) {
    auto bytes = Envelope(*ManyKUIDs());
    for (auto _ : state) {
        uint32_t count;
        std::memcpy(&count, bytes.data() + 8, 4);
        std::vector<KUID> out(count);
        const uint8_t* p = bytes.data() + 12;
        for (KUID& k : out) {
            uint32_t content, packed;
            std::memcpy(&content, p, 4);
            std::memcpy(&packed, p + 4, 4);
            k = KUID::UnpackWords(packed, content);
            p += 8;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kKUIDs);
}
BENCHMARK(BM_UnpackKUIDs);

std::vector<std::string> CategoryLists() {
    static const char* kCodes[] = {"TR",   "TV",  "LOC", "ELEC", "DIES", "BD",   "IND",  "ACTV",
                                   "SPLN", "BRG", "TK",  "TUN",  "CMP",  "MESH", "SCEN", "SY"};
    Kiv::Rand rand(12345);
    std::vector<std::string> lists(kLists);
    for (std::string& list : lists) {
        uint32_t n = 1 + rand.Next() % 5;
        for (uint32_t i = 0; i < n; ++i) {
            if (!list.empty()) list += ';';
            list += kCodes[rand.Next() % std::size(kCodes)];
        }
    }
    return lists;
}

void BM_MatchCategoryLists(benchmark::State& state) {
    auto lists = CategoryLists();
    for (auto _ : state) {
        uint32_t matched = 0;
        for (const std::string& list : lists)
            matched += MatchCategoryList(list.c_str(), kExpression);
        benchmark::DoNotOptimize(matched);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kLists);
}
BENCHMARK(BM_MatchCategoryLists);

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            if (i > start) parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

bool SplitMatch(std::string_view list, std::string_view expression) {
    std::vector<std::string_view> entries = Split(list, ';');
    for (std::string_view alternative : Split(expression, '|')) {
        bool holds = true;
        for (std::string_view token : Split(alternative, ';')) {
            bool negate = !token.empty() && token[0] == '-';
            if (negate) token.remove_prefix(1);
            bool found = false;
            for (std::string_view e : entries)
                found = found || e == token;
            if (found == negate) holds = false;
        }
        if (holds) return true;
    }
    return false;
}

void BM_MatchCategoryListsBySplitting(benchmark::State& state) {
    auto lists = CategoryLists();
    for (auto _ : state) {
        uint32_t matched = 0;
        for (const std::string& list : lists)
            matched += SplitMatch(list, kExpression);
        benchmark::DoNotOptimize(matched);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kLists);
}
BENCHMARK(BM_MatchCategoryListsBySplitting);

HALVEX_BENCH_COMPARE("BM_WriteAssetIDs", "BM_PackKUIDs");
HALVEX_BENCH_COMPARE("BM_ReadAssetIDs", "BM_UnpackKUIDs");
HALVEX_BENCH_COMPARE("BM_MatchCategoryLists", "BM_MatchCategoryListsBySplitting");

}  // namespace
