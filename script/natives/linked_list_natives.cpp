#include "script/natives/linked_list_natives.h"

#include <string_view>

#include <utility>
#include "script/vm/gs_string_array.h"

namespace ScriptNatives {

using GSRuntime::GSArray;
using GSRuntime::GSClass;
using GSRuntime::GSStack;
using GSRuntime::Ref;

namespace {

// What the natives read of one element.
struct Item {
    std::string_view text;
    uint32_t value = 0;
    GSRuntime::GSScriptInstance* object = nullptr;  // compared by instance, whatever the part
};

bool HasLinkedDataLayout(const GSClass* cls) {
    return cls->memberWordCount >= 5 && cls->wordKinds.size() >= 5 && cls->wordKinds[2] == 1 &&
           cls->wordKinds[3] == 0 && cls->wordKinds[4] == 1;
}

// The member words of `r` when it is the LinkedData part of its instance; null otherwise.
const uint32_t* LinkedDataWords(Ref r) {
    if (r == 0) return nullptr;
    GSRuntime::GSScriptInstance* h = GSRuntime::GetHeader(r);
    const GSClass* cls = h->cls;
    if (cls == nullptr) return nullptr;
    static const Kiv::PString kLinkedData("LinkedData");
    const GSClass* data = nullptr;
    int32_t part = -1;
    if (cls->name == kLinkedData) {
        data = cls;
        part = 0;
    } else {
        for (const GSRuntime::GSBaseEntry& base : cls->bases)
            if (base.cls != nullptr && base.cls->name == kLinkedData) {
                data = base.cls;
                part = base.w1;
            }
    }
    if (data == nullptr || part < 0 || !HasLinkedDataLayout(data) ||
        r != h->PrimaryRef() + 4 * static_cast<uint32_t>(part))
        return nullptr;
    return GSRuntime::RefWords(r);
}

Item Read(Ref r) {
    Item item;
    const uint32_t* words = LinkedDataWords(r);
    if (words == nullptr) return item;
    if (words[2] != 0)
        if (auto* s = dynamic_cast<GSRuntime::GSString*>(GSRuntime::GetOwner(words[2])))
            item.text = s->text;
    item.value = words[3];
    if (words[4] != 0) item.object = GSRuntime::GetHeader(words[4]);
    return item;
}

// The engine's string order: bytes compared as unsigned, a prefix first.
int Compare(std::string_view a, std::string_view b) {
    return a.compare(b);
}

GSArray* ArrayParam(GSStack& frame) {
    const Ref r = frame.GetWord(1);
    auto* array = r != 0 ? dynamic_cast<GSArray*>(GSRuntime::GetOwner(r)) : nullptr;
    return array != nullptr && array->elementKind == 1 ? array : nullptr;
}

}  // namespace

void LinkedListSortInternal(GSRuntime::GSContext*, GSStack& frame) {
    GSArray* list = ArrayParam(frame);
    if (list == nullptr) return;
    for (uint32_t i = 0; i < list->count; ++i) {
        uint32_t lowest = i;
        Item low = Read(list->elements[i]);
        for (uint32_t j = i + 1; j < list->count; ++j) {
            Item candidate = Read(list->elements[j]);
            if (Compare(candidate.text, low.text) < 0) {
                lowest = j;
                low = candidate;
            }
        }
        if (lowest != i) std::swap(list->elements[i], list->elements[lowest]);
    }
}

void LinkedListAddInternal(GSRuntime::GSContext*, GSStack& frame) {
    GSArray* list = ArrayParam(frame);
    const Ref item = frame.GetWord(2);
    if (list == nullptr || LinkedDataWords(item) == nullptr) return;
    if (frame.GetWord(3) != 0) {
        const Item wanted = Read(item);
        for (uint32_t i = 0; i < list->count; ++i) {
            const Item e = Read(list->elements[i]);
            if (Compare(e.text, wanted.text) == 0 && e.value == wanted.value &&
                e.object == wanted.object)
                return;
        }
    }
    const uint32_t at = list->count;
    if (!list->Resize(static_cast<int32_t>(at) + 1)) return;
    list->elements[at] = item;
    GSRuntime::AddReference(item);
}

}  // namespace ScriptNatives
