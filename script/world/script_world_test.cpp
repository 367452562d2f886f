// The script world by compile-load-run: scripts run in a HalvexScriptContext against the real
// wexdaemon of a temporary install tree, reaching assets, security tokens, scriptable objects,
// script libraries and a native plug-in of our own.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "assetdb/asset_status.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/wex_client_edit.h"
#include "configdata/tdb_container_tag.h"
#include "script/natives/gso_kuid.h"
#include "script/natives/native_scripts_test_support.h"
#include "script/vm/gs_call.h"
#include "script/world/world_test_support.h"

namespace {

namespace fs = std::filesystem;
using GSRuntime::ER_Done;
using HalvexWorld::HalvexScriptContext;

const char* const kTest = R"(include "Halvex.gs"

class Test isclass HalvexScriptBase
{
  public float Normalized() { return GetNormalizedSystemTime(); }
  public string Date() { return GetSystemYear() + "-" + GetSystemMonth() + "-" + GetSystemDate() + " " + GetSystemHour() + ":" + GetSystemMinute() + ":" + GetSystemSecond(); }
  public float Version() { return GetHalvexVersion(); }
  public int Build() { return GetHalvexBuild(); }
  public void Say(string text) { Log(text); }
  public bool NoURL() { return OpenURL("http://example.invalid/"); }
  public bool NoSystemCall() { return HalvexSystemCall("x", null) == null; }
  public string Clone(KUID k) { KUID c = CloneKUID(k); if (!c) return "<null>"; return c.GetHTMLString(); }

  public bool SameAsset(KUID k) { Asset a = FindAsset(k); return a and a == FindAsset(k); }
  public Asset Find(KUID k) { return FindAsset(k); }
  public string Facts(KUID k)
  {
    Asset a = FindAsset(k);
    if (!a) return "<null>";
    return a.GetKUID().GetHTMLString() + "|" + a.GetLocalisedName() + "|" + a.GetLocalisedDescription() + "|" + a.GetCategoryRegion() + "|" + a.GetCategoryEra() + "|" + a.GetInfoURL() + "|" + a.IsLocallyModified() + "|" + a.IsBuiltIn() + "|" + a.IsOnTheVendrix();
  }
  public string Table(KUID k, string name) { return FindAsset(k).LookupKUIDTable(name).GetHTMLString(); }
  public string TableAsset(KUID k, string name) { Asset b = FindAsset(k).FindAsset(name); if (!b) return "<null>"; return b.GetLocalisedName(); }
  public bool Favorite(KUID k) { return FindAsset(k).GetIsFavorite(); }
  public bool SetFavorite(KUID k, bool f) { Asset a = FindAsset(k); a.SetIsFavorite(f); return a.GetIsFavorite(); }
  public bool Supports(KUID k, float v) { return FindAsset(k).SupportsHalvexBuildVersion(v); }
  public void SetLocked(KUID k) { FindAsset(k).GetConfigSoup().SetNamedTag("x", 1); }
  public string ConfigName(KUID k) { return FindAsset(k).GetConfigSoup().GetNamedTag("username"); }
  public string Rule(KUID k, string n) { Soup s = FindAsset(k).GetSessionRuleData(n); if (!s) return "<none>"; return s.GetNamedTag("x"); }
  public string Parent(KUID k) { Asset p = FindAsset(k).GetParent(); if (!p) return "<none>"; return "some"; }
  public int Dependencies(KUID k) { return FindAsset(k).GetDependencyList().CountKUIDs(); }
  public int ImageWidth(KUID k, string file) { Image i = FindAsset(k).LoadImage(file); if (!i) return -1; return i.GetWidth(); }
  public string Strings(KUID k, string name) { StringTable t = FindAsset(k).GetStringTable(); if (!t) return "<none>"; return t.GetString(name); }
  public int CountOf(string kind) { Asset[] list = GetAssetList(kind); return list.size(); }
};
)";

uint32_t FloatWord(float f) {
    uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

class ScriptWorld : public worldtest::ScriptWorldTest {
protected:
    void SetUp() override {
        worldtest::ScriptWorldTest::SetUp();
        if (HasFatalFailure()) return;
        BuildLibraries({{"t.gs", kTest}});
    }
    uint32_t Kuid(GSRuntime::GSContext* c, const KUID& k) {
        return ScriptNatives::GSOKUID::NewKUIDObject(c, k)->instance;
    }
    worldtest::ScriptResult Run(GSRuntime::GSContext* c, const char* signature,
                                const std::vector<uint32_t>& args = {}) {
        return Call(c, "Test", signature, args);
    }
};

HalvexWorld::LocalTimeRecord gNow;

TEST_F(ScriptWorld, TheDateAndTimeNativesReadTheLocalClock) {
    HalvexWorld::SetLocalTimeReader([] { return gNow; });
    HalvexScriptContext* c = NewContext();
    const struct {
        int hour, minute, second;
        float normalized;
    } cases[] = {{18, 0, 0, 0.25f}, {0, 0, 0, 0.5f}, {12, 0, 0, 0.0f}, {6, 0, 0, 0.75f}};
    for (const auto& tc : cases) {
        gNow = {2026, 12, 11, tc.hour, tc.minute, tc.second};
        worldtest::ScriptResult r = Run(c, "$float@Test::Normalized()");
        ASSERT_EQ(r.result, ER_Done);
        EXPECT_FLOAT_EQ(r.AsFloat(), tc.normalized) << tc.hour;
    }
    gNow = {2026, 12, 11, 11, 59, 59};
    const float justBefore = Run(c, "$float@Test::Normalized()").AsFloat();
    EXPECT_LT(justBefore, 1.0f);
    EXPECT_GT(justBefore, 0.999f);
    gNow = {2027, 2, 3, 4, 5, 6};
    EXPECT_EQ(Run(c, "$string@Test::Date()").text, "2027-2-3 4:5:6");
    HalvexWorld::SetLocalTimeReader(nullptr);
}

TEST_F(ScriptWorld, TheScriptBaseAnswersWhatThisProgramHasNoHostFor) {
    HalvexScriptContext* c = NewContext();
    EXPECT_FLOAT_EQ(Run(c, "$float@Test::Version()").AsFloat(), 3.6f);
    EXPECT_EQ(Run(c, "$int@Test::Build()").AsInt(), 49922);
    EXPECT_EQ(Run(c, "$bool@Test::NoURL()").AsInt(), 0);
    EXPECT_EQ(Run(c, "$bool@Test::NoSystemCall()").AsInt(), 1);
    worldtest::ScriptResult said = Run(c, "$void@Test::Say(string)", {Str("hello %s")});
    EXPECT_EQ(said.result, ER_Done);
    EXPECT_TRUE(said.Logged("hello %s"));
    EXPECT_EQ(Run(c, "$string@Test::Clone(KUID)", {Kuid(c, KUID{12, 34, 2})}).text,
              "<kuid2:12:34:2>");
    EXPECT_EQ(Run(c, "$string@Test::Clone(KUID)", {0}).text, "<null>");
}

TEST_F(ScriptWorld, AScriptBaseNativeInAnotherKindOfContextFailsItsBinding) {
    GSRuntime::GSContext plain;
    worldtest::ScriptResult r = Run(&plain, "$int@Test::Build()");
    EXPECT_NE(r.result, ER_Done);
    EXPECT_EQ(Run(NewContext(), "$int@Test::Build()").AsInt(), 49922);
}

}  // namespace

namespace {

const KUID kShed(424242, 1);
const KUID kLoco(424242, 2);
const KUID kSpare(424242, 3);
const KUID kMissing(424242, 99);

std::string ShedConfig() {
    return "kuid <kuid:424242:1>\n"
           "kind \"scenery\"\n"
           "username \"Test Shed\"\n"
           "description \"A shed for tests.\"\n"
           "category-region \"AU\"\n"
           "category-era \"1950s\"\n"
           "info-url \"http://example.invalid/shed\"\n"
           "halvex-build 3.6\n"
           "kuid-table\n{\n  loco <kuid:424242:2>\n}\n"
           "optional-kuid-table\n{\n  spare <kuid:424242:3>\n}\n"
           "rule-data\n{\n  night\n  {\n    x \"dark\"\n  }\n}\n"
           "string-table\n{\n  greeting \"hello\"\n}\n";
}

class AssetWorld : public ScriptWorld {
protected:
    void SetUp() override {
        ScriptWorld::SetUp();
        if (HasFatalFailure()) return;
        InstallText("shed", ShedConfig(), {{"pic.tga", Tga(3, 2)}});
        InstallText("loco", "kuid <kuid:424242:2>\nkind \"scenery\"\nusername \"Test Loco\"\n");
    }
    void InstallText(const std::string& name, const std::string& config,
                     const std::vector<std::pair<std::string, std::string>>& files = {}) {
        const std::string folder = Source(name);
        fs::create_directories(folder);
        std::ofstream(folder + "/config.txt", std::ios::binary) << config;
        for (const auto& [file, body] : files)
            std::ofstream(folder + "/" + file, std::ios::binary) << body;
        Install(folder);
    }
    // An uncompressed true-colour TGA of the size.
    static std::string Tga(int w, int h) {
        std::string t(18, '\0');
        t[2] = 2;
        t[12] = static_cast<char>(w);
        t[14] = static_cast<char>(h);
        t[16] = 32;
        t += std::string(static_cast<size_t>(w * h * 4), '\x7f');
        return t;
    }
};

TEST_F(AssetWorld, OneObjectPerAssetAndContext) {
    HalvexScriptContext* a = NewContext();
    EXPECT_EQ(Run(a, "$bool@Test::SameAsset(KUID)", {Kuid(a, kShed)}).AsInt(), 1);
    worldtest::ScriptResult first = Run(a, "$Asset@Test::Find(KUID)", {Kuid(a, kShed)});
    worldtest::ScriptResult again = Run(a, "$Asset@Test::Find(KUID)", {Kuid(a, kShed)});
    EXPECT_NE(first.word, 0u);
    EXPECT_EQ(first.word, again.word);
    HalvexScriptContext* b = NewContext();
    worldtest::ScriptResult other = Run(b, "$Asset@Test::Find(KUID)", {Kuid(b, kShed)});
    EXPECT_NE(other.word, 0u);
    EXPECT_NE(other.word, first.word);
    for (uint32_t w : {first.word, again.word})
        GSRuntime::ReleaseReference(w);
    GSRuntime::ReleaseReference(other.word);
    EXPECT_EQ(HalvexWorld::AssetObjectCount(a), 1u);
    DropContext(a);
    EXPECT_EQ(HalvexWorld::AssetObjectCount(a), 0u) << "a context's teardown releases its own";
    EXPECT_EQ(HalvexWorld::AssetObjectCount(b), 1u);
}

TEST_F(AssetWorld, FactsComeFromTheDatabase) {
    HalvexScriptContext* c = NewContext();
    EXPECT_EQ(Run(c, "$string@Test::Facts(KUID)", {Kuid(c, kShed)}).text,
              "<kuid:424242:1>|Test Shed|A shed for tests.|AU|1950s|"
              "http://example.invalid/shed|false|false|false");
    EXPECT_EQ(Run(c, "$string@Test::ConfigName(KUID)", {Kuid(c, kShed)}).text, "Test Shed");
    EXPECT_EQ(Run(c, "$string@Test::Parent(KUID)", {Kuid(c, kShed)}).text, "<none>");
    EXPECT_EQ(
        Run(c, "$int@Test::ImageWidth(KUID,string)", {Kuid(c, kShed), Str("PIC.tga")}).AsInt(), 3);
    EXPECT_EQ(Run(c, "$string@Test::Strings(KUID,string)", {Kuid(c, kShed), Str("greeting")}).text,
              "hello");
}

TEST_F(AssetWorld, TheAssetListOfAKindAndItsWarningWhenThereIsNone) {
    HalvexScriptContext* c = NewContext();
    worldtest::ScriptResult scenery = Run(c, "$int@Test::CountOf(string)", {Str("Scenery")});
    EXPECT_EQ(scenery.AsInt(), 2);
    EXPECT_FALSE(scenery.Logged("found zero assets"));
    worldtest::ScriptResult none = Run(c, "$int@Test::CountOf(string)", {Str("traincar")});
    EXPECT_EQ(none.AsInt(), 0);
    EXPECT_TRUE(none.Logged("World.GetAssetList> warning: found zero assets of type 'traincar'"))
        << ::testing::PrintToString(none.log);
}

TEST_F(AssetWorld, KUIDTablesAreReadInLowerCaseAndTheOptionalTableToo) {
    HalvexScriptContext* c = NewContext();
    EXPECT_EQ(Run(c, "$string@Test::Table(KUID,string)", {Kuid(c, kShed), Str("LOCO")}).text,
              "<kuid:424242:2>");
    EXPECT_EQ(Run(c, "$string@Test::Table(KUID,string)", {Kuid(c, kShed), Str("spare")}).text,
              "<kuid:424242:3>");
    EXPECT_EQ(Run(c, "$string@Test::TableAsset(KUID,string)", {Kuid(c, kShed), Str("Loco")}).text,
              "Test Loco");
    EXPECT_EQ(Run(c, "$string@Test::TableAsset(KUID,string)", {Kuid(c, kShed), Str("spare")}).text,
              "<null>")
        << "listed but not installed";
    for (const char* sig :
         {"$string@Test::Table(KUID,string)", "$string@Test::TableAsset(KUID,string)"}) {
        worldtest::ScriptResult r = Run(c, sig, {Kuid(c, kShed), Str("Nothing")});
        EXPECT_NE(r.result, ER_Done);
        EXPECT_TRUE(r.Logged("Asset.LookupKUIDTable> unable to find 'nothing' in kuid-table"));
        worldtest::ScriptResult empty = Run(c, sig, {Kuid(c, kShed), Str("")});
        EXPECT_TRUE(empty.Logged("empty string at parameter 1"));
    }
}

TEST_F(AssetWorld, FavouritesBuildsRulesAndTheLockedSoup) {
    HalvexScriptContext* c = NewContext();
    EXPECT_EQ(Run(c, "$bool@Test::Favorite(KUID)", {Kuid(c, kShed)}).AsInt(), 0);
    EXPECT_EQ(Run(c, "$bool@Test::SetFavorite(KUID,bool)", {Kuid(c, kShed), 1}).AsInt(), 1)
        << "the record is fetched again";
    EXPECT_EQ(Run(c, "$bool@Test::SetFavorite(KUID,bool)", {Kuid(c, kShed), 0}).AsInt(), 0);
    EXPECT_EQ(Run(c, "$bool@Test::Supports(KUID,float)", {Kuid(c, kShed), FloatWord(3.6f)}).AsInt(),
              1);
    EXPECT_EQ(Run(c, "$bool@Test::Supports(KUID,float)", {Kuid(c, kShed), FloatWord(3.7f)}).AsInt(),
              0);
    EXPECT_EQ(Run(c, "$bool@Test::Supports(KUID,float)", {Kuid(c, kLoco), FloatWord(1.0f)}).AsInt(),
              1);
    EXPECT_EQ(Run(c, "$string@Test::Rule(KUID,string)", {Kuid(c, kShed), Str("NIGHT")}).text,
              "dark");
    EXPECT_EQ(Run(c, "$string@Test::Rule(KUID,string)", {Kuid(c, kShed), Str("day")}).text,
              "<none>");
    worldtest::ScriptResult locked = Run(c, "$void@Test::SetLocked(KUID)", {Kuid(c, kShed)});
    EXPECT_NE(locked.result, ER_Done);
    EXPECT_TRUE(locked.Logged("locked"));
}

TEST_F(AssetWorld, AnAssetTheDatabaseDoesNotResolveIsRememberedAsNone) {
    HalvexScriptContext* c = NewContext();
    EXPECT_EQ(Run(c, "$Asset@Test::Find(KUID)", {Kuid(c, kMissing)}).word, 0u);
    InstallText("late", "kuid <kuid:424242:99>\nkind \"scenery\"\nusername \"Late\"\n");
    EXPECT_EQ(Run(c, "$Asset@Test::Find(KUID)", {Kuid(c, kMissing)}).word, 0u)
        << "the recorded resolution is used without asking again";
    DropContext(c);
    HalvexScriptContext* d = NewContext();
    worldtest::ScriptResult found = Run(d, "$Asset@Test::Find(KUID)", {Kuid(d, kMissing)});
    EXPECT_NE(found.word, 0u) << "the resolutions go with the context's teardown";
    GSRuntime::ReleaseReference(found.word);
}

// The database may answer a KUID with another: the object is the answer's, and the first KUID
// goes straight to it from then on without asking again.
TEST_F(AssetWorld, AKUIDTheDatabaseAnswersWithAnotherIsLookedUpUnderTheAnswer) {
    HalvexScriptContext* c = NewContext();
    const KUID asked(424242, 77);
    GSRuntime::Ref first = 0, again = 0, direct = 0;
    {
        requesttest::ScriptedTransport daemon;
        daemon.Answer(kWEXRequestResolveAssetId, requesttest::Wire().Kuid(424242, 1).bytes());
        first = HalvexWorld::AssetScriptObject(c, asked);
        again = HalvexWorld::AssetScriptObject(c, asked);
        direct = HalvexWorld::AssetScriptObject(c, kShed);
        EXPECT_EQ(daemon.SentWithId(kWEXRequestResolveAssetId).size(), 1u);
    }
    ASSERT_NE(first, 0u);
    EXPECT_EQ(again, first);
    EXPECT_EQ(direct, first);
    auto* object = dynamic_cast<HalvexWorld::GSOAsset*>(GSRuntime::GetOwner(first));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Kuid(), kShed);
    EXPECT_EQ(HalvexWorld::AssetObjectCount(c), 1u);
    for (GSRuntime::Ref r : {first, again, direct})
        GSRuntime::ReleaseReference(r);
}

TEST(AssetFavourites, RatingsFourAndFiveAreFavourites) {
    for (int rating = 0; rating <= 255; ++rating)
        EXPECT_EQ(HalvexWorld::IsFavoriteRating(static_cast<uint8_t>(rating)),
                  rating == 4 || rating == 5)
            << rating;
}

}  // namespace

namespace {

const char* const kHolders = R"(include "Halvex.gs"

game class Holder isclass HalvexGameObject
{
  public SecurityToken Issue(KUID k, string[] words) { return IssueSecurityToken(k, words); }
  public SecurityToken Reissue(SecurityToken t, KUID k, string[] words) { return IssueSecurityToken(t, k, words); }
  public bool Check(SecurityToken t, HalvexGameObject grantor, string word) { return Validate(t, grantor, word); }
  public bool CheckByKUID(SecurityToken t, KUID grantor, string word) { return Validate(t, grantor, word); }
  public SecurityToken Merge(SecurityToken[] tokens) { return MergeSecurityTokens(tokens); }
  public bool OwnerModified(SecurityToken t) { return t.IsOwnerLocallyModified(); }
};
)";

class TokenWorld : public AssetWorld {
protected:
    void SetUp() override {
        AssetWorld::SetUp();
        if (HasFatalFailure()) return;
        context_ = NewContext();
    }
    // A scriptable object of the asset, instantiated as a Holder.
    HalvexWorld::ScriptableObject* Holder(const KUID& asset) {
        auto* object = new HalvexWorld::ScriptableObject(HalvexWorld::FindOrLoadSpec(asset));
        EXPECT_TRUE(object->Instantiate(Class("h.gsl", "Holder"), context_));
        holders_.push_back(object);
        return object;
    }
    void TearDown() override {
        for (auto* h : holders_)
            GSRuntime::ReleaseReference(h->instance);
        AssetWorld::TearDown();
    }
    worldtest::ScriptResult On(HalvexWorld::ScriptableObject* o, const char* signature,
                               const std::vector<uint32_t>& args) {
        return CallOn(context_, o, signature, args);
    }
    // A string array of the words (null for a null element), handed to the call.
    uint32_t Words(const std::vector<const char*>& words) {
        GSRuntime::Ref array = GSRuntime::GSArray::Make(context_, 1);
        auto* a = GSRuntime::GSArray::From(array);
        a->Resize(static_cast<int32_t>(words.size()));
        for (size_t i = 0; i < words.size(); ++i)
            a->elements[i] = words[i] ? GSRuntime::GSString::Make(words[i]) : 0;
        return array;
    }
    uint32_t Tokens(const std::vector<uint32_t>& tokens) {
        GSRuntime::Ref array = GSRuntime::GSArray::Make(context_, 1);
        auto* a = GSRuntime::GSArray::From(array);
        a->Resize(static_cast<int32_t>(tokens.size()));
        for (size_t i = 0; i < tokens.size(); ++i)
            a->elements[i] = Hold(tokens[i]);
        return array;
    }
    // Another reference to a token the test keeps, for handing to a call.
    static uint32_t Hold(uint32_t ref) {
        if (ref) GSRuntime::AddReference(ref);
        return ref;
    }
    uint32_t Issue(HalvexWorld::ScriptableObject* by, const KUID& to,
                   const std::vector<const char*>& words) {
        worldtest::ScriptResult r = On(by, "$SecurityToken@Holder::Issue(KUID,string[])",
                                       {Kuid(context_, to), Words(words)});
        EXPECT_EQ(r.result, ER_Done);
        kept_.push_back(r.word);
        return r.word;
    }
    uint32_t Reissue(HalvexWorld::ScriptableObject* by, uint32_t token, const KUID& to,
                     const std::vector<const char*>& words) {
        worldtest::ScriptResult r =
            On(by, "$SecurityToken@Holder::Reissue(SecurityToken,KUID,string[])",
               {Hold(token), Kuid(context_, to), Words(words)});
        EXPECT_EQ(r.result, ER_Done);
        kept_.push_back(r.word);
        return r.word;
    }
    bool Check(HalvexWorld::ScriptableObject* by, uint32_t token,
               HalvexWorld::ScriptableObject* grantor, const char* word) {
        GSRuntime::AddReference(grantor->instance);
        return On(by, "$bool@Holder::Check(SecurityToken,HalvexGameObject,string)",
                  {Hold(token), grantor->instance, Str(word)})
                   .AsInt() != 0;
    }
    bool CheckByKUID(HalvexWorld::ScriptableObject* by, uint32_t token, const KUID& grantor,
                     const char* word) {
        return On(by, "$bool@Holder::CheckByKUID(SecurityToken,KUID,string)",
                  {Hold(token), Kuid(context_, grantor), Str(word)})
                   .AsInt() != 0;
    }
    static HalvexWorld::GSOSecurityToken* Token(uint32_t ref) {
        return ref ? dynamic_cast<HalvexWorld::GSOSecurityToken*>(GSRuntime::GetOwner(ref))
                   : nullptr;
    }

    HalvexScriptContext* context_ = nullptr;
    std::vector<HalvexWorld::ScriptableObject*> holders_;
    std::vector<uint32_t> kept_;
};

TEST_F(TokenWorld, AGrantIsSeenOnlyByTheAssetItWasGivenTo) {
    BuildLibraries({{"h.gs", kHolders}});
    auto* x = Holder(kShed);
    auto* shed = Holder(kShed);
    auto* loco = Holder(kLoco);
    const uint32_t t = Issue(x, kShed, {"a", "b"});
    EXPECT_TRUE(Check(shed, t, x, "a"));
    EXPECT_FALSE(Check(shed, t, x, "c"));
    EXPECT_FALSE(Check(shed, t, x, ""));
    EXPECT_FALSE(Check(loco, t, x, "a"));
    EXPECT_FALSE(Check(shed, t, loco, "a")) << "loco granted nothing";
    EXPECT_TRUE(CheckByKUID(shed, t, kShed, "b"));
    EXPECT_FALSE(CheckByKUID(shed, t, kLoco, "b"));
    // A permission array holding x, null and x again gives the set of the one word x.
    const uint32_t once = Issue(x, kShed, {"x", nullptr, "x"});
    const auto& grants = Token(once)->GetGrants();
    ASSERT_EQ(grants.size(), 1u);
    EXPECT_EQ(grants.begin()->second.table.at(kShed),
              HalvexWorld::GSOSecurityToken::PermissionSet{"x"});
}

TEST_F(TokenWorld, ValidateByKUIDTakesTheFirstGrantorInKeyOrder) {
    BuildLibraries({{"h.gs", kHolders}});
    auto* x1 = Holder(kLoco);
    auto* x2 = Holder(kLoco);
    auto* shed = Holder(kShed);
    const uint32_t merged = On(x1, "$SecurityToken@Holder::Merge(SecurityToken[])",
                               {Tokens({Issue(x1, kShed, {"one"}), Issue(x2, kShed, {"two"})})})
                                .word;
    kept_.push_back(merged);
    const bool x1First = static_cast<const void*>(x1) < static_cast<const void*>(x2);
    EXPECT_EQ(CheckByKUID(shed, merged, kLoco, "one"), x1First);
    EXPECT_EQ(CheckByKUID(shed, merged, kLoco, "two"), !x1First);
}

TEST_F(TokenWorld, ReIssuingNeedsTheRightToAndGrantsNoMoreThanItHolds) {
    BuildLibraries({{"h.gs", kHolders}});
    auto* x = Holder(kShed);
    auto* holder = Holder(kLoco);
    auto* stranger = Holder(kLoco);
    auto* shed = Holder(kShed);
    const uint32_t plain = Issue(x, kShed, {"a"});
    {
        testsupport::LogLines log;
        EXPECT_EQ(Reissue(stranger, plain, kShed, {"a"}), 0u);
        ASSERT_FALSE(log.lines.empty());
        EXPECT_NE(log.lines.back().find("GSOSecurityToken::ReIssueToken> Unauthorised attempt "
                                        "made to re-issue security token (<kuid:424242:2>)"),
                  std::string::npos);
    }
    {
        testsupport::LogLines log;
        EXPECT_EQ(Reissue(x, plain, kShed, {}), 0u);
        EXPECT_EQ(Reissue(x, plain, kShed, {nullptr, nullptr}), 0u);
        EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    }
    // The holder's grant carries "duplicate-token" and a: asking for a and b grants only a.
    const uint32_t right = Issue(x, kLoco, {"duplicate-token", "a"});
    const uint32_t passed = Reissue(holder, right, kShed, {"a", "b"});
    ASSERT_NE(passed, 0u);
    EXPECT_TRUE(Check(shed, passed, holder, "a"));
    EXPECT_FALSE(Check(shed, passed, holder, "b"));
    EXPECT_FALSE(Check(shed, passed, holder, "duplicate-token"));
    const uint32_t onward = Reissue(holder, right, kShed, {"duplicate-token"});
    EXPECT_TRUE(Check(shed, onward, holder, "duplicate-token"));
    EXPECT_FALSE(Check(shed, onward, holder, "a"));
    // A grantor without the right narrows its own grant for its own asset and adds nothing.
    const uint32_t own = Issue(x, kShed, {"a", "b", "c"});
    const uint32_t narrowed = Reissue(x, own, kLoco, {"b", "z"});
    ASSERT_NE(narrowed, 0u);
    EXPECT_TRUE(Check(shed, narrowed, x, "b"));
    EXPECT_FALSE(Check(shed, narrowed, x, "a"));
    EXPECT_FALSE(Check(shed, narrowed, x, "z"));
    EXPECT_EQ(Token(narrowed)->GetGrants().at(x).table.count(kLoco), 0u);
    EXPECT_TRUE(Check(shed, own, x, "a")) << "the token it came from is unchanged";
}

TEST_F(TokenWorld, MergingUnitesTheGrantsOfEveryToken) {
    BuildLibraries({{"h.gs", kHolders}});
    auto* x = Holder(kShed);
    auto* y = Holder(kLoco);
    auto* shed = Holder(kShed);
    const uint32_t t1 = Issue(x, kShed, {"a"});
    const uint32_t t2 = Issue(x, kShed, {"b"});
    const uint32_t t3 = Issue(y, kShed, {"c"});
    const uint32_t merged =
        On(shed, "$SecurityToken@Holder::Merge(SecurityToken[])", {Tokens({0, t1, t2, t3})}).word;
    kept_.push_back(merged);
    ASSERT_NE(merged, 0u);
    for (const char* w : {"a", "b"})
        EXPECT_TRUE(Check(shed, merged, x, w)) << w;
    EXPECT_TRUE(Check(shed, merged, y, "c"));
    EXPECT_FALSE(Check(shed, t1, x, "b")) << "merging changes no token";
    EXPECT_EQ(On(shed, "$SecurityToken@Holder::Merge(SecurityToken[])", {Tokens({0, 0})}).word, 0u);
    EXPECT_EQ(On(shed, "$bool@Holder::OwnerModified(SecurityToken)", {Hold(merged)}).AsInt(), 0);
}

}  // namespace

namespace {

TEST(ScriptableObjectWrapper, TheWrapperTextOfAnAssetWithAndWithoutAScript) {
    std::string text, error;
    ASSERT_TRUE(
        HalvexWorld::ScriptableObject::MakeWrapperText("MyShed.gse", "MyShed", text, error));
    EXPECT_EQ(
        text,
        "include \"Halvex.gs\"\n\ninclude \"MyShed.gs\"\n\nclass CustomObject isclass MyShed\n"
        "{\n  public void Init(Asset self)\n  {\n    inherited(self);\n    //...\n  }\n};\n\n");
    ASSERT_TRUE(HalvexWorld::ScriptableObject::MakeWrapperText("", "", text, error));
    EXPECT_EQ(
        text,
        "include \"Halvex.gs\"\n\ninclude \"gs.gs\"\n\nclass CustomObject isclass GameObject\n"
        "{\n  public void Init(Asset self)\n  {\n    inherited(self);\n    //...\n  }\n};\n\n");
}

TEST(ScriptableObjectWrapper, NamesThatWouldChangeTheSourceAreRefusedNotPasted) {
    const struct {
        const char* file;
        const char* cls;
    } refused[] = {{"a\"b.gs", "A"},  {"a\nb.gs", "A"}, {"a\rb.gs", "A"}, {"sub/a.gs", "A"},
                   {"..\\a.gs", "A"}, {"a.gs", "A\""},  {"a.gs", "A\n"},  {"a.gs", "A B"},
                   {"a.gs", "A{}"},   {"a.gs", "x/y"}};
    for (const auto& r : refused) {
        std::string text = "untouched", error;
        EXPECT_FALSE(HalvexWorld::ScriptableObject::MakeWrapperText(r.file, r.cls, text, error))
            << r.file << " " << r.cls;
        EXPECT_EQ(text, "untouched");
        EXPECT_FALSE(error.empty());
    }
}

const char* const kShedScript = R"(include "Halvex.gs"

game class ShedScript isclass HalvexGameObject
{
  public string seen = "";
  public void Init(Asset asset) { inherited(asset); seen = seen + "init:" + GetAsset().GetLocalisedName(); }
  public void SetProperties(Soup soup) { seen = seen + "|colour:" + soup.GetNamedTag("colour"); }
  public string Seen() { return seen; }
};
)";

const char* const kLibraryScript = R"(include "Halvex.gs"
include "sharedsoups.gs"

game class MyLib isclass Library
{
  public int inits = 0;
  public void Init(Asset asset) { inherited(asset); inits = inits + 1; }
  public string Inits(string[] s, GSObject[] o) { return "" + inits; }
  public string Echo(string[] s, GSObject[] o) { return LibraryCallNative("Echo", s, o); }
  public string Nothing(string[] s, GSObject[] o) { return LibraryCallNative("NoSuchFunction", s, o); }
  public string Online(string[] s, GSObject[] o) { GetOnlineAccess(); return "reached"; }
  public string Menus(string[] s, GSObject[] o) { AddSystemMenuIcon(null, "a", "b"); BlinkSystemMenuIcon(2); RemoveSystemMenuIcon(); HideSystemMenuIconMenu(); return "quiet"; }
  // Properties of `levels` soups above a leaf, each holding the one below twice.
  public int levels = 0;
  public string Deepen(string[] s, GSObject[] o) { levels = 40; return ""; }
  public Soup GetProperties() { return SharedSoups.Doubled(levels); }
};
)";

const char* const kFailingLibrary = R"(include "Halvex.gs"

game class BadLib isclass Library
{
  public void Init(Asset asset) { Soup none = null; none.GetNamedTag("refused"); }
};
)";

const char* const kLibraryUser = R"(include "Halvex.gs"

class User isclass HalvexScriptBase
{
  public Library Lib(KUID k) { return GetLibrary(k); }
};
)";

class ObjectWorld : public ScriptWorld {
protected:
    void SetUp() override {
        ScriptWorld::SetUp();
        if (HasFatalFailure()) return;
        const fs::path plugins = fs::path(Install()) / "bin/plugins";
        fs::create_directories(plugins);
        fs::copy_file(fs::path(HALVEX_TEST_PLUGIN_DIR) / "hnitest.so", plugins / "mylib.so");
        BuildLibraries({{"shedscript.gs", kShedScript},
                        {"sharedsoups.gs", ScriptNatives::testing::kSharedSoupsModule},
                        {"mylib.gs", kLibraryScript},
                        {"badlib.gs", kFailingLibrary},
                        {"u.gs", kLibraryUser}});
        InstallScripted("scripted", kScripted, "scenery", "shedscript.gs", "ShedScript",
                        kShedScript);
        InstallScripted("mylib", kLib, "library", "mylib.gs", "MyLib", kLibraryScript);
        InstallScripted("badlib", kBadLib, "library", "badlib.gs", "BadLib", kFailingLibrary);
    }
    void InstallScripted(const std::string& name, const KUID& kuid, const char* kind,
                         const char* script, const char* cls, const char* text) {
        const std::string folder = Source(name);
        fs::create_directories(folder);
        std::ofstream(folder + "/config.txt", std::ios::binary)
            << "kuid " << kuid.ToString().c_str() << "\nkind \"" << kind << "\"\nusername \""
            << name << "\"\nscript \"" << script << "\"\nclass \"" << cls << "\"\n";
        std::ofstream(folder + "/" + script, std::ios::binary) << text;
        Install(folder);
    }
    // A script method found in the object's class or its bases; its string result.
    std::string CallString(GSRuntime::GSContext* c, GSRuntime::GSObject* o, const char* sig,
                           GSRuntime::Ref strings = 0, bool withArrays = false) {
        uint32_t result = 0;
        uint32_t args[2] = {strings, 0};
        GSRuntime::SetCurrentContext(c);
        const bool ran = GSRuntime::CallMethodBySignature(
            c, GSRuntime::GetHeader(o->instance)->cls, o->instance, sig,
            withArrays ? args : nullptr, withArrays ? 2 : 0, &result);
        if (!ran) return "<failed>";
        std::string text = result ? GSRuntime::GSString::From(result)->text : "<null>";
        GSRuntime::ReleaseReference(result);
        return text;
    }

    // GetLibrary of the KUID, run by a script of the context.
    worldtest::ScriptResult Lib(HalvexScriptContext* c, const KUID& kuid) {
        return Call(c, "User", "$Library@User::Lib(KUID)", {Kuid(c, kuid)});
    }

    static inline const KUID kScripted{424242, 10};
    static inline const KUID kLib{424242, 11};
    static inline const KUID kBadLib{424242, 12};
};

TEST_F(ObjectWorld, AScriptedAssetIsCompiledInstantiatedInitialisedAndGivenItsProperties) {
    HalvexScriptContext* c = NewContext();
    auto* object = new HalvexWorld::ScriptableObject(HalvexWorld::FindOrLoadSpec(kScripted));
    TDBContainerTag::SetString(object->properties, Kiv::PString("colour"), Kiv::PString("red"));
    testsupport::LogLines log;
    ASSERT_TRUE(object->BringUp(c, Scripts())) << ::testing::PrintToString(log.lines);
    EXPECT_TRUE(object->state & HalvexWorld::ScriptableObject::kInstantiated);
    EXPECT_TRUE(object->propertiesSet);
    EXPECT_TRUE(fs::exists(fs::path(Install()) / "UserData/cache/temp_object.gsl"));
    EXPECT_EQ(CallString(c, object, "$string@ShedScript::Seen()"), "init:scripted|colour:red");
    EXPECT_TRUE(object->SetProperties()) << "given once";
    EXPECT_EQ(CallString(c, object, "$string@ShedScript::Seen()"), "init:scripted|colour:red");
    GSRuntime::ReleaseReference(object->instance);
}

TEST_F(ObjectWorld, AnObjectWithItsOwnSourceCompilesThatText) {
    HalvexScriptContext* c = NewContext();
    auto* object = new HalvexWorld::ScriptableObject(HalvexWorld::FindOrLoadSpec(kScripted));
    object->ownSource =
        "include \"Halvex.gs\"\n\ngame class CustomObject isclass HalvexGameObject\n{\n"
        "  public string Own() { return \"own\"; }\n};\n";
    ASSERT_TRUE(object->Compile(c, Scripts()));
    EXPECT_EQ(CallString(c, object, "$string@CustomObject::Own()"), "own");
    GSRuntime::ReleaseReference(object->instance);
}

TEST_F(ObjectWorld, AnUnsafeScriptNameLeavesTheObjectWithoutAScript) {
    HalvexScriptContext* c = NewContext();
    const std::string folder = Source("unsafe");
    fs::create_directories(folder);
    std::ofstream(folder + "/config.txt", std::ios::binary)
        << "kuid <kuid:424242:13>\nkind \"scenery\"\nusername \"unsafe\"\n"
           "script \"x.gs\\\"\\ninclude \\\"evil.gs\"\nclass \"ShedScript\"\n";
    Install(folder);
    auto* object = new HalvexWorld::ScriptableObject(HalvexWorld::FindOrLoadSpec(KUID(424242, 13)));
    testsupport::LogLines log;
    EXPECT_FALSE(object->BringUp(c, Scripts()));
    EXPECT_EQ(object->instance, 0u);
    bool refused = false;
    for (const std::string& l : log.lines)
        refused |= l.find("ScriptableObject::Compile>") != std::string::npos;
    EXPECT_TRUE(refused);
    delete object;
}

TEST_F(ObjectWorld, ALibraryIsOneObjectPerContextWhoseInitRunsOnce) {
    HalvexScriptContext* c = NewContext();
    worldtest::ScriptResult first = Lib(c, kLib);
    worldtest::ScriptResult second = Lib(c, kLib);
    ASSERT_NE(first.word, 0u) << ::testing::PrintToString(first.log);
    EXPECT_EQ(first.word, second.word);
    ASSERT_EQ(c->Libraries().size(), 1u);
    HalvexWorld::GSOLibrary* lib = c->Libraries()[0];
    EXPECT_EQ(CallString(c, lib, "$string@MyLib::Inits(string[],GSObject[])", 0, true), "1");
    EXPECT_EQ(lib->LibraryCall("Inits", 0, 0), "1");
    HalvexScriptContext* other = NewContext();
    worldtest::ScriptResult elsewhere = Lib(other, kLib);
    EXPECT_NE(elsewhere.word, first.word);
    for (uint32_t w : {first.word, second.word, elsewhere.word})
        GSRuntime::ReleaseReference(w);
}

TEST_F(ObjectWorld, LibraryFailuresAreLoggedAndGiveNoLibrary) {
    HalvexScriptContext* c = NewContext();
    testsupport::LogLines log;
    EXPECT_EQ(Lib(c, kBadLib).word, 0u);
    EXPECT_EQ(Lib(c, kMissing).word, 0u);
    EXPECT_EQ(Call(c, "User", "$Library@User::Lib(KUID)", {0}).result, GSRuntime::ER_Exception);
    EXPECT_TRUE(c->Libraries().empty());
    const std::vector<std::string> expected = {
        "GSOLibrary::CallScriptInit> script Init failed for kuid 424242 12",
        "HalvexScriptContext::GetScriptLibrary> script failure on Library kuid 424242 12",
        "HalvexScriptContext::GetScriptLibrary> unable to find Library kuid 424242 99",
    };
    for (const std::string& line : expected) {
        bool found = false;
        for (const std::string& l : log.lines)
            found |= l.find(line) != std::string::npos;
        EXPECT_TRUE(found) << line;
    }
    c->listLocked = true;
    EXPECT_EQ(Lib(c, kLib).word, 0u);
    bool locked = false;
    for (const std::string& l : log.lines)
        locked |= l.find("HalvexScriptContext::GetScriptLibrary> attempted while list is locked") !=
                  std::string::npos;
    EXPECT_TRUE(locked);
}

// A library asset that is an alias gives the library it names; aliases that name each other
// in a ring give none after a bounded number of steps, never a walk without end.
TEST_F(ObjectWorld, AnAliasGivesTheLibraryItNamesAndARingOfAliasesGivesNone) {
    const KUID toLib(424242, 20), ringA(424242, 21), ringB(424242, 22);
    for (const auto& [name, kuid, to] :
         {std::tuple{"tolib", toLib, kLib}, std::tuple{"ringa", ringA, ringB},
          std::tuple{"ringb", ringB, ringA}}) {
        const std::string folder = Source(name);
        fs::create_directories(folder);
        std::ofstream(folder + "/config.txt", std::ios::binary)
            << "kuid " << kuid.ToString().c_str() << "\nkind \"library\"\nusername \"" << name
            << "\"\nalias " << to.ToString().c_str() << "\n";
        Install(folder);
    }
    HalvexScriptContext* c = NewContext();
    testsupport::LogLines log;
    EXPECT_EQ(Lib(c, ringA).word, 0u);
    bool stopped = false;
    for (const std::string& l : log.lines)
        stopped |= l.find(
                       "HalvexScriptContext::GetScriptLibrary> alias loop at Library kuid "
                       "424242 2") != std::string::npos;
    EXPECT_TRUE(stopped) << ::testing::PrintToString(log.lines);
    EXPECT_TRUE(c->Libraries().empty());

    worldtest::ScriptResult via = Lib(c, toLib);
    EXPECT_NE(via.word, 0u) << ::testing::PrintToString(via.log);
    ASSERT_EQ(c->Libraries().size(), 1u);
    EXPECT_EQ(c->Libraries()[0]->spec->Kuid(), kLib);
    GSRuntime::ReleaseReference(via.word);
}

TEST_F(ObjectWorld, LibraryCallsByNameAndIntoTheNativePlugIn) {
    HalvexScriptContext* c = NewContext();
    worldtest::ScriptResult got = Lib(c, kLib);
    ASSERT_NE(got.word, 0u);
    HalvexWorld::GSOLibrary* lib = c->Libraries()[0];
    testsupport::LogLines log;
    EXPECT_EQ(lib->LibraryCall("NoSuch", 0, 0), "");
    ASSERT_FALSE(log.lines.empty());
    EXPECT_NE(log.lines.back().find(
                  "Library.LibraryCall> unknown function 'NoSuch' was called on object"),
              std::string::npos);
    GSRuntime::SetCurrentContext(c);
    GSRuntime::Ref words = GSRuntime::GSArray::Make(c, 1);
    auto* a = GSRuntime::GSArray::From(words);
    a->Resize(2);
    a->elements[0] = GSRuntime::GSString::Make("left");
    a->elements[1] = GSRuntime::GSString::Make("right");
    EXPECT_EQ(lib->LibraryCall("Echo", words, 0), "left|right");
    EXPECT_EQ(lib->LibraryCall("Nothing", words, 0), "");
    EXPECT_EQ(lib->LibraryCall("Menus", 0, 0), "quiet");
    // This world has no OnlineAccess class: the library gets none, and says why.
    testsupport::LogLines online;
    EXPECT_EQ(lib->LibraryCall("Online", 0, 0), "reached");
    bool unloaded = false;
    for (const std::string& l : online.lines)
        unloaded |= l.find("Library.GetOnlineAccess> the OnlineAccess class is not loaded") !=
                    std::string::npos;
    EXPECT_TRUE(unloaded);
    GSRuntime::ReleaseReference(words);
    GSRuntime::ReleaseReference(got.word);
    DropContext(c);
    EXPECT_EQ(HalvexPlugins::PluginAllocatedBytes(), 0) << "the library let go of its plug-in";
}

// A library's properties are copied out of the script; shared sub-soups that would expand past
// the soup walk's cap are refused (an empty tree and a log line), never copied.
TEST_F(ObjectWorld, LibraryPropertiesThatSharedSoupsWouldExplodeAreRefused) {
    HalvexScriptContext* c = NewContext();
    worldtest::ScriptResult got = Lib(c, kLib);
    ASSERT_NE(got.word, 0u);
    HalvexWorld::GSOLibrary* lib = c->Libraries()[0];
    GSRuntime::SetCurrentContext(c);
    EXPECT_EQ(TDBContainerTag::GetInt(lib->GetProperties(), Kiv::PString("leaf"), 0), 1);

    EXPECT_EQ(lib->LibraryCall("Deepen", 0, 0), "");
    testsupport::LogLines log;
    const TDBTagRef refused = lib->GetProperties();
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->GetChildCount(), 0u);
    bool said = false;
    for (const std::string& l : log.lines)
        said |= l.find(
                    "GSOLibrary::GetProperties> properties of kuid 424242 11 hold more than "
                    "1000000 tags") != std::string::npos;
    EXPECT_TRUE(said) << ::testing::PrintToString(log.lines);
    EXPECT_EQ(log.lines.size(), 1u) << ::testing::PrintToString(log.lines);
    GSRuntime::ReleaseReference(got.word);
    DropContext(c);
}

}  // namespace

namespace {

TEST_F(TokenWorld, AnOwnerIsLocallyModifiedWhenAnAssetItGrantsToIs) {
    BuildLibraries({{"h.gs", kHolders}});
    WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kLoco, false, 0);
    Kiv::String folder;
    ASSERT_TRUE(WEXClient::GetHandlePath(handle, folder));
    std::ofstream(folder.str() + "/config.txt", std::ios::app) << "description \"edited\"\n";
    ASSERT_TRUE(WEXClient::CommitAsset(handle, 0, nullptr, nullptr));
    ASSERT_TRUE(WEXAssetIsLocallyModified(kLoco));
    auto* x = Holder(kShed);
    const uint32_t toShed = Issue(x, kShed, {"a"});
    const uint32_t toLoco = Issue(x, kLoco, {"a"});
    EXPECT_EQ(On(x, "$bool@Holder::OwnerModified(SecurityToken)", {Hold(toShed)}).AsInt(), 0);
    EXPECT_EQ(On(x, "$bool@Holder::OwnerModified(SecurityToken)", {Hold(toLoco)}).AsInt(), 1);
}

}  // namespace
