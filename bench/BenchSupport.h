#pragma once
// Benchmarks report each pair side by side: after the run, the ratio of a measured operation
// to its baseline is printed from the same run's figures.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace varnholt::bench {

// The fastest repetition, registered on each benchmark with ->ComputeStatistics("min", Minimum).
// On a shared machine other work only ever adds time, so the fastest of several repetitions is
// the steadiest figure of a cost; ratios use it when the run has repetitions.
double Minimum(const std::vector<double>& values);

// Names pairs as (measured, baseline) benchmark names, printed with their ratio after the run.
void RegisterRatio(const std::string& measured, const std::string& baseline, double goal);

// Runs the selected benchmarks, then prints the ratio table (CPU time, and the wall clock for
// reference; the fastest repetition when there are several). Returns 1 when a benchmark failed,
// or a goal was missed and VARNHOLT_BENCH_STRICT=1; else 0.
int RunWithRatios(int argc, char** argv);

}  // namespace varnholt::bench
