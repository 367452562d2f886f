#include "script/vm/gs_str_math_natives.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kiv/base/text.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_stack.h"
#include "script/vm/gs_string_array.h"

namespace GSRuntime {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v";

// The string object in a parameter word; null when the word holds none.
GSString* StringAt(GSStack& stack, uint32_t slot) {
    const Ref r = stack.GetWord(slot);
    return r != 0 ? dynamic_cast<GSString*>(GetOwner(r)) : nullptr;
}

// The characters a trim or split works on: the second string's, or white space when it is
// null or empty.
std::string_view SetAt(GSStack& stack, uint32_t slot) {
    const GSString* set = StringAt(stack, slot);
    return set != nullptr && !set->text.empty() ? std::string_view(set->text) : kWhiteSpace;
}

void TrimLeft(GSContext*, GSStack& stack) {
    GSString* s = StringAt(stack, 1);
    if (s == nullptr) return;
    const size_t first = s->text.find_first_not_of(SetAt(stack, 2));
    s->text.erase(0, first == std::string::npos ? s->text.size() : first);
}

void TrimRight(GSContext*, GSStack& stack) {
    GSString* s = StringAt(stack, 1);
    if (s == nullptr) return;
    const size_t last = s->text.find_last_not_of(SetAt(stack, 2));
    s->text.resize(last == std::string::npos ? 0 : last + 1);
}

void ToInt(GSContext*, GSStack& stack) {
    if (const GSString* s = StringAt(stack, 1))
        stack.Push(static_cast<uint32_t>(std::atoi(s->text.c_str())));
}

void ToFloat(GSContext*, GSStack& stack) {
    if (const GSString* s = StringAt(stack, 1))
        stack.PushFloat(static_cast<float>(std::atof(s->text.c_str())));
}

void ToUpper(GSContext*, GSStack& stack) {
    if (GSString* s = StringAt(stack, 1)) {
        Kiv::AnsiString text(s->text);
        text.ToUpper();
        s->text = text.str();
    }
}

void ToLower(GSContext*, GSStack& stack) {
    if (GSString* s = StringAt(stack, 1)) {
        Kiv::AnsiString text(s->text);
        text.ToLower();
        s->text = text.str();
    }
}

void Tokens(GSContext* context, GSStack& stack) {
    const Ref array = GSArray::Make(context, 1);
    if (array == 0) {
        stack.Push(0);
        return;
    }
    if (const GSString* s = StringAt(stack, 1)) {
        const std::vector<Kiv::String> tokens = Kiv::AnsiString(s->text).Token(SetAt(stack, 2));
        GSArray* a = GSArray::From(array);
        if (a->Resize(static_cast<int32_t>(tokens.size())))
            for (size_t i = 0; i < tokens.size(); ++i)
                a->elements[i] = GSString::Make(tokens[i].view());
    }
    stack.Push(array);
}

// Takes the first white-space separated token off the string: the token, or false (nothing
// pushed) for a missing or empty string.
bool Unpack(GSStack& stack, std::string& token) {
    GSString* s = StringAt(stack, 1);
    if (s == nullptr || s->text.empty()) return false;
    size_t start = s->text.find_first_not_of(kWhiteSpace);
    if (start == std::string::npos) start = s->text.size();
    size_t end = s->text.find_first_of(kWhiteSpace, start);
    if (end == std::string::npos) end = s->text.size();
    token = s->text.substr(start, end - start);
    s->text.erase(0, end);
    return true;
}

void UnpackInt(GSContext*, GSStack& stack) {
    std::string token;
    if (Unpack(stack, token)) stack.Push(static_cast<uint32_t>(std::atoi(token.c_str())));
}

void UnpackFloat(GSContext*, GSStack& stack) {
    std::string token;
    if (Unpack(stack, token)) stack.PushFloat(static_cast<float>(std::atof(token.c_str())));
}

void UnpackString(GSContext*, GSStack& stack) {
    std::string token;
    if (Unpack(stack, token)) stack.PushString(token);
}

void Find(GSContext*, GSStack& stack) {
    const GSString* s = StringAt(stack, 1);
    const GSString* what = StringAt(stack, 2);
    const int32_t start = static_cast<int32_t>(stack.GetWord(3));
    int32_t at = -1;
    if (s != nullptr && what != nullptr && start >= 0 &&
        static_cast<size_t>(start) <= s->text.size()) {
        const size_t found = Kiv::AnsiString(s->text).Find(what->text, static_cast<size_t>(start));
        if (found != std::string::npos) at = static_cast<int32_t>(found);
    }
    stack.Push(static_cast<uint32_t>(at));
}

int32_t g_randomState = 1;

// (|next| mod 65535) scaled by the float whose bits are 0x37800080, a little above 1/65536, so
// the fraction stays below 1.
double RandomFraction() {
    static const float kScale = std::bit_cast<float>(0x37800080u);
    const int64_t n = std::llabs(static_cast<int64_t>(NextMathRandom())) % 65535;
    return static_cast<double>(n) * static_cast<double>(kScale);
}

void RandFloat(GSContext*, GSStack& stack) {
    const float a = stack.GetFloat(1);
    const float b = stack.GetFloat(2);
    stack.PushFloat(a + (b - a) * static_cast<float>(RandomFraction()));
}

// In 64 bits, so that bounds far apart neither overflow nor reach b.
void RandInt(GSContext*, GSStack& stack) {
    const int64_t a = static_cast<int32_t>(stack.GetWord(1));
    const int64_t b = static_cast<int32_t>(stack.GetWord(2));
    const auto offset = static_cast<int64_t>(RandomFraction() * static_cast<double>(b - a));
    stack.Push(static_cast<uint32_t>(static_cast<int32_t>(a + offset)));
}

void Sqrt(GSContext*, GSStack& stack) {
    stack.PushFloat(std::sqrt(stack.GetFloat(1)));
}

struct Row {
    const char* className;
    const char* signature;
    GSCNativeFunction::Function function;
};

void AddRows(GSNativeRegistry& registry, const Row* rows, size_t n) {
    for (size_t i = 0; i < n; ++i)
        registry.Add(std::make_unique<GSCNativeFunction>(rows[i].className, rows[i].signature,
                                                         rows[i].function));
}

}  // namespace

int32_t NextMathRandom() {
    constexpr int64_t kMultiplier = 31415821;
    const int64_t state = g_randomState;
    const int64_t p1 = state / 10000, p0 = state % 10000;
    const int64_t q1 = kMultiplier / 10000, q0 = kMultiplier % 10000;
    const int64_t product = (((p0 * q1 + p1 * q0) % 10000) * 10000 + p0 * q0) % 100000000;
    g_randomState = static_cast<int32_t>((product + 1) % 100000000);
    return g_randomState;
}

void SeedMathRandom(int32_t state) {
    g_randomState = state;
}

void RegisterStrNatives(GSNativeRegistry& registry) {
    static constexpr Row kRows[] = {
        {"Str", "$void@Str::TrimLeft(string,string)", &TrimLeft},
        {"Str", "$void@Str::TrimRight(string,string)", &TrimRight},
        {"Str", "$int@Str::ToInt(string)", &ToInt},
        {"Str", "$float@Str::ToFloat(string)", &ToFloat},
        {"Str", "$void@Str::ToUpper(string)", &ToUpper},
        {"Str", "$void@Str::ToLower(string)", &ToLower},
        {"Str", "$string[]@Str::Tokens(string,string)", &Tokens},
        {"Str", "$int@Str::UnpackInt(string)", &UnpackInt},
        {"Str", "$float@Str::UnpackFloat(string)", &UnpackFloat},
        {"Str", "$string@Str::UnpackString(string)", &UnpackString},
        {"Str", "$int@Str::Find(string,string,int)", &Find},
    };
    AddRows(registry, kRows, std::size(kRows));
}

void RegisterMathNatives(GSNativeRegistry& registry) {
    static constexpr Row kRows[] = {
        {"Math", "$float@Math::Rand(float,float)", &RandFloat},
        {"Math", "$int@Math::Rand(int,int)", &RandInt},
        {"Math", "$float@Math::Sqrt(float)", &Sqrt},
    };
    AddRows(registry, kRows, std::size(kRows));
    SeedMathRandom(static_cast<int32_t>(static_cast<uint32_t>(std::time(nullptr))));
}

}  // namespace GSRuntime
