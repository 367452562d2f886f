// The code verifier: what the script machine may rely on in every function of an image that
// passes. Opcodes are known, operands lie inside the code, jump and table targets are
// instruction starts, every path reaches each instruction with one stack depth that never goes
// below 0, is 0 after each return and never passes the function's recorded maximum (which it
// reaches), and string, class, function and frame-slot operands lie inside the image's tables
// and the function's frame.
//
// A call leaves the callee's result word when the callee returns a value. The verifier takes
// that from the image where the image shows the callee: the inherited call names its function;
// a virtual call's slot is looked up in the method tables of the library's classes and the
// function rows of included libraries, and used when they all agree. Where they do not (the
// callee depends on the object's class at run time) the depth after the call is left unknown
// until a merge with a known path; the machine checks such calls when it runs them.
//
// Each stack word also has a kind: plain, reference, or the constant 0, which is both a plain
// zero and the null reference. Every opcode that reads a word as a reference (releases, copies
// or follows it) must find a reference or 0 there, stores into a reference frame slot take
// only those, merge points must agree on every word's kind, and a call's object word, the
// arguments of its callee's reference parameters and its result take their kinds from the
// callee's signature (the loader holds each function's record to its signature). An opcode
// that takes a reference and is reached only after a call whose result the image does not show
// is refused: the verifier cannot follow the word it would take.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "script/bytecode/gsl_image.h"

namespace GSBytecode {

struct VerifyError {
    std::string function;  // the signature, or the initialiser's name
    uint32_t offset = 0;   // code offset
    std::string text;
};

// What the machine must check when it runs a function, because the image could not settle it
// at load. A call's callee is only known when it runs: at each call the verifier records the
// result it went on, and the machine refuses a callee that would leave anything else. Where a
// call's result was left unknown the stack depth is not fixed by the code, so the machine
// compares the top at every place such code can be entered (jump, switch and handler targets,
// the instruction after a call or a wait) against the range the code from there can stand:
// no word below the frame record is read or written, none above the recorded maximum.
struct RunChecks {
    enum Result : uint8_t { kAnyResult, kNoResult, kPlainResult, kReferenceResult };
    struct Call {
        uint32_t offset;
        Result result;
        // Bit i: argument i + 1 (after the object) is a plain word, which a callee must not
        // take as a reference. Those of code whose kinds are not followed are not told.
        uint64_t plainArguments = 0;
        // Whether `plainPast64` names arguments of this call.
        bool plainPast64 = false;
    };
    // A plain argument past the 64th (numbered from 1 after the object): a call can pass as
    // many words as a stack holds.
    struct PlainArgument {
        uint32_t offset;
        uint32_t argument;
        bool operator<(const PlainArgument& o) const {
            return offset != o.offset ? offset < o.offset : argument < o.argument;
        }
        bool operator==(const PlainArgument& o) const = default;
    };
    // The top's distance in words above the frame record's last word, from `low` to `high`.
    struct Bound {
        uint32_t offset;
        int32_t low;
        int32_t high;
    };
    std::vector<Call> calls;                 // every call instruction a path reaches, by offset
    std::vector<PlainArgument> plainPast64;  // by offset and argument
    std::vector<Bound> bounds;               // by offset; empty when every depth is fixed
    // Every instruction start, for the link's pre-decoding, which needs them only once.
    std::vector<uint32_t> starts;
};

// `checks`, when given, receives one entry per function record, class by class, in the image's
// order.
bool VerifyImage(const GslImage& image, VerifyError& error,
                 std::vector<std::vector<RunChecks>>* checks = nullptr);

// Whether a signature ("$type@Class::name(...)") returns a value: anything but "void".
bool SignatureReturnsValue(std::string_view signature);

// The reference kinds a signature gives: the result's, and one per parameter after `this`.
// A type is plain when it is "void", "bool", "int" or "float"; every other one is a reference.
struct SignatureKinds {
    bool returnsReference = false;
    std::vector<bool> parameterIsReference;
};
SignatureKinds KindsOfSignature(std::string_view signature);
// Whether KindsOfSignature(signature) would give `returnsReference` and, parameter by
// parameter, whether `parameterIsReference[i]` is non-zero; nothing is allocated.
bool SignatureHasKinds(std::string_view signature, bool returnsReference,
                       std::span<const uint8_t> parameterIsReference);

}  // namespace GSBytecode
