// The whole check over arbitrary bytes: the bytes are parsed as a configuration text, checked
// against a small fixture of definitions that reach every form of sub-container, inheritance
// (with a cycle), numbered tags, every datatype and every tag and container rule, then exported
// with its value checks and rules. No crash, leak or hang, and no container or tag outlives its
// check.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "configdata/config_text.h"
#include "configdata/tdb_container_tag.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/tag.h"

namespace {

constexpr const char* kKinds = R"(
base
{
  inherit
  {
    loop "1"
  }
  subpossibilities
  {
    kind
    {
      kind "value"
      type "string"
    }
    halvex-build
    {
      kind "value"
      type "float"
    }
    flag
    {
      kind "value"
      type "bool"
    }
    item0
    {
      kind "value"
      type "int"
      sequence "1"
    }
    need
    {
      kind "value"
      type "int"
      compulsory "3.5"
    }
    pick
    {
      kind "value"
      type "listbox"
      source "words.txt"
    }
    id
    {
      kind "value"
      type "kuid"
    }
  }
}
loop
{
  inherit
  {
    base "1"
  }
}
scenery
{
  top-level "1"
  inherit
  {
    base "1"
  }
  obsolete-tag
  {
    old
    {
      obsolete-version "3.0"
    }
  }
  validation { uniquenames { } meshtablehasshadow { } meshtablehasvisiblemesh { } }
  subpossibilities
  {
    box
    {
      kind "element"
      element-type "box"
    }
    typed
    {
      container-type0 "box"
      container-type1 "other"
    }
    puff
    {
      icon "smoke"
    }
    rows
    {
      numarray "1"
      kind "element"
      element-type "box"
    }
    lost
    {
      kind "element"
      element-type "nowhere"
    }
  }
}
box
{
  array-element
  {
    container-type0 "other"
  }
  subpossibilities
  {
    box
    {
      kind "element"
      element-type "box"
    }
    label
    {
      kind "value"
      type "string"
      default "parent"
      validation { mustbepaired { 0 "label" 1 "box" } notownparent { } }
    }
    f { kind "value" type "float" validation { range { min "-1" max "1" } isnotzero { } } }
    v { kind "value" type "vector3" validation { ispositive { } } }
    fl { kind "value" type "floatlist" validation { arraysize { size "2" } } }
    file { kind "value" type "string" validation { fileexists { } } }
    script { kind "value" type "string" validation { scriptfileexists { } } }
    lamp { kind "value" type "string" validation { mustbeinlightcontainer { } } }
    att { kind "value" type "combobox" source "attachment" validation { mustbeownparent { } } }
    side { kind "value" type "string" validation { istracksidetype { } isnottraincar { } needcollatemeshes { } } }
    k { kind "value" type "kuidbrowser" }
    sk { kind "value" type "stringkuid" }
    skb { kind "value" type "stringkuidbrowser" }
    ds { kind "value" type "doublestring" }
    ic { kind "value" type "intcombobox" source "words.txt" }
    cb { kind "value" type "combobox" source "words.txt" }
    mt { kind "value" type "combobox" source "mesh-table" }
    fp { kind "value" type "filepath" datatype "meshes" }
    fe { kind "value" type "filepathedit" datatype "image" }
    an { kind "value" type "filepath" datatype "animation" }
    v2 { kind "value" type "vector2" }
    v4 { kind "value" type "vector4" }
    v5 { kind "value" type "vector5" }
    c { kind "value" type "rgb" }
  }
  validation { uniquenames { } hasvalidtexturefile { } }
  tagarray
  {
    type "float"
  }
}
other
{
  subpossibilities
  {
    kind
    {
      type "string"
    }
  }
}
smoke
{
  subpossibilities
  {
    rate
    {
      kind "value"
      type "float"
      compulsory "1"
    }
  }
}
)";

bool Setup() {
    char folder[] = "/tmp/halvex-check-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) std::abort();
    const std::string data = std::string(folder) + "/DUVData/";
    const std::string lists = data + "lists/";
    if (std::system(("mkdir -p '" + lists + "'").c_str()) != 0) std::abort();
    for (const auto& [path, body] : {std::pair<std::string, std::string>{data + "kind.txt", kKinds},
                                     {lists + "words.txt", "alpha\nbeta 2\n"}}) {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) std::abort();
        std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
    }
    DUVLib::ErrorHandler::Startup();
    DUVLib::DataManager::Startup(data);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    TDBTagRef soup;
    ParseTagTreeText(soup, std::string_view(reinterpret_cast<const char*>(data), size), false);
    DUVLib::ErrorHandler::Instance()->Clear();
    {
        DUVLib::Container root;
        if (root.CheckAsset(soup)) {
            TDBTagRef out = TDBTagRef::Adopt(new TDBContainerTag());
            root.Export(out);
            root.RunContainerRules();
        }
    }
    if (DUVLib::Container::LiveCount() != 0 || DUVLib::Tag::LiveCount() != 0) std::abort();
    DUVLib::ErrorHandler::Instance()->Clear();
    return 0;
}
