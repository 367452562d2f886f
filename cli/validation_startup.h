// The validation singletons that start-up brings up and shutdown takes down: the error handler,
// the data manager on the program's "DUVData/" folder (handed the engine objects once they
// run) and the program's vertex types.
//
// The validator is not in this build. Until it is, the steps do only what can honestly be done
// without it: the data manager checks that its folder is there (start-up fails when it is not)
// and keeps its name; the error handler and the vertex types hold nothing. The validator puts
// its own steps in with SetValidationStartup; tests put in recorders. Every stop step tolerates
// a start that never ran.
#pragma once

#include <string>
#include <string_view>

struct EngineRecord;

struct ValidationStartup {
    void (*startErrorHandler)();
    void (*stopErrorHandler)();
    // False when the manager cannot start on the folder.
    bool (*startDataManager)(std::string_view folder);
    // The engine objects, once they are initialised.
    void (*giveEngineRecord)(const EngineRecord& record);
    void (*stopDataManager)();
    void (*registerVertexTypes)();
    void (*unregisterVertexTypes)();
};

// The steps of this build.
ValidationStartup DefaultValidationStartup();
// Replaces the steps (DefaultValidationStartup() puts the defaults back).
void SetValidationStartup(const ValidationStartup& steps);
ValidationStartup GetValidationStartup();

// The folder the default data manager started on; empty while it is not started.
std::string GetValidationDataFolder();
