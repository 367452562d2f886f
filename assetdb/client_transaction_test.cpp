// The pending table without a link: ids, the answers to the daemon's questions, reply
// delivery and the failing of a dropped link's requests.
#include "assetdb/client_transaction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assetdb/client_event_handler.h"
#include "configdata/kuid.h"
#include "platform/kiv/base/log.h"

namespace {

class FixedHandler final : public WEXClientEventHandler {
public:
    uint32_t OnQuestion(const Kiv::PString&, Kiv::String&, const KUID&, uint32_t) override {
        return 11;
    }
};

TEST(ClientTransaction, IdsNeverZeroNorTakenAcrossTheWrap) {
    WEXClientTransaction held(nullptr, nullptr, false);
    WEXSetTransactionCounter(1);
    held.Register();
    EXPECT_EQ(held.GetId(), 1u);

    WEXSetTransactionCounter(0xFFFFFFFEu);
    std::vector<uint32_t> ids;
    for (int i = 0; i < 3; ++i) {
        WEXClientTransaction t(nullptr, nullptr, false);
        t.Register();
        ids.push_back(t.GetId());
    }
    // 0 is never handed out, and 1 is still waiting.
    EXPECT_EQ(ids, (std::vector<uint32_t>{0xFFFFFFFEu, 0xFFFFFFFFu, 2u}));
    WEXSetTransactionCounter(0);
    WEXClientTransaction t(nullptr, nullptr, false);
    t.Register();
    EXPECT_EQ(t.GetId(), 2u);
    EXPECT_EQ(WEXCountPendingTransactions(), 2u);
}

TEST(ClientTransaction, UnregisteredTransactionDoesNotWait) {
    WEXClientTransaction t(nullptr, nullptr, false);
    EXPECT_FALSE(t.Wait());
}

TEST(ClientTransaction, QuestionsAreAnsweredByTheHandlerOrForIt) {
    FixedHandler handler;
    WEXClientTransaction with(&handler, nullptr, false);
    WEXClientTransaction without(nullptr, nullptr, false);
    with.Register();
    without.Register();
    Kiv::PString question("Overwrite?");
    struct Case {
        uint32_t id;
        uint32_t code;
    };
    const Case cases[] = {{with.GetId(), 11},
                          {without.GetId(), kEventAnswerNoHandler},
                          {0x7FFFFFF0u, kEventAnswerNoRequest}};
    for (const Case& c : cases)
        EXPECT_EQ(WEXClientTransaction::AskHandler(c.id, question, KUID(1, 2)), c.code) << c.id;
}

TEST(ClientTransaction, ReplyWakesItsRequesterOnceAndIsUnknownAfterwards) {
    std::vector<std::string> lines;
    int listener = Kiv::Log::AddListener([&](std::string_view l) { lines.emplace_back(l); });
    WEXClientTransaction t(nullptr, nullptr, false);
    t.Register();
    const uint32_t id = t.GetId();
    t.MarkSent(5);
    EXPECT_TRUE(WEXClientTransaction::ReceiveReply(id, 5));
    EXPECT_TRUE(t.Wait());
    EXPECT_EQ(t.GetReplyLink(), 5u);
    EXPECT_FALSE(WEXClientTransaction::ReceiveReply(id, 5));
    Kiv::Log::RemoveListener(listener);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(
        lines.back(),
        "WEXClientTransaction::ReceiveReply> received reply for unknown clientTransactionID=" +
            std::to_string(id));
}

// Only the requests sent on the dropped link fail; one sent after the drop on that link
// (the reader was faster than the sender's bookkeeping) fails at once; one not yet sent, or
// sent on the next link, waits on.
TEST(ClientTransaction, DropFailsTheRequestsOfThatLinkOnly) {
    WEXClientTransaction onOld(nullptr, nullptr, false);
    WEXClientTransaction unsent(nullptr, nullptr, false);
    WEXClientTransaction late(nullptr, nullptr, false);
    WEXClientTransaction onNew(nullptr, nullptr, false);
    for (auto* t : {&onOld, &unsent, &late, &onNew})
        t->Register();
    onOld.MarkSent(100);
    FailAllTransactions(100);
    late.MarkSent(100);
    onNew.MarkSent(101);
    EXPECT_FALSE(onOld.Wait());
    EXPECT_FALSE(late.Wait());
    // The others were not woken: a reply still reaches them.
    EXPECT_TRUE(WEXClientTransaction::ReceiveReply(unsent.GetId(), 101));
    EXPECT_TRUE(unsent.Wait());
    EXPECT_TRUE(WEXClientTransaction::ReceiveReply(onNew.GetId(), 101));
    EXPECT_TRUE(onNew.Wait());
    WEXForgetDroppedLinks();
}

}  // namespace
