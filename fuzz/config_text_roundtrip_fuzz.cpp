// Text to binary to text: a tree parsed from text, written as a binary soup and read back,
// writes the same text as the tree itself. The binary form holds names of up to 254 bytes and
// leaves longer ones out, so the texts are compared only when every name fits.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "configdata/soup_format.h"
#include "fuzz/config_text_fuzz_support.h"
#include "fuzz/soup_fuzz_support.h"

namespace {

bool AllNamesFitTheBinaryForm(const TDBTagRef& root) {
    std::vector<TDBTagRef> pending;
    if (root) pending.push_back(root);
    Kiv::PString name;
    TDBTagRef child;
    while (!pending.empty()) {
        TDBTagRef node = std::move(pending.back());
        pending.pop_back();
        for (uint32_t i = 0; node->GetChildAt(i, name, child); ++i) {
            if (name.Length() + 1 > kSoupMaxNameBytes) return false;
            pending.push_back(child);
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TDBTagRef tree = textfuzz::Parse(data, size);
    std::string text = textfuzz::Text(tree);

    bool ok = false;
    std::string binary = soupfuzz::WriteBytes(tree, ok);
    if (!ok) std::abort();
    TBuffer stream(binary.data(), static_cast<uint32_t>(binary.size()));
    TDBTagRef back;
    if (!ReadTagTreeBinary(stream, back)) std::abort();

    if (AllNamesFitTheBinaryForm(tree) && textfuzz::Text(back) != text) std::abort();
    return 0;
}
