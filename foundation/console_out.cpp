#include "foundation/console_out.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <ext/stdio_sync_filebuf.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <iostream>

namespace {

std::atomic<int> pipeFd{-1};

void WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        length -= static_cast<size_t>(n);
    }
}

void PutUnit(std::string& out, uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
}

void PutCodePoint(std::string& out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        PutUnit(out, 0xD800 + (cp >> 10));
        PutUnit(out, 0xDC00 + (cp & 0x3FF));
    } else {
        PutUnit(out, cp);
    }
}

// stdio writes through this when standard output is the pipe.
struct PipeCookie {
    int fd;
    std::string carry;
};

ssize_t PipeWrite(void* cookie, const char* data, size_t size) {
    auto* c = static_cast<PipeCookie*>(cookie);
    std::string out;
    AppendUtf16LE(std::string_view(data, size), out, &c->carry);
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::write(c->fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;  // the parent went away: stdio records the error
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(size);
}

// At static start-up, before main.
[[maybe_unused]] const bool redirectedAtStart = OS::RedirectStdoutToPipe();

}  // namespace

void AppendUtf16LE(std::string_view utf8, std::string& out, std::string* carry) {
    std::string joined;
    if (carry != nullptr && !carry->empty()) {
        joined = *carry + std::string(utf8);
        carry->clear();
        utf8 = joined;
    }
    size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0) {
            PutUnit(out, 0xFFFD);
            ++i;
            continue;
        }
        if (i + len > utf8.size()) {
            // Cut off: complete it next time, unless what is there is already malformed.
            bool fine = true;
            for (size_t k = i + 1; k < utf8.size(); ++k)
                fine = fine && (static_cast<unsigned char>(utf8[k]) & 0xC0) == 0x80;
            if (carry != nullptr && fine) {
                carry->assign(utf8.substr(i));
                return;
            }
        }
        uint32_t cp = len == 1 ? b : b & (0x7F >> len);
        bool ok = i + len <= utf8.size();
        for (size_t k = 1; ok && k < len; ++k) {
            const auto c = static_cast<unsigned char>(utf8[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            PutUnit(out, 0xFFFD);
            ++i;
            continue;
        }
        PutCodePoint(out, cp);
        i += len;
    }
}

std::string WideToUtf8(const wchar_t* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        auto cp = static_cast<uint32_t>(text[i]);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

namespace OS {

std::string StdoutPipeName(uint32_t processId) {
    return "/tmp/" + std::to_string(processId) + "cout";
}

bool RedirectStdoutToPipe() {
    if (IsStdoutPipe()) return true;
    return RedirectStdoutTo(StdoutPipeName(static_cast<uint32_t>(::getpid())));
}

bool RedirectStdoutTo(const std::string& pipeName) {
    if (IsStdoutPipe()) return true;
    // Non-blocking, so that a pipe nobody reads fails at once instead of holding start-up;
    // writes block again afterwards.
    int fd = ::open(pipeName.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) return false;
    int fl = ::fcntl(fd, F_GETFL);
    if (fl == -1 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) == -1) {
        ::close(fd);
        return false;
    }
    cookie_io_functions_t io{};
    io.write = PipeWrite;
    FILE* stream = ::fopencookie(new PipeCookie{fd, {}}, "w", io);
    if (stream == nullptr) {
        ::close(fd);
        return false;
    }
    std::setvbuf(stream, nullptr, _IOLBF, BUFSIZ);
    // A parent that stops reading must end our output, not the process.
    ::signal(SIGPIPE, SIG_IGN);
    std::fflush(stdout);
    stdout = stream;
    static auto* coutBuffer = new __gnu_cxx::stdio_sync_filebuf<char>(stream);
    std::cout.flush();
    std::cout.rdbuf(coutBuffer);
    pipeFd.store(fd, std::memory_order_release);
    return true;
}

bool IsStdoutPipe() {
    return pipeFd.load(std::memory_order_acquire) != -1;
}

void WriteStdoutRaw(const char* text, size_t length) {
    int fd = pipeFd.load(std::memory_order_acquire);
    if (fd == -1) {
        WriteAll(STDOUT_FILENO, text, length);
        return;
    }
    char wide[256];
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        uint32_t unit = c < 0x80 ? c : 0xFFFD;
        wide[n++] = static_cast<char>(unit & 0xFF);
        wide[n++] = static_cast<char>(unit >> 8);
        if (n == sizeof wide) {
            WriteAll(fd, wide, n);
            n = 0;
        }
    }
    WriteAll(fd, wide, n);
}

}  // namespace OS
