#include "script/bytecode/gsl_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace GSBytecode {
namespace {

// Builds images by hand, independent of the compiler's writer.
class ImageBytes {
public:
    std::vector<uint8_t> bytes;

    size_t U32(uint32_t v) {
        size_t at = bytes.size();
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return at;
    }
    void Raw(const std::vector<uint8_t>& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
    void Text(const char* s) { bytes.insert(bytes.end(), s, s + std::strlen(s) + 1); }
    void Pad(uint8_t fill) {
        while (bytes.size() % 4 != 0)
            bytes.push_back(fill);
    }
    void Patch(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void Section(uint32_t tag, const std::function<void()>& body) {
        size_t at = U32(0);
        U32(tag);
        body();
        Patch(at, static_cast<uint32_t>(bytes.size() - at));
    }
};

// A library "a.gs" with one class "A" (one member "n", one function "$@f" with code
// {push 1, retv}, a line table of one line) and its member initialiser {ret}.
std::vector<uint8_t> SmallImage() {
    ImageBytes b;
    b.U32(0);
    b.U32(kGslMagic);
    b.U32(kGslVersionBits);
    b.U32(0x11111111);
    b.U32(0x22222222);
    b.U32(5);
    b.Text("a.gs");
    b.Section(kTagLibraryTable, [&] {
        b.U32(1);
        b.U32(0x11111111);
        b.U32(0x22222222);
    });
    b.Section(kTagStringTable, [&] {
        b.U32(4);
        for (uint32_t o : {0u, 2u, 6u, 8u})
            b.U32(o);
        b.Text("A");
        b.Text("$@f");
        b.Text("n");
        b.Text("::A()");
        b.Pad(0);
    });
    b.Section(kTagClassTable, [&] {
        b.U32(1);
        b.U32(0);
        b.U32(0);
    });
    b.Section(kTagFunctionTable, [&] {
        b.U32(1);
        b.U32(0);
        b.U32(1);
        b.U32(0);
    });
    b.Section(kTagClassCode, [&] {
        b.U32(1);
        b.Section(kTagClassRecord, [&] {
            b.U32(0);
            b.U32(kClassGame);
            b.U32(0);
            b.Section(kTagMethodList, [&] {
                b.U32(2);
                b.Section(kTagFunctionRecord, [&] {
                    for (uint32_t w : {1u, 1u, uint32_t(kNoIndex), 1u, 0u})
                        b.U32(w);
                    for (uint32_t w : FrameWords::Of(1, 0, 0, 1).word)
                        b.U32(w);
                    b.U32(0);
                    b.U32(6);
                    b.Raw({30, 1, 0, 0, 0, 110});
                    b.Pad(0xFF);
                    b.U32(kLineTableMarker);
                    b.U32(1);
                    b.U32(0);
                    b.U32(3);
                });
                b.Section(kTagFunctionRecord, [&] {
                    for (uint32_t w : {3u, 0u, uint32_t(kNoIndex), 0x20u, uint32_t(kNoIndex)})
                        b.U32(w);
                    for (uint32_t w : FrameWords::Of(1, 0, 0, 0).word)
                        b.U32(w);
                    b.U32(0);
                    b.U32(1);
                    b.Raw({109});
                    b.Pad(0xFF);
                });
            });
            b.Section(kTagMembers, [&] {
                b.U32(1);
                for (uint32_t w : {2u, 1u, uint32_t(kNoIndex), 1u, 2u})
                    b.U32(w);
            });
            b.Section(kTagMethodTable, [&] {
                b.U32(1);
                b.U32(0);
                b.U32(0);
            });
            b.Section(kTagClassInitialiser, [&] {
                for (uint32_t w : {4u, 1u, 1u, 1u, 0u, 0u})
                    b.U32(w);
            });
        });
    });
    b.Patch(0, static_cast<uint32_t>(b.bytes.size()));
    return b.bytes;
}

TEST(ReadLibraryImage, ReadsEveryField) {
    std::vector<uint8_t> bytes = SmallImage();
    GslImage image;
    GslReadError error;
    ASSERT_TRUE(ReadLibraryImage(bytes, image, error)) << error.text << " at " << error.offset;
    EXPECT_EQ(image.name, "a.gs");
    EXPECT_EQ(image.id, (GslLibraryId{0x11111111, 0x22222222}));
    ASSERT_EQ(image.libraries.size(), 1u);
    EXPECT_EQ(image.strings, (std::vector<std::string_view>{"A", "$@f", "n", "::A()"}));
    ASSERT_EQ(image.classes.size(), 1u);
    const GslClass& c = image.classes[0];
    EXPECT_EQ(image.String(c.name), "A");
    ASSERT_EQ(c.functions.size(), 2u);
    EXPECT_EQ(c.functions[0].code.size(), 6u);
    EXPECT_EQ(c.functions[0].frame.MaxDepth(), 1u);
    EXPECT_TRUE(c.functions[0].frame.IsConsistent());
    EXPECT_TRUE(c.functions[0].hasLineTable);
    ASSERT_EQ(c.functions[0].lines.size(), 1u);
    EXPECT_EQ(c.functions[0].lines[0].line, 3u);
    EXPECT_FALSE(c.functions[1].hasLineTable);
    EXPECT_EQ(c.functions[1].flags, uint32_t{kFunctionConstructor});
    ASSERT_EQ(c.members.size(), 1u);
    EXPECT_EQ(c.members[0].slot, 2);
    ASSERT_EQ(c.methods.size(), 1u);
    EXPECT_EQ(c.memberWords, 4u);
    EXPECT_TRUE(c.secondTable.empty());
}

// Every truncation is refused, also when the size word is made to agree with it, so that the
// reader's own bounds checks (not only the size word) are what stop it.
TEST(ReadLibraryImage, RefusesEveryTruncation) {
    std::vector<uint8_t> whole = SmallImage();
    for (size_t n = 0; n < whole.size(); ++n) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + n);
        if (n >= 4) {
            uint32_t size = static_cast<uint32_t>(n);
            std::memcpy(cut.data(), &size, 4);
        }
        GslImage image;
        GslReadError error;
        EXPECT_FALSE(ReadLibraryImage(cut, image, error)) << n;
        EXPECT_FALSE(error.text.empty()) << n;
        EXPECT_LE(error.offset, n);
    }
}

uint32_t WordAt(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

// The offset of the first place holding `words` in a row, to patch fields by what they hold
// rather than by hand-counted offsets.
size_t Find(const std::vector<uint8_t>& b, std::vector<uint32_t> words) {
    for (size_t at = 0; at + 4 * words.size() <= b.size(); ++at) {
        bool all = true;
        for (size_t i = 0; i < words.size() && all; ++i)
            all = WordAt(b, at + 4 * i) == words[i];
        if (all) return at;
    }
    ADD_FAILURE() << "not found";
    return 0;
}

// The offset of the top-level section `index` (0 the library table).
size_t TopSection(const std::vector<uint8_t>& b, int index) {
    size_t at = 24 + WordAt(b, 20);
    while (index-- > 0)
        at += WordAt(b, at);
    return at;
}

TEST(ReadLibraryImage, RefusesDamagedFields) {
    const std::vector<uint8_t> good = SmallImage();
    size_t strings = TopSection(good, 1);
    size_t classes = TopSection(good, 2);
    size_t functions = TopSection(good, 3);
    size_t methodTable = Find(good, {20, kTagMethodTable});
    size_t lineMarker = Find(good, {kLineTableMarker});
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"magic", 4, 0xF762575C, "magic"},
        {"total size", 0, static_cast<uint32_t>(good.size()) + 4, "image size"},
        {"name length", 20, 0x7FFFFFFF, "header name"},
        {"name without NUL", 20, 4, "NUL"},
        {"string count", strings + 8, 0x40000000, "do not fit"},
        {"string offset", strings + 12, 100, "beyond the table"},
        {"class table tag", classes + 4, 5, "tag 5 where 4"},
        {"class module", classes + 12, 1, "class table module"},
        {"class name", classes + 16, 4, "class table name"},
        {"function class", functions + 12, 1, "function table class"},
        {"section size", functions, 0xFFFFFFF0, "does not fit"},
        {"method table size", methodTable, 28, "size 28 for 1 entries"},
        {"method table function", methodTable + 12, 1, "method table function"},
        {"line table marker", lineMarker, 0x6462676D, "line table"},
        {"line count", lineMarker + 4, 0x20000000, "do not fit"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        std::memcpy(bad.data() + c.at, &c.value, 4);
        GslImage image;
        GslReadError error;
        EXPECT_FALSE(ReadLibraryImage(bad, image, error)) << c.what;
        EXPECT_NE(error.text.find(c.message), std::string::npos) << c.what << ": " << error.text;
    }
}

TEST(ReadLibraryImage, RefusesBytesAfterTheClassCode) {
    std::vector<uint8_t> bytes = SmallImage();
    for (int i = 0; i < 4; ++i)
        bytes.push_back(0);
    uint32_t size = static_cast<uint32_t>(bytes.size());
    std::memcpy(bytes.data(), &size, 4);
    GslImage image;
    GslReadError error;
    EXPECT_FALSE(ReadLibraryImage(bytes, image, error));
    EXPECT_NE(error.text.find("after the class code"), std::string::npos) << error.text;
}

}  // namespace
}  // namespace GSBytecode
