#include "script/compiler/compiler_driver.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "foundation/crc32.h"
#include "foundation/file_utils.h"
#include "foundation/tstream.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/text.h"
#include "script/compiler/analysis.h"
#include "script/compiler/code_generator.h"
#include "script/compiler/gs_parse.h"
#include "script/compiler/gs_source_file.h"
#include "script/compiler/library_writer.h"

namespace GSCompiler {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = Kiv::AsciiLower(c);
    return out;
}

std::string Format(const char* format, std::string_view value) {
    std::string v(value);
    size_t size = std::snprintf(nullptr, 0, format, v.c_str());
    std::string out(size + 1, '\0');
    std::snprintf(out.data(), out.size(), format, v.c_str());
    out.resize(size);
    return out;
}

// The folder part of a path with its separator ("" for a bare name).
std::string FolderOf(std::string_view path) {
    size_t cut = path.find_last_of("\\/:");
    return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

// An existing file for `name` in `folder`, letter case resolved; a ".gs" name also finds its
// ".gse" twin. Empty when there is none.
std::string FindInFolder(const std::string& folder, std::string_view name) {
    Kiv::File::Path path = Kiv::File::Path::IsAbsolute(name) || folder.empty()
                               ? Kiv::File::Path(name)
                               : Kiv::File::Path(folder).AddPath(name);
    std::string found = Kiv::File::ResolveCase(path.view());
    if (Kiv::File::IsRegularFile(found)) return found;
    if (!path.IsExt("gs")) return {};
    path.SetExt("gse");
    found = Kiv::File::ResolveCase(path.view());
    return Kiv::File::IsRegularFile(found) ? found : std::string();
}

void Count(GSParseState& parse, MessageLog* log, const std::string& line) {
    ++parse.errors;
    if (log != nullptr) log->AddLine(line);
}

bool WriteImage(const std::string& path, const ByteBuffer& image) {
    return WriteFileReplacing(path, [&](TStream& s) {
        return s.Write(image.GetData(), image.GetSize()) == image.GetSize();
    });
}

}  // namespace

std::vector<std::string>& IncludeFolders() {
    static std::vector<std::string> folders;
    return folders;
}

std::map<std::string, std::string>& MemorySources() {
    static std::map<std::string, std::string> sources;
    return sources;
}

std::string StripToFileName(std::string_view text) {
    size_t cut = text.find_last_of("\\/:");
    return std::string(cut == std::string_view::npos ? text : text.substr(cut + 1));
}

CompileState::CompileState(MessageLog* messages) : log(messages) {
    Reset();
}

void CompileState::Reset() {
    classes.clear();
    symbols = std::make_unique<GSSymbolTable>();
    main.fileName.clear();
    main.nodes.Clear();
    main.root = nullptr;
    main.moduleIndex = 0;
    main.errors = main.warnings = 0;
    main.sourceCrc = main.nameCrc = 0;
    main.symbols = symbols.get();
    main.sink = log;
    nextModule = 0;
    moduleIds.clear();
    strings.Clear();
    includeDepth = 0;
}

bool LoadSource(CompileState& state, std::string_view moduleName, GSParseState& parse) {
    const std::string name(moduleName);
    std::string text;
    uint32_t sourceCrc = 0;
    auto memory = MemorySources().find(Lower(StripToFileName(name)));
    if (memory != MemorySources().end()) {
        text = memory->second;
        sourceCrc = Crc32(text.data(), text.size());
    } else {
        const std::vector<std::string>& folders = IncludeFolders();
        std::string found;
        for (const std::string& folder : folders) {
            found = FindInFolder(folder, name);
            if (!found.empty()) break;
        }
        if (found.empty() && folders.empty() && Kiv::File::Path::IsAbsolute(name))
            found = FindInFolder({}, name);
        GSSourceFile source;
        if (found.empty() || !source.Load("", found) || source.GetData() == nullptr) {
            std::string line = "Could not read file ";
            line += folders.empty() ? "" : folders.back();
            line += " : " + name + ".";
            Count(parse, state.log, line);
            return false;
        }
        text.assign(source.GetData(), source.GetTextLength());
        sourceCrc = source.SourceChecksum();
    }
    if (text.size() >= 3 && static_cast<uint8_t>(text[0]) == 0xEF &&
        static_cast<uint8_t>(text[1]) == 0xBB && static_cast<uint8_t>(text[2]) == 0xBF) {
        Count(parse, state.log,
              Format("'%s' appears to be UTF-8 encoded, please resave as ANSI.", name));
        return false;
    }
    if (ParseSource(parse, text.data(), text.size()) != ParseResult::kOk) return false;
    parse.sourceCrc = sourceCrc;
    parse.nameCrc = Crc32NoCase(StripToFileName(name).c_str());
    return true;
}

uint32_t CompileModule(CompileState& state, std::string_view moduleName, GSParseState& parse,
                       bool isMain) {
    const std::string name = Lower(moduleName);
    parse.fileName = name;
    parse.symbols = state.symbols.get();
    parse.sink = state.log;
    if (state.includeDepth > kMaxIncludeDepth) {
        Count(parse, state.log, Format("Includes nest too deep at '%s'.", name));
        return parse.errors;
    }
    if (!LoadSource(state, name, parse)) return parse.errors;

    GSSymbolTable& symbols = *state.symbols;
    const std::string key = StripToFileName(name);
    GSDependentSymbol* module = symbols.FindDependent(key);
    if (module == nullptr) {
        module = symbols.NewDependent(key);
        if (module != nullptr && !symbols.Insert(module, nullptr, false)) module = nullptr;
    }
    if (module == nullptr || module->hasScope) {
        if (state.log != nullptr) state.log->AddLine("Internal Compiler Error.");
        return 1;
    }
    module->hasScope = true;
    module->sourceCrc = parse.sourceCrc;
    module->nameCrc = parse.nameCrc;
    module->moduleIndex = state.nextModule++;
    parse.moduleIndex = module->moduleIndex;
    state.moduleIds.emplace_back(parse.sourceCrc, parse.nameCrc);

    uint32_t sum = 0;
    ++state.includeDepth;
    for (SyntaxNode* n = parse.root; n != nullptr; n = n->next) {
        if (n->category != Category::kDeclaration || n->kind != Decl::kInclude) continue;
        const std::string included = StripToFileName(
            n->child[0] != nullptr && n->child[0]->value.text != nullptr ? n->child[0]->value.text
                                                                         : "");
        if (symbols.FindDependent(included) != nullptr) continue;
        GSParseState fresh;
        uint32_t errors = CompileModule(state, included, fresh, false);
        if (errors != 0 && state.log != nullptr)
            state.log->AddLine(Format(".. while compiling '%s'", included));
        sum += errors;
    }
    --state.includeDepth;
    if (sum != 0) return sum;

    parse.errors = 0;
    if (parse.root == nullptr) return 0;
    Analyse(parse, !isMain);
    return parse.errors;
}

uint32_t Compile(CompileState& state, std::string_view sourceName) {
    std::string name(sourceName);
    // A scrambled source is compiled under its plain name; the loader finds the ".gse".
    if (name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".gse") name.pop_back();
    state.Reset();
    uint32_t errors = CompileModule(state, name, state.main, true);
    if (errors != 0) {
        if (state.log != nullptr) state.log->AddLine(Format(".. while compiling '%s'", sourceName));
        return errors;
    }
    if (!Generate(state)) {
        ++errors;
        if (state.log != nullptr) state.log->AddLine("\nInternal Code Generation Error...");
    }
    return errors;
}

int CompileFile(std::string_view sourcePath, const std::string* outputFolder,
                const std::vector<std::string>& includeFolders, MessageLog& log) {
    std::vector<std::string> folders;
    folders.reserve(includeFolders.size() + 1);
    folders.push_back(FolderOf(sourcePath));
    folders.insert(folders.end(), includeFolders.begin(), includeFolders.end());
    IncludeFolderScope scope(std::move(folders));

    const std::string module = StripToFileName(sourcePath);
    const std::string folder =
        outputFolder != nullptr ? FolderOf(*outputFolder) : FolderOf(sourcePath);
    std::string base = module;
    size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.resize(dot);

    auto state = std::make_unique<CompileState>(&log);
    uint32_t errors = Compile(*state, module);
    if (errors != 0) return static_cast<int>(errors);
    ByteBuffer image(1024);
    if (!WriteLibrary(*state, sourcePath, image)) {
        log.AddLine("Internal Compiler Error.\n");
        return 1;
    }
    if (!WriteImage(folder + base + ".gsl", image)) {
        log.AddLine("Unable to open output file.\n");
        return 1;
    }
    return 0;
}

int CompileForCache(const char* sourceName, const char* outputPath, MessageLog* log,
                    std::vector<uint8_t>* image) {
    if (sourceName == nullptr || *sourceName == '\0') return 0;
    MessageLog dropped;
    MessageLog& messages = log != nullptr ? *log : dropped;
    auto state = std::make_unique<CompileState>(&messages);
    uint32_t errors = Compile(*state, sourceName);
    if (errors != 0) return static_cast<int>(errors);
    ByteBuffer buffer(1024);
    if (!WriteLibrary(*state, sourceName, buffer)) {
        messages.AddLine(Format("Internal Compiler Error on '%s'.\n", sourceName));
        return 1;
    }
    if (image != nullptr) image->assign(buffer.GetData(), buffer.GetData() + buffer.GetSize());
    if (outputPath != nullptr && !WriteImage(outputPath, buffer)) {
        messages.AddLine(Format("Unable to open output file: '%s'.\n", outputPath));
        return 1;
    }
    return 0;
}

int CommandLineMain(int argc, char** argv) {
    MessageLog log;
    std::vector<std::string> includes;
    std::string input;
    std::string outputFolder;
    bool hasOutput = false;
    std::string buildLog;
    bool hasBuildLog = false;
    bool silent = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i] != nullptr ? argv[i] : "";
        if (arg[0] != '-') {
            input = arg;
            continue;
        }
        const char* value = arg[1] != '\0' ? arg + 2 : arg + 1;
        switch (arg[1]) {
            case 'd': {
                std::string_view manual = ManualText();
                std::fwrite(manual.data(), 1, manual.size(), stdout);
                std::fputc('\n', stdout);
                std::fflush(stdout);
                return 0;
            }
            case 's':
                silent = true;
                break;
            case 'b':
                buildLog = value;
                hasBuildLog = true;
                break;
            case 'p':
                outputFolder = value;
                hasOutput = true;
                break;
            case 'i':
                includes.emplace_back(value);
                break;
            default:
                break;  // "-o", "-c", "-t", "-l" and the rest change nothing
        }
    }
    int result = 1;
    if (input.empty()) {
        const std::string name = StripToFileName(argc > 0 && argv[0] != nullptr ? argv[0] : "");
        std::printf("ORVEL VuruDadeda Compiler V%4.2f\n\n", static_cast<double>(kCompilerVersion));
        std::printf("%s returns number of compile errors\n", name.c_str());
        std::printf("%s <option> <option>..\nwhere <option> is one of the following\n\n",
                    name.c_str());
        std::fputs(
            "<-d> print documentation, u might wanna pipe it to a text document =)\n"
            "<-s> silent\n"
            "<-bfilename> dump the build info (compile log) to file\n"
            "<-ppathname> output path\n"
            "<-ofilename> output library filename\n"
            "<filename> input source file\n"
            "<-ipathname> additional include path\n",
            stdout);
    } else {
        result = CompileFile(input, hasOutput ? &outputFolder : nullptr, includes, log);
    }
    FILE* file = hasBuildLog ? std::fopen(buildLog.c_str(), "a+") : nullptr;
    for (const std::string& line : log.Lines()) {
        if (file != nullptr) std::fprintf(file, "%s\n", line.c_str());
        if (!silent) std::printf("%s\n", line.c_str());
    }
    if (file != nullptr) std::fclose(file);
    std::fflush(stdout);
    return result;
}

}  // namespace GSCompiler
