#include "platform/kiv/display/one_texture_material.h"

#include <typeinfo>

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
