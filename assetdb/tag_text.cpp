#include "assetdb/tag_text.h"

#include "configdata/tdb_container_tag.h"

Kiv::String WEXReadTextTag(const TDBTagRef& container, std::string_view name) {
    if (!container) return {};
    Kiv::PString key(name);
    // Only a text value counts: a number where a text is expected is not converted.
    uint32_t type = TDBContainerTag::GetTagType(container, key);
    if (type != kTagText && type != kTagTextLike) return {};
    return Kiv::String(TDBContainerTag::GetString(container, key).view());
}

void WEXSetTextTag(const TDBTagRef& container, std::string_view name, std::string_view text) {
    if (!container || container->GetType() != kTagContainer) return;
    TDBTagRef target = container;
    TDBContainerTag::SetString(target, Kiv::PString(name), Kiv::PString(text));
}
