// The linked form of a compiled library's classes and functions: what the loader builds from a
// ".gsl" image and what instances, stacks and the interpreter read. Records hold resolved
// pointers; the 32-bit words that scripts and frame records keep name them by handle.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "script/bytecode/verifier.h"

namespace GSRuntime {

class GSClass;
class GSLibrary;
class GSNativeFunction;

// Function flags of the image.
inline constexpr uint32_t kFunctionPublic = 0x1;
inline constexpr uint32_t kFunctionNative = 0x2;
inline constexpr uint32_t kFunctionFinal = 0x8;
inline constexpr uint32_t kFunctionThread = 0x10;
inline constexpr uint32_t kFunctionConstructor = 0x20;

// Class flags of the image.
inline constexpr uint32_t kClassStatic = 0x4;
inline constexpr uint32_t kClassFinal = 0x8;
inline constexpr uint32_t kClassGame = 0x40;
inline constexpr uint32_t kClassSecured = 0x100;

struct GSLineEntry {
    uint32_t offset;
    uint32_t line;
};

class GSFunction {
public:
    Kiv::PString name;  // the signature text, "$int@Class::Name(int)"
    GSClass* owner = nullptr;
    uint32_t flags = 0;
    uint32_t returnType = 0;  // 0: returns nothing
    bool returnsReference = false;
    int32_t methodSlot = -1;
    // Frame words: how far a call advances the top, where the locals base and the frame record
    // lie from the top at the call, and how many words the call needs counting the top word.
    uint32_t topAdvance = 4;
    int32_t localsBase = 0;
    int32_t frameRecord = 1;
    uint32_t needed = 4;
    uint32_t params = 1;  // `this` included
    uint32_t locals = 0;
    uint32_t temps = 0;
    std::vector<int32_t> referenceSlots;    // frame slots (from the locals base) holding references
    std::vector<uint8_t> paramIsReference;  // per parameter slot, `this` first
    // Bit i: parameter i + 1 (after `this`) is a reference; the first 64 only.
    uint64_t referenceParameters = 0;
    const uint8_t* code = nullptr;
    uint32_t codeSize = 0;
    // Per code byte, what the interpreter dispatches on at an instruction start there: the
    // opcode, or a fused form that runs the instructions starting there at once (made at the
    // function's first run, see PredecodeFunction); bytes that are no opcode, and one more past the
    // end, read 255. The code itself never changes.
    std::vector<uint8_t> dispatch;
    // The function's library passed the verifier, so its first run may fuse its dispatch bytes.
    bool verified = false;
    // What the verifier could not settle at load and the interpreter checks as the function
    // runs: the result each call was verified with, and where code whose depth the image does
    // not fix can be entered, the range the top must lie in there (see GSBytecode::RunChecks).
    GSBytecode::RunChecks runChecks;
    struct StackBound {
        uint32_t offset;
        int32_t low, high;  // words above the frame record
        uint8_t form;       // what the instruction there dispatches on once the top is checked
    };
    std::vector<StackBound> bounds;  // by offset
    struct ArgumentCheck {
        uint32_t offset;
        uint64_t plainArguments;
        bool plainPast64;  // runChecks.plainPast64 names more of them
    };
    std::vector<ArgumentCheck> argumentChecks;  // by offset: calls that pass plain words
    // The script calls of verified code, numbered in the dispatch bytes of their operands: each
    // keeps the callee it last resolved, for the class and method table it was resolved from,
    // so a call on an object of that class again skips the look-up and the checks of the
    // callee's shape. A native callee is not kept.
    struct CallSite {
        uint64_t classSerial = 0;  // GSClass::serial; 0, which no class has, when none is kept
        uint32_t tableWord = 0;    // the receiving part's method-table word
        uint32_t thisOffset = 0;   // bytes from the instance's primary reference to `this`
        GSFunction* callee = nullptr;
        uint8_t expect = 0;        // GSBytecode::RunChecks::Result the call was verified with
        bool passesPlain = false;  // it hands over words the verifier found plain
    };
    std::vector<CallSite> callSites;
    bool hasLineTable = false;
    std::vector<GSLineEntry> lines;
    GSNativeFunction* native = nullptr;  // bound at link for native functions
    uint32_t handle = 0;                 // the word a frame record holds

    bool IsNative() const { return (flags & kFunctionNative) != 0; }
    bool ReturnsValue() const { return returnType != 0; }
    // What a call of this function leaves, as the verifier names it.
    GSBytecode::RunChecks::Result Result() const {
        return returnType == 0    ? GSBytecode::RunChecks::kNoResult
               : returnsReference ? GSBytecode::RunChecks::kReferenceResult
                                  : GSBytecode::RunChecks::kPlainResult;
    }
    // The source line of a code offset: the entry before the first whose offset is greater
    // (the first entry when none is below); -1 without a line table.
    int LineOf(uint32_t offset) const;
};

// Handles of linked functions, for frame records. A handle stays valid while its library is
// loaded; 0 is no function.
uint32_t RegisterFunctionHandle(GSFunction* function);
void ReleaseFunctionHandle(uint32_t handle);

// Handles index a table of chunks that never move, so a reader needs no lock: chunks are only
// added (under the registration lock) and a slot is written before its handle is handed out.
// Every call and return reads it, so the read is inline.
inline constexpr uint32_t kHandleChunkBits = 12;
inline constexpr uint32_t kHandleChunkSize = 1u << kHandleChunkBits;
inline constexpr uint32_t kHandleChunks = 4096;
extern std::atomic<std::atomic<GSFunction*>*> g_handleChunks[kHandleChunks];

inline GSFunction* FunctionFromHandle(uint32_t handle) {
    if ((handle >> kHandleChunkBits) >= kHandleChunks) return nullptr;
    std::atomic<GSFunction*>* chunk =
        g_handleChunks[handle >> kHandleChunkBits].load(std::memory_order_acquire);
    return chunk == nullptr
               ? nullptr
               : chunk[handle & (kHandleChunkSize - 1)].load(std::memory_order_acquire);
}

struct GSBaseEntry {
    GSClass* cls = nullptr;
    uint32_t classIndex = 0;  // row of the library's class table
    int32_t w1 = 0;           // member word at which the base's part starts
    int32_t w3 = 0;
};

struct GSMethodEntry {
    GSFunction* function = nullptr;
    int32_t baseOffset = 0;      // the part (member word) of the declaring class
    uint32_t functionIndex = 0;  // row of the library's function table
};

struct GSInitialiser {
    uint32_t kind;
    uint32_t word;
    uint32_t value;
};

struct GSMember {
    Kiv::PString name;
    uint32_t type = 0;
    int32_t slot = -1;
    bool reference = false;
};

// A number no other class of the process ever has, for caches that must not mistake a class
// made where a freed one stood for that one.
inline uint64_t NextClassSerial() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

class GSClass {
public:
    const uint64_t serial = NextClassSerial();
    Kiv::PString name;
    uint32_t flags = 0;
    GSLibrary* library = nullptr;
    uint32_t index = 0;  // position among the library's defined classes
    std::vector<GSBaseEntry> bases;
    std::vector<std::unique_ptr<GSFunction>> functions;  // code units, initialiser last
    std::vector<GSMethodEntry> methods;
    std::vector<GSMember> members;
    uint32_t memberWordCount = 0;
    std::vector<GSInitialiser> initialisers;
    std::vector<uint32_t> ownReferenceMembers;  // member words of this class's own references
    // Per member word of an instance: 1 where it holds a reference (bases' parts included),
    // 2 for a part's two bookkeeping words.
    std::vector<uint8_t> wordKinds;
    GSFunction* constructor = nullptr;

    // This class's own name, then its bases' from the last base entry to the first.
    bool IsNamed(const Kiv::PString& wanted) const;
    bool IsNamed(const char* wanted) const { return IsNamed(Kiv::PString(wanted)); }
    // The member word at which the part of `base` starts; -1 when `base` is neither this class
    // nor one of its bases. The base table is searched from the last entry to the first.
    int32_t PartOf(const GSClass* base) const;
    // The class's own function of that signature, null when none.
    GSFunction* FindFunction(const Kiv::PString& signature) const;
};

}  // namespace GSRuntime
