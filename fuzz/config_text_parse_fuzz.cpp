// The text config parser over arbitrary bytes: whatever it makes is walked whole and written,
// and the written text parses again.
#include <cstdint>
#include <cstdlib>

#include "fuzz/config_text_fuzz_support.h"
#include "fuzz/soup_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TDBTagRef tree = textfuzz::Parse(data, size);
    volatile uint32_t sink = soupfuzz::Walk(tree);
    (void)sink;
    std::string text = textfuzz::Text(tree);
    TDBTagRef again;
    if (!ParseTagTreeText(again, text, false)) std::abort();
    if (!tree != !again) std::abort();  // a tree with children writes a text with children
    return 0;
}
