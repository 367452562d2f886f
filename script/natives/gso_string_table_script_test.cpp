// The StringTable natives through compiled scripts over a configuration's "string-table".
#include <string>

#include "configdata/tdb_container_tag.h"
#include "script/natives/gso_string_table.h"
#include "script/natives/native_scripts_test_support.h"

namespace ScriptNatives {
namespace {

using GSRuntime::ER_Exception;
using testing::ScriptResult;

const char* const kTest = R"(
include "StringTable.gs"

class Test {
  public string Get(StringTable t, string name, string p0, string p1) {
    t.SetParam(0, p0);
    t.SetParam(1, p1);
    return t.GetString(name);
  }
  public string Cleared(StringTable t) {
    t.SetParam(0, "5");
    t.ClearParams();
    return t.GetString("cost");
  }
  public string Kept(StringTable t) {
    t.SetParam(0, "5");
    t.GetString("cost");
    return t.GetString("cost");
  }
  public string Nulls(StringTable t) {
    t.SetParam(0, null);
    return t.GetString(null) + "|" + t.GetString("") + "|" + t.GetString("cost");
  }
  public string Bad(StringTable t, int index) {
    t.SetParam(index, "x");
    return "went on";
  }
  public string Language(StringTable t) { return t.GetLanguage(); }
};
)";

class StringTableScripts : public testing::NativeScriptTest {
protected:
    testing::NativeScriptLibraries& Libraries() override {
        static testing::NativeScriptLibraries libraries(kTest);
        return libraries;
    }
    uint32_t Table() {
        TDBTagRef config, table;
        TDBContainerTag::SetString(table, Kiv::PString("cost"), Kiv::PString("costs $0 dollars"));
        TDBContainerTag::SetString(table, Kiv::PString("money"), Kiv::PString("$$$0 and $1$"));
        TDBContainerTag::SetString(table, Kiv::PString("odd"), Kiv::PString("$x$"));
        TDBContainerTag::SetContainer(config, Kiv::PString("string-table"), table);
        return (new GSOStringTable(context.get(), config))->instance;  // handed to the run
    }
    std::string Get(const char* name, const char* p0 = "", const char* p1 = "") {
        return Call("$string@Test::Get(StringTable,string,string,string)",
                    {Table(), Str(name), Str(p0), Str(p1)})
            .text;
    }
};

TEST_F(StringTableScripts, ParametersAreSubstitutedInOnePass) {
    EXPECT_EQ(Get("cost", "5"), "costs 5 dollars");
    EXPECT_EQ(Get("COST", "5"), "costs 5 dollars");
    EXPECT_EQ(Get("money", "7", "b"), "$7 and b$");
    EXPECT_EQ(Get("odd"), "$x$");
    // Inserted text is not scanned again.
    EXPECT_EQ(Get("cost", "$1", "no"), "costs $1 dollars");
    EXPECT_EQ(Call("$string@Test::Cleared(StringTable)", {Table()}).text, "costs  dollars");
    EXPECT_EQ(Call("$string@Test::Kept(StringTable)", {Table()}).text, "costs 5 dollars");
    EXPECT_EQ(Call("$string@Test::Nulls(StringTable)", {Table()}).text, "||costs  dollars");
}

TEST_F(StringTableScripts, ANameNoTableHoldsComesBackLowerCased) {
    EXPECT_EQ(Get("Missing_Name"), "missing_name");
    // Without an interface text naming the language, English is assumed.
    EXPECT_EQ(Call("$string@Test::Language(StringTable)", {Table()}).text, "english");
}

TEST_F(StringTableScripts, AnIndexOutsideZeroToNineIsRefused) {
    for (int32_t index : {10, -1}) {
        ScriptResult r = Call("$string@Test::Bad(StringTable,int)", {Table(), uint32_t(index)});
        EXPECT_EQ(r.result, ER_Exception) << index;
        EXPECT_TRUE(r.Logged("StringTable.SetParam> index (" + std::to_string(index) +
                             ") out of range (0..9)"))
            << ::testing::PrintToString(r.log);
    }
}

}  // namespace
}  // namespace ScriptNatives
