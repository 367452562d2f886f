// The textures a mesh's materials ask for: handed over at the end of a load, loaded by LoadAll,
// and walked by the loaded test.
#include <gtest/gtest.h>

#include <vector>

#include "mesh/mesh_resources.h"
#include "mesh/mesh_test_support.h"
#include "mesh/testing/lod_writer.h"
#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/display/one_texture_material.h"
#include "platform/kiv/geom/mesh_file_support.h"
#include "platform/kiv/res/texture_file.h"

namespace {

using namespace meshtesting;
using Kiv::PString;

// The smallest texture file: one level of 1 by 1.
std::vector<uint8_t> OnePixelTexture() {
    Kiv::Bitmap pixel(1, 1, Kiv::TextureLevelBitmapFormat(Kiv::kTextureFormatARGB8888));
    Kiv::MeshOutput out;
    EXPECT_TRUE(Kiv::WriteTextureFile(out, Kiv::kTextureFormatARGB8888, {{&pixel}}));
    return out.Bytes();
}

struct DeferredLoads {
    explicit DeferredLoads(bool on) { Kiv::TextureLoad::DeferLoadsForTesting(on); }
    ~DeferredLoads() { Kiv::TextureLoad::DeferLoadsForTesting(false); }
};

class MeshTextures : public MeshResources {
protected:
    // A mesh of one quad asking for "body.texture", in a folder of its own.
    HalvexGeometryBaseResource* Load(const std::string* texture, bool optional, bool lod = false) {
        const std::string sub = "m" + std::to_string(++n);
        std::filesystem::create_directory(folder.path + "/" + sub);
        if (texture != nullptr) folder.Write(sub + "/body.texture", *texture);
        IdxmFile file = Quads(1);
        file.subMeshes[0].material.flag = optional ? 1 : 0;
        if (!lod) {
            auto* r = Open<HalvexIndexedMeshResource>(folder.Write(sub + "/m.im", WriteIdxm(file)),
                                                      &k.kernel);
            EXPECT_NE(r, nullptr);
            return r;
        }
        std::vector<LodLevel> levels(1);
        levels[0].mesh = file;
        auto* r = Open<HalvexIndexedMeshLODResource>(folder.Write(sub + "/m.lm", WriteLodm(levels)),
                                                     &k.kernel);
        EXPECT_NE(r, nullptr);
        return r;
    }
    const std::string good{[] {
        auto bytes = OnePixelTexture();
        return std::string(bytes.begin(), bytes.end());
    }()};
    int n = 0;
};

TEST_F(MeshTextures, TheWalkAnswersByTheTexturesMaterialsAskFor) {
    struct Case {
        const char* what;
        const char* file;  // null: no file
        bool optional, lod, deferred;
        uint32_t loaded;    // the loaded test after the load
        bool loadAll;       // LoadAll's answer
        uint32_t afterAll;  // the loaded test after LoadAll
        size_t refused;
    } cases[] = {
        {"a texture that is there", "", false, false, false, 0, true, 0, 0},
        {"a missing texture", nullptr, false, false, false, 1, false, 1, 1},
        {"a file that is no texture", "junk", false, false, false, 1, false, 1, 1},
        {"a missing optional texture", nullptr, true, false, false, 0, true, 0, 0},
        {"a texture of a LOD mesh that is missing", nullptr, false, true, false, 1, false, 1, 1},
        {"a texture still loading", "", false, false, true, 5, true, 0, 0},
        {"a texture still loading that is missing", nullptr, false, false, true, 5, false, 1, 0},
    };
    for (const Case& c : cases) {
        std::string file =
            c.file != nullptr && *c.file == 0 ? good : std::string(c.file ? c.file : "");
        HalvexGeometryBaseResource* resource;
        {
            DeferredLoads defer(c.deferred);
            resource = Load(c.file != nullptr ? &file : nullptr, c.optional, c.lod);
        }
        ASSERT_NE(resource, nullptr) << c.what;
        ASSERT_NE(resource->GetDefinition(), nullptr) << c.what;
        EXPECT_EQ(resource->IsAllLoaded(), c.loaded) << c.what;
        EXPECT_EQ(resource->LoadAll(), c.loadAll) << c.what;
        EXPECT_EQ(resource->IsAllLoaded(), c.afterAll) << c.what;
        const auto& refused = resource->GetDefinition()->GetRefusedTextureRequests();
        ASSERT_EQ(refused.size(), c.refused) << c.what;
        if (!refused.empty()) {
            // Named with the material's folder.
            EXPECT_EQ(refused[0].str(), folder.path + "/m" + std::to_string(n) + "/body.texture")
                << c.what;
        }
    }
}

TEST_F(MeshTextures, AnInstanceLocksItsResourceAndObserversHearTheCompletion) {
    const std::string path = folder.Write("l.im", WriteIdxm(Quads(1)));
    auto* resource = Open<HalvexIndexedMeshResource>(path, nullptr);
    ASSERT_NE(resource, nullptr);
    std::vector<int> heard;
    resource->AddObserver(&heard, [&](Kiv::Resource&) { heard.push_back(1); });
    int other = 0;
    resource->AddObserver(&other, [&](Kiv::Resource&) { heard.push_back(2); });
    ASSERT_EQ(resource->Initialise(&k.kernel), 0u);
    EXPECT_EQ(heard, (std::vector<int>{1, 2}));
    resource->RemoveObserver(&heard);
    resource->LoadComplete();
    EXPECT_EQ(heard, (std::vector<int>{1, 2, 2}));

    {
        auto instance = resource->CreateInstance();
        EXPECT_EQ(resource->GetLockCount(), 1);
        auto* indexed = static_cast<HalvexIndexedMeshInstance*>(instance.get());
        auto copy = indexed->CreateInstanceCopy();
        EXPECT_EQ(resource->GetLockCount(), 2);
    }
    EXPECT_EQ(resource->GetLockCount(), 0);
    EXPECT_EQ(resource->GetReferenceCount(), 1);
}

// A 2 x 2 TGA of that many channels (grey, grey and alpha, colour, colour and alpha).
std::string Tga(int channels) {
    std::string s(18, '\0');
    s[2] = channels <= 2 ? 3 : 2;
    s[12] = 2;
    s[14] = 2;
    s[16] = static_cast<char>(8 * channels);
    s[17] = 0x20;
    return s + std::string(4 * static_cast<size_t>(channels), '\x40');
}

TEST_F(MeshTextures, ATexturesFormatFollowsTheImagesComponents) {
    auto instance = MakeInstance<HalvexIndexedMeshInstance, HalvexIndexedMeshResource>(
        folder.Write("t.im", WriteIdxm(Quads(1))));
    ASSERT_NE(instance, nullptr);
    auto material = std::make_shared<Kiv::OneTextureMaterial>();
    Kiv::Texture* texture = new Kiv::Texture(0);
    ASSERT_TRUE(material->SetTexture(0, texture, 1.0f));
    texture->ReleaseReference();
    ASSERT_TRUE(instance->AddChunk(instance->GetChunk(0)->Copy(), material));

    struct Case {
        int channels;
        uint32_t format;
    } cases[] = {{1, 5}, {2, 1}, {3, 3}, {4, 8}};
    for (const Case& c : cases) {
        const std::string file =
            folder.Write("i" + std::to_string(c.channels) + ".tga", Tga(c.channels));
        ASSERT_TRUE(instance->LoadTexture(7, 9, 1, 0, file)) << c.channels;
        EXPECT_EQ(material->GetBitmap()->GetFormat(), c.format) << c.channels;
        EXPECT_EQ(material->GetBitmap()->GetBitmapArgument(0), 7);
        EXPECT_EQ(material->GetBitmap()->GetBitmapArgument(1), 9);
    }
    const std::string good = folder.Write("good.tga", Tga(3));
    EXPECT_FALSE(instance->LoadTexture(0, 0, 0, 0, good));  // a plain material has no texture
    EXPECT_FALSE(instance->LoadTexture(0, 0, 1, 1, good));  // nor a second slot
    EXPECT_FALSE(instance->LoadTexture(0, 0, 2, 0, good));  // no such material
    EXPECT_FALSE(instance->LoadTexture(0, 0, 1, 0, folder.path + "/none.tga"));
    EXPECT_FALSE(instance->SetTexture(0, 0, 1, 0, Kiv::Bitmap(2, 2)));  // no components known
}

}  // namespace
