#include "platform/kiv/display/materials.h"

#include "platform/kiv/base/text.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace Kiv {

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, MaterialTraits, std::less<>> materials;
    std::map<std::string, RenderingCacheManager::Factory, std::less<>> caches;
    bool failTexture = false;
};

Registry& Reg() {
    static Registry r;
    return r;
}

}  // namespace

Texture* SharedTextureCollection::GetTexture(uint32_t index) {
    std::lock_guard<std::mutex> hold(Reg().lock);
    if (Reg().failTexture || index != 0) return nullptr;
    return new Texture(index);
}

void SharedTextureCollection::FailForTesting(bool fail) {
    std::lock_guard<std::mutex> hold(Reg().lock);
    Reg().failTexture = fail;
}

LoadedMaterial::~LoadedMaterial() {
    if (texture_ != nullptr) texture_->ReleaseReference();
}

bool LoadedMaterial::SetTexture(int slot, Texture* texture, float weight) {
    if (!traits_.takesTexture) return false;
    if (texture != nullptr) texture->AddReference();
    if (texture_ != nullptr) texture_->ReleaseReference();
    texture_ = texture;
    slot_ = slot;
    weight_ = weight;
    return true;
}

VertexType* LoadedMaterial::CreateVertexType(const StandardChunkHint& hint, int a, int b, int c,
                                             int d, int e) {
    if (!traits_.makesVertexTypes) return nullptr;
    return new VertexType(type_, hint, {a, b, c, d, e});
}

void MaterialLoader::RegisterType(std::string_view type, const MaterialTraits& traits) {
    std::lock_guard<std::mutex> hold(Reg().lock);
    Reg().materials[std::string(type)] = traits;
}

void MaterialLoader::UnregisterAll() {
    std::lock_guard<std::mutex> hold(Reg().lock);
    Reg().materials.clear();
}

bool MaterialLoader::IsRegistered(std::string_view type) {
    std::lock_guard<std::mutex> hold(Reg().lock);
    for (const auto& [name, traits] : Reg().materials)
        if (EqualsIgnoreCase(name, type)) return true;
    return false;
}

LoadedMaterial* MaterialLoader::Load(std::string_view name) {
    const size_t dot = name.find('.');
    if (dot == std::string_view::npos) return nullptr;
    const std::string_view type = name.substr(dot + 1);
    std::lock_guard<std::mutex> hold(Reg().lock);
    auto it = Reg().materials.find(type);
    if (it == Reg().materials.end()) return nullptr;
    return new LoadedMaterial(std::string(type), it->second);
}

RenderingCacheManager& RenderingCacheManager::Instance() {
    static RenderingCacheManager manager;
    return manager;
}

RenderingCacheManager::~RenderingCacheManager() {
    for (RenderingCache* cache : caches_) cache->ReleaseReference();
}

void RenderingCacheManager::AddCache(RenderingCache* cache) {
    if (cache == nullptr) return;
    cache->AddReference();
    caches_.push_back(cache);
}

void RenderingCacheManager::RemoveCache(RenderingCache* cache) {
    auto it = std::find(caches_.begin(), caches_.end(), cache);
    if (it == caches_.end()) return;
    caches_.erase(it);
    cache->ReleaseReference();
}

RenderingCache* RenderingCacheManager::FindCache(std::string_view id) {
    for (RenderingCache* cache : caches_)
        if (cache->GetId() == id) {
            cache->AddReference();
            return cache;
        }
    return nullptr;
}

void RenderingCacheManager::RegisterCacheType(std::string_view name, Factory factory) {
    std::lock_guard<std::mutex> hold(Reg().lock);
    Reg().caches[std::string(name)] = std::move(factory);
}

void RenderingCacheManager::UnregisterCacheTypes() {
    std::lock_guard<std::mutex> hold(Reg().lock);
    Reg().caches.clear();
}

RenderingCache* RenderingCacheManager::MakeCache(std::string_view name) {
    Factory factory;
    {
        std::lock_guard<std::mutex> hold(Reg().lock);
        auto it = Reg().caches.find(name);
        if (it == Reg().caches.end()) return nullptr;
        factory = it->second;
    }
    return factory();
}

}  // namespace Kiv
