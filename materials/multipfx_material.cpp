#include "materials/multipfx_material.h"

#include <typeinfo>

namespace Kiv {

HalvexMultiPFXMaterial::~HalvexMultiPFXMaterial() {
    if (effect_ != nullptr) effect_->ReleaseReference();
}

std::shared_ptr<Material> HalvexMultiPFXMaterial::CreateInstance() const {
    auto copy = std::make_shared<HalvexMultiPFXMaterial>(GetCaches());
    copy->InitInstance(*this);
    copy->SetTexture(kEffectSlot, effect_, 1.0f);
    return copy;
}

bool HalvexMultiPFXMaterial::Equals(const Material& other) const {
    if (typeid(other) != typeid(*this)) return false;
    const auto& o = static_cast<const HalvexMultiPFXMaterial&>(other);
    return o.effect_ == effect_ && o.GetResourcePriority() == GetResourcePriority() &&
           OneTextureMaterial::Equals(other);
}

bool HalvexMultiPFXMaterial::SetTexture(uint32_t slot, Texture* texture, float weight) {
    if (slot != kEffectSlot) return OneTextureMaterial::SetTexture(slot, texture, weight);
    if (texture != nullptr) texture->AddReference();
    if (effect_ != nullptr) effect_->ReleaseReference();
    effect_ = texture;
    return true;
}

Texture* HalvexMultiPFXMaterial::GetTexture(uint32_t slot) const {
    return slot == kEffectSlot ? effect_ : OneTextureMaterial::GetTexture(slot);
}

void HalvexMultiPFXMaterial::Activate(int flag) {
    if (effect_ != nullptr) effect_->Activate();
    OneTextureMaterial::Activate(flag);
}

void HalvexMultiPFXMaterial::Bind(Display& display, uint32_t pass) {
    if (pass == 0) SetDisplayState(display);
}

void HalvexMultiPFXMaterial::Unbind(Display& display, uint32_t pass) {
    if (pass == 0) ClearDisplayState(display);
}

void HalvexMultiPFXMaterial::SetDisplayState(Display& display) {
    OneTextureMaterial::SetDisplayState(display);
    display.GetStates().stage1 = effect_;
}

void HalvexMultiPFXMaterial::ClearDisplayState(Display& display) {
    OneTextureMaterial::ClearDisplayState(display);
    display.GetStates().stage1 = nullptr;
}

HalvexMultiPFXMaterialPlugin::HalvexMultiPFXMaterialPlugin(std::string_view name, const UId& uid,
                                                           const char* fallback)
    : HalvexPluginOn(name, uid, DisplayNeeds{{}, 2, fallback}) {}

std::shared_ptr<Material> HalvexMultiPFXMaterialPlugin::Create(MaterialManager& /*manager*/,
                                                               Display& display) {
    if (!EnsureMaterialCaches(Caches(), display)) return nullptr;
    return std::make_shared<HalvexMultiPFXMaterial>(GetCaches());
}

}  // namespace Kiv
