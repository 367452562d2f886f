#include "platform/system/peer_user.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/loopback_listener.h"

namespace {

TEST(PeerIdentityTest, FindsTheEntryOfBothEnds) {
    const std::string table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n"
        "   0: 0100007F:972F 00000000:0000 0A 00000000:00000000 00:00000000 00000000  0 0 1\n"
        "   1: 0100007F:CCAE 0100007F:972F 01 00000000:00000000 00:00000000 00000000  1000 0 2\n"
        "   2: 0100007F:972F 0100007F:CCAE 01 00000000:00000000 00:00000000 00000000  0 0 3\n"
        "   3: 0100007F:CCAF 0100007F:972F 01 00000000:00000000 00:00000000 00000000  x1 0 4\n"
        "   4: short line\n";
    uint32_t uid = 0;
    ASSERT_TRUE(Sys::FindSocketUserInTable(table, "0100007F:CCAE", "0100007F:972F", uid));
    EXPECT_EQ(uid, 1000u);
    EXPECT_FALSE(Sys::FindSocketUserInTable(table, "0100007F:CCAF", "0100007F:972F", uid));
    EXPECT_FALSE(Sys::FindSocketUserInTable(table, "0100007F:0001", "0100007F:972F", uid));
    EXPECT_FALSE(Sys::FindSocketUserInTable("", "a", "b", uid));
}

TEST(PeerIdentityTest, ALoopbackPeerIsThisUser) {
    testsupport::LoopbackListener listener;
    ASSERT_NE(listener.port(), 0);
    int client = testsupport::ConnectLoopback(listener.port());
    ASSERT_GE(client, 0);
    int served = listener.Accept();
    ASSERT_GE(served, 0);
    uint32_t uid = 12345;
    EXPECT_TRUE(Sys::FindPeerUser(served, uid));
    EXPECT_EQ(uid, ::geteuid());
    ::close(served);
    ::close(client);
}

}  // namespace
