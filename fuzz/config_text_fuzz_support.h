// Shared by the text config fuzz targets: parsing bytes into a tree and writing a tree as text,
// with the checks every tree the parser makes must pass.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "configdata/config_text.h"

namespace textfuzz {

inline TDBTagRef Parse(const uint8_t* data, size_t size) {
    TDBTagRef tree;
    ParseTagTreeText(tree, std::string_view(reinterpret_cast<const char*>(data), size), false);
    return tree;
}

// The tree as text; the parser never nests deeper than the writer accepts.
inline std::string Text(const TDBTagRef& tree) {
    std::string text;
    if (!AppendTagTreeText(tree, text)) std::abort();
    return text;
}

}  // namespace textfuzz
