// The upgrade's rewrites by kind: mesh tables, the bogey list, attached tracks, thumbnails and
// the camera list built from the loose per-kind tags of old configurations. The builders that
// need attachment points open the asset's meshes; a mesh that does not load leaves its
// tracks and name effects out, and the mesh table is written all the same.
#include <memory>
#include <string>
#include <vector>

#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/text.h"
#include "validation/config_upgrade.h"
#include "validation/data_manager.h"
#include "validation/mesh_data.h"
#include "validation/upgrade_support.h"

namespace DUVLib::upgrade {

namespace {

bool IsKind(const Kiv::PString& kind, Word word) {
    return Kiv::EqualsIgnoreCase(kind.view(), W(word).view());
}

Kiv::PString P(std::string_view text) {
    return Kiv::PString(text);
}

// A mesh-table entry: the mesh and whether it is made with the object.
TDBTagRef MeshEntry(std::string_view mesh, int autoCreate) {
    TDBTagRef entry = NewContainer();
    TDBContainerTag::SetString(entry, W(Word::kMesh), P(mesh));
    TDBContainerTag::SetInt(entry, W(Word::kAutoCreate), autoCreate);
    return entry;
}

// --- meshes opened for their points -------------------------------------------------------

// A mesh file of the asset (a path relative to its folder), opened for its attachment points;
// null when it does not load. It has no owner, so nothing about it is reported; it is released
// when the builder that opened it ends.
std::unique_ptr<MeshData> OpenAssetMesh(std::string_view relative) {
    Kiv::File::Path path(DataManager::Instance().GetAssetFolder());
    path.AddPath(relative);
    auto mesh = std::make_unique<MeshData>();
    if (!mesh->Load(Kiv::PString(path.view()), nullptr) || !mesh->IsLoaded()) return nullptr;
    return mesh;
}

// A point of a track is a particle of the mesh's instance.
bool HasPoint(MeshData& mesh, const Kiv::PString& name) {
    return mesh.FindByName(name) != nullptr;
}

// One pass of attached tracks over a mesh's point pairs "a" and "b" of number 0, 1, ...: each
// whole pair makes an entry named with the next number (the first is 1).
template <typename Format>
void AttachedTrackPass(MeshData& mesh, const TDBTagRef& list, const KUID& track, int adjoining,
                       Format format) {
    for (int k = 0;; ++k) {
        const Kiv::PString a = format(k, 'a');
        const Kiv::PString b = format(k, 'b');
        if (!HasPoint(mesh, a) || !HasPoint(mesh, b)) return;
        TDBTagRef entry = NewContainer();
        TDBContainerTag::SetKUID(entry, W(Word::kTrack), track);
        TDBTagRef vertices = NewContainer();
        TDBContainerTag::SetString(vertices, W(Word::kZero), a);
        TDBContainerTag::SetString(vertices, W(Word::kOne), b);
        TDBContainerTag::SetContainer(entry, W(Word::kVertices), vertices);
        TDBContainerTag::SetInt(entry, W(Word::kUseadjoiningtracktype), adjoining);
        TDBTagRef target = list;
        TDBContainerTag::SetContainer(target, format(k + 1, '\0'), entry);
    }
}

// --- the builders -----------------------------------------------------------------------------

void BuildBogeyMeshTable(const TDBTagRef& config, const std::string& af) {
    TDBTagRef table = NewContainer();
    TDBTagRef entry = MeshEntry(af + ".pm", 1);
    TDBContainerTag::SetContainer(table, W(Word::kDefault), entry);
    entry = MeshEntry(af + "_shadow/" + af + "_shadow.pm", 0);
    TDBContainerTag::SetContainer(table, W(Word::kShadow), entry);
    Put(config, W(Word::kMeshTable), table);
}

void BuildTraincarMeshTable(const TDBTagRef& config, const std::string& af) {
    TDBTagRef table = NewContainer();
    TDBTagRef entry = MeshEntry(JoinPath(af + "_body", af + "_body.pm"), 1);
    TDBContainerTag::SetContainer(table, W(Word::kDefault), entry);
    entry = MeshEntry(JoinPath(af + "_shadow", af + "_shadow.pm"), 0);
    TDBContainerTag::SetContainer(table, W(Word::kShadow), entry);
    Put(config, W(Word::kMeshTable), table);
}

void BuildBogeyList(const TDBTagRef& config) {
    TDBTagRef bogeys = NewContainer();
    int count = 0;
    const FirstChildIndex index(config);
    std::vector<TDBTagRef> taken;
    // An entry for the tag when it holds a KUID; the tag goes once its entry is stored.
    auto take = [&](const Kiv::PString& name, int reversed) {
        const TDBTagRef node = index.Find(name);
        const KUID kuid = NodeKuid(node);
        if (kuid == KUID::kNull) return false;
        TDBTagRef entry = NewContainer();
        TDBContainerTag::SetKUID(entry, W(Word::kBogey), kuid);
        TDBContainerTag::SetInt(entry, W(Word::kReversed), reversed);
        TDBContainerTag::SetContainer(bogeys, Kiv::PString::Printf("%d", count++), entry);
        taken.push_back(node);
        return true;
    };
    bool first = take(W(Word::kBogey), 0);
    first = take(W(Word::kBogeyR), 1) || first;
    for (int i = first ? 1 : 0;; ++i) {
        bool found = take(Kiv::PString::Printf("bogey-%d", i), 0);
        found = take(Kiv::PString::Printf("bogey-%d-r", i), 1) || found;
        if (!found) break;
    }
    RemoveNodes(config, taken);
    Put(config, W(Word::kBogeys), bogeys);
}

void BuildJunctionMeshTable(const TDBTagRef& config) {
    const Kiv::PString modes[2] = {Text(config, Word::kMode0), Text(config, Word::kMode1)};
    TDBTagRef table = NewContainer();
    Put(config, W(Word::kMeshTable), table);
    const Word modeWords[2] = {Word::kMode0, Word::kMode1};
    for (int i = 0; i < 2; ++i) {
        const Kiv::PString& m = modes[i];
        if (m.IsEmpty()) continue;
        TDBTagRef entry = NewContainer();
        TDBContainerTag::SetString(entry, W(Word::kMesh),
                                   Kiv::PString::Printf("%s/%s.im", m.c_str(), m.c_str()));
        TDBContainerTag::SetString(entry, W(Word::kAutoCreate),
                                   W(i == 0 ? Word::kOne : Word::kZero));
        TDBContainerTag::SetContainer(table, m.ToLower(), entry);
        Remove(config, modeWords[i]);
    }
}

void BuildTurntableMeshTable(const TDBTagRef& config) {
    const std::string m0 = Text(config, Word::kMode0).str();
    const std::string m1 = Text(config, Word::kMode1).str();
    const std::string p0 = JoinPath(m0, m0 + ".im");
    const std::string p1 = JoinPath(m1, m1 + ".im");
    TDBTagRef table = NewContainer();
    TDBTagRef entry = MeshEntry(p0, 1);
    TDBContainerTag::SetContainer(table, W(Word::kDefault), entry);
    TDBTagRef turntable = NewContainer();
    TDBContainerTag::SetString(turntable, W(Word::kMesh), P(p1));
    TDBContainerTag::SetContainer(table, W(Word::kTurntable), turntable);
    Put(config, W(Word::kMeshTable), table);

    const std::unique_ptr<MeshData> outer = OpenAssetMesh(p0);
    const std::unique_ptr<MeshData> inner = OpenAssetMesh(p1);
    Remove(config, Word::kMode0);
    Remove(config, Word::kMode1);
    if (Has(config, Word::kAttachedTrack) || outer == nullptr || inner == nullptr) return;
    const KUID track = GetKuid(config, W(Word::kTrack));
    TDBTagRef list = NewContainer();
    for (const auto& [letter, mesh] : {std::pair{'o', outer.get()}, std::pair{'i', inner.get()}})
        AttachedTrackPass(*mesh, list, track, 0, [letter](int k, char end) {
            return end != '\0' ? Kiv::PString::Printf("a.%ctrack%d%c", letter, k, end)
                               : Kiv::PString::Printf("track%c%d", letter, k);
        });
    Put(config, W(Word::kAttachedTrack), list);
    Remove(config, Word::kTrack);
}

void BuildCrossingMeshTable(const TDBTagRef& config) {
    std::string m = Text(config, Word::kMode0).str();
    if (m.empty()) m = W(Word::kMode0).str();
    const std::string p = JoinPath(m, m + ".im");
    const std::string q = JoinPath(m, W(Word::kAnimKin).view());
    TDBTagRef table = NewContainer();
    TDBTagRef entry = NewContainer();
    TDBContainerTag::SetString(entry, W(Word::kMesh), P(p));
    TDBContainerTag::SetString(entry, W(Word::kAnim), P(q));
    TDBContainerTag::SetInt(entry, W(Word::kAutoCreate), 1);
    TDBContainerTag::SetContainer(table, W(Word::kDefault), entry);
    Put(config, W(Word::kMeshTable), table);

    const std::unique_ptr<MeshData> mesh = OpenAssetMesh(p);
    if (mesh != nullptr) {
        Kiv::File::Path animation(DataManager::Instance().GetAssetFolder());
        animation.AddPath(q);
        mesh->LoadAnimation(Kiv::PString(animation.view()));
    }
    Remove(config, Word::kMode0);
    Remove(config, Word::kMode1);
    if (Has(config, Word::kAttachedTrack) || mesh == nullptr) return;
    TDBTagRef list = NewContainer();
    for (Word w : {Word::kRoad, Word::kTrack}) {
        const Kiv::PString& word = W(w);
        AttachedTrackPass(*mesh, list, GetKuid(config, word), 1, [&word](int k, char end) {
            return end != '\0' ? Kiv::PString::Printf("a.%s%d%c", word.c_str(), k, end)
                               : Kiv::PString::Printf("%s%d", word.c_str(), k);
        });
    }
    Put(config, W(Word::kAttachedTrack), list);
}

// The number of consecutive "a.name%d" points of a mesh from number 0; 0 when it does not load.
int CountNameAttachments(std::string_view path) {
    const std::unique_ptr<MeshData> mesh = OpenAssetMesh(path);
    if (mesh == nullptr) return 0;
    int k = 0;
    while (mesh->HasAttachmentPoint(Kiv::PString::Printf("a.name%d", k)))
        ++k;
    return k;
}

void BuildSceneryMeshTable(const TDBTagRef& config, const std::string& af) {
    TDBTagRef entry = NewContainer();
    TDBContainerTag::SetInt(entry, W(Word::kAutoCreate), 1);
    TDBContainerTag::SetString(entry, W(Word::kMesh), P(af + ".im"));
    if (TDBContainerTag::GetInt(config, W(Word::kAutoAnimation), 0) != 0) {
        TDBContainerTag::SetString(entry, W(Word::kAnim), W(Word::kAnimKin));
        TDBContainerTag::SetFloat(entry, W(Word::kAnimationLoopSpeed), 1.0f);
    }
    Remove(config, Word::kAutoAnimation);

    const int n = CountNameAttachments(af + ".im");
    if (n > 0) {
        const Kiv::PString colour = Text(config, Word::kFontcolor);
        const Kiv::PString size = Text(config, Word::kFontsize);
        TDBTagRef effects = NewContainer();
        for (int i = 0; i < n; ++i) {
            TDBTagRef effect = NewContainer();
            TDBContainerTag::SetString(effect, W(Word::kKind), W(Word::kName));
            TDBContainerTag::SetString(effect, W(Word::kAtt), Kiv::PString::Printf("a.name%d", i));
            if (!colour.IsEmpty()) TDBContainerTag::SetString(effect, W(Word::kFontcolor), colour);
            if (!size.IsEmpty()) TDBContainerTag::SetString(effect, W(Word::kFontsize), size);
            TDBContainerTag::SetString(effect, W(Word::kName), W(Word::kName));
            TDBContainerTag::SetContainer(effects, Kiv::PString::Printf("%d", i), effect);
        }
        TDBContainerTag::SetContainer(entry, W(Word::kEffects), effects);
    }

    TDBTagRef table = NewContainer();
    TDBContainerTag::SetContainer(table, W(Word::kDefault), entry);
    if (Has(config, Word::kNight)) {
        const Kiv::PString night = Text(config, Word::kNight);
        Remove(config, Word::kNight);
        TDBTagRef nightEntry = NewContainer();
        TDBContainerTag::SetString(nightEntry, W(Word::kMesh), P(af + "/" + night.str() + ".im"));
        TDBContainerTag::SetString(nightEntry, W(Word::kNightMeshBase), W(Word::kDefault));
        TDBContainerTag::SetContainer(table, W(Word::kNight), nightEntry);
    }
    Put(config, W(Word::kMeshTable), table);
}

void BuildInteriorMeshTable(const TDBTagRef& config) {
    TDBTagRef table = NewContainer();
    if (Has(config, Word::kAttachment) && IsContainerTag(config, W(Word::kAttachment))) {
        const TDBTagRef attachments = TDBContainerTag::GetContainer(config, W(Word::kAttachment));
        const uint32_t n = attachments->GetChildCount();
        for (uint32_t i = 0; i < n; ++i) {
            Kiv::PString name;
            TDBTagRef child;
            attachments->GetChildAt(i, name, child);
            if (child && child->GetType() == kTagContainer) {
                if (Has(child, Word::kAtt) && !Has(child, Word::kAttParent))
                    TDBContainerTag::SetString(child, W(Word::kAttParent), W(Word::kDefault));
            } else {
                child = NewContainer();
            }
            Put(table, name, child);
        }
        Remove(config, Word::kAttachment);
    }
    if (Has(config, Word::kMesh)) {
        TDBTagRef entry = MeshEntry(Text(config, Word::kMesh).view(), 1);
        TDBContainerTag::SetContainer(table, W(Word::kDefault), entry);
        Remove(config, Word::kMesh);
    }
    Put(config, W(Word::kMeshTable), table);
}

void MakeCameraList(const TDBTagRef& config) {
    if (!Has(config, Word::kCamera)) return;
    std::vector<float> values;
    // A camera that is not a list of numbers, or a camera list that is not a container, leaves
    // both as they are.
    if (!TDBContainerTag::GetFloatArray(config, W(Word::kCamera), values)) return;
    if (Has(config, Word::kCameralist) && !IsContainerTag(config, W(Word::kCameralist))) return;
    if (!Has(config, Word::kCameralist)) Put(config, W(Word::kCameralist), NewContainer());
    TDBTagRef list = TDBContainerTag::GetContainer(config, W(Word::kCameralist));
    const uint32_t n = TDBContainerTag::CountChildren(list);
    values.push_back(0.0f);
    values.push_back(0.0f);
    TDBContainerTag::SetFloatArray(list, Kiv::PString::Printf("camera%u", n), values);
    Remove(config, Word::kCamera);
}

}  // namespace

void MakeThumbnails(const TDBTagRef& config) {
    if (!Has(config, Word::kIconTexture) || Has(config, Word::kThumbnails)) return;
    TDBTagRef image = NewContainer();
    TDBContainerTag::SetString(image, W(Word::kImage), Text(config, Word::kIconTexture));
    TDBContainerTag::SetInt(image, W(Word::kWidth), 64);
    TDBContainerTag::SetInt(image, W(Word::kHeight), 64);
    TDBTagRef thumbnails = NewContainer();
    TDBContainerTag::SetContainer(thumbnails, W(Word::kZero), image);
    Put(config, W(Word::kThumbnails), thumbnails);
    Remove(config, Word::kIconTexture);
}

void NameEffects(const TDBTagRef& config) {
    const TDBTagRef table = TDBContainerTag::GetContainer(config, W(Word::kMeshTable));
    const uint32_t meshes = TDBContainerTag::CountChildren(table);
    for (uint32_t i = 0; i < meshes; ++i) {
        const TDBTagRef mesh = TDBContainerTag::GetContainerAt(table, i);
        if (!Has(mesh, Word::kEffects)) continue;
        const TDBTagRef effects = TDBContainerTag::GetContainer(mesh, W(Word::kEffects));
        const uint32_t n = TDBContainerTag::CountChildren(effects);
        for (uint32_t j = 0; j < n; ++j) {
            Kiv::PString name;
            TDBTagRef effect;
            effects->GetChildAt(j, name, effect);
            if (!effect || effect->GetType() != kTagContainer) continue;
            if (Text(effect, Word::kKind) == W(Word::kName) && Text(effect, Word::kName).IsEmpty())
                TDBContainerTag::SetString(effect, W(Word::kName), name);
        }
    }
}

void RewriteByKind(const TDBTagRef& config, const Kiv::PString& kind, const Kiv::PString& af) {
    const bool hasAf = !af.IsEmpty();
    const std::string file = af.str();
    auto noTable = [&] { return hasAf && !Has(config, Word::kMeshTable); };

    if (IsKind(kind, Word::kBogey)) {
        if (noTable()) BuildBogeyMeshTable(config, file);
        Remove(config, Word::kLight);
    } else if (IsKind(kind, Word::kBehavior)) {
        MakeThumbnails(config);
    } else if (IsKind(kind, Word::kGroundtexture) || IsKind(kind, Word::kTexture)) {
        Remove(config, Word::kRgb);
        if (hasAf && !Has(config, Word::kTexture)) {
            TDBTagRef tree = config;
            TDBContainerTag::SetString(tree, W(Word::kTexture), P(file + ".texture"));
        }
        Remove(config, Word::kLight);
    } else if (IsKind(kind, Word::kMesh)) {
        Remove(config, Word::kLight);
    } else if (IsKind(kind, Word::kMojunction)) {
        if (noTable()) BuildJunctionMeshTable(config);
    } else if (IsKind(kind, Word::kMocrossing)) {
        if (noTable()) BuildCrossingMeshTable(config);
        Remove(config, Word::kTrack);
        Remove(config, Word::kRoad);
    } else if (IsKind(kind, Word::kTurntable)) {
        if (noTable()) BuildTurntableMeshTable(config);
    } else if (IsKind(kind, Word::kTraincar)) {
        if (noTable()) BuildTraincarMeshTable(config, file);
        if (!Has(config, Word::kBogeys)) BuildBogeyList(config);
        if (IsContainerTag(config, W(Word::kRunningNumbers))) Remove(config, Word::kRunningNumbers);
    } else if (IsKind(kind, Word::kTrack) || IsKind(kind, Word::kBridge)) {
        if (hasAf) {
            if (IsKind(kind, Word::kTrack)) Remove(config, Word::kHeight);
            Remove(config, Word::kMini);
        }
    } else if (IsKind(kind, Word::kScenery)) {
        if (noTable()) BuildSceneryMeshTable(config, file);
        Remove(config, Word::kBendy);
    } else if (IsKind(kind, Word::kBuildable)) {
        if (noTable()) BuildSceneryMeshTable(config, file);
    } else if (IsKind(kind, Word::kInterior)) {
        if (noTable()) BuildInteriorMeshTable(config);
        MakeCameraList(config);
        if (!Has(config, Word::kCameradefault)) {
            TDBTagRef tree = config;
            TDBContainerTag::SetInt(tree, W(Word::kCameradefault), 0);
        }
    }
}

}  // namespace DUVLib::upgrade
