// CDP archives. The LZSS coder packing and unpacking asset-like data (configuration text, mesh
// floats, texture-like gradients and some noise) beside zlib, a well-kept peer, at its default
// and best levels; the counter "ratio" is packed size over original size. Then an archive of
// 1,000 small files: packing them, the dsid and the tables, and writing the file; beside it the
// same files deflated by zlib and written one after the other (the ceiling: no tree, no tables).
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/cdp_archive.h"
#include "archive/cdp_dsid.h"
#include "archive/cdp_pack.h"
#include "archive/cdp_write.h"
#include "bench/ratio.h"
#include "configdata/config_text.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/os/lzss.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}

// About 330 KB of what assets hold (its exact size is the counter "input_bytes").
const Bytes& AssetData() {
    static const Bytes data = [] {
        Bytes out;
        for (int i = 0; i < 1500; ++i) {
            std::string line = "mesh-table { part-" + std::to_string(i % 97) + " { mesh \"body" +
                               std::to_string(i % 13) + ".im\" auto-create 1 } }\n";
            Append(out, line.data(), line.size());
        }
        for (int i = 0; i < 16384; ++i) {
            float v = std::sin(static_cast<float>(i) * 0.01f) * 40.0f;
            Append(out, &v, sizeof v);
        }
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 256; ++x) {
                uint8_t px[3] = {static_cast<uint8_t>(x), static_cast<uint8_t>(y * 2),
                                 static_cast<uint8_t>((x + y) / 2)};
                Append(out, px, 3);
            }
        uint32_t seed = 7;
        for (int i = 0; i < 16384; ++i) {
            seed = seed * 1664525u + 1013904223u;
            out.push_back(static_cast<uint8_t>(seed >> 24));
        }
        return out;
    }();
    return data;
}

void Report(benchmark::State& state, size_t packed, const char* label) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * AssetData().size()));
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(AssetData().size());
    state.counters["input_bytes"] = static_cast<double>(AssetData().size());
    state.SetLabel(label);
}

Bytes LzssPack(int level) {
    const Bytes& in = AssetData();
    Bytes out(Kiv::LZSSCompress::CompressBound(static_cast<uint32_t>(in.size())));
    Kiv::LZSSCompress coder;
    out.resize(coder.CompressBlock(in.data(), static_cast<uint32_t>(in.size()), out.data(),
                                   static_cast<uint32_t>(out.size()), level));
    return out;
}

Bytes ZlibPack(int level) {
    const Bytes& in = AssetData();
    uLongf n = compressBound(in.size());
    Bytes out(n);
    compress2(out.data(), &n, in.data(), in.size(), level);
    out.resize(n);
    return out;
}

void BM_LzssCompress(benchmark::State& state) {
    size_t packed = 0;
    for (auto _ : state) {
        Bytes out = LzssPack(static_cast<int>(state.range(0)));
        packed = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, packed, "ours");
}
BENCHMARK(BM_LzssCompress)->Arg(1)->Arg(6)->Arg(9);

void BM_ZlibCompress(benchmark::State& state) {
    size_t packed = 0;
    for (auto _ : state) {
        Bytes out = ZlibPack(static_cast<int>(state.range(0)));
        packed = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, packed, "peer: zlib, a well-kept library");
}
BENCHMARK(BM_ZlibCompress)->Arg(1)->Arg(6)->Arg(9);

void BM_LzssDecompress(benchmark::State& state) {
    const Bytes packed = LzssPack(9);
    Bytes out(AssetData().size());
    Kiv::LZSSCompress coder;
    for (auto _ : state) {
        uint32_t n = coder.DecompressBlock(packed.data(), static_cast<uint32_t>(packed.size()),
                                           out.data(), static_cast<uint32_t>(out.size()));
        if (n != out.size()) state.SkipWithError("did not round-trip");
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, packed.size(), "ours");
}
BENCHMARK(BM_LzssDecompress);

void BM_ZlibDecompress(benchmark::State& state) {
    const Bytes packed = ZlibPack(9);
    Bytes out(AssetData().size());
    for (auto _ : state) {
        uLongf n = out.size();
        if (uncompress(out.data(), &n, packed.data(), packed.size()) != Z_OK)
            state.SkipWithError("did not round-trip");
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, packed.size(), "peer: zlib, a well-kept library");
}
BENCHMARK(BM_ZlibDecompress);

HALVEX_BENCH_COMPARE("BM_LzssCompress/9", "BM_ZlibCompress/9");
HALVEX_BENCH_COMPARE("BM_LzssCompress/1", "BM_ZlibCompress/1");
HALVEX_BENCH_COMPARE("BM_LzssDecompress", "BM_ZlibDecompress");

// --- the two corpora of level 9 -------------------------------------------------------------
// Text: about 1.2 MB of configs as the text writer writes them, assets of varied names, numbers
// and KUIDs. Binary: this benchmark program (up to its first 4 MiB), one of the project's own
// built programs. The exact sizes are the counter "input_bytes". Each is packed whole, at
// level 9 (the level archives use) beside zlib at level 6; the counter "size_vs_zlib6" is our
// packed size over zlib's.

const Bytes& TextCorpus() {
    static const Bytes data = [] {
        TDBTagRef root;
        uint32_t seed = 11;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        const char* kinds[] = {"scenery", "traincar", "track", "mesh", "consist", "texture"};
        for (int i = 0; i < 2500; ++i) {
            TDBTagRef asset;
            TDBContainerTag::SetKUID(asset, Kiv::PString("kuid"),
                                     KUID(static_cast<int32_t>(next() % 600000), i, 0));
            TDBContainerTag::SetString(asset, Kiv::PString("kind"),
                                       Kiv::PString(kinds[next() % 6]));
            TDBContainerTag::SetString(asset, Kiv::PString("username"),
                                       Kiv::PString("Asset " + std::to_string(next() % 100000) +
                                                    " by author " + std::to_string(next() % 500)));
            TDBContainerTag::SetInt(asset, Kiv::PString("halvex-build"),
                                    static_cast<int32_t>(next() % 5));
            TDBContainerTag::SetFloatArray(asset, Kiv::PString("position"),
                                           {static_cast<float>(next() % 10000) / 7.0f,
                                            static_cast<float>(next() % 100) / 3.0f});
            TDBTagRef table;
            for (int k = 0; k < 1 + static_cast<int>(next() % 6); ++k)
                TDBContainerTag::SetKUID(table, Kiv::PString(std::to_string(k)),
                                         KUID(static_cast<int32_t>(next() % 600000),
                                              static_cast<int32_t>(next() % 3000), 0));
            TDBContainerTag::SetContainer(asset, Kiv::PString("kuid-table"), table);
            TDBContainerTag::SetContainer(root, Kiv::PString("asset-" + std::to_string(i)), asset);
        }
        std::string text;
        AppendTagTreeText(root, text);
        return Bytes(text.begin(), text.end());
    }();
    return data;
}

const Bytes& BinaryCorpus() {
    static const Bytes data = [] {
        Bytes out(4u << 20);
        FILE* f = std::fopen("/proc/self/exe", "rb");
        size_t n = f != nullptr ? std::fread(out.data(), 1, out.size(), f) : 0;
        if (f != nullptr) std::fclose(f);
        out.resize(n);
        return out;
    }();
    return data;
}

const Bytes& Corpus(int64_t which) {
    return which == 0 ? TextCorpus() : BinaryCorpus();
}

Bytes LzssPackAll(const Bytes& in, int level) {
    Bytes out(Kiv::LZSSCompress::CompressBound(static_cast<uint32_t>(in.size())));
    Kiv::LZSSCompress coder;
    out.resize(coder.CompressBlock(in.data(), static_cast<uint32_t>(in.size()), out.data(),
                                   static_cast<uint32_t>(out.size()), level));
    return out;
}

Bytes ZlibPackAll(const Bytes& in, int level) {
    uLongf n = compressBound(in.size());
    Bytes out(n);
    if (compress2(out.data(), &n, in.data(), in.size(), level) != Z_OK) return {};
    out.resize(n);
    return out;
}

void CorpusReport(benchmark::State& state, const Bytes& in, size_t packed) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.counters["input_bytes"] = static_cast<double>(in.size());
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(in.size());
    state.SetLabel(state.range(0) == 0 ? "config text" : "built program");
}

void BM_CorpusLzss9Pack(benchmark::State& state) {
    const Bytes& in = Corpus(state.range(0));
    if (in.empty()) {
        state.SkipWithError("no corpus");
        return;
    }
    size_t packed = 0;
    for (auto _ : state) {
        Bytes out = LzssPackAll(in, 9);
        packed = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    CorpusReport(state, in, packed);
    state.counters["size_vs_zlib6"] =
        static_cast<double>(packed) / static_cast<double>(ZlibPackAll(in, 6).size());
}
BENCHMARK(BM_CorpusLzss9Pack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_CorpusZlib6Pack(benchmark::State& state) {
    const Bytes& in = Corpus(state.range(0));
    size_t packed = 0;
    for (auto _ : state) {
        Bytes out = ZlibPackAll(in, 6);
        if (out.empty()) {
            state.SkipWithError("zlib failed");
            return;
        }
        packed = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    CorpusReport(state, in, packed);
}
BENCHMARK(BM_CorpusZlib6Pack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_CorpusLzssUnpack(benchmark::State& state) {
    const Bytes& in = Corpus(state.range(0));
    const Bytes packed = LzssPackAll(in, 9);
    Bytes out(in.size());
    Kiv::LZSSCompress coder;
    for (auto _ : state) {
        uint32_t n = coder.DecompressBlock(packed.data(), static_cast<uint32_t>(packed.size()),
                                           out.data(), static_cast<uint32_t>(out.size()));
        if (n != in.size() || out != in) {
            state.SkipWithError("did not round-trip");
            return;
        }
        benchmark::DoNotOptimize(out.data());
    }
    CorpusReport(state, in, packed.size());
}
BENCHMARK(BM_CorpusLzssUnpack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_CorpusZlibUnpack(benchmark::State& state) {
    const Bytes& in = Corpus(state.range(0));
    const Bytes packed = ZlibPackAll(in, 6);
    Bytes out(in.size());
    for (auto _ : state) {
        uLongf n = out.size();
        if (uncompress(out.data(), &n, packed.data(), packed.size()) != Z_OK) {
            state.SkipWithError("did not round-trip");
            return;
        }
        benchmark::DoNotOptimize(out.data());
    }
    CorpusReport(state, in, packed.size());
}
BENCHMARK(BM_CorpusZlibUnpack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

HALVEX_BENCH_COMPARE("BM_CorpusLzss9Pack/0", "BM_CorpusZlib6Pack/0");
HALVEX_BENCH_COMPARE("BM_CorpusLzss9Pack/1", "BM_CorpusZlib6Pack/1");
HALVEX_BENCH_COMPARE("BM_CorpusLzssUnpack/0", "BM_CorpusZlibUnpack/0");
HALVEX_BENCH_COMPARE("BM_CorpusLzssUnpack/1", "BM_CorpusZlibUnpack/1");

// --- an archive of 1,000 small files ----------------------------------------------------------

constexpr int kFiles = 1000;

// 1,000 files of 200 to 2,000 bytes: configuration-like text, 20 to a folder.
TDBTagRef SmallFiles() {
    TDBTagRef files = MakeCounted<TDBContainerTag>();
    TDBTagRef folder;
    for (int i = 0; i < kFiles; ++i) {
        if (i % 20 == 0) {
            folder = MakeCounted<TDBContainerTag>();
            files->AddChild(Kiv::PString::Printf("folder-%02d", i / 20), folder);
        }
        std::string text;
        for (int line = 0; line < 4 + i % 40; ++line)
            text += "tag-" + std::to_string(line) + " " + std::to_string(i * 31 + line) + "\n";
        folder->AddChild(Kiv::PString::Printf("file-%04d.txt", i),
                         TDBContainerTag::MakeTag(kTagRaw, MakeRawData(text.data(), text.size())));
    }
    return files;
}

std::string ScratchPath(const char* name) {
    return "/tmp/halvex-bench-" + std::to_string(::getpid()) + "-" + name;
}

void BM_CdpBuildAndWrite1000Files(benchmark::State& state) {
    const TDBTagRef raw = SmallFiles();
    const std::string path = ScratchPath("archive.cdp");
    for (auto _ : state) {
        TDBTagRef entry = CdpNewAssetEntry();
        TDBContainerTag::SetKUID(entry, Kiv::PString("kuid"), KUID(1, 1));
        TDBTagRef packed;
        if (!CdpPackFiles(raw, packed).IsEmpty()) state.SkipWithError("pack failed");
        TDBContainerTag::SetContainer(entry, Kiv::PString("files"), packed);
        CdpStoreDsid(entry);
        CdpArchive archive;
        if (!CdpAddAsset(archive, entry).IsEmpty() || !CdpWrite(archive, path).IsEmpty())
            state.SkipWithError("build or write failed");
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * kFiles);
    state.SetLabel("ours");
}
BENCHMARK(BM_CdpBuildAndWrite1000Files)->Unit(benchmark::kMillisecond);

void BM_ZlibDeflateAndWrite1000Files(benchmark::State& state) {
    const TDBTagRef raw = SmallFiles();
    const std::string path = ScratchPath("deflated.bin");
    for (auto _ : state) {
        FILE* out = std::fopen(path.c_str(), "wb");
        Kiv::PString name;
        TDBTagRef folder;
        for (uint32_t f = 0; raw->GetChildAt(f, name, folder); ++f) {
            TDBTagRef file;
            for (uint32_t i = 0; folder->GetChildAt(i, name, file); ++i) {
                uLongf n = compressBound(file->GetDataSize());
                Bytes packed(n);
                compress2(packed.data(), &n, static_cast<const Bytes::value_type*>(file->GetData()),
                          file->GetDataSize(), 9);
                std::fwrite(packed.data(), 1, n, out);
            }
        }
        std::fflush(out);
        ::fsync(::fileno(out));
        std::fclose(out);
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * kFiles);
    state.SetLabel("ceiling: zlib, a well-kept library, files one after the other");
}
BENCHMARK(BM_ZlibDeflateAndWrite1000Files)->Unit(benchmark::kMillisecond);

HALVEX_BENCH_COMPARE("BM_CdpBuildAndWrite1000Files", "BM_ZlibDeflateAndWrite1000Files");

}  // namespace
