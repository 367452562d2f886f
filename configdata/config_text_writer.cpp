// The writer of the text form, and the dumps of a tree to the log and to standard output.
#include <cstdio>
#include <new>
#include <vector>

#include "configdata/acs_converter.h"
#include "configdata/config_text.h"
#include "configdata/number_text.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"

namespace {

constexpr std::string_view kHeader = "\xEF\xBB\xBF\r\n";
constexpr std::string_view kLineEnd = "\r\n";
constexpr size_t kMaxNameBytes = 1024;
// Values start at this column while indentation and name leave room.
constexpr int64_t kValueColumn = 40;
constexpr int64_t kIndentWidth = 2;

void Indent(std::string& out, uint32_t level) {
    out.append(size_t{level} * kIndentWidth, ' ');
}

void AppendName(std::string& out, const Kiv::PString& name) {
    std::string_view text = name.view().substr(0, kMaxNameBytes);
    for (char c : text) {
        auto b = static_cast<uint8_t>(c);
        if (b <= 0x20 || b >= 0x80) {
            out += '_';
        } else if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else {
            out += c;
        }
    }
}

// The value's text by its type, appended to `text`.
void AppendValueText(const ACSChunk& node, std::string& text) {
    uint32_t type = node.GetType();
    const void* data = node.GetData();
    uint32_t size = node.GetDataSize();
    switch (type) {
        case kTagEmpty:
            return;
        case kTagText:
        case kTagTextLike:
            text += TextOfData(data, size);
            return;
        case kTagInt:
            AppendIntList(data, size, text);
            return;
        case kTagFloat:
            AppendFloatList(data, size, text);
            return;
        case kTagKUID:
            if (size == 8) KUID::UnpackWords(data).AppendString(text);
            return;
        default: {
            ACSRawDataRef converted = ConvertRawData(type, node.GetRawData(), kTagText);
            text += TextOfData(converted.GetData(), converted.GetSize());
            return;
        }
    }
}

bool QuotedType(uint32_t type) {
    return type == kTagEmpty || type == kTagRaw || type == kTagText || type == kTagTextLike;
}

// One value line without its line end: name, padding, value.
void AppendValue(std::string& out, const Kiv::PString& name, const ACSChunk& node, uint32_t level,
                 std::string& scratch) {
    Indent(out, level);
    AppendName(out, name);
    int64_t pad =
        (kValueColumn / kIndentWidth - level) * kIndentWidth - static_cast<int64_t>(name.Length());
    out.append(static_cast<size_t>(pad < 1 ? 1 : pad), ' ');

    scratch.clear();
    AppendValueText(node, scratch);
    if (scratch.empty()) return;
    bool quoted =
        QuotedType(node.GetType()) || scratch.find_first_of("\r\n \t") != std::string::npos;
    if (quoted) out += '"';
    for (char c : scratch)
        out += c == '"' ? '\'' : c;
    if (quoted) out += '"';
}

}  // namespace

bool AppendTagTreeText(const TDBTagRef& tree, std::string& out) {
    if (tree.IsEmpty()) return true;
    size_t start = out.size();
    out += kHeader;
    struct Frame {
        TDBTagRef node;
        uint32_t next;
        uint32_t count;
    };
    // The containers being written; the frame at index L holds the children of level L.
    std::vector<Frame> open;
    open.push_back({tree, 0, tree->GetChildCount()});
    Kiv::PString name;
    TDBTagRef child;
    std::string scratch;
    while (!open.empty()) {
        Frame& frame = open.back();
        auto level = static_cast<uint32_t>(open.size() - 1);
        if (frame.next >= frame.count) {
            open.pop_back();
            if (!open.empty()) {
                Indent(out, level - 1);
                out += '}';
                out += kLineEnd;
            }
            continue;
        }
        uint32_t index = frame.next++;
        if (!frame.node->GetChildAt(index, name, child)) continue;
        if (level + 1 > kMaxTagTreeDepth) {
            out.resize(start);
            return false;
        }
        if (child->GetType() != kTagContainer) {
            AppendValue(out, name, *child, level, scratch);
            out += kLineEnd;
            continue;
        }
        if (index != 0) {
            Indent(out, level);
            out += kLineEnd;
        }
        Indent(out, level);
        AppendName(out, name);
        out += kLineEnd;
        Indent(out, level);
        out += '{';
        out += kLineEnd;
        open.push_back({child, 0, child->GetChildCount()});
    }
    return true;
}

bool WriteTagTreeText(TStream& stream, const TDBTagRef& tree) {
    std::string text;
    try {
        if (!AppendTagTreeText(tree, text)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    auto n = static_cast<uint32_t>(text.size());
    return text.size() == n && stream.Write(text.data(), n) == n;
}

void TDBContainerTag::LogAsText(const TDBTagRef& tree) {
    std::string text;
    AppendTagTreeText(tree, text);
    LogOutputf("%s", text.c_str());
}

void TDBContainerTag::PrintAsText(const TDBTagRef& tree) {
    std::string text;
    AppendTagTreeText(tree, text);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}
