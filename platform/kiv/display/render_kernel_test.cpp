#include "platform/kiv/display/render_kernel.h"

#include <gtest/gtest.h>

#include <array>

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/base/options.h"
#include "platform/kiv/display/geometry_chunk.h"
#include "platform/kiv/display/materials.h"

namespace {

using Kernel = Kiv::RenderKernel;

TEST(RenderKernel, StartsWithoutAWindowWhateverTheRendererOptions) {
    struct Case {
        const char* options;
        bool starts;
        bool nullRender;
    };
    const Case cases[] = {
        {"-NullRender -LogFile=/dev/null", true, true},
        {"-render=OpenGL -hidewindow -LogStdOut", true, false},
        {"-render=opengl", true, false},
        {"", true, false},
        {"-render=Vulkan -hidewindow", false, false},
        {"-render=Vulkan -NullRender", true, true},  // the retry's form
    };
    for (const Case& c : cases) {
        Kernel kernel(nullptr, 8.0f);
        EXPECT_EQ(kernel.Init(Kiv::Options(c.options)), c.starts) << c.options;
        EXPECT_EQ(kernel.IsInitialised(), c.starts) << c.options;
        EXPECT_EQ(kernel.GetLastError().empty(), c.starts) << c.options;
        if (c.starts) {
            EXPECT_EQ(kernel.IsNullRender(), c.nullRender) << c.options;
        }
    }
}

TEST(RenderKernel, TestHookFailsExactlyTheNextInits) {
    Kiv::Options options("-NullRender");
    Kernel kernel(nullptr, 8.0f);
    Kernel::FailNextInitsForTesting(2);
    EXPECT_FALSE(kernel.Init(options));
    EXPECT_FALSE(kernel.Init(options));
    EXPECT_TRUE(kernel.Init(options));
    Kernel::FailNextInitsForTesting(0);
}

TEST(RenderKernel, CurrentSlotFollowsTheLiveKernel) {
    EXPECT_EQ(Kernel::GetCurrent(), nullptr);
    {
        Kernel kernel(nullptr, 8.0f);
        EXPECT_EQ(Kernel::GetCurrent(), &kernel);
        EXPECT_EQ(kernel.GetDetail(), 8.0f);
    }
    EXPECT_EQ(Kernel::GetCurrent(), nullptr);
}

class RenderKernelGeometry : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kernel.Init(Kiv::Options("-NullRender")));
        std::array<std::byte, 4 * 12> bytes{};  // four vertices of 12 bytes
        bytes[12] = std::byte{7};
        vertices = kernel.CreateVertexBuffer(bytes, 12);
        const uint32_t ix[] = {0, 1, 2, 2, 1, 3};
        indices = kernel.CreateIndexBuffer(ix);
        ASSERT_NE(vertices, Kernel::kNoBuffer);
        ASSERT_NE(indices, Kernel::kNoBuffer);
    }
    Kernel kernel{nullptr, 8.0f};
    Kernel::BufferId vertices = Kernel::kNoBuffer;
    Kernel::BufferId indices = Kernel::kNoBuffer;
};

TEST_F(RenderKernelGeometry, KeepsGeometryAndRecordsDrawsInOrder) {
    EXPECT_EQ(kernel.GetElementCount(vertices), 4u);
    EXPECT_EQ(kernel.GetElementCount(indices), 6u);
    EXPECT_EQ(kernel.GetBufferBytes(vertices)[12], std::byte{7});
    EXPECT_EQ(kernel.GetBufferBytes(indices).size(), 24u);

    Kernel::DrawCall indexed{Kernel::Primitive::Triangles, vertices, indices, 0, 6, 3};
    Kernel::DrawCall strip{Kernel::Primitive::TriangleStrip, vertices, Kernel::kNoBuffer, 1, 3, 4};
    ASSERT_TRUE(kernel.Draw(indexed));
    ASSERT_TRUE(kernel.Draw(strip));
    EXPECT_EQ(kernel.GetDrawCalls(), (std::vector<Kernel::DrawCall>{indexed, strip}));
    kernel.ClearDrawCalls();
    EXPECT_TRUE(kernel.GetDrawCalls().empty());
}

TEST_F(RenderKernelGeometry, DrawsOutsideTheirBuffersAreRefused) {
    const uint32_t bad[] = {0, 4};  // 4 is past the last vertex
    Kernel::BufferId badIndices = kernel.CreateIndexBuffer(bad);
    using P = Kernel::Primitive;
    const Kernel::DrawCall refused[] = {
        {P::Triangles, vertices, indices, 4, 3, 0},           // indices run past the end
        {P::Triangles, vertices, indices, UINT32_MAX, 2, 0},  // start overflows
        {P::Points, vertices, Kernel::kNoBuffer, 2, 3, 0},    // vertices run past the end
        {P::Lines, vertices, badIndices, 0, 2, 0},            // an index names no vertex
        {P::Lines, indices, Kernel::kNoBuffer, 0, 1, 0},      // not a vertex buffer
        {P::Lines, vertices, vertices, 0, 1, 0},              // not an index buffer
        {P::Lines, 999, Kernel::kNoBuffer, 0, 1, 0},          // no such buffer
    };
    for (const auto& call : refused)
        EXPECT_FALSE(kernel.Draw(call));
    EXPECT_TRUE(kernel.GetDrawCalls().empty());

    EXPECT_TRUE(kernel.ReleaseBuffer(vertices));
    EXPECT_FALSE(kernel.ReleaseBuffer(vertices));
    EXPECT_FALSE(kernel.Draw({P::Triangles, vertices, indices, 0, 3, 0}));
}

TEST(RenderKernel, MakesNoGeometryBeforeItStartsOrFromPartialVertices) {
    Kernel kernel(nullptr, 8.0f);
    std::array<std::byte, 10> bytes{};
    EXPECT_EQ(kernel.CreateVertexBuffer(bytes, 5), Kernel::kNoBuffer);
    ASSERT_TRUE(kernel.Init(Kiv::Options("-NullRender")));
    EXPECT_EQ(kernel.CreateVertexBuffer(bytes, 4), Kernel::kNoBuffer);
    EXPECT_EQ(kernel.CreateVertexBuffer(bytes, 0), Kernel::kNoBuffer);
    EXPECT_NE(kernel.CreateVertexBuffer(bytes, 5), Kernel::kNoBuffer);
}

}  // namespace

TEST(RenderKernel, TexturesKeepTheirLastPixelsAndRefuseOtherSizes) {
    Kiv::RenderKernel kernel(nullptr, 1.0f);
    Kiv::Bitmap bitmap(512, 512);
    EXPECT_EQ(kernel.CreateTexture(bitmap), Kiv::RenderKernel::kNoTexture);  // not started
    ASSERT_TRUE(kernel.Init(Kiv::Options("-NullRender")));
    EXPECT_EQ(kernel.CreateTexture(Kiv::Bitmap()), Kiv::RenderKernel::kNoTexture);
    const auto id = kernel.CreateTexture(bitmap);
    ASSERT_NE(id, Kiv::RenderKernel::kNoTexture);
    bitmap.SetPixel(3, 0, 0xFF00FF00);
    ASSERT_TRUE(kernel.UpdateTexture(id, bitmap));
    const auto t = kernel.GetTexture(id);
    EXPECT_EQ(t.width, 512u);
    EXPECT_EQ(t.updates, 1u);
    EXPECT_EQ(t.pixels, bitmap.GetPixels());
    EXPECT_FALSE(kernel.UpdateTexture(id, Kiv::Bitmap(256, 512)));
    EXPECT_TRUE(kernel.ReleaseTexture(id));
    EXPECT_FALSE(kernel.UpdateTexture(id, bitmap));
    EXPECT_EQ(kernel.GetTextureCount(), 0u);
}

namespace {

// A chunk of one triangle with its positions set.
std::shared_ptr<Kiv::GeometryChunk> Triangle() {
    auto chunk = std::make_shared<Kiv::GeometryChunk>(3, 0, 3, 1, 0, Kiv::StandardChunkHint(0, 0));
    auto* p = chunk->GetItemAs<float>(Kiv::kItemPositions);
    for (int k = 0; k < 9; ++k)
        p[k] = static_cast<float>(k);
    return chunk;
}

TEST(RenderKernel, AChunkGivesItsBuffersBackOnlyToTheKernelItWasPreparedOn) {
    Kiv::RenderKernel kernel(nullptr, 1.0f);
    ASSERT_TRUE(kernel.Init(Kiv::Options("-NullRender")));
    auto chunk = Triangle();
    ASSERT_TRUE(chunk->PrepareForDisplay(&kernel));
    const auto vertices = chunk->GetVertexBuffer(), indices = chunk->GetIndexBuffer();
    EXPECT_EQ(kernel.GetElementCount(vertices), 3u);
    auto copy = chunk->Copy();  // not prepared: owns no buffer
    copy.reset();
    EXPECT_EQ(kernel.GetElementCount(vertices), 3u);
    chunk.reset();
    EXPECT_EQ(kernel.GetElementCount(vertices), 0u);
    EXPECT_EQ(kernel.GetElementCount(indices), 0u);

    // A chunk that outlives its kernel leaves a later kernel's buffers of the same ids alone.
    auto survivor = Triangle();
    {
        Kiv::RenderKernel brief(nullptr, 1.0f);
        ASSERT_TRUE(brief.Init(Kiv::Options("-NullRender")));
        ASSERT_TRUE(survivor->PrepareForDisplay(&brief));
    }
    Kiv::RenderKernel later(nullptr, 1.0f);
    ASSERT_TRUE(later.Init(Kiv::Options("-NullRender")));
    auto other = Triangle();
    ASSERT_TRUE(other->PrepareForDisplay(&later));
    ASSERT_EQ(other->GetVertexBuffer(), survivor->GetVertexBuffer());
    survivor.reset();
    EXPECT_EQ(later.GetElementCount(other->GetVertexBuffer()), 3u);
}

// A frame's end flushes every cache once, in the order they were added, while materials draw
// at once; a new frame empties them first.
TEST(RenderKernel, AFrameEmptiesTheCachesAndItsEndFlushesEachOnceInOrder) {
    struct Recording : Kiv::RenderingCache {
        Recording(std::string name, std::vector<std::string>& log)
            : RenderingCache(std::move(name)), log_(log) {}
        void Clear() override { log_.push_back("clear " + GetName()); }
        void Flush(Kiv::Display& display) override {
            log_.push_back((display.HandsBlendedChunksToCaches() ? "waits " : "flush ") +
                           GetName());
        }
        std::vector<std::string>& log_;
    };
    std::vector<std::string> log;
    Kernel kernel(nullptr, 1.0f);
    ASSERT_TRUE(kernel.Init(Kiv::Options("-NullRender")));
    Kiv::RenderingCacheManager& manager = Kiv::RenderingCacheManager::Instance();
    for (const char* name : {"sorted", "unsorted"}) {
        auto* cache = new Recording(name, log);
        manager.AddCache(cache);
        cache->ReleaseReference();
    }
    Kiv::Display& display = kernel.GetDisplay();
    EXPECT_FALSE(display.HandsBlendedChunksToCaches());
    kernel.BeginFrame({0, 0, 5});
    EXPECT_TRUE(display.HandsBlendedChunksToCaches());
    EXPECT_EQ(display.GetViewer().z, 5.0f);
    kernel.EndFrame();
    EXPECT_FALSE(display.HandsBlendedChunksToCaches());
    EXPECT_EQ(log, (std::vector<std::string>{"clear sorted", "clear unsorted", "flush sorted",
                                             "flush unsorted"}));
    std::vector<Kiv::RenderingCache*> ours(manager.GetCaches().end() - 2,
                                           manager.GetCaches().end());
    for (Kiv::RenderingCache* cache : ours)
        manager.RemoveCache(cache);
}

}  // namespace
