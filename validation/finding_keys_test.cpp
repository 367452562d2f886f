// The shipped texts of the validator's findings against the arguments the checks pass: each
// conversion of a text must take the argument of its place and kind ("s" text, "d" whole
// number, "g" real number), or the finding would show a conversion instead of a name. A key the
// texts lack shows as the key itself.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "configdata/interface_text.h"
#include "foundation/data_root.h"
#include "validation/finding_text.h"

namespace {

// The conversions of a text, as the kinds of argument they take.
std::string Conversions(std::string_view text) {
    std::string kinds;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        size_t j = i + 1;
        while (j < text.size() &&
               std::string_view("-+ #0123456789.hlLqjzt").find(text[j]) != std::string_view::npos)
            ++j;
        if (j >= text.size()) break;
        const char c = text[j];
        if (c == '%') {
            i = j;
            continue;
        }
        kinds += c == 's'                                                        ? 's'
                 : std::string_view("diuxXoc").find(c) != std::string_view::npos ? 'd'
                 : std::string_view("gGfFeE").find(c) != std::string_view::npos  ? 'g'
                                                                                 : '?';
        i = j;
    }
    return kinds;
}

const std::vector<std::pair<const char*, const char*>> kKeys = {
    {"$duv_container_alias", ""},
    {"$duv_container_emptycombobox", "ss"},
    {"$duv_container_emptylistbox", "ss"},
    {"$duv_container_emptyname", "ss"},
    {"$duv_container_emptystringerr", "ss"},
    {"$duv_container_emptystringwarn", "ss"},
    {"$duv_container_errorintemplate", "s"},
    {"$duv_container_missingcontainer", "s"},
    {"$duv_container_missingtag", "s"},
    {"$duv_container_noanimationext", "ss"},
    {"$duv_container_noattparent", "s"},
    {"$duv_container_nocontainerdefinition", "s"},
    {"$duv_container_nodefinition", "ss"},
    {"$duv_container_nokindspecification", ""},
    {"$duv_container_nokindtag", ""},
    {"$duv_container_nomeshext", "ss"},
    {"$duv_container_nopictureext", "ss"},
    {"$duv_container_nosmoke", ""},
    {"$duv_container_notavalidpossibility", "sss"},
    {"$duv_container_notavalidpossibility2", "sss"},
    {"$duv_container_notboolean", "ss"},
    {"$duv_container_obsoletetag", "ss"},
    {"$duv_container_oldcontainer", ""},
    {"$duv_container_typespecification", "ss"},
    {"$duv_binary_texture_conversion_failed", "s"},
    {"$duv_duplicatetexture", "s"},
    {"$duv_future_asset", ""},
    {"$duv_non_ansi_texture", "s"},
    {"$duv_obsolete_asset", ""},
    {"$duv_obsolete_tintwerk", ""},
    {"$duv_obsolete_water", ""},
    {"$duv_primaryalpha_notsamesize", "s"},
    {"$duv_texture_failedload", "s"},
    {"$duv_texture_missing_alpha", "ss"},
    {"$duv_texture_missing_primary", "ss"},
    {"$duv_texture_notpower2", "s"},
    {"$duv_val_arraywrongsize", "sdd"},
    {"$duv_val_duplicatecontainername", "ss"},
    {"$duv_val_duplicatetagname", "ss"},
    {"$duv_val_file_dne", "s"},
    {"$duv_val_mustbeinlightcontainer", "d"},
    {"$duv_val_mustbeownparent", "ss"},
    {"$duv_val_mustbepaired", "ss"},
    {"$duv_val_musthavealightcontainer", ""},
    {"$duv_val_no_visible_mesh", ""},
    {"$duv_val_nocollatemeshes", "ss"},
    {"$duv_val_not_type", "ss"},
    {"$duv_val_notownparent", ""},
    {"$duv_val_notpositive", "s"},
    {"$duv_val_notwithinrange", "sgg"},
    {"$duv_val_notype", "sss"},
    {"$duv_val_notzero", "s"},
    {"$duv_val_nullkuidwarn", "s"},
    {"$duv_val_scriptfiledne", "s"},
    {"$duv_val_shadow_missing", ""},
    {"$duv_val_texturefiledne", "s"},
    {"$duv_val_texturefilenotspecified", ""},
    {"$duv_val_texturefilewrongformat", "s"},
    {"$duv_val_wrongtype", "sss"},
};

class FindingKeys : public testing::Test {
protected:
    void SetUp() override {
        saved_ = GetInstallRoot();
        SetFolderRoots(Kiv::File::Path(HALVEX_STAGE_DIR), GetDataRoot());
        InterfaceTextDB::SetLanguage(nullptr);
        InterfaceTextDB::MarkUnloaded();
    }
    void TearDown() override {
        SetFolderRoots(saved_, GetDataRoot());
        InterfaceTextDB::MarkUnloaded();
    }
    Kiv::File::Path saved_;
};

TEST_F(FindingKeys, EveryShippedTextTakesTheArgumentsItsCheckPasses) {
    for (const auto& [key, arguments] : kKeys) {
        const Kiv::PString text = LocalisedText(key);
        EXPECT_NE(text.view(), key) << key << " has no shipped text";
        EXPECT_EQ(Conversions(text.view()), arguments) << key << ": " << text.view();
    }
}

TEST_F(FindingKeys, AMissingTextShowsItsKeyAndFillsNothing) {
    EXPECT_EQ(LocalisedText("$duv_no_such_text").str(), "$duv_no_such_text");
    EXPECT_EQ(FindingText("$duv_no_such_text", {"a", 1}).str(), "$duv_no_such_text");
    EXPECT_EQ(FindingText("$duv_val_notwithinrange", {"x", 1.5, -2.0}).str(),
              "Tag 'x' must lie between 1.5 and -2.");
    // Arguments of the wrong kind leave the conversion as written.
    EXPECT_EQ(FormatFinding("%g and %d", {"text", 2.5}).str(), "%g and %d");
}

}  // namespace
