// The read view of a loaded soup under a script of edits. Input: one byte n, then n script
// bytes, then the soup file. Each script byte is an operation (low 3 bits) and an argument;
// after the script the view is written, and what was written must read back as the view saw it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "configdata/tdb_binary_soup.h"
#include "configdata/tdb_container_tag.h"
#include "fuzz/soup_fuzz_support.h"

namespace {

// Names the script adds and looks up, among those of typical fixtures.
const char* const kNames[] = {"a", "kind", "name", "inner", "t", "v", "", "x"};

// "name:type=bytes" for values, "name{...}" for containers, children in index order; values
// as a write and a read give them back (an empty node carries no bytes, text ends in a NUL).
void Dump(const ACSChunk& node, std::string& out) {
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; node.GetChildAt(i, name, child); ++i) {
        out += name.str();
        if (child->GetType() == kTagContainer) {
            out += '{';
            Dump(*child, out);
            out += '}';
        } else {
            uint32_t type = child->GetType();
            out += ':' + std::to_string(type) + '=';
            if (type != kTagEmpty)
                out.append(static_cast<const char*>(child->GetData()), child->GetDataSize());
            if (type == kTagText && child->GetDataSize() != 0 && out.back() != '\0') out += '\0';
        }
        out += ';';
    }
}

void RunScript(const TDBTagRef& root, const uint8_t* script, size_t n) {
    std::vector<TDBTagRef> path{root};
    TDBTagRef held = ACSChunk::GetNullChunk();
    for (size_t i = 0; i < n; ++i) {
        const TDBTagRef& at = path.back();
        uint32_t arg = script[i] >> 3;
        Kiv::PString name(kNames[arg % 8]);
        switch (script[i] & 7) {
            case 0: {
                Kiv::PString got;
                at->GetChildAt(arg % (at->GetChildCount() + 1), got, held);
                if (!held) held = ACSChunk::GetNullChunk();
                break;
            }
            case 1:
                held = at->FindChildForEdit(name);
                break;
            case 2:
                at->RemoveChild(held);
                break;
            case 3: {
                static const uint32_t kTypes[] = {0, 1, 2, 3, 4, 6, 7, 2};
                uint32_t value = 0x01020304u * arg;
                at->AddChild(name, at->CreateTag(kTypes[arg % 8], MakeRawData(&value, arg % 5)));
                break;
            }
            case 4:
                // Containers go only into views, which keep a container of their own file by
                // position: a container put into an editable container could end up inside
                // itself, or hold its own file, and a cycle of counted references is never
                // freed (callers do not build either).
                if (held->GetType() == kTagContainer &&
                    dynamic_cast<TDBBinarySoup*>(at.Get()) == nullptr)
                    break;
                at->AddChild(name, held);
                break;
            case 5:
                if (held->GetType() == kTagContainer && path.size() < 16) path.push_back(held);
                break;
            case 6:
                if (path.size() > 1) path.pop_back();
                break;
            default:
                at->SortChildren();
                break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t n = data[0] < size - 1 ? data[0] : size - 1;
    const uint8_t* file = data + 1 + n;
    TBuffer stream(file, static_cast<uint32_t>(size - 1 - n));
    TDBTagRef root;
    if (!ReadTagTreeBinary(stream, root) || !root) return 0;

    RunScript(root, data + 1, n);
    volatile uint32_t sink = soupfuzz::Walk(root, 4096);
    (void)sink;

    // A tree holding itself is refused; anything else writes and reads back as it was seen.
    bool ok = false;
    std::string written = soupfuzz::WriteBytes(root, ok);
    if (!ok) return 0;
    std::string seen, back;
    Dump(*root, seen);
    TDBTagRef reread = soupfuzz::ReadBytes(written);
    if (reread) Dump(*reread, back);
    if (seen != back) std::abort();
    return 0;
}
