#include "script/vm/gs_avl_tree.h"

namespace Utils {

namespace {

constexpr uint8_t kLeftHeavy = 0;
constexpr uint8_t kBalanced = 1;
constexpr uint8_t kRightHeavy = 2;

}  // namespace

// Friend access for the rotation helpers below.
struct AVLLinks {
    static GSIAVLNode*& L(GSIAVLNode* n) { return n->left_; }
    static GSIAVLNode*& R(GSIAVLNode* n) { return n->right_; }
    static uint8_t& B(GSIAVLNode* n) { return n->balance_; }
};

namespace {

GSIAVLNode*& LeftOf(GSIAVLNode* n) {
    return AVLLinks::L(n);
}
GSIAVLNode*& RightOf(GSIAVLNode* n) {
    return AVLLinks::R(n);
}
uint8_t& BalanceOf(GSIAVLNode* n) {
    return AVLLinks::B(n);
}

// Rebalances a root that leans two levels to the left. Returns true when the subtree's height
// dropped (always after an insertion; after a removal only unless the child was balanced).
bool RotateLeftHeavy(GSIAVLNode*& root) {
    GSIAVLNode* a = root;
    GSIAVLNode* b = LeftOf(a);
    if (BalanceOf(b) != kRightHeavy) {  // single rotation
        bool wasBalanced = BalanceOf(b) == kBalanced;
        LeftOf(a) = RightOf(b);
        RightOf(b) = a;
        if (wasBalanced) {
            BalanceOf(a) = kLeftHeavy;
            BalanceOf(b) = kRightHeavy;
        } else {
            BalanceOf(a) = kBalanced;
            BalanceOf(b) = kBalanced;
        }
        root = b;
        return !wasBalanced;
    }
    GSIAVLNode* c = RightOf(b);  // double rotation
    RightOf(b) = LeftOf(c);
    LeftOf(a) = RightOf(c);
    LeftOf(c) = b;
    RightOf(c) = a;
    BalanceOf(a) = BalanceOf(c) == kLeftHeavy ? kRightHeavy : kBalanced;
    BalanceOf(b) = BalanceOf(c) == kRightHeavy ? kLeftHeavy : kBalanced;
    BalanceOf(c) = kBalanced;
    root = c;
    return true;
}

bool RotateRightHeavy(GSIAVLNode*& root) {
    GSIAVLNode* a = root;
    GSIAVLNode* b = RightOf(a);
    if (BalanceOf(b) != kLeftHeavy) {
        bool wasBalanced = BalanceOf(b) == kBalanced;
        RightOf(a) = LeftOf(b);
        LeftOf(b) = a;
        if (wasBalanced) {
            BalanceOf(a) = kRightHeavy;
            BalanceOf(b) = kLeftHeavy;
        } else {
            BalanceOf(a) = kBalanced;
            BalanceOf(b) = kBalanced;
        }
        root = b;
        return !wasBalanced;
    }
    GSIAVLNode* c = LeftOf(b);
    LeftOf(b) = RightOf(c);
    RightOf(a) = LeftOf(c);
    RightOf(c) = b;
    LeftOf(c) = a;
    BalanceOf(a) = BalanceOf(c) == kRightHeavy ? kLeftHeavy : kBalanced;
    BalanceOf(b) = BalanceOf(c) == kLeftHeavy ? kRightHeavy : kBalanced;
    BalanceOf(c) = kBalanced;
    root = c;
    return true;
}

// After the left subtree of `root` lost a level: true when `root` lost one too.
bool LeftShrank(GSIAVLNode*& root) {
    switch (BalanceOf(root)) {
        case kLeftHeavy:
            BalanceOf(root) = kBalanced;
            return true;
        case kBalanced:
            BalanceOf(root) = kRightHeavy;
            return false;
        default:
            return RotateRightHeavy(root);
    }
}

bool RightShrank(GSIAVLNode*& root) {
    switch (BalanceOf(root)) {
        case kRightHeavy:
            BalanceOf(root) = kBalanced;
            return true;
        case kBalanced:
            BalanceOf(root) = kLeftHeavy;
            return false;
        default:
            return RotateLeftHeavy(root);
    }
}

}  // namespace

GSIAVLNode* GSIAVLTree::Find(const GSIAVLNode& key) const {
    GSIAVLNode* n = root_;
    while (n != nullptr) {
        int c = key.Compare(*n);
        if (c == 0) return n;
        n = c < 0 ? n->left_ : n->right_;
    }
    return nullptr;
}

bool GSIAVLTree::Insert(GSIAVLNode* node) {
    bool grew = false;
    if (!InsertAt(root_, node, grew)) return false;
    ++count_;
    return true;
}

bool GSIAVLTree::InsertAt(GSIAVLNode*& root, GSIAVLNode* node, bool& grew) {
    if (root == nullptr) {
        node->left_ = node->right_ = nullptr;
        node->balance_ = kBalanced;
        root = node;
        grew = true;
        return true;
    }
    int c = node->Compare(*root);
    if (c == 0) return false;
    if (c < 0) {
        if (!InsertAt(root->left_, node, grew)) return false;
        if (grew) {
            if (root->balance_ == kRightHeavy) {
                root->balance_ = kBalanced;
                grew = false;
            } else if (root->balance_ == kBalanced) {
                root->balance_ = kLeftHeavy;
            } else {
                RotateLeftHeavy(root);
                grew = false;
            }
        }
    } else {
        if (!InsertAt(root->right_, node, grew)) return false;
        if (grew) {
            if (root->balance_ == kLeftHeavy) {
                root->balance_ = kBalanced;
                grew = false;
            } else if (root->balance_ == kBalanced) {
                root->balance_ = kRightHeavy;
            } else {
                RotateRightHeavy(root);
                grew = false;
            }
        }
    }
    return true;
}

GSIAVLNode* GSIAVLTree::Remove(const GSIAVLNode& key) {
    bool shrank = false;
    GSIAVLNode* removed = RemoveAt(root_, key, shrank);
    if (removed != nullptr) {
        --count_;
        removed->left_ = removed->right_ = nullptr;
        removed->balance_ = kBalanced;
    }
    return removed;
}

GSIAVLNode* GSIAVLTree::RemoveLargest(GSIAVLNode*& root, bool& shrank) {
    if (root->right_ != nullptr) {
        GSIAVLNode* largest = RemoveLargest(root->right_, shrank);
        if (shrank) shrank = RightShrank(root);
        return largest;
    }
    GSIAVLNode* largest = root;
    root = root->left_;
    shrank = true;
    return largest;
}

GSIAVLNode* GSIAVLTree::RemoveAt(GSIAVLNode*& root, const GSIAVLNode& key, bool& shrank) {
    if (root == nullptr) {
        shrank = false;
        return nullptr;
    }
    int c = key.Compare(*root);
    if (c < 0) {
        GSIAVLNode* removed = RemoveAt(root->left_, key, shrank);
        if (shrank) shrank = LeftShrank(root);
        return removed;
    }
    if (c > 0) {
        GSIAVLNode* removed = RemoveAt(root->right_, key, shrank);
        if (shrank) shrank = RightShrank(root);
        return removed;
    }
    GSIAVLNode* found = root;
    if (found->left_ == nullptr && found->right_ == nullptr) {
        root = nullptr;
        shrank = true;
        return found;
    }
    if (found->left_ != nullptr) {
        // The largest node of the left subtree takes the found node's place.
        GSIAVLNode* left = found->left_;
        GSIAVLNode* heir = RemoveLargest(left, shrank);
        heir->left_ = left;
        heir->right_ = found->right_;
        heir->balance_ = found->balance_;
        root = heir;
        if (shrank) shrank = LeftShrank(root);
        return found;
    }
    // Only a right child: in an AVL tree it is a single leaf, which moves up.
    root = found->right_;
    shrank = true;
    return found;
}

void GSIAVLTree::Iterator::Push(GSIAVLNode* node, uint8_t state) {
    if (depth_ >= kStackSize) {  // unreachable for a balanced tree; ends the walk safely
        valid_ = false;
        depth_ = 0;
        return;
    }
    stack_[depth_++] = {node, state};
}

void GSIAVLTree::Iterator::PushLeftChain(GSIAVLNode* node) {
    for (; node != nullptr && valid_; node = node->left_)
        Push(node, 1);
}

GSIAVLNode* GSIAVLTree::Iterator::Begin() {
    depth_ = 0;
    valid_ = true;
    if (tree_.root_ != nullptr) Push(tree_.root_, 0);
    return Next();
}

GSIAVLNode* GSIAVLTree::Iterator::Next() {
    while (valid_ && depth_ > 0) {
        Entry e = stack_[--depth_];
        if (e.state == 0) {
            Push(e.node, 1);
            PushLeftChain(e.node->left_);
        } else if (e.state == 1) {
            Push(e.node, 2);
            return e.node;
        } else {
            PushLeftChain(e.node->right_);
        }
    }
    valid_ = false;
    return nullptr;
}

}  // namespace Utils
