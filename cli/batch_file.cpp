#include "cli/batch_file.h"

#include <vector>

#include "cli/batch_line.h"
#include "foundation/paths.h"
#include "platform/kiv/base/file.h"

namespace {

// Reads the rest of a line that did not fit, so that the next read starts on the next line.
void SkipRestOfLine(Kiv::File& file, bool more) {
    std::string rest;
    while (more && file.ReadLine(rest, kBatchLineBufferSize, &more)) {
    }
}

int RunLine(const std::vector<std::string>& tokens, const char* argv0,
            const BatchCommandRunner& run) {
    std::vector<std::string> args;
    args.reserve(tokens.size() + 1);
    args.emplace_back(argv0 ? argv0 : "");
    args.insert(args.end(), tokens.begin(), tokens.end());
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return run(static_cast<int>(args.size()), argv.data());
}

}  // namespace

Kiv::File::Path ResolveBatchFilePath(std::string_view name, std::string_view startFolder) {
    if (IsAbsolutePath(name) || startFolder.empty()) return Kiv::File::Path(name);
    return Kiv::File::Path(startFolder).AddPath(name);
}

int RunBatchFile(std::string_view name, std::string_view startFolder, const char* argv0,
                 const BatchCommandRunner& run, std::ostream& out, std::ostream& err) {
    Kiv::File::Path path = ResolveBatchFilePath(name, startFolder);
    if (!Kiv::File::IsPresent(path)) {
        err << "The file \"" << name << "\" does not exist, please specify a valid filename"
            << std::endl;
        return -1;
    }
    Kiv::File file;
    if (!Kiv::File::IsRegularFile(path) || !file.Open(path, Kiv::File::kModeRead)) {
        err << "The file \"" << name << "\" cannot be read, please specify a valid filename"
            << std::endl;
        return -1;
    }

    int exitCode = 0;
    size_t lineNumber = 0;
    std::string line;
    bool truncated = false;
    // One byte more than a line may hold, so that a line that just fits is told apart from one
    // that does not even when a carriage return ends it.
    while (file.ReadLine(line, kBatchLineMaxLength + 1, &truncated)) {
        ++lineNumber;
        if (truncated || line.size() > kBatchLineMaxLength) {
            SkipRestOfLine(file, truncated);
            err << "- Line " << lineNumber << " of \"" << name << "\" is longer than "
                << kBatchLineMaxLength << " bytes; it was not run." << std::endl;
            exitCode = -1;
            continue;
        }
        if (IsBlankBatchLine(line)) continue;
        std::vector<std::string> tokens = TokenizeBatchLine(line);
        if (tokens.empty()) {
            err << "- Line " << lineNumber << " of \"" << name
                << "\" holds no argument (a quote is not closed); it was not run." << std::endl;
            exitCode = -1;
            continue;
        }
        if (RunLine(tokens, argv0, run) != 0) exitCode = -1;
        out << std::endl;
    }
    return exitCode;
}
