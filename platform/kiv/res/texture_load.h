// Kiv::TextureLoad: a texture a material asked for by file name, as the resource system holds
// it while it loads: still loading, available, or failed (code 2: no such file; 1: the file is
// not a texture). The engine loads textures on threads of its own; this one loads when asked
// (Load), and a test can have loads left pending (DeferLoadsForTesting) to stand for a texture
// still on its way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kiv/res/resource.h"

namespace Kiv {

class Texture;

class TextureLoad : public Resource {
public:
    enum class State : uint8_t { kLoading, kAvailable, kFailed };
    static constexpr uint32_t kNotATexture = 1;
    static constexpr uint32_t kNoSuchFile = 2;

    // The texture `name` (relative, as a mesh names it) in `folder`; nothing is read yet.
    TextureLoad(std::string_view folder, std::string_view name);
    ~TextureLoad() override;

    State GetState() const { return state_; }
    bool IsAvailable() const { return state_ == State::kAvailable; }
    bool HasFailed() const { return state_ == State::kFailed; }
    uint32_t GetFailure() const { return failure_; }
    // Reads the file unless the texture is available already; the state it ends in (still
    // loading only while loads are deferred).
    State Load();
    uint32_t IsAllLoaded() const override;
    // The loaded texture (a reference the load keeps); null until available.
    Texture* GetTexture() const { return texture_; }

    static void DeferLoadsForTesting(bool defer);

private:
    std::string folder_, file_;
    State state_ = State::kLoading;
    uint32_t failure_ = 0;
    Texture* texture_ = nullptr;
};

}  // namespace Kiv
