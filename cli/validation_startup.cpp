#include "cli/validation_startup.h"

#include <mutex>

#include "assetdb/category_codes.h"
#include "assetdb/data_folders.h"
#include "assetdb/resource_db_registry.h"
#include "cli/engine_objects.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"

namespace {

std::mutex gLock;
std::string gDataFolder;

void StartErrorHandler() {
    DUVLib::ErrorHandler::Startup();
}
void StopErrorHandler() {
    DUVLib::ErrorHandler::Shutdown();
}

std::string BuiltinFolder() {
    std::string folder = GetBuiltinFolder().str();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

bool StartDataManager(std::string_view folder) {
    // The validator stands below the database client: its way to the asset folders is handed
    // down here.
    DUVLib::SetAssetFolderServices(
        {BuiltinFolder, AcquireResourceDatabase, ReleaseResourceDatabase, ParseCategoryClass});
    // A missing folder does not stop the program: a validation then finds no definitions.
    DUVLib::DataManager::Startup(folder);
    std::lock_guard<std::mutex> hold(gLock);
    gDataFolder = folder;
    return true;
}

void GiveEngineRecord(const EngineRecord& record) {
    DUVLib::DataManager::Instance().Initialise({record.resourceSystem, record.renderKernel});
}

void StopDataManager() {
    DUVLib::DataManager::Shutdown();
    std::lock_guard<std::mutex> hold(gLock);
    gDataFolder.clear();
}

void RegisterVertexTypes() {
    DUVLib::DataManager::RegisterHalvexBumpVertexType();
}
void UnregisterVertexTypes() {
    DUVLib::DataManager::UnregisterHalvexBumpVertexTypes();
}

ValidationStartup& Steps() {
    static ValidationStartup steps = DefaultValidationStartup();
    return steps;
}

}  // namespace

ValidationStartup DefaultValidationStartup() {
    return {StartErrorHandler, StopErrorHandler,    StartDataManager,     GiveEngineRecord,
            StopDataManager,   RegisterVertexTypes, UnregisterVertexTypes};
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
