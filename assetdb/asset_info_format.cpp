#include "assetdb/asset_info_format.h"

#include "foundation/tstream.h"

namespace {

// Reads `count` bools as the low bits of a byte, bit 0 first.
uint8_t ReadBits(TStream& stream, int count) {
    uint8_t bits = 0;
    for (int i = 0; i < count; ++i) {
        bool b;
        stream.ReadBool(b, false);
        if (b) bits |= static_cast<uint8_t>(1u << i);
    }
    return bits;
}

void WriteBits(TStream& stream, uint8_t bits, int count) {
    for (int i = 0; i < count; ++i)
        stream.WriteBool((bits >> i) & 1);
}

constexpr int kThreeBits = 3;
constexpr int kEightBits = 8;

}  // namespace

void WEXReadAssetInfo(TStream& stream, WEXAssetInfo& info) {
    const WEXAssetInfo defaults;
    info.asset.Read(stream);
    stream.ReadString(info.name);
    stream.ReadString(info.region);
    stream.ReadString(info.keywords);
    info.statusA = ReadBits(stream, kEightBits);
    info.statusB = ReadBits(stream, kEightBits);
    info.statusC = ReadBits(stream, kThreeBits);
    stream.ReadU32(info.authorId, defaults.authorId);
    stream.ReadPString(info.authorName);
    stream.ReadString(info.era);
    stream.ReadU32(info.fileSize, defaults.fileSize);
    stream.ReadPString(info.categoryCodes);
    stream.ReadString(info.userName);
    info.statusD = ReadBits(stream, kThreeBits);
    uint32_t rating;
    stream.ReadU32(rating, defaults.rating);
    info.rating = static_cast<uint8_t>(rating);
    stream.ReadFloat(info.build, defaults.build);
    stream.ReadU64(info.installedAt, defaults.installedAt);
    stream.ReadU64(info.modifiedAt, defaults.modifiedAt);
    info.parent.Read(stream);
    stream.ReadBool(info.buildKnown, defaults.buildKnown);
}

bool WEXWriteAssetInfo(TStream& stream, const WEXAssetInfo& info) {
    uint32_t before = stream.GetError();
    info.asset.Write(stream);
    stream.WriteString(info.name.view());
    stream.WriteString(info.region.view());
    stream.WriteString(info.keywords.view());
    WriteBits(stream, info.statusA, kEightBits);
    WriteBits(stream, info.statusB, kEightBits);
    WriteBits(stream, info.statusC, kThreeBits);
    stream.WriteU32(info.authorId);
    stream.WritePString(info.authorName);
    stream.WriteString(info.era.view());
    stream.WriteU32(info.fileSize);
    stream.WritePString(info.categoryCodes);
    stream.WriteString(info.userName.view());
    WriteBits(stream, info.statusD, kThreeBits);
    stream.WriteU32(uint32_t{info.rating});
    stream.WriteFloat(info.build);
    stream.WriteU64(info.installedAt);
    stream.WriteU64(info.modifiedAt);
    info.parent.Write(stream);
    stream.WriteBool(info.buildKnown);
    return before == TStream::kErrorNone && !stream.HasError();
}
