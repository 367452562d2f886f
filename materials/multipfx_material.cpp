#include "materials/multipfx_material.h"

#include <typeinfo>

namespace Kiv {

HalvexMultiPFXMaterial::~HalvexMultiPFXMaterial() {
    if (effect_ != nullptr) effect_->ReleaseReference();
}

std::shared_ptr<OneTextureMaterial> HalvexMultiPFXMaterial::CreateInstance() const {
    auto copy = std::make_shared<HalvexMultiPFXMaterial>(caches_);
    copy->InitInstance(*this);
    copy->SetSlotTexture(kEffectSlot, effect_);
    copy->priority_ = priority_;
    return copy;
}

bool HalvexMultiPFXMaterial::Compare(const Material& other) const {
    if (typeid(other) != typeid(*this)) return false;
    const auto& o = static_cast<const HalvexMultiPFXMaterial&>(other);
    return o.effect_ == effect_ && o.priority_ == priority_ && OneTextureMaterial::Compare(other);
}

bool HalvexMultiPFXMaterial::SetSlotTexture(uint32_t slot, Texture* texture) {
    if (slot == 0) {
        SetTexture(texture);
        return true;
    }
    if (slot != kEffectSlot) return false;
    if (texture != nullptr) texture->AddReference();
    if (effect_ != nullptr) effect_->ReleaseReference();
    effect_ = texture;
    return true;
}

Texture* HalvexMultiPFXMaterial::GetSlotTexture(uint32_t slot) const {
    if (slot == 0) return GetTexture();
    return slot == kEffectSlot ? effect_ : nullptr;
}

void HalvexMultiPFXMaterial::Activate() {
    if (effect_ != nullptr) effect_->Activate();
    OneTextureMaterial::Activate();
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
    : HalvexMaterialPlugin(name, uid, {}, 2, fallback) {}

std::shared_ptr<Material> HalvexMultiPFXMaterialPlugin::Create(MaterialManager& /*manager*/,
                                                               Display& display) {
    if (!EnsureMaterialCaches(caches_, display)) return nullptr;
    return std::make_shared<HalvexMultiPFXMaterial>(caches_);
}

}  // namespace Kiv
