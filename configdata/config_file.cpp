#include "configdata/config_file.h"

#include "configdata/acs_chunk.h"
#include "configdata/config_text.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "foundation/data_root.h"
#include "foundation/file_utils.h"
#include "foundation/logging.h"
#include "foundation/tfile.h"
#include "platform/kiv/base/file.h"

namespace {

constexpr std::string_view kTextFormat = "txt";

// Where the extension's dot is in the path's last component; npos when it has none.
size_t ExtensionDot(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::string_view::npos;
    return dot;
}

// The path to open: inside the location when one is named (empty when it refuses the path),
// else the path as given.
std::string ResolvePath(std::string_view location, std::string_view path) {
    if (location.empty()) return std::string(path);
    return std::string(ResolveInLocation(location, path).view());
}

// The line that tells of containers a text left open.
std::string UnclosedWarning(const std::string& path, const TagTextNotes& notes) {
    if (notes.unclosed == 1)
        return "\"" + path + "\" ends inside a container: the \"{\" on line " +
               std::to_string(notes.unclosedLine) + " is never closed";
    return "\"" + path + "\" ends inside " + std::to_string(notes.unclosed) +
           " containers: the first \"{\" never closed is on line " +
           std::to_string(notes.unclosedLine);
}

bool ReadResolved(const std::string& path, ConfigFileFormat form, TDBTagRef& out,
                  std::vector<std::string>* warnings = nullptr, std::string* whyNot = nullptr) {
    out.Reset();
    if (whyNot != nullptr) whyNot->clear();
    if (form == ConfigFileFormat::kUnknown || path.empty()) return false;
    TFile file;
    if (!file.Open(path, Kiv::File::kModeRead)) return false;
    TagTextNotes notes;
    bool ok = form == ConfigFileFormat::kText ? ParseTagTreeText(out, file, false, &notes)
                                              : ReadTagTreeBinary(file, out);
    // A text that stopped part-way is not handed out as if it were the file.
    if (!ok) {
        out.Reset();
        if (whyNot == nullptr) return false;
        if (notes.tooDeepLine != 0)
            *whyNot = "containers nest deeper than " + std::to_string(kMaxTagTreeDepth) +
                      " levels at line " + std::to_string(notes.tooDeepLine);
        else if (form == ConfigFileFormat::kBinary)
            *whyNot = "it is not a soup file this program reads";
        else
            *whyNot = "its text could not be read";
        return false;
    }
    if (notes.unclosed != 0) {
        std::string warning = UnclosedWarning(path, notes);
        LogOutputf("ReadConfigFile> %s", warning.c_str());
        if (warnings != nullptr) warnings->push_back(std::move(warning));
    }
    return true;
}

}  // namespace

ConfigFileFormat GetConfigFileFormat(std::string_view path, std::string_view format) {
    std::string_view name = format;
    if (name.empty()) {
        size_t dot = ExtensionDot(path);
        if (dot != std::string_view::npos) name = path.substr(dot + 1);
    } else if (name[0] == '.') {
        name.remove_prefix(1);
    }
    if (Kiv::EqualsIgnoreCase(name, kTextFormat)) return ConfigFileFormat::kText;
    for (std::string_view binary : {"chump", "cdp", "cdp2"})
        if (Kiv::EqualsIgnoreCase(name, binary)) return ConfigFileFormat::kBinary;
    return ConfigFileFormat::kUnknown;
}

bool WriteConfigFile(const TDBTagRef& tree, std::string_view location, std::string_view path,
                     std::string_view format) {
    ConfigFileFormat form = GetConfigFileFormat(path, format);
    if (form == ConfigFileFormat::kUnknown) return false;
    std::string target = ResolvePath(location, path);
    if (target.empty()) return false;
    return WriteFileReplacing(target, [&](TStream& stream) {
        return form == ConfigFileFormat::kText ? WriteTagTreeText(stream, tree)
                                               : WriteTagTreeBinary(tree, stream);
    });
}

bool ReadConfigFile(std::string_view location, std::string_view path, TDBTagRef& out,
                    std::string_view format, std::vector<std::string>* warnings,
                    std::string* whyNot) {
    return ReadResolved(ResolvePath(location, path), GetConfigFileFormat(path, format), out,
                        warnings, whyNot);
}

std::string ConfigTwinPath(std::string_view path) {
    size_t dot = ExtensionDot(path);
    if (dot == std::string_view::npos) return std::string(path) + ".tmp";
    return std::string(path.substr(0, dot + 1)) + "tmp";
}

bool ReadConfigFileWithFallback(std::string_view location, std::string_view path, TDBTagRef& out) {
    out.Reset();
    std::string main = ResolvePath(location, path);
    std::string twin = ResolvePath(location, ConfigTwinPath(path));
    if (main.empty() || twin.empty()) return false;
    if (Kiv::File::IsPresent(main) && ReadResolved(main, ConfigFileFormat::kText, out)) {
        if (Kiv::File::IsPresent(twin)) Kiv::File::Delete(twin);
        return true;
    }
    if (Kiv::File::IsPresent(twin) && ReadResolved(twin, ConfigFileFormat::kText, out)) {
        // What was read stands even when the rename fails; the twin is then recovered again
        // next time.
        if (!Kiv::File::Rename(twin, main))
            LogOutputf("ReadConfigFileWithFallback> unable to rename '%s' to '%s'", twin.c_str(),
                       main.c_str());
        return true;
    }
    out.Reset();
    return false;
}
