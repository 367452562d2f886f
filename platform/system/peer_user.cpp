#include "platform/system/peer_user.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace Sys {

namespace {

// "AAAAAAAA:PPPP": the address word as stored in memory printed as one hex number (so
// 127.0.0.1 reads 0100007F here), the port as a number.
std::string TableEnd(const sockaddr_in& a) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X:%04X", static_cast<unsigned>(a.sin_addr.s_addr),
                  static_cast<unsigned>(ntohs(a.sin_port)));
    return text;
}

// The whitespace-separated fields of one line.
size_t Fields(std::string_view line, std::string_view* out, size_t max) {
    size_t n = 0;
    size_t i = 0;
    while (i < line.size() && n < max) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start) out[n++] = line.substr(start, i - start);
    }
    return n;
}

}  // namespace

bool FindSocketUserInTable(std::string_view table, std::string_view localEnd,
                           std::string_view remoteEnd, uint32_t& uid) {
    // Columns: sl local rem st queues timer retransmits uid ...
    size_t at = 0;
    while (at < table.size()) {
        size_t end = table.find('\n', at);
        if (end == std::string_view::npos) end = table.size();
        std::string_view line = table.substr(at, end - at);
        at = end + 1;
        std::string_view f[8];
        if (Fields(line, f, 8) < 8) continue;
        if (f[1] != localEnd || f[2] != remoteEnd) continue;
        std::string digits(f[7]);
        char* stop = nullptr;
        unsigned long v = std::strtoul(digits.c_str(), &stop, 10);
        if (stop == digits.c_str() || *stop != '\0' || v > UINT32_MAX) return false;
        uid = static_cast<uint32_t>(v);
        return true;
    }
    return false;
}

bool FindPeerUser(int socket, uint32_t& uid) {
    sockaddr_in self{};
    sockaddr_in peer{};
    socklen_t selfLength = sizeof self;
    socklen_t peerLength = sizeof peer;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&self), &selfLength) != 0 ||
        ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        self.sin_family != AF_INET || peer.sin_family != AF_INET)
        return false;
    // The kernel's tables report no size, so the file is read to its end.
    std::ifstream in("/proc/net/tcp");
    if (!in) return false;
    std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return FindSocketUserInTable(table, TableEnd(peer), TableEnd(self), uid);
}

}  // namespace Sys
