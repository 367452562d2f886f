#include "services/wexdaemon/asset_index.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "configdata/soup_file.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/file.h"
#include "services/wexdaemon/folder_ops.h"

namespace wexd {

namespace {

struct Names {
    Kiv::PString format{"format"};
    Kiv::PString nextContentId{"next-content-id"};
    Kiv::PString nextHandle{"next-handle"};
    Kiv::PString assets{"assets"};
    Kiv::PString asset{"asset"};
    Kiv::PString kuid{"kuid"};
    Kiv::PString name{"name"};
    Kiv::PString status{"status"};
    Kiv::PString favorite{"favorite"};
    Kiv::PString keywords{"keywords"};
    Kiv::PString editing{"editing"};
    Kiv::PString validation{"validation"};
    Kiv::PString configStamp{"config-stamp"};
    Kiv::PString installedAt{"installed-at"};
    Kiv::PString modifiedAt{"modified-at"};
    Kiv::PString installed{"installed"};
    Kiv::PString cache{"cache"};
    Kiv::PString title{"title"};
    Kiv::PString kind{"kind"};
    Kiv::PString categoryClass{"category-class"};
    Kiv::PString region{"category-region"};
    Kiv::PString era{"category-era"};
    Kiv::PString build{"build"};
    Kiv::PString config{"config"};
    Kiv::PString dependencies{"dependencies"};
    Kiv::PString obsoletes{"obsoletes"};
};

// Bits of the "config" tag.
constexpr int32_t kConfigRead = 1;
constexpr int32_t kConfigFaulty = 2;
constexpr int32_t kConfigScript = 4;

const Names& N() {
    static const Names* names = new Names;
    return *names;
}

void PutValue(const TDBTagRef& parent, const Kiv::PString& name, uint32_t type, const void* data,
              uint32_t size) {
    parent->AddChild(name, parent->CreateTag(type, MakeRawData(data, size)));
}

void PutInts(const TDBTagRef& parent, const Kiv::PString& name, const int32_t* values,
             uint32_t count) {
    PutValue(parent, name, kTagInt, values, count * 4);
}

void PutInt(const TDBTagRef& parent, const Kiv::PString& name, int32_t value) {
    PutInts(parent, name, &value, 1);
}

void PutWide(const TDBTagRef& parent, const Kiv::PString& name, uint64_t value) {
    int32_t words[2] = {static_cast<int32_t>(value & 0xFFFFFFFFu),
                        static_cast<int32_t>(value >> 32)};
    PutInts(parent, name, words, 2);
}

void PutText(const TDBTagRef& parent, const Kiv::PString& name, const std::string& text) {
    PutValue(parent, name, kTagText, text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

// An empty text is left out; it reads back as empty.
void PutTextIfAny(const TDBTagRef& parent, const Kiv::PString& name, const std::string& text) {
    if (!text.empty()) PutText(parent, name, text);
}

void PutKUIDs(const TDBTagRef& parent, const Kiv::PString& name, const std::vector<KUID>& kuids) {
    if (kuids.empty()) return;
    std::vector<uint8_t> bytes(kuids.size() * 8);
    for (size_t i = 0; i < kuids.size(); ++i)
        KUID::PackWords(kuids[i], bytes.data() + i * 8);
    PutValue(parent, name, kTagKUID, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// Readers: the child's value when it has the expected type and size, else the default.
TDBTagRef Child(const TDBTagRef& parent, const Kiv::PString& name, uint32_t type) {
    TDBTagRef child = parent->FindChild(name);
    if (!child || child->GetType() != type) return {};
    return child;
}

bool GetInts(const TDBTagRef& parent, const Kiv::PString& name, int32_t* out, uint32_t count) {
    TDBTagRef child = Child(parent, name, kTagInt);
    if (!child || child->GetDataSize() != count * 4) return false;
    std::memcpy(out, child->GetData(), count * 4);
    return true;
}

template <typename T>
void GetInt(const TDBTagRef& parent, const Kiv::PString& name, T& out) {
    int32_t v;
    if (GetInts(parent, name, &v, 1)) out = static_cast<T>(v);
}

void GetWide(const TDBTagRef& parent, const Kiv::PString& name, uint64_t& out) {
    int32_t words[2];
    if (GetInts(parent, name, words, 2))
        out = uint64_t{static_cast<uint32_t>(words[0])} |
              (uint64_t{static_cast<uint32_t>(words[1])} << 32);
}

void GetText(const TDBTagRef& parent, const Kiv::PString& name, std::string& out) {
    TDBTagRef child = Child(parent, name, kTagText);
    if (!child) return;
    const char* data = static_cast<const char*>(child->GetData());
    uint32_t size = child->GetDataSize();
    out.assign(data, strnlen(data, size));
}

void GetKUIDs(const TDBTagRef& parent, const Kiv::PString& name, std::vector<KUID>& out) {
    TDBTagRef child = Child(parent, name, kTagKUID);
    if (!child || child->GetDataSize() % 8 != 0) return;
    const uint8_t* data = static_cast<const uint8_t*>(child->GetData());
    out.reserve(child->GetDataSize() / 8);
    for (uint32_t at = 0; at < child->GetDataSize(); at += 8)
        out.push_back(KUID::UnpackWords(data + at));
}

// Only a finite value: nothing the daemon writes is anything else.
void GetFloat(const TDBTagRef& parent, const Kiv::PString& name, float& out) {
    TDBTagRef child = Child(parent, name, kTagFloat);
    float v;
    if (!child || child->GetDataSize() != 4) return;
    std::memcpy(&v, child->GetData(), 4);
    if (std::isfinite(v)) out = v;
}

bool GetKUID(const TDBTagRef& parent, const Kiv::PString& name, KUID& out) {
    TDBTagRef child = Child(parent, name, kTagKUID);
    if (!child || child->GetDataSize() != 8) return false;
    out = KUID::UnpackWords(child->GetData());
    return true;
}

TDBTagRef RecordToSoup(const AssetRecord& r) {
    const Names& n = N();
    TDBTagRef node = TDBContainerTag::MakeTag(kTagContainer, {});
    uint8_t kuid[8];
    KUID::PackWords(r.kuid, kuid);
    PutValue(node, n.kuid, kTagKUID, kuid, 8);
    PutTextIfAny(node, n.name, r.config.name);
    int32_t status[4] = {r.statusA, r.statusB, r.statusC, r.statusD};
    PutInts(node, n.status, status, 4);
    if (r.favorite) PutInt(node, n.favorite, 1);
    PutTextIfAny(node, n.keywords, r.keywords);
    if (r.installed) PutInt(node, n.installed, 1);
    if (r.openForEdit) PutInt(node, n.editing, 1);
    PutInt(node, n.validation, r.validation);
    PutWide(node, n.configStamp, static_cast<uint64_t>(r.configStamp));
    if (r.installedAt != 0) PutWide(node, n.installedAt, static_cast<uint64_t>(r.installedAt));
    if (r.modifiedAt != 0) PutWide(node, n.modifiedAt, static_cast<uint64_t>(r.modifiedAt));
    if (r.cache != 0) PutInt(node, n.cache, r.cache);
    const ConfigFacts& c = r.config;
    PutTextIfAny(node, n.title, c.title);
    PutTextIfAny(node, n.kind, c.kind);
    PutTextIfAny(node, n.categoryClass, c.categoryClass);
    PutTextIfAny(node, n.region, c.region);
    PutTextIfAny(node, n.era, c.era);
    if (c.build != 0.0f) PutValue(node, n.build, kTagFloat, &c.build, 4);
    int32_t bits = (c.read ? kConfigRead : 0) | (c.faulty ? kConfigFaulty : 0) |
                   (c.hasScript ? kConfigScript : 0);
    if (bits != 0) PutInt(node, n.config, bits);
    PutKUIDs(node, n.dependencies, c.dependencies);
    PutKUIDs(node, n.obsoletes, c.obsoletes);
    return node;
}

bool RecordFromSoup(const TDBTagRef& node, AssetRecord& r) {
    const Names& n = N();
    if (!GetKUID(node, n.kuid, r.kuid) || r.kuid.IsNull()) return false;
    // A KUID that has no folder name of its own could never match a folder.
    if (!KUIDFromFolderName(AssetFolderName(r.kuid))) return false;
    GetText(node, n.name, r.config.name);
    int32_t status[4];
    if (GetInts(node, n.status, status, 4)) {
        r.statusA = static_cast<uint8_t>(status[0]);
        r.statusB = static_cast<uint8_t>(status[1]);
        r.statusC = static_cast<uint8_t>(status[2]);
        r.statusD = static_cast<uint8_t>(status[3]);
    }
    int32_t flag = 0;
    GetInt(node, n.favorite, flag);
    r.favorite = flag != 0;
    GetText(node, n.keywords, r.keywords);
    flag = 0;
    GetInt(node, n.installed, flag);
    r.installed = flag != 0;
    flag = 0;
    GetInt(node, n.editing, flag);
    r.openForEdit = flag != 0;
    GetInt(node, n.validation, r.validation);
    for (auto [name, field] :
         {std::pair{&n.configStamp, &r.configStamp}, std::pair{&n.installedAt, &r.installedAt},
          std::pair{&n.modifiedAt, &r.modifiedAt}}) {
        uint64_t v = 0;
        GetWide(node, *name, v);
        *field = static_cast<int64_t>(v);
    }
    GetInt(node, n.cache, r.cache);
    ConfigFacts& c = r.config;
    GetText(node, n.title, c.title);
    GetText(node, n.kind, c.kind);
    GetText(node, n.categoryClass, c.categoryClass);
    GetText(node, n.region, c.region);
    GetText(node, n.era, c.era);
    GetFloat(node, n.build, c.build);
    int32_t bits = 0;
    GetInt(node, n.config, bits);
    c.read = (bits & kConfigRead) != 0;
    c.faulty = (bits & kConfigFaulty) != 0;
    c.hasScript = (bits & kConfigScript) != 0;
    GetKUIDs(node, n.dependencies, c.dependencies);
    GetKUIDs(node, n.obsoletes, c.obsoletes);
    return true;
}

}  // namespace

namespace {

// The root with the counters, and its empty "assets" container.
TDBTagRef IndexRoot(const IndexContents& index, TDBTagRef& assets) {
    const Names& n = N();
    TDBTagRef root = TDBContainerTag::MakeTag(kTagContainer, {});
    PutInt(root, n.format, kIndexFormat);
    PutInt(root, n.nextContentId, index.counters.nextContentId);
    PutWide(root, n.nextHandle, index.counters.nextHandle);
    assets = TDBContainerTag::MakeTag(kTagContainer, {});
    root->AddChild(n.assets, assets);
    return root;
}

}  // namespace

TDBTagRef IndexToSoup(const IndexContents& index) {
    TDBTagRef assets;
    TDBTagRef root = IndexRoot(index, assets);
    for (const auto& [kuid, record] : index.records)
        assets->AddChild(N().asset, RecordToSoup(record));
    return root;
}

bool IndexFromSoup(const TDBTagRef& root, IndexContents& out, std::string& why, size_t* skipped) {
    const Names& n = N();
    out = IndexContents();
    if (skipped != nullptr) *skipped = 0;
    int32_t format = 0;
    if (!root || !GetInts(root, n.format, &format, 1)) {
        why = "no format tag";
        return false;
    }
    if (format != kIndexFormat) {
        why = "format " + std::to_string(format) + " is not " + std::to_string(kIndexFormat);
        return false;
    }
    GetInt(root, n.nextContentId, out.counters.nextContentId);
    GetWide(root, n.nextHandle, out.counters.nextHandle);
    TDBTagRef assets = Child(root, n.assets, kTagContainer);
    if (!assets) {
        why = "no assets container";
        return false;
    }
    Kiv::PString name;
    TDBTagRef node;
    for (uint32_t i = 0; assets->GetChildAt(i, name, node); ++i) {
        AssetRecord record;
        bool usable = name == n.asset && node->GetType() == kTagContainer &&
                      RecordFromSoup(node, record) && !out.records.count(record.kuid);
        if (usable) {
            out.records.emplace(record.kuid, std::move(record));
        } else if (skipped != nullptr) {
            ++*skipped;
        }
    }
    return true;
}

IndexLoad LoadSoupIndexFile(const std::string& path, IndexContents& out, std::string& why,
                            size_t* skipped) {
    out = IndexContents();
    if (!IsFile(path)) {
        if (!Kiv::File::IsPresent(path)) return IndexLoad::kMissing;
        why = "not a file";
        return IndexLoad::kCorrupt;
    }
    TDBTagRef root;
    if (!ReadTagTreeBinaryFile(path, root)) {
        why = "not a readable soup";
        return IndexLoad::kCorrupt;
    }
    return IndexFromSoup(root, out, why, skipped) ? IndexLoad::kLoaded : IndexLoad::kCorrupt;
}

}  // namespace wexd
