// The compiled library image (".gsl"): constants shared by the compiler's writer, the image
// reader, the verifier and the script machine's loader.
//
// All integers are 32-bit little-endian. Layout:
//   header: u32 total size (the whole image), u32 magic, f32 version 1.02, u32 source checksum,
//           u32 name checksum (the library id), u32 name length + 1, the lower-cased source name
//           with its NUL, no padding;
//   then five sections, each {u32 size (this word included), u32 tag, content}:
//   2 library table: u32 count, count x {u32 source checksum, u32 name checksum} by module index
//     (0 is the library itself);
//   3 string table: u32 count, count x u32 offset (from the first byte after the offsets), the
//     NUL-terminated strings, zero bytes up to a multiple of 4 of the image offset;
//   4 class table: u32 count, count x {u32 module index, u32 name string};
//   5 function table: u32 count, count x {u32 class index, u32 signature string, i32 method slot};
//   6 class code: u32 count, one class record (7) per class defined by the library:
//     u32 name string, u32 flags (kClassFlagMask), u32 n, n x {u32 base class, u32 w1, u32 w3},
//     then the sections 8 (method list), 10 (members), 11 (method table), 12 (initialiser).
//   8 method list: u32 count, count function records (9), the last the member initialiser.
//   9 function record: u32 signature string, u32 return type, i32 return class (-1 none), u32
//     flags (kFunctionFlagMask), i32 method slot, seven frame words (see FrameWords), u32 r,
//     r x i32 reference slot, u32 code size, the code, 0xFF bytes up to a multiple of 4, then
//     for ordinary functions the line table: kLineTableMarker, u32 L, L x {u32 offset, u32 line}.
//     The member initialiser has no line table.
//   10 members: u32 count, count x {u32 name string, u32 type, i32 class (-1 none), u32 flags
//     (public), i32 slot}.
//   11 method table: size = 12 + 8 x count, u32 count, count x {u32 function index (row of the
//     function table), u32 base offset}.
//   12 initialiser: u32 member words (own + inherited members + 3), u32 2n + 1 for n bases,
//     n x {0, w1, -w1, 1, w1 + 1, w2}, u32 1, u32 1, u32 0, then the second table: u32 count and
//     the member slots of the class's own reference-typed member variables, in member order
//     (the class-level counterpart of a function's reference-slot table: what the machine
//     releases when an object goes).
#pragma once

#include <cstdint>

namespace GSBytecode {

inline constexpr uint32_t kGslMagic = 0xF762575D;
inline constexpr uint32_t kGslVersionBits = 0x3F828F5C;  // 1.02f
inline constexpr float kGslVersion = 1.02f;
inline constexpr uint32_t kLineTableMarker = 0x6462676C;  // "lgbd" in file order

enum SectionTag : uint32_t {
    kTagLibraryTable = 2,
    kTagStringTable = 3,
    kTagClassTable = 4,
    kTagFunctionTable = 5,
    kTagClassCode = 6,
    kTagClassRecord = 7,
    kTagMethodList = 8,
    kTagFunctionRecord = 9,
    kTagMembers = 10,
    kTagMethodTable = 11,
    kTagClassInitialiser = 12,
};

// Class flags kept in a class record.
enum ClassFlag : uint32_t {
    kClassStatic = 0x4,
    kClassFinal = 0x8,
    kClassGame = 0x40,
    kClassSecured = 0x100,
};
inline constexpr uint32_t kClassFlagMask = 0x14C;

// Function flags kept in a function record. Natives are told by the bit: a public native
// carries 3.
enum FunctionFlag : uint32_t {
    kFunctionPublic = 0x1,
    kFunctionNative = 0x2,
    kFunctionFinal = 0x8,
    kFunctionThread = 0x10,
    kFunctionConstructor = 0x20,
};
inline constexpr uint32_t kFunctionFlagMask = 0x3B;
inline constexpr uint32_t kMemberFlagMask = 0x1;

// "None" in the signed class-index and slot fields.
inline constexpr int32_t kNoIndex = -1;

// The seven frame words of a function record, from P parameter slots (the running object's
// included), A local slots, B temporary slots and D the deepest operand stack.
struct FrameWords {
    uint32_t word[7];
    static FrameWords Of(uint32_t p, uint32_t a, uint32_t b, uint32_t d) {
        return {{a + b + 4, 1 - p, a + b + 1, d + a + b + 4, p, a, b}};
    }
    uint32_t Parameters() const { return word[4]; }
    uint32_t Locals() const { return word[5]; }
    uint32_t Temporaries() const { return word[6]; }
    // D, from the fourth word.
    uint32_t MaxDepth() const { return word[3] - word[5] - word[6] - 4; }
    bool IsConsistent() const { return *this == Of(word[4], word[5], word[6], MaxDepth()); }
    bool operator==(const FrameWords&) const = default;
};

}  // namespace GSBytecode
