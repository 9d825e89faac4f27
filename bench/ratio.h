// Ratio reporting for the benchmarks: every measurement of ours is compared
// with a reference measured in the same run on the same bytes.
#pragma once

#include <string>

namespace bench {

// Registers a ratio to print after the run: the reference's time per
// iteration divided by ours, so that 1.0 means "as fast as the reference"
// and 0.8 means "80 % of the reference's throughput". Names are full
// benchmark names as Google Benchmark prints them (with their arguments).
// Returns a dummy value so it can initialise a static.
int addRatio(const std::string &sLabel, const std::string &sOurs, const std::string &sReference);

} // namespace bench

#define PELIMUND_CONCAT2(a, b) a##b
#define PELIMUND_CONCAT(a, b) PELIMUND_CONCAT2(a, b)
#define PELIMUND_BENCH_RATIO(label, ours, reference)                                               \
    static int PELIMUND_CONCAT(iBenchRatio, __LINE__) = ::bench::addRatio(label, ours, reference)
