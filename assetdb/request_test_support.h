// Test support: a scripted transport behind the request seam, standing in for the daemon. It
// records every request and post (id, payload bytes and what the request handed the link) and
// answers each request with the bytes scripted for its id, or fails it as an unreachable daemon
// would. Used by the unit tests and the reply fuzz target; it needs no test framework.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "assetdb/request_sender.h"
#include "foundation/tstream.h"
#include "platform/kiv/base/log.h"

namespace requesttest {

using Bytes = std::vector<uint8_t>;

struct SentMessage {
    uint32_t id = 0;
    bool post = false;
    Bytes payload;
    WEXClientEventHandler* eventHandler = nullptr;
    ResultsLog* resultsLog = nullptr;
    bool keepLog = false;
};

// Little-endian wire bytes built field by field, independently of the stream code.
class Wire {
public:
    Wire& U8(uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }
    Wire& Bool(bool v) { return U8(v ? 1 : 0); }
    Wire& U16(uint16_t v) { return Le(v, 2); }
    Wire& U32(uint32_t v) { return Le(v, 4); }
    Wire& U64(uint64_t v) { return Le(v, 8); }
    Wire& Float(float v) {
        uint32_t bits;
        static_assert(sizeof bits == sizeof v);
        std::memcpy(&bits, &v, 4);
        return U32(bits);
    }
    // Content id, then the version in the top 7 bits over the 25-bit user id.
    Wire& Kuid(int32_t user, int32_t content, int32_t version = 0) {
        U32(static_cast<uint32_t>(content));
        return U32((static_cast<uint32_t>(version) << 25) |
                   (static_cast<uint32_t>(user) & 0x1FFFFFFu));
    }
    Wire& NullKuid() { return Kuid(-1, -1, 127); }
    // Interned-string form: length with the NUL, bytes, NUL.
    Wire& Name(const std::string& s) {
        U32(static_cast<uint32_t>(s.size() + 1));
        Raw(s);
        return U8(0);
    }
    Wire& Text(const std::string& s) {
        U32(static_cast<uint32_t>(s.size()));
        return Raw(s);
    }
    Wire& Raw(const std::string& s) {
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        return *this;
    }
    Wire& Raw(const Bytes& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }
    operator Bytes() const { return bytes_; }  // NOLINT: a wire is its bytes

private:
    Wire& Le(uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes bytes_;
};

// The engine log's lines written while it lives.
class LogLines {
public:
    LogLines()
        : id_(Kiv::Log::AddListener([this](std::string_view l) { lines_.emplace_back(l); })) {}
    ~LogLines() { Kiv::Log::RemoveListener(id_); }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;
    const std::vector<std::string>& Get() const { return lines_; }

private:
    std::vector<std::string> lines_;
    int id_;
};

// Installs itself as the transport for its lifetime and restores the previous one after.
class ScriptedTransport {
public:
    ScriptedTransport() : previous_(WEXGetTransport()) {
        current_ = this;
        WEXSetTransport({&Transact, &Post});
    }
    ~ScriptedTransport() {
        WEXSetTransport(previous_);
        current_ = nullptr;
    }
    ScriptedTransport(const ScriptedTransport&) = delete;
    ScriptedTransport& operator=(const ScriptedTransport&) = delete;

    // Requests of this id are answered with these bytes.
    void Answer(uint32_t id, const Bytes& reply) { answers_[id] = Answer_{true, reply}; }
    // Requests of this id fail as if the daemon could not be reached.
    void Unreachable(uint32_t id) { answers_[id] = Answer_{false, {}}; }
    // Ids without a scripted answer get these bytes (at first an empty reply).
    void AnswerUnscripted(const Bytes& reply) { unscripted_ = Answer_{true, reply}; }
    // Ids without a scripted answer fail.
    void FailUnscripted() { unscripted_ = Answer_{false, {}}; }
    void SetPostsSucceed(bool succeed) { postsSucceed_ = succeed; }

    const std::vector<SentMessage>& Sent() const { return sent_; }
    void ClearSent() { sent_.clear(); }
    // The messages of one id, in the order sent.
    std::vector<SentMessage> SentWithId(uint32_t id) const {
        std::vector<SentMessage> out;
        for (const SentMessage& m : sent_)
            if (m.id == id) out.push_back(m);
        return out;
    }

private:
    struct Answer_ {
        bool reached = true;
        Bytes reply;
    };

    static Bytes Drain(TStream& payload) {
        Bytes out;
        uint8_t chunk[256];
        uint32_t n;
        while ((n = payload.ReadBytes(chunk, sizeof chunk)) > 0)
            out.insert(out.end(), chunk, chunk + n);
        return out;
    }

    static bool Transact(uint32_t id, TStream& payload, TStream* reply,
                         WEXClientEventHandler* handler, ResultsLog* log, bool keepLog) {
        ScriptedTransport& d = *current_;
        d.sent_.push_back({id, false, Drain(payload), handler, log, keepLog});
        auto it = d.answers_.find(id);
        const Answer_& answer = it != d.answers_.end() ? it->second : d.unscripted_;
        if (!answer.reached) return false;
        if (reply != nullptr && !answer.reply.empty())
            reply->Write(answer.reply.data(), static_cast<uint32_t>(answer.reply.size()));
        return true;
    }

    static bool Post(uint32_t id, TStream& payload) {
        ScriptedTransport& d = *current_;
        d.sent_.push_back({id, true, Drain(payload), nullptr, nullptr, false});
        return d.postsSucceed_;
    }

    static inline ScriptedTransport* current_ = nullptr;
    WEXTransport previous_;
    std::map<uint32_t, Answer_> answers_;
    Answer_ unscripted_;
    bool postsSucceed_ = true;
    std::vector<SentMessage> sent_;
};

}  // namespace requesttest
