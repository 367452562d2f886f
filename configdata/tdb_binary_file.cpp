#include "configdata/tdb_binary_file.h"

#include <new>

#include "configdata/soup_format.h"
#include "configdata/soup_validator.h"
#include "configdata/tdb_binary_soup.h"

namespace {
// Memory addresses in the body then align as their offsets do (aligned raw data relies on it).
constexpr std::align_val_t kBodyAlignment{kSoupRawAlignment};
}  // namespace

TDBBinaryFile::~TDBBinaryFile() {
    FreeBody();
}

void TDBBinaryFile::FreeBody() {
    if (body_ != nullptr) ::operator delete[](body_, kBodyAlignment);
    body_ = nullptr;
    bodySize_ = 0;
}

bool TDBBinaryFile::Read(TStream& stream) {
    // Nodes taken from this file refer to its bytes by position; with any of them alive the
    // bytes must stay as they are.
    if (GetReferenceCount() > 1 && body_ != nullptr) return false;
    FreeBody();
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

    body_ = static_cast<uint8_t*>(::operator new[](bodySize, kBodyAlignment, std::nothrow));
    if (body_ == nullptr) return false;
    bodySize_ = bodySize;
    // A body cut short or malformed loads as an empty soup: the header was good.
    if (stream.ReadBytes(body_, bodySize) != bodySize || stream.Tell() != start + bodySize ||
        !ValidateSoupRun(body_, 0, bodySize))
        FreeBody();
    return true;
}

TDBTagRef TDBBinaryFile::GetRoot() {
    if (body_ == nullptr || (version_ != 0 && version_ != 1)) return ACSChunk::GetNullChunk();
    return MakeCounted<TDBBinarySoup>(CountedRef<TDBBinaryFile>::Share(this), 0, bodySize_,
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
