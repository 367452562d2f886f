#include "materials/gloss_rust_material.h"

#include <cstdlib>
#include <map>
#include <string>
#include <typeinfo>

#include "platform/kiv/display/render_kernel.h"

namespace Kiv {

namespace gloss_rust_programs {

namespace {

// r0: the gloss (the reflection over the bitmap by its alpha); r1.x: the rust weight.
constexpr const char* kGlossText =
    "version 1.1\r\n"
    "texture 0 bitmap\r\n"
    "texture 1 reflection\r\n"
    "lrp r0, t0.w, t1, t0\r\n"
    "mov oC.xyz, r0\r\n"
    "mov oC.w, 1\r\n";

constexpr const char* kRustText =
    "version 1.1\r\n"
    "const 0 RustColor 0.45 0.25 0.1 0\r\n"
    "texture 0 bitmap\r\n"
    "texture 1 reflection\r\n"
    "lrp r0, t0.w, t1, t0\r\n"
    "sub r1.x, 1, t0.w\r\n"
    "mul_sat r1.x, r1.x, c0.w\r\n"
    "lrp oC.xyz, r1.x, c0, r0\r\n"
    "mov oC.w, 1\r\n";

}  // namespace

std::string_view Text(std::string_view name) {
    if (name == kGloss) return kGlossText;
    if (name == kRust) return kRustText;
    return {};
}

}  // namespace gloss_rust_programs

namespace {

void Hold(TextureCombiner* p) {
    if (p != nullptr) p->AddReference();
}

void Let(TextureCombiner*& p) {
    if (p != nullptr) p->ReleaseReference();
    p = nullptr;
}

}  // namespace

HalvexGlossRustMaterial::HalvexGlossRustMaterial(TextureCombiner* gloss, TextureCombiner* rust,
                                                 const MaterialCaches& caches)
    : ReflectiveMaterial("tglossrust", caches), gloss_(gloss), rust_(rust) {
    Hold(gloss_);
    Hold(rust_);
}

HalvexGlossRustMaterial::~HalvexGlossRustMaterial() {
    Let(gloss_);
    Let(rust_);
}

std::shared_ptr<Material> HalvexGlossRustMaterial::CreateInstance() const {
    auto copy = std::make_shared<HalvexGlossRustMaterial>(gloss_, rust_);
    copy->InitInstance(*this);
    return copy;
}

bool HalvexGlossRustMaterial::Equals(const Material& other) const {
    if (typeid(other) != typeid(*this)) return false;
    const auto& o = static_cast<const HalvexGlossRustMaterial&>(other);
    return o.gloss_ == gloss_ && o.rust_ == rust_ && ReflectiveMaterial::Equals(other);
}

float HalvexGlossRustMaterial::GetRustAge() const {
    const std::string* text = GetPropertyString("RustAge", nullptr);
    if (text == nullptr) return 0;
    char* end = nullptr;
    const float age = std::strtof(text->c_str(), &end);
    if (end == text->c_str() || !(age > 0)) return 0;  // also NaN
    return age < 1 ? age : 1;
}

TextureCombiner* HalvexGlossRustMaterial::GetCurrentProgram() const {
    return GetRustAge() > 0 ? rust_ : gloss_;
}

std::map<std::string, Vec4, std::less<>> HalvexGlossRustMaterial::GetProgramConstants() const {
    const float age = GetRustAge();
    if (age <= 0) return {};
    const int at = rust_->GetCode().FindConstant("RustColor");
    Vec4 colour = rust_->GetCode().DefaultConstants()[at];
    colour[3] = age;
    return {{"RustColor", colour}};
}

bool HalvexGlossRustMaterial::RenderChunk(Display& display, GeometryChunk& chunk) {
    display.GetStates().program = GetCurrentProgram()->GetId();
    return ReflectiveMaterial::RenderChunk(display, chunk);
}

bool HalvexGlossRustMaterial::RenderPrimitives(Display& display, GeometryChunk& chunk,
                                               const uint16_t* indices, uint32_t indexCount) {
    display.GetStates().program = GetCurrentProgram()->GetId();
    return ReflectiveMaterial::RenderPrimitives(display, chunk, indices, indexCount);
}

void HalvexGlossRustMaterial::ClearDisplayState(Display& display) {
    ReflectiveMaterial::ClearDisplayState(display);
    display.GetStates().program = 0;
}

HalvexGlossRustMaterialPlugin::HalvexGlossRustMaterialPlugin(std::string_view name, const UId& uid,
                                                             const char* fallback)
    : HalvexPluginOn(name, uid), needs_{{Display::kCapabilityCubeMaps}, 0, fallback} {}

HalvexGlossRustMaterialPlugin::~HalvexGlossRustMaterialPlugin() {
    Let(gloss_);
    Let(rust_);
}

bool HalvexGlossRustMaterialPlugin::CreatePluginResources(RenderKernel* kernel) {
    if (kernel == nullptr || !OneTextureMaterialPlugin::CreatePluginResources(kernel)) return false;
    if (gloss_ != nullptr && rust_ != nullptr) return true;
    Display& display = kernel->GetDisplay();
    namespace gp = gloss_rust_programs;
    for (std::string_view name : {gp::kGloss, gp::kRust})
        TextureCombinerManager::RegisterBuiltInPrograms(name, gp::Text(name));
    std::string error;
    TextureCombinerManager& combiners = display.GetTextureCombinerManager();
    gloss_ = combiners.GetProgram(gp::kGloss, &error);
    rust_ = gloss_ != nullptr ? combiners.GetProgram(gp::kRust, &error) : nullptr;
    if (rust_ == nullptr) Let(gloss_);
    return rust_ != nullptr;
}

std::shared_ptr<Material> HalvexGlossRustMaterialPlugin::CreateMaterial(
    MaterialManager& /*manager*/) {
    return std::make_shared<HalvexGlossRustMaterial>(gloss_, rust_, GetCaches());
}

}  // namespace Kiv
