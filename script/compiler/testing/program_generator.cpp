#include "script/compiler/testing/program_generator.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace GSCompiler {

namespace {

void Appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Appendf(std::string& out, const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n > 0) out.append(buf, static_cast<size_t>(n));
}

size_t CountLines(const std::string& text) {
    size_t n = 0;
    for (char c : text)
        n += c == '\n' ? 1 : 0;
    return n;
}

// One function of a class, VuruDadeda then Lua, 21 lines each. Step k calls Step k-1 (which is
// declared before it), Step 0 the class's Base.
void Function(GeneratedProgram& p, size_t cls, size_t k) {
    const int factor = static_cast<int>((cls * 7 + k) % 13 + 1);
    std::string callee = k == 0 ? "Base(i)" : "Step" + std::to_string(k - 1) + "(i, b)";
    Appendf(p.gs,
            "  int Step%zu(int a, float b) {\n"
            "    int i;\n"
            "    int total = a * %d;\n"
            "    string text = \"step %zu of Gen%zu\";\n"
            "    for (i = 0; i < a; i++) {\n"
            "      total = total + i * 3 - (a / 2);\n"
            "      if (total > 1000) {\n"
            "        total = total %% 97;\n"
            "      } else {\n"
            "        total = total + %s;\n"
            "      }\n"
            "    }\n"
            "    while (total > 0 and b < 10.5) {\n"
            "      total = total - 7;\n"
            "      b = b + 0.5;\n"
            "    }\n"
            "    text = text + \" \" + total;\n"
            "    label = text;\n"
            "    count = count + total;\n"
            "    return total;\n"
            "  }\n",
            k, factor, k, cls, callee.c_str());
    std::string luaCallee =
        k == 0 ? "self:Base(i)" : "self:Step" + std::to_string(k - 1) + "(i, b)";
    Appendf(p.lua,
            "function Gen%zu.Step%zu(self, a, b)\n"
            "  local i\n"
            "  local total = a * %d\n"
            "  local text = \"step %zu of Gen%zu\"\n"
            "  for i = 0, a - 1 do\n"
            "    total = total + i * 3 - (a // 2)\n"
            "    if total > 1000 then\n"
            "      total = total %% 97\n"
            "    else\n"
            "      total = total + %s\n"
            "    end\n"
            "  end\n"
            "  while total > 0 and b < 10.5 do\n"
            "    total = total - 7\n"
            "    b = b + 0.5\n"
            "  end\n"
            "  text = text .. \" \" .. total\n"
            "  self.label = text\n"
            "  self.count = self.count + total\n"
            "  return total\n"
            "end\n",
            cls, k, factor, k, cls, luaCallee.c_str());
}

}  // namespace

GeneratedProgram GenerateProgram(size_t lines, size_t functionsPerClass) {
    GeneratedProgram p;
    p.gs.reserve(lines * 32);
    p.lua.reserve(lines * 32);
    p.gs +=
        "// A generated program: classes of functions with loops, branches, calls and strings.\n"
        "class GenBase {\n"
        "  public int count;\n"
        "  public float rate;\n"
        "  public string label;\n"
        "};\n";
    p.lua +=
        "-- A generated program: classes of functions with loops, branches, calls and strings.\n"
        "GenBase = {}\n"
        "GenBase.__index = GenBase\n"
        "GenBase.count = 0\n"
        "GenBase.rate = 0.0\n"
        "GenBase.label = \"\"\n";
    const size_t perClass = 8 + 21 * functionsPerClass;
    const size_t classes = lines > perClass ? (lines - 6) / perClass : 1;
    for (size_t c = 0; c < classes; ++c) {
        Appendf(p.gs,
                "\n"
                "class Gen%zu isclass GenBase {\n"
                "  int[] values;\n"
                "  define int Limit = %zu;\n"
                "  int Base(int x) { return x + count + Limit; }\n",
                c, c % 1000);
        Appendf(p.lua,
                "\n"
                "Gen%zu = setmetatable({}, GenBase)\n"
                "Gen%zu.values = {}\n"
                "Gen%zu.Limit = %zu\n"
                "function Gen%zu.Base(self, x) return x + self.count + self.Limit end\n",
                c, c, c, c % 1000, c);
        for (size_t k = 0; k < functionsPerClass; ++k)
            Function(p, c, k);
        p.gs += "  void Reset() { count = 0; label = \"\"; }\n};\n";
        Appendf(p.lua, "function Gen%zu.Reset(self) self.count = 0; self.label = \"\" end\n--\n",
                c);
    }
    p.lines = CountLines(p.gs);
    return p;
}

}  // namespace GSCompiler
