#include "platform/kiv/display/one_texture_material.h"

#include <algorithm>
#include <typeinfo>

#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/res/texture_file.h"

namespace Kiv {

namespace {

// Takes a reference on the new texture and lets the old one go.
void Replace(Texture*& slot, Texture* texture) {
    if (texture != nullptr) texture->AddReference();
    if (slot != nullptr) slot->ReleaseReference();
    slot = texture;
}

}  // namespace

OneTextureMaterial::~OneTextureMaterial() {
    Replace(texture_, nullptr);
}

std::shared_ptr<Material> OneTextureMaterial::CreateInstance() const {
    auto copy = std::make_shared<OneTextureMaterial>();
    copy->InitInstance(*this);
    return copy;
}

void OneTextureMaterial::InitInstance(const OneTextureMaterial& from) {
    Material::InitInstance(from);
    Replace(texture_, from.texture_);
    caches_ = from.caches_;
    flags_ = from.flags_;
    sourceBlend_ = from.sourceBlend_;
    destinationBlend_ = from.destinationBlend_;
}

bool OneTextureMaterial::Equals(const Material& other) const {
    const auto* o = dynamic_cast<const OneTextureMaterial*>(&other);
    return o != nullptr && std::string_view(GetPluginName()) == o->GetPluginName() &&
           texture_ == o->texture_ && flags_ == o->flags_ && sourceBlend_ == o->sourceBlend_ &&
           destinationBlend_ == o->destinationBlend_ && Material::Equals(other);
}

Texture* OneTextureMaterial::GetTexture(uint32_t slot) const {
    return slot == kBitmapSlot ? texture_ : nullptr;
}

bool OneTextureMaterial::SetTexture(uint32_t slot, Texture* texture, float /*weight*/) {
    if (slot != kBitmapSlot) return false;
    Replace(texture_, texture);
    return true;
}

void OneTextureMaterial::Activate(int /*flag*/) {
    if (texture_ != nullptr) texture_->Activate();
}

void OneTextureMaterial::CacheAlphaHint() {
    blended_ = texture_ != nullptr && TextureFormatHasAlpha(texture_->GetFormat()) &&
               (flags_ & kFlagNoBlending) == 0;
}

bool OneTextureMaterial::RenderChunk(Display& display, GeometryChunk& chunk) {
    if (HandToAlphaBlendCache(display, chunk)) return true;
    return Material::RenderChunk(display, chunk);
}

bool OneTextureMaterial::HandToAlphaBlendCache(Display& display, const GeometryChunk& chunk) {
    if (!display.HandsBlendedChunksToCaches()) return false;
    CacheAlphaHint();
    AlphaBlendCache* cache = blended_ ? caches_.GetAlphaBlendCache() : nullptr;
    if (cache == nullptr) return false;
    // The chunk's depth is its box's centre's distance from the viewer.
    Vector3 centre{};
    const auto* positions = reinterpret_cast<const float*>(chunk.GetItem(kItemPositions));
    if (positions != nullptr && chunk.GetVertexCount() > 0) {
        Vector3 low{positions[0], positions[1], positions[2]}, high = low;
        for (uint32_t v = 1; v < chunk.GetVertexCount(); ++v) {
            const Vector3 p{positions[3 * v], positions[3 * v + 1], positions[3 * v + 2]};
            low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
            high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
        }
        centre = (low + high) * 0.5f;
    }
    const Matrix4x4& object = display.GetObjectMatrix();
    const float depth = (object.TransformPoint(centre) - display.GetViewer()).Length();
    return cache->AddChunk(&renderer_, chunk, depth,
                           object.AffineInverse().TransformPoint(display.GetViewer()));
}

// The cache holds the chunk only for the frame of the object that handed it over, which keeps
// it (and draws nothing else into it) until the frame ends.
void OneTextureMaterial::BlendRenderer::RenderChunk(Display& display, const GeometryChunk& chunk,
                                                    uint32_t /*first*/, uint32_t /*second*/) {
    material_.RenderChunk(display, const_cast<GeometryChunk&>(chunk));
}

void OneTextureMaterial::BlendRenderer::RenderPrimitives(
    Display& display, const GeometryChunk& chunk, uint32_t /*first*/, uint32_t /*second*/,
    const uint16_t* indices, uint32_t indexCount, uint32_t /*triangleCount*/) {
    material_.RenderPrimitives(display, const_cast<GeometryChunk&>(chunk), indices, indexCount);
}

void OneTextureMaterial::SetDisplayState(Display& display) {
    display.GetStates().stage0 = texture_;
}

void OneTextureMaterial::ClearDisplayState(Display& /*display*/) {}

ReflectiveMaterial::~ReflectiveMaterial() {
    Replace(reflection_, nullptr);
}

std::shared_ptr<Material> ReflectiveMaterial::CreateInstance() const {
    auto copy = std::make_shared<ReflectiveMaterial>(type_);
    copy->InitInstance(*this);
    return copy;
}

void ReflectiveMaterial::InitInstance(const ReflectiveMaterial& from) {
    OneTextureMaterial::InitInstance(from);
    Replace(reflection_, from.reflection_);
}

bool ReflectiveMaterial::Equals(const Material& other) const {
    if (typeid(other) != typeid(*this)) return false;  // the base compares the type names
    return static_cast<const ReflectiveMaterial&>(other).reflection_ == reflection_ &&
           OneTextureMaterial::Equals(other);
}

Texture* ReflectiveMaterial::GetTexture(uint32_t slot) const {
    return slot == kReflectionSlot ? reflection_ : OneTextureMaterial::GetTexture(slot);
}

bool ReflectiveMaterial::SetTexture(uint32_t slot, Texture* texture, float weight) {
    if (slot != kReflectionSlot) return OneTextureMaterial::SetTexture(slot, texture, weight);
    Replace(reflection_, texture);
    return true;
}

void ReflectiveMaterial::Activate(int flag) {
    if (reflection_ != nullptr) reflection_->Activate();
    OneTextureMaterial::Activate(flag);
}

void ReflectiveMaterial::SetDisplayState(Display& display) {
    OneTextureMaterial::SetDisplayState(display);
    display.GetStates().stage1 = reflection_;
}

void ReflectiveMaterial::ClearDisplayState(Display& display) {
    OneTextureMaterial::ClearDisplayState(display);
    display.GetStates().stage1 = nullptr;
}

std::shared_ptr<Material> NoTextureMaterial::CreateInstance() const {
    auto copy = std::make_shared<NoTextureMaterial>();
    copy->InitInstance(*this);
    return copy;
}

bool NoTextureMaterial::Equals(const Material& other) const {
    return typeid(other) == typeid(*this) && Material::Equals(other);
}

}  // namespace Kiv
