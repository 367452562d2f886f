// Side-by-side benchmarks: a program registers pairs (ours, a peer or ceiling) and, after the
// usual Google Benchmark table, prints how much slower or faster ours ran than the peer: the
// median time of ours over the median time of the peer, over the repetitions of the same run.
#pragma once

#include <string>

namespace bench {

// Registers a pair by benchmark name (as Google Benchmark prints it, arguments included).
// Returns true so it can initialise a static.
bool CompareTo(const std::string& ours, const std::string& peer);

}  // namespace bench

#define HALVEX_BENCH_CONCAT_(a, b) a##b
#define HALVEX_BENCH_CONCAT(a, b) HALVEX_BENCH_CONCAT_(a, b)
#define HALVEX_BENCH_COMPARE(ours, peer)                                                   \
    [[maybe_unused]] static const bool HALVEX_BENCH_CONCAT(halvex_bench_pair_, __LINE__) = \
        ::bench::CompareTo(ours, peer)
