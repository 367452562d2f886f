#include "configdata/tdb_binary_file.h"

#include "configdata/soup_format.h"
#include "configdata/soup_validator.h"
#include "configdata/tdb_binary_soup.h"

bool TDBBinaryFile::Read(TStream& stream) {
    // Container views of this file find their chunks by position in its body and their edits in
    // its overlay; with any of them alive, both must stay as they are.
    if (GetReferenceCount() > 1 && body_) return false;
    body_.Reset();
    overlay_.Clear();

    uint32_t magic, reserved, bodySize;
    stream.ReadU32(magic, 0);
    bool whole = stream.ReadU32(version_, 0xFFFFFFFF);
    whole &= stream.ReadU32(reserved, 0);
    whole &= stream.ReadU32(bodySize, 0);
    if (magic != kSoupMagic) return false;
    // A header cut short is a damaged file, not an empty soup.
    if (!whole) return false;
    if (bodySize == 0) return true;
    uint64_t start = stream.Tell();
    if (bodySize > kSoupMaxBodySize || start + bodySize > stream.GetSize()) return false;

    CountedRef<TDBSoupBody> body = TDBSoupBody::Allocate(bodySize);
    if (!body) return false;
    // A body cut short or malformed loads as an empty soup: the header was good.
    if (stream.ReadBytes(body->GetBytes(), bodySize) == bodySize &&
        stream.Tell() == start + bodySize && ValidateSoupRun(body->GetBytes(), 0, bodySize))
        body_ = std::move(body);
    return true;
}

TDBTagRef TDBBinaryFile::GetRoot() {
    if (!body_ || (version_ != 0 && version_ != 1)) return ACSChunk::GetNullChunk();
    return MakeCounted<TDBBinarySoup>(CountedRef<TDBBinaryFile>::Share(this), 0, GetBodySize(),
                                      SoupNodeLocation{TDBSoupOverlay::kRootChunk, 0});
}

bool ReadTagTreeBinary(TStream& stream, TDBTagRef& out) {
    out.Reset();
    auto file = MakeCounted<TDBBinaryFile>();
    if (!file->Read(stream)) return false;
    TDBTagRef root = file->GetRoot();
    if (!root.IsNullChunk() && root->GetType() != kTagEmpty) out = std::move(root);
    return true;
}
