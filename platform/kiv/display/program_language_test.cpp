#include "platform/kiv/display/program_language.h"

#include <gtest/gtest.h>

#include "platform/kiv/display/display.h"
#include "platform/kiv/display/program_managers.h"

namespace {

using Kiv::ProgramCode;
using Kiv::Vec4;

TEST(ProgramLanguage, RefusesFaultyTextsNamingTheLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "line 0: an empty text"},
        {"mov oC, t0\n", "line 1: the text must begin with its version"},
        {"version 3.0\n", "line 1: unknown version '3.0'"},
        {"version 1.1\nfoo r0, t0\n", "line 2: unknown instruction 'foo'"},
        {"version 1.1\nmov t0, r0\n", "line 2: 't0' cannot be written"},
        {"version 1.1\nmov r9, t0\n", "line 2: unknown register 'r9'"},
        {"version 1.1\nmov r0, t0, t1\n", "line 2: 'mov' takes 2 operands"},
        {"version 1.1\nmov r0.yx, t0\n", "line 2: a write mask names xyzw in order"},
        {"version 1.1\nmov r0, t0.q\n", "line 2: a swizzle names only x, y, z and w"},
        {"version 1.1\nmov r0, t0\nconst 0 A 1 1 1 1\n",
         "line 3: a header line after the instructions"},
        {"version 1.1\nconst 9 A 1 1 1 1\n",
         "line 2: a constant line is 'const <0-7> <name> <x> <y> <z> <w>'"},
        {"version 1.1\nconst 0 A 1 1 nan 1\n", "line 2: a constant's value"},
        {"version 2.0\nmov oPos, vPos\n", "line 2: no entry"},
        {"version 2.0\nentry E PNTA\nif A\nmov oPos, vPos\n", "line 4: an 'if' without 'endif'"},
        {"version 2.0\nentry E PNTA\nendif\n", "line 3: 'endif' without 'if'"},
        {"version 2.0\nentry E PNTA\nentry E PNTA\n", "line 3: entry 'E' twice"},
        {"version 2.0\nentry E PNTA\nmov oPos, vPos\nentry F PNTA\n",
         "line 4: an entry after the body"},
        {"version 2.0\nentry E PNTA\nmov oC, vPos\n", "line 3: unknown register 'oC'"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(ProgramCode::Compile(c.text, &error), nullptr) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(ProgramLanguage, RunsSwizzlesMasksSaturationAndFeatureSections) {
    std::string error;
    auto code = ProgramCode::Compile(
        "version 2.0\r\n"
        "entry Plain PNTA\r\n"
        "entry Lit PNTA Light   ; a comment\r\n"
        "entry Both PNTA Light Fog\r\n"
        "mov oD0, vNormal.yx\r\n"  // .yx repeats its last letter: y x x x
        "mul_sat oD1.xz, -vNormal, 2\r\n"
        "if Light\r\n"
        "add oT0, c4, 1\r\n"
        "if Fog\r\n"
        "mov oFog.x, c4.w\r\n"
        "endif\r\n"
        "endif\r\n",
        &error);
    ASSERT_NE(code, nullptr) << error;
    Kiv::VertexProgramInputs in;
    in.normal = {-0.5f, 0.25f, 0.75f, 2};
    in.constants[4] = {1, 2, 3, 4};
    const Kiv::VertexProgramOutputs plain = code->RunVertex(*code->FindEntry("Plain"), in);
    EXPECT_EQ(plain.primary, (Vec4{0.25f, -0.5f, -0.5f, -0.5f}));
    EXPECT_EQ(plain.secondary, (Vec4{1, 0, 0, 0}));  // only x and z written, both clamped
    EXPECT_EQ(plain.texCoords[0], (Vec4{}));
    const Kiv::VertexProgramOutputs lit = code->RunVertex(*code->FindEntry("Lit"), in);
    EXPECT_EQ(lit.texCoords[0], (Vec4{2, 3, 4, 5}));
    EXPECT_EQ(lit.fog, 0);
    EXPECT_EQ(code->RunVertex(*code->FindEntry("Both"), in).fog, 4);
}

TEST(ProgramManagers, HandOutOneCountedHandlePerRequestAndReportFailures) {
    Kiv::VertexProgramManager::RegisterBuiltInPrograms(
        "Test_Vtx", "version 2.0\nentry A PNTA\nmov oPos, vPos\n");
    Kiv::VertexProgramManager::RegisterBuiltInPrograms("Test_Vtx", "not a program");  // kept
    Kiv::TextureCombinerManager::RegisterBuiltInPrograms(
        "Test_Pix", "version 1.1\nconst 1 Tint 0.5 0.5 0.5 1\nmul oC, t0, c1\n");
    Kiv::TextureCombinerManager::RegisterBuiltInPrograms("Test_Broken", "version 1.1\nfoo\n");
    Kiv::Display display;
    std::string error;
    Kiv::VertexProgram* a =
        display.GetVertexProgramManager().GetProgram("Test_Vtx", "A", 99, &error);
    ASSERT_NE(a, nullptr) << error;
    Kiv::VertexProgram* again =
        display.GetVertexProgramManager().GetProgram("Test_Vtx", "A", 99, &error);
    EXPECT_EQ(again, a);
    EXPECT_EQ(a->GetReferenceCount(), 3u);  // the manager's and two requests'
    EXPECT_NE(a->GetId(), 0u);
    again->ReleaseReference();
    a->ReleaseReference();

    EXPECT_EQ(display.GetVertexProgramManager().GetProgram("Test_Vtx", "B", 99, &error), nullptr);
    EXPECT_EQ(error, "The program 'Test_Vtx' has no entry 'B'.");
    EXPECT_EQ(display.GetVertexProgramManager().GetProgram("Test_Pix", "A", 99, &error), nullptr);
    EXPECT_EQ(error, "No program 'Test_Pix' is registered.");
    EXPECT_EQ(display.GetTextureCombinerManager().GetProgram("Test_Broken", &error), nullptr);
    EXPECT_EQ(error, "The program 'Test_Broken': line 2: unknown instruction 'foo'");

    Kiv::TextureCombiner* tint = display.GetTextureCombinerManager().GetProgram("Test_Pix", &error);
    ASSERT_NE(tint, nullptr) << error;
    Kiv::PixelProgramInputs in;
    in.textures[0] = {1, 0.5f, 0.25f, 1};
    EXPECT_EQ(tint->Evaluate(in), (Vec4{0.5f, 0.25f, 0.125f, 1}));
    EXPECT_EQ(tint->Evaluate(in, {{"Tint", {2, 2, 2, 2}}}), (Vec4{2, 1, 0.5f, 2}));
    tint->ReleaseReference();

    Kiv::ProgramManagerBase::FailNextRequestsForTesting(1);  // the next one
    EXPECT_EQ(display.GetTextureCombinerManager().GetProgram("Test_Pix2", &error), nullptr);
    EXPECT_EQ(error, "The program 'Test_Pix2' could not be made.");
    EXPECT_EQ(display.GetTextureCombinerManager().GetRequestCount(), 3u);
}

}  // namespace
