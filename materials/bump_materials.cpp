#include "materials/bump_materials.h"

#include <typeinfo>

#include "materials/alpha_blend_cache.h"
#include "materials/bump_programs.h"

namespace Kiv {

namespace {

template <class T>
void Hold(T* object) {
    if (object != nullptr) object->AddReference();
}

template <class T>
void Let(T*& object) {
    if (object != nullptr) object->ReleaseReference();
    object = nullptr;
}

// Takes a reference on the new texture and lets the old one go.
void Replace(Texture*& slot, Texture* texture) {
    Hold(texture);
    Let(slot);
    slot = texture;
}

}  // namespace

BumpProgramSet::BumpProgramSet(const BumpProgramSet& other) {
    *this = other;
}

BumpProgramSet& BumpProgramSet::operator=(const BumpProgramSet& other) {
    if (this == &other) return *this;
    for (VertexProgram* p : other.vertex)
        Hold(p);
    for (TextureCombiner* p : other.pixel)
        Hold(p);
    Clear();
    vertex = other.vertex;
    pixel = other.pixel;
    return *this;
}

BumpProgramSet::~BumpProgramSet() {
    Clear();
}

bool BumpProgramSet::operator==(const BumpProgramSet& other) const {
    return vertex == other.vertex && pixel == other.pixel;
}

void BumpProgramSet::Clear() {
    for (VertexProgram*& p : vertex)
        Let(p);
    for (TextureCombiner*& p : pixel)
        Let(p);
    vertex.clear();
    pixel.clear();
}

bool EnsureMaterialCaches(MaterialCaches& caches, const Display& display) {
    if (display.GetRenderKernel() == nullptr) return false;
    // The program's own sorted cache when none is registered yet.
    FindOrAddMaterialCaches(caches, [](int kind) -> RenderingCache* {
        if (kind == MaterialCaches::kAlphaBlend) return new HalvexAlphaBlendCache();
        return MakeEngineMaterialCache(kind);
    });
    return true;
}

HalvexBumpMaterial::HalvexBumpMaterial(const MaterialCaches& caches, const BumpProgramSet& programs)
    : OneTextureMaterial(caches),
      programs_(programs),
      shared_(SharedTextureCollection::GetTexture(0)) {}

HalvexBumpMaterial::~HalvexBumpMaterial() {
    Let(shared_);
    Let(bump_);
}

void HalvexBumpMaterial::CopyInto(HalvexBumpMaterial& copy) const {
    copy.InitInstance(*this);
    Replace(copy.bump_, bump_);
}

std::shared_ptr<Material> HalvexBumpMaterial::CreateInstance() const {
    auto copy = std::make_shared<HalvexBumpMaterial>(GetCaches(), programs_);
    CopyInto(*copy);
    return copy;
}

bool HalvexBumpMaterial::Equals(const Material& other) const {
    if (typeid(other) != typeid(*this)) return false;
    const auto& o = static_cast<const HalvexBumpMaterial&>(other);
    return o.bump_ == bump_ && o.programs_ == programs_ && OneTextureMaterial::Equals(other);
}

bool HalvexBumpMaterial::SetTexture(uint32_t slot, Texture* texture, float weight) {
    if (slot != kBumpSlot) return OneTextureMaterial::SetTexture(slot, texture, weight);
    Replace(bump_, texture);
    return true;
}

Texture* HalvexBumpMaterial::GetTexture(uint32_t slot) const {
    return slot == kBumpSlot ? bump_ : OneTextureMaterial::GetTexture(slot);
}

bool HalvexBumpMaterial::IsLoaded() const {
    return GetBitmap() != nullptr && bump_ != nullptr;
}

void HalvexBumpMaterial::Activate(int flag) {
    if (shared_ != nullptr) shared_->Activate();
    OneTextureMaterial::Activate(flag);
}

void HalvexBumpMaterial::SetDisplayState(Display& display) {
    OneTextureMaterial::SetDisplayState(display);
    Display::States& s = display.GetStates();
    s.stage1 = bump_;
    s.vertexProgram = programs_.vertex.empty() ? 0 : programs_.vertex.front()->GetId();
    s.program = programs_.pixel.empty() ? 0 : programs_.pixel.front()->GetId();
}

void HalvexBumpMaterial::ClearDisplayState(Display& display) {
    OneTextureMaterial::ClearDisplayState(display);
    Display::States& s = display.GetStates();
    s.stage1 = nullptr;
    s.vertexProgram = 0;
    s.program = 0;
}

HalvexBumpExtraMapMaterial::~HalvexBumpExtraMapMaterial() {
    Let(extra_);
}

void HalvexBumpExtraMapMaterial::CopyExtraInto(HalvexBumpExtraMapMaterial& copy) const {
    CopyInto(copy);
    Replace(copy.extra_, extra_);
}

bool HalvexBumpExtraMapMaterial::Equals(const Material& other) const {
    if (typeid(other) != typeid(*this)) return false;
    return static_cast<const HalvexBumpExtraMapMaterial&>(other).extra_ == extra_ &&
           HalvexBumpMaterial::Equals(other);
}

bool HalvexBumpExtraMapMaterial::SetTexture(uint32_t slot, Texture* texture, float weight) {
    if (slot != kExtraSlot) return HalvexBumpMaterial::SetTexture(slot, texture, weight);
    Replace(extra_, texture);
    return true;
}

Texture* HalvexBumpExtraMapMaterial::GetTexture(uint32_t slot) const {
    return slot == kExtraSlot ? extra_ : HalvexBumpMaterial::GetTexture(slot);
}

bool HalvexBumpExtraMapMaterial::IsLoaded() const {
    return extra_ != nullptr && HalvexBumpMaterial::IsLoaded();
}

void HalvexBumpExtraMapMaterial::SetDisplayState(Display& display) {
    HalvexBumpMaterial::SetDisplayState(display);
    display.GetStates().stage3 = extra_;
}

void HalvexBumpExtraMapMaterial::ClearDisplayState(Display& display) {
    HalvexBumpMaterial::ClearDisplayState(display);
    display.GetStates().stage3 = nullptr;
}

std::shared_ptr<Material> HalvexBumpGlossMaterial::CreateInstance() const {
    auto copy = std::make_shared<HalvexBumpGlossMaterial>(GetCaches(), GetPrograms());
    CopyExtraInto(*copy);
    return copy;
}

std::shared_ptr<Material> HalvexBumpEnvMaterial::CreateInstance() const {
    auto copy = std::make_shared<HalvexBumpEnvMaterial>(GetCaches(), GetPrograms());
    CopyExtraInto(*copy);
    return copy;
}

HalvexBumpMaterialPlugin::HalvexBumpMaterialPlugin(Kind kind, std::string_view name, const UId& uid,
                                                   const char* fallback)
    : HalvexPluginOn(
          name, uid,
          DisplayNeeds{{Display::kCapabilityVertexPrograms, Display::kCapabilityPixelCombiners},
                       0,
                       fallback}),
      kind_(kind) {}

HalvexBumpMaterialPlugin::~HalvexBumpMaterialPlugin() = default;

bool HalvexBumpMaterialPlugin::EnsurePrograms(Display& display) {
    if (!programs_.IsEmpty()) return true;
    if (display.GetRenderKernel() == nullptr) return false;
    namespace bp = bump_programs;
    std::vector<std::string_view> vertex, pixel;
    switch (kind_) {
        case Kind::Bump:
            vertex = {bp::kBumpParallel, bp::kBumpSpot};
            pixel = {bp::kBumpPixel};  // for both kinds of light
            break;
        case Kind::Gloss:
            vertex = {bp::kGlossParallel, bp::kGlossSpot, bp::kBumpParallel, bp::kBumpSpot};
            pixel = {bp::kGlossPixelParallel, bp::kGlossPixelSpot, bp::kRustPixel};
            break;
        case Kind::Env:
            vertex = {bp::kEnvParallel, bp::kEnvSpot};
            pixel = {bp::kEnvPixelParallel, bp::kEnvPixelSpot};
            break;
    }
    bp::RegisterAll();
    BumpProgramSet got;
    std::string error;
    for (std::string_view entry : vertex) {
        VertexProgram* p = display.GetVertexProgramManager().GetProgram(bp::kVertexText, entry,
                                                                        bp::kVertexFlags, &error);
        if (p == nullptr) return false;  // `got` lets go of those obtained
        got.vertex.push_back(p);
    }
    for (std::string_view name : pixel) {
        TextureCombiner* p = display.GetTextureCombinerManager().GetProgram(name, &error);
        if (p == nullptr) return false;
        got.pixel.push_back(p);
    }
    programs_ = got;
    return true;
}

std::shared_ptr<Material> HalvexBumpMaterialPlugin::Create(MaterialManager& /*manager*/,
                                                           Display& display) {
    if (!EnsureMaterialCaches(Caches(), display)) return nullptr;
    if (!EnsurePrograms(display)) return nullptr;
    switch (kind_) {
        case Kind::Bump:
            return std::make_shared<HalvexBumpMaterial>(GetCaches(), programs_);
        case Kind::Gloss:
            return std::make_shared<HalvexBumpGlossMaterial>(GetCaches(), programs_);
        case Kind::Env:
            return std::make_shared<HalvexBumpEnvMaterial>(GetCaches(), programs_);
    }
    return nullptr;
}

}  // namespace Kiv
