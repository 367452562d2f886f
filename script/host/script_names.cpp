#include "script/host/script_names.h"

#include "platform/kiv/base/path.h"

bool IsSafeScriptName(std::string_view name) {
    return name.find_first_of(std::string_view("\"'\r\n/\\\0", 8)) == std::string_view::npos;
}

std::string PrimaryScriptFile(std::string_view script) {
    Kiv::File::Path path{std::string(script)};
    path.SetExt("gs");
    return path.str();
}
