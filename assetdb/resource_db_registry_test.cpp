// The shared resource databases: use counts, purging, the full table, the command host's
// location form and an installed factory.
#include "assetdb/resource_db_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/data_root.h"

namespace {

Kiv::PString Name(const std::string& text) {
    return Kiv::PString(text);
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override { SetFolderRoots("/opt/install", "/opt/install/UserData"); }
    void TearDown() override {
        // Leave the table empty for the next test.
        for (Kiv::ResourceDatabase* d : acquired)
            while (ResourceDatabaseUseCount(d) > 0)
                ReleaseResourceDatabase(d);
        PurgeResourceDatabases();
        SetResourceDatabaseFactory(nullptr);
        SetFolderRoots("", "");
    }
    Kiv::ResourceDatabase* Acquire(const std::string& name, const std::string& folder = "/f") {
        Kiv::ResourceDatabase* d = AcquireResourceDatabase(Name(name), folder);
        if (d != nullptr) acquired.push_back(d);
        return d;
    }
    std::vector<Kiv::ResourceDatabase*> acquired;
};

TEST_F(Registry, SameNameSharesOneDatabaseUntilPurgedUnused) {
    Kiv::ResourceDatabase* a = Acquire("local", "/opt/install/UserData/local");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetFolder().str(), "/opt/install/UserData/local");
    EXPECT_EQ(Acquire("local", "/elsewhere"), a);  // the first folder stays
    EXPECT_EQ(ResourceDatabaseUseCount(a), 2u);
    RetainResourceDatabase(a);
    EXPECT_EQ(ResourceDatabaseUseCount(a), 3u);

    Kiv::ResourceDatabase* b = Acquire("editing");
    for (int i = 0; i < 3; ++i)
        ReleaseResourceDatabase(a);
    EXPECT_EQ(ResourceDatabaseUseCount(a), 0u);
    ReleaseResourceDatabase(a);  // never below zero
    RetainResourceDatabase(a);
    EXPECT_EQ(ResourceDatabaseUseCount(a), 1u);
    ReleaseResourceDatabase(a);
    EXPECT_EQ(ResourceDatabaseCount(), 2u);  // zero uses frees nothing by itself
    PurgeResourceDatabases();
    EXPECT_EQ(ResourceDatabaseCount(), 1u);
    EXPECT_EQ(ResourceDatabaseUseCount(b), 1u);

    Kiv::ResourceDatabase stranger(Name("x"), "/x");
    ReleaseResourceDatabase(&stranger);
    RetainResourceDatabase(&stranger);
    RetainResourceDatabase(nullptr);
    EXPECT_EQ(ResourceDatabaseUseCount(&stranger), 0u);
    EXPECT_EQ(ResourceDatabaseCount(), 1u);
}

TEST_F(Registry, FullTablePurgesUnusedBeforeRefusing) {
    for (size_t i = 0; i < kResourceDatabaseMax; ++i)
        ASSERT_NE(Acquire("db" + std::to_string(i)), nullptr) << i;
    EXPECT_EQ(Acquire("one-too-many"), nullptr);
    // An existing name is still found when the table is full.
    Kiv::ResourceDatabase* seventh = acquired[7];
    EXPECT_EQ(Acquire("db7"), seventh);

    ReleaseResourceDatabase(acquired[3]);
    ReleaseResourceDatabase(acquired[200]);
    Kiv::ResourceDatabase* fits = Acquire("fits");
    ASSERT_NE(fits, nullptr);
    EXPECT_EQ(ResourceDatabaseCount(), kResourceDatabaseMax - 1);
    EXPECT_EQ(ResourceDatabaseUseCount(acquired[255]), 1u);
}

TEST_F(Registry, AssetLocationsMapToTheirFolders) {
    struct Case {
        const char* name;
        const char* folder;  // null: no database
        bool ok;
    };
    const Case cases[] = {
        {"base", "/opt/install/Base", true},
        {"data", "/opt/install/Data", true},
        {"builtin", "/opt/install/builtin", true},
        {"editing", "/opt/install/UserData/editing", true},
        {"../etc", nullptr, false},
        {"", nullptr, true},
    };
    for (const Case& c : cases) {
        AssetResourceDatabase r = AcquireAssetResourceDatabase(Name(c.name));
        EXPECT_EQ(r.ok, c.ok) << c.name;
        if (c.folder == nullptr) {
            EXPECT_EQ(r.database, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(r.database, nullptr) << c.name;
        acquired.push_back(r.database);
        EXPECT_EQ(r.database->GetFolder().str(), c.folder);
        ReleaseAssetResourceDatabase(r.database);
        EXPECT_EQ(ResourceDatabaseUseCount(r.database), 0u);
    }
    EXPECT_EQ(AcquireAssetResourceDatabase(Kiv::PString()).database, nullptr);
    EXPECT_TRUE(AcquireAssetResourceDatabase(Kiv::PString()).ok);
}

struct Counted : Kiv::ResourceDatabase {
    using Kiv::ResourceDatabase::ResourceDatabase;
    ~Counted() override { ++destroyed; }
    static inline int destroyed = 0;
};

TEST_F(Registry, InstalledFactoryMakesTheDatabases) {
    SetResourceDatabaseFactory([](const Kiv::PString& name, std::string_view folder) {
        if (name.view() == "unopenable") return std::unique_ptr<Kiv::ResourceDatabase>();
        return std::unique_ptr<Kiv::ResourceDatabase>(new Counted(name, folder));
    });
    EXPECT_EQ(Acquire("unopenable"), nullptr);
    EXPECT_EQ(ResourceDatabaseCount(), 0u);
    Kiv::ResourceDatabase* d = Acquire("made");
    ASSERT_NE(dynamic_cast<Counted*>(d), nullptr);
    ReleaseResourceDatabase(d);
    PurgeResourceDatabases();
    EXPECT_EQ(Counted::destroyed, 1);
}

}  // namespace
