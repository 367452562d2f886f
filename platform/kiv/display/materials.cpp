#include "platform/kiv/display/materials.h"

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/base/text.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/kiv/base/file.h"
#include "platform/kiv/display/material_plugin.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/res/resource_database.h"
#include "platform/kiv/res/texture_file.h"

namespace Kiv {

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, MaterialTraits, std::less<>> materials;
    std::map<std::string, RenderingCacheManager::Factory, std::less<>> caches;
    bool failTexture = false;
    std::map<std::string, Texture*, std::less<>> textures;  // loaded, by path; not owned
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

Texture::~Texture() {
    if (path_.empty()) return;
    std::lock_guard<std::mutex> hold(Reg().lock);
    auto it = Reg().textures.find(path_);
    if (it != Reg().textures.end() && it->second == this) Reg().textures.erase(it);
}

Texture* Texture::Duplicate() const {
    auto* copy = new Texture(index_);
    copy->width_ = width_;
    copy->height_ = height_;
    copy->format_ = format_;
    copy->levels_ = levels_;
    return copy;
}

bool Texture::LoadFromBitmap(const Bitmap& bitmap, uint32_t format, int a, int b) {
    if (!bitmap.IsValid()) return false;
    width_ = bitmap.GetWidth();
    height_ = bitmap.GetHeight();
    format_ = format;
    levels_ = 1;
    bitmapA_ = a;
    bitmapB_ = b;
    return true;
}

Texture* Texture::Load(ResourceDatabase& database, std::string_view text) {
    // Files made on the product's own system separate folders with a backslash.
    std::string name(text);
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name.front() == '/') return nullptr;
    for (size_t at = 0; at <= name.size();) {
        size_t end = std::min(name.find('/', at), name.size());
        if (name.substr(at, end - at) == "..") return nullptr;
        at = end + 1;
    }
    std::string folder = database.GetFolder().str();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    // Names come lower-cased from the mesh; the file keeps the case its author gave it.
    const std::string path = File::ResolveCase(folder + name);
    {
        std::lock_guard<std::mutex> hold(Reg().lock);
        auto it = Reg().textures.find(path);
        if (it != Reg().textures.end()) {
            it->second->AddReference();
            return it->second;
        }
    }
    // A link could lead the mesh's texture out of its folder.
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    std::string bytes;
    if (!File::Load(path, bytes)) return nullptr;
    TextureFileContents contents;
    if (ReadTextureFile(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                        contents) != TextureFileStatus::kOk)
        return nullptr;
    auto* texture = new Texture(0);
    texture->path_ = path;
    texture->format_ = contents.format;
    texture->levels_ = static_cast<uint32_t>(contents.faces.front().size());
    texture->width_ = contents.faces.front().front()->GetWidth();
    texture->height_ = contents.faces.front().front()->GetHeight();
    std::lock_guard<std::mutex> hold(Reg().lock);
    auto [it, added] = Reg().textures.emplace(path, texture);
    if (!added) {  // another thread loaded it meanwhile
        texture->path_.clear();
        texture->ReleaseReference();
        it->second->AddReference();
    }
    return it->second;
}

LoadedMaterial::~LoadedMaterial() {
    if (texture_ != nullptr) texture_->ReleaseReference();
}

bool LoadedMaterial::SetTexture(int slot, Texture* texture, float weight) {
    if (!traits_.takesTexture) return false;
    if (material_ != nullptr && !material_->SetTexture(slot, texture, weight)) return false;
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
    MaterialTraits traits;
    {
        std::lock_guard<std::mutex> hold(Reg().lock);
        auto it = Reg().materials.find(type);
        if (it == Reg().materials.end()) return nullptr;
        traits = it->second;
    }
    std::shared_ptr<Material> material;
    RenderKernel* kernel = RenderKernel::GetCurrent();
    if (type.starts_with("m.") && MaterialPlugin::Find(type.substr(2)) != nullptr &&
        kernel != nullptr && kernel->IsInitialised()) {
        MaterialDescription description;
        description.typeName = PString(type);
        int code = 0;
        material = kernel->GetMaterialManager().FindMaterial(description, &code);
        if (material == nullptr) return nullptr;
    }
    return new LoadedMaterial(std::string(type), traits, std::move(material));
}

MaterialCaches& MaterialCaches::operator=(const MaterialCaches& other) {
    if (this == &other) return *this;
    for (RenderingCache* c : other.cache)
        if (c != nullptr) c->AddReference();
    Clear();
    cache = other.cache;
    return *this;
}

void MaterialCaches::Clear() {
    for (RenderingCache*& c : cache) {
        if (c != nullptr) c->ReleaseReference();
        c = nullptr;
    }
}

bool MaterialCaches::IsComplete() const {
    for (RenderingCache* c : cache)
        if (c == nullptr) return false;
    return true;
}

AlphaBlendCache* MaterialCaches::GetAlphaBlendCache() const {
    return dynamic_cast<AlphaBlendCache*>(cache[kAlphaBlend]);
}

void FindOrAddMaterialCaches(MaterialCaches& caches, MaterialCacheMaker make) {
    static const char* const kIds[] = {AlphaBlendCache::kId, AlphaMaskCache::kId,
                                       MaterialChunkCache::kId};
    RenderingCacheManager& manager = RenderingCacheManager::Instance();
    for (int i = 0; i < MaterialCaches::kCount; ++i) {
        RenderingCache*& cache = caches.cache[i];
        if (cache != nullptr) continue;
        cache = manager.FindCache(kIds[i]);
        if (cache != nullptr) continue;
        cache = make(i);
        manager.AddCache(cache);
    }
}

RenderingCache* MakeEngineMaterialCache(int kind) {
    if (kind == MaterialCaches::kAlphaBlend) return new AlphaBlendCache(AlphaBlendCache::kId);
    if (kind == MaterialCaches::kAlphaMask) return new AlphaMaskCache();
    return new MaterialChunkCache();
}

RenderingCacheManager& RenderingCacheManager::Instance() {
    static RenderingCacheManager manager;
    return manager;
}

RenderingCacheManager::~RenderingCacheManager() {
    for (RenderingCache* cache : caches_)
        cache->ReleaseReference();
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

void RenderingCacheManager::ClearAll() {
    for (RenderingCache* cache : caches_)
        cache->Clear();
}

void RenderingCacheManager::FlushAll(Display& display) {
    for (RenderingCache* cache : caches_)
        cache->Flush(display);
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
