#include "configdata/acs_chunk.h"

#include "configdata/tdb_tag_ref.h"

namespace {

// The one bare node. Made on first request and never destroyed, so references to it held by
// statics of other files stay valid through exit.
ACSChunk* NullChunk() {
    static ACSChunk* const node = new ACSChunk;
    return node;
}

}  // namespace

TDBTagRef ACSChunk::FindChild(const Kiv::PString&) const {
    return GetNullChunk();
}

TDBTagRef ACSChunk::FindChildForEdit(const Kiv::PString&) {
    return GetNullChunk();
}

uint32_t ACSChunk::GetChildCount() const {
    return 0;
}

bool ACSChunk::GetChildAt(uint32_t, Kiv::PString& name, TDBTagRef& node) const {
    name = Kiv::PString();
    node.Reset();
    return false;
}

void ACSChunk::SortChildren() {}

void ACSChunk::SwapChildren(const TDBTagRef&, const TDBTagRef&) {}

void ACSChunk::AddChild(const Kiv::PString&, const TDBTagRef&) {}

void ACSChunk::RemoveChild(const TDBTagRef&) {}

TDBTagRef ACSChunk::CreateTag(uint32_t, const ACSRawDataRef&) {
    return {};
}

const void* ACSChunk::GetData() const {
    return nullptr;
}

uint32_t ACSChunk::GetDataSize() const {
    return 0;
}

uint32_t ACSChunk::GetType() const {
    return kTagEmpty;
}

void ACSChunk::SetData(uint32_t, const ACSRawDataRef&) {}

TDBTagRef ACSChunk::GetNullChunk() {
    return TDBTagRef::Share(NullChunk());
}

bool ACSChunk::IsNullChunk(const ACSChunk* node) {
    return node == NullChunk();
}

ACSRawDataRef ACSChunk::GetRawData() const {
    return ACSRawDataCore::Borrow(GetData(), GetDataSize(), this);
}
