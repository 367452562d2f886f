// The ".kin" animation file: the key frames of named bones over a length of time. It is the
// engine's format and so ours; this is its one reader (and, for tests and seeds, its writer).
//
//   "KIN1"                       magic
//   u32 version                  1
//   f32 length                   seconds, finite and not negative
//   u32 bone count               at most kMaxBones
//   bone count x:
//     padded string name         (platform/kiv/geom/mesh_file_support.h), not empty
//     u32 key count              at most what the remaining bytes can hold
//     key count x {f32 time, 3 x f32 position, 4 x f32 rotation x y z w}
//
// Little-endian. Every count is checked against the bytes that remain before anything is sized;
// a file that breaks a rule, ends early or has bytes after its last bone is refused whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/kiv/base/pstring.h"

namespace Kiv {

struct KinKey {
    float time = 0;
    float position[3] = {0, 0, 0};
    float rotation[4] = {0, 0, 0, 1};
};

struct KinBone {
    PString name;
    std::vector<KinKey> keys;
};

struct KinAnimation {
    static constexpr uint32_t kVersion = 1;
    static constexpr uint32_t kMaxBones = 4096;
    static constexpr size_t kKeyBytes = 32;

    float length = 0;
    std::vector<KinBone> bones;

    // Reads the bytes; false (and the animation emptied) when they are not a whole ".kin" file.
    bool Read(std::span<const uint8_t> bytes);
    // Reads the file at the path; false when it cannot be read or is not a ".kin" file.
    bool ReadFile(std::string_view path);
    std::vector<uint8_t> Write() const;
};

}  // namespace Kiv
