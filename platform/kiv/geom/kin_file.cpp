#include "platform/kiv/geom/kin_file.h"

#include <cmath>
#include <cstring>

#include "platform/kiv/base/file.h"
#include "platform/kiv/base/memory_file.h"
#include "platform/kiv/geom/mesh_file_support.h"

namespace Kiv {

namespace {

constexpr char kMagic[4] = {'K', 'I', 'N', '1'};

bool ReadBody(MemoryFile& in, KinAnimation& out) {
    char magic[4];
    uint32_t version = 0, bones = 0;
    if (!in.Read(magic, 4) || std::memcmp(magic, kMagic, 4) != 0) return false;
    if (!in.Read(version) || version != KinAnimation::kVersion) return false;
    if (!in.Read(out.length) || !std::isfinite(out.length) || out.length < 0) return false;
    if (!in.Read(bones) || bones > KinAnimation::kMaxBones) return false;
    // A bone takes at least eight bytes (a name's four and its key count).
    if (bones > in.Remaining() / 8) return false;
    out.bones.reserve(bones);
    for (uint32_t b = 0; b < bones; ++b) {
        KinBone bone;
        std::string name;
        if (!MeshFileSupport::ReadPaddedString(in, in.GetSize(), name) || name.empty())
            return false;
        bone.name = PString(name);
        uint32_t keys = 0;
        if (!in.Read(keys) || keys > in.Remaining() / KinAnimation::kKeyBytes) return false;
        bone.keys.resize(keys);
        for (KinKey& key : bone.keys) {
            if (!in.Read(key.time) || !in.Read(key.position) || !in.Read(key.rotation))
                return false;
        }
        out.bones.push_back(std::move(bone));
    }
    return in.Remaining() == 0;
}

}  // namespace

bool KinAnimation::Read(std::span<const uint8_t> bytes) {
    MemoryFile in;
    in.OpenBytes(bytes);
    *this = KinAnimation();
    if (ReadBody(in, *this)) return true;
    *this = KinAnimation();
    return false;
}

bool KinAnimation::ReadFile(std::string_view path) {
    File file;
    if (!file.Open(path, File::kModeRead)) return false;
    MemoryFile in;
    if (!in.Open(file)) return false;
    return Read(std::span<const uint8_t>(in.Data(), in.GetSize()));
}

std::vector<uint8_t> KinAnimation::Write() const {
    MeshOutput out;
    out.Write(kMagic, 4);
    out.WriteU32(kVersion);
    out.WriteF32(length);
    out.WriteU32(static_cast<uint32_t>(bones.size()));
    for (const KinBone& bone : bones) {
        MeshFileSupport::WritePaddedString(out, bone.name.view());
        out.WriteU32(static_cast<uint32_t>(bone.keys.size()));
        for (const KinKey& key : bone.keys) {
            out.WriteF32(key.time);
            for (float v : key.position)
                out.WriteF32(v);
            for (float v : key.rotation)
                out.WriteF32(v);
        }
    }
    return out.Take();
}

}  // namespace Kiv
