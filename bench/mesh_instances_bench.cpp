// Mesh instances. A copy of a LOD instance (three levels of 20,000, 5,000 and 1,250 triangles)
// beside a deep copy of all its chunks, which is what a copy would cost if it shared nothing;
// one frame of 1,000 LOD instances on a 40 x 25 field culled and drawn through the null render
// kernel (counters: instances drawn, chunks drawn and draw calls the kernel took a frame); and the validator's LoadMesh of a
// 100k-triangle ".lm" beside loading, completing and instancing its resource alone (the mesh
// checks' own cost on top of the load).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "foundation/main_thread.h"
#include "mesh/mesh_resources.h"
#include "mesh/testing/lod_writer.h"
#include "platform/kiv/base/options.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/res/resource_database.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"

namespace {

using Kiv::Vector3;

struct Engine {
    Kiv::RenderKernel kernel{nullptr, 1.0f};
    Engine() {
        kernel.Init(Kiv::Options("-NullRender"));
        kernel.GetMaterialManager().RegisterType("m.onetex");
        RegisterMeshResourceTypes();
    }
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

// Levels of grids of n x n quads, from 0, 100 and 400 on.
std::vector<meshtesting::LodLevel> GridLevels(std::initializer_list<uint32_t> sizes) {
    std::vector<meshtesting::LodLevel> levels;
    float distance = 0;
    for (uint32_t n : sizes) {
        meshtesting::LodLevel& level = levels.emplace_back();
        level.mesh = meshtesting::GridMesh(n);
        level.distance = distance;
        distance = distance == 0 ? 100 : distance * 4;
    }
    return levels;
}

struct LodScene {
    HalvexIndexedMeshLODDefinition definition;
    std::unique_ptr<HalvexIndexedMeshLODInstance> instance;
    bool ok = false;
    LodScene() {
        Kiv::RenderKernel& kernel = TheEngine().kernel;
        ok = meshtesting::BuildLod(GridLevels({100, 50, 25}), definition, &kernel.GetDisplay(),
                                   &kernel.GetMaterialManager()) == 0 &&
             definition.CompleteLoad(&kernel.GetDisplay()) == 0;
        if (!ok) return;
        instance = std::make_unique<HalvexIndexedMeshLODInstance>(&kernel);
        instance->BindLOD(nullptr, &definition);
    }
};

LodScene& Scene() {
    static LodScene scene;
    return scene;
}

void BM_LodInstanceCopy(benchmark::State& state) {
    LodScene& s = Scene();
    if (!s.ok) return state.SkipWithError("the LOD mesh does not build");
    for (auto _ : state) {
        auto copy = s.instance->CreateInstanceCopy();
        benchmark::DoNotOptimize(copy.get());
    }
}
BENCHMARK(BM_LodInstanceCopy)->Unit(benchmark::kMicrosecond);

void BM_DeepCopyOfLodChunks(benchmark::State& state) {
    LodScene& s = Scene();
    if (!s.ok) return state.SkipWithError("the LOD mesh does not build");
    for (auto _ : state) {
        std::vector<std::shared_ptr<Kiv::GeometryChunk>> copies;
        for (uint32_t n = 0; n < s.instance->GetLevelRecordCount(); ++n)
            for (const auto& chunk : *s.instance->GetLevel(n).chunks)
                copies.push_back(chunk->Copy());
        benchmark::DoNotOptimize(copies.data());
    }
}
BENCHMARK(BM_DeepCopyOfLodChunks)->Unit(benchmark::kMicrosecond);
HALVEX_BENCH_COMPARE("BM_LodInstanceCopy", "BM_DeepCopyOfLodChunks");

void BM_CullAndDrawThousandLodInstances(benchmark::State& state) {
    LodScene& s = Scene();
    if (!s.ok) return state.SkipWithError("the LOD mesh does not build");
    Kiv::RenderKernel& kernel = TheEngine().kernel;
    std::vector<std::unique_ptr<HalvexIndexedMeshInstance>> field;
    for (int i = 0; i < 1000; ++i) {
        field.push_back(s.instance->CreateInstanceCopy());
        field.back()->SetFrame(
            {150.0f * static_cast<float>(i % 40), 150.0f * static_cast<float>(i / 40), 0}, {});
    }
    Kiv::Camera camera;
    camera.SetFrame({3000, 1800, 50}, {});
    Kiv::ViewPoint view(&camera);
    size_t drawn = 0, chunks = 0, kernelDraws = 0;
    for (auto _ : state) {
        view.NextFrame();
        kernel.ClearDrawCalls();
        for (const auto& instance : field)
            instance->Cull(view, instance->GetWorldMatrix());
        for (Kiv::Element* added : view.GetAdded()) {
            auto* instance = static_cast<HalvexIndexedMeshInstance*>(added);
            instance->Render(view, instance->GetStoredMatrix());
        }
        drawn = view.GetAdded().size();
        chunks = view.GetDraws().size();
        kernelDraws = kernel.GetDrawCalls().size();
    }
    state.counters["instances_drawn"] = static_cast<double>(drawn);
    state.counters["chunks_drawn"] = static_cast<double>(chunks);
    state.counters["kernel_draws"] = static_cast<double>(kernelDraws);
}
BENCHMARK(BM_CullAndDrawThousandLodInstances)->Unit(benchmark::kMillisecond);

// --- the validator's mesh load ------------------------------------------------------------

Kiv::ResourceDatabase* Acquire(const Kiv::PString& name, std::string_view folder) {
    return new Kiv::ResourceDatabase(name, folder);
}
void Release(Kiv::ResourceDatabase* database) {
    delete database;
}

struct ValidatorScene {
    std::string folder, mesh;
    bool ok = false;
    ValidatorScene() {
        char pattern[] = "/tmp/halvex-mesh-instances-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return;
        folder = pattern;
        std::filesystem::create_directories(folder + "/DUVData");
        std::filesystem::create_directories(folder + "/asset");
        // One level of 224 x 224 quads: 100,352 triangles.
        const std::vector<uint8_t> bytes = meshtesting::WriteLodm(GridLevels({224}));
        mesh = folder + "/asset/big.lm";
        FILE* f = std::fopen(mesh.c_str(), "wb");
        if (f == nullptr || bytes.empty()) return;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        TheEngine();
        RecordMainThreadId();
        DUVLib::ErrorHandler::Startup();
        if (!DUVLib::DataManager::Startup(folder + "/DUVData/")) return;
        DUVLib::AssetFolderServices services = DUVLib::GetAssetFolderServices();
        services.acquire = Acquire;
        services.release = Release;
        DUVLib::SetAssetFolderServices(services);
        DUVLib::DataManager::Instance().SetValidationAssetFolder(Kiv::PString("local"),
                                                                 folder + "/asset");
        ok = true;
    }
    ~ValidatorScene() {
        DUVLib::DataManager::Shutdown();
        DUVLib::ErrorHandler::Shutdown();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

ValidatorScene& Validator() {
    static ValidatorScene scene;
    return scene;
}

void BM_ValidatorLoadMesh(benchmark::State& state) {
    ValidatorScene& v = Validator();
    if (!v.ok) return state.SkipWithError("the validator does not start");
    DUVLib::DataManager& manager = DUVLib::DataManager::Instance();
    for (auto _ : state) {
        if (manager.LoadMesh(v.mesh, nullptr) == nullptr)
            return state.SkipWithError("the mesh does not load");
        manager.PurgeUnusedResources();
    }
}
BENCHMARK(BM_ValidatorLoadMesh)->Unit(benchmark::kMillisecond);

void BM_LodResourceAlone(benchmark::State& state) {
    ValidatorScene& v = Validator();
    if (!v.ok) return state.SkipWithError("the validator does not start");
    Kiv::ResourceDatabase database(Kiv::PString("bench"), v.folder + "/asset");
    for (auto _ : state) {
        Kiv::Resource* found = database.FindResource(Kiv::PString(v.mesh), 2);
        auto* resource = dynamic_cast<HalvexGeometryBaseResource*>(found);
        if (resource == nullptr || resource->Initialise(&TheEngine().kernel) != 0)
            return state.SkipWithError("the resource does not load");
        auto instance = resource->CreateInstance();
        benchmark::DoNotOptimize(instance.get());
        instance.reset();
        resource->ReleaseReference();
    }
}
BENCHMARK(BM_LodResourceAlone)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_ValidatorLoadMesh", "BM_LodResourceAlone");

}  // namespace
