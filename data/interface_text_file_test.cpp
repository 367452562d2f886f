// Checks of the shipped English interface texts (data/Data/InterfaceText.txt), read with a
// small reader of the configuration text form that knows just what the file uses: a root of
// quoted text tags, one per "$" key, and child containers whose contents are skipped.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct TextFile {
    std::vector<std::pair<std::string, std::string>> texts;  // key, text, in file order
    std::set<std::string> containers;
    std::vector<std::string> problems;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "$(NAME)" placeholders must close, and every "%" must start a printf conversion the
// message code can fill ("%s", "%d", "%g", "%.1f", "%%"): a stray one would take an argument
// nobody passes. The blank flag is refused, since "100% done" would read as "% d".
std::string CheckMarks(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '$' && i + 1 < text.size() && text[i + 1] == '(') {
            size_t j = i + 2;
            while (j < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_'))
                ++j;
            if (j == i + 2 || j >= text.size() || text[j] != ')')
                return "unbalanced placeholder at offset " + std::to_string(i);
            i = j;
        } else if (text[i] == '%') {
            size_t j = i + 1;
            while (j < text.size() && std::string_view("-+0#").find(text[j]) != text.npos)
                ++j;
            while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])))
                ++j;
            if (j < text.size() && text[j] == '.') {
                ++j;
                while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])))
                    ++j;
            }
            if (j >= text.size() || std::string_view("sdigfuxc%").find(text[j]) == text.npos)
                return "bad printf conversion at offset " + std::to_string(i);
            i = j;
        }
    }
    return {};
}

TextFile ReadTextFile(std::string_view data) {
    TextFile file;
    size_t line = 1;
    auto problem = [&](const std::string& what) {
        file.problems.push_back("line " + std::to_string(line) + ": " + what);
    };
    size_t pos = 0;
    if (data.substr(0, 3) == "\xEF\xBB\xBF") {
        pos = 3;
    } else {
        // Without the mark the reader takes bytes above 127 for the local code page.
        for (char c : data)
            if (static_cast<unsigned char>(c) >= 0x80) {
                problem("bytes above 127 without a UTF-8 byte-order mark");
                break;
            }
    }
    auto skipBlanks = [&] {
        while (pos < data.size() && IsBlank(data[pos]))
            if (data[pos++] == '\n') ++line;
    };

    std::set<std::string> seen;
    for (;;) {
        skipBlanks();
        if (pos >= data.size()) break;
        size_t start = pos;
        while (pos < data.size() && !IsBlank(data[pos]) && data[pos] != '{' && data[pos] != '}' &&
               data[pos] != '"')
            ++pos;
        std::string name(data.substr(start, pos - start));
        if (name.empty()) {
            problem(std::string("unexpected '") + data[pos] + "'");
            ++pos;
            continue;
        }
        while (pos < data.size() && (data[pos] == ' ' || data[pos] == '\t'))
            ++pos;
        size_t afterName = pos;
        size_t lineAfterName = line;
        skipBlanks();
        if (pos < data.size() && data[pos] == '{') {
            // A child container: its contents are skipped, braces inside quotes aside.
            int depth = 0;
            bool quoted = false;
            for (; pos < data.size(); ++pos) {
                char c = data[pos];
                if (c == '\n') ++line;
                if (c == '"') quoted = !quoted;
                if (quoted) continue;
                if (c == '{') ++depth;
                if (c == '}' && --depth == 0) break;
            }
            if (pos >= data.size()) problem("container '" + name + "' is not closed");
            ++pos;
            file.containers.insert(name);
            continue;
        }
        pos = afterName;
        line = lineAfterName;
        if (pos >= data.size() || data[pos] != '"') {
            problem("'" + name + "' has no quoted text");
            while (pos < data.size() && data[pos] != '\n')
                ++pos;
            continue;
        }
        size_t close = data.find('"', pos + 1);
        std::string text(data.substr(pos + 1, close == data.npos ? data.npos : close - pos - 1));
        pos = close == data.npos ? data.size() : close + 1;

        if (name[0] != '$' || name.size() < 2) problem("'" + name + "' is not a \"$\" key");
        for (char c : name)
            if (c >= 'A' && c <= 'Z') problem("'" + name + "' is not lower case");
        if (text.empty()) problem("'" + name + "' has an empty text");
        if (text.find_first_of("\r\n") != text.npos)
            problem("the text of '" + name + "' runs over a line end (quote not closed?)");
        if (text.starts_with("<kuid") || text.starts_with("<KUID") || text.starts_with("<NULL"))
            problem("the text of '" + name + "' would read as a KUID");
        if (std::string why = CheckMarks(text); !why.empty()) problem("'" + name + "': " + why);
        if (!seen.insert(name).second) problem("'" + name + "' appears twice");
        file.texts.emplace_back(name, text);
    }
    return file;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot open " << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The build gives the folders: data/Data in the sources and the install's staged Data.
const std::string kSourceFile = HALVEX_DATA_SOURCE_DIR "/InterfaceText.txt";
const std::string kStagedFile = HALVEX_DATA_STAGE_DIR "/InterfaceText.txt";

std::string Join(const std::vector<std::string>& lines) {
    std::ostringstream out;
    for (const std::string& l : lines)
        out << "\n  " << l;
    return out.str();
}

TEST(InterfaceTextFile, ShippedEnglishFileIsWellFormed) {
    std::string data = ReadWhole(kSourceFile);
    TextFile file = ReadTextFile(data);
    EXPECT_TRUE(file.problems.empty()) << Join(file.problems);
    EXPECT_GE(file.texts.size(), 100u);
    for (const char* child : {"orvel_map_text", "orvel_spec_text", "scenario_text"})
        EXPECT_TRUE(file.containers.count(child)) << "missing container " << child;
}

TEST(InterfaceTextFile, BuildStagesTheSameBytesIntoTheInstallDataFolder) {
    std::string source = ReadWhole(kSourceFile);
    std::string staged = ReadWhole(kStagedFile);
    EXPECT_FALSE(source.empty());
    EXPECT_TRUE(source == staged) << "the staged copy differs from data/Data/InterfaceText.txt";
}

// The reader above is the whole check, so it must see the faults it exists for.
TEST(InterfaceTextFile, CheckSeesEachFault) {
    struct Case {
        const char* what;
        std::string text;
        const char* problem;  // expected in the report; null for a clean file
    };
    const Case cases[] = {
        {"clean", "\xEF\xBB\xBF\r\n$a  \"Tag '%s' has %d of %.1f $(NAME)\"\r\n\r\nx\r\n{\r\n}\r\n",
         nullptr},
        {"brace on the next line", "$a \"t\"\nx\n{\n  $inner \"{\"\n}\n", nullptr},
        {"not a key", "name \"text\"\n", "is not a \"$\" key"},
        {"bare dollar", "$ \"text\"\n", "is not a \"$\" key"},
        {"capitals", "$Key \"text\"\n", "not lower case"},
        {"empty text", "$a \"\"\n", "empty text"},
        {"no text", "$a\n$b \"t\"\n", "no quoted text"},
        {"unquoted", "$a 12\n", "no quoted text"},
        {"twice", "$a \"one\"\n$a \"two\"\n", "appears twice"},
        {"open quote", "$a \"one\n$b \"two\"\n", "runs over a line end"},
        {"open placeholder", "$a \"see $(NAME here\"\n", "unbalanced placeholder"},
        {"empty placeholder", "$a \"see $()\"\n", "unbalanced placeholder"},
        {"stray percent", "$a \"100% done\"\n", "bad printf conversion"},
        {"percent at end", "$a \"done %\"\n", "bad printf conversion"},
        {"kuid text", "$a \"<kuid:1:2>\"\n", "read as a KUID"},
        {"open container", "$a \"t\"\nx\n{\n", "not closed"},
        {"stray brace", "}\n$a \"t\"\n", "unexpected '}'"},
        {"high bytes without mark", "$a \"caf\xE9\"\n", "byte-order mark"},
    };
    for (const Case& c : cases) {
        TextFile file = ReadTextFile(c.text);
        if (c.problem == nullptr) {
            EXPECT_TRUE(file.problems.empty()) << c.what << Join(file.problems);
            continue;
        }
        bool found = false;
        for (const std::string& p : file.problems)
            found = found || p.find(c.problem) != std::string::npos;
        EXPECT_TRUE(found) << c.what << ": expected \"" << c.problem << "\", got"
                           << Join(file.problems);
    }
}

}  // namespace
