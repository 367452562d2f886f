// importconsists: an old single-file consist list (a text config of numbered trains, each a
// name and a list of cars) becomes consist assets, one for every train that has no asset of
// its name yet.
//
// The list:                          A new consist's config gains:
//   train-0                            kind          "consist"
//   {                                  username      the train's name
//     name   "Morning Goods"           halvex-build  3.1
//     list                             consist-list  { car-0 { car-kuid, car-num, car-dir } }
//     {                                kuid-table    { 0 <kuid:..>  1 ... } every car's KUID
//       car-0  <kuid:1:2>                            once, in KUID order
//       num-0  4012
//       dir-0  1
//     }
//   }
#include <memory>
#include <set>
#include <string>

#include "assetdb/asset_search.h"
#include "assetdb/asset_status.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_string.h"
#include "assetdb/wex_client_edit.h"
#include "cli/command_handlers.h"
#include "cli/startup.h"
#include "cli/working_directory.h"
#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"

namespace {

// The old list is a text config whatever its extension.
constexpr const char* kListForm = "txt";
constexpr float kConsistBuild = 3.1f;

Kiv::PString Tag(const char* name) {
    return Kiv::PString(name);
}

Kiv::PString NumberedTag(const char* format, uint32_t n) {
    return Kiv::PString::Printf(format, n);
}

// Whether an asset of exactly this name is installed here. False, with the error, when the
// daemon could not be asked: guessing "no" would make a second asset of the name.
bool FindAssetNamed(ResultsLog& log, const Kiv::String& name, bool& exists) {
    WEXFilterElementGroup filter(
        std::make_unique<WEXFilterElementString>(kWEXAssetName, Kiv::PString(name.view())));
    for (WEXBoolKeyword code : {kWEXLocal, kWEXLocallyAvailable, kWEXListingPrivilege})
        filter.Add(std::make_unique<WEXFilterElementBool>(code));
    filter.AddNew(std::make_unique<WEXFilterElementBool>(kWEXObsolete));
    KUIDBlockList found;
    if (!WEXClient::SearchAssets(filter, found)) {
        AddCommandError(log, kSearchFailedMessage);
        return false;
    }
    // The search matches parts of names; only the whole name counts.
    exists = false;
    for (const KUID& asset : found)
        if (WEXGetAssetName(asset).CompareWith(name.view())) exists = true;
    return true;
}

// The train's cars as the new config's "consist-list", and every car's KUID into `cars`.
TDBTagRef ConsistList(const TDBTagRef& oldList, std::set<KUID>& cars) {
    TDBTagRef list;
    list.EnsureContainer();
    for (uint32_t m = 0; TDBContainerTag::HasTag(oldList, NumberedTag("car-%u", m)); ++m) {
        KUID car = TDBContainerTag::GetKUID(oldList, NumberedTag("car-%u", m), KUID::kNull);
        TDBTagRef entry;
        TDBContainerTag::SetKUID(entry, Tag("car-kuid"), car);
        TDBContainerTag::SetInt(entry, Tag("car-num"),
                                TDBContainerTag::GetInt(oldList, NumberedTag("num-%u", m), 0));
        TDBContainerTag::SetBool(
            entry, Tag("car-dir"),
            TDBContainerTag::GetBool(oldList, NumberedTag("dir-%u", m), false));
        TDBContainerTag::SetContainer(list, NumberedTag("car-%u", m), entry);
        cars.insert(car);
    }
    return list;
}

// Fills the new asset's config with the train and writes it back.
bool WriteConsistConfig(ResultsLog& log, const std::string& path, const Kiv::String& name,
                        const TDBTagRef& oldList) {
    TDBTagRef config;
    if (!ReadConfigFile({}, path, config)) {
        AddCommandError(log, "Unable to read " + path + ".");
        return false;
    }
    config.EnsureContainer();
    TDBContainerTag::SetString(config, Tag("kind"), Tag("consist"));
    TDBContainerTag::SetString(config, Tag("username"), Kiv::PString(name.view()));
    TDBContainerTag::SetFloat(config, Tag("halvex-build"), kConsistBuild);
    std::set<KUID> cars;
    TDBTagRef list = ConsistList(oldList, cars);
    TDBContainerTag::SetContainer(config, Tag("consist-list"), list);
    KUIDBlockList table;
    for (const KUID& car : cars)
        table.Append(car);
    TDBTagRef kuidTable = TDBContainerTag::FromKUIDList(table);
    TDBContainerTag::SetContainer(config, Tag("kuid-table"), kuidTable);
    if (WriteConfigFile(config, {}, path)) return true;
    AddCommandError(log, "Unable to write " + path + ".");
    return false;
}

// A new consist asset for the train, committed; on any failure the new asset is reverted, so
// no half-made asset stays behind.
bool CreateConsist(ResultsLog& log, const Kiv::String& name, const TDBTagRef& oldList) {
    WEXAssetHandle handle = WEXClient::CreateAsset(KUID::kNull, true, name.view());
    if (!handle.IsValid()) {
        AddAssetError(log, kUnknownAssetIdMessage, KUID::kNull);
        return false;
    }
    Kiv::String folder;
    bool made = WEXClient::GetHandlePath(handle, folder);
    if (made) {
        Kiv::File::Path config(folder.view());
        config.AddPath("config.txt");
        made = WriteConsistConfig(log, config.str(), name, oldList) &&
               WEXClient::CommitAsset(handle, 0, nullptr, &log);
    }
    if (!made) WEXClient::RevertAsset(handle, &log);
    return made;
}

bool ImportTrains(ResultsLog& log, const TDBTagRef& trains) {
    for (uint32_t n = 0;; ++n) {
        Kiv::PString key = NumberedTag("train-%u", n);
        if (!TDBContainerTag::HasTag(trains, key)) return true;
        TDBTagRef train = TDBContainerTag::GetContainer(trains, key);
        TDBTagRef list = TDBContainerTag::GetContainer(train, Tag("list"));
        if (!TDBContainerTag::HasTag(train, Tag("name")) || list.IsEmpty()) continue;
        Kiv::String name(TDBContainerTag::GetString(train, Tag("name")).view());
        bool exists = false;
        if (!FindAssetNamed(log, name, exists)) return false;
        if (!exists && !CreateConsist(log, name, list)) return false;
    }
}

}  // namespace

int RunImportConsistsCommand(CommandContext& context) {
    // A relative path is taken from where the program was started; the scope changes back.
    WorkingDirectoryScope startFolder(GetSavedWorkingDirectory());
    if (context.MissingArgument()) {
        AddCommandError(context.log, kMissingInputPathMessage);
        return kCommandFailed;
    }
    TDBTagRef trains;
    std::string whyNot;
    if (!ReadConfigFile({}, context.argument, trains, kListForm, nullptr, &whyNot)) {
        // A list that is there but cannot be read is not a wrong path: the user is told why.
        if (whyNot.empty())
            AddCommandError(context.log, kInvalidInputPathMessage);
        else
            AddCommandError(context.log,
                            "The file " + context.argument + " could not be read: " + whyNot + ".");
        return kCommandFailed;
    }
    return ImportTrains(context.log, trains) ? 0 : kCommandFailed;
}
