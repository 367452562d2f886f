// Test support for tag trees and binary soups: hand-made soup bytes (for fixtures the writer
// would never produce), reading and writing through memory streams, and a text dump of a tree
// that two trees are compared by.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "configdata/soup_format.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"

namespace souptest {

inline std::string U32(uint32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

// One chunk: N and L computed from the name (its NUL added) and the data.
inline std::string Chunk(std::string_view name, uint8_t typeByte, std::string_view data) {
    std::string c = U32(static_cast<uint32_t>(name.size() + 1 + 2 + data.size()));
    c += static_cast<char>(name.size() + 1);
    c += name;
    c += '\0';
    c += static_cast<char>(typeByte);
    c += data;
    return c;
}

inline std::string Header(uint32_t version, uint32_t bodySize, uint32_t magic = kSoupMagic) {
    return U32(magic) + U32(version) + U32(0) + U32(bodySize);
}

inline std::string SoupFile(std::string_view body, uint32_t version = 1) {
    return Header(version, static_cast<uint32_t>(body.size())) + std::string(body);
}

// Reads soup bytes; *accepted receives the reader's result.
inline TDBTagRef Read(const std::string& bytes, bool* accepted = nullptr) {
    TBuffer stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    TDBTagRef root;
    bool ok = ReadTagTreeBinary(stream, root);
    if (accepted != nullptr) *accepted = ok;
    return root;
}

// The written bytes ("" when the writer refused).
inline std::string Write(const TDBTagRef& root) {
    TBuffer stream;
    if (!WriteTagTreeBinary(root, stream)) return "";
    return std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetDataLength());
}

inline TDBTagRef NewContainer() {
    return MakeCounted<TDBContainerTag>();
}

// Adds a value child made from the bytes; returns the new node.
inline TDBTagRef AddValue(const TDBTagRef& parent, const char* name, uint32_t type,
                          std::string_view bytes) {
    TDBTagRef node = parent->CreateTag(type, MakeRawData(bytes.data(), bytes.size()));
    parent->AddChild(Kiv::PString(name), node);
    return node;
}

inline TDBTagRef AddContainer(const TDBTagRef& parent, const char* name) {
    TDBTagRef node = parent->CreateTag(kTagContainer, {});
    parent->AddChild(Kiv::PString(name), node);
    return node;
}

inline std::string Bytes(const ACSChunk& node) {
    return std::string(static_cast<const char*>(node.GetData()), node.GetDataSize());
}

// The names of the children in index order; every index below the count must answer, and
// the one at the count must not.
inline std::vector<std::string> Names(const ACSChunk& node) {
    std::vector<std::string> out;
    Kiv::PString name;
    TDBTagRef child;
    uint32_t count = node.GetChildCount();
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_TRUE(node.GetChildAt(i, name, child)) << i;
        out.push_back(name.str());
    }
    EXPECT_FALSE(node.GetChildAt(count, name, child));
    EXPECT_TRUE(name.IsNull());
    EXPECT_FALSE(child);
    return out;
}

inline std::vector<std::string> Names(const TDBTagRef& node) {
    return Names(*node);
}

// "name:type=hex" for values, "name{...}" for containers, children in index order.
inline std::string Dump(const ACSChunk& node) {
    std::string out;
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; node.GetChildAt(i, name, child); ++i) {
        out += name.str();
        if (child->GetType() == kTagContainer) {
            out += "{" + Dump(*child) + "}";
        } else {
            out += ":" + std::to_string(child->GetType()) + "=";
            for (unsigned char ch : Bytes(*child)) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", ch);
                out += hex;
            }
        }
        out += ";";
    }
    return out;
}

inline std::string Dump(const TDBTagRef& root) {
    return root ? Dump(*root) : std::string("<empty>");
}

// The values as a reader thinks of them: "name=int:1,2", "name=float:0.5", "name=text:abc",
// "name=kuid:user:content:version", "name=empty", "name{...}", children joined by " ".
inline std::string Describe(const ACSChunk& node) {
    std::string out;
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; node.GetChildAt(i, name, child); ++i) {
        if (i != 0) out += " ";
        out += name.str();
        std::string bytes = Bytes(*child);
        char number[64];
        switch (child->GetType()) {
            case kTagContainer:
                out += "{" + Describe(*child) + "}";
                continue;
            case kTagEmpty:
                out += "=empty";
                continue;
            case kTagText:
                out += "=text:" + std::string(bytes.c_str());
                continue;
            case kTagKUID: {
                out += "=kuid:";
                if (bytes.size() != 8) {
                    out += "?";
                    continue;
                }
                KUID k = KUID::UnpackWords(bytes.data());
                std::snprintf(number, sizeof number, "%d:%d:%d", k.userId, k.contentId, k.version);
                out += number;
                continue;
            }
            case kTagInt:
            case kTagFloat:
                out += child->GetType() == kTagInt ? "=int:" : "=float:";
                for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
                    if (at != 0) out += ",";
                    if (child->GetType() == kTagInt) {
                        int32_t v;
                        std::memcpy(&v, bytes.data() + at, 4);
                        std::snprintf(number, sizeof number, "%d", v);
                    } else {
                        float v;
                        std::memcpy(&v, bytes.data() + at, 4);
                        std::snprintf(number, sizeof number, "%.9g", v);
                    }
                    out += number;
                }
                continue;
            default:
                break;
        }
        out += "=type" + std::to_string(child->GetType());
    }
    return out;
}

inline std::string Describe(const TDBTagRef& root) {
    return root ? Describe(*root) : std::string("<empty>");
}

}  // namespace souptest
