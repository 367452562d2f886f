#include "script/bytecode/gsl_image.h"

#include <cstdarg>
#include <cstdio>

#include "script/bytecode/opcodes.h"

namespace GSBytecode {
namespace {

// A read window over the image: reads stop at `end_`, the end of the innermost section.
class Reader {
public:
    Reader(std::span<const uint8_t> bytes, GslReadError& error)
        : bytes_(bytes), end_(static_cast<uint32_t>(bytes.size())), error_(error) {}

    uint32_t Position() const { return pos_; }
    uint32_t Left() const { return end_ - pos_; }
    bool Failed() const { return failed_; }

    // Out of line: every read has a failure path, and only one of them is taken per image.
    [[gnu::cold, gnu::noinline]] bool Fail(const char* format, ...)
        __attribute__((format(printf, 2, 3))) {
        if (failed_) return false;
        failed_ = true;
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        error_.offset = pos_;
        error_.text = text;
        return false;
    }

    [[gnu::always_inline]] bool U32(uint32_t& out, const char* what) {
        if (failed_) return false;
        if (Left() < 4) return Fail("%s: the image ends", what);
        out = ReadU32At(bytes_.data() + pos_);
        pos_ += 4;
        return true;
    }
    bool I32(int32_t& out, const char* what) {
        uint32_t v = 0;
        if (!U32(v, what)) return false;
        out = static_cast<int32_t>(v);
        return true;
    }
    bool Bytes(uint32_t length, std::span<const uint8_t>& out, const char* what) {
        if (failed_) return false;
        if (Left() < length) return Fail("%s: %u bytes given, %u left", what, length, Left());
        out = bytes_.subspan(pos_, length);
        pos_ += length;
        return true;
    }
    // Skips to the next multiple of 4 of the image offset.
    bool Pad(const char* what) {
        uint32_t pad = (4 - (pos_ & 3)) & 3;
        std::span<const uint8_t> skipped;
        return Bytes(pad, skipped, what);
    }
    // `count` entries of `entryBytes` must fit in what is left; refuses before anything is
    // allocated for them.
    bool Fits(uint32_t count, uint32_t entryBytes, const char* what) {
        if (failed_) return false;
        if (uint64_t{count} * entryBytes > Left())
            return Fail("%s: %u entries do not fit in %u bytes", what, count, Left());
        return true;
    }

    // Reads a section header and narrows the window to the section. `outer` receives the
    // window to restore with Leave.
    bool Enter(uint32_t tag, uint32_t& outer, const char* what) {
        uint32_t start = pos_;
        uint32_t size = 0;
        uint32_t gotTag = 0;
        if (!U32(size, what) || !U32(gotTag, what)) return false;
        if (gotTag != tag) return Fail("%s: tag %u where %u belongs", what, gotTag, tag);
        if (size < 8 || size - 8 > Left())
            return Fail("%s: size %u does not fit in %u bytes", what, size, Left() + 8);
        outer = end_;
        end_ = start + size;
        return true;
    }
    // A section that opens with a count of entries of `entryBytes` bytes each.
    bool EnterCounted(uint32_t tag, uint32_t& outer, uint32_t& count, uint32_t entryBytes,
                      const char* what) {
        return Enter(tag, outer, what) && U32(count, what) && Fits(count, entryBytes, what);
    }

    bool Leave(uint32_t outer, const char* what) {
        if (failed_) return false;
        if (pos_ != end_) return Fail("%s: %u bytes beyond its content", what, end_ - pos_);
        end_ = outer;
        return true;
    }

    bool Index(uint32_t index, size_t count, const char* what) {
        if (failed_) return false;
        if (index >= count) return Fail("%s: index %u beyond %zu", what, index, count);
        return true;
    }
    bool OptionalIndex(int32_t index, size_t count, const char* what) {
        return index == kNoIndex || Index(static_cast<uint32_t>(index), count, what);
    }

    std::span<const uint8_t> Whole() const { return bytes_; }

private:
    std::span<const uint8_t> bytes_;
    uint32_t pos_ = 0;
    uint32_t end_;
    bool failed_ = false;
    GslReadError& error_;
};

bool ReadHeader(Reader& r, GslImage& out) {
    uint32_t magic = 0;
    uint32_t nameLength = 0;
    if (!r.U32(out.totalSize, "header") || !r.U32(magic, "header")) return false;
    if (magic != kGslMagic) return r.Fail("header: magic 0x%08X is not a library's", magic);
    if (out.totalSize != r.Whole().size())
        return r.Fail("header: image size %u given, %zu bytes present", out.totalSize,
                      r.Whole().size());
    if (!r.U32(out.versionBits, "header") || !r.U32(out.id.sourceChecksum, "header") ||
        !r.U32(out.id.nameChecksum, "header") || !r.U32(nameLength, "header name"))
        return false;
    std::span<const uint8_t> name;
    if (nameLength == 0) return r.Fail("header name: no terminating NUL");
    if (!r.Bytes(nameLength, name, "header name")) return false;
    if (name.back() != 0) return r.Fail("header name: no terminating NUL");
    out.name = std::string_view(reinterpret_cast<const char*>(name.data()), nameLength - 1);
    return true;
}

bool ReadLibraryTable(Reader& r, GslImage& out) {
    const char* what = "library table";
    uint32_t outer = 0;
    uint32_t count = 0;
    if (!r.EnterCounted(kTagLibraryTable, outer, count, 8, what)) return false;
    if (count == 0) return r.Fail("library table: no entry for the library itself");
    out.libraries.resize(count);
    for (GslLibraryId& id : out.libraries)
        if (!r.U32(id.sourceChecksum, what) || !r.U32(id.nameChecksum, what)) return false;
    return r.Leave(outer, what);
}

bool ReadStringTable(Reader& r, GslImage& out) {
    const char* what = "string table";
    uint32_t outer = 0;
    uint32_t count = 0;
    if (!r.EnterCounted(kTagStringTable, outer, count, 4, what)) return false;
    std::vector<uint32_t> offsets(count);
    for (uint32_t& o : offsets)
        if (!r.U32(o, what)) return false;
    std::span<const uint8_t> blob;
    if (!r.Bytes(r.Left(), blob, what)) return false;
    const char* text = reinterpret_cast<const char*>(blob.data());
    out.strings.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t at = offsets[i];
        if (at >= blob.size()) return r.Fail("string table: string %u starts beyond the table", i);
        std::string_view rest(text + at, blob.size() - at);
        size_t nul = rest.find('\0');
        if (nul == std::string_view::npos) return r.Fail("string table: string %u has no NUL", i);
        out.strings.push_back(rest.substr(0, nul));
    }
    return r.Leave(outer, what);
}

bool ReadClassTable(Reader& r, GslImage& out) {
    const char* what = "class table";
    uint32_t outer = 0;
    uint32_t count = 0;
    if (!r.EnterCounted(kTagClassTable, outer, count, 8, what)) return false;
    out.classTable.resize(count);
    for (GslClassRow& row : out.classTable) {
        if (!r.U32(row.module, what) || !r.U32(row.name, what)) return false;
        if (!r.Index(row.module, out.libraries.size(), "class table module") ||
            !r.Index(row.name, out.strings.size(), "class table name"))
            return false;
    }
    return r.Leave(outer, what);
}

bool ReadFunctionTable(Reader& r, GslImage& out) {
    const char* what = "function table";
    uint32_t outer = 0;
    uint32_t count = 0;
    if (!r.EnterCounted(kTagFunctionTable, outer, count, 12, what)) return false;
    out.functionTable.resize(count);
    for (GslFunctionRow& row : out.functionTable) {
        if (!r.U32(row.classIndex, what) || !r.U32(row.signature, what) ||
            !r.I32(row.methodSlot, what))
            return false;
        if (!r.Index(row.classIndex, out.classTable.size(), "function table class") ||
            !r.Index(row.signature, out.strings.size(), "function table signature"))
            return false;
    }
    return r.Leave(outer, what);
}

bool ReadFunction(Reader& r, const GslImage& image, GslFunction& f, bool lineTableAllowed) {
    const char* what = "function record";
    uint32_t outer = 0;
    f.recordOffset = r.Position();
    if (!r.Enter(kTagFunctionRecord, outer, what)) return false;
    uint32_t refCount = 0;
    uint32_t codeSize = 0;
    if (!r.U32(f.signature, what) || !r.U32(f.returnType, what) || !r.I32(f.returnClass, what) ||
        !r.U32(f.flags, what) || !r.I32(f.methodSlot, what))
        return false;
    if (!r.Index(f.signature, image.strings.size(), "function signature") ||
        !r.OptionalIndex(f.returnClass, image.classTable.size(), "function return class"))
        return false;
    for (uint32_t& w : f.frame.word)
        if (!r.U32(w, "function frame")) return false;
    std::span<const uint8_t> slots;
    if (!r.U32(refCount, what) || !r.Fits(refCount, 4, "reference slots") ||
        !r.Bytes(4 * refCount, slots, "reference slots"))
        return false;
    f.referenceSlots = GslTable<int32_t, 4>(slots);
    if (!r.U32(codeSize, what)) return false;
    f.codeOffset = r.Position();
    if (!r.Bytes(codeSize, f.code, "function code") || !r.Pad("function code padding"))
        return false;
    if (r.Left() != 0) {
        uint32_t marker = 0;
        uint32_t lines = 0;
        if (!r.U32(marker, "line table")) return false;
        if (marker != kLineTableMarker || !lineTableAllowed)
            return r.Fail("function record: 0x%08X where the line table or the end belongs",
                          marker);
        std::span<const uint8_t> entries;
        if (!r.U32(lines, "line table") || !r.Fits(lines, 8, "line table") ||
            !r.Bytes(8 * lines, entries, "line table"))
            return false;
        f.hasLineTable = true;
        f.lines = GslTable<GslLine, 8>(entries);
    }
    return r.Leave(outer, what);
}

bool ReadMembers(Reader& r, const GslImage& image, GslClass& c) {
    const char* what = "member section";
    uint32_t outer = 0;
    uint32_t count = 0;
    if (!r.EnterCounted(kTagMembers, outer, count, 20, what)) return false;
    c.members.resize(count);
    for (GslMember& m : c.members) {
        if (!r.U32(m.name, what) || !r.U32(m.type, what) || !r.I32(m.classIndex, what) ||
            !r.U32(m.flags, what) || !r.I32(m.slot, what))
            return false;
        if (!r.Index(m.name, image.strings.size(), "member name") ||
            !r.OptionalIndex(m.classIndex, image.classTable.size(), "member class"))
            return false;
    }
    return r.Leave(outer, what);
}

bool ReadMethodTable(Reader& r, const GslImage& image, GslClass& c) {
    const char* what = "method table";
    uint32_t start = r.Position();
    uint32_t outer = 0;
    uint32_t count = 0;
    if (!r.EnterCounted(kTagMethodTable, outer, count, 8, what)) return false;
    uint32_t size = ReadU32At(r.Whole().data() + start);
    if (uint64_t{size} != 12 + 8ull * count)
        return r.Fail("method table: size %u for %u entries", size, count);
    c.methods.resize(count);
    for (GslMethodEntry& e : c.methods) {
        if (!r.U32(e.function, what) || !r.U32(e.baseOffset, what)) return false;
        if (!r.Index(e.function, image.functionTable.size(), "method table function")) return false;
    }
    return r.Leave(outer, what);
}

bool ReadInitialiser(Reader& r, GslClass& c) {
    const char* what = "class initialiser";
    uint32_t outer = 0;
    uint32_t baseCount = 0;
    uint32_t secondCount = 0;
    if (!r.Enter(kTagClassInitialiser, outer, what) || !r.U32(c.memberWords, what) ||
        !r.U32(baseCount, what))
        return false;
    if (baseCount != 2 * c.bases.size() + 1)
        return r.Fail("class initialiser: base word %u for %zu bases", baseCount, c.bases.size());
    c.baseWords.resize(6 * c.bases.size());
    for (uint32_t& w : c.baseWords)
        if (!r.U32(w, what)) return false;
    for (uint32_t& w : c.tail)
        if (!r.U32(w, what)) return false;
    if (!r.U32(secondCount, what) || !r.Fits(secondCount, 4, what)) return false;
    c.secondTable.resize(secondCount);
    for (uint32_t& w : c.secondTable)
        if (!r.U32(w, what)) return false;
    return r.Leave(outer, what);
}

bool ReadClass(Reader& r, const GslImage& image, GslClass& c) {
    const char* what = "class record";
    uint32_t outer = 0;
    uint32_t baseCount = 0;
    c.recordOffset = r.Position();
    if (!r.Enter(kTagClassRecord, outer, what) || !r.U32(c.name, what) || !r.U32(c.flags, what) ||
        !r.U32(baseCount, what) || !r.Fits(baseCount, 12, what))
        return false;
    if (!r.Index(c.name, image.strings.size(), "class name")) return false;
    c.bases.resize(baseCount);
    for (GslBase& b : c.bases) {
        if (!r.U32(b.classIndex, what) || !r.U32(b.w1, what) || !r.U32(b.w3, what)) return false;
        if (!r.Index(b.classIndex, image.classTable.size(), "base class")) return false;
    }
    uint32_t listOuter = 0;
    uint32_t functions = 0;
    if (!r.Enter(kTagMethodList, listOuter, "method list") || !r.U32(functions, "method list"))
        return false;
    if (functions == 0) return r.Fail("method list: no member initialiser");
    if (!r.Fits(functions, 8, "method list")) return false;
    c.functions.resize(functions);
    for (uint32_t i = 0; i < functions; ++i)
        if (!ReadFunction(r, image, c.functions[i], i + 1 < functions)) return false;
    if (!r.Leave(listOuter, "method list")) return false;
    if (!ReadMembers(r, image, c) || !ReadMethodTable(r, image, c) || !ReadInitialiser(r, c))
        return false;
    return r.Leave(outer, what);
}

bool ReadClassCode(Reader& r, GslImage& out) {
    const char* what = "class code";
    uint32_t outer = 0;
    uint32_t count = 0;
    if (!r.EnterCounted(kTagClassCode, outer, count, 8, what)) return false;
    out.classes.resize(count);
    for (GslClass& c : out.classes)
        if (!ReadClass(r, out, c)) return false;
    return r.Leave(outer, what);
}

}  // namespace

bool ReadLibraryImage(std::span<const uint8_t> bytes, GslImage& out, GslReadError& error) {
    out = GslImage{};
    error = GslReadError{};
    if (bytes.size() > UINT32_MAX) {
        error.text = "header: the image is larger than 4 GB";
        return false;
    }
    Reader r(bytes, error);
    return ReadHeader(r, out) && ReadLibraryTable(r, out) && ReadStringTable(r, out) &&
           ReadClassTable(r, out) && ReadFunctionTable(r, out) && ReadClassCode(r, out) &&
           (r.Left() == 0 || r.Fail("image: %u bytes after the class code", r.Left()));
}

}  // namespace GSBytecode
