// Change messages between objects joined by pipes. A results log tells whatever shows or
// forwards it that messages arrived ("list-updated") or that it is going away
// ("list-destroyed"); closing a pipe tells the far side ("pipe-closed").
//
// A pipe has two ends, one in each joined recipient's list. Each end knows the recipient at
// the far end and carries the word by which that far recipient knows the pipe. Closing one end
// leaves the other in its owner's list without a far recipient: it carries nothing any more,
// and its owner drops it on "pipe-closed" or when it dies.
//
// Pipes are joined and closed by their owners, on the thread that owns them; sending runs on
// any thread that holds the sender's own lock. Joining or closing must not race with a send
// through the same recipients.
#pragma once

#include <cstdint>
#include <utility>

#include "foundation/intrusive_list.h"
#include "platform/kiv/base/pstring.h"

class NuMessageRecipient;

class NuMessageData {
public:
    // name: one of ListUpdatedWord(), ListDestroyedWord(), PipeClosedWord() (compared by
    // identity). value: for the list messages the sender's address as a 32-bit word, for
    // "pipe-closed" the closed pipe's word. sender: the sending recipient, for receivers that
    // must tell apart senders whose addresses share their low 32 bits.
    NuMessageData(Kiv::PString name, uint32_t value, const NuMessageRecipient* sender = nullptr)
        : name_(std::move(name)), value_(value), sender_(sender) {}
    virtual ~NuMessageData() = default;

    const Kiv::PString& GetName() const { return name_; }
    uint32_t GetValue() const { return value_; }
    const NuMessageRecipient* GetSender() const { return sender_; }

    // The word that stands for an object's address in a message's value.
    static uint32_t WordOf(const void* object) {
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
    }

private:
    Kiv::PString name_;
    uint32_t value_;
    const NuMessageRecipient* sender_;
};

// One recipient's end of a pipe.
class NuPipeEnd : public IntrusiveListNode {
public:
    // The recipient at the far end; null once either end was closed.
    NuMessageRecipient* GetFarRecipient() const;
    // The word by which the far recipient knows this pipe.
    uint32_t GetWord() const { return word_; }

private:
    friend class NuMessageRecipient;
    NuPipeEnd(NuMessageRecipient* owner, uint32_t word) : owner_(owner), word_(word) {}

    NuMessageRecipient* owner_;
    NuPipeEnd* twin_ = nullptr;
    uint32_t word_;
};

class NuMessageRecipient {
public:
    // Forwarding chains longer than this stop there, so that two recipients forwarding to each
    // other cannot recurse without end.
    static constexpr int kMaxForwardHops = 64;

    NuMessageRecipient() = default;
    NuMessageRecipient(const NuMessageRecipient&) = delete;
    NuMessageRecipient& operator=(const NuMessageRecipient&) = delete;
    // Closes every pipe, first to last; each far recipient gets "pipe-closed".
    virtual ~NuMessageRecipient();

    // The recipient to which messages are passed on; none here.
    virtual NuMessageRecipient* GetForwardRecipient();
    // Passes the message to the forward recipient and returns its answer; 1 when there is none.
    virtual int HandleMessage(const NuMessageData& message);

    // Joins two recipients by a new pipe. aWord is the word by which `a` knows the pipe (it is
    // the value of the "pipe-closed" that `a` receives when `b` closes its end), bWord the same
    // for `b`. Returns a's end.
    static NuPipeEnd* ConnectPipe(NuMessageRecipient& a, uint32_t aWord, NuMessageRecipient& b,
                                  uint32_t bWord);

    // Hands the message to the far recipient of each pipe, in list order; answers are ignored.
    // The next end is read before each call, so a receiver may close the pipe it is called
    // through.
    void SendToPipes(const NuMessageData& message);
    // Detaches the far recipient, takes the end out of this recipient's list and frees it,
    // then tells the far recipient (when there was one) "pipe-closed" with the pipe's word.
    // An end that is not this recipient's is left alone.
    void ClosePipe(NuPipeEnd* end);

    NuPipeEnd* FirstPipe() const { return static_cast<NuPipeEnd*>(pipes_.first); }
    static NuPipeEnd* NextPipe(const NuPipeEnd* end) {
        return static_cast<NuPipeEnd*>(end->GetNext());
    }
    uint32_t CountPipes() const;

private:
    IntrusiveListOwner pipes_;
};
