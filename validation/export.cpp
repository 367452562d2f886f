// The export of a checked container into a clean soup, and the value writers: each tag's text
// is converted to the stored type of its datatype, checked on the way, and written under its
// name (also when a check failed); the tag's own rules run with it. Sub-containers become child
// containers, exported in turn and then judged by their container rules.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "configdata/kuid.h"
#include "configdata/tdb_container_tag.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/tag.h"
#include "validation/tag_vocabulary.h"

namespace DUVLib {

namespace {

ErrorHandler* Handler() {
    return ErrorHandler::Instance();
}

void ErrorOn(Tag* tag, const Kiv::PString& text) {
    if (ErrorHandler* h = Handler()) h->Error(text, tag);
}
void WarningOn(Tag* tag, const Kiv::PString& text) {
    if (ErrorHandler* h = Handler()) h->Warning(text, tag);
}

const Kiv::PString& OwnerName(const Tag* tag) {
    static const Kiv::PString none;
    return tag->container != nullptr ? tag->container->GetName() : none;
}

// The base-10 integer a value spells (0 for none); a number beyond 32 bits is held at the end
// of the range rather than wrapped.
int32_t IntOf(const Kiv::PString& value) {
    if (value.IsEmpty()) return 0;
    errno = 0;
    const long long v = std::strtoll(value.c_str(), nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

float FloatOf(const Kiv::PString& value) {
    return value.IsEmpty() ? 0.0f : static_cast<float>(std::atof(value.c_str()));
}

KUID KUIDOf(const Kiv::PString& value) {
    return value.IsEmpty() ? KUID::kNull : KUID::FromText(value.view(), false);
}

// The build in hundredths as the writers compare it.
double BuildTimes100() {
    return static_cast<double>(DataManager::Instance().GetBuild()) * 100.0;
}

// The names of the tag's container and its ancestors below the root, outermost first.
std::string ContainerPath(const Tag* tag) {
    std::string path;
    for (const Container* c = tag->container; c != nullptr && c->GetParent() != nullptr;
         c = c->GetParent())
        path = path.empty() ? c->GetName().str() : c->GetName().str() + "\\" + path;
    return path;
}

// Export's rewrite of the kinds the check derives back to the kinds a config names.
Kiv::PString ExportedKind(const Kiv::PString& value) {
    const Kiv::PString kind = value.ToLower();
    if (kind == Voc(TagWord::kDoubleTrack) || kind == Voc(TagWord::kTunnel))
        return Voc(TagWord::kBridge);
    if (kind == Voc(TagWord::kChunkyTrack) || kind == Voc(TagWord::kMeshReducingTrack) ||
        kind == Voc(TagWord::kObsoleteTrack))
        return Voc(TagWord::kTrack);
    if (kind == Voc(TagWord::kSceneryTrackside)) return Voc(TagWord::kScenery);
    return kind;
}

struct FileExtensions {
    TagWord datatype;
    const char* filepath[5];
    const char* filepathedit[5];
    const char* message;
};
const FileExtensions kFileExtensions[] = {
    {TagWord::kMeshes,
     {"im", "lm", "lm.txt", "pm", "srt"},
     {"im", "lm", "txt", "pm", "srt"},
     "$duv_container_nomeshext"},
    {TagWord::kImage,
     {"bmp", "tga", "jpg", "texture", "txt"},
     {"bmp", "tga", "jpg", "texture", "txt"},
     "$duv_container_nopictureext"},
    {TagWord::kAnimation, {"kin"}, {"kin"}, "$duv_container_noanimationext"},
};

}  // namespace

bool Container::Export(TDBTagRef& output) {
    if (extensions_ != nullptr) {
        output.EnsureContainer();
        TDBContainerTag::RemoveTag(output, Voc(TagWord::kExtensions));
        output->AddChild(Voc(TagWord::kExtensions), TDBContainerTag::Clone(*extensions_));
        return true;
    }
    bool result = true;
    for (Tag* tag : tags_) {
        if (tag->name == Voc(TagWord::kKind)) tag->value = ExportedKind(tag->value);
        const int code = tag->datatype;
        bool ok = true;
        switch (code) {
            case 0:
                if (result) ok = WriteFloat(tag, output);
                break;
            case 1:
                if (result) ok = WriteString(tag, output);
                break;
            case 3:
                ok = WriteInt(tag, output);
                break;
            case 4:
                ok = WriteBool(tag, output);
                break;
            case 5:
                ok = WriteVector2(tag, output);
                break;
            case 6:
                ok = WriteVector3(tag, output);
                break;
            case 7:
                ok = WriteVector4(tag, output);
                break;
            case 8:
                ok = WriteVector5(tag, output);
                break;
            case 9:
                ok = WriteFloatList(tag, output);
                break;
            case 10:
                ok = WriteCombobox(tag, output);
                break;
            case 11:
                ok = WriteIntCombobox(tag, output);
                break;
            case 12:
                ok = WriteListbox(tag, output);
                break;
            case 13:
                ok = WriteDoubleString(tag, output);
                break;
            case 14:
                ok = WriteKUID(tag, output);
                break;
            case 15:
                ok = WriteFilePath(tag, output);
                break;
            case 16:
                ok = WriteFilePathEdit(tag, output);
                break;
            case 17:
                ok = WriteStringKUID(tag, output);
                break;
            case 18:
                ok = WriteKUIDBrowser(tag, output);
                break;
            case 19:
                ok = WriteStringKUIDBrowser(tag, output);
                break;
            case 20:
                ok = WriteUndefined(tag, output);
                break;
            default:
                break;  // code 2 exports nothing
        }
        result = result && ok;
    }
    ErrorHandler* handler = Handler();
    for (Container* sub : std::vector<Container*>(subContainers_)) {
        if (handler != nullptr && handler->WantsNotices())
            handler->ExportNotice(
                Kiv::PString(
                    FormatFinding("now exporting the container %s", {sub->GetName()}).view()),
                sub);
        const Kiv::PString& key =
            sub->GetSavingName().IsEmpty() ? sub->GetName() : sub->GetSavingName();
        output.EnsureContainer();
        TDBTagRef child = TDBTagRef::Adopt(new TDBContainerTag());
        TDBContainerTag::RemoveTag(output, key);
        output->AddChild(key, child);
        if (!sub->Export(child)) result = false;
        if (!sub->RunContainerRules()) result = false;
    }
    return result;
}

bool Container::WriteFloat(Tag* tag, TDBTagRef& out) {
    const bool result = tag->RunValidators();
    TDBContainerTag::SetFloat(out, tag->name, FloatOf(tag->value));
    return result;
}

bool Container::WriteInt(Tag* tag, TDBTagRef& out) {
    const bool result = tag->RunValidators();
    TDBContainerTag::SetInt(out, tag->name, IntOf(tag->value));
    return result;
}

bool Container::WriteBool(Tag* tag, TDBTagRef& out) {
    const bool result = tag->RunValidators();
    TDBContainerTag::SetInt(out, tag->name, tag->value == Voc(TagWord::kOne) ? 1 : 0);
    return result;
}

bool Container::WriteString(Tag* tag, TDBTagRef& out) {
    bool result = true;
    if (!tag->value.IsEmpty()) {
        result = tag->RunValidators();
    } else if (tag->stringCheck) {
        const bool quietSound = tag->container != nullptr &&
                                tag->container->GetName() == Voc(TagWord::kSound) &&
                                BuildTimes100() < 310.0;
        if (!quietSound) {
            ErrorOn(tag, FindingText("$duv_container_emptystringerr", {tag->name, OwnerName(tag)}));
            result = false;
        }
    }
    TDBContainerTag::SetString(out, tag->name, tag->value);
    return result;
}

namespace {

bool WriteVector(Tag* tag, TDBTagRef& out, int size) {
    bool result = tag->RunValidators();
    if (size > 0 && !CheckArraySize(tag, size)) result = false;
    TDBContainerTag::SetFloatArray(out, tag->name, ParseFloatList(tag->value.view()));
    return result;
}

}  // namespace

bool Container::WriteVector2(Tag* tag, TDBTagRef& out) {
    return WriteVector(tag, out, 2);
}
bool Container::WriteVector3(Tag* tag, TDBTagRef& out) {
    return WriteVector(tag, out, 3);
}
bool Container::WriteVector4(Tag* tag, TDBTagRef& out) {
    return WriteVector(tag, out, 4);
}
bool Container::WriteVector5(Tag* tag, TDBTagRef& out) {
    return WriteVector(tag, out, 5);
}
bool Container::WriteFloatList(Tag* tag, TDBTagRef& out) {
    return WriteVector(tag, out, 0);
}

bool Container::WriteKUID(Tag* tag, TDBTagRef& out) {
    const KUID kuid = KUIDOf(tag->value);
    const bool result = tag->RunValidators();
    TDBContainerTag::SetKUID(out, tag->name, kuid);
    return result;
}

bool Container::WriteKUIDBrowser(Tag* tag, TDBTagRef& out) {
    const KUID kuid = KUIDOf(tag->value);
    bool result = tag->RunValidators();
    if (!WarnIfNullKUID(tag)) result = false;
    TDBContainerTag::SetKUID(out, tag->name, kuid);
    return result;
}

namespace {

bool WriteKeyedKUID(Tag* tag, TDBTagRef& out, bool browser) {
    const KUID kuid = KUIDOf(tag->value);
    bool result = true;
    if (tag->name.IsEmpty()) {
        ErrorOn(tag, FindingText("$duv_container_emptyname", {tag->name, OwnerName(tag)}));
        result = false;
    }
    if (!tag->RunValidators()) result = false;
    if (browser && !WarnIfNullKUID(tag)) result = false;
    TDBContainerTag::SetKUID(out, browser ? tag->name : tag->name.ToLower(), kuid);
    return result;
}

}  // namespace

bool Container::WriteStringKUID(Tag* tag, TDBTagRef& out) {
    return WriteKeyedKUID(tag, out, false);
}
bool Container::WriteStringKUIDBrowser(Tag* tag, TDBTagRef& out) {
    return WriteKeyedKUID(tag, out, true);
}

bool Container::WriteDoubleString(Tag* tag, TDBTagRef& out) {
    bool result = true;
    if (tag->name.IsEmpty()) {
        ErrorOn(tag, FindingText("$duv_container_emptyname", {tag->name, OwnerName(tag)}));
        result = false;
    }
    if (tag->value.IsEmpty())
        WarningOn(tag, FindingText("$duv_container_emptystringwarn", {tag->name, OwnerName(tag)}));
    if (!tag->RunValidators()) result = false;
    TDBContainerTag::SetString(out, tag->name.ToLower(), tag->value);
    return result;
}

bool Container::WriteIntCombobox(Tag* tag, TDBTagRef& out) {
    bool result = true;
    if (tag->value.IsEmpty()) {
        ErrorOn(tag, FindingText("$duv_container_emptycombobox", {tag->name, OwnerName(tag)}));
        result = false;
    }
    if (!tag->RunValidators()) result = false;
    TDBContainerTag::SetInt(out, tag->name, IntOf(tag->value));
    return result;
}

bool Container::WriteListbox(Tag* tag, TDBTagRef& out) {
    bool result = true;
    if (tag->value.IsEmpty()) {
        const Kiv::PString text =
            FindingText("$duv_container_emptylistbox", {tag->name, OwnerName(tag)});
        if (static_cast<int>(BuildTimes100() + 0.5) < 350) {
            WarningOn(tag, text);
        } else {
            ErrorOn(tag, text);
            result = false;
        }
    }
    if (!tag->RunValidators()) result = false;
    TDBContainerTag::SetString(out, tag->name, tag->value);
    return result;
}

bool Container::WriteCombobox(Tag* tag, TDBTagRef& out) {
    bool result = true;
    if (tag->value.IsEmpty())
        ErrorOn(tag, FindingText("$duv_container_emptycombobox", {tag->name, OwnerName(tag)}));
    DataManager& manager = DataManager::Instance();
    if (tag->hasSource && !manager.IsRegisteredName(tag->value, tag->source)) {
        Container* owner = tag->container != nullptr ? tag->container : this;
        const bool attachment = tag->source == Voc(TagWord::kAttachment);
        const Kiv::PString& definition = owner->GetTypeName();
        if (attachment && definition == Voc(TagWord::kMeshElement)) {
            const Tag* parentTag = nullptr;
            for (const Tag* t : owner->GetTags())
                if (t->name == Voc(TagWord::kAttParent)) {
                    parentTag = t;
                    break;
                }
            if (parentTag == nullptr) {
                ErrorOn(tag, FindingText("$duv_container_noattparent", {owner->GetName()}));
                result = false;
            } else if (owner->GetParent() != nullptr) {
                for (const Container* sibling : owner->GetParent()->GetSubContainers()) {
                    if (sibling->GetName() != parentTag->value) continue;
                    const MeshData* mesh = manager.MeshOf(sibling);
                    if (mesh == nullptr) continue;
                    ErrorOn(tag, FindingText("$duv_container_notavalidpossibility",
                                             {tag->value, owner->GetName(), mesh->GetFilePath()}));
                    result = false;
                }
            }
        } else if (attachment && (definition == Voc(TagWord::kEffectCorona) ||
                                  definition == Voc(TagWord::kEffectAttachment))) {
            const Container* grandparent =
                owner->GetParent() != nullptr ? owner->GetParent()->GetParent() : nullptr;
            if (const MeshData* mesh = grandparent ? manager.MeshOf(grandparent) : nullptr) {
                ErrorOn(tag, FindingText("$duv_container_notavalidpossibility",
                                         {tag->value, owner->GetName(), mesh->GetFilePath()}));
                result = false;
            }
        } else if (!manager.meshFailure && !manager.meshMessagesSuppressed) {
            ErrorOn(tag, FindingText("$duv_container_notavalidpossibility2",
                                     {tag->name, tag->value, ContainerPath(tag)}));
            result = false;
        }
    }
    if (!tag->RunValidators()) result = false;
    TDBContainerTag::SetString(out, tag->name, tag->value);
    return result;
}

namespace {

bool WriteFileReference(Tag* tag, TDBTagRef& out, bool edit) {
    bool result = true;
    if (tag->value.IsEmpty()) {
        ErrorOn(tag, FindingText("$duv_container_emptystringwarn", {tag->name, OwnerName(tag)}));
        result = false;
    }
    Kiv::File::Path path(tag->value.view());
    path.ReplaceForwardSlashes();
    for (const FileExtensions& row : kFileExtensions) {
        if (tag->fileDatatype != Voc(row.datatype)) continue;
        bool accepted = false;
        for (const char* ext : edit ? row.filepathedit : row.filepath)
            if (ext != nullptr && path.IsExt(ext)) accepted = true;
        if (!accepted) ErrorOn(tag, FindingText(row.message, {tag->name, OwnerName(tag)}));
        break;
    }
    if (!tag->RunValidators()) result = false;
    // A "texture.txt" reference names the texture it becomes.
    if (path.IsExt("txt")) {
        std::string text = path.str();
        text.resize(text.size() - 4);
        path = Kiv::File::Path(std::move(text));
    }
    TDBContainerTag::SetString(out, tag->name, Kiv::PString(path.view()));
    return result;
}

}  // namespace

bool Container::WriteFilePath(Tag* tag, TDBTagRef& out) {
    return WriteFileReference(tag, out, false);
}
bool Container::WriteFilePathEdit(Tag* tag, TDBTagRef& out) {
    return WriteFileReference(tag, out, true);
}

bool Container::WriteUndefined(Tag* tag, TDBTagRef& out) {
    TDBContainerTag::SetString(out, tag->name, tag->value);
    return true;
}

}  // namespace DUVLib
