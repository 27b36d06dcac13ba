#include "BenchSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

struct Times {
    double real = 0, cpu = 0;
};

// Keeps each benchmark's time per iteration while printing as usual: the fastest repetition
// when there are several, else the single run.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    // Colours only for a terminal: logs and CI output stay plain text.
    RecordingReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (run.error_occurred) failed = true;
            if (single || (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min"))
                times[run.run_name.str()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Times> times;
    bool failed = false;  // a benchmark stopped with an error (a wrong answer, a missing file)
};

}  // namespace

double Minimum(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void RegisterRatio(const std::string& measured, const std::string& baseline, double goal) {
    Ratios().push_back({measured, baseline, goal});
}

int RunWithRatios(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // CPU time decides: on a shared machine the wall clock also counts the time other
    // processes held the CPU, which differs from one benchmark to the next.
    std::printf("\n%-44s %-36s %8s %8s %6s\n", "measured", "baseline", "cpu", "real", "goal");
    bool missed = false;
    for (const Ratio& r : Ratios()) {
        const auto m = reporter.times.find(r.measured), b = reporter.times.find(r.baseline);
        if (m == reporter.times.end() || b == reporter.times.end() || b->second.cpu <= 0 || b->second.real <= 0)
            continue;  // not selected by --benchmark_filter
        const double cpu = m->second.cpu / b->second.cpu, real = m->second.real / b->second.real;
        missed = missed || cpu > r.goal;
        std::printf("%-44s %-36s %8.3f %8.3f %6.2f%s\n", r.measured.c_str(), r.baseline.c_str(), cpu, real, r.goal,
                    cpu <= r.goal ? "" : "  MISSED");
    }
    benchmark::Shutdown();
    // Timings on a loaded machine vary: a missed goal fails the run only when asked to.
    const char* strict = std::getenv("VARNHOLT_BENCH_STRICT");
    const bool failOnMissed = strict && std::strcmp(strict, "1") == 0;
    return reporter.failed || (failOnMissed && missed) ? 1 : 0;
}

}  // namespace varnholt::bench
