// Mesh files. Loading a 1M-triangle indexed mesh (".im") beside its ceiling (reading the file
// and copying its vertex and index blocks, nothing else) and beside Assimp reading the same
// geometry from a binary PLY written here (when libassimp-dev is installed; a peer for this
// benchmark only). Then writing a 200k-triangle LOD mesh (".lm") beside fwrite of the same bytes.
// The counter "peak_rss_mb" is the process's peak resident memory after the benchmark.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "mesh/indexed_mesh_definition.h"
#include "mesh/lod_mesh_definition.h"
#include "mesh/testing/idxm_writer.h"
#include "mesh/testing/lod_writer.h"
#include "platform/kiv/base/file.h"

#ifdef HALVEX_HAVE_ASSIMP
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#endif

namespace {

using meshtesting::IdxmFile;

std::string TempPath(const char* name) {
    return "/tmp/halvex_mesh_bench_" + std::to_string(::getpid()) + "_" + name;
}

bool SaveBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

double PeakRssMb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The 1M-triangle grid (707 x 707 quads), as ".im" and as binary PLY, written once.
struct BigMesh {
    IdxmFile file = meshtesting::GridMesh(707);
    std::string im = TempPath("big.im"), ply = TempPath("big.ply");
    size_t vertexBytes = 0, indexBytes = 0, triangles = 0;
    bool ok = false;

    BigMesh() {
        std::vector<uint8_t> bytes = meshtesting::WriteIdxm(file);
        ok = SaveBytes(im, bytes);
        std::vector<float> vertices;
        std::vector<uint32_t> faces;
        for (const auto& s : file.subMeshes) {
            uint32_t base = static_cast<uint32_t>(vertices.size() / 5);
            vertices.insert(vertices.end(), s.geometry.vertices.begin(), s.geometry.vertices.end());
            for (uint16_t i : s.geometry.indices)
                faces.push_back(base + i);
            vertexBytes += s.geometry.vertices.size() * 4;
            indexBytes += s.geometry.indices.size() * 2;
        }
        triangles = faces.size() / 3;
        std::string header = "ply\nformat binary_little_endian 1.0\nelement vertex " +
                             std::to_string(vertices.size() / 5) +
                             "\nproperty float x\nproperty float y\nproperty float z\n"
                             "property float s\nproperty float t\nelement face " +
                             std::to_string(triangles) +
                             "\nproperty list uchar int vertex_indices\nend_header\n";
        std::vector<uint8_t> p(header.begin(), header.end());
        const auto* vb = reinterpret_cast<const uint8_t*>(vertices.data());
        p.insert(p.end(), vb, vb + vertices.size() * 4);
        for (size_t t = 0; t < triangles; ++t) {
            p.push_back(3);
            const auto* fb = reinterpret_cast<const uint8_t*>(&faces[3 * t]);
            p.insert(p.end(), fb, fb + 12);
        }
        ok = ok && SaveBytes(ply, p);
    }
    ~BigMesh() {
        std::remove(im.c_str());
        std::remove(ply.c_str());
    }
};

BigMesh& Big() {
    static BigMesh mesh;
    return mesh;
}

void BM_LoadIndexedMesh(benchmark::State& state) {
    BigMesh& big = Big();
    if (!big.ok) return state.SkipWithError("cannot write the mesh");
    Kiv::Display display;
    Kiv::MaterialManager materials;
    materials.RegisterType("m.onetex");
    for (auto _ : state) {
        HalvexIndexedMeshDefinition def;
        if (!def.OpenFile(big.im) || def.Load(&display, &materials) != 0)
            return state.SkipWithError("the mesh does not load");
        benchmark::DoNotOptimize(def.GetTotalFaces());
    }
    state.counters["triangles"] = static_cast<double>(big.triangles);
    state.counters["peak_rss_mb"] = PeakRssMb();
}
BENCHMARK(BM_LoadIndexedMesh)->Unit(benchmark::kMillisecond);

// The least any loader does: the file into memory, its vertex and index blocks copied out.
void BM_LoadCeiling(benchmark::State& state) {
    BigMesh& big = Big();
    if (!big.ok) return state.SkipWithError("cannot write the mesh");
    for (auto _ : state) {
        Kiv::File file;
        if (!file.Open(big.im, Kiv::File::kModeRead)) return state.SkipWithError("no file");
        std::vector<uint8_t> bytes(file.GetSize());
        file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
        std::vector<uint8_t> vertices(big.vertexBytes), indices(big.indexBytes);
        std::memcpy(vertices.data(), bytes.data(), big.vertexBytes);
        std::memcpy(indices.data(), bytes.data() + bytes.size() - big.indexBytes, big.indexBytes);
        benchmark::DoNotOptimize(vertices.data());
        benchmark::DoNotOptimize(indices.data());
    }
    state.counters["peak_rss_mb"] = PeakRssMb();
}
BENCHMARK(BM_LoadCeiling)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_LoadIndexedMesh", "BM_LoadCeiling");

#ifdef HALVEX_HAVE_ASSIMP
void BM_LoadPlyAssimp(benchmark::State& state) {
    BigMesh& big = Big();
    if (!big.ok) return state.SkipWithError("cannot write the mesh");
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(big.ply, 0);
        if (scene == nullptr || scene->mNumMeshes == 0)
            return state.SkipWithError(importer.GetErrorString());
        benchmark::DoNotOptimize(scene->mMeshes[0]->mNumFaces);
    }
    state.counters["peak_rss_mb"] = PeakRssMb();
}
BENCHMARK(BM_LoadPlyAssimp)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_LoadIndexedMesh", "BM_LoadPlyAssimp");
#endif

// A one-level LOD mesh of the 200k-triangle grid (316 x 316 quads).
struct LodMesh {
    HalvexIndexedMeshLODDefinition def;
    std::vector<uint8_t> bytes;
    std::string path = TempPath("lod.lm");
    bool ok = false;
    LodMesh() {
        std::vector<meshtesting::LodLevel> levels(1);
        levels[0].mesh = meshtesting::GridMesh(316);
        Kiv::MeshOutput out;
        ok = meshtesting::BuildLod(levels, def) == 0 && def.Write(out) == 0;
        bytes = out.Take();
    }
    ~LodMesh() { std::remove(path.c_str()); }
};

LodMesh& Lod() {
    static LodMesh mesh;
    return mesh;
}

void BM_WriteLodMesh(benchmark::State& state) {
    LodMesh& lod = Lod();
    if (!lod.ok) return state.SkipWithError("cannot build the LOD mesh");
    for (auto _ : state) {
        Kiv::File file;
        if (!file.Open(lod.path, Kiv::File::kModeCreate) || lod.def.WriteFile(file) != 0)
            return state.SkipWithError("cannot write the LOD mesh");
        file.Close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * lod.bytes.size()));
}
BENCHMARK(BM_WriteLodMesh)->Unit(benchmark::kMillisecond);

void BM_WriteLodFwrite(benchmark::State& state) {
    LodMesh& lod = Lod();
    if (!lod.ok) return state.SkipWithError("cannot build the LOD mesh");
    for (auto _ : state)
        if (!SaveBytes(lod.path, lod.bytes)) return state.SkipWithError("cannot write");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * lod.bytes.size()));
}
BENCHMARK(BM_WriteLodFwrite)->Unit(benchmark::kMillisecond);
HALVEX_BENCH_COMPARE("BM_WriteLodMesh", "BM_WriteLodFwrite");

}  // namespace
