// TDBBinaryFile: a binary soup loaded whole: its version word, its body in one block, and the
// overlay of changes made through its views. The body is not unpacked into a tree; the read
// view refers to it: every container view (TDBBinarySoup) holds a reference to the file, and
// every value (TDBDataChunk) one to the body block, so the bytes live as long as any node taken
// from them.
#pragma once

#include <cstdint>

#include "configdata/acs_file.h"
#include "configdata/soup_overlay.h"
#include "configdata/tdb_soup_body.h"

class TDBBinaryFile : public ACSFile {
public:
    TDBBinaryFile() = default;

    // Reads the header and the body:
    //   bad magic, a header cut short, a body size that is negative or runs past the end of the
    //   stream, or no memory for the body: false, nothing loaded; a body size of 0: true, an empty
    //   soup; a body cut short by the device or one that fails validation: true, an empty soup.
    // A file whose nodes are still in use is not reloaded (false): they refer to its bytes.
    bool Read(TStream& stream) override;
    // A new container view over the whole body when a body is loaded and the version is 0 or
    // 1; else the shared null node.
    TDBTagRef GetRoot() override;

    uint32_t GetVersion() const { return version_; }
    uint32_t GetBodySize() const { return body_ ? body_->GetSize() : 0; }
    const uint8_t* GetBody() const { return body_ ? body_->GetBytes() : nullptr; }
    // The block holding the body (none when nothing is loaded).
    const CountedRef<TDBSoupBody>& GetBodyBlock() const { return body_; }
    // True when text in the body is in the local code page (version 0).
    bool HasLocalText() const { return version_ == kLocalTextVersion; }

    TDBSoupOverlay& GetOverlay() { return overlay_; }
    const TDBSoupOverlay& GetOverlay() const { return overlay_; }

private:
    static constexpr uint32_t kLocalTextVersion = 0;
    CountedRef<TDBSoupBody> body_;
    uint32_t version_ = 0xFFFFFFFF;
    TDBSoupOverlay overlay_;
};

// Reads a binary soup from the stream into `out`: true when the header was accepted. `out`
// then holds the root view, or stays empty when the soup holds nothing (empty body, a body
// that failed validation, or a version with no root); on failure it is empty.
bool ReadTagTreeBinary(TStream& stream, TDBTagRef& out);
