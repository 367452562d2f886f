#include "validation/data_manager.h"

#include <gtest/gtest.h>

#include "foundation/main_thread.h"

#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/display/materials.h"
#include "validation/validation_test_support.h"

namespace {

using namespace std::string_literals;
using DUVLib::DataManager;

Kiv::PString P(const char* s) {
    return Kiv::PString(s);
}

class DataManagerTest : public duvtest::Validator {};

TEST_F(DataManagerTest, TemplatesOfTheSameNameReplaceEachOtherWholeByFile) {
    StartOn({{"inheritance.txt", "traincar { from-inheritance \"1\" }\nbase { a \"1\" }\n"},
             {"kind.txt", "traincar { from-kind \"1\" }\nplain 5\ntraincar { again \"1\" }\n"},
             {"container.txt", "traincar { from-container \"1\" }\n"},
             {"lists/empty.txt", ""}});
    ASSERT_TRUE(Manager().LoadTemplates());
    const TDBTagRef t = Manager().GetTemplates();
    ASSERT_EQ(TDBContainerTag::CountChildren(t), 3u);
    // Later definitions move to the end; "container.txt" wins, with none of the other keys.
    EXPECT_EQ(TDBContainerTag::GetChildName(t, 0).str(), "base");
    EXPECT_EQ(TDBContainerTag::GetChildName(t, 1).str(), "plain");
    EXPECT_EQ(TDBContainerTag::GetChildName(t, 2).str(), "traincar");
    const TDBTagRef traincar = TDBContainerTag::GetContainer(t, P("traincar"));
    EXPECT_EQ(TDBContainerTag::CountChildren(traincar), 1u);
    EXPECT_TRUE(TDBContainerTag::HasTag(traincar, P("from-container")));
    // A plain value at the top level reads as an empty definition.
    const TDBTagRef plain = TDBContainerTag::GetContainer(t, P("plain"));
    ASSERT_FALSE(plain.IsEmpty());
    EXPECT_EQ(TDBContainerTag::CountChildren(plain), 0u);
}

TEST_F(DataManagerTest, WithoutTemplateFilesTheLoadFailsOnceAndKeepsAnsweringSo) {
    StartOn({{"lists/a.txt", "x\n"}});
    EXPECT_FALSE(Manager().LoadTemplates());
    // Not repeated: files that appear later are not read, and the answer stays the first one.
    dir.Write("DUVData/kind.txt", "k { top-level 1 }\n");
    EXPECT_FALSE(Manager().LoadTemplates());
    EXPECT_TRUE(Manager().GetTemplates().IsEmpty());
    EXPECT_EQ(Manager().GetList(P("a.txt")), nullptr);  // lists are not read either
}

TEST_F(DataManagerTest, ListFilesGiveOneEntryPerLine) {
    std::string longLine(300, 'k');
    longLine[10] = ' ';
    StartOn({{"kind.txt", "k { top-level 1 }\n"},
             {"lists/words.txt", "alpha 1\nlone\nthree word value\n\nkey value\r\n"},
             {"lists/odd.txt", longLine + "\nnext\nnul\0hidden\n\xE9t\xE9 hot\nlast"s},
             {"lists/empty.txt", ""}});
    ASSERT_TRUE(Manager().LoadTemplates());
    const DUVLib::List* words = Manager().GetList(P("words.txt"));
    ASSERT_NE(words, nullptr);
    ASSERT_EQ(words->size(), 5u);
    EXPECT_EQ((*words)[0].key.str(), "alpha");
    EXPECT_EQ((*words)[0].value.str(), "1");
    EXPECT_EQ((*words)[1].key.str(), "lone");
    EXPECT_TRUE((*words)[1].value.IsNull());
    EXPECT_EQ((*words)[2].key.str(), "three");
    EXPECT_EQ((*words)[2].value.str(), "word value");
    EXPECT_EQ((*words)[3].key.str(), "");
    EXPECT_TRUE((*words)[3].value.IsNull());
    EXPECT_EQ((*words)[4].value.str(), "value");  // no CR

    const DUVLib::List* odd = Manager().GetList(P("odd.txt"));
    ASSERT_NE(odd, nullptr);
    ASSERT_EQ(odd->size(), 5u);
    // The line buffer keeps 255 bytes; the rest of the line is dropped, not a line of its own.
    EXPECT_EQ((*odd)[0].key.str(), std::string(10, 'k'));
    EXPECT_EQ((*odd)[0].value.str(), std::string(255 - 11, 'k'));
    EXPECT_EQ((*odd)[1].key.str(), "next");
    EXPECT_EQ((*odd)[2].key.str(), "nul");  // a NUL ends the text
    EXPECT_EQ((*odd)[3].key.str(), "\xE9t\xE9");
    EXPECT_EQ((*odd)[4].key.str(), "last");  // no final line end

    const DUVLib::List* empty = Manager().GetList(P("empty.txt"));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->empty());
}

TEST_F(DataManagerTest, AListEntryThatCannotBeOpenedFailsTheLoadAndKeepsEarlierLists) {
    StartOn({{"kind.txt", "k { top-level 1 }\n"},
             {"lists/a.txt", "one\n"},
             {"lists/b/inner.txt", "x\n"},
             {"lists/c.txt", "three\n"}});
    EXPECT_FALSE(Manager().LoadTemplates());
    EXPECT_NE(Manager().GetList(P("a.txt")), nullptr);
    EXPECT_EQ(Manager().GetList(P("c.txt")), nullptr);
    EXPECT_FALSE(Manager().GetTemplates().IsEmpty());
}

TEST_F(DataManagerTest, PersonalDetailsRoundTrip) {
    StartOn({{"kind.txt", ""}});
    const DUVLib::PersonalDetails& none = Manager().GetPersonalDetails();
    EXPECT_EQ(none.author, "");
    EXPECT_TRUE(none.inputBoxOn);
    Manager().EditPersonalDetails().author = "Ann";
    Manager().EditPersonalDetails().website = "w";
    DataManager::Shutdown();

    TDBTagRef tree;
    ASSERT_TRUE(ReadConfigFile("", dir / "DUVData/personalDetails.txt", tree));
    ASSERT_EQ(TDBContainerTag::CountChildren(tree), 6u);
    const char* order[] = {"author", "organisation", "email", "website", "license", "isinputboxon"};
    for (uint32_t i = 0; i < 6; ++i)
        EXPECT_EQ(TDBContainerTag::GetChildName(tree, i).str(), order[i]);
    EXPECT_EQ(TDBContainerTag::GetString(tree, P("author")).str(), "Ann");
    EXPECT_EQ(TDBContainerTag::GetInt(tree, P("isinputboxon"), -1), 1);

    DataManager::Startup(dir / "DUVData/");
    EXPECT_EQ(Manager().GetPersonalDetails().website, "w");
    EXPECT_TRUE(Manager().GetPersonalDetails().inputBoxOn);
}

TEST_F(DataManagerTest, AnUnreadableDetailsFileIsNotOverwritten) {
    // A folder in the file's place cannot be read as a file; nothing is written over it.
    std::filesystem::create_directories(dir / "DUVData/personalDetails.txt");
    dir.Write("DUVData/personalDetails.txt/keep", "mine");
    StartOn({});
    Manager();
    DataManager::Shutdown();
    EXPECT_EQ(dir.Read("DUVData/personalDetails.txt/keep"), "mine");
}

TEST_F(DataManagerTest, DetailsNeverReadAreReadBeforeTheyAreSaved) {
    dir.Write("DUVData/personalDetails.txt", "author \"kept\"\nisinputboxon 1\n");
    DataManager::Startup(dir / "DUVData/");
    DataManager::Shutdown();  // Instance was never called
    TDBTagRef tree;
    ASSERT_TRUE(ReadConfigFile("", dir / "DUVData/personalDetails.txt", tree));
    EXPECT_EQ(TDBContainerTag::GetString(tree, P("author")).str(), "kept");
}

TEST_F(DataManagerTest, RegistriesAndTheirForgetting) {
    StartOn({});
    auto* t = reinterpret_cast<DUVLib::Tag*>(0x10);
    Manager().AddUniqueTag(t);
    Manager().AddUniqueTag(t);
    Manager().AddTag(t);
    Manager().AddTag(t);
    Manager().AddToGroupRegistry(P("queues"), t);
    EXPECT_EQ(Manager().GetUniqueTags().size(), 1u);
    EXPECT_EQ(Manager().GetTags().size(), 2u);
    Manager().ForgetTag(t);
    EXPECT_TRUE(Manager().GetUniqueTags().empty());
    EXPECT_TRUE(Manager().GetTags().empty());
    EXPECT_TRUE(Manager().GetGroup(P("queues"))->empty());
    EXPECT_FLOAT_EQ(Manager().GetBuild(), 3.6f);
}

class AttachmentMesh : public MeshData {
public:
    AttachmentMesh() { points_.push_back({{}, {}, Kiv::PString("a.front")}); }
};

TEST_F(DataManagerTest, MeshesAreKeptPerContainerAndForgottenWithIt) {
    StartOn({});
    auto* owner = reinterpret_cast<DUVLib::Container*>(0x20);
    Manager().KeepMesh(owner, std::make_unique<AttachmentMesh>());
    EXPECT_NE(Manager().GetCurrentMesh(), nullptr);
    EXPECT_TRUE(Manager().IsRegisteredName(P("a.front"), P("any key")));
    EXPECT_FALSE(Manager().IsRegisteredName(P("a.back"), P("any key")));
    Manager().ForgetContainer(owner);
    EXPECT_EQ(Manager().GetCurrentMesh(), nullptr);
    EXPECT_FALSE(Manager().IsRegisteredName(P("a.front"), P("any key")));
}

TEST_F(DataManagerTest, WithoutMeshResourceTypesACheckIsToldOnce) {
    StartOn({});
    RecordMainThreadId();
    // A check that asks (a container is given) hears it once; nothing else is made of it.
    auto* owner = reinterpret_cast<DUVLib::Container*>(0x20);
    EXPECT_EQ(Manager().LoadMesh("a/b.im", owner), nullptr);
    EXPECT_EQ(Manager().LoadMesh("a/c.im", owner), nullptr);
    EXPECT_TRUE(Manager().meshFailure);
    EXPECT_EQ(duvtest::Rows(),
              std::vector<std::string>{"W - mesh checks are not available in this build"});
    DUVLib::ErrorHandler::Instance()->Clear();
    EXPECT_EQ(Manager().LoadMesh("a/b.im", nullptr), nullptr);
    EXPECT_TRUE(duvtest::Rows().empty());
    Manager().meshMessagesSuppressed = true;
    EXPECT_EQ(Manager().LoadMesh("a/b.im", owner), nullptr);
    EXPECT_TRUE(duvtest::Rows().empty());
}

TEST_F(DataManagerTest, VertexTypesComeOnlyFromTheMaterialsPlugInsRegistered) {
    StartOn({});
    Kiv::MaterialLoader::UnregisterAll();
    Kiv::MaterialLoader::RegisterType("m.notex", {true, false});
    Kiv::MaterialLoader::RegisterType("m.gloss", {true, true});
    Kiv::MaterialLoader::RegisterType("m.tbumptex", {false, false});
    std::vector<std::string> lines;
    const int id = Kiv::Log::AddListener([&](std::string_view l) { lines.emplace_back(l); });
    const int64_t liveBefore = Kiv::ReferenceCount::LiveCount();
    DataManager::RegisterHalvexBumpVertexType();
    DataManager::RegisterHalvexBumpVertexType();  // once only
    Kiv::Log::RemoveListener(id);

    std::vector<std::string> want = {
        "DataManager::RegisterHalvexBumpVertexType> no material plug-in provides "
        "'HalvexAlphaBlendCache'",
        "DataManager::RegisterHalvexBumpVertexType> no material plug-in provides "
        "'AlphaBlendCacheUnsorted'"};
    for (const char* missing :
         {"tbumpcoltex", "tbumpglosscol", "tbumpenv", "tgroundonetex", "tgroundonetexvs",
          "tonetexnoalpha", "tbumpgloss", "tglossrust", "onetex", "nofogtex", "reflect"})
        want.push_back(
            std::string("DataManager::RegisterHalvexBumpVertexType> Unable to load 'm.") + missing +
            "'");
    EXPECT_EQ(lines, want);
    ASSERT_EQ(DataManager::VertexTypeCount(), 2u);
    EXPECT_STREQ(DataManager::VertexTypeMaterial(0), "m.notex");
    EXPECT_STREQ(DataManager::VertexTypeMaterial(1), "m.gloss");
    ASSERT_EQ(Kiv::RenderingCacheManager::Instance().GetCaches().size(), 1u);

    DataManager::UnregisterHalvexBumpVertexTypes();
    DataManager::UnregisterHalvexBumpVertexTypes();
    EXPECT_EQ(DataManager::VertexTypeCount(), 0u);
    EXPECT_TRUE(Kiv::RenderingCacheManager::Instance().GetCaches().empty());
    EXPECT_EQ(Kiv::ReferenceCount::LiveCount(), liveBefore);  // everything made was released
    Kiv::MaterialLoader::UnregisterAll();
}

TEST(ManagerDeathTest, InstanceBeforeStartupEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(DataManager::Instance(), testing::ExitedWithCode(1),
                "DataManager::Instance> datamanger not initialised");
}

}  // namespace
