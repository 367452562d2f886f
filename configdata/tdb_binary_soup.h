// TDBBinarySoup: a container of a loaded binary soup, seen through the read view. It walks its
// run of chunks in the file's body on demand and makes a new node for each child it hands out;
// children added and removed through it are kept in the file's overlay, so the loaded bytes
// never change. Name lookup compares bytes and so does not ignore case.
//
// A view or value of the same file added here is kept by its position, not by reference, and
// values hold only the loaded bytes, so edits do not make a file keep itself alive. One case
// still does: a container view placed inside an editable container that is added to its own
// file; copy such a subtree into editable nodes first.
#pragma once

#include "configdata/soup_node.h"

class TDBBinarySoup : public ACSChunk {
public:
    TDBBinarySoup(CountedRef<TDBBinaryFile> file, uint32_t runStart, uint32_t runSize,
                  SoupNodeLocation location)
        : file_(std::move(file)), runStart_(runStart), runSize_(runSize), location_(location) {}

    // The first visible chunk of that name, else the first added child of that name, else the
    // null node.
    TDBTagRef FindChild(const Kiv::PString& name) const override;
    TDBTagRef FindChildForEdit(const Kiv::PString& name) override { return FindChild(name); }
    // Visible chunks, then added children in the order added.
    uint32_t GetChildCount() const override;
    bool GetChildAt(uint32_t index, Kiv::PString& name, TDBTagRef& node) const override;
    // Nothing when the node is already an added child of this container.
    void AddChild(const Kiv::PString& name, const TDBTagRef& node) override;
    // Removes an added child, or hides a chunk of this container; any other node is ignored.
    void RemoveChild(const TDBTagRef& node) override;
    // New values are editable nodes, held in the overlay once added.
    TDBTagRef CreateTag(uint32_t type, const ACSRawDataRef& data) override;
    uint32_t GetType() const override { return kTagContainer; }

    const TDBBinaryFile* GetFile() const { return file_.Get(); }
    const TDBSoupBody* GetBody() const { return file_->GetBodyBlock().Get(); }
    SoupNodeLocation GetLocation() const { return location_; }

private:
    // The run's key in the overlay: where its chunks start.
    uint32_t Key() const { return runStart_; }
    uint32_t RunEnd() const { return runStart_ + runSize_; }
    // The next chunk at or after `position` that is not removed; advances `position` past it.
    bool NextVisible(uint32_t& position, SoupChunk& chunk) const;
    uint32_t CountVisible() const;
    TDBTagRef MakeAdded(const TDBSoupOverlay::Added& added) const;

    CountedRef<TDBBinaryFile> file_;
    uint32_t runStart_;
    uint32_t runSize_;
    SoupNodeLocation location_;

    // Caches, valid while the overlay's generation is the one they were made at; any view of
    // the same file that changes the overlay advances it.
    static constexpr uint64_t kNever = ~uint64_t{0};
    mutable uint64_t countGeneration_ = kNever;
    mutable uint32_t visibleCount_ = 0;
    // The visible chunk with index cursorIndex_ is the first at or after cursorPosition_.
    mutable uint64_t cursorGeneration_ = kNever;
    mutable uint32_t cursorIndex_ = 0;
    mutable uint32_t cursorPosition_ = 0;
};
