#pragma once
// Benchmarks report each pair side by side: after the run, the ratio of a measured operation
// to its baseline is printed from the same run's figures.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace varnholt::bench {

// Names pairs as (measured, baseline) benchmark names, printed with their ratio after the run.
void RegisterRatio(const std::string& measured, const std::string& baseline, double goal);

// Runs every registered benchmark, then prints the ratio table. Returns the process status.
int RunWithRatios(int argc, char** argv);

}  // namespace varnholt::bench
