#include "validation/nu_message.h"

#include "foundation/statics.h"

namespace {

// How deep the current thread is in forwarding chains.
thread_local int tForwardDepth = 0;

}  // namespace

NuMessageRecipient* NuPipeEnd::GetFarRecipient() const {
    return twin_ != nullptr ? twin_->owner_ : nullptr;
}

NuMessageRecipient::~NuMessageRecipient() {
    while (NuPipeEnd* end = FirstPipe())
        ClosePipe(end);
}

NuMessageRecipient* NuMessageRecipient::GetForwardRecipient() {
    return nullptr;
}

int NuMessageRecipient::HandleMessage(const NuMessageData& message) {
    NuMessageRecipient* next = GetForwardRecipient();
    if (next == nullptr || tForwardDepth >= kMaxForwardHops) return 1;
    ++tForwardDepth;
    int answer = next->HandleMessage(message);
    --tForwardDepth;
    return answer;
}

NuPipeEnd* NuMessageRecipient::ConnectPipe(NuMessageRecipient& a, uint32_t aWord,
                                           NuMessageRecipient& b, uint32_t bWord) {
    // Each end carries the word its far recipient knows the pipe by.
    auto* atA = new NuPipeEnd(&a, bWord);
    auto* atB = new NuPipeEnd(&b, aWord);
    atA->twin_ = atB;
    atB->twin_ = atA;
    a.pipes_.PushBack(atA);
    b.pipes_.PushBack(atB);
    return atA;
}

void NuMessageRecipient::SendToPipes(const NuMessageData& message) {
    for (NuPipeEnd* end = FirstPipe(); end != nullptr;) {
        NuPipeEnd* next = NextPipe(end);
        if (NuMessageRecipient* far = end->GetFarRecipient()) far->HandleMessage(message);
        end = next;
    }
}

void NuMessageRecipient::ClosePipe(NuPipeEnd* end) {
    if (end == nullptr || end->owner_ != this) return;
    NuMessageRecipient* far = nullptr;
    if (end->twin_ != nullptr) {
        far = end->twin_->owner_;
        end->twin_->twin_ = nullptr;
        end->twin_ = nullptr;
    }
    uint32_t word = end->word_;
    end->Unlink();
    delete end;
    if (far != nullptr) far->HandleMessage(NuMessageData(PipeClosedWord(), word, this));
}

uint32_t NuMessageRecipient::CountPipes() const {
    uint32_t n = 0;
    for (const NuPipeEnd* end = FirstPipe(); end != nullptr; end = NextPipe(end))
        ++n;
    return n;
}
