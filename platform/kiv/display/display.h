// Kiv::Display: what the mesh code asks of the display device. Capabilities are numbers the
// engine defines (29: hardware skinning through vertex programs); this display answers from a
// set a caller configures, so tests choose the device they load for.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "platform/kiv/scene/geometry.h"

namespace Kiv {

class RenderKernel;
class Texture;
class VertexProgramManager;
class TextureCombinerManager;

class Display {
public:
    static constexpr int kCapabilityHardwareSkinning = 29;
    // Capabilities the bump materials need together (vertex programs, per-pixel combiners), and
    // the one the gloss-rust material needs (cube maps).
    static constexpr int kCapabilityVertexPrograms = 21;
    static constexpr int kCapabilityPixelCombiners = 17;
    static constexpr int kCapabilityCubeMaps = 1;

    explicit Display(RenderKernel* kernel = nullptr);
    ~Display();

    // The render system the display draws through: none for a display made on its own.
    RenderKernel* GetRenderKernel() const { return kernel_; }
    VertexProgramManager& GetVertexProgramManager() const { return *vertexPrograms_; }
    TextureCombinerManager& GetTextureCombinerManager() const { return *combiners_; }
    bool SupportsCapability(int capability) const { return capabilities_.count(capability) != 0; }
    void SetCapability(int capability, bool supported) {
        if (supported)
            capabilities_.insert(capability);
        else
            capabilities_.erase(capability);
    }

    // Texture units the device combines in one pass (4 unless a caller sets it).
    uint32_t GetTextureUnits() const { return textureUnits_; }
    void SetTextureUnits(uint32_t units) { textureUnits_ = units; }

    // Extensions are words; a list is words separated by blanks. True when every word of the
    // list is supported (an empty list is).
    void AddExtension(std::string_view name) { extensions_.insert(std::string(name)); }
    bool CheckExtensionString(std::string_view list) const;

    // The render states materials and caches set. This display draws nothing: it keeps the
    // states as set, so a test reads what a draw left behind. Blend factors are the engine's
    // numbers (0 zero, 1 one, 4 source alpha, 5 one minus source alpha).
    struct States {
        uint32_t sourceBlend = 1;
        uint32_t destinationBlend = 0;
        bool blending = false;
        bool alphaTest = false;
        bool depthWrite = true;
        uint32_t fogMode = 1;             // 0: no fog
        uint32_t cullMode = 1;            // 0: both sides drawn
        uint32_t colorMaterialMode = 0;   // 5: vertex colours feed the lighting
        const Texture* stage0 = nullptr;  // the texture bound to stage 0
        uint32_t program = 0;             // the current combiner program, 0 none
        uint32_t vertexProgram = 0;       // the current vertex program, 0 none
        const Texture* stage1 = nullptr;  // the bump map of a bump material
        const Texture* stage3 = nullptr;  // its gloss or environment texture
        bool operator==(const States&) const = default;
    };
    States& GetStates() { return states_; }
    const States& GetStates() const { return states_; }

    // The frame being drawn (RenderKernel::BeginFrame to EndFrame): while one is open and
    // nothing asked for drawing at once, materials hand their blended chunks to their
    // alpha-blend caches, placed by the viewer's position (world space) and the matrix of the
    // object whose chunks are drawn (chunk to world), which the frame code sets before each
    // object's draw.
    void OpenFrame(const Vector3& viewer) {
        frameOpen_ = true;
        viewer_ = viewer;
        object_ = Matrix4x4();
    }
    void CloseFrame() { frameOpen_ = false; }
    void SetObjectMatrix(const Matrix4x4& matrix) { object_ = matrix; }
    const Matrix4x4& GetObjectMatrix() const { return object_; }
    const Vector3& GetViewer() const { return viewer_; }
    // Draws that must not wait for the caches (the caches' own, direct draws) say so.
    void SetDrawAtOnce(bool on) { atOnce_ = on; }
    bool HandsBlendedChunksToCaches() const { return frameOpen_ && !atOnce_; }

    // Colours in files are 0xAARRGGBB; the display keeps 0xAABBGGRR.
    static void ConvertColorArray(uint32_t* colors, uint32_t count);

private:
    RenderKernel* kernel_;
    std::shared_ptr<VertexProgramManager> vertexPrograms_;
    std::shared_ptr<TextureCombinerManager> combiners_;
    std::set<int> capabilities_;
    std::set<std::string, std::less<>> extensions_;
    States states_;
    uint32_t textureUnits_ = 4;
    bool frameOpen_ = false;
    bool atOnce_ = false;
    Vector3 viewer_{};
    Matrix4x4 object_;
};

}  // namespace Kiv
