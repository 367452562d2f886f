// The LZSS block coder: exact round trips at every level, the block format pinned by hand-made
// blocks, and refusal of every malformed block without writing past the destination.
#include "platform/kiv/os/lzss.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromText(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Deterministic bytes that do not compress.
Bytes Noise(size_t n, uint32_t seed) {
    Bytes out(n);
    for (uint8_t& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return out;
}

Bytes Pack(const Bytes& in, int level) {
    Bytes out(Kiv::LZSSCompress::CompressBound(static_cast<uint32_t>(in.size())));
    Kiv::LZSSCompress coder;
    uint32_t n = coder.CompressBlock(in.data(), static_cast<uint32_t>(in.size()), out.data(),
                                     static_cast<uint32_t>(out.size()), level);
    EXPECT_GT(n, 0u);
    out.resize(n);
    return out;
}

// Unpacks into a destination of exactly `capacity` bytes (ASan sees any write past it).
uint32_t Unpack(const Bytes& block, uint32_t capacity, Bytes& out) {
    out.assign(capacity, 0);
    Kiv::LZSSCompress coder;
    return coder.DecompressBlock(block.data(), static_cast<uint32_t>(block.size()), out.data(),
                                 capacity);
}

TEST(LZSSCompress, RoundTripsExactlyAtEveryLevel) {
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "kuid-table { 0 <kuid:" + std::to_string(i % 37) + ":1000> }\n";
    Bytes farRepeat = Noise(5000, 7);
    Bytes tail(farRepeat.begin(), farRepeat.begin() + 100);
    farRepeat.insert(farRepeat.end(), tail.begin(), tail.end());  // 5000 back: out of reach
    Bytes mixed = Noise(3000, 9);
    mixed.insert(mixed.end(), 20000, 0);
    mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 4096);  // exactly at the window

    const struct {
        const char* name;
        Bytes data;
    } cases[] = {
        {"empty", {}},
        {"one byte", {0x41}},
        {"three equal", {7, 7, 7}},
        {"a long run", Bytes(100000, 0x20)},
        {"a short period", FromText(std::string(999, 'x') + "abcabcabcabcabcabcabcabc")},
        {"text", FromText(text)},
        {"noise", Noise(70000, 3)},
        {"repeat beyond the window", farRepeat},
        {"mixed", mixed},
    };
    for (const auto& c : cases) {
        for (int level : {0, 1, 4, 9, 12}) {
            Bytes block = Pack(c.data, level);
            EXPECT_LE(block.size(), c.data.size() + 1) << c.name;
            Bytes out;
            ASSERT_EQ(Unpack(block, static_cast<uint32_t>(c.data.size()), out), c.data.size())
                << c.name << " level " << level;
            EXPECT_EQ(out, c.data) << c.name << " level " << level;
            EXPECT_LE(c.data.size(),
                      Kiv::LZSSCompress::MaxUnpackedSize(static_cast<uint32_t>(block.size())))
                << c.name;
        }
    }
}

TEST(LZSSCompress, ShrinksWhatRepeatsAndStoresWhatDoesNot) {
    EXPECT_LT(Pack(Bytes(100000, 0), 9).size(), 100000u / 8);
    Bytes noise = Noise(4096, 11);
    Bytes block = Pack(noise, 9);
    ASSERT_EQ(block.size(), noise.size() + 1);
    EXPECT_EQ(block[0], 0);  // stored
}

TEST(LZSSCompress, ReadsTheDocumentedFormat) {
    // Literals a, b, c (flag bits 1), then a match 3 back of 6 bytes (flag bit 0): the word
    // (3 - 1) << 4 | (6 - 3).
    const Bytes block = {1, 0x07, 'a', 'b', 'c', 0x23, 0x00};
    Bytes out;
    ASSERT_EQ(Unpack(block, 9, out), 9u);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abcabcabc");
    // Stored.
    ASSERT_EQ(Unpack({0, 'h', 'i'}, 2, out), 2u);
    EXPECT_EQ(out, FromText("hi"));
    // The longest, farthest match: 4096 literals in groups of eight, then 18 bytes from 4096
    // back (the word 0xFFFF).
    Bytes data = Noise(4096, 13);
    Bytes far = {1};
    for (size_t i = 0; i < data.size(); ++i) {
        if (i % 8 == 0) far.push_back(0xFF);
        far.push_back(data[i]);
    }
    far.insert(far.end(), {0x00, 0xFF, 0xFF});
    Bytes expected = data;
    expected.insert(expected.end(), data.begin(), data.begin() + 18);
    ASSERT_EQ(Unpack(far, static_cast<uint32_t>(expected.size()), out), expected.size());
    EXPECT_EQ(out, expected);
}

// The format read the plainest way, one item and one byte at a time: what any block of the
// format means, whatever coder made it.
Bytes ReferenceUnpack(const Bytes& block) {
    Bytes out;
    size_t at = 1;
    while (at < block.size()) {
        uint8_t flags = block[at++];
        for (int item = 0; item < 8 && at < block.size(); ++item) {
            if (flags & (1u << item)) {
                out.push_back(block[at++]);
                continue;
            }
            uint32_t word = uint32_t{block[at]} | uint32_t{block[at + 1]} << 8;
            at += 2;
            size_t from = out.size() - ((word >> 4) + 1);
            for (uint32_t i = 0; i < (word & 15) + 3; ++i)
                out.push_back(out[from + i]);
        }
    }
    return out;
}

// Blocks of every mix of literals and matches (short distances that overlap what they write,
// long ones, runs of literal groups), as another coder or an older one of ours could have
// written them, unpack as the format says, into a destination of exactly their size.
TEST(LZSSCompress, UnpacksAnyBlockOfTheFormatAsTheFormatSays) {
    uint32_t seed = 5;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 40; ++round) {
        Bytes block = {1};
        size_t written = 0;
        int groups = 1 + static_cast<int>(next() % 400);
        for (int g = 0; g < groups; ++g) {
            uint8_t flags = round % 5 == 0 ? 0xFF : static_cast<uint8_t>(next());
            if (written == 0) flags |= 1;  // nothing to match yet
            block.push_back(flags);
            for (int item = 0; item < 8; ++item) {
                if (flags & (1u << item)) {
                    block.push_back(static_cast<uint8_t>(next()));
                    ++written;
                    continue;
                }
                uint32_t reach = static_cast<uint32_t>(std::min<size_t>(written, 4096));
                uint32_t distance =
                    next() % 3 == 0 ? 1 + next() % std::min(reach, 8u) : 1 + next() % reach;
                uint32_t length = 3 + next() % 16;
                uint32_t word = (distance - 1) << 4 | (length - 3);
                block.push_back(static_cast<uint8_t>(word));
                block.push_back(static_cast<uint8_t>(word >> 8));
                written += length;
            }
        }
        Bytes expected = ReferenceUnpack(block);
        ASSERT_EQ(expected.size(), written);
        Bytes out;
        ASSERT_EQ(Unpack(block, static_cast<uint32_t>(expected.size()), out), expected.size())
            << "round " << round;
        EXPECT_EQ(out, expected) << "round " << round;
        // One byte short of room: refused, never written past.
        EXPECT_EQ(Unpack(block, static_cast<uint32_t>(expected.size() - 1), out),
                  Kiv::Compress::kFailed);
    }
}

TEST(LZSSCompress, RefusesMalformedBlocks) {
    const uint32_t kFailed = Kiv::Compress::kFailed;
    const struct {
        const char* why;
        Bytes block;
        uint32_t capacity;
    } cases[] = {
        {"no method byte", {}, 16},
        {"an unknown method", {2, 'a'}, 16},
        {"a match before any output", {1, 0x00, 0x00, 0x00}, 16},
        {"a match reaching before the start", {1, 0x01, 'a', 0x10, 0x00}, 16},
        {"a match cut short", {1, 0x01, 'a', 0x00}, 16},
        {"a literal past the destination", {1, 0x03, 'a', 'b'}, 1},
        {"a match past the destination", {1, 0x01, 'a', 0x0F, 0x00}, 10},
        {"stored bytes past the destination", {0, 'a', 'b', 'c'}, 2},
    };
    for (const auto& c : cases) {
        Bytes out;
        EXPECT_EQ(Unpack(c.block, c.capacity, out), kFailed) << c.why;
    }
    // The same shapes, sound: a match one back, and enough room.
    Bytes out;
    EXPECT_EQ(Unpack({1, 0x01, 'a', 0x00, 0x00}, 16, out), 4u);
    EXPECT_EQ(Unpack({1, 0x01, 'a', 0x0F, 0x00}, 19, out), 19u);
    EXPECT_FALSE(Kiv::LZSSCompress::IsKnownBlock(nullptr, 0));
    EXPECT_FALSE(Kiv::LZSSCompress::IsKnownBlock("\x05", 1));
    EXPECT_TRUE(Kiv::LZSSCompress::IsKnownBlock("\x01", 1));
}

TEST(LZSSCompress, PackingIntoTooSmallADestinationFails) {
    Bytes noise = Noise(100, 5);
    Bytes out(noise.size());  // one byte short of storing it
    Kiv::LZSSCompress coder;
    EXPECT_EQ(coder.CompressBlock(noise.data(), 100, out.data(), 100, 9), 0u);
    EXPECT_EQ(coder.CompressBlock(noise.data(), 100, out.data(), 0, 9), 0u);
    // What shrinks fits in less than the data.
    Bytes zeros(100, 0);
    uint32_t n = coder.CompressBlock(zeros.data(), 100, out.data(), 20, 9);
    EXPECT_GT(n, 0u);
    EXPECT_LE(n, 20u);
}

}  // namespace
