#include "cli/validation_startup.h"

#include <mutex>

#include "platform/kiv/base/file.h"

namespace {

std::mutex gLock;
std::string gDataFolder;

void NoStep() {}
void NoRecord(const EngineRecord&) {}

bool StartDataManager(std::string_view folder) {
    // The templates are read from the folder later; a folder that is not there cannot serve.
    if (!Kiv::File::IsDirectory(folder)) return false;
    std::lock_guard<std::mutex> hold(gLock);
    gDataFolder = folder;
    return true;
}

void StopDataManager() {
    std::lock_guard<std::mutex> hold(gLock);
    gDataFolder.clear();
}

ValidationStartup& Steps() {
    static ValidationStartup steps = DefaultValidationStartup();
    return steps;
}

}  // namespace

ValidationStartup DefaultValidationStartup() {
    return {NoStep, NoStep, StartDataManager, NoRecord, StopDataManager, NoStep, NoStep};
}

void SetValidationStartup(const ValidationStartup& steps) {
    std::lock_guard<std::mutex> hold(gLock);
    Steps() = steps;
}

ValidationStartup GetValidationStartup() {
    std::lock_guard<std::mutex> hold(gLock);
    return Steps();
}

std::string GetValidationDataFolder() {
    std::lock_guard<std::mutex> hold(gLock);
    return gDataFolder;
}
