#include "platform/kiv/base/thread.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

TEST(Thread, AForkedChildHasItsOwnId) {
    uint32_t parent = Kiv::Thread::GetCurrentId();
    EXPECT_EQ(parent, static_cast<uint32_t>(::getpid()));  // the test's main thread
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(Kiv::Thread::GetCurrentId() == static_cast<uint32_t>(::getpid()) ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Thread, KnowsWhichProcessesAreAlive) {
    EXPECT_TRUE(Kiv::Thread::IsProcessAlive(static_cast<uint32_t>(::getpid())));
    EXPECT_FALSE(Kiv::Thread::IsProcessAlive(0));
    EXPECT_FALSE(Kiv::Thread::IsProcessAlive(0xFFFFFFFFu));
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    // Ended but not yet reaped: a zombie is no longer alive.
    while (Kiv::Thread::IsProcessAlive(static_cast<uint32_t>(child)))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_FALSE(Kiv::Thread::IsProcessAlive(static_cast<uint32_t>(child)));
}

}  // namespace
