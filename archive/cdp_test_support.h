// Fixtures shared by the archive tests and benchmarks: large KUID tables made quickly.
#pragma once

#include <cstdint>

#include "configdata/tdb_container_tag.h"

namespace cdptest {

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
