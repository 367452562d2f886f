// Intrusive doubly linked lists: the links live in the nodes, so linking and unlinking never
// allocate. IntrusiveListNode belongs to a plain owner that records its first and last node;
// Utils::IDoubleLinkListNode belongs to an IntrusiveList (a count and a sentinel whose links
// point to itself when empty), and NodeList is such a list that also owns its nodes. A node
// knows its list, so a node destroyed while linked takes itself out.
#pragma once

#include <cstdint>

class IntrusiveListNode;

// The owner's ends: first and last node, null when empty.
struct IntrusiveListOwner {
    IntrusiveListNode* first = nullptr;
    IntrusiveListNode* last = nullptr;

    // Links a node that belongs to no owner after the last; false when it belongs to one.
    bool PushBack(IntrusiveListNode* node);
};

class IntrusiveListNode {
public:
    IntrusiveListNode() = default;
    ~IntrusiveListNode() { Unlink(); }
    IntrusiveListNode(const IntrusiveListNode&) = delete;
    IntrusiveListNode& operator=(const IntrusiveListNode&) = delete;

    // Takes the node out of its owner's list, fixing the owner's first and last; nothing when
    // it has no owner.
    void Unlink();

    IntrusiveListOwner* GetOwner() const { return owner_; }
    IntrusiveListNode* GetPrev() const { return prev_; }
    IntrusiveListNode* GetNext() const { return next_; }

private:
    friend struct IntrusiveListOwner;
    IntrusiveListOwner* owner_ = nullptr;
    IntrusiveListNode* prev_ = nullptr;
    IntrusiveListNode* next_ = nullptr;
};

class IntrusiveList;

namespace Utils {

class IDoubleLinkListNode {
public:
    IDoubleLinkListNode() = default;
    // A node still linked takes itself out of its list.
    virtual ~IDoubleLinkListNode();
    IDoubleLinkListNode(const IDoubleLinkListNode&) = delete;
    IDoubleLinkListNode& operator=(const IDoubleLinkListNode&) = delete;

    bool IsLinked() const { return list_ != nullptr; }
    IntrusiveList* GetList() const { return list_; }

private:
    friend class ::IntrusiveList;
    IDoubleLinkListNode* prev_ = nullptr;
    IDoubleLinkListNode* next_ = nullptr;
    IntrusiveList* list_ = nullptr;
};

}  // namespace Utils

class IntrusiveList {
public:
    IntrusiveList();
    // Unlinks every node, freeing none.
    virtual ~IntrusiveList();
    IntrusiveList(const IntrusiveList&) = delete;
    IntrusiveList& operator=(const IntrusiveList&) = delete;

    // Link a node that is in no list; false when it is in one (or null).
    bool PushBack(Utils::IDoubleLinkListNode* node);
    bool PushFront(Utils::IDoubleLinkListNode* node);
    // Takes a node of this list out; false when it is not in this list.
    bool Remove(Utils::IDoubleLinkListNode* node);
    // Unlinks every node (its links set to null) without freeing it; count 0.
    void Clear();

    // Walking: null past either end.
    Utils::IDoubleLinkListNode* First() const { return Real(sentinel_.next_); }
    Utils::IDoubleLinkListNode* Last() const { return Real(sentinel_.prev_); }
    Utils::IDoubleLinkListNode* Next(const Utils::IDoubleLinkListNode* node) const {
        return Real(node->next_);
    }
    Utils::IDoubleLinkListNode* Prev(const Utils::IDoubleLinkListNode* node) const {
        return Real(node->prev_);
    }

    uint32_t Count() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }

private:
    bool LinkBetween(Utils::IDoubleLinkListNode* node, Utils::IDoubleLinkListNode* prev,
                     Utils::IDoubleLinkListNode* next);
    Utils::IDoubleLinkListNode* Real(Utils::IDoubleLinkListNode* node) const {
        return node == &sentinel_ ? nullptr : node;
    }

    // Only its links are used; it belongs to no list.
    mutable Utils::IDoubleLinkListNode sentinel_;
    uint32_t count_ = 0;
};

// A list that owns its nodes: they were made with new and are deleted with it.
class NodeList : public IntrusiveList {
public:
    NodeList() = default;
    ~NodeList() override { ClearAndFree(); }

    // Deletes every node; the sentinel points to itself again.
    void ClearAndFree();
};
