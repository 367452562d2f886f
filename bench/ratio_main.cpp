#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <utility>
#include <vector>

#include "bench/ratio.h"

namespace bench {
namespace {

std::vector<std::pair<std::string, std::string>>& Pairs() {
    static std::vector<std::pair<std::string, std::string>> pairs;
    return pairs;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Keeps the console table and remembers every repetition's time per iteration, in seconds
// whatever unit the table shows it in, so that each ratio is of medians from this run. A run
// that failed is remembered too: the program then reports it and exits non-zero.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration) continue;
            std::string name = BaseName(r.benchmark_name());
            if (r.error_occurred) {
                errors_.emplace_back(name, r.error_message);
                continue;
            }
            if (r.iterations > 0)
                times_[name].push_back(r.real_accumulated_time / static_cast<double>(r.iterations));
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (!Pairs().empty()) {
            std::printf("\n%-48s %-40s %s\n", "ours", "beside",
                        "time ratio (median ours / median beside)");
            for (auto& [ours, peer] : Pairs()) {
                auto a = times_.find(ours);
                auto b = times_.find(peer);
                if (a == times_.end() || b == times_.end()) {
                    // Left out by a filter, or failed (reported below): no figure at all.
                    std::printf("%-48s %-40s %s\n", ours.c_str(), peer.c_str(), "not measured");
                    continue;
                }
                double peerTime = Median(b->second);
                if (peerTime <= 0) continue;
                std::printf("%-48s %-40s %.2f (%zu and %zu repetitions)\n", ours.c_str(),
                            peer.c_str(), Median(a->second) / peerTime, a->second.size(),
                            b->second.size());
            }
        }
        for (auto& [name, message] : errors_)
            std::fprintf(stderr, "error: %s failed: %s\n", name.c_str(), message.c_str());
        std::fflush(stdout);
    }
    bool Failed() const { return !errors_.empty(); }

private:
    // The name without a repetition count that the benchmark itself asked for.
    static std::string BaseName(const std::string& name) {
        static const std::regex repeats("/repeats:[0-9]+");
        return std::regex_replace(name, repeats, "");
    }

    std::map<std::string, std::vector<double>> times_;
    std::vector<std::pair<std::string, std::string>> errors_;
};

}  // namespace

bool CompareTo(const std::string& ours, const std::string& peer) {
    Pairs().emplace_back(ours, peer);
    return true;
}

}  // namespace bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.Failed() ? 1 : 0;
}
