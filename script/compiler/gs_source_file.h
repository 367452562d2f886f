// GSSourceFile: the text of one VuruDadeda source in memory, moved between its two file forms,
// plain (".gs") and scrambled (".gse"). The compiler reads every source through it, "encrypt"
// turns a ".gs" into a ".gse", and the script cache of assets reads the sources of assets.
//
// The ".gse" form (this file is its one reader and writer; words are 32-bit little-endian):
//
//   offset 0   version (1 for the files written here)
//          4   0
//          8   payload size n (4 <= n <= 32 MiB)
//         12   0
//         16   n payload bytes
//
// The payload, before scrambling, is the text's byte count u (1 <= u <= 64 MiB, and no more
// than the packed block can unpack to) followed by the text packed as one block of the
// engine's LZSS coder (platform/kiv/os/lzss.h). Scrambling XORs payload byte i, the count's
// bytes included, with byte (i mod 32) of kScrambleKey; the same XOR undoes it. The coder's
// block format is ours, so only ".gse" files written by this program read back.
//
// The text is kept with LF line ends: CR LF, LF CR and a lone CR each become one LF. Its
// length is `textLength` everywhere (the buffer may be longer after that normalisation).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace GSCompiler {

class GSSourceFile {
public:
    static constexpr uint32_t kMaxPlainSize = 0x4000000;    // 64 MiB
    static constexpr uint32_t kMaxPayloadSize = 0x2000000;  // 32 MiB
    static constexpr uint32_t kHeaderSize = 16;
    // A plain file is read and its line ends normalised in pieces of this size, each while it
    // is still in the cache.
    static constexpr uint32_t kReadPieceSize = 256 << 10;
    static constexpr uint8_t kScrambleKey[32] = {0x5e, 0x1f, 0x0c, 0x93, 0xa7, 0xd2, 0x4b, 0x68,
                                                 0xe0, 0x15, 0x7c, 0x3a, 0x9f, 0x42, 0xd8, 0xb1,
                                                 0x6a, 0x0e, 0x7c, 0x25, 0xf9, 0x84, 0x3d, 0xb1,
                                                 0xc6, 0x02, 0x7e, 0x9a, 0x54, 0xb1, 0xf8, 0x3d};

    GSSourceFile();
    ~GSSourceFile();
    GSSourceFile(const GSSourceFile&) = delete;
    GSSourceFile& operator=(const GSSourceFile&) = delete;

    // Clear, then version 1.
    void Reset();
    // Frees the text, empties both paths, version 0.
    void Clear();

    // Reads `path` by its extension: "gs" plain, "gse" scrambled (the text is unpacked when
    // asked for). False for another extension, a missing or unreadable file, a file over the
    // limits; the object is then empty. A non-empty archive name answers false: there is no
    // archived file layer in this build.
    bool Load(std::string_view archive, std::string_view path);
    // Writes the text to `outputPath` by its extension ("gse" scrambled, "gs" plain) through a
    // twin renamed over the file only when every byte was written; a failure keeps any old
    // file. False for another extension or an empty path.
    bool Save(std::string_view archive, std::string_view outputPath);

    // The plain text (the pending prefix first, when one was taken); null when unpacking fails.
    const char* GetData();
    // The plain text's length (prefix included); 0 when unpacking fails.
    uint32_t GetTextLength();
    bool Scramble();
    bool Unscramble();

    // The source checksum that stamps libraries and names cached ones: the CRC-32 of the text
    // after the prefix, with LF line ends. 0 when the text cannot be had.
    uint32_t SourceChecksum();

    bool IsScrambled() const { return scrambled_; }
    uint32_t GetVersion() const { return version_; }
    uint32_t GetSize() const { return size_; }
    uint32_t GetPrefixLength() const { return prefixLength_; }
    const std::string& GetPath() const { return path_; }
    const std::string& GetOutputPath() const { return outputPath_; }

    // The process-wide pending prefix: the next successful read puts it in front of the text
    // and empties it. The script host sets it before reading an asset's source.
    static void SetPendingPrefix(std::string_view prefix);
    static std::string GetPendingPrefix();

private:
    bool ReadPlain(std::string_view path);
    bool ReadScrambled(std::string_view path);
    bool WriteFile(std::string_view path, bool scrambled);
    // The pending prefix of `length` bytes, already copied to the text's start, is used up.
    void TakePendingPrefix(uint32_t length);
    void NormaliseLineEnds();
    void Xor();

    std::string path_;
    std::string outputPath_;
    std::string archive_;
    std::unique_ptr<char[]> data_;
    bool scrambled_ = false;
    uint32_t version_ = 0;
    uint32_t size_ = 0;
    uint32_t textLength_ = 0;
    uint32_t prefixLength_ = 0;
};

}  // namespace GSCompiler
