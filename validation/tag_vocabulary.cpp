#include "validation/tag_vocabulary.h"

#include <array>
#include <cstdlib>

namespace {

constexpr const char* kTexts[] = {
#define HALVEX_TAG_WORD_TEXT(id, text) text,
    HALVEX_TAG_WORDS(HALVEX_TAG_WORD_TEXT)
#undef HALVEX_TAG_WORD_TEXT
};
static_assert(std::size(kTexts) == TagNameVocabulary::kWordCount);

// Storage outlives every handler: the words are released in place at exit, never destroyed.
struct Words {
    alignas(Kiv::PString) unsigned char bytes[sizeof(Kiv::PString) * TagNameVocabulary::kWordCount];
    Kiv::PString* At(size_t i) { return reinterpret_cast<Kiv::PString*>(bytes) + i; }
};

Words& Storage() {
    static Words words;
    return words;
}

template <size_t I>
void ReleaseWord() {
    // The string cache lives for the whole process, so releasing is always safe here.
    *Storage().At(I) = Kiv::PString();
}

template <size_t... I>
void MakeAll(std::index_sequence<I...>) {
    // One word, then its exit handler, in creation order: the handlers release the words in
    // reverse order.
    ((new (Storage().At(I)) Kiv::PString(Kiv::PStringCache::Create(kTexts[I])),
      std::atexit(&ReleaseWord<I>)),
     ...);
}

Kiv::PString* Made() {
    static const bool made = [] {
        MakeAll(std::make_index_sequence<TagNameVocabulary::kWordCount>());
        return true;
    }();
    (void)made;
    return Storage().At(0);
}

// Made before main(), as every other constant table of the validator.
[[maybe_unused]] const Kiv::PString* const kMadeBeforeMain = Made();

}  // namespace

const Kiv::PString& TagNameVocabulary::Get(TagWord word) {
    return Made()[static_cast<size_t>(word)];
}

std::span<const Kiv::PString> TagNameVocabulary::All() {
    return {Made(), kWordCount};
}

std::span<const char* const> TagNameVocabulary::Texts() {
    return {kTexts, kWordCount};
}
