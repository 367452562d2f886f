// What the upgrader's three parts share: its words, interned once, and the few tree operations
// its rewrites are made of. The upgrade works on the configuration in memory only and reports
// nothing, so every helper here leaves a tree alone when a tag is absent or of another type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

namespace DUVLib::upgrade {

// clang-format off
#define HALVEX_UPGRADE_WORDS(X) \
    X(kName, "name") X(kUsername, "username") X(kAssetFilename, "asset-filename") \
    X(kKind, "kind") X(kMap, "map") X(kRegion, "region") X(kThumbnail, "thumbnail") \
    X(kDotCache, ".cache") X(kUnderFilename, "__filename") X(kUnderDir, "__dir") \
    X(kLicense, "license") X(kRgb, "rgb") X(kScriptlibrary, "scriptlibrary") \
    X(kScript, "script") X(kClasslibrary, "classlibrary") X(kClass, "class") \
    X(kFontsize, "fontsize") X(kFontcolor, "fontcolor") X(kMeshTable, "mesh-table") \
    X(kNight, "night") X(kType, "type") X(kSoundscript, "soundscript") X(kSound, "sound") \
    X(kFunction, "function") X(kTrackside, "trackside") X(kMospeedboard, "mospeedboard") \
    X(kMosignal, "mosignal") X(kCategoryEra, "category-era") \
    X(kCategoryRegion, "category-region") X(kCategoryClass, "category-class") \
    X(kIconTexture, "icon-texture") X(kThumbnails, "thumbnails") X(kImage, "image") \
    X(kWidth, "width") X(kHeight, "height") X(kSemicolon, ";") X(kQuote, "\"") X(kRem, "rem") \
    X(kHalvexBuild, "halvex-build") X(kBogey, "bogey") X(kBehavior, "behavior") \
    X(kGroundtexture, "groundtexture") X(kTexture, "texture") X(kMesh, "mesh") \
    X(kMojunction, "mojunction") X(kMocrossing, "mocrossing") X(kTurntable, "turntable") \
    X(kTraincar, "traincar") X(kTrack, "track") X(kBridge, "bridge") X(kScenery, "scenery") \
    X(kBuildable, "buildable") X(kInterior, "interior") X(kLight, "light") X(kMode0, "mode0") \
    X(kMode1, "mode1") X(kRunningNumbers, "running-numbers") X(kBogeys, "bogeys") \
    X(kBogeyR, "bogey-r") X(kMini, "mini") X(kBendy, "bendy") \
    X(kCameradefault, "cameradefault") X(kCamera, "camera") X(kCameralist, "cameralist") \
    X(kDefault, "default") X(kShadow, "shadow") X(kAutoCreate, "auto-create") \
    X(kReversed, "reversed") X(kAttachedTrack, "attached-track") X(kRoad, "road") \
    X(kVertices, "vertices") X(kUseadjoiningtracktype, "useadjoiningtracktype") X(kZero, "0") \
    X(kOne, "1") X(kEffects, "effects") X(kAnim, "anim") X(kAnimKin, "anim.kin") \
    X(kAnimationLoopSpeed, "animation-loop-speed") X(kAutoAnimation, "auto-animation") \
    X(kAtt, "att") X(kAttParent, "att-parent") X(kAttachment, "attachment") \
    X(kNightMeshBase, "night-mesh-base") X(k1800s, "1800s") X(kZX, "ZX") X(kZeroZero, "00") \
    X(kAuteur, "auteur") X(kAuthor, "author") X(kOrganization, "organization") \
    X(kOrganisation, "organisation") X(kUserName, "user-name") \
    X(kDescriptionColon, "description:") X(kDescription, "description") X(kAsset, "asset") \
    X(kEmpty, "")
// clang-format on

enum class Word : uint8_t {
#define HALVEX_UPGRADE_WORD_ENUM(id, text) id,
    HALVEX_UPGRADE_WORDS(HALVEX_UPGRADE_WORD_ENUM)
#undef HALVEX_UPGRADE_WORD_ENUM
        kCount
};

// The interned word, made on first use.
const Kiv::PString& W(Word word);

// The tree operations, by name on a container reference.
bool Has(const TDBTagRef& tree, Word name);
Kiv::PString Text(const TDBTagRef& tree, Word name);
void Remove(const TDBTagRef& tree, Word name);
KUID GetKuid(const TDBTagRef& tree, const Kiv::PString& name);
// True when the tag exists and is a container.
bool IsContainerTag(const TDBTagRef& tree, const Kiv::PString& name);
TDBTagRef NewContainer();
// Removes the tag of that name, then appends the child under it, so it is the last child.
void Put(const TDBTagRef& tree, const Kiv::PString& name, const TDBTagRef& child);
// Appends a child without looking for one of the same name.
void AddText(const TDBTagRef& tree, const Kiv::PString& name, const Kiv::PString& text);
// The text of a node, as GetString converts a child's value; empty for a container.
Kiv::PString NodeText(const TDBTagRef& node);
// The KUID of a node, as GetKUID converts a child's value; the null KUID when there is none.
KUID NodeKuid(const TDBTagRef& node);
// a + "/" + b, as the engine's path type joins a component.
std::string JoinPath(std::string_view a, std::string_view b);

// The top-level children of a tree, by index, for the walks that may remove many of them. The
// removals keep the meaning of TDBContainerTag::RemoveTag (the first child of that name goes),
// and the tree is rewritten once, when the walk is over.
class ChildWalk {
public:
    explicit ChildWalk(const TDBTagRef& tree);
    uint32_t Count() const { return alive_; }
    // The name of the child at that index among those left; the empty name past the end.
    const Kiv::PString& NameAt(uint32_t index) const;
    bool IsContainerAt(uint32_t index) const;
    // Removes the first child left of that name; nothing when there is none.
    void RemoveFirst(const Kiv::PString& name);
    // Applies the removals to the tree.
    void Commit();

private:
    uint32_t PositionAt(uint32_t index) const;
    void MarkRemoved(uint32_t position);

    TDBTagRef tree_;
    std::vector<Kiv::PString> names_;
    std::vector<TDBTagRef> nodes_;
    std::vector<uint8_t> removed_;
    // Counts of the children left, as a binary indexed tree over positions.
    std::vector<uint32_t> fenwick_;
    uint32_t alive_ = 0;
    uint32_t removedCount_ = 0;
    // Each name's positions in order, and how many of them are gone (always the first ones).
    struct Occurrences {
        std::vector<uint32_t> positions;
        uint32_t gone = 0;
    };
    std::unordered_map<Kiv::PString, Occurrences, Kiv::PStringHash> occurrences_;
};

// Removes the given children (nodes of the tree) at once: a rewrite of the child list when they
// are many, so that a configuration with a great many junk tags is cleaned in linear time.
void RemoveNodes(const TDBTagRef& tree, const std::vector<TDBTagRef>& nodes);

// A lookup of the top-level children by name (the first of each name), made once for a loop
// over numbered tags that reads each name at most once and removes only what it read.
class FirstChildIndex {
public:
    explicit FirstChildIndex(const TDBTagRef& tree);
    // The first child of that name; empty when there is none.
    TDBTagRef Find(const Kiv::PString& name) const;

private:
    std::unordered_map<Kiv::PString, TDBTagRef, Kiv::PStringHash> first_;
};

}  // namespace DUVLib::upgrade
