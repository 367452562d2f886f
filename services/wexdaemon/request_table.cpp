#include "services/wexdaemon/request_table.h"

namespace wexd {

bool RequestContext::SendNote(uint32_t type, const void* bytes, uint32_t length) {
    if (IsPost() || notes_ == nullptr) return false;
    return notes_->SendNote(type, bytes, length);
}

void RequestTable::Add(uint32_t messageId, std::string name, uint32_t flags,
                       RequestHandler handler) {
    entries_[messageId] = RequestEntry{std::move(name), flags, std::move(handler)};
}

const RequestEntry* RequestTable::Find(uint32_t messageId) const {
    auto it = entries_.find(messageId);
    return it == entries_.end() ? nullptr : &it->second;
}

}  // namespace wexd
