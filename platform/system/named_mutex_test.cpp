// Named mutexes and shared memory between real processes (forked children), and the rule that
// a name left behind only by dead processes counts as new.
#include "platform/system/named_mutex.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/system/named_object.h"
#include "platform/system/shared_memory.h"
#include "tests/support/held_child.h"

namespace {

using Result = Sys::NamedMutex::OpenResult;

// A name of this test run only.
std::string FreshName(const char* what) {
    return std::string("named-mutex-test/") + what + "/" + std::to_string(::getpid());
}

TEST(NamedObjectKey, IsStableAndFileNameSafe) {
    EXPECT_EQ(Sys::NamedObjectKey("a/b"), Sys::NamedObjectKey("a/b"));
    EXPECT_NE(Sys::NamedObjectKey("a/b"), Sys::NamedObjectKey("a/c"));
    std::string key = Sys::NamedObjectKey("09731AC6/c:\\Program Files\\x");
    EXPECT_EQ(key.size(), 7u + 16u);
    EXPECT_EQ(key.find_first_of("/\\: "), std::string::npos);
}

TEST(NamedMutex, FirstUserCreatesAndOwnsLaterUsersJoin) {
    std::string name = FreshName("join");
    Sys::NamedMutex first;
    ASSERT_EQ(first.Create(name, true), Result::kCreated);
    first.Unlock();
    EXPECT_TRUE(first.IsOnlyUser());

    testsupport::HeldChild child([&](testsupport::HeldChild::Channel& ch) {
        Sys::NamedMutex second;
        ch.Report(static_cast<int64_t>(second.Create(name, true)));
        ch.AwaitRelease();
    });
    EXPECT_EQ(child.Next(), static_cast<int64_t>(Result::kExisted));
    EXPECT_FALSE(first.IsOnlyUser());
    // The probe must not have cost this process its own place among the users.
    EXPECT_FALSE(first.IsOnlyUser());
    child.Release();
    child.Wait();
    EXPECT_TRUE(first.IsOnlyUser());

    // The last user to close takes the lock files with it.
    const std::string base = Sys::NamedObjectFolder() + "/" + Sys::NamedObjectKey(name);
    EXPECT_EQ(::access((base + ".mutex").c_str(), F_OK), 0);
    first.Close();
    EXPECT_NE(::access((base + ".mutex").c_str(), F_OK), 0);
    EXPECT_NE(::access((base + ".users").c_str(), F_OK), 0);
}

TEST(NamedMutex, NameLeftByAKilledProcessCountsAsNew) {
    std::string name = FreshName("killed");
    testsupport::HeldChild child([&](testsupport::HeldChild::Channel& ch) {
        Sys::NamedMutex m;
        Result r = m.Create(name, true);  // and keeps holding it
        ch.Report(static_cast<int64_t>(r));
        ch.AwaitRelease();
    });
    ASSERT_EQ(child.Next(), static_cast<int64_t>(Result::kCreated));
    child.Kill();

    Sys::NamedMutex after;
    EXPECT_EQ(after.Create(name, false), Result::kCreated);
    EXPECT_TRUE(after.Lock());  // the dead owner's hold went with it
    after.Unlock();
}

TEST(NamedMutex, ExcludesAnotherProcess) {
    std::string name = FreshName("exclude");
    Sys::NamedMutex mine;
    ASSERT_EQ(mine.Create(name, true), Result::kCreated);
    // The child reports 1 once it got the mutex; it can only get it after the release below.
    testsupport::HeldChild child([&](testsupport::HeldChild::Channel& ch) {
        Sys::NamedMutex theirs;
        ch.Report(static_cast<int64_t>(theirs.Create(name, false)));
        ch.Report(0);
        theirs.Lock();
        ch.Report(1);
        theirs.Unlock();
    });
    // Create itself waits for the mutex, so the first report comes only after the release.
    mine.Unlock();
    EXPECT_EQ(child.Next(), static_cast<int64_t>(Result::kExisted));
    EXPECT_EQ(child.Next(), 0);
    EXPECT_EQ(child.Next(), 1);
}

TEST(NamedMutex, ReentrantForItsThreadAndClosedWhileHeld) {
    std::string name = FreshName("reentrant");
    Sys::NamedMutex m;
    ASSERT_EQ(m.Create(name, false), Result::kCreated);
    EXPECT_TRUE(m.Lock());
    EXPECT_TRUE(m.Lock());
    m.Unlock();
    m.Close();  // still held once: closing releases it
    EXPECT_FALSE(m.Lock());
    Sys::NamedMutex again;
    EXPECT_EQ(again.Create(name, false), Result::kCreated);
    EXPECT_TRUE(again.Lock());
    again.Unlock();
}

TEST(SharedMemory, ProcessesSeeOneBlockUntilItIsRemoved) {
    std::string name = FreshName("memory");
    Sys::SharedMemory::Remove(name);
    testsupport::HeldChild child([&](testsupport::HeldChild::Channel& ch) {
        Sys::SharedMemory block;
        bool ok = block.Open(name, 36);
        if (ok) std::memcpy(block.Data(), "hello", 5);
        ch.Report(ok ? 1 : 0);
        ch.AwaitRelease();
    });
    ASSERT_EQ(child.Next(), 1);
    Sys::SharedMemory block;
    ASSERT_TRUE(block.Open(name, 36));
    EXPECT_EQ(std::memcmp(block.Data(), "hello", 5), 0);
    EXPECT_EQ(block.Size(), 36u);
    block.Close();

    EXPECT_TRUE(Sys::SharedMemory::Remove(name));
    ASSERT_TRUE(block.Open(name, 36));
    const auto* bytes = static_cast<const unsigned char*>(block.Data());
    for (size_t i = 0; i < 36; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    block.Close();
    EXPECT_TRUE(Sys::SharedMemory::Remove(name));
    EXPECT_FALSE(block.Open(name, 0));
}

}  // namespace
