// The intrusive AVL tree of the script machine: the router keeps one per message major, holding
// the subscribing nodes in their own order. The tree links nodes the caller made and never owns
// them; insertion refuses a node equal to one already present.
#pragma once

#include <cstdint>

namespace Utils {

struct AVLLinks;

class GSIAVLNode {
public:
    virtual ~GSIAVLNode() = default;
    // Negative, 0 or positive as this node orders before, with or after `other`.
    virtual int Compare(const GSIAVLNode& other) const = 0;

    GSIAVLNode* Left() const { return left_; }
    GSIAVLNode* Right() const { return right_; }
    // 0: the left subtree is one level deeper; 1: balanced; 2: the right one is deeper.
    uint8_t Balance() const { return balance_; }

private:
    friend class GSIAVLTree;
    friend struct AVLLinks;
    uint8_t balance_ = 1;
    GSIAVLNode* left_ = nullptr;
    GSIAVLNode* right_ = nullptr;
};

class GSIAVLTree {
public:
    GSIAVLTree() = default;
    virtual ~GSIAVLTree() = default;
    GSIAVLTree(const GSIAVLTree&) = delete;
    GSIAVLTree& operator=(const GSIAVLTree&) = delete;

    // The node that compares equal with `key`, or null.
    GSIAVLNode* Find(const GSIAVLNode& key) const;
    // False, changing nothing, when a node equal to `node` is present.
    bool Insert(GSIAVLNode* node);
    // Unlinks and returns the node equal to `key`; null when there is none.
    GSIAVLNode* Remove(const GSIAVLNode& key);

    GSIAVLNode* Root() const { return root_; }
    uint32_t Count() const { return count_; }

    // In-order walk over an explicit stack. An AVL tree of 2^32 nodes is at most 46 levels
    // tall, so the stack can never overrun.
    class Iterator {
    public:
        static constexpr int kStackSize = 48;
        explicit Iterator(const GSIAVLTree& tree) : tree_(tree) {}
        // The first node in order, null for an empty tree.
        GSIAVLNode* Begin();
        // The next node in order, null at the end.
        GSIAVLNode* Next();
        bool Valid() const { return valid_; }

    private:
        struct Entry {
            GSIAVLNode* node;
            uint8_t state;
        };
        void Push(GSIAVLNode* node, uint8_t state);
        void PushLeftChain(GSIAVLNode* node);
        const GSIAVLTree& tree_;
        Entry stack_[kStackSize];
        int depth_ = 0;
        bool valid_ = false;
    };

private:
    bool InsertAt(GSIAVLNode*& root, GSIAVLNode* node, bool& grew);
    GSIAVLNode* RemoveAt(GSIAVLNode*& root, const GSIAVLNode& key, bool& shrank);
    GSIAVLNode* RemoveLargest(GSIAVLNode*& root, bool& shrank);
    GSIAVLNode* root_ = nullptr;
    uint32_t count_ = 0;
};

}  // namespace Utils
