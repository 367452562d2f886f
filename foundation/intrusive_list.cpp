#include "foundation/intrusive_list.h"

using Utils::IDoubleLinkListNode;

bool IntrusiveListOwner::PushBack(IntrusiveListNode* node) {
    if (node == nullptr || node->owner_ != nullptr) return false;
    node->owner_ = this;
    node->prev_ = last;
    node->next_ = nullptr;
    if (last != nullptr)
        last->next_ = node;
    else
        first = node;
    last = node;
    return true;
}

void IntrusiveListNode::Unlink() {
    if (owner_ == nullptr) return;
    if (prev_ != nullptr)
        prev_->next_ = next_;
    else
        owner_->first = next_;
    if (next_ != nullptr)
        next_->prev_ = prev_;
    else
        owner_->last = prev_;
    owner_ = nullptr;
    prev_ = next_ = nullptr;
}

namespace Utils {

IDoubleLinkListNode::~IDoubleLinkListNode() {
    if (list_ != nullptr) list_->Remove(this);
}

}  // namespace Utils

IntrusiveList::IntrusiveList() {
    sentinel_.prev_ = sentinel_.next_ = &sentinel_;
}

IntrusiveList::~IntrusiveList() {
    Clear();
}

bool IntrusiveList::LinkBetween(IDoubleLinkListNode* node, IDoubleLinkListNode* prev,
                                IDoubleLinkListNode* next) {
    if (node == nullptr || node->list_ != nullptr || node == &sentinel_) return false;
    node->prev_ = prev;
    node->next_ = next;
    prev->next_ = node;
    next->prev_ = node;
    node->list_ = this;
    ++count_;
    return true;
}

bool IntrusiveList::PushBack(IDoubleLinkListNode* node) {
    return LinkBetween(node, sentinel_.prev_, &sentinel_);
}

bool IntrusiveList::PushFront(IDoubleLinkListNode* node) {
    return LinkBetween(node, &sentinel_, sentinel_.next_);
}

bool IntrusiveList::Remove(IDoubleLinkListNode* node) {
    if (node == nullptr || node->list_ != this) return false;
    node->prev_->next_ = node->next_;
    node->next_->prev_ = node->prev_;
    node->prev_ = node->next_ = nullptr;
    node->list_ = nullptr;
    --count_;
    return true;
}

void IntrusiveList::Clear() {
    IDoubleLinkListNode* n = sentinel_.next_;
    while (n != &sentinel_) {
        IDoubleLinkListNode* next = n->next_;
        n->prev_ = n->next_ = nullptr;
        n->list_ = nullptr;
        n = next;
    }
    sentinel_.prev_ = sentinel_.next_ = &sentinel_;
    count_ = 0;
}

void NodeList::ClearAndFree() {
    while (IDoubleLinkListNode* n = First()) {
        Remove(n);
        delete n;
    }
}
