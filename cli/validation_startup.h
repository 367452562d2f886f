// The validation singletons that start-up brings up and shutdown takes down: the error handler,
// the data manager on the program's "DUVData/" folder (handed the engine objects once they
// run) and the program's vertex types.
//
// The default steps start and stop the validator's real singletons (DUVLib::ErrorHandler and
// DUVLib::DataManager). The data manager starts on any folder: one that is missing leaves the
// validator without definitions, it does not stop the program. Tests put in recorders with
// SetValidationStartup. Every stop step tolerates a start that never ran.
#pragma once

#include <string>
#include <string_view>

struct EngineRecord;

struct ValidationStartup {
    void (*startErrorHandler)();
    void (*stopErrorHandler)();
    // False when the manager cannot start (the validator's own manager always can).
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
