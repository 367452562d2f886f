// The null kernel's program language: the vertex and pixel programs a material registers are
// texts in this language, which the kernel checks when a program is asked for and can run on
// the CPU for one vertex or one pixel, so a program's results can be tested without a device.
//
// A text is lines; '\r' before a line end is ignored, and ';' starts a comment.
//
// Vertex texts begin "version 2.0". Each "entry <name> <layout> <feature>..." line names an
// entry point, its vertex layout (a word such as PNTA) and its feature switches. Then comes
// one body shared by every entry: "if <feature>" ... "endif" (nestable) keep lines for the
// entries that have the feature. Registers:
//   inputs   vPos vNormal vTangent vTex0         (read only)
//   matrices mvp0..mvp3 (model-view-projection rows), mv0..mv3 (model-view rows),
//            tm0..tm3 (texture matrix 1 rows)      (read only)
//   consts   c0..c31                               (read only)
//   temps    r0..r15
//   outputs  oPos oD0 oD1 oT0..oT3 oFog (the fog coordinate is oFog.x)
//
// Pixel texts begin "version 1.1", then a header of "const <n> <name> <x> <y> <z> <w>" lines
// (a named constant register with its default) and "texture <n> <role>" lines, then the
// instructions. Registers: t0..t3 (the stages' samples), v0 v1 (primary and secondary colour),
// c0..c7, r0..r7, and the result oC.
//
// Instructions: "<op>[_sat] <dest>[.mask], <source>, ...". A source is a register with an
// optional swizzle of one to four of xyzw (one letter is repeated; ".z" is ".zzzz") and an
// optional leading '-', or a number, which stands for all four components. "_sat" clamps the
// result to 0..1 before it is written. The mask names the components written (default all).
//   mov d, a           d = a
//   add d, a, b        d = a + b            sub d, a, b    d = a - b
//   mul d, a, b        d = a * b            mad d, a, b, c d = a * b + c
//   min d, a, b        max d, a, b          (per component)
//   lrp d, s, a, b     d = s * a + (1 - s) * b
//   dp3 d, a, b        every component = a.xyz . b.xyz
//   dp4 d, a, b        every component = a . b
//   xpd d, a, b        d.xyz = a.xyz x b.xyz, d.w = 1
//   rsq d, a           every component = 1 / sqrt(|a.x|)
//   rcp d, a           every component = 1 / a.x
//   sge d, a, b        per component: 1 when a >= b, else 0
// Temps, outputs and undeclared constants start at 0.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Kiv {

using Vec4 = std::array<float, 4>;
// Four rows.
using Matrix4 = std::array<Vec4, 4>;

struct VertexProgramInputs {
    Vec4 position{0, 0, 0, 1};
    Vec4 normal{};
    Vec4 tangent{};
    Vec4 texCoord0{};
    Matrix4 modelViewProjection{};
    Matrix4 modelView{};
    Matrix4 textureMatrix1{};
    std::array<Vec4, 32> constants{};
};

struct VertexProgramOutputs {
    Vec4 position{};
    Vec4 primary{};
    Vec4 secondary{};
    std::array<Vec4, 4> texCoords{};
    float fog = 0;
};

struct PixelProgramInputs {
    std::array<Vec4, 4> textures{};
    Vec4 primary{};
    Vec4 secondary{};
};

// A checked program text; shared, never changed once made.
class ProgramCode {
public:
    enum class Kind : uint8_t { Vertex, Pixel };
    struct Entry {
        std::string name;
        std::string layout;
        std::vector<std::string> features;
    };
    struct Constant {
        uint32_t index = 0;
        std::string name;
        Vec4 value{};
    };

    // The checked program, or null with a message naming the line in *error.
    static std::shared_ptr<const ProgramCode> Compile(std::string_view text, std::string* error);

    Kind GetKind() const { return kind_; }
    const std::vector<Entry>& GetEntries() const { return entries_; }
    const Entry* FindEntry(std::string_view name) const;
    const std::vector<Constant>& GetConstants() const { return constants_; }
    // The register of a named constant, or -1.
    int FindConstant(std::string_view name) const;

    // Runs a vertex text's body for one entry (its features switch the "if" sections).
    VertexProgramOutputs RunVertex(const Entry& entry, const VertexProgramInputs& in) const;
    // Runs a pixel text; `constants` holds c0..c7 (see DefaultConstants).
    Vec4 RunPixel(const PixelProgramInputs& in, const std::array<Vec4, 8>& constants) const;
    // c0..c7 with the header's defaults (0 elsewhere).
    std::array<Vec4, 8> DefaultConstants() const;

    struct Operand {
        uint16_t reg = 0;
        bool literal = false;
        bool negate = false;
        float value = 0;
        std::array<uint8_t, 4> swizzle{0, 1, 2, 3};
    };
    struct Instruction {
        uint8_t op = 0;
        bool saturate = false;
        uint16_t dest = 0;
        uint8_t mask = 0xF;
        std::array<Operand, 3> sources{};
        // Index in features_ of every enclosing "if"; the line runs when the entry has all.
        std::vector<uint16_t> conditions;
    };

private:
    void Run(std::vector<Vec4>& regs, const Entry* entry) const;

    Kind kind_ = Kind::Vertex;
    std::vector<Entry> entries_;
    std::vector<std::string> features_;  // every feature named by an "if"
    std::vector<Constant> constants_;
    std::vector<Instruction> code_;
};

}  // namespace Kiv
