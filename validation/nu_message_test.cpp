#include "validation/nu_message.h"

#include <gtest/gtest.h>

#include <utility>

#include "foundation/statics.h"
#include "validation/results_test_support.h"

namespace {

using resultstest::Recorder;

TEST(NuMessagePipes, SendReachesEveryFarRecipientInJoiningOrder) {
    NuMessageRecipient hub;
    Recorder first, second;
    NuMessageRecipient::ConnectPipe(hub, 1, first, 10);
    NuMessageRecipient::ConnectPipe(hub, 2, second, 20);
    EXPECT_EQ(hub.CountPipes(), 2u);
    EXPECT_EQ(first.CountPipes(), 1u);

    hub.SendToPipes(NuMessageData(ListUpdatedWord(), 99, &hub));
    ASSERT_EQ(first.heard.size(), 1u);
    ASSERT_EQ(second.heard.size(), 1u);
    EXPECT_EQ(first.heard[0].name, "list-updated");
    EXPECT_EQ(first.heard[0].value, 99u);
    EXPECT_EQ(first.heard[0].sender, &hub);

    // Pipes carry both ways.
    first.SendToPipes(NuMessageData(ListUpdatedWord(), 5));
    EXPECT_EQ(second.heard.size(), 1u);
}

TEST(NuMessagePipes, ClosingTellsTheFarSideByItsWordAndCutsTheLink) {
    Recorder a, b;
    NuPipeEnd* atA = NuMessageRecipient::ConnectPipe(a, 11, b, 22);
    EXPECT_EQ(atA->GetFarRecipient(), &b);
    EXPECT_EQ(atA->GetWord(), 22u);  // b's word for the pipe

    a.ClosePipe(atA);
    EXPECT_EQ(a.CountPipes(), 0u);
    ASSERT_EQ(b.heard.size(), 1u);
    EXPECT_EQ(b.heard[0].name, "pipe-closed");
    EXPECT_EQ(b.heard[0].value, 22u);
    EXPECT_TRUE(a.heard.empty());

    // b keeps a dead end: nothing goes through it, and closing it tells nobody.
    ASSERT_EQ(b.CountPipes(), 1u);
    EXPECT_EQ(b.FirstPipe()->GetFarRecipient(), nullptr);
    b.SendToPipes(NuMessageData(ListUpdatedWord(), 1));
    EXPECT_TRUE(a.heard.empty());
    b.ClosePipe(b.FirstPipe());
    EXPECT_EQ(b.CountPipes(), 0u);
    EXPECT_EQ(b.heard.size(), 1u);
}

TEST(NuMessagePipes, AnEndOfAnotherRecipientIsLeftAlone) {
    Recorder a, b, c;
    NuPipeEnd* atA = NuMessageRecipient::ConnectPipe(a, 1, b, 2);
    c.ClosePipe(atA);
    c.ClosePipe(nullptr);
    EXPECT_EQ(a.CountPipes(), 1u);
    EXPECT_EQ(atA->GetFarRecipient(), &b);
}

TEST(NuMessagePipes, ADyingRecipientClosesEveryPipe) {
    Recorder a, b;
    {
        NuMessageRecipient dying;
        NuMessageRecipient::ConnectPipe(a, 1, dying, 100);
        NuMessageRecipient::ConnectPipe(dying, 200, b, 2);
    }
    ASSERT_EQ(a.heard.size(), 1u);
    EXPECT_EQ(a.heard[0].name, "pipe-closed");
    EXPECT_EQ(a.heard[0].value, 1u);
    ASSERT_EQ(b.heard.size(), 1u);
    EXPECT_EQ(b.heard[0].value, 2u);
    EXPECT_EQ(a.FirstPipe()->GetFarRecipient(), nullptr);
}

// A receiver that closes, from its own side, the pipe it is called through, and one that
// destroys its recipient: the sender goes on to the next pipe.
class Leaver : public NuMessageRecipient {
public:
    int HandleMessage(const NuMessageData&) override {
        ++calls;
        if (FirstPipe() != nullptr) ClosePipe(FirstPipe());
        return 0;
    }
    int calls = 0;
};

TEST(NuMessagePipes, AReceiverMayCloseThePipeItIsCalledThrough) {
    NuMessageRecipient hub;
    Leaver leaver;
    Recorder after;
    NuPipeEnd* toLeaver = NuMessageRecipient::ConnectPipe(hub, 1, leaver, 2);
    NuMessageRecipient::ConnectPipe(hub, 3, after, 4);

    hub.SendToPipes(NuMessageData(ListUpdatedWord(), 0));
    EXPECT_EQ(leaver.calls, 1);
    ASSERT_EQ(after.heard.size(), 1u);
    EXPECT_EQ(toLeaver->GetFarRecipient(), nullptr);

    // The hub closing its own end from inside a send also leaves the walk intact.
    class Closer : public NuMessageRecipient {
    public:
        int HandleMessage(const NuMessageData&) override {
            // Closing tells this recipient "pipe-closed" in turn; close once.
            NuPipeEnd* e = std::exchange(end, nullptr);
            if (e != nullptr) hub->ClosePipe(e);
            return 0;
        }
        NuMessageRecipient* hub = nullptr;
        NuPipeEnd* end = nullptr;
    } closer;
    closer.hub = &hub;
    hub.ClosePipe(toLeaver);
    closer.end = NuMessageRecipient::ConnectPipe(hub, 5, closer, 6);
    hub.SendToPipes(NuMessageData(ListUpdatedWord(), 0));
    EXPECT_EQ(after.heard.size(), 2u);
    EXPECT_EQ(hub.CountPipes(), 1u);
}

class Forwarder : public NuMessageRecipient {
public:
    NuMessageRecipient* GetForwardRecipient() override { return next; }
    NuMessageRecipient* next = nullptr;
};

TEST(NuMessagePipes, MessagesFollowTheForwardRecipientAndCyclesEnd) {
    Forwarder front, middle;
    Recorder end;
    front.next = &middle;
    middle.next = &end;
    EXPECT_EQ(front.HandleMessage(NuMessageData(ListUpdatedWord(), 3)), 7);
    EXPECT_EQ(end.heard.size(), 1u);

    NuMessageRecipient plain;
    EXPECT_EQ(plain.HandleMessage(NuMessageData(ListUpdatedWord(), 3)), 1);

    // Two recipients forwarding to each other: the chain stops instead of exhausting the stack.
    Forwarder x, y;
    x.next = &y;
    y.next = &x;
    EXPECT_EQ(x.HandleMessage(NuMessageData(ListUpdatedWord(), 3)), 1);
}

}  // namespace
