// The validator: loading a data folder of templates the size of a full set of definitions,
// beside reading the same three files into trees (its own floor); checking a configuration of
// 2,000 tags in 200 sub-containers, and exporting it with its value checks and rules, each
// beside parsing that configuration's text; upgrading an old configuration of 500 tags, beside
// cloning its tree (at most 2x); the texture checks of 500 descriptions with their 256 x 256
// images beside decoding the images with stb_image alone; and 10,000 findings collected beside
// 1,000 (the repeat test must not grow with the records kept).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/ratio.h"
#include "configdata/config_file.h"
#include "configdata/config_text.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/path.h"
#include "validation/config_upgrade.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

constexpr int kDefinitions = 600;  // per template file
constexpr int kEntriesPerDefinition = 24;
constexpr int kLists = 40;

std::string MakeFolder() {
    char folder[] = "/tmp/halvex-validation-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) std::abort();
    return folder;
}

void WriteText(const std::string& path, const std::string& body) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    std::fwrite(body.data(), 1, body.size(), f);
    std::fclose(f);
}

std::string Definitions(const char* prefix) {
    std::string t;
    for (int d = 0; d < kDefinitions; ++d) {
        t += std::string(prefix) + std::to_string(d) +
             "\n{\n  top-level 1\n  inherit\n  {\n    base-" + std::to_string(d % 7) +
             " 1\n  }\n  subpossibilities\n  {\n";
        for (int e = 0; e < kEntriesPerDefinition; ++e)
            t += "    entry-" + std::to_string(e) + "\n    {\n      kind \"value\"\n      type \"" +
                 (e % 3 == 0   ? "string"
                  : e % 3 == 1 ? "int"
                               : "float") +
                 "\"\n      compulsory 0\n    }\n";
        t += "  }\n}\n";
    }
    return t;
}

// A data folder the size of a full set of definitions; made once.
const std::string& BigData() {
    static const std::string folder = [] {
        const std::string root = MakeFolder() + "/DUVData/";
        if (std::system(("mkdir -p '" + root + "lists'").c_str()) != 0) std::abort();
        WriteText(root + "inheritance.txt", Definitions("base-"));
        WriteText(root + "kind.txt", Definitions("kind-"));
        WriteText(root + "container.txt", Definitions("container-"));
        for (int l = 0; l < kLists; ++l) {
            std::string body;
            for (int i = 0; i < 50; ++i)
                body += "word" + std::to_string(i) + " value\n";
            WriteText(root + "lists/list" + std::to_string(l) + ".txt", body);
        }
        return root;
    }();
    return folder;
}

void BM_LoadTemplates(benchmark::State& state) {
    const std::string& data = BigData();
    DUVLib::ErrorHandler::Startup();
    for (auto _ : state) {
        state.PauseTiming();
        DUVLib::DataManager::Startup(data);
        DUVLib::DataManager& manager = DUVLib::DataManager::Instance();
        state.ResumeTiming();
        if (!manager.LoadTemplates()) state.SkipWithError("templates did not load");
        state.PauseTiming();
        DUVLib::DataManager::Shutdown();
        state.ResumeTiming();
    }
    DUVLib::ErrorHandler::Shutdown();
}
BENCHMARK(BM_LoadTemplates)->Unit(benchmark::kMillisecond);

void BM_ReadTemplateFiles(benchmark::State& state) {
    const std::string& data = BigData();
    for (auto _ : state) {
        for (const char* file : {"inheritance.txt", "kind.txt", "container.txt"}) {
            TDBTagRef tree;
            if (!ReadConfigFile("", data + file, tree, "txt")) state.SkipWithError("unreadable");
            benchmark::DoNotOptimize(tree.Get());
        }
    }
}
BENCHMARK(BM_ReadTemplateFiles)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_LoadTemplates", "BM_ReadTemplateFiles");

// --- the check ---------------------------------------------------------------------------

constexpr const char* kCheckKinds = R"(
scenery
{
  top-level 1
  subpossibilities
  {
    halvex-build
    {
      kind "value"
      type "float"
    }
    kind
    {
      kind "value"
      type "string"
    }
    value0
    {
      kind "value"
      type "int"
      sequence 1
    }
    name
    {
      kind "value"
      type "string"
    }
    rows
    {
      numarray 1
      kind "element"
      element-type "row"
    }
  }
  tagarray
  {
    type "int"
  }
  validation
  {
    uniquenames
    {
    }
  }
}
row
{
  subpossibilities
  {
    width
    {
      kind "value"
      type "float"
      validation
      {
        range
        {
          min "0"
          max "10"
        }
      }
    }
    height
    {
      kind "value"
      type "float"
      validation
      {
        ispositive
        {
        }
      }
    }
    label
    {
      kind "value"
      type "string"
    }
    colour
    {
      kind "value"
      type "vector3"
    }
    count
    {
      kind "value"
      type "int"
    }
  }
}
)";

constexpr int kRootTags = 1000;
constexpr int kSubContainers = 200;

const std::string& CheckConfig() {
    static const std::string text = [] {
        std::string t = "kind scenery\nhalvex-build 3.6\nname \"big\"\n";
        for (int i = 0; i < kRootTags - 3; ++i)
            t += "value" + std::to_string(i + 1) + " " + std::to_string(i) + "\n";
        for (int c = 0; c < kSubContainers; ++c)
            t += std::to_string(c) +
                 "\n{\n  width 1.5\n  height 2.5\n  label \"row\"\n  colour 1,2,3\n  count 4\n}\n";
        return t;
    }();
    return text;
}

struct CheckSetup {
    CheckSetup() {
        const std::string root = MakeFolder() + "/DUVData/";
        if (std::system(("mkdir -p '" + root + "lists'").c_str()) != 0) std::abort();
        WriteText(root + "kind.txt", kCheckKinds);
        DUVLib::ErrorHandler::Startup();
        DUVLib::DataManager::Startup(root);
        if (!DUVLib::DataManager::Instance().LoadTemplates()) std::abort();
    }
    ~CheckSetup() {
        DUVLib::DataManager::Shutdown();
        DUVLib::ErrorHandler::Shutdown();
    }
};

void BM_CheckAsset(benchmark::State& state) {
    CheckSetup setup;
    TDBTagRef soup;
    ParseTagTreeText(soup, CheckConfig(), false);
    for (auto _ : state) {
        DUVLib::ErrorHandler::Instance()->Clear();
        DUVLib::Container root;
        if (!root.CheckAsset(soup)) state.SkipWithError("check failed");
        if (!DUVLib::ErrorHandler::Instance()->GetRecords().empty())
            state.SkipWithError("unexpected findings");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * (kRootTags + 5 * kSubContainers));
}
BENCHMARK(BM_CheckAsset)->Unit(benchmark::kMillisecond);

void BM_ParseConfigText(benchmark::State& state) {
    for (auto _ : state) {
        TDBTagRef soup;
        ParseTagTreeText(soup, CheckConfig(), false);
        benchmark::DoNotOptimize(soup.Get());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * (kRootTags + 5 * kSubContainers));
}
BENCHMARK(BM_ParseConfigText)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_CheckAsset", "BM_ParseConfigText");

// --- export and rules --------------------------------------------------------------------

// The checked configuration exported with its value checks and the rules its definitions
// attach, beside parsing its text.
void BM_ExportWithRules(benchmark::State& state) {
    CheckSetup setup;
    TDBTagRef soup;
    ParseTagTreeText(soup, CheckConfig(), false);
    DUVLib::ErrorHandler::Instance()->Clear();
    DUVLib::Container root;
    if (!root.CheckAsset(soup)) state.SkipWithError("check failed");
    for (auto _ : state) {
        DUVLib::ErrorHandler::Instance()->Clear();
        TDBTagRef out = TDBTagRef::Adopt(new TDBContainerTag());
        if (!root.Export(out) || !root.RunContainerRules()) state.SkipWithError("export failed");
        if (!DUVLib::ErrorHandler::Instance()->GetRecords().empty())
            state.SkipWithError("unexpected findings");
        benchmark::DoNotOptimize(out.Get());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * (kRootTags + 5 * kSubContainers));
}
BENCHMARK(BM_ExportWithRules)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_ExportWithRules", "BM_ParseConfigText");

// --- textures ------------------------------------------------------------------------------

constexpr int kTexturePairs = 500;

void WriteImages(const std::string& folder) {
    std::vector<uint8_t> pixels(256 * 256 * 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
    for (int i = 0; i < kTexturePairs; ++i) {
        const std::string name = folder + "/t" + std::to_string(i);
        const bool bmp = i % 2 == 0;
        const std::string image = name + (bmp ? ".bmp" : ".tga");
        if (bmp ? !stbi_write_bmp(image.c_str(), 256, 256, 3, pixels.data())
                : !stbi_write_tga(image.c_str(), 256, 256, 3, pixels.data()))
            std::abort();
        WriteText(name + ".texture.txt",
                  "Primary=t" + std::to_string(i) + (bmp ? ".bmp" : ".tga") + "\r\nTile=st\r\n");
    }
}

const std::string& TextureFolder() {
    static const std::string folder = [] {
        const std::string f = MakeFolder() + "/asset";
        if (std::system(("mkdir -p '" + f + "'").c_str()) != 0) std::abort();
        WriteImages(f);
        return f;
    }();
    return folder;
}

void BM_CheckTextureFile(benchmark::State& state) {
    CheckSetup setup;
    const Kiv::File::Path folder(TextureFolder());
    for (auto _ : state) {
        DUVLib::ErrorHandler::Instance()->Clear();
        DUVLib::Container root;
        if (!root.CheckTextureFile(folder, folder)) state.SkipWithError("textures failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kTexturePairs);
}
BENCHMARK(BM_CheckTextureFile)->Unit(benchmark::kMillisecond);

void BM_DecodeWithStb(benchmark::State& state) {
    const std::string& folder = TextureFolder();
    for (auto _ : state) {
        for (int i = 0; i < kTexturePairs; ++i) {
            const std::string image =
                folder + "/t" + std::to_string(i) + (i % 2 == 0 ? ".bmp" : ".tga");
            int w = 0, h = 0, n = 0;
            stbi_uc* pixels = stbi_load(image.c_str(), &w, &h, &n, 4);
            if (pixels == nullptr) state.SkipWithError("stb_image failed");
            stbi_image_free(pixels);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kTexturePairs);
}
BENCHMARK(BM_DecodeWithStb)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_CheckTextureFile", "BM_DecodeWithStb");
// --- the upgrade ---------------------------------------------------------------------------

// An old traincar of 500 top-level tags written the loose way: numbered regions and eras, bogey
// tags, junk words, stray words after "description", and the rest plain values.
const std::string& OldConfig() {
    static const std::string text = [] {
        std::string t = "kind traincar\nhalvex-build 2.8\nasset-filename loco\nname \"old\"\n";
        int tags = 4;
        for (int i = 0; i < 10; ++i, tags += 2)
            t += "category-region-" + std::to_string(i) + " au\ncategory-era-" + std::to_string(i) +
                 " 19" + std::to_string(i) + "0\n";
        t += "bogey <kuid:1:1>\nbogey-r <kuid:1:2>\n";
        tags += 2;
        for (int i = 1; i < 8; ++i, tags += 2)
            t += "bogey-" + std::to_string(i) + " <kuid:1:" + std::to_string(10 + i) + ">\nbogey-" +
                 std::to_string(i) + "-r <kuid:1:" + std::to_string(20 + i) + ">\n";
        constexpr const char* kJunk[] = {"licence", "origin", "company", "version", "by",
                                         "you",     "this",   "the",     "these",   "copyright"};
        for (int i = 0; i < 50; ++i, ++tags)
            t += std::string(kJunk[i % 10]) + (i < 10 ? "" : std::to_string(i)) + "\n";
        t += "description \"An old loco\"\n";
        ++tags;
        for (int i = 0; i < 50; ++i, ++tags)
            t += "word" + std::to_string(i) + "\n";
        t += "name \"kept\"\n";
        ++tags;
        for (; tags < 500; ++tags)
            t += "setting" + std::to_string(tags) + " " + std::to_string(tags) + "\n";
        return t;
    }();
    return text;
}

void BM_UpgradeConfig(benchmark::State& state) {
    CheckSetup setup;
    TDBTagRef old;
    ParseTagTreeText(old, OldConfig(), false);
    DUVLib::DataManager::Instance().SetBuild(2.801f);
    for (auto _ : state) {
        state.PauseTiming();
        TDBTagRef tree = TDBContainerTag::Clone(old);
        state.ResumeTiming();
        UpgradeConfig(tree);
        benchmark::DoNotOptimize(tree.Get());
        // Freeing the tree is left out of both sides.
        state.PauseTiming();
        tree = TDBTagRef();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 500);
}
BENCHMARK(BM_UpgradeConfig)->Unit(benchmark::kMicrosecond);

void BM_CloneConfig(benchmark::State& state) {
    TDBTagRef old;
    ParseTagTreeText(old, OldConfig(), false);
    for (auto _ : state) {
        TDBTagRef tree = TDBContainerTag::Clone(old);
        benchmark::DoNotOptimize(tree.Get());
        state.PauseTiming();
        tree = TDBTagRef();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 500);
}
BENCHMARK(BM_CloneConfig)->Unit(benchmark::kMicrosecond);
HALVEX_BENCH_COMPARE("BM_UpgradeConfig", "BM_CloneConfig");

// --- findings ------------------------------------------------------------------------------

void BM_Findings(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<Kiv::PString> texts;
    for (int i = 0; i < n; ++i)
        texts.emplace_back("finding " + std::to_string(i));
    DUVLib::ErrorHandler::Startup();
    DUVLib::ErrorHandler& handler = *DUVLib::ErrorHandler::Instance();
    auto* owner = reinterpret_cast<DUVLib::Container*>(0x1000);
    for (auto _ : state) {
        handler.Clear();
        for (int i = 0; i < n; ++i) {
            handler.Error(texts[i], owner);
            handler.Warning(texts[i]);  // a repeat: dropped
        }
        benchmark::DoNotOptimize(handler.GetRecords().size());
    }
    DUVLib::ErrorHandler::Shutdown();
}
BENCHMARK(BM_Findings)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
HALVEX_BENCH_COMPARE("BM_Findings/10000", "BM_Findings/1000");

}  // namespace
