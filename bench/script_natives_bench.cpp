// The script machine's messaging and the script images' text beside their peers:
//   posted messages: 100,000 messages posted with delays and delivered by the router's update,
//     beside the same messages through a std::priority_queue by value (ceiling); each checks
//     that every message came, in due order; goal within 2x;
//   text: DrawText of 1,000 characters with a warm glyph atlas, beside FreeType rendering each
//     glyph and blending it into a bitmap (peer; the two pictures are checked to be the same);
//     goal at least 10 times faster;
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

// The delay of the i-th message: 1 to 1,000 ms, scattered.
uint32_t DelayOf(int i) {
    return 1 + static_cast<uint32_t>(i * 7919 % 1000);
}

// Counts what it is handed and whether it came in due order.
class Sink : public GSRuntime::GSNode {
public:
    bool HandleMessage(GSRuntime::GSMessage* m) override {
        const uint32_t due = m->DelayWord() & GSRuntime::GSMessage::kDueMask;
        inOrder = inOrder && due >= last;
        last = due;
        ++count;
        return true;
    }
    long count = 0;
    uint32_t last = 0;
    bool inOrder = true;
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
            m->delayWord = DelayOf(i);
            router.PostMessage(m);  // queues a copy, as a script's post does
        }
        m->Release();
        router.Update(1.0f);  // every delay is due after a second
        if (sink.count != kMessages || !sink.inOrder) {
            state.SkipWithError("messages lost or out of due order");
            break;
        }
        router.RemoveNode(&sink);
    }
}
BENCHMARK(BM_RouterPostedMessages)->Unit(benchmark::kMillisecond);

// The same messages by value, ordered by due time: no copies, no counts, no delivery.
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
        for (int i = 0; i < kMessages; ++i)
            queue.push({DelayOf(i), 1});
        long delivered = 0;
        uint32_t last = 0;
        bool inOrder = true;
        while (!queue.empty()) {
            const Plain p = queue.top();
            queue.pop();
            inOrder = inOrder && p.due >= last;
            last = p.due;
            delivered += p.destination;
        }
        if (delivered != kMessages || !inOrder) {
            state.SkipWithError("messages lost or out of due order");
            break;
        }
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

// DejaVu Sans through FreeType alone, sized and rendered as the script fonts' FreeType binding
// does: the cell height requested, hinted, monochrome.
class DirectFace {
public:
    explicit DirectFace(int height) {
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans"));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* file = nullptr;
        if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
            FT_Init_FreeType(&library_) == 0 &&
            FT_New_Face(library_, reinterpret_cast<const char*>(file), 0, &face_) == 0) {
            FT_Size_RequestRec size{FT_SIZE_REQUEST_TYPE_REAL_DIM, 0, height * 64, 0, 0};
            if (FT_Request_Size(face_, &size) != 0) {
                FT_Done_Face(face_);
                face_ = nullptr;
            }
        }
        if (match != nullptr) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    ~DirectFace() {
        if (face_ != nullptr) FT_Done_Face(face_);
        if (library_ != nullptr) FT_Done_FreeType(library_);
    }
    DirectFace(const DirectFace&) = delete;
    DirectFace& operator=(const DirectFace&) = delete;

    bool IsValid() const { return face_ != nullptr; }

    // Renders each character of the text afresh and blends its pixels into `target` where
    // DrawText puts the same glyph (the cell's top one row above y). False when one fails.
    bool Draw(Kiv::Bitmap& target, int x, int y, const std::string& text, uint32_t colour) {
        const int ascent = static_cast<int>((face_->size->metrics.ascender + 63) >> 6);
        int pen = x;
        for (unsigned char c : text) {
            if (FT_Load_Char(face_, c, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) !=
                    0 ||
                FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_MONO) != 0)
                return false;
            const FT_GlyphSlot slot = face_->glyph;
            const FT_Bitmap& bm = slot->bitmap;
            const int left = pen + slot->bitmap_left;
            const int top = y - 1 + ascent - slot->bitmap_top;
            for (unsigned row = 0; row < bm.rows; ++row) {
                const uint8_t* line = bm.buffer + static_cast<ptrdiff_t>(row) * bm.pitch;
                for (unsigned col = 0; col < bm.width; ++col)
                    if (line[col >> 3] & (0x80 >> (col & 7)))
                        target.BlendPixel(left + static_cast<int>(col), top + static_cast<int>(row),
                                          colour);
            }
            pen += static_cast<int>((slot->advance.x + 32) >> 6);
        }
        return true;
    }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

constexpr int kTextHeight = 12;
// Opaque colours, one per iteration in turn: every drawn pixel is replaced, so an iteration's
// text shows in its own colour wherever a glyph has a pixel.
constexpr uint32_t kInk[2] = {0xFFFF0000u, 0xFF00FF00u};

// The first and the last drawn pixel of a picture of the text (in column order), where every
// iteration checks its colour; false when nothing was drawn.
struct Probes {
    int x1 = -1, y1 = -1, x2 = -1, y2 = -1;
    bool Find(const Kiv::Bitmap& b) {
        for (int x = 0; x < int(b.GetWidth()); ++x)
            for (int y = 0; y < int(b.GetHeight()); ++y)
                if (b.GetPixel(x, y) != 0) {
                    if (x1 < 0) x1 = x, y1 = y;
                    x2 = x, y2 = y;
                }
        return x1 >= 0 && x2 > x1;
    }
    bool Show(const Kiv::Bitmap& b, uint32_t colour) const {
        return b.GetPixel(x1, y1) == colour && b.GetPixel(x2, y2) == colour;
    }
};

// What both text benchmarks draw with, checked before either is timed: the text drawn once by
// each way on bitmaps of their own must give the same picture, else the two would not be doing
// the same work.
struct TextSetup {
    ScriptImage::TTFont* font =
        ScriptImage::FindFont({.height = kTextHeight, .charset = "", .face = "DejaVu Sans"});
    DirectFace direct{kTextHeight};
    std::string text = Text();
    Probes probes;

    // False, with the run failed, when a font is missing or the pictures differ.
    bool Ready(benchmark::State& state) {
        Kiv::Bitmap ours(8192, 20), theirs(8192, 20);
        if (font != nullptr && direct.IsValid()) {
            ScriptImage::DrawText(ours, 0, 0, *font, text, kInk[0]);
            if (direct.Draw(theirs, 0, 0, text, kInk[0]) &&
                ours.GetPixels() == theirs.GetPixels() && probes.Find(ours))
                return true;
        }
        state.SkipWithError("no font, or DrawText and FreeType drew different pictures");
        return false;
    }
};

void BM_DrawTextWarmAtlas(benchmark::State& state) {
    TextSetup setup;
    if (!setup.Ready(state)) return;  // the atlas is warm from then on
    Kiv::Bitmap target(8192, 20);
    size_t n = 0;
    for (auto _ : state) {
        const uint32_t ink = kInk[n++ & 1];
        ScriptImage::DrawText(target, 0, 0, *setup.font, setup.text, ink);
        if (!setup.probes.Show(target, ink)) {
            state.SkipWithError("the text was not drawn");
            break;
        }
    }
}
BENCHMARK(BM_DrawTextWarmAtlas)->Unit(benchmark::kMicrosecond);

void BM_FreeTypeEachGlyph(benchmark::State& state) {
    TextSetup setup;
    if (!setup.Ready(state)) return;
    Kiv::Bitmap target(8192, 20);
    size_t n = 0;
    for (auto _ : state) {
        const uint32_t ink = kInk[n++ & 1];
        if (!setup.direct.Draw(target, 0, 0, setup.text, ink) || !setup.probes.Show(target, ink)) {
            state.SkipWithError("the text was not drawn");
            break;
        }
    }
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
