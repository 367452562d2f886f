// The two text-tag operations the request wrappers need on a tag tree, over the tag access API:
// reading a value as text by tag name, and setting a text in place of a same-named tag.
#pragma once

#include <string_view>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/text.h"

// The value of the child of that name as text; empty when there is none.
Kiv::String WEXReadTextTag(const TDBTagRef& container, std::string_view name);

// Removes every child of that name and adds a text value of that name. Nothing when the
// container is empty or not a container.
void WEXSetTextTag(const TDBTagRef& container, std::string_view name, std::string_view text);
