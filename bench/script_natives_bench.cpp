// The script machine's messaging and the script images' text beside their peers:
//   posted messages: 100,000 messages posted with delays and delivered by the router's update,
//     beside the same messages through a std::priority_queue (ceiling); goal within 2x;
//   text: DrawText of 1,000 characters with a warm glyph atlas, beside FreeType rendering each
//     glyph (peer); goal at least 10 times faster;
//   soup look-ups: 100,000 Soup.GetNamedTagAsInt calls from a compiled script, beside the same
//     look-ups by name in C++ (ceiling); goal within 3x.
#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <fontconfig/fontconfig.h>

#include <map>
#include <queue>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/bitmap.h"
#include "script/image/glyph_atlas.h"
#include "script/image/tt_font.h"
#include "script/natives/class_natives.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_router.h"
#include "script/vm/gs_thread.h"
#include "script/vm/testing/script_runner.h"

namespace {

constexpr int kMessages = 100000;

class Sink : public GSRuntime::GSNode {
public:
    bool HandleMessage(GSRuntime::GSMessage*) override {
        ++count;
        return true;
    }
    long count = 0;
};

void BM_RouterPostedMessages(benchmark::State& state) {
    for (auto _ : state) {
        GSRuntime::GSContext context;
        context.router = new GSRuntime::GSRouter(&context);
        GSRuntime::GSRouter& router = *context.router;
        Sink sink;
        router.AddNode(&sink);
        auto* m = new GSRuntime::GSMessage();
        m->major = GSRuntime::GSRouter::kDeleteMajor - 1;  // a router major: every node takes it
        m->destination = sink.id;
        for (int i = 0; i < kMessages; ++i) {
            m->delayWord = 1 + static_cast<uint32_t>(i * 7919 % 1000);
            router.PostMessage(m);
        }
        m->Release();
        router.Update(1.0f);
        if (sink.count != kMessages) state.SkipWithError("messages lost");
        router.RemoveNode(&sink);
    }
}
BENCHMARK(BM_RouterPostedMessages)->Unit(benchmark::kMillisecond);

struct Plain {
    uint32_t due;
    int destination;
};
struct Later {
    bool operator()(const Plain& a, const Plain& b) const { return a.due > b.due; }
};

void BM_PriorityQueueMessages(benchmark::State& state) {
    for (auto _ : state) {
        std::priority_queue<Plain, std::vector<Plain>, Later> queue;
        long delivered = 0;
        for (int i = 0; i < kMessages; ++i)
            queue.push({1 + static_cast<uint32_t>(i * 7919 % 1000), 1});
        while (!queue.empty()) {
            delivered += queue.top().destination;
            queue.pop();
        }
        benchmark::DoNotOptimize(delivered);
    }
}
BENCHMARK(BM_PriorityQueueMessages)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_RouterPostedMessages", "BM_PriorityQueueMessages");

std::string Text() {
    std::string t;
    const char* words = "The quick brown fox jumps over the lazy dog. ";
    while (t.size() < 1000)
        t += words;
    t.resize(1000);
    return t;
}

void BM_DrawTextWarmAtlas(benchmark::State& state) {
    ScriptImage::TTFont* font =
        ScriptImage::FindFont({.height = 12, .charset = "", .face = "DejaVu Sans"});
    if (font == nullptr) {
        state.SkipWithError("no font");
        return;
    }
    const std::string text = Text();
    Kiv::Bitmap target(8192, 20);
    ScriptImage::DrawText(target, 0, 0, *font, text, 0xFFFFFFFFu);  // warms the atlas
    for (auto _ : state) {
        ScriptImage::DrawText(target, 0, 0, *font, text, 0xFFFFFFFFu);
        benchmark::DoNotOptimize(target.GetData());
    }
}
BENCHMARK(BM_DrawTextWarmAtlas)->Unit(benchmark::kMicrosecond);

void BM_FreeTypeEachGlyph(benchmark::State& state) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* file = nullptr;
    if (match == nullptr || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch ||
        FT_Init_FreeType(&library) != 0 ||
        FT_New_Face(library, reinterpret_cast<const char*>(file), 0, &face) != 0) {
        state.SkipWithError("no font");
        return;
    }
    FT_Set_Pixel_Sizes(face, 0, 12);
    const std::string text = Text();
    for (auto _ : state) {
        long coverage = 0;
        for (unsigned char c : text) {
            FT_Load_Char(face, c, FT_LOAD_RENDER);
            coverage += face->glyph->bitmap.rows;
        }
        benchmark::DoNotOptimize(coverage);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    FcPatternDestroy(match);
    FcPatternDestroy(pattern);
}
BENCHMARK(BM_FreeTypeEachGlyph)->Unit(benchmark::kMicrosecond);
HALVEX_BENCH_COMPARE("BM_DrawTextWarmAtlas", "BM_FreeTypeEachGlyph");

constexpr int kLookUps = 100000;

// A soup of twenty tags; the one looked up is the fifteenth.
const char* const kSoupScript = R"(
include "Constructors.gs"
class Bench {
  public int LookUps(int n) {
    Soup s = ConstructorsBase.NewSoup();
    int i;
    for (i = 0; i < 20; i++) s.SetNamedTag("tag" + i, i);
    int total = 0;
    for (i = 0; i < n; i++) total = total + s.GetNamedTagAsInt("tag14");
    return total;
  }
};
)";

void BM_ScriptSoupLookUps(benchmark::State& state) {
    ScriptNatives::RegisterClassNatives(GSRuntime::GSNativeRegistry::Get());
    GSRuntime::testing::ScriptRunner runner;
    std::map<std::string, std::string> sources{{"bench.gs", kSoupScript}};
    for (const char* name :
         {"gs.gs", "kuid.gs", "Soup.gs", "KUIDList.gs", "Image.gs", "Constructors.gs"})
        sources[name] = GSRuntime::testing::ReadLibrarySource(name);
    if (!runner.Load(sources, "bench.gs")) {
        state.SkipWithError(runner.messages.c_str());
        return;
    }
    const struct {
        ScriptNatives::ClassSlot slot;
        const char* library;
        const char* cls;
    } slots[] = {{ScriptNatives::kSoup, "soup.gsl", "Soup"},
                 {ScriptNatives::kKUID, "kuid.gsl", "KUID"},
                 {ScriptNatives::kKUIDList, "kuidlist.gsl", "KUIDList"}};
    for (const auto& s : slots)
        ScriptNatives::SetClassSlot(s.slot,
                                    runner.machine.GetLibraryByName(s.library)->FindClass(s.cls));
    for (auto _ : state) {
        GSRuntime::testing::ScriptRun run =
            runner.Run("Bench", "$int@Bench::LookUps(int)", {uint32_t{kLookUps}});
        if (run.result != GSRuntime::ER_Done || run.AsInt() != 14 * kLookUps) {
            state.SkipWithError("the script did not run to its total");
            break;
        }
    }
}
BENCHMARK(BM_ScriptSoupLookUps)->Unit(benchmark::kMillisecond);

void BM_CppSoupLookUps(benchmark::State& state) {
    TDBTagRef soup;
    for (int i = 0; i < 20; ++i)
        TDBContainerTag::SetInt(soup, Kiv::PString("tag" + std::to_string(i)), i);
    const std::string name = "tag14";
    for (auto _ : state) {
        long total = 0;
        for (int i = 0; i < kLookUps; ++i)
            total += TDBContainerTag::GetInt(soup, Kiv::PString(name).ToLower(), 0);
        if (total != 14L * kLookUps) state.SkipWithError("wrong total");
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_CppSoupLookUps)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_ScriptSoupLookUps", "BM_CppSoupLookUps");

}  // namespace
