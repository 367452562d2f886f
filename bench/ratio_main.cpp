#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "bench/ratio.h"

namespace bench {
namespace {

std::vector<std::pair<std::string, std::string>>& Pairs() {
    static std::vector<std::pair<std::string, std::string>> pairs;
    return pairs;
}

// Keeps the console table and remembers each run's time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times_[r.benchmark_name()] = r.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (Pairs().empty()) return;
        std::printf("\n%-48s %-40s %s\n", "ours", "beside", "time ratio (ours / beside)");
        for (auto& [ours, peer] : Pairs()) {
            auto a = times_.find(ours);
            auto b = times_.find(peer);
            if (a == times_.end() || b == times_.end() || b->second <= 0) continue;
            std::printf("%-48s %-40s %.2f\n", ours.c_str(), peer.c_str(), a->second / b->second);
        }
    }

private:
    std::map<std::string, double> times_;
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
    return 0;
}
