// Checks of the validator's shipped data (data/DUVData): each template file parses; every name
// an entry gives ("inherit", "element-type", "container-typeN") is a definition; inheritance has
// no cycle; every "type" is a datatype, every "validation" child a rule, every "source" a list
// or a registry, every "compulsory" 0 or a build; and every kind and container the validator
// and the upgrader reach has its definition.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/find.h"
#include "validation/container.h"
#include "validation/tag.h"

namespace {

const char* const kFiles[] = {"inheritance.txt", "kind.txt", "container.txt"};

const std::set<std::string> kDatatypes = {
    "float",        "string",      "int",          "bool",        "vector2",
    "vector3",      "rgb",         "vector4",      "vector5",     "floatlist",
    "combobox",     "intcombobox", "listbox",      "kuid",        "stringkuid",
    "doublestring", "filepath",    "filepathedit", "kuidbrowser", "stringkuidbrowser"};

const std::set<std::string> kRegistries = {"attachment", "mesh-table", "attached-track", "queues"};

// Every kind the asset vocabulary names, and the names the asset check derives.
const char* const kKinds[] = {"fixedtrack",
                              "bridge",
                              "spline",
                              "track",
                              "groundbrush",
                              "groundtexture",
                              "map",
                              "industry",
                              "profile",
                              "tutorial",
                              "scenery",
                              "mospeedboard",
                              "mosignal",
                              "mojunction",
                              "mocrossing",
                              "buildable",
                              "turntable",
                              "traincar",
                              "consist",
                              "water2",
                              "environment",
                              "engine",
                              "steam-engine",
                              "bogey",
                              "interior",
                              "pantograph",
                              "hornsound",
                              "enginesound",
                              "region",
                              "activity",
                              "behavior",
                              "drivercharacter",
                              "drivercommand",
                              "library",
                              "hni-render-plugin",
                              "servlet",
                              "gameplaymenu",
                              "product",
                              "product-category",
                              "html-asset",
                              "mesh",
                              "texture",
                              "texture-group",
                              "tracksound",
                              "achievement-group",
                              "achievement-category",
                              "htmlasset",
                              "tintwerk-template",
                              "double-track",
                              "tunnel",
                              "chunky-track",
                              "mesh-reducing-track",
                              "obsolete-track",
                              "scenery-trackside"};

// Containers the sub-container forms name, and what the upgrader builds.
const char* const kContainers[] = {
    "smoke",        "mesh-element", "effect-corona", "effect-attachment",
    "string-table", "mesh-table",   "bogeys",        "attached-track",
    "thumbnails",   "cameralist",   "kuid-table",    "obsolete-table",
    "effects",      "lights",       "sound"};

// Tags that must have an entry somewhere: what the upgrader writes and what the rules read.
const char* const kTags[] = {"kuid",
                             "kind",
                             "username",
                             "description",
                             "halvex-build",
                             "category-class",
                             "category-region",
                             "category-era",
                             "license",
                             "author",
                             "script",
                             "class",
                             "texture",
                             "asset-filename",
                             "mesh",
                             "auto-create",
                             "anim",
                             "animation-loop-speed",
                             "night-mesh-base",
                             "att",
                             "att-parent",
                             "name",
                             "bogey",
                             "reversed",
                             "track",
                             "useadjoiningtracktype",
                             "image",
                             "width",
                             "height",
                             "cameradefault",
                             "type",
                             "collate-meshes",
                             "initial-count",
                             "fontcolor",
                             "fontsize",
                             "rate",
                             "lifetime",
                             "maxsize",
                             "minsize",
                             "velocity",
                             "file"};

struct Data {
    std::map<std::string, TDBTagRef> definitions;
    std::set<std::string> lists;
    std::vector<std::string> problems;
};

const Data& Shipped() {
    static const Data data = [] {
        Data d;
        for (const char* file : kFiles) {
            TDBTagRef tree;
            const std::string path = std::string(HALVEX_DUV_SOURCE_DIR) + "/" + file;
            if (!ReadConfigFile("", path, tree, "txt") ||
                TDBContainerTag::CountChildren(tree) == 0) {
                d.problems.push_back(std::string(file) + " does not parse");
                continue;
            }
            for (uint32_t i = 0, n = TDBContainerTag::CountChildren(tree); i < n; ++i) {
                const std::string name = TDBContainerTag::GetChildName(tree, i).str();
                const TDBTagRef def = TDBContainerTag::GetContainerAt(tree, i);
                if (def.IsEmpty()) d.problems.push_back(name + " in " + file + " is no container");
                if (d.definitions.count(name))
                    d.problems.push_back(name + " is defined twice (" + file + ")");
                d.definitions[name] = def;
            }
        }
        Kiv::File::Find find;
        if (find.Open(std::string(HALVEX_DUV_SOURCE_DIR) + "/lists/*.*"))
            for (bool more = find.IsValid(); more; more = find.Next())
                if (!find.IsDirectory()) d.lists.insert(find.GetName());
        return d;
    }();
    return data;
}

bool Defined(const std::string& name) {
    return Shipped().definitions.count(name) != 0;
}

std::set<std::string> RuleNames() {
    std::set<std::string> rules;
    for (const DUVLib::TagRuleRow& row : DUVLib::TagRuleTable())
        rules.insert(row.name.str());
    for (const DUVLib::ContainerRuleRow& row : DUVLib::ContainerRuleTable())
        rules.insert(row.name.str());
    return rules;
}

// Walks every node of a definition, handing each container with its name and place.
void Walk(
    const TDBTagRef& node, const std::string& where,
    const std::function<void(const std::string&, const TDBTagRef&, const std::string&)>& visit) {
    for (uint32_t i = 0, n = TDBContainerTag::CountChildren(node); i < n; ++i) {
        const std::string name = TDBContainerTag::GetChildName(node, i).str();
        const TDBTagRef child = TDBContainerTag::GetContainerAt(node, i);
        if (child.IsEmpty()) continue;
        visit(name, child, where + "/" + name);
        Walk(child, where + "/" + name, visit);
    }
}

TEST(DUVDataFileTest, EveryFileParsesAndEveryNameItGivesIsADefinition) {
    const Data& data = Shipped();
    EXPECT_EQ(data.problems, std::vector<std::string>{});
    ASSERT_FALSE(data.definitions.empty());
    ASSERT_FALSE(data.lists.empty());
    const std::set<std::string> rules = RuleNames();
    std::vector<std::string> faults;
    auto text = [](const TDBTagRef& c, const char* key) {
        return TDBContainerTag::GetString(c, Kiv::PString(key)).str();
    };
    // A key's value; an entry of the same name (a container: the tag "type" has one) is not.
    auto has = [](const TDBTagRef& c, const char* key) {
        const uint32_t type = TDBContainerTag::GetTagType(c, Kiv::PString(key));
        return type != 0 && type != 1;
    };
    for (const auto& [defName, def] : data.definitions) {
        auto visit = [&](const std::string& name, const TDBTagRef& c, const std::string& where) {
            if (name == "inherit") {
                for (uint32_t i = 0, n = TDBContainerTag::CountChildren(c); i < n; ++i) {
                    const std::string parent = TDBContainerTag::GetChildName(c, i).str();
                    if (!Defined(parent)) faults.push_back(where + " inherits unknown " + parent);
                }
                return;
            }
            if (name == "validation") {
                for (uint32_t i = 0, n = TDBContainerTag::CountChildren(c); i < n; ++i) {
                    const std::string rule = TDBContainerTag::GetChildName(c, i).str();
                    if (!rules.count(rule)) faults.push_back(where + " names no rule: " + rule);
                }
                return;
            }
            if (has(c, "type") && !kDatatypes.count(text(c, "type")))
                faults.push_back(where + " has type " + text(c, "type"));
            if (has(c, "element-type") && !Defined(text(c, "element-type")))
                faults.push_back(where + " has element-type " + text(c, "element-type"));
            if (has(c, "source")) {
                const std::string source = text(c, "source");
                if (!kRegistries.count(source) && !data.lists.count(source))
                    faults.push_back(where + " has source " + source);
            }
            if (has(c, "compulsory")) {
                const float v = TDBContainerTag::GetFloat(c, Kiv::PString("compulsory"), 0.0f);
                if (v != 0.0f && v < 1.0f) faults.push_back(where + " has compulsory below 1");
            }
            // "container-type0" onward: read by index, so numbered from 0 without gaps.
            uint32_t typed = 0;
            for (uint32_t i = 0, n = TDBContainerTag::CountChildren(c); i < n; ++i)
                if (TDBContainerTag::GetChildName(c, i).view().starts_with("container-type"))
                    ++typed;
            for (uint32_t k = 0; k < typed; ++k) {
                const std::string key = "container-type" + std::to_string(k);
                if (!has(c, key.c_str()))
                    faults.push_back(where + " lacks " + key);
                else if (!Defined(text(c, key.c_str())))
                    faults.push_back(where + " " + key + " names no definition");
            }
        };
        visit(defName, def, defName);
        Walk(def, defName, visit);
    }
    EXPECT_EQ(faults, std::vector<std::string>{});
}

TEST(DUVDataFileTest, InheritanceHasNoCycle) {
    const Data& data = Shipped();
    std::vector<std::string> cycles;
    std::function<void(const std::string&, std::vector<std::string>&)> follow =
        [&](const std::string& name, std::vector<std::string>& path) {
            if (std::find(path.begin(), path.end(), name) != path.end()) {
                cycles.push_back(name);
                return;
            }
            auto it = data.definitions.find(name);
            if (it == data.definitions.end()) return;
            path.push_back(name);
            const TDBTagRef inherit =
                TDBContainerTag::GetContainer(it->second, Kiv::PString("inherit"));
            for (uint32_t i = 0, n = TDBContainerTag::CountChildren(inherit); i < n; ++i)
                follow(TDBContainerTag::GetChildName(inherit, i).str(), path);
            path.pop_back();
        };
    for (const auto& [name, def] : data.definitions) {
        std::vector<std::string> path;
        follow(name, path);
    }
    EXPECT_EQ(cycles, std::vector<std::string>{});
}

TEST(DUVDataFileTest, EveryKindContainerAndTagTheValidatorReachesIsDefined) {
    const Data& data = Shipped();
    for (const char* kind : kKinds) {
        auto it = data.definitions.find(kind);
        ASSERT_NE(it, data.definitions.end()) << kind;
        EXPECT_NE(TDBContainerTag::GetInt(it->second, Kiv::PString("top-level"), 0), 0) << kind;
    }
    for (const char* name : {"water", "tintwerk-skin"})
        EXPECT_FALSE(Defined(name)) << name << " is turned away before any definition is read";
    for (const char* container : kContainers)
        EXPECT_TRUE(Defined(container)) << container;

    std::set<std::string> entries;
    for (const auto& [defName, def] : data.definitions)
        Walk(def, defName, [&](const std::string& name, const TDBTagRef& c, const std::string&) {
            if (name != "subpossibilities" && name != "obsolete-tag") return;
            for (uint32_t i = 0, n = TDBContainerTag::CountChildren(c); i < n; ++i)
                entries.insert(TDBContainerTag::GetChildName(c, i).str());
        });
    for (const char* tag : kTags)
        EXPECT_TRUE(entries.count(tag)) << tag;
}

TEST(DUVDataFileTest, TheStagedFolderHoldsTheShippedFilesAndNoPersonalDetails) {
    for (const char* file : kFiles)
        EXPECT_TRUE(Kiv::File::IsPresent(std::string(HALVEX_DUV_STAGE_DIR) + "/" + file)) << file;
    for (const std::string& list : Shipped().lists)
        EXPECT_TRUE(Kiv::File::IsPresent(std::string(HALVEX_DUV_STAGE_DIR) + "/lists/" + list));
    EXPECT_FALSE(Kiv::File::IsPresent(std::string(HALVEX_DUV_SOURCE_DIR) + "/personalDetails.txt"));
}

}  // namespace
