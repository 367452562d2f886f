#include "platform/kiv/display/material.h"

#include "platform/kiv/display/materials.h"

#include <atomic>

#include "platform/kiv/display/display.h"
#include "platform/kiv/display/material_plugin.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/res/resource_database.h"

namespace Kiv {

namespace {
std::atomic<int> gFailChunks{0};
std::atomic<int> gFailNullMaterials{0};

bool TakeFailure(std::atomic<int>& counter) {
    int n = counter.load();
    while (n > 0)
        if (counter.compare_exchange_weak(n, n - 1)) return true;
    return false;
}
}  // namespace

const std::pair<std::string, std::string>* Material::FindProperty(std::string_view key) const {
    for (const auto& p : desc_.properties)
        if (p.first == key) return &p;
    return nullptr;
}

std::shared_ptr<Material> Material::CreateInstance() const {
    auto copy = std::make_shared<Material>(desc_);
    copy->InitInstance(*this);
    return copy;
}

void Material::InitInstance(const Material& from) {
    desc_ = from.desc_;
    creationType_ = from.creationType_;
    twoSided_ = from.twoSided_;
    priority_ = from.priority_;
}

bool Material::Equals(const Material& other) const {
    const MaterialDescription& a = desc_;
    const MaterialDescription& b = other.desc_;
    return IsNull() == other.IsNull() && a.typeName == b.typeName &&
           a.requestName == b.requestName && a.properties == b.properties && a.flag == b.flag &&
           a.value == b.value && a.display == b.display && a.textures == b.textures;
}

void Material::Activate(int /*flag*/) {}

bool Material::DuplicateTexture(uint32_t slot) {
    Texture* texture = GetTexture(slot);
    if (texture == nullptr) return false;
    Texture* copy = texture->Duplicate();
    const bool set = SetTexture(slot, copy, 1.0f);
    copy->ReleaseReference();
    return set;
}

Texture* Material::GetTexture(uint32_t /*slot*/) const {
    return nullptr;
}

bool Material::SetTexture(uint32_t /*slot*/, Texture* /*texture*/, float /*weight*/) {
    return false;
}

bool Material::SetTexture(uint32_t slot, ResourceDatabase& database, const PString& name,
                          float weight) {
    Texture* texture = Texture::Load(database, name.view());
    const bool set = SetTexture(slot, texture, weight);
    if (texture != nullptr) texture->ReleaseReference();
    if (set) SetTextureDefinition(slot, name, weight);
    return set;
}

void Material::SetTextureDefinition(uint32_t slot, const PString& name, float weight) {
    TextureRequest request{slot, name.ToLower(), weight};
    for (TextureRequest& t : desc_.textures)
        if (t.slot == slot) {
            t = request;
            return;
        }
    desc_.textures.push_back(request);
}

void Material::Bind(Display& display, uint32_t /*pass*/) {
    SetDisplayState(display);
}

void Material::Unbind(Display& display, uint32_t /*pass*/) {
    ClearDisplayState(display);
}

void Material::SetDisplayState(Display& /*display*/) {}
void Material::ClearDisplayState(Display& /*display*/) {}

bool Material::CacheChunk(GeometryChunk& /*chunk*/) {
    return false;
}

namespace {

RenderKernel::Primitive PrimitiveOf(const GeometryChunk& chunk) {
    switch (chunk.GetPrimitive()) {
        case 0:
            return RenderKernel::Primitive::Triangles;
        case 1:
            return RenderKernel::Primitive::TriangleStrip;
        case 2:
            return RenderKernel::Primitive::TriangleFan;
        case 3:
            return RenderKernel::Primitive::Points;
        default:
            return RenderKernel::Primitive::Lines;
    }
}

}  // namespace

bool Material::DrawPasses(Display& display, GeometryChunk& chunk, const uint16_t* indices,
                          uint32_t indexCount) {
    RenderKernel* kernel = display.GetRenderKernel();
    if (kernel == nullptr || !chunk.PrepareForDisplay(kernel)) return false;
    RenderKernel::DrawCall call;
    call.vertices = chunk.GetVertexBuffer();
    if (indices == nullptr) {
        call.primitive = PrimitiveOf(chunk);
        call.indices = chunk.GetIndexBuffer();
        call.count = call.indices != RenderKernel::kNoBuffer ? chunk.GetIndexCount()
                                                             : chunk.GetVertexCount();
    } else {
        // The caller's indices (a cache's sorted triangles) get a buffer of their own.
        call.indices =
            kernel->CreateIndexBuffer(std::vector<uint32_t>(indices, indices + indexCount));
        if (call.indices == RenderKernel::kNoBuffer) return false;
        call.count = indexCount;
    }
    bool drawn = true;
    for (uint32_t pass = 0; pass < GetNumPasses(); ++pass) {
        Bind(display, pass);
        Activate(0);
        drawn = kernel->Draw(call) && drawn;
        Unbind(display, pass);
    }
    if (indices != nullptr) kernel->ReleaseBuffer(call.indices);
    return drawn;
}

bool Material::RenderChunk(Display& display, GeometryChunk& chunk) {
    return DrawPasses(display, chunk, nullptr, 0);
}

bool Material::RenderNumChunks(Display& display, GeometryChunk* const* chunks, uint32_t count) {
    bool drawn = true;
    for (uint32_t i = 0; i < count; ++i)
        drawn = chunks[i] != nullptr && RenderChunk(display, *chunks[i]) && drawn;
    return drawn;
}

bool Material::RenderPrimitives(Display& display, GeometryChunk& chunk, const uint16_t* indices,
                                uint32_t indexCount) {
    return indices != nullptr && DrawPasses(display, chunk, indices, indexCount);
}

void Material::AddProperty(std::string_view name, std::string_view value) {
    for (auto& p : desc_.properties)
        if (p.first == name) {
            p.second = std::string(value);
            return;
        }
    desc_.properties.emplace_back(std::string(name), std::string(value));
}

const std::string* Material::GetPropertyString(std::string_view name, bool* found) const {
    const auto* p = FindProperty(name);
    if (found != nullptr) *found = p != nullptr;
    return p != nullptr ? &p->second : nullptr;
}

std::string Material::GetPropertyString(std::string_view name) const {
    const std::string* value = GetPropertyString(name, nullptr);
    return value != nullptr ? *value : std::string();
}

std::shared_ptr<GeometryChunk> Material::CreateGeometryChunk(uint32_t vertexCount,
                                                             uint32_t fourthCount,
                                                             uint32_t indexCount,
                                                             uint32_t faceCount, uint32_t primitive,
                                                             const StandardChunkHint& hint) {
    if (TakeFailure(gFailChunks)) return nullptr;
    return std::make_shared<GeometryChunk>(vertexCount, fourthCount, indexCount, faceCount,
                                           primitive, hint);
}

void Material::FailNextChunksForTesting(int count) {
    gFailChunks = count;
}

NullMaterial::NullMaterial(PString name, MaterialDescription description)
    : Material(std::move(description)) {
    SetRequestName(std::move(name));
}

std::shared_ptr<Material> MaterialManager::FindMaterial(const MaterialDescription& description,
                                                        int* code) {
    PString type = description.typeName.ToLower();
    const bool plugin = MaterialLoader::IsRegistered(type.view());
    if (types_.count(type) || (plugin && display_ == nullptr)) {
        auto m = std::make_shared<Material>(description);
        if (m->GetRequestName().IsNull()) m->SetRequestName(description.typeName);
        return m;
    }
    if (plugin && type.view().starts_with("m."))
        return CreateByPlugin(description, type.view().substr(2), code);
    if (code) *code = broken_.count(type) ? kNotCreated : kNotFound;
    return nullptr;
}

std::shared_ptr<Material> MaterialManager::CreateByPlugin(const MaterialDescription& description,
                                                          std::string_view name, int* code) {
    std::shared_ptr<MaterialPlugin> plugin = MaterialPlugin::Find(name);
    // Each fallback names another type; a chain longer than the registered types is a loop.
    for (int hops = 0; plugin != nullptr; ++hops) {
        PString fallback;
        if (plugin->IsSupported(*display_, fallback)) break;
        plugin = hops < 16 ? MaterialPlugin::Find(fallback.view()) : nullptr;
    }
    std::shared_ptr<Material> m =
        plugin != nullptr ? plugin->Create(*this, *display_) : std::shared_ptr<Material>();
    if (m == nullptr) {
        if (code) *code = kNotCreated;
        return nullptr;
    }
    MaterialDescription own = description;
    own.textures.clear();
    if (own.requestName.IsNull()) own.requestName = description.typeName;
    m->SetDescription(std::move(own));
    m->SetCreationType(plugin->GetName());
    // The description's textures are by name in its folder; a texture not converted yet leaves
    // its slot empty (the material is not loaded), and a slot the type lacks is still named,
    // so the mesh writes back what it read.
    ResourceDatabase database(description.folder, description.folder.view());
    for (const TextureRequest& t : description.textures)
        if (!m->SetTexture(t.slot, database, t.name, t.value))
            m->SetTextureDefinition(t.slot, t.name, t.value);
    return m;
}

std::shared_ptr<NullMaterial> MaterialManager::CreateNullMaterial(
    PString name, const MaterialDescription& description) {
    if (TakeFailure(gFailNullMaterials)) return nullptr;
    return std::make_shared<NullMaterial>(std::move(name), description);
}

bool MaterialManager::SplitDecoratedMaterialName(std::string_view d, std::string* base,
                                                 std::string* hex, std::string* name) {
    if (d.size() < 4 || d.front() != '*' || d.back() != '*') return false;
    std::string_view inner = d.substr(1, d.size() - 2);
    size_t a = inner.find('*');
    if (a == std::string_view::npos) return false;
    size_t b = inner.find('*', a + 1);
    if (b == std::string_view::npos) return false;
    std::string_view h = inner.substr(a + 1, b - a - 1);
    if (h.empty() || h.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
        return false;
    if (base) *base = std::string(inner.substr(0, a));
    if (hex) *hex = std::string(h);
    if (name) *name = std::string(inner.substr(b + 1));
    return true;
}

bool MaterialManager::VerifyDecoratedName(std::string_view name) {
    if (name.find('*') == std::string_view::npos) return true;
    return SplitDecoratedMaterialName(name, nullptr, nullptr, nullptr);
}

void MaterialManager::FailNextNullMaterialsForTesting(int count) {
    gFailNullMaterials = count;
}

}  // namespace Kiv
