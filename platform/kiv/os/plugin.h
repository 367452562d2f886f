// Kiv::PluginBase: a type of plug-in the engine knows, and the process-wide registry of them.
// A type belongs to a family (what it does: image codecs, materials, resource types), named
// by a UId, and has a name within it ("bmp"). The code that provides a type (a plug-in
// library's entry, or a subsystem at start-up) registers it; users look it up by family and
// name. Nothing is registered by the engine itself, so a lookup before the provider has run
// finds nothing: that is an answer, not a failure.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/os/uid.h"

namespace Kiv {

class PluginBase {
public:
    PluginBase(const UId& family, std::string_view name);
    virtual ~PluginBase();
    PluginBase(const PluginBase&) = delete;
    PluginBase& operator=(const PluginBase&) = delete;

    const UId& GetFamily() const { return family_; }
    // The name as registered; lookups compare it ignoring letter case.
    const PString& GetName() const { return name_; }

    // Adds the type to the registry, which keeps it alive until it is unregistered. False
    // (and nothing changes) when the family already has a type of that name, or type is null.
    static bool RegisterPluginType(std::shared_ptr<PluginBase> type);
    // False when no such type was registered.
    static bool UnregisterPluginType(const UId& family, std::string_view name);
    // The registered type of that family and name, shared with the caller, who lets go of it
    // by dropping the pointer; null when there is none.
    static std::shared_ptr<PluginBase> LookupPluginType(const UId& family, std::string_view name);
    // Every registered type of the family, in the order of registration.
    static std::vector<std::shared_ptr<PluginBase>> ListPluginTypes(const UId& family);

private:
    UId family_;
    PString name_;
};

// The family of image codecs ("bmp", "tga", ...), which the materials code provides.
const UId& ImagePluginFamily();

}  // namespace Kiv
