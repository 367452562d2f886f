#include "foundation/tstream.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "foundation/tbuffer.h"
#include "foundation/tfile.h"
#include "foundation/tsubfile.h"
#include "tests/support/temp_dir.h"

namespace {

// A memory stream that records every device read, so tests see where bytes came from.
class CountingBuffer : public TBuffer {
public:
    using TBuffer::TBuffer;
    std::vector<uint32_t> deviceReads;

protected:
    uint32_t ReadDevice(void* dest, uint32_t n) override {
        deviceReads.push_back(n);
        return TBuffer::ReadDevice(dest, n);
    }
};

std::vector<uint8_t> Bytes(TBuffer& b) {
    return std::vector<uint8_t>(b.GetData(), b.GetData() + b.GetDataLength());
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + 3);
    return v;
}

// The same round trip over each device.
void WriteAllTypes(TStream& s) {
    s.WriteU8(0xAB);
    s.WriteU32(0x11223344u);
    s.WriteFloat(1.5f);
    s.WriteU64(0x0102030405060708ull);
    s.WriteBool(true);
    s.WriteBool(false);
    uint32_t words[3] = {1, 2, 0xFFFFFFFF};
    s.WriteU32Array(words, 3);
    s.WritePString(Kiv::PString("Interned Text"));
    s.WriteString("owned text");
    s.WriteString("");
}

void ExpectAllTypes(TStream& s) {
    uint8_t u8;
    uint32_t u32;
    float f;
    uint64_t u64;
    bool b1, b2;
    uint32_t words[3];
    Kiv::PString ps;
    std::string text, empty = "x";
    s.ReadU8(u8);
    s.ReadU32(u32);
    s.ReadFloat(f);
    s.ReadU64(u64);
    s.ReadBool(b1);
    s.ReadBool(b2);
    s.ReadU32Array(words, 3);
    s.ReadPString(ps);
    s.ReadString(text);
    s.ReadString(empty);
    EXPECT_EQ(s.GetError(), 0u);
    EXPECT_EQ(u8, 0xAB);
    EXPECT_EQ(u32, 0x11223344u);
    EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(u64, 0x0102030405060708ull);
    EXPECT_TRUE(b1);
    EXPECT_FALSE(b2);
    EXPECT_EQ(words[2], 0xFFFFFFFFu);
    EXPECT_EQ(ps, Kiv::PString("Interned Text"));
    EXPECT_EQ(text, "owned text");
    EXPECT_EQ(empty, "");
    EXPECT_TRUE(s.AtEnd());
}

TEST(TStream, TypedValuesRoundTripThroughMemory) {
    TBuffer b;
    WriteAllTypes(b);
    const uint8_t expectedStart[] = {0xAB, 0x44, 0x33, 0x22, 0x11};  // little-endian
    ASSERT_GE(b.GetDataLength(), 5u);
    EXPECT_EQ(std::vector<uint8_t>(b.GetData(), b.GetData() + 5),
              std::vector<uint8_t>(std::begin(expectedStart), std::end(expectedStart)));
    b.Rewind();
    ExpectAllTypes(b);
}

class TFileTest : public ::testing::Test {
protected:
    testsupport::TempDir tmp_;
    const std::string& dir_ = tmp_.path();
};

TEST_F(TFileTest, TypedValuesRoundTripThroughAFile) {
    std::string path = dir_ + "/all.bin";
    {
        TFile f;
        ASSERT_TRUE(f.Open(path, Kiv::File::kModeCreate));
        WriteAllTypes(f);
        EXPECT_EQ(f.GetError(), 0u);
    }
    TFile f;
    ASSERT_TRUE(f.Open(path, Kiv::File::kModeRead));
    ExpectAllTypes(f);
    // Reading a file to its end is not a device failure.
    EXPECT_EQ(f.GetError(), 0u);
    uint32_t past;
    f.ReadU32(past, 99);
    EXPECT_EQ(past, 99u);
    EXPECT_EQ(f.GetError(), TStream::kErrorShortRead);
}

TEST_F(TFileTest, FileStreamWithoutAFileReportsDeviceErrors) {
    for (int op = 0; op < 3; ++op) {
        TFile f;
        EXPECT_TRUE(f.AtEnd());
        EXPECT_FALSE(f.IsOpen());
        uint32_t v = 0;
        if (op == 0) {
            f.ReadU32(v, 5);
        } else if (op == 1) {
            EXPECT_EQ(f.WriteU32(1u), 0u);
        } else {
            EXPECT_FALSE(f.Seek(0, TStream::kFromStart));
        }
        EXPECT_EQ(f.GetError(), TStream::kErrorDevice) << op;
    }
}

TEST_F(TFileTest, ResetTruncatesAndClearsTheError) {
    std::string path = dir_ + "/reset.bin";
    TFile f;
    ASSERT_TRUE(f.Open(path, Kiv::File::kModeCreate));
    f.WriteU32(1u);
    f.Rewind();
    uint64_t v;
    f.ReadU64(v);
    EXPECT_EQ(f.GetError(), TStream::kErrorShortRead);
    f.Reset();
    EXPECT_EQ(f.GetError(), 0u);
    EXPECT_EQ(f.GetSize(), 0u);
}

TEST_F(TFileTest, ClosingABorrowedFileHandsBackTheLogicalPosition) {
    std::string path = dir_ + "/borrowed.bin";
    {
        TFile w;
        ASSERT_TRUE(w.Open(path, Kiv::File::kModeCreate));
        for (uint32_t i = 0; i < 10; ++i)
            w.WriteU32(i);
    }
    Kiv::File file;
    ASSERT_TRUE(file.Open(path, Kiv::File::kModeRead));
    {
        TFile f(&file, false);
        uint32_t v;
        f.ReadU32(v);
        f.ReadU32(v);
        EXPECT_EQ(v, 1u);
    }
    EXPECT_EQ(file.Tell(), 8u);
}

TEST(TStream, ShortReadsStoreTheDefaultAndKeepTheFirstError) {
    TBuffer b("abc", 3);
    uint32_t v = 0;
    EXPECT_FALSE(b.ReadU32(v, 77));
    EXPECT_EQ(v, 77u);
    EXPECT_EQ(b.GetError(), TStream::kErrorShortRead);
    bool flag = true;
    b.ReadBool(flag, false);
    EXPECT_FALSE(flag);
    std::string s(70000, 'x');
    b.WriteU32(70000u);
    b.Rewind();
    b.ReadString(s);  // would set error 3, but 4 was first
    EXPECT_EQ(b.GetError(), TStream::kErrorShortRead);

    uint32_t words[3] = {9, 9, 9};
    TBuffer two("\x01\0\0\0\x02\0", 6);
    two.ReadU32Array(words, 3);
    EXPECT_EQ(words[0], 1u);
    EXPECT_EQ(words[1], 0u);
    EXPECT_EQ(words[2], 0u);
    EXPECT_EQ(two.GetError(), TStream::kErrorShortRead);
}

TEST(TStream, StringLengthLimits) {
    struct Case {
        size_t textLength;
        bool interned;
        uint32_t lengthWord;
        size_t totalBytes;
    } cases[] = {
        {65535, true, 0, 4},  {65534, true, 65535, 4 + 65535},
        {65536, false, 0, 4}, {65535, false, 65535, 4 + 65535},
        {0, false, 0, 4},     {0, true, 1, 5},
    };
    for (const Case& c : cases) {
        TBuffer b;
        std::string text(c.textLength, 'q');
        if (c.interned) {
            b.WritePString(Kiv::PString(std::string_view(text)));
        } else {
            b.WriteString(text);
        }
        EXPECT_EQ(b.GetDataLength(), c.totalBytes) << c.textLength << " " << c.interned;
        b.Rewind();
        EXPECT_EQ(b.ReadU32Value(), c.lengthWord);
    }
}

TEST(TStream, NullInternedStringWritesOneWordAndReadsBackEmpty) {
    TBuffer b;
    b.WritePString(Kiv::PString());
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{0, 0, 0, 0}));
    b.Rewind();
    Kiv::PString back;
    b.ReadPString(back);
    EXPECT_FALSE(back.IsNull());
    EXPECT_EQ(back, Kiv::PString(""));
    EXPECT_EQ(b.GetError(), 0u);
}

TEST(TStream, OverlongStringIsSkippedWithError3) {
    // From the start, and from inside a partly used read-ahead (the skip must count it).
    for (uint32_t prefix : {0u, 4000u}) {
        TBuffer b;
        std::vector<uint8_t> filler(prefix, 1);
        if (prefix) b.Write(filler.data(), prefix);
        b.WriteU32(70000u);
        std::vector<uint8_t> body(70000, 'z');
        b.Write(body.data(), 70000);
        b.WriteU32(0xCAFEu);
        b.Rewind();
        if (prefix) {
            std::vector<uint8_t> sink(prefix);
            b.ReadBytes(sink.data(), prefix);
        }
        std::string s = "was";
        b.ReadString(s);
        EXPECT_EQ(s, "");
        EXPECT_EQ(b.Tell(), prefix + 4 + 70000);
        EXPECT_EQ(b.GetError(), TStream::kErrorTooLong);
        EXPECT_EQ(b.ReadU32Value(), 0xCAFEu);
    }
}

TEST(TStream, StringRunningPastTheEndOfMemoryKeepsWhatIsThere) {
    TBuffer b;
    b.WriteU32(10u);
    b.Write("abcd", 4);
    b.Rewind();
    std::string s;
    b.ReadString(s);
    EXPECT_EQ(s, "abcd");
    EXPECT_EQ(b.GetError(), 0u);
}

TEST(TStream, SizeMarksNestAndMeasureWhatFollows) {
    TBuffer b;
    uint32_t outer = b.BeginSizeMark();
    b.Write("0123456789", 10);
    uint32_t inner = b.BeginSizeMark();
    b.WriteU32(5u);
    b.EndSizeMark(inner);
    b.EndSizeMark(outer);
    EXPECT_EQ(b.Tell(), b.GetDataLength());
    b.Rewind();
    EXPECT_EQ(b.ReadU32Value(), 18u);
    b.SetPosition(inner);
    EXPECT_EQ(b.ReadU32Value(), 4u);

    TBuffer ten;
    uint32_t m = ten.BeginSizeMark();
    ten.Write("0123456789", 10);
    ten.EndSizeMark(m);
    EXPECT_EQ(ten.Tell(), 14u);
    ten.Rewind();
    EXPECT_EQ(ten.ReadU32Value(), 10u);
}

TEST(TStream, LargeReadsBypassTheReadAhead) {
    auto data = Pattern(20000);
    CountingBuffer b;
    b.Write(data.data(), static_cast<uint32_t>(data.size()));
    b.Rewind();
    std::vector<uint8_t> out(5000);
    EXPECT_EQ(b.ReadBytes(out.data(), 5000), 5000u);
    EXPECT_EQ(b.deviceReads, (std::vector<uint32_t>{5000}));
    EXPECT_EQ(b.GetUnreadCount(), 0u);

    b.deviceReads.clear();
    EXPECT_EQ(b.ReadBytes(out.data(), 4079), 4079u);
    EXPECT_EQ(b.deviceReads, (std::vector<uint32_t>{4096}));
    EXPECT_EQ(b.GetUnreadCount(), 17u);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 4079),
              std::vector<uint8_t>(data.begin() + 5000, data.begin() + 9079));
}

TEST(TStream, RefillKeepsSixteenBytesBehindForSmallBackwardMoves) {
    auto data = Pattern(10000);
    CountingBuffer b;
    b.Write(data.data(), static_cast<uint32_t>(data.size()));
    b.Rewind();
    std::vector<uint8_t> out(4096);
    b.ReadBytes(out.data(), 100);   // fills the whole read-ahead
    b.ReadBytes(out.data(), 3996);  // uses it up exactly
    uint32_t v;
    b.ReadU32(v);  // refill: 16 kept + 4080 from the device
    EXPECT_EQ(b.deviceReads, (std::vector<uint32_t>{4096, 4080}));
    b.SetPosition(b.Tell() - 20);  // back into the kept bytes, no device move
    b.ReadBytes(out.data(), 20);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 20),
              std::vector<uint8_t>(data.begin() + 4080, data.begin() + 4100));
    EXPECT_EQ(b.deviceReads.size(), 2u);
}

TEST(TStream, RereadingAShortStreamAfterItsEndGivesTheSameBytes) {
    TBuffer b;
    b.Write("0123456789", 10);
    b.Rewind();
    char out[16] = {};
    b.ReadBytes(out, 4);
    EXPECT_EQ(b.ReadBytes(out, 8), 6u);  // runs into the end
    b.Rewind();
    EXPECT_EQ(b.ReadBytes(out, 10), 10u);
    EXPECT_EQ(std::string(out, 10), "0123456789");
}

TEST(TStream, WriteAfterReadsLandsAtTheLogicalPosition) {
    TBuffer b;
    b.Write("AAAABBBBCCCC", 12);
    b.Rewind();
    uint32_t v;
    b.ReadU32(v);  // the read-ahead now holds all 12 bytes
    b.Write("xxxx", 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.GetData()), 12), "AAAAxxxxCCCC");
    EXPECT_EQ(b.Tell(), 8u);
    char rest[4];
    b.ReadBytes(rest, 4);
    EXPECT_EQ(std::string(rest, 4), "CCCC");
}

TEST(TStream, GetSizeAndWriteU32AtKeepThePosition) {
    TBuffer b;
    b.Write("0123456789", 10);
    b.SetPosition(3);
    EXPECT_EQ(b.GetSize(), 10u);
    EXPECT_EQ(b.Tell(), 3u);
    b.WriteU32At(6, 0x41414141u);
    EXPECT_EQ(b.Tell(), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.GetData()), 10), "012345AAAA");
}

TEST(TStream, MemoryWriteWithoutMemoryIsError3) {
    auto* dyn = new Kiv::DynamicBuffer(16);
    dyn->SetAllocationLimit(64);
    TBuffer b(dyn, true);
    std::vector<uint8_t> big(100, 1);
    EXPECT_EQ(b.Write(big.data(), 100), 0u);
    EXPECT_EQ(b.GetError(), TStream::kErrorTooLong);
    EXPECT_EQ(b.GetDataLength(), 0u);
}

TEST(TStream, TBufferSeekOriginsAndClamping) {
    TBuffer b;
    b.Write("0123456789", 10);
    b.Seek(2, TStream::kFromEnd);  // data length less the offset
    EXPECT_EQ(b.Tell(), 8u);
    b.Seek(-3, TStream::kFromCurrent);
    EXPECT_EQ(b.Tell(), 5u);
    b.Seek(1u << 30, TStream::kFromStart);
    EXPECT_EQ(b.Tell(), b.GetBuffer()->GetAllocated());
    EXPECT_TRUE(b.AtEnd());
}

TEST(TSubFile, WindowLimitsReadsAndClampsSeeks) {
    TBuffer parent;
    parent.Write("0123456789ABCDEF", 16);
    parent.SetPosition(4);
    TSubFile sub(&parent, 4, 10);
    EXPECT_EQ(sub.Tell(), 0u);
    char out[16] = {};
    EXPECT_EQ(sub.ReadBytes(out, 16), 6u);
    EXPECT_EQ(std::string(out, 6), "456789");
    EXPECT_TRUE(sub.AtEnd());
    sub.Seek(-100, TStream::kFromStart);  // before the window: lands on its start
    EXPECT_EQ(sub.Tell(), 0u);
    sub.Seek(-2, TStream::kFromEnd);
    EXPECT_EQ(sub.ReadBytes(out, 16), 2u);
    EXPECT_EQ(std::string(out, 2), "89");
    EXPECT_EQ(sub.GetSize(), 6u);
}

TEST(TSubFile, StartsAtTheParentsPosition) {
    TBuffer parent;
    parent.Write("0123456789", 10);
    parent.SetPosition(6);
    TSubFile sub(&parent, 4, 10);
    EXPECT_EQ(sub.Tell(), 2u);
    char c;
    sub.ReadBytes(&c, 1);
    EXPECT_EQ(c, '6');
}

TEST(TSubFile, ReadsFromItsOwnPositionAfterTheParentMoved) {
    TBuffer parent;
    parent.Write("0123456789", 10);
    parent.Rewind();
    TSubFile a(&parent, 0, 5);
    char c;
    a.ReadBytes(&c, 1);
    EXPECT_EQ(c, '0');
    parent.SetPosition(8);  // another reader moves the parent
    a.Seek(1, TStream::kFromStart);
    EXPECT_EQ(a.ReadBytes(&c, 1), 1u);
    EXPECT_EQ(c, '1');

    TSubFile b(&parent, 5, 10);
    b.Seek(0, TStream::kFromStart);
    parent.SetPosition(0);
    b.ReadBytes(&c, 1);
    EXPECT_EQ(c, '5');
}

TEST(TSubFile, WriteGoesThroughTheParentAndReportsWhatItWrote) {
    auto* dyn = new Kiv::DynamicBuffer(16);
    dyn->SetAllocationLimit(16);
    TBuffer parent(dyn, true);
    parent.Write("0123456789", 10);
    parent.SetPosition(2);
    TSubFile sub(&parent, 2, 8);
    EXPECT_EQ(sub.Write("ab", 2), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(parent.GetData()), 10), "01ab456789");
    EXPECT_EQ(sub.Tell(), 2u);
    std::vector<char> big(32, 'x');
    EXPECT_EQ(sub.Write(big.data(), 32), 0u);  // the parent could not take it
    EXPECT_EQ(sub.Tell(), 2u);
}

}  // namespace
