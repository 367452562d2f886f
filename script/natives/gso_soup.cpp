#include "script/natives/gso_soup.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "configdata/config_text.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "script/natives/gso_kuid.h"
#include "script/natives/native_frame.h"
#include "script/vm/gs_context.h"

namespace ScriptNatives {

using GSRuntime::GSStack;

namespace {

int32_t IntParam(GSStack& frame, uint32_t slot) {
    return static_cast<int32_t>(frame.GetWord(slot));
}

// True when `target` is `root` or a node below it. Nodes shared within the tree are walked
// once, so a tree of shared sub-soups costs its distinct nodes, not its paths.
bool Holds(const TDBTagRef& root, const ACSChunk* target) {
    if (root.Get() == nullptr || target == nullptr) return false;
    std::vector<TDBTagRef> pending{root};
    std::unordered_set<const ACSChunk*> seen{root.Get()};
    Kiv::PString name;
    TDBTagRef child;
    while (!pending.empty()) {
        TDBTagRef node = std::move(pending.back());
        pending.pop_back();
        if (node.Get() == target) return true;
        const uint32_t count = node->GetChildCount();
        for (uint32_t i = 0; i < count; ++i)
            if (node->GetChildAt(i, name, child) && child.Get() != nullptr &&
                seen.insert(child.Get()).second)
                pending.push_back(child);
    }
    return false;
}

}  // namespace

bool GSOSoup::WalksTooManyTags(const TDBTagRef& tree) {
    if (tree.Get() == nullptr) return false;
    // No memory of nodes seen: a shared node is counted in every place, as the walks visit it,
    // and the count stops the walk long before it could grow.
    std::vector<TDBTagRef> pending{tree};
    uint32_t visited = 0;
    Kiv::PString name;
    TDBTagRef child;
    while (!pending.empty()) {
        TDBTagRef node = std::move(pending.back());
        pending.pop_back();
        const uint32_t count = node->GetChildCount();
        for (uint32_t i = 0; i < count; ++i) {
            if (!node->GetChildAt(i, name, child)) continue;
            if (++visited > kMaxWalkedTags) return true;
            if (child.Get() != nullptr && child->GetChildCount() != 0) pending.push_back(child);
        }
    }
    return false;
}

GSOSoup::GSOSoup(GSRuntime::GSContext* context) {
    if (GSRuntime::GSClass* cls = GetClassSlot(kSoup)) Instantiate(cls, context);
}

GSOSoup::GSOSoup(GSRuntime::GSContext* context, const TDBTagRef& soup, bool locked)
    : soup_(soup), locked_(locked) {
    if (GSRuntime::GSClass* cls = GetClassSlot(kSoup)) Instantiate(cls, context);
}

GSRuntime::GSContext* GSOSoup::OwnContext() const {
    return context != nullptr ? context : GSRuntime::CurrentContext();
}

bool GSOSoup::NameParam(GSStack& frame, Kiv::PString& name) {
    if (!GetNativeStringParam(frame, 1, name, false)) return false;
    name = name.ToLower();
    return true;
}

bool GSOSoup::RefusedAsTooLarge(const char* native) const {
    if (!WalksTooManyTags(soup_)) return false;
    RaiseNativeError("%s> soup holds more than %u tags", native, kMaxWalkedTags);
    return true;
}

bool GSOSoup::RefusedAsLocked(const char* native) const {
    if (!locked_) return false;
    RaiseNativeError("%s> parent soup is locked", native);
    return true;
}

bool GSOSoup::RefusedSubSoup(const char* native, const GSOSoup* sub) const {
    if (RefusedAsLocked(native)) return true;
    if (sub->locked_) {
        RaiseNativeError("%s> sub-soup parameter is locked", native);
        return true;
    }
    if (!soup_.IsEmpty() && Holds(sub->soup_, soup_.Get())) {
        RaiseNativeError("%s> sub-soup parameter holds this soup", native);
        return true;
    }
    return false;
}

void GSOSoup::PushNewSoup(GSStack& frame, const TDBTagRef& soup, bool locked) const {
    PushNewObject(frame, new (std::nothrow) GSOSoup(OwnContext(), soup, locked), kSoup);
}

void GSOSoup::CountTags(GSStack& frame) {
    frame.Push(TDBContainerTag::CountChildren(soup_));
}

void GSOSoup::GetNamedTag(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name)) return;
    frame.PushPString(TDBContainerTag::GetString(soup_, name));
}

void GSOSoup::GetNamedSoup(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name)) return;
    PushNewSoup(frame, TDBContainerTag::GetContainer(soup_, name), locked_);
}

void GSOSoup::GetNamedSoupAdd(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name) || RefusedAsLocked("Soup.GetNamedSoupAdd")) return;
    TDBTagRef sub = TDBContainerTag::GetContainer(soup_, name);
    if (sub.IsEmpty()) {
        sub.EnsureContainer();
        TDBContainerTag::SetContainer(soup_, name, sub);
    }
    PushNewSoup(frame, sub, false);
}

void GSOSoup::GetIndexedTagName(GSStack& frame) {
    frame.PushPString(TDBContainerTag::GetChildName(soup_, frame.GetWord(1)));
}

void GSOSoup::GetIndexForNamedTag(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name)) return;
    int32_t found = -1;
    const uint32_t count = TDBContainerTag::CountChildren(soup_);
    for (uint32_t i = 0; i < count && found < 0; ++i)
        if (TDBContainerTag::GetChildName(soup_, i) == name) found = static_cast<int32_t>(i);
    frame.Push(static_cast<uint32_t>(found));
}

void GSOSoup::GetNamedTagAsKUID(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name)) return;
    GSOKUID::Push(frame, OwnContext(), TDBContainerTag::GetKUID(soup_, name, KUID::kNull));
}

void GSOSoup::GetNamedTagAsInt(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name)) return;
    frame.Push(static_cast<uint32_t>(TDBContainerTag::GetInt(soup_, name, 0)));
}

void GSOSoup::GetNamedTagAsIntOr(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name)) return;
    frame.Push(static_cast<uint32_t>(TDBContainerTag::GetInt(soup_, name, IntParam(frame, 2))));
}

void GSOSoup::GetNamedTagAsFloat(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name)) return;
    frame.PushFloat(TDBContainerTag::GetFloat(soup_, name, 0.0f));
}

void GSOSoup::GetNamedTagAsFloatOr(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name)) return;
    frame.PushFloat(TDBContainerTag::GetFloat(soup_, name, frame.GetFloat(2)));
}

void GSOSoup::SetNamedTagString(GSStack& frame) {
    Kiv::PString name, value;
    if (!NameParam(frame, name) || RefusedAsLocked("Soup.SetNamedTag")) return;
    GetNativeStringParam(frame, 2, value, true);
    TDBContainerTag::SetString(soup_, name, value);
}

void GSOSoup::SetNamedTagFloat(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name) || RefusedAsLocked("Soup.SetNamedTag")) return;
    TDBContainerTag::SetFloat(soup_, name, frame.GetFloat(2));
}

void GSOSoup::SetNamedTagInt(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name) || RefusedAsLocked("Soup.SetNamedTag")) return;
    TDBContainerTag::SetInt(soup_, name, IntParam(frame, 2));
}

void GSOSoup::SetNamedTagKUID(GSStack& frame) {
    Kiv::PString name;
    GSOKUID* kuid = nullptr;
    if (!NameParam(frame, name) || RefusedAsLocked("Soup.SetNamedKUID") ||
        !GetNativeObjectParam(frame, 2, kuid, true))
        return;
    TDBContainerTag::SetKUID(soup_, name, kuid != nullptr ? KUID(*kuid) : KUID::kNull);
}

void GSOSoup::SetNamedSoup(GSStack& frame) {
    Kiv::PString name;
    GSOSoup* sub = nullptr;
    if (!NameParam(frame, name) || !GetNativeObjectParam(frame, 2, sub, false) ||
        RefusedSubSoup("Soup.SetNamedTag", sub))
        return;
    TDBContainerTag::SetContainer(soup_, name, sub->soup_);
}

void GSOSoup::RemoveNamedTag(GSStack& frame) {
    Kiv::PString name;
    if (!NameParam(frame, name) || RefusedAsLocked("Soup.RemoveNamedTag")) return;
    TDBContainerTag::RemoveTag(soup_, name);
}

void GSOSoup::Copy(GSStack& frame) {
    GSOSoup* source = nullptr;
    if (!GetNativeObjectParam(frame, 1, source, false) || RefusedAsLocked("Soup.Copy") ||
        source->RefusedAsTooLarge("Soup.Copy"))
        return;
    // The copy is made before the own tree is let go: the source may be this very soup.
    TDBTagRef copy = TDBContainerTag::Clone(source->soup_);
    if (copy.Get() == nullptr) {
        RaiseNativeError("Soup.Copy> soup nests deeper than %u levels", kMaxTagTreeDepth);
        return;
    }
    soup_ = std::move(copy);
}

void GSOSoup::Clear(GSStack&) {
    if (RefusedAsLocked("Soup.Clear")) return;
    soup_.Reset();
}

void GSOSoup::IsLocked(GSStack& frame) {
    frame.Push(locked_ ? 1u : 0u);
}

void GSOSoup::GetLockedReference(GSStack& frame) {
    soup_.EnsureContainer();
    if (locked_) {
        frame.PushObject(this, GetClassSlot(kSoup));
        return;
    }
    // A view that can only read: what the name promises to the script that hands it on.
    PushNewSoup(frame, soup_, true);
}

void GSOSoup::AddUniqueNamedSoup(GSStack& frame) {
    GSOSoup* sub = nullptr;
    if (!GetNativeObjectParam(frame, 1, sub, false) ||
        RefusedSubSoup("Soup.AddUniqueNamedSoup", sub))
        return;
    const Kiv::PString name = TDBContainerTag::GetFreeNumericName(soup_);
    TDBContainerTag::SetContainer(soup_, name, sub->soup_);
}

void GSOSoup::Log(GSStack&) {
    if (RefusedAsTooLarge("Soup.Log")) return;
    std::string text;
    if (!AppendTagTreeText(soup_, text)) {
        RaiseNativeError("Soup.Log> soup nests deeper than %u levels", kMaxTagTreeDepth);
        return;
    }
    LogOutputf("%s", text.c_str());
}

void GSOSoup::AsString(GSStack& frame) {
    if (RefusedAsTooLarge("Soup.AsString")) return;
    std::string text;
    text.reserve(512);
    if (!AppendTagTreeText(soup_, text)) {
        RaiseNativeError("Soup.AsString> soup nests deeper than %u levels", kMaxTagTreeDepth);
        return;
    }
    frame.PushString(text);
}

const char* GSOSoup::MessageData(GSRuntime::GSObjectReference* object, CountedRef<ACSChunk>& data) {
    data = {};
    const auto* soup = dynamic_cast<const GSOSoup*>(object);
    if (soup == nullptr) return nullptr;
    if (WalksTooManyTags(soup->soup_)) return "holds too many tags";
    TDBTagRef copy = TDBContainerTag::Clone(soup->soup_);
    if (copy.Get() == nullptr) return "nests too deep";
    std::vector<TDBTagRef> hidden;
    Kiv::PString name;
    TDBTagRef child;
    const uint32_t count = copy->GetChildCount();
    for (uint32_t i = 0; i < count; ++i)
        if (copy->GetChildAt(i, name, child) && name.view().starts_with("__"))
            hidden.push_back(child);
    for (const TDBTagRef& node : hidden)
        copy->RemoveChild(node);
    data = std::move(copy);
    return nullptr;
}

GSRuntime::Ref GSOSoup::MessageSoup(GSRuntime::GSContext* context,
                                    const CountedRef<ACSChunk>& data) {
    if (data.Get() == nullptr) return 0;
    auto* soup = new (std::nothrow) GSOSoup(context, TDBTagRef(data), true);
    if (soup == nullptr) return 0;
    if (soup->instance == 0) {
        delete soup;
        return 0;
    }
    return GetClassSlot(kSoup) != nullptr
               ? GSRuntime::GetClassData(GSRuntime::GetHeader(soup->instance), GetClassSlot(kSoup))
               : soup->instance;
}

}  // namespace ScriptNatives
