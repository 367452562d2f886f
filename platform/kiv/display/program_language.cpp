#include "platform/kiv/display/program_language.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <span>

#include "platform/kiv/base/text.h"

namespace Kiv {

namespace {

enum Op : uint8_t { Mov, Add, Sub, Mul, Mad, Min, Max, Lrp, Dp3, Dp4, Xpd, Rsq, Rcp, Sge };

struct OpInfo {
    const char* name;
    Op op;
    int sources;
};

constexpr OpInfo kOps[] = {
    {"mov", Mov, 1}, {"add", Add, 2}, {"sub", Sub, 2}, {"mul", Mul, 2}, {"mad", Mad, 3},
    {"min", Min, 2}, {"max", Max, 2}, {"lrp", Lrp, 3}, {"dp3", Dp3, 2}, {"dp4", Dp4, 2},
    {"xpd", Xpd, 2}, {"rsq", Rsq, 1}, {"rcp", Rcp, 1}, {"sge", Sge, 2},
};

// A register bank: one name ("vPos", count 1) or a name and an index below count ("r", 16).
struct Bank {
    const char* name;
    uint16_t base;
    uint16_t count;
    bool writable;
};

constexpr Bank kVertexBanks[] = {
    {"vPos", 0, 1, false},  {"vNormal", 1, 1, false}, {"vTangent", 2, 1, false},
    {"vTex0", 3, 1, false}, {"mvp", 4, 4, false},     {"mv", 8, 4, false},
    {"tm", 12, 4, false},   {"c", 16, 32, false},     {"r", 48, 16, true},
    {"oPos", 64, 1, true},  {"oD", 65, 2, true},      {"oT", 67, 4, true},
    {"oFog", 71, 1, true},
};
constexpr uint16_t kVertexRegisters = 72;
constexpr uint16_t kVertexConstants = 16;

constexpr Bank kPixelBanks[] = {
    {"t", 0, 4, false}, {"v", 4, 2, false},  {"c", 6, 8, false},
    {"r", 14, 8, true}, {"oC", 22, 1, true},
};
constexpr uint16_t kPixelRegisters = 23;
constexpr uint16_t kPixelConstants = 6;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool ParseFloat(std::string_view s, float* out) {
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
    return ec == std::errc() && end == s.data() + s.size() && std::isfinite(*out);
}

bool ParseIndex(std::string_view s, uint32_t* out) {
    if (s.empty() || s.size() > 3) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
    return ec == std::errc() && end == s.data() + s.size();
}

// The register named, or false.
bool FindRegister(std::span<const Bank> banks, std::string_view name, uint16_t* reg,
                  bool* writable) {
    for (const Bank& b : banks) {
        std::string_view bank(b.name);
        if (b.count == 1) {
            if (name != bank) continue;
            *reg = b.base;
        } else {
            uint32_t index = 0;
            if (!name.starts_with(bank) || !ParseIndex(name.substr(bank.size()), &index) ||
                index >= b.count)
                continue;
            *reg = static_cast<uint16_t>(b.base + index);
        }
        *writable = b.writable;
        return true;
    }
    return false;
}

int Component(char c) {
    switch (c) {
        case 'x':
            return 0;
        case 'y':
            return 1;
        case 'z':
            return 2;
        case 'w':
            return 3;
        default:
            return -1;
    }
}

Vec4 Read(const std::vector<Vec4>& regs, const ProgramCode::Operand& o) {
    Vec4 v;
    if (o.literal) {
        v = {o.value, o.value, o.value, o.value};
    } else {
        const Vec4& r = regs[o.reg];
        for (int i = 0; i < 4; ++i)
            v[i] = r[o.swizzle[i]];
    }
    if (o.negate)
        for (float& f : v)
            f = -f;
    return v;
}

float Dot3(const Vec4& a, const Vec4& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

}  // namespace

std::shared_ptr<const ProgramCode> ProgramCode::Compile(std::string_view text, std::string* error) {
    auto code = std::make_shared<ProgramCode>();
    std::vector<uint16_t> open;  // the enclosing "if"s
    bool versionSeen = false;
    bool bodyStarted = false;
    int lineNumber = 0;
    auto fail = [&](const std::string& what) {
        *error = "line " + std::to_string(lineNumber) + ": " + what;
        return nullptr;
    };
    while (!text.empty()) {
        ++lineNumber;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = Trim(line.substr(0, line.find(';')));
        if (line.empty()) continue;
        std::vector<std::string_view> words = SplitWords(line);
        if (!versionSeen) {
            if (words.size() != 2 || words[0] != "version")
                return fail("the text must begin with its version");
            if (words[1] == "2.0")
                code->kind_ = Kind::Vertex;
            else if (words[1] == "1.1")
                code->kind_ = Kind::Pixel;
            else
                return fail("unknown version '" + std::string(words[1]) + "'");
            versionSeen = true;
            continue;
        }
        const bool vertex = code->kind_ == Kind::Vertex;
        if (words[0] == "entry" && vertex) {
            if (bodyStarted) return fail("an entry after the body");
            if (words.size() < 3) return fail("an entry needs a name and a vertex layout");
            Entry e{std::string(words[1]), std::string(words[2]), {}};
            for (size_t i = 3; i < words.size(); ++i)
                e.features.emplace_back(words[i]);
            if (code->FindEntry(e.name) != nullptr) return fail("entry '" + e.name + "' twice");
            code->entries_.push_back(std::move(e));
            continue;
        }
        if ((words[0] == "const" || words[0] == "texture") && !vertex) {
            if (bodyStarted) return fail("a header line after the instructions");
            uint32_t index = 0;
            if (words[0] == "texture") {
                if (words.size() != 3 || !ParseIndex(words[1], &index) || index >= 4)
                    return fail("a texture line is 'texture <0-3> <role>'");
                continue;
            }
            Constant c;
            if (words.size() != 7 || !ParseIndex(words[1], &c.index) || c.index >= 8)
                return fail("a constant line is 'const <0-7> <name> <x> <y> <z> <w>'");
            c.name = std::string(words[2]);
            for (int i = 0; i < 4; ++i)
                if (!ParseFloat(words[3 + i], &c.value[i])) return fail("a constant's value");
            if (code->FindConstant(c.name) >= 0) return fail("constant '" + c.name + "' twice");
            code->constants_.push_back(std::move(c));
            continue;
        }
        bodyStarted = true;
        if (words[0] == "if" && vertex) {
            if (words.size() != 2) return fail("'if' takes one feature");
            auto it = std::find(code->features_.begin(), code->features_.end(), words[1]);
            if (it == code->features_.end()) it = code->features_.insert(it, std::string(words[1]));
            open.push_back(static_cast<uint16_t>(it - code->features_.begin()));
            continue;
        }
        if (words[0] == "endif" && vertex) {
            if (words.size() != 1 || open.empty()) return fail("'endif' without 'if'");
            open.pop_back();
            continue;
        }

        // An instruction.
        std::string_view opWord = words[0];
        Instruction ins;
        if (opWord.ends_with("_sat")) {
            ins.saturate = true;
            opWord.remove_suffix(4);
        }
        const OpInfo* info = nullptr;
        for (const OpInfo& o : kOps)
            if (opWord == o.name) info = &o;
        if (info == nullptr) return fail("unknown instruction '" + std::string(words[0]) + "'");
        ins.op = info->op;
        std::vector<std::string_view> operands;
        std::string_view rest = Trim(line.substr(words[0].size()));
        while (true) {
            size_t comma = rest.find(',');
            operands.push_back(Trim(rest.substr(0, comma)));
            if (comma == std::string_view::npos) break;
            rest = rest.substr(comma + 1);
        }
        if (operands.size() != static_cast<size_t>(info->sources) + 1)
            return fail("'" + std::string(opWord) + "' takes " + std::to_string(info->sources + 1) +
                        " operands");
        const std::span<const Bank> banks =
            vertex ? std::span<const Bank>(kVertexBanks) : std::span<const Bank>(kPixelBanks);
        // Destination with its mask.
        {
            std::string_view d = operands[0];
            size_t dot = d.find('.');
            bool writable = false;
            if (!FindRegister(banks, d.substr(0, dot), &ins.dest, &writable))
                return fail("unknown register '" + std::string(d) + "'");
            if (!writable) return fail("'" + std::string(d) + "' cannot be written");
            if (dot != std::string_view::npos) {
                std::string_view m = d.substr(dot + 1);
                ins.mask = 0;
                int last = -1;
                for (char c : m) {
                    int comp = Component(c);
                    if (comp <= last) return fail("a write mask names xyzw in order");
                    ins.mask |= static_cast<uint8_t>(1u << comp);
                    last = comp;
                }
                if (ins.mask == 0) return fail("an empty write mask");
            }
        }
        for (int i = 0; i < info->sources; ++i) {
            std::string_view s = operands[1 + i];
            Operand& o = ins.sources[i];
            if (!s.empty() && s.front() == '-') {
                o.negate = true;
                s.remove_prefix(1);
            }
            if (ParseFloat(s, &o.value)) {
                o.literal = true;
                continue;
            }
            size_t dot = s.find('.');
            bool writable = false;
            if (!FindRegister(banks, s.substr(0, dot), &o.reg, &writable))
                return fail("unknown register or number '" + std::string(operands[1 + i]) + "'");
            if (dot != std::string_view::npos) {
                std::string_view sw = s.substr(dot + 1);
                if (sw.empty() || sw.size() > 4) return fail("a swizzle of one to four letters");
                for (size_t k = 0; k < 4; ++k) {
                    int comp = Component(sw[std::min(k, sw.size() - 1)]);
                    if (comp < 0) return fail("a swizzle names only x, y, z and w");
                    o.swizzle[k] = static_cast<uint8_t>(comp);
                }
            }
        }
        ins.conditions = open;
        code->code_.push_back(std::move(ins));
    }
    if (!versionSeen) return fail("an empty text");
    if (!open.empty()) return fail("an 'if' without 'endif'");
    if (code->kind_ == Kind::Vertex && code->entries_.empty()) return fail("no entry");
    return code;
}

const ProgramCode::Entry* ProgramCode::FindEntry(std::string_view name) const {
    for (const Entry& e : entries_)
        if (e.name == name) return &e;
    return nullptr;
}

int ProgramCode::FindConstant(std::string_view name) const {
    for (const Constant& c : constants_)
        if (c.name == name) return static_cast<int>(c.index);
    return -1;
}

std::array<Vec4, 8> ProgramCode::DefaultConstants() const {
    std::array<Vec4, 8> out{};
    for (const Constant& c : constants_)
        out[c.index] = c.value;
    return out;
}

void ProgramCode::Run(std::vector<Vec4>& regs, const Entry* entry) const {
    std::vector<bool> on(features_.size(), false);
    if (entry != nullptr)
        for (size_t i = 0; i < features_.size(); ++i)
            on[i] = std::find(entry->features.begin(), entry->features.end(), features_[i]) !=
                    entry->features.end();
    for (const Instruction& ins : code_) {
        bool run = true;
        for (uint16_t c : ins.conditions)
            run = run && on[c];
        if (!run) continue;
        const Vec4 a = Read(regs, ins.sources[0]);
        const Vec4 b = Read(regs, ins.sources[1]);
        const Vec4 c = Read(regs, ins.sources[2]);
        Vec4 r{};
        for (int i = 0; i < 4; ++i) {
            switch (ins.op) {
                case Mov:
                    r[i] = a[i];
                    break;
                case Add:
                    r[i] = a[i] + b[i];
                    break;
                case Sub:
                    r[i] = a[i] - b[i];
                    break;
                case Mul:
                    r[i] = a[i] * b[i];
                    break;
                case Mad:
                    r[i] = a[i] * b[i] + c[i];
                    break;
                case Min:
                    r[i] = std::min(a[i], b[i]);
                    break;
                case Max:
                    r[i] = std::max(a[i], b[i]);
                    break;
                case Lrp:
                    r[i] = a[i] * b[i] + (1 - a[i]) * c[i];
                    break;
                case Dp3:
                    r[i] = Dot3(a, b);
                    break;
                case Dp4:
                    r[i] = Dot3(a, b) + a[3] * b[3];
                    break;
                case Xpd: {
                    const Vec4 x{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                 a[0] * b[1] - a[1] * b[0], 1};
                    r[i] = x[i];
                    break;
                }
                case Rsq:
                    r[i] = 1 / std::sqrt(std::fabs(a[0]));
                    break;
                case Rcp:
                    r[i] = 1 / a[0];
                    break;
                case Sge:
                    r[i] = a[i] >= b[i] ? 1.0f : 0.0f;
                    break;
            }
            if (ins.saturate) r[i] = std::clamp(r[i], 0.0f, 1.0f);
        }
        Vec4& d = regs[ins.dest];
        for (int i = 0; i < 4; ++i)
            if ((ins.mask & (1u << i)) != 0) d[i] = r[i];
    }
}

VertexProgramOutputs ProgramCode::RunVertex(const Entry& entry,
                                            const VertexProgramInputs& in) const {
    std::vector<Vec4> regs(kVertexRegisters, Vec4{});
    regs[0] = in.position;
    regs[1] = in.normal;
    regs[2] = in.tangent;
    regs[3] = in.texCoord0;
    for (int i = 0; i < 4; ++i) {
        regs[4 + i] = in.modelViewProjection[i];
        regs[8 + i] = in.modelView[i];
        regs[12 + i] = in.textureMatrix1[i];
    }
    std::copy(in.constants.begin(), in.constants.end(), regs.begin() + kVertexConstants);
    Run(regs, &entry);
    VertexProgramOutputs out;
    out.position = regs[64];
    out.primary = regs[65];
    out.secondary = regs[66];
    for (int i = 0; i < 4; ++i)
        out.texCoords[i] = regs[67 + i];
    out.fog = regs[71][0];
    return out;
}

Vec4 ProgramCode::RunPixel(const PixelProgramInputs& in,
                           const std::array<Vec4, 8>& constants) const {
    std::vector<Vec4> regs(kPixelRegisters, Vec4{});
    for (int i = 0; i < 4; ++i)
        regs[i] = in.textures[i];
    regs[4] = in.primary;
    regs[5] = in.secondary;
    std::copy(constants.begin(), constants.end(), regs.begin() + kPixelConstants);
    Run(regs, nullptr);
    return regs[22];
}

}  // namespace Kiv
