#include "platform/kiv/display/one_texture_material.h"

namespace Kiv {

OneTextureMaterial::~OneTextureMaterial() {
    if (texture_ != nullptr) texture_->ReleaseReference();
}

std::shared_ptr<OneTextureMaterial> OneTextureMaterial::CreateInstance() const {
    auto copy = std::make_shared<OneTextureMaterial>();
    copy->InitInstance(*this);
    return copy;
}

void OneTextureMaterial::InitInstance(const OneTextureMaterial& from) {
    SetTexture(from.texture_);
    flags_ = from.flags_;
    sourceBlend_ = from.sourceBlend_;
    destinationBlend_ = from.destinationBlend_;
}

bool OneTextureMaterial::Compare(const Material& other) const {
    const auto* o = dynamic_cast<const OneTextureMaterial*>(&other);
    return o != nullptr && std::string_view(GetPluginName()) == o->GetPluginName() &&
           texture_ == o->texture_ && flags_ == o->flags_ && sourceBlend_ == o->sourceBlend_ &&
           destinationBlend_ == o->destinationBlend_ && Material::Compare(other);
}

void OneTextureMaterial::SetTexture(Texture* texture) {
    if (texture != nullptr) texture->AddReference();
    if (texture_ != nullptr) texture_->ReleaseReference();
    texture_ = texture;
}

void OneTextureMaterial::Activate() {
    if (texture_ != nullptr) texture_->Activate();
}

void OneTextureMaterial::Bind(Display& display, uint32_t /*pass*/) {
    SetDisplayState(display);
}

void OneTextureMaterial::Unbind(Display& display, uint32_t /*pass*/) {
    ClearDisplayState(display);
}

void OneTextureMaterial::SetDisplayState(Display& display) {
    display.GetStates().stage0 = texture_;
}

void OneTextureMaterial::ClearDisplayState(Display& /*display*/) {}

}  // namespace Kiv
