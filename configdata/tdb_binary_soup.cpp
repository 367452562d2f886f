#include "configdata/tdb_binary_soup.h"

#include "configdata/tdb_container_tag.h"

bool TDBBinarySoup::NextVisible(uint32_t& position, SoupChunk& chunk) const {
    const TDBSoupOverlay& overlay = file_->GetOverlay();
    while (ParseSoupChunk(file_->GetBody(), position, RunEnd(), chunk)) {
        position = chunk.next;
        if (!overlay.IsRemoved(chunk.position, Key())) return true;
    }
    return false;
}

uint32_t TDBBinarySoup::CountVisible() const {
    uint64_t generation = file_->GetOverlay().GetGeneration();
    if (countGeneration_ != generation) {
        uint32_t n = 0;
        uint32_t position = runStart_;
        SoupChunk chunk;
        while (NextVisible(position, chunk))
            ++n;
        visibleCount_ = n;
        countGeneration_ = generation;
    }
    return visibleCount_;
}

uint32_t TDBBinarySoup::GetChildCount() const {
    return CountVisible() + file_->GetOverlay().CountAdded(Key());
}

bool TDBBinarySoup::GetChildAt(uint32_t index, Kiv::PString& name, TDBTagRef& node) const {
    uint32_t visible = CountVisible();
    if (index < visible) {
        // Walking forward from where the last lookup ended makes a walk by index linear.
        uint64_t generation = file_->GetOverlay().GetGeneration();
        uint32_t at = 0;
        uint32_t position = runStart_;
        if (cursorGeneration_ == generation && cursorIndex_ <= index) {
            at = cursorIndex_;
            position = cursorPosition_;
        }
        SoupChunk chunk;
        while (NextVisible(position, chunk)) {
            if (at++ == index) {
                cursorGeneration_ = generation;
                cursorIndex_ = at;
                cursorPosition_ = position;
                name = Kiv::PString(chunk.name);
                node = MakeSoupNode(file_, chunk, Key());
                return true;
            }
        }
    } else if (const auto* added = file_->GetOverlay().GetAdded(Key());
               added != nullptr && index - visible < added->size()) {
        const TDBSoupOverlay::Added& a = (*added)[index - visible];
        name = a.name;
        node = MakeAdded(a);
        return true;
    }
    name = Kiv::PString();
    node.Reset();
    return false;
}

TDBTagRef TDBBinarySoup::MakeAdded(const TDBSoupOverlay::Added& added) const {
    if (added.chunk == TDBSoupOverlay::kNoChunk) return added.node;
    return MakeSoupNodeAt(file_, added.chunk, added.chunkParent);
}

TDBTagRef TDBBinarySoup::FindChild(const Kiv::PString& name) const {
    // Every loaded chunk has a name; only an added child can be without one.
    if (!name.IsNull()) {
        std::string_view wanted = name.view();
        uint32_t position = runStart_;
        SoupChunk chunk;
        while (NextVisible(position, chunk))
            if (chunk.name == wanted) return MakeSoupNode(file_, chunk, Key());
    }
    if (const auto* added = file_->GetOverlay().GetAdded(Key())) {
        for (const TDBSoupOverlay::Added& a : *added)
            if (a.name == name) return MakeAdded(a);
    }
    return GetNullChunk();
}

void TDBBinarySoup::AddChild(const Kiv::PString& name, const TDBTagRef& node) {
    if (!node) return;
    TDBSoupOverlay::Added record;
    record.name = name;
    SoupNodeLocation location;
    if (FindSoupNodeLocation(node.Get(), location) == GetBody()) {
        record.chunk = location.chunk;
        record.chunkParent = location.runKey;
    } else {
        record.node = node;
    }
    file_->GetOverlay().Add(Key(), std::move(record));
}

void TDBBinarySoup::RemoveChild(const TDBTagRef& node) {
    if (!node) return;
    TDBSoupOverlay& overlay = file_->GetOverlay();
    SoupNodeLocation location;
    if (FindSoupNodeLocation(node.Get(), location) != GetBody()) {
        overlay.RemoveAddedNode(Key(), node.Get());
        return;
    }
    if (overlay.RemoveAddedChunk(Key(), location.chunk)) return;
    if (location.runKey == Key() && location.chunk != TDBSoupOverlay::kRootChunk)
        overlay.MarkRemoved(location.chunk, Key());
}

TDBTagRef TDBBinarySoup::CreateTag(uint32_t type, const ACSRawDataRef& data) {
    return TDBContainerTag::MakeTag(type, data);
}
