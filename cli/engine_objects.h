// The engine objects start-up makes and shutdown destroys: the OS object, the resource system
// and the render kernel, started in that order with one engine option string. When the OS
// object or the render kernel will not start, start-up says so, adds "-NullRender" to the
// options and tries that step once more.
//
// The record lists the objects in the order the program has always kept them; the resource
// system and the render kernel are also reachable process-wide through their GetCurrent().
#pragma once

#include <ostream>
#include <string_view>

namespace Kiv {
class OS;
class ResourceSystem;
class RenderKernel;
}  // namespace Kiv

struct EngineRecord {
    Kiv::ResourceSystem* resourceSystem = nullptr;
    Kiv::RenderKernel* renderKernel = nullptr;
    Kiv::OS* os = nullptr;
};

inline constexpr std::string_view kEngineAppName = "HalvexUtil";

// Makes the three objects into the empty record and starts them (the engine log too, from the
// same options). False, after the reason on `err`, when the OS object or the render kernel
// fails twice; what was made stays in the record for DestroyEngineObjects.
bool StartEngineObjects(EngineRecord& record, std::string_view optionString, std::ostream& err);

// Destroys the render kernel, the resource system and the OS object, in that order, and
// clears the record. Fields already empty are passed over.
void DestroyEngineObjects(EngineRecord& record);
