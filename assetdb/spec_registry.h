// The registry of live asset specs, as the database link sees it: made when the link opens,
// torn down (its leak report first) when it closes, told to forget an asset's cached spec after
// a commit or a delete, and asked for its leak report after each command-host call.
//
// The specs themselves and their cache belong to the script host. Until it installs its own
// registry (a derived class, through SetSpecRegistryFactory), the registry made here caches
// no specs: there is nothing to forget and nothing to report.
#pragma once

#include <memory>

#include "configdata/kuid.h"

class SpecRegistry {
public:
    SpecRegistry() = default;
    virtual ~SpecRegistry() = default;
    SpecRegistry(const SpecRegistry&) = delete;
    SpecRegistry& operator=(const SpecRegistry&) = delete;

    // The registry of the open link, null while none is open.
    static SpecRegistry* Instance();

    // Drops the cached spec of that asset, if any, so that its next use loads it afresh.
    virtual void Forget(const KUID& asset);
    // Logs the specs still alive ("Leaked specs:" and a line for each); nothing when none is.
    virtual void ReportLeaks();
};

using SpecRegistryFactory = std::unique_ptr<SpecRegistry> (*)();
// Null: the plain registry above.
void SetSpecRegistryFactory(SpecRegistryFactory factory);

// Makes the registry of the link (replacing one left over); the link's open does.
void CreateSpecRegistry();
// Reports leaks and destroys the registry; the link's close does. Nothing when there is none.
void DestroySpecRegistry();
