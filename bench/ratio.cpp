// Benchmark entry point that prints the registered ratios after the run.
#include "ratio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <vector>

namespace bench {
namespace {

struct Ratio {
    std::string sLabel, sOurs, sReference;
};

std::vector<Ratio> &ratios() {
    static std::vector<Ratio> lRatios;
    return lRatios;
}

// Console output as usual, plus the real time per iteration of every run.
class CapturingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> mTimes;

    void ReportRuns(const std::vector<Run> &lRuns) override {
        ConsoleReporter::ReportRuns(lRuns);
        for (const Run &r : lRuns) {
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                mTimes[r.benchmark_name()] = r.GetAdjustedRealTime();
        }
    }
};

} // namespace

int addRatio(const std::string &sLabel, const std::string &sOurs, const std::string &sReference) {
    ratios().push_back({sLabel, sOurs, sReference});
    return 0;
}

} // namespace bench

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    bench::CapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    bool bHeader = false;
    for (const bench::Ratio &r : bench::ratios()) {
        auto ours = reporter.mTimes.find(r.sOurs);
        auto ref = reporter.mTimes.find(r.sReference);
        if (ours == reporter.mTimes.end() || ref == reporter.mTimes.end() || ours->second <= 0)
            continue;
        if (!bHeader) {
            std::printf("\nRatios (reference time / our time; 1.00 = as fast as the reference):\n");
            bHeader = true;
        }
        std::printf("  %-50s %6.2f\n", r.sLabel.c_str(), ref->second / ours->second);
    }
    return 0;
}
