// Texture conversion beside the compressor it ends in. One 1024 by 1024 description through the
// whole conversion (walk, job, description and image read, levels, texture file written through
// its twin) beside one direct nvtt::Compressor::process of the same picture with the same
// settings (DXT1, production quality, Kaiser-filtered mip levels): the conversion should cost
// at most a tenth more. Then 4 x cores descriptions of 512 by 512 in one folder beside cores
// threads making 4 direct calls each: the conversion's jobs run side by side, so the pair
// should stay near 1 (at least 0.85 of linear scaling is a ratio of at most 1.18).
#include <benchmark/benchmark.h>
#include <nvtt/nvtt.h>

#include <unistd.h>
#include <atomic>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/resource_db_registry.h"
#include "bench/ratio.h"
#include "materials/texture_conversion.h"
#include "materials/texture_test_support.h"
#include "validation/results_log.h"

namespace {

namespace fs = std::filesystem;

unsigned Cores() {
    return std::max(1u, std::thread::hardware_concurrency());
}

// A folder of `count` descriptions of side by side pixels, registered as a resource database.
class Folder {
public:
    Folder(const std::string& name, int count, uint32_t side) {
        path_ = (fs::temp_directory_path() /
                 ("halvex-texture-bench-" + name + "-" + std::to_string(::getpid())))
                    .string();
        fs::remove_all(path_);
        fs::create_directories(path_);
        std::ofstream(path_ + "/p.tga", std::ios::binary) << texture_test::GradientTga(side, side);
        for (int i = 0; i < count; ++i)
            std::ofstream(path_ + "/t" + std::to_string(i) + ".texture.txt") << "Primary=p.tga\n";
        database_ = AcquireResourceDatabase(Kiv::PString(name), path_);
    }
    ~Folder() {
        ReleaseResourceDatabase(database_);
        PurgeResourceDatabases();
        fs::remove_all(path_);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    Kiv::ResourceDatabase* database_;
};

void Convert(benchmark::State& state, int count, uint32_t side) {
    Folder folder("convert" + std::to_string(count), count, side);
    for (auto _ : state) {
        ResultsLog log;
        if (!CompressTexturesInFolder(folder.Path(), log)) {
            state.SkipWithError("the conversion failed");
            return;
        }
    }
    state.counters["descriptions"] = count;
}

// The compressor's input as the conversion gives it: blue, green, red, alpha.
std::vector<uint8_t> Picture(uint32_t side) {
    std::vector<uint8_t> bgra(size_t{side} * side * 4);
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            uint8_t* p = &bgra[(size_t{y} * side + x) * 4];
            p[0] = 128;
            p[1] = static_cast<uint8_t>(y * 255 / (side - 1));
            p[2] = static_cast<uint8_t>(x * 255 / (side - 1));
            p[3] = 255;
        }
    return bgra;
}

struct Sink : nvtt::OutputHandler {
    void beginImage(int, int, int, int, int, int) override {}
    bool writeData(const void*, int size) override {
        bytes += static_cast<size_t>(size);
        return true;
    }
    size_t bytes = 0;
};

bool DirectProcess(const std::vector<uint8_t>& picture, uint32_t side) {
    nvtt::InputOptions input;
    input.setMipmapGeneration(true, -1);
    input.setWrapMode(nvtt::WrapMode_Repeat);
    input.setTextureLayout(nvtt::TextureType_2D, static_cast<int>(side), static_cast<int>(side));
    input.setMipmapData(picture.data(), static_cast<int>(side), static_cast<int>(side));
    input.setMipmapFilter(nvtt::MipmapFilter_Kaiser);
    nvtt::CompressionOptions compression;
    compression.setFormat(nvtt::Format_DXT1);
    compression.setQuality(nvtt::Quality_Production);
    Sink sink;
    nvtt::OutputOptions output;
    output.setOutputHandler(&sink);
    output.setOutputHeader(false);
    nvtt::Compressor compressor;
    compressor.enableCudaAcceleration(false);
    return compressor.process(input, compression, output) && sink.bytes != 0;
}

void BM_ConvertOneDescription(benchmark::State& state) {
    Convert(state, 1, 1024);
}
BENCHMARK(BM_ConvertOneDescription)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DirectNvttProcess(benchmark::State& state) {
    const std::vector<uint8_t> picture = Picture(1024);
    for (auto _ : state) {
        if (!DirectProcess(picture, 1024)) {
            state.SkipWithError("the compressor failed");
            return;
        }
    }
}
BENCHMARK(BM_DirectNvttProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertFolderOfFourPerCore(benchmark::State& state) {
    Convert(state, static_cast<int>(4 * Cores()), 512);
}
BENCHMARK(BM_ConvertFolderOfFourPerCore)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DirectNvttFourPerCoreThread(benchmark::State& state) {
    const std::vector<uint8_t> picture = Picture(512);
    for (auto _ : state) {
        std::atomic<bool> ok{true};
        std::vector<std::thread> threads;
        for (unsigned t = 0; t < Cores(); ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 4; ++i)
                    if (!DirectProcess(picture, 512)) ok = false;
            });
        for (std::thread& t : threads)
            t.join();
        if (!ok) {
            state.SkipWithError("the compressor failed");
            return;
        }
    }
    state.counters["threads"] = Cores();
}
BENCHMARK(BM_DirectNvttFourPerCoreThread)->Unit(benchmark::kMillisecond)->UseRealTime();

HALVEX_BENCH_COMPARE("BM_ConvertOneDescription/real_time", "BM_DirectNvttProcess/real_time");
HALVEX_BENCH_COMPARE("BM_ConvertFolderOfFourPerCore/real_time",
                     "BM_DirectNvttFourPerCoreThread/real_time");

}  // namespace
