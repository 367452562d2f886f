#include "platform/kiv/os/plugin_loader.h"

#include <dlfcn.h>

#include <mutex>
#include <set>

namespace Kiv {

namespace {

struct Loaded {
    std::mutex lock;
    std::set<void*> images;  // handles whose entry was called
};

Loaded& LoadedImages() {
    static Loaded* loaded = new Loaded;  // never destroyed: the images stay open
    return *loaded;
}

bool Fail(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
    return false;
}

}  // namespace

bool LoadPluginImage(std::string_view path, std::string* error) {
    const std::string name(path);
    // RTLD_NOW: a plug-in missing a symbol fails here, not halfway through its entry.
    void* image = ::dlopen(name.empty() ? nullptr : name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (image == nullptr) {
        const char* why = ::dlerror();
        return Fail(error, "cannot open the plug-in image '" + name + "': " + (why ? why : "?"));
    }
    Loaded& loaded = LoadedImages();
    std::lock_guard<std::mutex> hold(loaded.lock);
    if (loaded.images.count(image) != 0) {
        ::dlclose(image);  // the first load's reference keeps it open
        return true;
    }
    ::dlerror();
    void* symbol = ::dlsym(image, kPluginEntryName);
    if (symbol == nullptr) {
        ::dlclose(image);
        return Fail(error, "the image '" + (name.empty() ? std::string("(the program)") : name) +
                               "' exports no " + kPluginEntryName);
    }
    loaded.images.insert(image);
    reinterpret_cast<PluginEntry>(symbol)();
    return true;
}

}  // namespace Kiv
