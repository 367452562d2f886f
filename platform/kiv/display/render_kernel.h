// Kiv::RenderKernel: the engine's render kernel, made and started once at start-up and
// destroyed at shutdown. This is a null kernel: it never opens a window or a device, keeps the
// geometry it is given in memory and records every draw call, so that rendering code can be
// tested by what it drew. It starts alike with "-NullRender" and with "-render=OpenGL
// -hidewindow"; a renderer name it does not know makes Init fail, as a missing device would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/kiv/base/options.h"
#include "platform/kiv/display/display.h"
#include "platform/kiv/display/material.h"

namespace Kiv {

class SceneGraph;
class Bitmap;

class RenderKernel {
public:
    enum class Primitive : uint8_t { Points, Lines, Triangles, TriangleStrip, TriangleFan };
    using BufferId = uint32_t;  // 0 is never a buffer
    static constexpr BufferId kNoBuffer = 0;

    struct DrawCall {
        Primitive primitive = Primitive::Triangles;
        BufferId vertices = kNoBuffer;
        BufferId indices = kNoBuffer;  // kNoBuffer: the vertices are drawn in order
        uint32_t first = 0;            // first index (or vertex) drawn
        uint32_t count = 0;            // indices (or vertices) drawn
        uint32_t material = 0;         // the caller's own tag for what it drew with
        bool operator==(const DrawCall&) const = default;
    };

    // scene may be null; detail is the engine's own setting, kept as given.
    RenderKernel(SceneGraph* scene, float detail);
    ~RenderKernel();
    RenderKernel(const RenderKernel&) = delete;
    RenderKernel& operator=(const RenderKernel&) = delete;

    // True once started (the display then has vertex programs, pixel combiners and cube maps);
    // false with GetLastError set when the options name a renderer this
    // kernel does not know (without "-NullRender"), or a test asked for a failure.
    bool Init(const Options& options);
    bool IsInitialised() const { return initialised_; }
    bool IsNullRender() const { return nullRender_; }
    SceneGraph* GetScene() const { return scene_; }
    float GetDetail() const { return detail_; }
    // The display device and the material manager that loads work with: meshes take their
    // materials and chunk preparation from the kernel they load for.
    Display& GetDisplay() { return display_; }
    MaterialManager& GetMaterialManager() { return materials_; }
    const std::string& GetLastError() const { return lastError_; }

    // One frame seen from `viewer` (world space). BeginFrame empties every rendering cache;
    // until EndFrame, materials hand their blended chunks to their alpha-blend caches instead of
    // drawing them. EndFrame draws every cache once, in the order they were added to the cache
    // manager, after all that was drawn at once, and leaves them empty.
    void BeginFrame(const Vector3& viewer);
    void EndFrame();

    // Geometry. A vertex buffer holds whole vertices of `stride` bytes; kNoBuffer when the
    // kernel is not started, the stride is 0 or the bytes are not whole vertices.
    BufferId CreateVertexBuffer(std::span<const std::byte> data, uint32_t stride);
    BufferId CreateIndexBuffer(std::span<const uint32_t> indices);
    bool ReleaseBuffer(BufferId id);
    // Each kernel made in the process has a serial of its own, never reused.
    uint64_t GetSerial() const { return serial_; }
    // Releases the buffers when the kernel of that serial is still alive (a buffer's owner may
    // outlive the kernel it was made on); kNoBuffer ids are passed over.
    static void ReleaseBuffersIfAlive(RenderKernel* kernel, uint64_t serial,
                                      std::initializer_list<BufferId> ids);
    // The vertex count of a vertex buffer or the index count of an index buffer; 0 for none.
    uint32_t GetElementCount(BufferId id) const;
    // A copy of a buffer's bytes (indices as 32-bit values); empty for no such buffer.
    std::vector<std::byte> GetBufferBytes(BufferId id) const;

    // Records the call after checking that its buffers exist and that everything it reads
    // lies inside them (every index names a vertex of the buffer). False, and nothing
    // recorded, otherwise.
    bool Draw(const DrawCall& call);
    std::vector<DrawCall> GetDrawCalls() const;
    // For each recorded call, in order, the kernel's display states it was drawn with (what
    // the material had bound).
    std::vector<Display::States> GetDrawStates() const;
    void ClearDrawCalls();

    // Textures, kept as the pixels last given. A texture is made from a bitmap of format 2 and
    // updated from one of the same size; each update is counted, so that a caller's uploads
    // can be checked. kNoTexture when the kernel is not started or the bitmap is not format 2.
    using TextureId = uint32_t;
    static constexpr TextureId kNoTexture = 0;
    struct TextureRecord {
        uint32_t width = 0, height = 0;
        std::vector<uint8_t> pixels;  // as the bitmap held them
        uint32_t updates = 0;
    };
    TextureId CreateTexture(const Bitmap& bitmap);
    bool UpdateTexture(TextureId id, const Bitmap& bitmap);
    bool ReleaseTexture(TextureId id);
    // A copy of the texture; none (width 0) for no such texture.
    TextureRecord GetTexture(TextureId id) const;
    size_t GetTextureCount() const;

    // The render kernel alive now (the last one made), or none.
    static RenderKernel* GetCurrent();

    // Test hook: the next `count` calls of Init, in any kernel, fail.
    static void FailNextInitsForTesting(int count);

private:
    struct Buffer {
        bool isIndex = false;
        uint32_t stride = 0;
        std::vector<std::byte> bytes;
        std::vector<uint32_t> indices;
    };
    const Buffer* FindLocked(BufferId id) const;

    SceneGraph* scene_;
    float detail_;
    uint64_t serial_;
    bool initialised_ = false;
    bool nullRender_ = false;
    std::string lastError_;

    mutable std::mutex lock_;  // the loading thread may make buffers while the main one draws
    std::map<BufferId, Buffer> buffers_;
    BufferId nextId_ = 1;
    std::vector<DrawCall> draws_;
    std::vector<Display::States> drawStates_;
    Display display_{this};
    MaterialManager materials_;
    std::map<TextureId, TextureRecord> textures_;
    TextureId nextTexture_ = 1;
};

}  // namespace Kiv
