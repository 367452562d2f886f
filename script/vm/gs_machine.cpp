#include "script/vm/gs_machine.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <span>

#include "platform/kiv/base/file.h"
#include "platform/kiv/base/find.h"
#include "script/bytecode/gsl_format.h"
#include "script/bytecode/gsl_image.h"
#include "script/bytecode/opcodes.h"
#include "script/bytecode/verifier.h"
#include "script/vm/gs_dispatch.h"
#include "script/vm/gs_native.h"
#include "script/vm/script_log.h"

namespace GSRuntime {

namespace {

constexpr uint32_t kLibraryHeaderBytes = 20;

// Member slots are 16-bit numbers in the compiler's records and in the member opcodes, so no
// compiled class comes near this many words (an instance of 4 MiB); a class that claims more
// is refused before tables of its size are made for it.
constexpr uint32_t kMaxClassMemberWords = 1u << 20;
static_assert(kMaxClassMemberWords <= kMaxMemberWords);

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view FileNameOf(std::string_view path) {
    size_t cut = path.find_last_of("/\\:");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string Join(std::string_view folder, std::string_view fileName) {
    if (folder.empty()) return std::string(fileName);
    std::string out(folder);
    if (out.back() != '/' && out.back() != '\\') out += '/';
    out += fileName;
    return out;
}

uint32_t Word(const uint8_t* p) {
    return GSBytecode::ReadU32At(p);
}

// The id pair of a library file's header; false when the header is short or not ours.
bool ReadHeader(Kiv::File& file, GSLibraryId& id) {
    uint8_t header[kLibraryHeaderBytes];
    if (file.Read(header, kLibraryHeaderBytes) != kLibraryHeaderBytes) return false;
    if (Word(header + 4) != GSBytecode::kGslMagic) return false;
    id = {Word(header + 12), Word(header + 16)};
    return true;
}

GSLibrary* NewLibrary() {
    void* memory = GSMachineHeap().Alloc(sizeof(GSLibrary));
    return memory != nullptr ? new (memory) GSLibrary() : nullptr;
}

void DeleteLibrary(GSLibrary* library) {
    if (library == nullptr) return;
    library->~GSLibrary();
    GSMachineHeap().Free(library);
}

// The image's strings as interned names, each interned once per load: a function's signature
// is named by its record and again by the function table.
class ImageNames {
public:
    explicit ImageNames(const GSBytecode::GslImage& image)
        : image_(image), names_(image.strings.size()) {}
    // `index` was checked by the image reader.
    const Kiv::PString& Of(uint32_t index) {
        Kiv::PString& name = names_[index];
        if (name.IsNull()) name = Kiv::PString(image_.String(index));
        return name;
    }

private:
    const GSBytecode::GslImage& image_;
    std::vector<Kiv::PString> names_;
};

// Reference types: strings, objects and arrays of every element kind.
bool IsReferenceTypeCode(uint32_t type) {
    return type == 4 || type == 5 || (type > 6 && type != 12);
}

// The linked function of one record. False when its frame or slots cannot be kept.
bool BuildFunction(const GSBytecode::GslImage& image, ImageNames& names,
                   const GSBytecode::GslFunction& in, GSBytecode::RunChecks checks, GSFunction& f) {
    const GSBytecode::FrameWords& w = in.frame;
    if (!w.IsConsistent() || w.Parameters() == 0) return false;
    // Callers were verified to take a result word from this function exactly when its
    // signature names a type: the record must not return one otherwise, nor none then.
    if ((in.returnType != 0) != GSBytecode::SignatureReturnsValue(image.String(in.signature)))
        return false;
    f.name = names.Of(in.signature);
    f.flags = in.flags;
    f.returnType = in.returnType;
    f.returnsReference = IsReferenceTypeCode(in.returnType);
    f.methodSlot = in.methodSlot;
    f.topAdvance = w.word[0];
    f.localsBase = static_cast<int32_t>(w.word[1]);
    f.frameRecord = static_cast<int32_t>(w.word[2]);
    f.needed = w.word[3];
    f.params = w.Parameters();
    f.locals = w.Locals();
    f.temps = w.Temporaries();
    uint64_t slots = uint64_t{f.params} + f.locals + f.temps;
    f.paramIsReference.assign(f.params, 0);
    f.paramIsReference[0] = 1;
    for (int32_t slot : in.referenceSlots) {
        if (slot <= 0 || static_cast<uint64_t>(slot) >= slots) return false;
        if (static_cast<uint32_t>(slot) < f.params) f.paramIsReference[slot] = 1;
    }
    // The verifier takes a callee's kinds from the signature its caller names: the record must
    // keep the words its signature says are references as references, and no others.
    if (!GSBytecode::SignatureHasKinds(image.String(in.signature), f.returnsReference,
                                       std::span<const uint8_t>(f.paramIsReference).subspan(1)))
        return false;
    for (size_t i = 1; i < f.paramIsReference.size() && i <= 64; ++i)
        if (f.paramIsReference[i] != 0) f.referenceParameters |= uint64_t{1} << (i - 1);
    f.referenceSlots.assign(in.referenceSlots.begin(), in.referenceSlots.end());
    f.code = in.code.data();
    f.codeSize = static_cast<uint32_t>(in.code.size());
    f.runChecks = std::move(checks);
    // The whole image was verified before any class is built. Its dispatch bytes are made on
    // the function's first run: a load that only links (as validation does) never pays for
    // functions nobody calls.
    f.verified = true;
    f.runChecks.starts = {};  // verified code's starts are found again by length
    f.hasLineTable = in.hasLineTable;
    f.lines.reserve(in.lines.size());
    for (const GSBytecode::GslLine l : in.lines)
        f.lines.push_back({l.offset, l.line});
    return true;
}

// Step 1: a class of the library from its record; what only the class itself decides.
bool BuildClass(const GSBytecode::GslImage& image, ImageNames& names,
                const GSBytecode::GslClass& in, std::vector<GSBytecode::RunChecks>& checks,
                GSClass& c) {
    c.name = names.Of(in.name);
    c.flags = in.flags;
    c.memberWordCount = in.memberWords;
    if (in.functions.empty()) return false;  // the initialiser is always there
    if (checks.size() != in.functions.size()) return false;
    for (size_t i = 0; i < in.functions.size(); ++i) {
        auto f = std::make_unique<GSFunction>();
        f->owner = &c;
        GSFunction* raw = f.get();
        c.functions.push_back(std::move(f));
        if (!BuildFunction(image, names, in.functions[i], std::move(checks[i]), *raw)) return false;
        raw->handle = RegisterFunctionHandle(raw);
        if (raw->handle == 0) return false;
    }
    // The member initialiser runs as the class's constructor; one without code (no member
    // has a starting value) is no constructor at all.
    if (c.functions.back()->codeSize != 0) c.constructor = c.functions.back().get();
    // A class no instance could hold is refused before its word kinds are laid out.
    if (in.memberWords < 2 || in.memberWords > kMaxClassMemberWords) return false;
    for (const GSBytecode::GslMember& m : in.members) {
        if (m.slot < 2 || static_cast<uint32_t>(m.slot) >= in.memberWords) return false;
        c.members.push_back({names.Of(m.name), m.type, m.slot, IsReferenceTypeCode(m.type)});
    }
    if (in.baseWords.size() % 3 != 0) return false;
    for (size_t i = 0; i < in.baseWords.size(); i += 3)
        c.initialisers.push_back({in.baseWords[i], in.baseWords[i + 1], in.baseWords[i + 2]});
    c.initialisers.push_back({in.tail[0], in.tail[1], in.tail[2]});
    for (const GSInitialiser& init : c.initialisers)
        if (init.word >= in.memberWords) return false;
    for (uint32_t w : in.secondTable)
        if (w < 2 || w >= in.memberWords) return false;
    c.ownReferenceMembers = in.secondTable;
    return true;
}

// Step 5 for one class: bases, method table, word kinds and native bindings.
bool LinkClass(const GSBytecode::GslClass& in, GSLibrary& library, GSClass& c) {
    const uint32_t words = c.memberWordCount;
    c.wordKinds.assign(words, 0);
    auto mark = [&](uint64_t word, uint8_t kind) {
        if (word >= words) return false;
        uint8_t& k = c.wordKinds[word];
        if (k != 0 && k != kind) return false;
        k = kind;
        return true;
    };
    if (!mark(0, 2) || !mark(1, 2)) return false;
    for (const GSBytecode::GslBase& b : in.bases) {
        if (b.classIndex >= library.classTable.size()) return false;
        GSClass* base = library.classTable[b.classIndex];
        if (base == nullptr || base == &c || b.w1 < 2) return false;
        c.bases.push_back(
            {base, b.classIndex, static_cast<int32_t>(b.w1), static_cast<int32_t>(b.w3)});
        if (!mark(b.w1, 2) || !mark(uint64_t{b.w1} + 1, 2)) return false;
        for (uint32_t w : base->ownReferenceMembers)
            if (!mark(uint64_t{b.w1} + w, 1)) return false;
    }
    for (uint32_t w : c.ownReferenceMembers)
        if (!mark(w, 1)) return false;
    // A plain member must not share its word with a reference or bookkeeping.
    for (const GSMember& m : c.members)
        if (!m.reference && c.wordKinds[static_cast<uint32_t>(m.slot)] != 0) return false;

    // A part's first word holds its distance from the instance's start, which finds the header
    // from any reference to the part: every base part's must be set, and rightly; a reference
    // member starts as null. A starting value that
    // broke either would have a number followed as a pointer.
    for (const GSInitialiser& init : c.initialisers) {
        bool partStart = init.word == 0;
        for (const GSBaseEntry& b : c.bases)
            partStart = partStart || init.word == static_cast<uint32_t>(b.w1);
        if (partStart && init.value != 0u - init.word) return false;
        if (c.wordKinds[init.word] == 1 && init.value != 0) return false;
    }
    for (const GSBaseEntry& b : c.bases) {
        bool set = false;
        for (const GSInitialiser& init : c.initialisers)
            set = set || init.word == static_cast<uint32_t>(b.w1);
        if (!set) return false;
    }

    for (const GSBytecode::GslMethodEntry& e : in.methods) {
        if (e.function >= library.functionTable.size()) return false;
        GSFunction* f = library.functionTable[e.function];
        if (f == nullptr || e.baseOffset >= words || c.wordKinds[e.baseOffset] != 2) return false;
        c.methods.push_back({f, static_cast<int32_t>(e.baseOffset), e.function});
    }

    GSNativeRegistry& registry = GSNativeRegistry::Get();
    for (auto& f : c.functions) {
        if (!f->IsNative()) continue;
        f->native = registry.Find(c.name, f->name);
        if (f->native == nullptr)
            GS_SCRIPT_LOG("Could not resolve native link %s", f->name.c_str());
    }
    return true;
}

// What a caller verified against one function relies on: its parameter words, which of them
// are references, and what it leaves.
bool SameKinds(const GSFunction& a, const GSFunction& b) {
    return a.params == b.params && a.paramIsReference == b.paramIsReference &&
           a.ReturnsValue() == b.ReturnsValue() && a.returnsReference == b.returnsReference;
}

// A call through a base's method slot was verified against the base's function there; on an
// instance of `c` it runs the entry that the base part's slice of `c`'s table holds at that
// slot. Each such entry must take and leave the same kinds of words, whichever library
// declared the base, or a plain word would be handed on as a reference.
bool OverridesKeepKinds(const GSClass& c) {
    for (const GSBaseEntry& b : c.bases) {
        uint64_t start = 0;  // the part's slice: the starting value of its second word
        for (const GSInitialiser& init : c.initialisers)
            if (init.kind == 0 && init.word == static_cast<uint32_t>(b.w1) + 1) start = init.value;
        const std::vector<GSMethodEntry>& inherited = b.cls->methods;
        if (start + inherited.size() > c.methods.size()) return false;
        for (size_t k = 0; k < inherited.size(); ++k)
            if (!SameKinds(*c.methods[start + k].function, *inherited[k].function)) return false;
    }
    return true;
}

}  // namespace

GSMachine::GSMachine() = default;

GSMachine::~GSMachine() {
    for (size_t i = loaded_.size(); i-- > 0;)
        DeleteLibrary(loaded_[i]);
}

GSMachine& GSMachine::Instance() {
    static GSMachine* machine = new GSMachine();  // libraries live to the end of the process
    return *machine;
}

GSMachine::Entry* GSMachine::Find(GSLibraryId id) {
    auto it = entries_.find(id);
    return it == entries_.end() ? nullptr : it->second.get();
}

GSMachine::Entry* GSMachine::Insert(GSLibraryId id, std::string_view name,
                                    const std::string& path) {
    auto entry = std::make_unique<Entry>();
    entry->id = id;
    entry->name = Kiv::PString(name);
    entry->path = path;
    Entry* raw = entry.get();
    if (!entries_.emplace(id, std::move(entry)).second) {
        GS_SCRIPT_LOG("Could not add game script library %s to GSMachine", path.c_str());
        return nullptr;
    }
    return raw;
}

bool GSMachine::AddLibrary(std::string_view name, std::string_view folder,
                           std::string_view fileName, GSLibraryId* id) {
    folder_ = std::string(folder);
    std::string path = Join(folder, fileName);
    Kiv::File file;
    if (!file.Open(path, Kiv::File::kModeRead)) return false;
    GSLibraryId pair;
    if (!ReadHeader(file, pair)) return false;
    if (id != nullptr) *id = pair;
    std::string key = Lower(FileNameOf(fileName));
    if (Entry* existing = Find(pair)) {
        names_[key] = existing;
        return true;
    }
    Entry* entry = Insert(pair, name, path);
    if (entry == nullptr) return false;
    names_[key] = entry;
    return true;
}

int GSMachine::AddLibraryFolder(std::string_view folder, std::string_view name) {
    folder_ = std::string(folder);
    Kiv::File::Find find;
    int added = 0;
    if (!find.Open(Join(folder, "*.gsl"))) return 0;
    for (bool more = true; more; more = find.Next()) {
        if (find.IsDirectory()) continue;
        std::string path = Join(folder, find.GetName());
        Kiv::File file;
        GSLibraryId pair;
        if (!file.Open(path, Kiv::File::kModeRead) || !ReadHeader(file, pair)) continue;
        Entry* entry = Insert(pair, name, path);
        if (entry == nullptr) continue;
        names_[Lower(find.GetName())] = entry;
        ++added;
    }
    return added;
}

void GSMachine::Unload(Entry& entry) {
    DeleteLibrary(entry.library);
    entry.library = nullptr;
}

GSLibrary* GSMachine::GetLibrary(GSLibraryId id) {
    Entry* e = Find(id);
    if (e == nullptr) {
        GS_SCRIPT_LOG("GSMachine::GetLibrary> library '0x%X 0x%X' not found in link table",
                      id.first, id.second);
        for (const GSLibrary* l : loaded_)
            if (l->id2 == id.second)
                GS_SCRIPT_LOG(
                    "  Similar library found with matching filename hash but built from "
                    "different source: %s",
                    l->sourceName.c_str());
        return nullptr;
    }
    if (e->library != nullptr) return e->library;
    // A library that names itself, or is named back by one it loads, links to the library
    // under construction: its classes exist from the first step on.
    if (e->underConstruction != nullptr) return e->underConstruction;

    Kiv::File file;
    if (!file.Open(e->path, Kiv::File::kModeRead)) return nullptr;
    uint64_t size = file.GetSize();
    std::vector<uint8_t> bytes;
    bool read = size <= kMaxLibraryFileBytes;
    if (read) {
        bytes.resize(static_cast<size_t>(size));
        read = file.Read(bytes.data(), static_cast<uint32_t>(size)) == size;
    }
    file.Close();
    if (!read) {
        GS_SCRIPT_LOG("GSMachine: Error loading library file %s", e->path.c_str());
        return nullptr;
    }
    GSLibrary* library = NewLibrary();
    if (library == nullptr) {
        GS_SCRIPT_LOG("GSMachine: Error loading library file %s", e->path.c_str());
        return nullptr;
    }
    library->path = e->path;
    int result;
    if (bytes.size() >= kLibraryHeaderBytes &&
        GSLibraryId{Word(bytes.data() + 12), Word(bytes.data() + 16)} != e->id) {
        result = kLoadIdMismatch;  // replaced since it was added: the entry no longer names it
    } else {
        const size_t mark = loaded_.size();
        e->underConstruction = library;
        result = LoadImage(*library, std::move(bytes));
        e->underConstruction = nullptr;
        if (result != kLoadOk) {
            // Libraries loaded on the way may point into this one: they go with it and load
            // again when asked for.
            while (loaded_.size() > mark) {
                GSLibrary* l = loaded_.back();
                loaded_.pop_back();
                if (Entry* other = Find({l->id1, l->id2}); other != nullptr && other->library == l)
                    Unload(*other);
                else
                    DeleteLibrary(l);
            }
        }
    }
    if (result != kLoadOk) {
        GS_SCRIPT_LOG("GSMachine: Error %d loading library %s (%s)", result, e->path.c_str(),
                      library->sourceName.c_str());
        DeleteLibrary(library);
        return nullptr;
    }
    e->library = library;
    loaded_.push_back(library);
    return library;
}

bool GSMachine::CheckOverrides(const GSLibrary& library, size_t firstLoaded) const {
    std::vector<const GSLibrary*> linked(loaded_.begin() + static_cast<std::ptrdiff_t>(firstLoaded),
                                         loaded_.end());
    linked.push_back(&library);
    for (const GSLibrary* l : linked) {
        for (const auto& c : l->classes) {
            if (!OverridesKeepKinds(*c)) {
                GS_SCRIPT_LOG("GS Link error: Unable to link '%s'", c->name.c_str());
                return false;
            }
        }
    }
    return true;
}

GSLibrary* GSMachine::GetLibraryByName(std::string_view fileName) {
    auto it = names_.find(Lower(fileName));
    return it == names_.end() ? nullptr : GetLibrary(it->second->id);
}

int GSMachine::LoadImage(GSLibrary& lib, std::vector<uint8_t> bytes) {
    const size_t mark = loaded_.size();
    ++loadDepth_;
    int result = LinkImage(lib, std::move(bytes));
    --loadDepth_;
    // Overrides are checked once every library of this load is linked: a base in a library
    // still under construction (two that name each other) has no method table yet.
    if (result == kLoadOk && loadDepth_ == 0 && !CheckOverrides(lib, mark)) result = kLoadClassLink;
    return result;
}

int GSMachine::LinkImage(GSLibrary& lib, std::vector<uint8_t> bytes) {
    lib.image = std::move(bytes);
    GSBytecode::GslImage image;
    GSBytecode::GslReadError readError;
    if (!GSBytecode::ReadLibraryImage(lib.image, image, readError)) {
        GS_SCRIPT_LOG("GSMachine: library image refused at offset %u: %s", readError.offset,
                      readError.text.c_str());
        return kLoadUnreadable;
    }
    lib.version = image.versionBits;
    lib.id1 = image.id.sourceChecksum;
    lib.id2 = image.id.nameChecksum;
    lib.sourceName = std::string(image.name);
    GSBytecode::VerifyError verifyError;
    std::vector<std::vector<GSBytecode::RunChecks>> checks;
    if (!GSBytecode::VerifyImage(image, verifyError, &checks)) {
        GS_SCRIPT_LOG("GSMachine: code refused in function '%s' at code offset %u: %s",
                      verifyError.function.c_str(), verifyError.offset, verifyError.text.c_str());
        return kLoadUnverified;
    }
    // Views of the image, whose table keeps a NUL after each.
    lib.strings.assign(image.strings.begin(), image.strings.end());

    ImageNames names(image);
    // 1. The library's own classes.
    for (size_t i = 0; i < image.classes.size(); ++i) {
        auto c = std::make_unique<GSClass>();
        c->library = &lib;
        c->index = static_cast<uint32_t>(i);
        GSClass* raw = c.get();
        lib.classes.push_back(std::move(c));
        if (!BuildClass(image, names, image.classes[i], checks[i], *raw)) {
            GS_SCRIPT_LOG("GS Link error: Unable to initialise class '%s'",
                          std::string(image.String(image.classes[i].name)).c_str());
            return kLoadClassInit;
        }
    }
    // 2 and 3. Every class the code names, in its own library.
    lib.classTable.assign(image.classTable.size(), nullptr);
    for (size_t i = 0; i < image.classTable.size(); ++i) {
        const GSBytecode::GslClassRow& row = image.classTable[i];
        std::string name(image.String(row.name));
        GSLibrary* owner = nullptr;
        GSLibraryId id{};
        if (row.module < image.libraries.size()) {
            id = {image.libraries[row.module].sourceChecksum,
                  image.libraries[row.module].nameChecksum};
            owner = row.module == 0 ? &lib : GetLibrary(id);
        }
        if (owner == nullptr) {
            GS_SCRIPT_LOG("GS Link error: Unable to find library for class '%s' (lib id: %x.%x)",
                          name.c_str(), id.first, id.second);
            return kLoadLibraryMissing;
        }
        lib.classTable[i] = owner->FindClass(names.Of(row.name));
        if (lib.classTable[i] == nullptr) {
            GS_SCRIPT_LOG("GS Link error: Unable to find class '%s'", name.c_str());
            return kLoadClassMissing;
        }
    }
    // 4. Every function the code names.
    lib.functionTable.assign(image.functionTable.size(), nullptr);
    for (size_t i = 0; i < image.functionTable.size(); ++i) {
        const GSBytecode::GslFunctionRow& row = image.functionTable[i];
        std::string_view signature = image.String(row.signature);
        GSClass* cls =
            row.classIndex < lib.classTable.size() ? lib.classTable[row.classIndex] : nullptr;
        GSFunction* f = cls != nullptr ? cls->FindFunction(names.Of(row.signature)) : nullptr;
        if (f == nullptr || f->methodSlot != row.methodSlot) {
            GS_SCRIPT_LOG("GS Link error: Unable to link function '%s'",
                          std::string(signature).c_str());
            return kLoadFunctionLink;
        }
        lib.functionTable[i] = f;
    }
    // 5. The library's classes: bases, method tables, member word kinds, natives.
    for (size_t i = 0; i < image.classes.size(); ++i) {
        if (!LinkClass(image.classes[i], lib, *lib.classes[i])) {
            GS_SCRIPT_LOG("GS Link error: Unable to link '%s'", lib.classes[i]->name.c_str());
            return kLoadClassLink;
        }
    }
    return kLoadOk;
}

}  // namespace GSRuntime
