#include "BenchSupport.h"

#include <cstdio>

namespace varnholt::bench {
namespace {

struct Ratio {
    std::string measured, baseline;
    double goal;
};

std::vector<Ratio>& Ratios() {
    static std::vector<Ratio> ratios;
    return ratios;
}

// Keeps each run's real time per iteration while printing as usual.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "mean")
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

void RegisterRatio(const std::string& measured, const std::string& baseline, double goal) {
    Ratios().push_back({measured, baseline, goal});
}

int RunWithRatios(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-48s %-48s %8s %6s\n", "measured", "baseline", "ratio", "goal");
    for (const Ratio& r : Ratios()) {
        const auto m = reporter.times.find(r.measured), b = reporter.times.find(r.baseline);
        if (m == reporter.times.end() || b == reporter.times.end() || b->second <= 0) continue;
        std::printf("%-48s %-48s %8.3f %6.2f\n", r.measured.c_str(), r.baseline.c_str(), m->second / b->second,
                    r.goal);
    }
    benchmark::Shutdown();
    return 0;
}

}  // namespace varnholt::bench
