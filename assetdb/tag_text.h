// The two text-tag operations the request wrappers need on a tag tree, over the tag access API:
// reading a text value by tag name, and setting a text in place of a same-named tag.
#pragma once

#include <string_view>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/text.h"

// The text of the child of that name when it is a text value; empty otherwise.
Kiv::String WEXReadTextTag(const TDBTagRef& container, std::string_view name);

// Removes every child of that name and adds a text value of that name. Nothing when the
// container is empty or not a container.
void WEXSetTextTag(const TDBTagRef& container, std::string_view name, std::string_view text);
