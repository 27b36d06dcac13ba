// GetLabel over a prompt of 1 Mi characters and one of 10 Mi, each with nine arguments whose
// placeholders recur through the text. The work is linear in the prompt's length times the
// arguments, so ten times the prompt costs at most eleven times as much.
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "varnholt/ConnectionHelper.h"

namespace {

using namespace varnholt;

constexpr int kArguments = 9;

// Text with every placeholder once in each 100 characters or so.
String Prompt(size_t length) {
    String text;
    text.reserve(length);
    for (int k = 0; text.size() < length; k = (k + 1) % kArguments) {
        text += u"Die Datenbank auf dem Server ist nicht erreichbar: ";
        text += u"[%" + Decimal(k + 1) + u"]";
    }
    text.resize(length);
    return text;
}

void GetLabel(benchmark::State& state, size_t length) {
    const String prompt = Prompt(length);
    std::vector<Variant> parms;
    for (int k = 1; k <= kArguments; ++k) {
        String argument = u"argument ";
        argument += Decimal(k);
        parms.push_back(Variant(argument));
    }
    ConnectionHelper helper;
    // Twice before timing: the first calls of a size also pay for the process's first use of
    // that much memory (mapped for the first result, then taken into the heap for the second).
    for (int warm = 0; warm < 2; ++warm) benchmark::DoNotOptimize(helper.GetLabel(prompt, parms));
    for (auto _ : state) benchmark::DoNotOptimize(helper.GetLabel(prompt, parms));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(length * sizeof(char16_t)));
}

void BM_GetLabel_1Mi(benchmark::State& s) { GetLabel(s, size_t{1} << 20); }
void BM_GetLabel_10Mi(benchmark::State& s) { GetLabel(s, size_t{10} << 20); }

BENCHMARK(BM_GetLabel_1Mi)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", varnholt::bench::Minimum);
BENCHMARK(BM_GetLabel_10Mi)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", varnholt::bench::Minimum);

const bool registered = [] {
    varnholt::bench::RegisterRatio("BM_GetLabel_10Mi", "BM_GetLabel_1Mi", 11.0);
    return true;
}();

}  // namespace

int main(int argc, char** argv) { return varnholt::bench::RunWithRatios(argc, argv); }
