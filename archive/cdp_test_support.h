// Fixtures shared by the archive tests and benchmarks: configurations from their text form,
// large KUID tables made quickly, and trees nested to a given depth.
#pragma once

#include <cstdint>

#include "configdata/config_text.h"
#include "configdata/tdb_container_tag.h"

namespace cdptest {

// A configuration from its text form, as an asset's "config.txt" holds it; empty when the text
// does not parse (so a test built on it fails).
inline TDBTagRef Config(const char* text) {
    TDBTagRef root;
    if (!ParseTagTreeText(root, text, true)) return {};
    return root;
}

// A container `depth` levels down ("a" in "a" ...) holding the KUID tag "k".
inline TDBTagRef Nested(uint32_t depth, const KUID& innermost) {
    TDBTagRef root = MakeCounted<TDBContainerTag>();
    TDBTagRef at = root;
    for (uint32_t i = 0; i < depth; ++i) {
        TDBTagRef next = MakeCounted<TDBContainerTag>();
        at->AddChild(Kiv::PString("a"), next);
        at = next;
    }
    TDBContainerTag::SetKUID(at, Kiv::PString("k"), innermost);
    return root;
}

// A KUID table of `count` entries, KUID(1, i * step) under the name "i". Made by appending,
// without the per-name lookup of the setters, so that a table of many thousands is cheap.
inline TDBTagRef KUIDTable(uint32_t count, uint32_t step) {
    TDBTagRef table = MakeCounted<TDBContainerTag>();
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t bytes[8];
        KUID::PackWords(KUID(1, static_cast<int32_t>(i * step)), bytes);
        table->AddChild(Kiv::PString::Printf("%u", i),
                        TDBContainerTag::MakeTag(kTagKUID, MakeRawData(bytes, 8)));
    }
    return table;
}

// A configuration whose "kuid-table" lists KUID(1, 0 .. count - 1) and whose "obsolete-table"
// lists the even ones among them: its dependencies are the odd ones, in order.
inline TDBTagRef HalfObsoleteConfig(uint32_t count) {
    TDBTagRef config = MakeCounted<TDBContainerTag>();
    TDBTagRef needed = KUIDTable(count, 1);
    TDBTagRef obsolete = KUIDTable(count / 2, 2);
    TDBContainerTag::SetContainer(config, Kiv::PString("kuid-table"), needed);
    TDBContainerTag::SetContainer(config, Kiv::PString("obsolete-table"), obsolete);
    return config;
}

}  // namespace cdptest
