#include "script/compiler/gs_source_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/crc32.h"
#include "platform/kiv/os/lzss.h"
#include "tests/support/temp_dir.h"

namespace {

using GSCompiler::GSSourceFile;

std::string Text(GSSourceFile& f) {
    const char* data = f.GetData();
    return data == nullptr ? std::string("<null>") : std::string(data, f.GetTextLength());
}

void PutWord(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(v >> (8 * i));
}

// A ".gse" image by hand: header words, then the payload (unpacked size and block) scrambled.
std::string GseBytes(uint32_t version, uint32_t payloadWord, const std::string& payload) {
    std::string out;
    PutWord(out, version);
    PutWord(out, 0);
    PutWord(out, payloadWord);
    PutWord(out, 0);
    for (size_t i = 0; i < payload.size(); ++i)
        out += static_cast<char>(payload[i] ^ GSSourceFile::kScrambleKey[i % 32]);
    return out;
}

std::string Payload(uint32_t unpackedWord, const std::string& text) {
    std::string block(Kiv::LZSSCompress::CompressBound(static_cast<uint32_t>(text.size())), '\0');
    Kiv::LZSSCompress coder;
    uint32_t n = coder.CompressBlock(text.data(), static_cast<uint32_t>(text.size()), block.data(),
                                     static_cast<uint32_t>(block.size()), 9);
    std::string payload;
    PutWord(payload, unpackedWord);
    return payload + block.substr(0, n);
}

class SourceFile : public ::testing::Test {
protected:
    void TearDown() override { GSSourceFile::SetPendingPrefix(""); }
    testsupport::TempDir dir;
};

std::string Fill(size_t n) {
    return std::string(n, 'x');
}

TEST_F(SourceFile, LineEndsBecomeOneLineFeedEach) {
    constexpr size_t kPiece = GSSourceFile::kReadPieceSize;
    struct Case {
        std::string file;
        std::string text;
    };
    const Case cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},        // CR LF pairs: textLength is shorter than the bytes read
        {"a\n\rb", "a\nb"},              // LF CR is one line end too
        {"a\r\rb\n\nc", "a\n\nb\n\nc"},  // two equal ones are two
        {"end\r", "end\n"},              // a lone CR at the end gives a final LF
        {"", ""},
        {"no line end", "no line end"},
        // The file is read in pieces: a line end split between two pieces is still one.
        {Fill(kPiece - 1) + "\r\nb", Fill(kPiece - 1) + "\nb"},
        {Fill(kPiece - 1) + "\n\rb", Fill(kPiece - 1) + "\nb"},
        {Fill(kPiece - 1) + "\r\rb", Fill(kPiece - 1) + "\n\nb"},
        {Fill(kPiece - 2) + "\r\n\rb", Fill(kPiece - 2) + "\n\nb"},
        {Fill(kPiece - 1) + "\r", Fill(kPiece - 1) + "\n"},
        {Fill(kPiece) + "\r\n\n\r", Fill(kPiece) + "\n\n"},
        {Fill(kPiece - 3) + "a\r\n" + Fill(kPiece) + "\n\r\n",
         Fill(kPiece - 3) + "a\n" + Fill(kPiece) + "\n\n"},
    };
    for (const Case& c : cases) {
        std::string path = dir.Write("x.gs", c.file);
        GSSourceFile f;
        ASSERT_TRUE(f.Load("", path)) << c.file.size();
        EXPECT_FALSE(f.IsScrambled());
        EXPECT_EQ(Text(f), c.text) << c.file.size();
        EXPECT_EQ(f.GetSize(), c.file.size());
        EXPECT_EQ(f.GetTextLength(), c.text.size());
        EXPECT_EQ(f.SourceChecksum(), Crc32(c.text.data(), c.text.size()));
    }
}

TEST_F(SourceFile, ScrambledFormReadsBackAsTheTextWithoutStaleBytes) {
    // The CR LF file's buffer is longer than its text: only the text is packed.
    std::string source = "class A {\r\n  int x;\r\n};\r\n";
    for (int i = 0; i < 50; ++i)
        source += "// a comment line that repeats, so the coder has something to pack\r\n";
    std::string gs = dir.Write("Script.gs", source);
    GSSourceFile f;
    ASSERT_TRUE(f.Load("", gs));
    std::string expected = Text(f);
    ASSERT_TRUE(f.Save("", dir / "Script.gse"));
    EXPECT_TRUE(f.IsScrambled());

    std::string bytes = dir.Read("Script.gse");
    ASSERT_GE(bytes.size(), 16u);
    uint32_t version, payload;
    std::memcpy(&version, bytes.data(), 4);
    std::memcpy(&payload, bytes.data() + 8, 4);
    EXPECT_EQ(version, 1u);
    EXPECT_EQ(payload, bytes.size() - 16);
    EXPECT_LT(payload, expected.size());

    GSSourceFile back;
    ASSERT_TRUE(back.Load("", dir / "Script.gse"));
    EXPECT_TRUE(back.IsScrambled());
    EXPECT_EQ(Text(back), expected);
    EXPECT_EQ(back.SourceChecksum(), Crc32(expected.data(), expected.size()));

    // And back to plain text again.
    ASSERT_TRUE(back.Save("", dir / "Again.gs"));
    EXPECT_EQ(dir.Read("Again.gs"), expected);
}

TEST_F(SourceFile, RefusesBadScrambledFilesAndLeavesNothingLoaded) {
    const std::string text = "class A { };\n";
    const auto n = static_cast<uint32_t>(text.size());
    std::string payload = Payload(n, text);
    std::string corrupt = payload;
    corrupt[4] = 7;  // no packing method of the coder
    struct Case {
        const char* name;
        std::string bytes;
        bool loads;  // the header and payload read; the text is unpacked on demand
    };
    const Case cases[] = {
        {"empty file", "", false},
        {"short header", GseBytes(1, 4, "").substr(0, 10), false},
        {"payload size 0", GseBytes(1, 0, ""), false},
        {"payload under 4 bytes", GseBytes(1, 3, "abc"), false},
        {"payload over 32 MiB", GseBytes(1, 0x2000001, payload), false},
        {"payload cut short", GseBytes(1, static_cast<uint32_t>(payload.size() + 1), payload),
         false},
        {"unpacked size 0", GseBytes(1, static_cast<uint32_t>(payload.size()), Payload(0, text)),
         true},
        {"unpacked size above 64 MiB",
         GseBytes(1, static_cast<uint32_t>(payload.size()), Payload(0x4000001, text)), true},
        {"unpacked size beyond what the block holds",
         GseBytes(1, static_cast<uint32_t>(payload.size()), Payload(0x3000000, text)), true},
        {"unpacked size off by one",
         GseBytes(1, static_cast<uint32_t>(payload.size()), Payload(n + 1, text)), true},
        {"damaged block", GseBytes(1, static_cast<uint32_t>(corrupt.size()), corrupt), true},
    };
    for (const Case& c : cases) {
        std::string path = dir.Write("bad.gse", c.bytes);
        GSSourceFile f;
        EXPECT_EQ(f.Load("", path), c.loads) << c.name;
        EXPECT_EQ(f.GetData(), nullptr) << c.name;
        EXPECT_EQ(f.GetTextLength(), 0u) << c.name;
        EXPECT_FALSE(f.IsScrambled()) << c.name;
        EXPECT_EQ(f.GetSize(), 0u) << c.name;
    }
    // The same payload with its right size reads.
    std::string path =
        dir.Write("good.gse", GseBytes(1, static_cast<uint32_t>(payload.size()), payload));
    GSSourceFile f;
    ASSERT_TRUE(f.Load("", path));
    EXPECT_EQ(Text(f), text);
}

TEST_F(SourceFile, OtherExtensionsMissingFilesAndArchivesAreRefused) {
    std::string txt = dir.Write("notes.txt", "class A { };");
    GSSourceFile f;
    EXPECT_FALSE(f.Load("", txt));
    EXPECT_FALSE(f.Load("", dir / "missing.gs"));
    EXPECT_FALSE(f.Load("", dir / "missing.gse"));
    std::string gs = dir.Write("a.gs", "class A { };");
    EXPECT_FALSE(f.Load("pack.cdp", gs));  // there is no archived file layer
    ASSERT_TRUE(f.Load("", gs));
    EXPECT_FALSE(f.Save("", dir / "a.txt"));
    EXPECT_FALSE(f.Save("", ""));
    EXPECT_FALSE(f.Save("pack.cdp", dir / "b.gse"));
    EXPECT_FALSE(f.Save("", dir / "no-such-folder/b.gse"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "b.gse"));

    // Nothing loaded: nothing to write, and an old file stays as it was.
    std::string old = dir.Write("old.gse", "old bytes");
    GSSourceFile empty;
    EXPECT_FALSE(empty.Save("", old));
    EXPECT_EQ(dir.Read("old.gse"), "old bytes");
}

TEST_F(SourceFile, ThePendingPrefixGoesInFrontOfTheNextReadOnly) {
    std::string gs = dir.Write("a.gs", "text\r\n");
    GSSourceFile::SetPendingPrefix("prefix;");
    GSSourceFile missing;
    EXPECT_FALSE(missing.Load("", dir / "missing.gs"));
    EXPECT_EQ(GSSourceFile::GetPendingPrefix(), "prefix;");  // a failed read leaves it

    GSSourceFile first;
    ASSERT_TRUE(first.Load("", gs));
    EXPECT_EQ(Text(first), "prefix;text\n");
    EXPECT_EQ(first.GetPrefixLength(), 7u);
    EXPECT_EQ(first.SourceChecksum(), Crc32("text\n", 5));  // the prefix is not the source's
    EXPECT_EQ(GSSourceFile::GetPendingPrefix(), "");

    GSSourceFile second;
    ASSERT_TRUE(second.Load("", gs));
    EXPECT_EQ(Text(second), "text\n");

    // A scrambled source takes the prefix when it is unpacked.
    ASSERT_TRUE(second.Save("", dir / "a.gse"));
    GSSourceFile scrambled;
    ASSERT_TRUE(scrambled.Load("", dir / "a.gse"));
    GSSourceFile::SetPendingPrefix("p:");
    EXPECT_EQ(Text(scrambled), "p:text\n");
    EXPECT_EQ(scrambled.SourceChecksum(), Crc32("text\n", 5));
}

TEST_F(SourceFile, PlainFilesAboveTheLimitAreRefused) {
    std::string path = dir / "big.gs";
    std::filesystem::resize_file(dir.Write("big.gs", ""), GSSourceFile::kMaxPlainSize + 1);
    GSSourceFile f;
    EXPECT_FALSE(f.Load("", path));
    std::filesystem::resize_file(path, GSSourceFile::kMaxPlainSize);
    EXPECT_TRUE(f.Load("", path));
    EXPECT_EQ(f.GetTextLength(), GSSourceFile::kMaxPlainSize);
}

}  // namespace
