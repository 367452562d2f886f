#include "script/natives/native_libraries.h"

#include "script/natives/class_natives.h"
#include "script/natives/gso_image.h"
#include "script/natives/gso_online_access.h"
#include "script/natives/unavailable_natives.h"
#include "script/vm/gs_class.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_library.h"
#include "script/vm/gs_machine.h"
#include "script/vm/gs_native.h"
#include "script/vm/script_log.h"

namespace ScriptNatives {

namespace {

// Process-wide, as the registry is: the natives are bound once, and registration is done once
// it has succeeded.
bool g_nativesBound = false;
bool g_registered = false;

// Type codes of a library's member records.
constexpr uint32_t kTypeInt = 2;
constexpr uint32_t kTypeString = 4;
constexpr uint32_t kTypeObject = 5;

WorldNativeBinders g_world;

void Bind(GSRuntime::GSNativeRegistry& registry, NativeTableBinder binder,
          NativeTableBinder standIn) {
    (binder != nullptr ? binder : standIn)(registry);
}

void BindAllNatives(GSRuntime::GSNativeRegistry& registry) {
    // KUID, Soup, HTMLBuffer, KUIDList, StringTable, LinkedList and ConstructorsBase.
    RegisterClassNatives(registry);
    Bind(registry, g_world.asset, &RegisterAssetStandIns);
    Bind(registry, g_world.halvexGameObject, &RegisterHalvexGameObjectStandIns);
    RegisterOnlineAccessNatives(registry);
    RegisterOnlineGroupNatives(registry);
    Bind(registry, g_world.library, &RegisterLibraryStandIns);
    RegisterImageNatives(registry);
    Bind(registry, g_world.scriptBase, &RegisterScriptBaseStandIns);
    Bind(registry, g_world.securityToken, &RegisterSecurityTokenStandIns);
}

// The words MakeMessageObject writes: major, minor, source, destination, data.
constexpr MemberWord kMessageWords[] = {{2, MemberKind::kString},
                                        {3, MemberKind::kString},
                                        {4, MemberKind::kObject},
                                        {5, MemberKind::kObject},
                                        {6, MemberKind::kObject}};
// The words the LinkedList natives read: text, value, data.
constexpr MemberWord kLinkedDataWords[] = {
    {2, MemberKind::kString}, {3, MemberKind::kInt}, {4, MemberKind::kObject}};

GSRuntime::GSClass* FindClass(GSRuntime::GSMachine& machine, std::string_view library,
                              std::string_view className) {
    GSRuntime::GSLibrary* lib = machine.GetLibraryByName(library);
    return lib != nullptr ? lib->FindClass(Kiv::PString(className)) : nullptr;
}

}  // namespace

bool RegisterNativeClass(GSRuntime::GSMachine& machine, ClassSlot slot, std::string_view library,
                         std::string_view className) {
    SetClassSlot(slot, nullptr);
    GSRuntime::GSNativeRegistry::Get();
    GSRuntime::GSClass* cls = FindClass(machine, library, className);
    SetClassSlot(slot, cls);
    return cls != nullptr;
}

bool CheckMemberWords(const GSRuntime::GSClass* cls, const char* className, const MemberWord* words,
                      unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        bool found = false;
        for (const GSRuntime::GSMember& m : cls->members) {
            if (m.slot != static_cast<int32_t>(words[i].word)) continue;
            switch (words[i].kind) {
                case MemberKind::kString:
                    found = m.type == kTypeString;
                    break;
                case MemberKind::kInt:
                    found = m.type == kTypeInt;
                    break;
                case MemberKind::kObject:
                    found = m.type == kTypeObject;
                    break;
            }
        }
        if (!found) {
            GS_SCRIPT_LOG(
                "RegisterNativeLibraries> class %s lacks member word %u of the kind its "
                "natives use",
                className, words[i].word);
            return false;
        }
    }
    return true;
}

bool RegisterNativeLibraries(GSRuntime::GSMachine& machine, std::string_view folder) {
    if (g_registered) return true;
    GSRuntime::GSNativeRegistry& registry = GSRuntime::GSNativeRegistry::Get();
    if (!g_nativesBound) {
        BindAllNatives(registry);
        g_nativesBound = true;
    }
    machine.AddLibraryFolder(folder, "libraries");

    if (!RegisterNativeClass(machine, kGameObject, "gs.gsl", "GameObject")) return false;
    GSRuntime::GSClass* message = FindClass(machine, "gs.gsl", "Message");
    if (message == nullptr ||
        !CheckMemberWords(message, "Message", kMessageWords, std::size(kMessageWords)))
        return false;
    GSRuntime::SetGameObjectClass(GetClassSlot(kGameObject));
    GSRuntime::SetMessageClass(message);
    if (!RegisterNativeClass(machine, kWorldCoordinate, "worldcoordinate.gsl", "WorldCoordinate") ||
        !RegisterNativeClass(machine, kOrientation, "orientation.gsl", "Orientation"))
        return false;

    struct Row {
        ClassSlot slot;
        const char* library;
        const char* className;
    };
    static constexpr Row kRows[] = {
        {kKUID, "kuid.gsl", "KUID"},
        {kSoup, "Soup.gsl", "Soup"},
        {kHTMLBuffer, "HTMLBuffer.gsl", "HTMLBuffer"},
        {kKUIDList, "KUIDList.gsl", "KUIDList"},
        {kStringTable, "StringTable.gsl", "StringTable"},
        {kAsset, "asset.gsl", "Asset"},
        {kHalvexGameObject, "HalvexGameObject.gsl", "HalvexGameObject"},
        {kOnlineAccess, "OnlineAccess.gsl", "OnlineAccess"},
        {kOnlineGroup, "OnlineGroup.gsl", "OnlineGroup"},
        {kImage, "Image.gsl", "Image"},
        {kLibrary, "Library.gsl", "Library"},
        {kSecurityToken, "SecurityToken.gsl", "SecurityToken"},
        {kConstructorsBase, "Constructors.gsl", "ConstructorsBase"},
    };
    for (const Row& row : kRows)
        if (!RegisterNativeClass(machine, row.slot, row.library, row.className)) return false;

    GSRuntime::GSClass* linkedData = FindClass(machine, "LinkedList.gsl", "LinkedData");
    if (linkedData == nullptr ||
        !CheckMemberWords(linkedData, "LinkedData", kLinkedDataWords, std::size(kLinkedDataWords)))
        return false;
    g_registered = true;
    return true;
}

void SetWorldNativeBinders(const WorldNativeBinders& binders) {
    g_world = binders;
}

bool RegisterNativeLibraries() {
    return RegisterNativeLibraries(GSRuntime::GSMachine::Instance(), "libraries");
}

}  // namespace ScriptNatives
