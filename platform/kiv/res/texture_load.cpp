#include "platform/kiv/res/texture_load.h"

#include <sys/stat.h>

#include <atomic>

#include "platform/kiv/base/file.h"
#include "platform/kiv/display/materials.h"
#include "platform/kiv/res/resource_database.h"

namespace Kiv {

namespace {
std::atomic<bool> gDefer{false};
}  // namespace

TextureLoad::TextureLoad(std::string_view folder, std::string_view name)
    : Resource(PString(name), nullptr), folder_(folder), file_(name) {}

TextureLoad::~TextureLoad() {
    if (texture_ != nullptr) texture_->ReleaseReference();
}

TextureLoad::State TextureLoad::Load() {
    if (state_ == State::kAvailable || gDefer.load()) return state_;
    // The texture's own rules on names (no climbing out of the folder, no links) hold here too.
    ResourceDatabase folder(PString("textures"), folder_);
    texture_ = Texture::Load(folder, file_);
    if (texture_ != nullptr) {
        state_ = State::kAvailable;
        failure_ = 0;
        return state_;
    }
    std::string path = folder_;
    if (!path.empty() && path.back() != '/') path += '/';
    struct stat st {};
    const bool there = lstat(File::ResolveCase(path + file_).c_str(), &st) == 0;
    state_ = State::kFailed;
    failure_ = there ? kNotATexture : kNoSuchFile;
    return state_;
}

uint32_t TextureLoad::IsAllLoaded() const {
    switch (state_) {
        case State::kAvailable:
            return 0;
        case State::kFailed:
            return 1;
        default:
            return 5;
    }
}

void TextureLoad::DeferLoadsForTesting(bool defer) {
    gDefer.store(defer);
}

}  // namespace Kiv
