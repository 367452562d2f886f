#include "platform/kiv/display/material.h"

#include "platform/kiv/display/materials.h"

#include <atomic>

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

bool Material::Compare(const Material& other) const {
    const MaterialDescription& a = desc_;
    const MaterialDescription& b = other.desc_;
    return IsNull() == other.IsNull() && a.typeName == b.typeName &&
           a.requestName == b.requestName && a.properties == b.properties && a.flag == b.flag &&
           a.value == b.value && a.display == b.display && a.textures == b.textures;
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
    // The types the program's plug-ins provide are made as well as those the manager was given.
    if (types_.count(type) || MaterialLoader::IsRegistered(type.view())) {
        auto m = std::make_shared<Material>(description);
        if (m->GetRequestName().IsNull()) m->SetRequestName(description.typeName);
        return m;
    }
    if (code) *code = broken_.count(type) ? kNotCreated : kNotFound;
    return nullptr;
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
