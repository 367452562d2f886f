// Named mutexes and shared memory between real processes (forked children), and the rule that
// a name left behind only by dead processes counts as new.
#include "platform/system/named_mutex.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
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

namespace {

// The files a name stands for: the mutex's two lock files and the shared-memory object.
struct Planted {
    std::string name;
    std::string base = Sys::NamedObjectFolder() + "/" + Sys::NamedObjectKey(name);
    std::string mutexFile = base + ".mutex";
    std::string usersFile = base + ".users";
    std::string memoryFile = "/dev/shm/" + Sys::NamedObjectKey(name);
    ~Planted() {
        for (const std::string& f : {mutexFile, usersFile, memoryFile})
            ::unlink(f.c_str());
    }
};

// Makes the file as another user would have: its mode, and its owner when the test may give it
// one (as root); false when the owner could not be given.
bool Plant(const std::string& path, mode_t mode, uid_t owner) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, mode) == 0 && (owner == ::geteuid() || ::fchown(fd, owner, owner) == 0);
    ::close(fd);
    return ok;
}

constexpr uid_t kNobody = 65534;

}  // namespace

// A name is a file any user may make first in a folder every user can write: one that another
// user owns, that others may use, or that is a link is refused with the reason, and nothing of
// it is taken over or removed.
TEST(NamedObjects, FilesOfAnotherUserOrOpenToOthersAreRefused) {
    struct Case {
        const char* why;
        mode_t mode;
        bool otherOwner;
        const char* reason;
    };
    const Case cases[] = {
        {"open to every user", 0666, false, "is open to other users (mode 0666, not 0600)"},
        {"readable by the group", 0640, false, "is open to other users (mode 0640, not 0600)"},
        {"another user's", 0600, true, "belongs to user 65534, not to this user"},
    };
    const bool mayChown = ::geteuid() == 0;
    for (const Case& c : cases) {
        if (c.otherOwner && !mayChown) continue;  // only root can give a file away
        const uid_t owner = c.otherOwner ? kNobody : ::geteuid();
        for (int which = 0; which < 3; ++which) {
            Planted p{FreshName(c.why) + std::to_string(which)};
            const std::string& file = which == 0   ? p.mutexFile
                                      : which == 1 ? p.usersFile
                                                   : p.memoryFile;
            ASSERT_TRUE(Plant(file, c.mode, owner)) << c.why;
            if (which < 2) {
                Sys::NamedMutex mutex;
                EXPECT_EQ(mutex.Create(p.name, true), Result::kFailed) << c.why << " " << file;
                EXPECT_NE(mutex.GetError().find(file + " " + c.reason), std::string::npos)
                    << mutex.GetError();
                EXPECT_FALSE(mutex.IsOpen());
            } else {
                Sys::SharedMemory memory;
                EXPECT_FALSE(memory.Open(p.name, 36)) << c.why;
                EXPECT_NE(memory.GetError().find(c.reason), std::string::npos) << memory.GetError();
            }
            // Left as it was found: never removed, never made private by us.
            struct stat st;
            ASSERT_EQ(::stat(file.c_str(), &st), 0) << c.why;
            EXPECT_EQ(st.st_mode & 07777, c.mode) << c.why;
        }
    }
    // A link in a lock file's place is not followed.
    Planted p{FreshName("link")};
    ASSERT_EQ(::symlink("/tmp/named-mutex-test-nowhere", p.mutexFile.c_str()), 0);
    Sys::NamedMutex mutex;
    EXPECT_EQ(mutex.Create(p.name, true), Result::kFailed);
    EXPECT_NE(mutex.GetError().find(p.mutexFile + " cannot be opened"), std::string::npos)
        << mutex.GetError();
    EXPECT_FALSE(std::ifstream("/tmp/named-mutex-test-nowhere").good());
}

// What this user makes is its own alone.
TEST(NamedObjects, AreMadeForThisUserAlone) {
    Planted p{FreshName("private")};
    const mode_t previous = ::umask(0);  // even with nothing masked
    Sys::NamedMutex mutex;
    Sys::SharedMemory memory;
    bool made = mutex.Create(p.name, false) == Result::kCreated && memory.Open(p.name, 36);
    ::umask(previous);
    ASSERT_TRUE(made) << mutex.GetError() << memory.GetError();
    for (const std::string& file : {p.mutexFile, p.usersFile, p.memoryFile}) {
        struct stat st;
        ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << file;
        EXPECT_EQ(st.st_uid, ::geteuid()) << file;
    }
    mutex.Close();
    memory.Close();
    Sys::SharedMemory::Remove(p.name);
}
