#include "platform/kiv/display/render_kernel.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"
#include "platform/kiv/display/material_plugin.h"
#include "platform/kiv/display/materials.h"
#include "platform/kiv/os/plugin_loader.h"

namespace Kiv {
namespace {

std::atomic<RenderKernel*> current{nullptr};
std::atomic<uint64_t> serials{0};

// The kernels alive, by serial. A kernel leaves it before any of its members go, under the
// lock, so a release made under the lock never reaches a kernel being destroyed.
std::mutex gAliveLock;
std::map<uint64_t, RenderKernel*>& Alive() {
    static std::map<uint64_t, RenderKernel*> alive;
    return alive;
}
std::atomic<int> failuresForTesting{0};

// The renderers whose start this kernel stands in for. None opens anything here.
constexpr const char* kKnownRenderers[] = {"OpenGL"};

bool TakeTestFailure() {
    int left = failuresForTesting.load();
    while (left > 0)
        if (failuresForTesting.compare_exchange_weak(left, left - 1)) return true;
    return false;
}

}  // namespace

RenderKernel::RenderKernel(SceneGraph* scene, float detail)
    : scene_(scene), detail_(detail), serial_(serials.fetch_add(1) + 1) {
    materials_.SetDisplay(&display_);
    current.store(this, std::memory_order_release);
    std::lock_guard<std::mutex> hold(gAliveLock);
    Alive()[serial_] = this;
}

RenderKernel::~RenderKernel() {
    {
        std::lock_guard<std::mutex> hold(gAliveLock);
        Alive().erase(serial_);
    }
    RenderKernel* self = this;
    current.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

void RenderKernel::BeginFrame(const Vector3& viewer) {
    // Chunks a frame handed over but never drew (no EndFrame) belong to objects that may be
    // gone: a new frame never draws them.
    RenderingCacheManager::Instance().ClearAll();
    display_.SetDrawAtOnce(false);
    display_.OpenFrame(viewer);
}

void RenderKernel::EndFrame() {
    display_.SetDrawAtOnce(true);
    RenderingCacheManager::Instance().FlushAll(display_);
    display_.SetDrawAtOnce(false);
    display_.CloseFrame();
}

bool RenderKernel::Init(const Options& options) {
    initialised_ = false;
    if (TakeTestFailure()) {
        lastError_ = "render kernel start refused by the test hook";
        return false;
    }
    nullRender_ = options.Has("NullRender");
    if (!nullRender_) {
        std::string renderer = options.GetString("render");
        bool known = renderer.empty() ||
                     std::any_of(std::begin(kKnownRenderers), std::end(kKnownRenderers),
                                 [&](const char* r) { return EqualsIgnoreCase(r, renderer); });
        if (!known) {
            lastError_ = "no renderer named '" + renderer + "'";
            return false;
        }
    }
    lastError_.clear();
    initialised_ = true;
    // This kernel runs vertex and pixel programs on the processor and keeps cube maps like any
    // texture, so it draws every material the program has.
    for (int c : {Display::kCapabilityVertexPrograms, Display::kCapabilityPixelCombiners,
                  Display::kCapabilityCubeMaps})
        display_.SetCapability(c, true);
    // The engine's own material types, then the program's own image, which carries its material
    // plug-ins and resource types: they are there before anything asks for a material.
    RegisterEngineMaterialPlugins();
    std::string error;
    if (!LoadPluginImage("", &error)) Log::Write("RenderKernel> " + error);
    return true;
}

RenderKernel::BufferId RenderKernel::CreateVertexBuffer(std::span<const std::byte> data,
                                                        uint32_t stride) {
    if (!initialised_ || stride == 0 || data.size() % stride != 0 ||
        data.size() / stride > UINT32_MAX)
        return kNoBuffer;
    std::lock_guard<std::mutex> hold(lock_);
    Buffer& b = buffers_[nextId_];
    b.stride = stride;
    b.bytes.assign(data.begin(), data.end());
    return nextId_++;
}

RenderKernel::BufferId RenderKernel::CreateIndexBuffer(std::span<const uint32_t> indices) {
    if (!initialised_ || indices.size() > UINT32_MAX) return kNoBuffer;
    std::lock_guard<std::mutex> hold(lock_);
    Buffer& b = buffers_[nextId_];
    b.isIndex = true;
    b.indices.assign(indices.begin(), indices.end());
    return nextId_++;
}

bool RenderKernel::ReleaseBuffer(BufferId id) {
    std::lock_guard<std::mutex> hold(lock_);
    return buffers_.erase(id) == 1;
}

void RenderKernel::ReleaseBuffersIfAlive(RenderKernel* kernel, uint64_t serial,
                                         std::initializer_list<BufferId> ids) {
    std::lock_guard<std::mutex> hold(gAliveLock);
    auto it = Alive().find(serial);
    if (it == Alive().end() || it->second != kernel) return;
    for (BufferId id : ids)
        if (id != kNoBuffer) kernel->ReleaseBuffer(id);
}

const RenderKernel::Buffer* RenderKernel::FindLocked(BufferId id) const {
    auto it = buffers_.find(id);
    return it == buffers_.end() ? nullptr : &it->second;
}

uint32_t RenderKernel::GetElementCount(BufferId id) const {
    std::lock_guard<std::mutex> hold(lock_);
    const Buffer* b = FindLocked(id);
    if (b == nullptr) return 0;
    return static_cast<uint32_t>(b->isIndex ? b->indices.size() : b->bytes.size() / b->stride);
}

std::vector<std::byte> RenderKernel::GetBufferBytes(BufferId id) const {
    std::lock_guard<std::mutex> hold(lock_);
    const Buffer* b = FindLocked(id);
    if (b == nullptr) return {};
    if (!b->isIndex) return b->bytes;
    std::vector<std::byte> out(b->indices.size() * sizeof(uint32_t));
    if (!out.empty()) std::memcpy(out.data(), b->indices.data(), out.size());
    return out;
}

bool RenderKernel::Draw(const DrawCall& call) {
    if (!initialised_) return false;
    std::lock_guard<std::mutex> hold(lock_);
    const Buffer* v = FindLocked(call.vertices);
    if (v == nullptr || v->isIndex) return false;
    uint64_t vertexCount = v->bytes.size() / v->stride;
    uint64_t end = uint64_t{call.first} + call.count;
    if (call.indices == kNoBuffer) {
        if (end > vertexCount) return false;
    } else {
        const Buffer* ix = FindLocked(call.indices);
        if (ix == nullptr || !ix->isIndex || end > ix->indices.size()) return false;
        auto first = ix->indices.begin() + call.first;
        if (std::any_of(first, first + call.count, [&](uint32_t i) { return i >= vertexCount; }))
            return false;
    }
    draws_.push_back(call);
    drawStates_.push_back(display_.GetStates());
    return true;
}

std::vector<Display::States> RenderKernel::GetDrawStates() const {
    std::lock_guard<std::mutex> hold(lock_);
    return drawStates_;
}

std::vector<RenderKernel::DrawCall> RenderKernel::GetDrawCalls() const {
    std::lock_guard<std::mutex> hold(lock_);
    return draws_;
}

void RenderKernel::ClearDrawCalls() {
    std::lock_guard<std::mutex> hold(lock_);
    draws_.clear();
    drawStates_.clear();
}

RenderKernel* RenderKernel::GetCurrent() {
    return current.load(std::memory_order_acquire);
}

void RenderKernel::FailNextInitsForTesting(int count) {
    failuresForTesting.store(count > 0 ? count : 0);
}

RenderKernel::TextureId RenderKernel::CreateTexture(const Bitmap& bitmap) {
    if (!initialised_ || bitmap.GetFormat() != Bitmap::kFormatARGB32) return kNoTexture;
    std::lock_guard<std::mutex> hold(lock_);
    TextureRecord& t = textures_[nextTexture_];
    t.width = bitmap.GetWidth();
    t.height = bitmap.GetHeight();
    t.pixels = bitmap.GetPixels();
    return nextTexture_++;
}

bool RenderKernel::UpdateTexture(TextureId id, const Bitmap& bitmap) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = textures_.find(id);
    if (it == textures_.end() || bitmap.GetFormat() != Bitmap::kFormatARGB32 ||
        bitmap.GetWidth() != it->second.width || bitmap.GetHeight() != it->second.height)
        return false;
    it->second.pixels = bitmap.GetPixels();
    ++it->second.updates;
    return true;
}

bool RenderKernel::ReleaseTexture(TextureId id) {
    std::lock_guard<std::mutex> hold(lock_);
    return textures_.erase(id) != 0;
}

RenderKernel::TextureRecord RenderKernel::GetTexture(TextureId id) const {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = textures_.find(id);
    return it == textures_.end() ? TextureRecord{} : it->second;
}

size_t RenderKernel::GetTextureCount() const {
    std::lock_guard<std::mutex> hold(lock_);
    return textures_.size();
}

}  // namespace Kiv
