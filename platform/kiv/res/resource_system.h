// Kiv::ResourceSystem: the engine's resource system, made and started once at start-up with
// the engine options and destroyed at shutdown. The stand-in keeps the options it was started
// with for the loaders that read them; it loads nothing itself.
#pragma once

#include "platform/kiv/base/options.h"

namespace Kiv {

class ResourceSystem {
public:
    ResourceSystem();
    ~ResourceSystem();
    ResourceSystem(const ResourceSystem&) = delete;
    ResourceSystem& operator=(const ResourceSystem&) = delete;

    // Takes a copy of the options. A second Init replaces them.
    bool Init(const Options& options);
    bool IsInitialised() const { return initialised_; }
    const Options& GetOptions() const { return options_; }

    // The resource system alive now (the last one made), or none.
    static ResourceSystem* GetCurrent();

private:
    Options options_;
    bool initialised_ = false;
};

}  // namespace Kiv
