#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
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
    // With aggregatesOnly the console shows what --benchmark_report_aggregates_only would
    // have, while the ratios are still taken from every repetition and every failure is seen.
    explicit RatioReporter(bool aggregatesOnly) : aggregatesOnly_(aggregatesOnly) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(aggregatesOnly_ ? Shown(runs) : runs);
        for (const Run& r : runs) {
            std::string name = BaseName(r.benchmark_name());
            if (r.error_occurred) {
                errors_.emplace_back(name, r.error_message);
                continue;
            }
            if (r.run_type == Run::RT_Iteration) {
                if (r.iterations > 0)
                    times_[name].push_back(r.real_accumulated_time /
                                           static_cast<double>(r.iterations));
            } else if (r.aggregate_name == "median" &&
                       r.aggregate_unit == benchmark::StatisticUnit::kTime) {
                // With --benchmark_report_aggregates_only the repetitions never reach a
                // reporter: the library's own median of them stands in. Its name carries
                // the "_median" suffix, which BaseName strips.
                medians_[name] = {
                    r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit),
                    static_cast<size_t>(r.repetitions)};
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (!Pairs().empty()) {
            std::printf("\n%-48s %-40s %s\n", "ours", "beside",
                        "time ratio (median ours / median beside)");
            for (auto& [ours, peer] : Pairs()) {
                Figure a = MedianOf(ours);
                Figure b = MedianOf(peer);
                if (a.repetitions == 0 || b.repetitions == 0 || b.seconds <= 0) {
                    // Left out by a filter, or failed (reported below): no figure at all.
                    std::printf("%-48s %-40s %s\n", ours.c_str(), peer.c_str(), "not measured");
                    continue;
                }
                std::printf("%-48s %-40s %.2f (%zu and %zu repetitions)\n", ours.c_str(),
                            peer.c_str(), a.seconds / b.seconds, a.repetitions, b.repetitions);
            }
        }
        for (auto& [name, message] : errors_)
            std::fprintf(stderr, "error: %s failed: %s\n", name.c_str(), message.c_str());
        std::fflush(stdout);
    }
    bool Failed() const { return !errors_.empty(); }

private:
    // The aggregates and any failed run; a repetition only of a benchmark that has no
    // aggregates (a single repetition).
    static std::vector<Run> Shown(const std::vector<Run>& runs) {
        std::vector<Run> shown;
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate || r.error_occurred || r.repetitions <= 1)
                shown.push_back(r);
        return shown;
    }

    struct Figure {
        double seconds = 0;
        size_t repetitions = 0;
    };

    // The median time per iteration of a benchmark over this run's repetitions, from the
    // repetitions themselves when they were reported, else from the library's median.
    Figure MedianOf(const std::string& name) const {
        auto times = times_.find(name);
        if (times != times_.end() && !times->second.empty())
            return {Median(times->second), times->second.size()};
        auto median = medians_.find(name);
        return median != medians_.end() ? median->second : Figure{};
    }

    // The name without a repetition count that the benchmark itself asked for, nor the
    // suffix of an aggregate.
    static std::string BaseName(const std::string& name) {
        static const std::regex repeats("/repeats:[0-9]+|_median$");
        return std::regex_replace(name, repeats, "");
    }

    std::map<std::string, std::vector<double>> times_;
    std::map<std::string, Figure> medians_;
    bool aggregatesOnly_;
    std::vector<std::pair<std::string, std::string>> errors_;
};

}  // namespace

bool CompareTo(const std::string& ours, const std::string& peer) {
    Pairs().emplace_back(ours, peer);
    return true;
}

}  // namespace bench

namespace {

// Takes --benchmark_report_aggregates_only and --benchmark_display_aggregates_only (and their
// environment twins) out of the library's hands: under them the library hands a reporter only
// the aggregates, so a failed repetition would go unseen. The reporter applies them itself.
bool TakeAggregatesOnly(int& argc, char** argv) {
    auto truthy = [](std::string value) {
        for (char& c : value)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return !(value == "false" || value == "f" || value == "no" || value == "n" ||
                 value == "0" || value == "off");
    };
    bool only = false;
    for (const char* variable :
         {"BENCHMARK_REPORT_AGGREGATES_ONLY", "BENCHMARK_DISPLAY_AGGREGATES_ONLY"}) {
        if (const char* value = std::getenv(variable)) {
            only = only || truthy(value);
            ::unsetenv(variable);
        }
    }
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool taken = false;
        for (const std::string flag :
             {"--benchmark_report_aggregates_only", "--benchmark_display_aggregates_only"}) {
            if (arg == flag) {
                only = taken = true;
            } else if (arg.rfind(flag + "=", 0) == 0) {
                only = only || truthy(arg.substr(flag.size() + 1));
                taken = true;
            }
        }
        if (!taken) argv[kept++] = argv[i];
    }
    argc = kept;
    return only;
}

}  // namespace

int main(int argc, char** argv) {
    const bool aggregatesOnly = TakeAggregatesOnly(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::RatioReporter reporter(aggregatesOnly);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.Failed() ? 1 : 0;
}
