#include "materials/state_materials.h"

namespace Kiv {

std::shared_ptr<Material> HalvexNoFogMaterial::CreateInstance() const {
    // The copy keeps the program too: without it the copy would draw without its combiner.
    auto copy = std::make_shared<HalvexNoFogMaterial>(program_);
    copy->InitInstance(*this);
    return copy;
}

bool HalvexNoFogMaterial::Equals(const Material& other) const {
    return dynamic_cast<const HalvexNoFogMaterial*>(&other) != nullptr &&
           OneTextureMaterial::Equals(other);
}

void HalvexNoFogMaterial::SetDisplayState(Display& display) {
    Display::States& s = display.GetStates();
    savedFog_ = s.fogMode;
    s.fogMode = 0;
    s.cullMode = (GetMaterialFlags() & kFlagNoCulling) != 0 ? 0 : 1;
    s.stage0 = GetBitmap();
    if ((GetMaterialFlags() & kFlagNoBlending) == 0) {
        savedBlending_ = s.blending;
        savedSource_ = s.sourceBlend;
        savedDestination_ = s.destinationBlend;
        s.sourceBlend = GetSourceBlend();
        s.destinationBlend = GetDestinationBlend();
        s.blending = true;
    }
    if (program_ != 0) s.program = program_;
}

void HalvexNoFogMaterial::ClearDisplayState(Display& display) {
    Display::States& s = display.GetStates();
    s.fogMode = savedFog_;
    s.cullMode = 1;
    if ((GetMaterialFlags() & kFlagNoBlending) == 0) {
        s.blending = savedBlending_;
        s.sourceBlend = savedSource_;
        s.destinationBlend = savedDestination_;
    }
    if (program_ != 0) s.program = 0;
}

void HalvexGroundBaseMaterial::CopyGroundBase(const HalvexGroundBaseMaterial& from) {
    InitInstance(from);
    depthWrite_ = from.depthWrite_;
    alphaTest_ = from.alphaTest_;
}

std::shared_ptr<Material> HalvexGroundBaseMaterial::CreateInstance() const {
    auto copy = std::make_shared<HalvexGroundBaseMaterial>();
    copy->CopyGroundBase(*this);
    return copy;
}

bool HalvexGroundBaseMaterial::Equals(const Material& other) const {
    const auto* o = dynamic_cast<const HalvexGroundBaseMaterial*>(&other);
    return o != nullptr && o->depthWrite_ == depthWrite_ && o->alphaTest_ == alphaTest_ &&
           OneTextureMaterial::Equals(other);
}

void HalvexGroundBaseMaterial::Bind(Display& display, uint32_t pass) {
    if (pass == 0) SetDisplayState(display);
}

void HalvexGroundBaseMaterial::Unbind(Display& display, uint32_t pass) {
    if (pass == 0) ClearDisplayState(display);
}

void HalvexGroundBaseMaterial::SetDisplayState(Display& display) {
    OneTextureMaterial::SetDisplayState(display);
    Display::States& s = display.GetStates();
    savedAlphaTest_ = s.alphaTest;
    s.alphaTest = alphaTest_;
    s.depthWrite = depthWrite_;
}

void HalvexGroundBaseMaterial::ClearDisplayState(Display& display) {
    OneTextureMaterial::ClearDisplayState(display);
    Display::States& s = display.GetStates();
    s.alphaTest = savedAlphaTest_;
    s.depthWrite = true;
}

std::shared_ptr<Material> HalvexOneTexNoAlphaMaterial::CreateInstance() const {
    auto copy = std::make_shared<HalvexOneTexNoAlphaMaterial>();
    copy->CopyGroundBase(*this);
    return copy;
}

void HalvexOneTexNoAlphaMaterial::SetDisplayState(Display& display) {
    HalvexGroundBaseMaterial::SetDisplayState(display);
    display.GetStates().colorMaterialMode = kColorMaterialMode;
}

void HalvexOneTexNoAlphaMaterial::ClearDisplayState(Display& display) {
    HalvexGroundBaseMaterial::ClearDisplayState(display);
    display.GetStates().colorMaterialMode = 0;
}

}  // namespace Kiv
