#include "script/compiler/gs_source_file.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "foundation/crc32.h"
#include "foundation/file_utils.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/os/lzss.h"

namespace GSCompiler {

namespace {

std::mutex& PrefixMutex() {
    static std::mutex m;
    return m;
}

std::string& PendingPrefix() {
    static std::string prefix;
    return prefix;
}

uint32_t ReadWord(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void WriteWord(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

char* NewBuffer(size_t n) {
    // One spare byte keeps a NUL after the text for readers that want one.
    char* p = new (std::nothrow) char[n + 1];
    if (p != nullptr) p[n] = '\0';
    return p;
}

// Turns CR LF, LF CR and a lone CR into one LF each (two equal ones are two line ends), in
// place, over a text that may arrive in pieces. Text between two CRs moves as one block: a
// text of LF ends is only searched.
class LineEndNormaliser {
public:
    explicit LineEndNormaliser(char* text) : p_(text) {}

    // Takes the text up to `available`; `last` when no more follows.
    void Feed(uint32_t available, bool last) {
        while (in_ < available) {
            const auto* cr = static_cast<const char*>(std::memchr(p_ + in_, '\r', available - in_));
            const uint32_t at = cr != nullptr ? static_cast<uint32_t>(cr - p_) : available;
            // Read before the block moves over it.
            const bool lfBefore = at > in_ ? p_[at - 1] == '\n' : lfPending_;
            if (at > in_) {
                if (out_ != in_) std::memmove(p_ + out_, p_ + in_, at - in_);
                out_ += at - in_;
                in_ = at;
            }
            lfPending_ = lfBefore;
            if (at == available) return;
            if (lfBefore) {  // LF CR: the LF already stands for both
                in_ = at + 1;
                lfPending_ = false;
                continue;
            }
            if (at + 1 == available && !last) return;  // a LF may follow in the next piece
            p_[out_++] = '\n';
            in_ = at + 1 < available && p_[at + 1] == '\n' ? at + 2 : at + 1;
            lfPending_ = false;
        }
    }
    uint32_t Length() const { return out_; }

private:
    char* p_;
    uint32_t in_ = 0;
    uint32_t out_ = 0;
    bool lfPending_ = false;  // the text taken so far ends in a LF that a CR would pair with
};

}  // namespace

void GSSourceFile::SetPendingPrefix(std::string_view prefix) {
    std::lock_guard lock(PrefixMutex());
    PendingPrefix() = std::string(prefix);
}

std::string GSSourceFile::GetPendingPrefix() {
    std::lock_guard lock(PrefixMutex());
    return PendingPrefix();
}

GSSourceFile::GSSourceFile() {
    Reset();
}

GSSourceFile::~GSSourceFile() {
    Clear();
}

void GSSourceFile::Reset() {
    Clear();
    version_ = 1;
}

void GSSourceFile::Clear() {
    data_.reset();
    scrambled_ = false;
    size_ = 0;
    textLength_ = 0;
    prefixLength_ = 0;
    path_.clear();
    outputPath_.clear();
    archive_.clear();
    version_ = 0;
}

bool GSSourceFile::Load(std::string_view archive, std::string_view path) {
    Reset();
    path_ = std::string(path);
    archive_ = std::string(archive);
    if (!archive_.empty()) return false;  // no archived file layer
    Kiv::File::Path p(path);
    bool ok = false;
    if (p.IsExt("gs")) {
        ok = ReadPlain(path);
    } else if (p.IsExt("gse")) {
        ok = ReadScrambled(path);
    }
    if (!ok) {
        std::string keep = path_;
        Reset();
        path_ = keep;
    }
    return ok;
}

void GSSourceFile::TakePendingPrefix(uint32_t length) {
    std::lock_guard lock(PrefixMutex());
    prefixLength_ = length;
    PendingPrefix().clear();
}

bool GSSourceFile::ReadPlain(std::string_view path) {
    Kiv::File f;
    if (!f.Open(path, Kiv::File::kModeRead)) return false;
    uint64_t fileSize = f.GetSize();
    if (fileSize > kMaxPlainSize) return false;
    const std::string prefix = GetPendingPrefix();
    const auto prefixLength = static_cast<uint32_t>(prefix.size());
    const auto fileBytes = static_cast<uint32_t>(fileSize);
    if (uint64_t{prefixLength} + fileBytes > UINT32_MAX - 1) return false;
    std::unique_ptr<char[]> buffer(NewBuffer(size_t{prefixLength} + fileBytes));
    if (buffer == nullptr) return false;
    if (prefixLength != 0) std::memcpy(buffer.get(), prefix.data(), prefixLength);
    LineEndNormaliser normaliser(buffer.get());
    uint32_t have = prefixLength;
    const uint32_t total = prefixLength + fileBytes;
    do {
        const uint32_t piece = std::min(kReadPieceSize, total - have);
        if (f.Read(buffer.get() + have, piece) != piece) return false;
        have += piece;
        normaliser.Feed(have, have == total);
    } while (have < total);
    data_ = std::move(buffer);
    size_ = total;
    textLength_ = normaliser.Length();
    data_[textLength_] = '\0';
    TakePendingPrefix(prefixLength);
    scrambled_ = false;
    return true;
}

bool GSSourceFile::ReadScrambled(std::string_view path) {
    Kiv::File f;
    if (!f.Open(path, Kiv::File::kModeRead)) return false;
    uint8_t header[kHeaderSize];
    if (f.Read(header, kHeaderSize) != kHeaderSize) return false;
    uint32_t version = ReadWord(header);
    uint32_t payload = ReadWord(header + 8);
    // The payload holds at least its unpacked-size word.
    if (payload < 4 || payload > kMaxPayloadSize) return false;
    std::unique_ptr<char[]> buffer(NewBuffer(payload));
    if (buffer == nullptr) return false;
    if (f.Read(buffer.get(), payload) != payload) return false;
    data_ = std::move(buffer);
    size_ = payload;
    version_ = version;
    scrambled_ = true;
    return true;
}

void GSSourceFile::Xor() {
    auto* p = reinterpret_cast<uint8_t*>(data_.get());
    for (uint32_t i = 0; i < size_; ++i)
        p[i] ^= kScrambleKey[i % sizeof kScrambleKey];
}

bool GSSourceFile::Unscramble() {
    if (!scrambled_) return true;
    if (data_ == nullptr || size_ < 4) {
        Clear();
        return false;
    }
    Xor();
    const auto* payload = reinterpret_cast<const uint8_t*>(data_.get());
    const uint32_t unpacked = ReadWord(payload);
    const uint32_t packed = size_ - 4;
    // Refused before any memory is set aside: a size of 0, above the limit, or more than the
    // block can unpack to.
    if (unpacked == 0 || unpacked > kMaxPlainSize ||
        unpacked > Kiv::LZSSCompress::MaxUnpackedSize(packed)) {
        Clear();
        return false;
    }
    const std::string prefix = GetPendingPrefix();
    const auto prefixLength = static_cast<uint32_t>(prefix.size());
    if (uint64_t{prefixLength} + unpacked > UINT32_MAX - 1) {
        Clear();
        return false;
    }
    std::unique_ptr<char[]> text(NewBuffer(size_t{prefixLength} + unpacked));
    if (text == nullptr) {
        Clear();
        return false;
    }
    Kiv::LZSSCompress coder;
    uint32_t got = coder.DecompressBlock(payload + 4, packed, text.get() + prefixLength, unpacked);
    if (got != unpacked) {
        Clear();
        return false;
    }
    if (prefixLength != 0) std::memcpy(text.get(), prefix.data(), prefixLength);
    data_ = std::move(text);
    size_ = prefixLength + unpacked;
    if (textLength_ == 0) textLength_ = size_;
    TakePendingPrefix(prefixLength);
    scrambled_ = false;
    NormaliseLineEnds();
    return true;
}

bool GSSourceFile::Scramble() {
    if (scrambled_) return true;
    if (textLength_ == 0) textLength_ = size_;
    const uint64_t bound = Kiv::LZSSCompress::CompressBound(textLength_);
    if (bound + 4 > kMaxPayloadSize) return false;
    std::unique_ptr<char[]> packed(NewBuffer(static_cast<size_t>(bound) + 4));
    if (packed == nullptr) return false;
    Kiv::LZSSCompress coder;
    uint32_t n = coder.CompressBlock(data_.get(), textLength_, packed.get() + 4,
                                     static_cast<uint32_t>(bound), 9);
    if (n == 0) return false;
    WriteWord(reinterpret_cast<uint8_t*>(packed.get()), textLength_);
    data_ = std::move(packed);
    size_ = n + 4;
    Xor();
    scrambled_ = true;
    return true;
}

void GSSourceFile::NormaliseLineEnds() {
    LineEndNormaliser normaliser(data_.get());
    normaliser.Feed(textLength_, true);
    textLength_ = normaliser.Length();
    data_[textLength_] = '\0';  // the buffer has a byte beyond its size
}

const char* GSSourceFile::GetData() {
    if (scrambled_ && !Unscramble()) return nullptr;
    return data_.get();
}

uint32_t GSSourceFile::GetTextLength() {
    if (scrambled_ && !Unscramble()) return 0;
    return textLength_;
}

uint32_t GSSourceFile::SourceChecksum() {
    const char* text = GetData();
    if (text == nullptr || textLength_ < prefixLength_) return 0;
    return Crc32(text + prefixLength_, textLength_ - prefixLength_);
}

bool GSSourceFile::Save(std::string_view archive, std::string_view outputPath) {
    outputPath_ = std::string(outputPath);
    archive_ = std::string(archive);
    Kiv::File::Path p(outputPath);
    bool scrambled;
    if (p.IsExt("gse")) {
        scrambled = true;
    } else if (p.IsExt("gs")) {
        scrambled = false;
    } else {
        return false;
    }
    if (!archive_.empty() || outputPath_.empty()) return false;
    return WriteFile(outputPath, scrambled);
}

bool GSSourceFile::WriteFile(std::string_view path, bool scrambled) {
    if (data_ == nullptr) return false;
    if (scrambled ? !Scramble() : !Unscramble()) return false;
    return WriteFileReplacing(path, [this, scrambled](TStream& out) {
        if (!scrambled) return out.Write(data_.get(), textLength_) == textLength_;
        uint8_t header[kHeaderSize] = {};
        WriteWord(header, version_);
        WriteWord(header + 8, size_);
        return out.Write(header, kHeaderSize) == kHeaderSize &&
               out.Write(data_.get(), size_) == size_;
    });
}

}  // namespace GSCompiler
