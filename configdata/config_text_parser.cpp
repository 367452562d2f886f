// The parser of the text form (config_text.h gives the syntax).
//
// The text is read whole into memory and parsed with an explicit stack of open blocks, so no
// input can drive recursion; every scan moves forward over bytes that the value being read then
// consumes, so a parse costs time in proportion to the text, whatever its shape.
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "configdata/bulk_memory.h"
#include "configdata/config_text.h"
#include "configdata/kuid.h"
#include "configdata/number_text.h"
#include "configdata/tag_arena.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/codepage.h"
#include "foundation/logging.h"

namespace {

constexpr size_t kMaxNameBytes = 511;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The children of one block as they are read. A name read again replaces its earlier value,
// which moves to the end (the setters' rule); the earlier entry is only marked dead here, so a
// block with many repeated names costs no more than one without.
class BlockChildren {
public:
    void Set(const Kiv::PString& name, TDBTagRef node) {
        if (entries_.size() < kIndexFrom) {
            for (Entry& e : entries_)
                if (e.node && e.name == name) e.node.Reset();
        } else {
            if (index_.empty()) {
                for (size_t i = 0; i < entries_.size(); ++i)
                    if (entries_[i].node) index_[entries_[i].name] = i;
            }
            auto [it, added] = index_.try_emplace(name, entries_.size());
            if (!added) {
                entries_[it->second].node.Reset();
                it->second = entries_.size();
            }
        }
        entries_.push_back({name, std::move(node)});
    }
    // A container (in the arena) of the live children in order; an empty reference when
    // there are none. The children are emptied, keeping their memory for the next block.
    TDBTagRef Build(TagArena& arena) {
        index_.clear();
        bool any = false;
        for (const Entry& e : entries_)
            any = any || e.node;
        if (!any) {
            entries_.clear();
            return {};
        }
        return TDBContainerTag::MakeContainerIn(arena, entries_);
    }

private:
    // Below this many entries a walk is cheaper than the index.
    static constexpr size_t kIndexFrom = 16;
    using Entry = TDBContainerTag::NamedChild;
    std::vector<Entry> entries_;
    std::unordered_map<Kiv::PString, size_t, Kiv::PStringHash> index_;
};

// The names met lately, so that a name the text repeats (most are repeated, block after block)
// is interned without the process-wide cache and its lock: a direct-mapped table by hash.
class RecentNames {
public:
    RecentNames() : slots_(kSlots) {}
    Kiv::PString Intern(std::string_view name, uint64_t hash) {
        Slot& slot = slots_[(hash ^ (hash >> 29)) & (kSlots - 1)];
        if (slot.hash == hash && slot.name.view() == name && !slot.name.IsNull()) return slot.name;
        slot.hash = hash;
        slot.name = Kiv::PString(name);
        return slot.name;
    }

private:
    static constexpr size_t kSlots = 1024;
    struct Slot {
        uint64_t hash = 0;
        Kiv::PString name;
    };
    std::vector<Slot> slots_;
};

struct Block {
    Kiv::PString name;  // under which the block is stored in its parent
    bool utf8;
    size_t opened;  // where its "{" is in the text (0 for the outermost block)
};

enum class ValueKind { kEmpty, kContainer, kInt, kFloat, kList, kText };

class TextParser {
public:
    explicit TextParser(std::string_view text)
        : begin_(text.data()),
          p_(text.data()),
          end_(text.data() + text.size()),
          // The nodes take about as much memory as the text they are read from.
          arena_(MakeCounted<TagArena>(text.size() + text.size() / 2)) {}

    bool Parse(TDBTagRef& out, bool utf8) {
        OpenBlock(Kiv::PString(), utf8, 0);
        CheckByteOrderMark();
        bool ok = ParseBlocks();
        while (open_.size() > 1)
            CloseBlock();
        out = Children().Build(*arena_);
        return ok;
    }
    size_t Consumed() const { return static_cast<size_t>(p_ - begin_); }
    const TagTextNotes& Notes() const { return notes_; }

private:
    bool ParseBlocks() {
        for (;;) {
            SkipBlanksAndLineEnds(p_);
            if (p_ == end_ || *p_ == '}') {
                if (open_.size() == 1) return true;
                // The text ends inside containers: they close here, as if their "}" had come,
                // and the parse says so.
                if (p_ == end_ && notes_.unclosed == 0) {
                    notes_.unclosed = open_.size() - 1;
                    notes_.unclosedLine = LineAt(open_[1].opened);
                }
                CloseBlock();
                const char* q = p_;
                SkipBlanksAndLineEnds(q);
                if (q < end_ && *q == '}') p_ = q + 1;
                continue;
            }
            Kiv::PString name = ReadName();
            switch (Classify()) {
                case ValueKind::kEmpty:
                    Store(name, TDBContainerTag::MakeTag(kTagEmpty, {}));
                    break;
                case ValueKind::kContainer:
                    if (open_.size() >= kMaxTagTreeDepth) {
                        notes_.tooDeepLine = LineAt(Consumed() - 1);
                        LogOutputf(
                            "ParseTagTreeText> containers nested deeper than %u levels at "
                            "byte %zu; the rest of the text is ignored",
                            kMaxTagTreeDepth, Consumed());
                        return false;
                    }
                    OpenBlock(name, open_.back().utf8, Consumed() - 1);
                    CheckByteOrderMark();
                    break;
                case ValueKind::kInt:
                    StoreNumber<int32_t>(name, kTagInt, ScanInt);
                    break;
                case ValueKind::kFloat:
                    StoreNumber<float>(name, kTagFloat, ScanFloat);
                    break;
                case ValueKind::kList:
                    StoreList(name);
                    break;
                case ValueKind::kText:
                    StoreText(name);
                    break;
            }
        }
    }

    // A name that begins with a NUL is empty: no text can name such a child, so it is read
    // with its value and dropped.
    void Store(const Kiv::PString& name, TDBTagRef node) {
        if (name.IsEmpty()) return;
        Children().Set(name, std::move(node));
    }

    void StoreValue(const Kiv::PString& name, uint32_t type, const void* data, size_t size) {
        Store(name, TDBContainerTag::MakeTagIn(*arena_, type, data, static_cast<uint32_t>(size)));
    }

    // The children of the innermost open block. Each depth keeps its list between blocks, so
    // a run of sibling containers reuses one list's memory.
    BlockChildren& Children() { return children_[open_.size() - 1]; }

    void OpenBlock(const Kiv::PString& name, bool utf8, size_t opened) {
        open_.push_back({name, utf8, opened});
        if (children_.size() < open_.size()) children_.emplace_back();
    }

    // A block ends: its container (empty if nothing was read into it) goes to its parent.
    void CloseBlock() {
        TDBTagRef container = Children().Build(*arena_);
        if (!container) container = TDBContainerTag::MakeTagIn(*arena_, kTagContainer, {}, 0);
        Kiv::PString name = std::move(open_.back().name);
        open_.pop_back();
        Store(name, std::move(container));
    }

    // The line (from 1) of the byte at `offset`; a line ends at LF, CR LF or a lone CR.
    size_t LineAt(size_t offset) const {
        size_t line = 1;
        for (const char* q = begin_; q < begin_ + offset; ++q)
            if (*q == '\n' || (*q == '\r' && (q + 1 == end_ || q[1] != '\n'))) ++line;
        return line;
    }

    void CheckByteOrderMark() {
        Block& block = open_.back();
        if (block.utf8 || static_cast<size_t>(end_ - p_) < kByteOrderMark.size()) return;
        if (std::string_view(p_, kByteOrderMark.size()) != kByteOrderMark) return;
        p_ += kByteOrderMark.size();
        block.utf8 = true;
    }

    void SkipBlanks(const char*& q) const {
        while (q < end_ && IsBlank(*q))
            ++q;
    }
    void SkipBlanksAndLineEnds(const char*& q) const {
        while (q < end_ && (IsBlank(*q) || IsLineEnd(*q)))
            ++q;
    }

    Kiv::PString ReadName() {
        const char* start = p_;
        while (p_ < end_ && !IsBlank(*p_) && !IsLineEnd(*p_) && *p_ != '}')
            ++p_;
        size_t length = std::min<size_t>(p_ - start, kMaxNameBytes);
        const void* nul = std::memchr(start, '\0', length);
        if (nul != nullptr) length = static_cast<const char*>(nul) - start;
        char name[kMaxNameBytes];
        uint64_t hash = 14695981039346656037ull;  // FNV-1a
        for (size_t i = 0; i < length; ++i) {
            name[i] = Lower(start[i]);
            hash = (hash ^ static_cast<uint8_t>(name[i])) * 1099511628211ull;
        }
        return names_.Intern(std::string_view(name, length), hash);
    }

    // An exponent as "%g" writes it at q: 'e' after a digit, a sign, a digit.
    bool IsExponentAt(const char* q) const {
        return q > begin_ && IsDigit(q[-1]) && end_ - q >= 3 && q[0] == 'e' &&
               (q[1] == '+' || q[1] == '-') && IsDigit(q[2]);
    }

    // The line from q holds only number-list characters.
    bool IsNumberListLine(const char* q) const {
        while (q < end_ && !IsLineEnd(*q)) {
            char c = *q;
            if (IsDigit(c) || c == '-' || c == '.' || c == ',' || IsBlank(c)) {
                ++q;
            } else if (IsExponentAt(q)) {
                q += 2;
            } else {
                return false;
            }
        }
        return true;
    }

    // Looks at what follows the name. p_ moves past a container's "{"; otherwise it stays just
    // after the name, where the value is read from.
    ValueKind Classify() {
        const char* q = p_;
        SkipBlanks(q);
        if (q < end_ && IsLineEnd(*q)) {
            SkipBlanksAndLineEnds(q);
            if (q < end_ && *q == '{') {
                p_ = q + 1;
                return ValueKind::kContainer;
            }
            return ValueKind::kEmpty;
        }
        if (q == end_ || *q == '}') return ValueKind::kEmpty;
        if (*q == '{') {
            p_ = q + 1;
            return ValueKind::kContainer;
        }
        if (*q == '"') return ValueKind::kText;
        if (IsDigit(*q) || *q == '-' || *q == '.') {
            const char* r = q;
            if (*r == '-') ++r;
            bool dot = false;
            while (r < end_ && (IsDigit(*r) || *r == '.'))
                dot = *r++ == '.' || dot;
            bool exponent = r < end_ && IsExponentAt(r);
            if (exponent) {
                r += 2;
                while (r < end_ && IsDigit(*r))
                    ++r;
            }
            SkipBlanks(r);
            if (r == end_ || IsLineEnd(*r))
                return dot || exponent ? ValueKind::kFloat : ValueKind::kInt;
        }
        return IsNumberListLine(q) ? ValueKind::kList : ValueKind::kText;
    }

    // An unquoted number value: to the line end, a "}" or the end, trailing blanks dropped.
    std::string_view ReadNumberValue() {
        SkipBlanks(p_);
        const char* start = p_;
        while (p_ < end_ && !IsLineEnd(*p_) && *p_ != '}')
            ++p_;
        const char* last = p_;
        while (last > start && IsBlank(last[-1]))
            --last;
        return std::string_view(start, static_cast<size_t>(last - start));
    }

    // A number that its type cannot hold is kept as the text it was written as.
    void StoreNumberAsText(const Kiv::PString& name, std::string_view value) {
        std::string text(value);
        StoreValue(name, kTagText, text.c_str(), text.size() + 1);
    }

    // One int or float; a value that holds no number (a lone '-') reads as 0.
    template <typename T>
    void StoreNumber(const Kiv::PString& name, uint32_t type,
                     NumberScan (*scan)(const char*, const char*, T&, const char**)) {
        std::string_view value = ReadNumberValue();
        T v = 0;
        if (scan(value.data(), value.data() + value.size(), v, nullptr) == NumberScan::kOutOfRange)
            return StoreNumberAsText(name, value);
        StoreValue(name, type, &v, 4);
    }

    void StoreList(const Kiv::PString& name) {
        std::string_view value = ReadNumberValue();
        std::vector<float>& values = floats_;
        values.clear();
        const char* p = value.data();
        const char* end = p + value.size();
        while (p < end) {
            if (*p == ' ' || *p == ',') {
                ++p;
                continue;
            }
            const char* piece = p;
            while (p < end && *p != ' ' && *p != ',')
                ++p;
            float v = 0.0f;  // a piece that holds no number reads as 0
            if (ScanFloat(piece, p, v) == NumberScan::kOutOfRange)
                return StoreNumberAsText(name, value);
            values.push_back(v);
        }
        StoreValue(name, kTagFloat, values.data(), values.size() * 4);
    }

    // A text value, quoted or not; line ends inside quotes and "\n" outside them become CR LF.
    void ReadTextValue(std::string& text) {
        text.clear();
        SkipBlanks(p_);
        if (p_ < end_ && *p_ == '"') {
            for (++p_; p_ < end_ && *p_ != '"'; ++p_) {
                char c = *p_;
                if (!IsLineEnd(c)) {
                    text += c;
                    continue;
                }
                text += "\r\n";
                // CR LF and LF CR are one line end.
                if (p_ + 1 < end_ && IsLineEnd(p_[1]) && p_[1] != c) ++p_;
            }
            if (p_ < end_) ++p_;  // the closing quote
            return;
        }
        while (p_ < end_ && !IsLineEnd(*p_) && *p_ != '}') {
            if (*p_ == '\\' && p_ + 1 < end_ && p_[1] == 'n') {
                text += "\r\n";
                p_ += 2;
            } else {
                text += *p_++;
            }
        }
    }

    static size_t Count(std::string_view text, std::string_view what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string_view::npos;
             at = text.find(what, at + what.size()))
            ++n;
        return n;
    }

    static bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
        if (text.size() < prefix.size()) return false;
        for (size_t i = 0; i < prefix.size(); ++i)
            if (Lower(text[i]) != prefix[i]) return false;
        return true;
    }

    static bool NamesOneKUID(std::string_view text) {
        if (Count(text, "<kuid:") + Count(text, "<kuid2:") > 1) return false;
        return StartsWithNoCase(text, "<kuid:") || StartsWithNoCase(text, "<kuid2:") ||
               StartsWithNoCase(text, "<null>");
    }

    void StoreText(const Kiv::PString& name) {
        std::string& text = text_;
        ReadTextValue(text);
        text.resize(std::strlen(text.c_str()));
        if (NamesOneKUID(text)) {
            uint8_t block[8];
            KUID::PackWords(KUID::FromText(text, false), block);
            return StoreValue(name, kTagKUID, block, 8);
        }
        if (!open_.back().utf8) {
            bool high = false;
            for (char c : text)
                high |= (static_cast<uint8_t>(c) & 0x80) != 0;
            std::string converted;
            // Every byte string of the local code page converts; should one not, it stays as
            // it was rather than being lost.
            if (high && LocalTextToUtf8(text, converted)) text = std::move(converted);
        }
        StoreValue(name, kTagText, text.c_str(), text.size() + 1);
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    CountedRef<TagArena> arena_;
    std::vector<Block> open_;
    std::vector<BlockChildren> children_;  // by depth
    std::string text_;                     // the text value being read, kept to reuse its memory
    std::vector<float> floats_;            // the same for a list of numbers
    RecentNames names_;
    TagTextNotes notes_;
};

}  // namespace

bool ParseTagTreeText(TDBTagRef& container, std::string_view text, bool utf8, size_t* consumed,
                      TagTextNotes* notes) {
    container.Reset();
    TextParser parser(text);
    bool ok = parser.Parse(container, utf8);
    if (consumed != nullptr) *consumed = parser.Consumed();
    if (notes != nullptr) *notes = parser.Notes();
    return ok;
}

namespace {

// The text of a stream read whole. A large text goes straight into pages from the kernel, made
// present in one call before the read fills them.
class StreamText {
public:
    StreamText() = default;
    StreamText(const StreamText&) = delete;
    StreamText& operator=(const StreamText&) = delete;
    ~StreamText() {
        if (mapped_ != nullptr) bulkmemory::Unmap(mapped_, mappedSize_);
    }

    // Reads from the position to the end, `expected` bytes in one piece; throws
    // std::bad_alloc.
    void Read(TStream& stream, uint32_t expected) {
        if (expected >= TagArena::kMapFrom) {
            mappedSize_ = expected;
            mapped_ = static_cast<char*>(bulkmemory::Map(expected));
            bulkmemory::Populate(mapped_, expected);
            length_ = stream.ReadBytes(mapped_, expected);
            if (length_ < expected) return;
        } else if (expected != 0) {
            small_.resize(expected);
            small_.resize(stream.ReadBytes(small_.data(), expected));
            if (small_.size() < expected) return;
        }
        // A stream that holds more than it said (a file still growing) gives the rest in
        // pieces, after what was read in one.
        char chunk[4096];
        uint32_t got = stream.ReadBytes(chunk, sizeof chunk);
        if (got == 0) return;
        if (mapped_ != nullptr) {
            small_.assign(mapped_, length_);
            bulkmemory::Unmap(mapped_, mappedSize_);
            mapped_ = nullptr;
        }
        do
            small_.append(chunk, got);
        while ((got = stream.ReadBytes(chunk, sizeof chunk)) != 0);
    }
    std::string_view View() const {
        return mapped_ != nullptr ? std::string_view(mapped_, length_) : std::string_view(small_);
    }

private:
    char* mapped_ = nullptr;
    size_t mappedSize_ = 0;
    size_t length_ = 0;
    std::string small_;
};

}  // namespace

bool ParseTagTreeText(TDBTagRef& container, TStream& stream, bool utf8, TagTextNotes* notes) {
    container.Reset();
    if (!stream.IsOpen()) return false;
    uint32_t start = stream.Tell();
    bool hadError = stream.HasError();
    StreamText text;
    try {
        uint32_t size = stream.GetSize();
        text.Read(stream, size > start ? size - start : 0);
    } catch (const std::bad_alloc&) {
        LogOutputf("ParseTagTreeText> not enough memory for the text");
        return false;
    }
    if (!hadError && stream.HasError()) return false;
    size_t consumed = 0;
    bool ok = ParseTagTreeText(container, text.View(), utf8, &consumed, notes);
    stream.SetPosition(start + static_cast<uint32_t>(consumed));
    return ok;
}
