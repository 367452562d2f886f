#include "assetdb/tag_text.h"

#include <cstring>
#include <string>

Kiv::String WEXReadTextTag(const TDBTagRef& container, std::string_view name) {
    if (!container) return {};
    TDBTagRef child = container->FindChild(Kiv::PString(name));
    if (!child || (child->GetType() != kTagText && child->GetType() != kTagTextLike)) return {};
    const char* bytes = static_cast<const char*>(child->GetData());
    if (bytes == nullptr) return {};
    return Kiv::String(bytes, ::strnlen(bytes, child->GetDataSize()));
}

void WEXSetTextTag(const TDBTagRef& container, std::string_view name, std::string_view text) {
    if (!container || container->GetType() != kTagContainer) return;
    Kiv::PString key(name);
    for (TDBTagRef old = container->FindChildForEdit(key); old && !old.IsNullChunk();
         old = container->FindChildForEdit(key)) {
        uint32_t before = container->GetChildCount();
        container->RemoveChild(old);
        if (container->GetChildCount() == before) break;  // a node the container cannot drop
    }
    std::string bytes(text);
    bytes.push_back('\0');
    TDBTagRef value = container->CreateTag(
        kTagText, MakeRawData(bytes.data(), static_cast<uint32_t>(bytes.size())));
    container->AddChild(key, value);
}
