#include "cli/command_words.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(CommandWords, EveryWordInItsPlace) {
    const char* const expected[] = {
        "version",
        "installedversionlo",
        "installedversionhi",
        "installedbuildnumberlo",
        "installedbuildnumberhi",
        "echo",
        "installedversion",
        "installedbuildnumber",
        "registeraccount",
        "closewexdaemon",
        "installcdp",
        "installfrompath",
        "installfromvdx",
        "importconsists",
        "edit",
        "printconfig",
        "compile",
        "wexcommandhost",
        "encrypt",
        "listbuilds",
        "commit",
        "revert",
        "delete",
        "generatekuid",
        "repairdatabase",
        "compresstexture",
        "authors",
        "searchbycategory",
        "status",
        "validate",
        "createcdp",
        "vdxparse",
        "vdxparsefolder",
        "vdxdeleteall",
        "backupkeywords",
        "importkeywords",
    };
    auto words = GetCommandWords();
    ASSERT_EQ(words.size(), std::size(expected));
    std::set<CommandId> ids;
    for (size_t i = 0; i < words.size(); ++i) {
        EXPECT_STREQ(words[i].word, expected[i]) << i;
        ids.insert(words[i].id);
    }
    EXPECT_EQ(ids.size(), words.size()) << "each word has its own id";
}

TEST(CommandWords, MatchIgnoresCaseButNotSpelling) {
    struct Case {
        const char* word;
        int argc;
        const char* found;  // null: no match
    };
    const Case cases[] = {
        {"VERSION", 2, "version"},
        {"Version", 2, "version"},
        {"versions", 2, nullptr},
        {"installCDP", 3, "installcdp"},
        {"generateKUID", 2, "generatekuid"},
        {"createCDP", 4, "createcdp"},
        // The longer word is found though a shorter one stands before it.
        {"installedversionlo", 2, "installedversionlo"},
        {"installedversion", 2, "installedversion"},
        // registeraccount needs a user name and a password.
        {"registeraccount", 4, "registeraccount"},
        {"RegisterAccount", 5, "registeraccount"},
        {"registeraccount", 3, nullptr},
        {"", 2, nullptr},
        {"help", 2, nullptr},
        {"norender", 2, nullptr},
    };
    for (const Case& c : cases) {
        const CommandWord* found = FindCommandWord(c.word, c.argc);
        if (c.found == nullptr) {
            EXPECT_EQ(found, nullptr) << c.word;
        } else {
            ASSERT_NE(found, nullptr) << c.word;
            EXPECT_STREQ(found->word, c.found) << c.word;
        }
    }
    EXPECT_EQ(FindCommandWord("Status", 3)->id, CommandId::Status);
}

}  // namespace
