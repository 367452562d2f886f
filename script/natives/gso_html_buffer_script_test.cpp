// The HTMLBuffer natives through compiled scripts, and the buffer's own rules.
#include <string>

#include "script/natives/gso_html_buffer.h"
#include "script/natives/native_scripts_test_support.h"

namespace ScriptNatives {
namespace {

const char* const kTest = R"(
include "HTMLBuffer.gs"

class Test {
  public string Escaped(string text) {
    HTMLBuffer b = HTMLBufferStatic.Construct();
    b.Escape(text);
    return b.AsString();
  }
  public string Mixed() {
    HTMLBuffer b = HTMLBufferStatic.Construct();
    b.Print("<b>");
    b.Escape("x<y");
    b.Print(null);
    b.Escape(null);
    b.Print("</b>");
    return b.AsString();
  }
  public int EmptyFlags() {
    HTMLBuffer b = HTMLBufferStatic.Construct();
    int n = 0;
    if (b.IsEmpty()) n = n + 1;
    b.Print("raw");
    if (b.IsEmpty()) n = n + 10;
    b.Escape("");
    if (b.IsEmpty()) n = n + 100;
    b.Escape("t");
    if (!b.IsEmpty()) n = n + 1000;
    b.Clear();
    if (b.IsEmpty() and b.AsString() == "") n = n + 10000;
    return n;
  }
  public string Fresh() { return HTMLBufferStatic.Construct().AsString(); }
  public string AfterClear() {
    HTMLBuffer b = HTMLBufferStatic.Construct();
    b.Print("abcdefghijklmnop");
    b.Clear();
    b.Print("xy");
    return b.AsString();
  }
};
)";

class HTMLBufferScripts : public testing::NativeScriptTest {
protected:
    testing::NativeScriptLibraries& Libraries() override {
        static testing::NativeScriptLibraries libraries(kTest);
        return libraries;
    }
};

TEST_F(HTMLBufferScripts, EscapeTurnsMarkupCharactersAndLineEndsIntoHTML) {
    const std::pair<const char*, const char*> cases[] = {
        {"a<b & c>d\r\n", "a&lt;b &amp; c&gt;d<br>"},
        {"one\rtwo", "one<br>two"},
        {"one\ntwo", "one<br>two"},
        {"\n\r", "<br><br>"},
        {"\r\n\r\n", "<br><br>"},
        {"", ""},
    };
    for (auto [text, html] : cases)
        EXPECT_EQ(Call("$string@Test::Escaped(string)", {Str(text)}).text, html) << text;
    EXPECT_EQ(Call("$string@Test::Mixed()").text, "<b>x&lt;y</b>");
}

TEST_F(HTMLBufferScripts, OnlyEscapedTextMakesTheBufferNonEmpty) {
    // Print alone leaves it empty, and so does escaping an empty text.
    EXPECT_EQ(Call("$int@Test::EmptyFlags()").AsInt(), 11111);
    EXPECT_EQ(Call("$string@Test::Fresh()").text, "");
}

TEST_F(HTMLBufferScripts, TheTextIsTheUsedBytesOnly) {
    // Clear keeps the allocation with its old bytes: reading past the used count would show
    // them.
    EXPECT_EQ(Call("$string@Test::AfterClear()").text, "xy");
    HTMLBuffer b;
    b.Append(std::string_view("ab\0cd", 5));
    EXPECT_EQ(b.AsString(), "ab");
    b.Clear();
    EXPECT_EQ(b.AsString(), "");
}

}  // namespace
}  // namespace ScriptNatives
