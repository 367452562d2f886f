#include "foundation/console_out.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "foundation/logging.h"
#include "tests/support/child_process.h"

namespace {

std::string Utf16(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

TEST(AppendUtf16LE, ConvertsAndReplacesMalformedBytes) {
    struct Case {
        const char* what;
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"ascii", "OK (0 Errors)\n", u"OK (0 Errors)\n"},
        {"two, three and four bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
         u"\u00e9\u20ac\U0001F600"},
        {"stray continuation", "a\x80z", u"a\uFFFDz"},
        {"overlong", "\xc0\xaf", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xed\xa0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"cut at the end", "ab\xe2\x82", u"ab\uFFFD\uFFFD"},
        {"Windows-1252 byte", "caf\xe9!", u"caf\uFFFD!"},
    };
    for (const Case& c : cases) {
        std::string out;
        AppendUtf16LE(c.utf8, out);
        EXPECT_EQ(out, Utf16(c.utf16)) << c.what;
    }
}

TEST(AppendUtf16LE, CompletesASequenceSplitAcrossWrites) {
    std::string out;
    std::string carry;
    AppendUtf16LE("x\xe2", out, &carry);
    AppendUtf16LE("\x82", out, &carry);
    AppendUtf16LE("\xac!", out, &carry);
    EXPECT_TRUE(carry.empty());
    EXPECT_EQ(out, Utf16(u"x\u20ac!"));
}

// The parent makes the pipe named after the child and reads it; everything the child prints
// (stdio, iostreams, the line writer, the engine log) arrives as UTF-16.
TEST(RedirectStdoutToPipe, SendsStandardOutputToTheParentsPipeAsUtf16) {
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::fflush(stdout);
    pid_t child = ::fork();
    if (child == 0) {
        char b;
        if (::read(go[0], &b, 1) != 1) ::_exit(20);
        if (!OS::RedirectStdoutToPipe() || !OS::IsStdoutPipe()) ::_exit(21);
        std::printf("OK (0 Errors, 1 Warnings)\n");
        OS::LogLineA("caf\xc3\xa9");
        std::cout << "cout " << 5 << std::endl;
        Kiv::Log::ToStdOut();
        Kiv::Log::Write("engine");
        OS::WriteStdoutRaw("raw\n", 4);
        std::fflush(stdout);
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    std::string name = OS::StdoutPipeName(static_cast<uint32_t>(child));
    ::unlink(name.c_str());
    ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
    int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_NE(fd, -1);
    ASSERT_EQ(::write(go[1], "g", 1), 1);

    // The output is far smaller than the pipe's buffer: it waits there for the reader.
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string got;
    char buffer[256];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    ::unlink(name.c_str());
    EXPECT_EQ(got, Utf16(u"OK (0 Errors, 1 Warnings)\ncaf\u00e9\ncout 5\nengine\nraw\n"));
}

TEST(RedirectStdoutToPipe, WithoutAPipeOutputStaysEightBit) {
    testsupport::ChildResult r = testsupport::RunInChild([] {
        if (OS::RedirectStdoutToPipe() || OS::IsStdoutPipe()) ::_exit(21);
        // A pipe nobody reads counts as none; opening it must not block.
        std::string name = OS::StdoutPipeName(static_cast<uint32_t>(::getpid()));
        if (::mkfifo(name.c_str(), 0600) != 0) ::_exit(22);
        bool redirected = OS::RedirectStdoutToPipe();
        ::unlink(name.c_str());
        if (redirected) ::_exit(23);
        OS::LogLineA("caf\xc3\xa9");
    });
    EXPECT_EQ(r.ExitCode(), 0);
    EXPECT_EQ(r.out, "caf\xc3\xa9\n");
}

}  // namespace
