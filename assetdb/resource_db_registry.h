// The shared resource databases of asset folders. Several users need the same folder at once
// (the data folders held for the whole run, a command-host call for one asset's location), so
// the databases are kept in one process-wide table of at most kResourceDatabaseMax entries,
// keyed by an interned name and counted by use. A database whose count falls to zero stays
// until the next purge, so a folder used again soon is not opened twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/res/resource_database.h"

constexpr size_t kResourceDatabaseMax = 256;

// Makes the database of a folder. The texture and mesh code installs its own kind; without
// one the registry makes the engine's plain Kiv::ResourceDatabase. Null: the folder cannot be
// opened.
using ResourceDatabaseFactory = std::unique_ptr<Kiv::ResourceDatabase> (*)(
    const Kiv::PString& name, std::string_view folderPath);
void SetResourceDatabaseFactory(ResourceDatabaseFactory factory);

// The database of that name with one more use; made on the folder (one use) when the name is
// new. Null when the table is full even after a purge, or the database cannot be made.
Kiv::ResourceDatabase* AcquireResourceDatabase(const Kiv::PString& name,
                                               std::string_view folderPath);
// One more or one less use of a database of the table; others are ignored. The count never
// goes below zero, and reaching zero frees nothing by itself.
void RetainResourceDatabase(Kiv::ResourceDatabase* database);
void ReleaseResourceDatabase(Kiv::ResourceDatabase* database);
// Frees every database no one uses. The table's order is not kept.
void PurgeResourceDatabases();

// The command host's form: the database of a location by its interned name, on the install
// root's "Base" folder for "base", its "Data" folder for "data", and the location's folder
// (data_root.h: the data root's for the user-data locations, else the install root's folder of
// that name) otherwise. A null or empty name gives no database and ok; otherwise ok tells
// whether a database was had. A name that is no single folder name gets none.
struct AssetResourceDatabase {
    Kiv::ResourceDatabase* database;
    bool ok;
};
AssetResourceDatabase AcquireAssetResourceDatabase(const Kiv::PString& name);
void ReleaseAssetResourceDatabase(Kiv::ResourceDatabase* database);

// The database whose folder holds the path (the innermost when folders nest), with one more
// use, and the path relative to its folder; null when the path lies in none of them.
Kiv::ResourceDatabase* AcquireResourceDatabaseContaining(std::string_view path,
                                                         std::string& relative);

// For checks: the use count of a database (0 when it is not in the table) and the number of
// entries in use.
uint32_t ResourceDatabaseUseCount(const Kiv::ResourceDatabase* database);
size_t ResourceDatabaseCount();
