// A loaded and linked library: its id pair, names and classes. The loader (GSMachine) builds
// it from a ".gsl" image and owns it until the machine goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "script/vm/gs_class.h"

namespace GSRuntime {

// A string of a library's table: a view of the library's image, where a NUL follows it, so
// loading a library copies none of its strings.
class GSLibraryString {
public:
    GSLibraryString() = default;
    // `text` is NUL-terminated and outlives this string: a literal, or a string of the image.
    GSLibraryString(const char* text) : text_(text) {}
    GSLibraryString(std::string_view nulTerminated) : text_(nulTerminated) {}

    const char* c_str() const { return text_.data() != nullptr ? text_.data() : ""; }
    size_t size() const { return text_.size(); }
    operator std::string_view() const { return text_; }

private:
    std::string_view text_;
};

class GSLibrary {
public:
    GSLibrary() = default;
    virtual ~GSLibrary();
    GSLibrary(const GSLibrary&) = delete;
    GSLibrary& operator=(const GSLibrary&) = delete;

    // The class of that name; of two with one name the later wins.
    GSClass* FindClass(const Kiv::PString& name) const;
    GSClass* FindClass(const char* name) const { return FindClass(Kiv::PString(name)); }

    uint32_t version = 0;
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    std::string sourceName;                         // as the image names it
    std::string path;                               // the file it was read from
    std::vector<std::unique_ptr<GSClass>> classes;  // the classes this library defines
    // The rows of the image's tables, resolved at link: every class and function the code
    // names (by operand), and the string constants.
    std::vector<GSClass*> classTable;
    std::vector<GSFunction*> functionTable;
    std::vector<GSLibraryString> strings;  // into `image`
    std::vector<uint8_t> image;            // the bytes the functions' code and strings point into
};

}  // namespace GSRuntime
