#include "services/wexdaemon/staging_area.h"

#include <gtest/gtest.h>

namespace {

TEST(ChangeIntentTest, RoundTripsAndRefusesAnythingElse) {
    wexd::ChangeIntent intent;
    intent.op = "commit";
    intent.target = "kuid 5 6";
    intent.source = "/data/UserData/editing/kuid 5 6";
    intent.staged = {2049, 1234567890123ULL};
    intent.modifiedAt = 1700000000;
    std::string text = wexd::EncodeIntent(intent);
    wexd::ChangeIntent back;
    ASSERT_TRUE(wexd::DecodeIntent(text, back));
    EXPECT_EQ(back, intent);

    auto with = [&](const std::string& from, const std::string& to) {
        std::string t = text;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::string bad[] = {
        "",
        text.substr(0, text.size() - 1),       // the last line unfinished
        with("op=commit", "op=erase"),         // an unknown change
        with("target=kuid 5 6", "target=.."),  // climbing out of local/
        with("target=kuid 5 6", "target=a/b"),
        with("target=kuid 5 6", "target="),
        with("inode=1234567890123", "inode=12x"),
        with("device=2049", "device=-1"),
        with("source=", "from="),  // a field missing, another unknown
        text + "op=install\n",     // a field twice
        with("\ninode", "\nnoequals\ninode"),
        with("modified=1700000000", "modified=soon"),
        with("modified=1700000000", "modified=-4"),
        with("modified=1700000000", "changed=1700000000"),
    };
    for (const std::string& t : bad) {
        wexd::ChangeIntent out;
        EXPECT_FALSE(wexd::DecodeIntent(t, out)) << t;
    }
    // A record of an older daemon, without the time of the change, still completes.
    ASSERT_TRUE(wexd::DecodeIntent(with("modified=1700000000\n", ""), back));
    EXPECT_EQ(back.modifiedAt, 0);
    EXPECT_EQ(back.target, intent.target);
}

}  // namespace
