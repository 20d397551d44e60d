#include "engine/lineratemodel.h"
#include "referencemodel.h"
#include "workloads.h"

#include <benchmark/benchmark.h>

// Each pair runs the same family of curves through the step-by-step reference and through the
// production sweep; their ratio is the speed-up.

namespace {

const CableTemplate cable = workload::thinCable();
const NoiseTemplate noise = workload::whiteNoise();

void dmtReference(benchmark::State &state)
{
    const LineTypeTemplate line = workload::wideDmt();
    const reference::Model model{cable, line, noise, 300, 300};
    const QVector<float> lengths = workload::lengths();
    const QVector<float> margins = workload::tenMargins();
    for (auto _ : state) {
        for (float L : lengths)
            for (float margin : margins)
                benchmark::DoNotOptimize(model.rate(4, 40, 50, margin, L));
    }
}

void dmtFast(benchmark::State &state)
{
    const LineTypeTemplate line = workload::wideDmt();
    const QVector<float> lengths = workload::lengths();
    const QVector<float> margins = workload::tenMargins();
    QVector<float> out(margins.size());
    for (auto _ : state) {
        const LineRateModel model(cable, line, noise, 300, 300);
        RateSweep sweep(model, 4, 40, 50, margins);
        for (float L : lengths) {
            sweep.evaluate(L, out.data());
            benchmark::DoNotOptimize(out.data());
        }
    }
}

// The same margins as separate curves: what the sweep gains from sharing the tones' SNR.
void dmtFastPerMargin(benchmark::State &state)
{
    const LineTypeTemplate line = workload::wideDmt();
    const QVector<float> lengths = workload::lengths();
    const QVector<float> margins = workload::tenMargins();
    for (auto _ : state) {
        const LineRateModel model(cable, line, noise, 300, 300);
        for (float margin : margins) {
            RateSweep sweep(model, 4, 40, 50, {margin});
            float r;
            for (float L : lengths) {
                sweep.evaluate(L, &r);
                benchmark::DoNotOptimize(r);
            }
        }
    }
}

// Ten lines in the binder at one margin, without vectoring (-1) and vectored with 0 or 2 alien
// disturbers: what the vectored crosstalk of a tone costs.
void dmtBinder(benchmark::State &state)
{
    const LineTypeTemplate line = workload::wideDmt();
    const QVector<float> lengths = workload::lengths();
    const LineRateModel model(cable, line, noise, 300, 300);
    const int aliens = int(state.range(0));
    const ModelOptions options = aliens >= 0 ? workload::vectoredBinder(aliens) : ModelOptions();
    for (auto _ : state) {
        RateSweep sweep(model, 10, 40, 50, {6}, options);
        float r;
        for (float L : lengths) {
            sweep.evaluate(L, &r);
            benchmark::DoNotOptimize(r);
        }
    }
}

void pamReference(benchmark::State &state)
{
    const LineTypeTemplate lines[] = {workload::symmetricPam(2), workload::symmetricPam(3)};
    const QVector<float> lengths = workload::lengths(int(state.range(0)));
    for (auto _ : state) {
        for (const LineTypeTemplate &line : lines) {
            const reference::Model model{cable, line, noise, 300, 300};
            for (int m : workload::loads())
                for (float L : lengths)
                    benchmark::DoNotOptimize(model.rate(m, 40, 50, 0, L));
        }
    }
}

void pamFast(benchmark::State &state)
{
    const LineTypeTemplate lines[] = {workload::symmetricPam(2), workload::symmetricPam(3)};
    const QVector<float> lengths = workload::lengths(int(state.range(0)));
    for (auto _ : state) {
        for (const LineTypeTemplate &line : lines) {
            const LineRateModel model(cable, line, noise, 300, 300);
            for (int m : workload::loads()) {
                RateSweep sweep(model, m, 40, 50, {0});
                float r;
                for (float L : lengths) {
                    sweep.evaluate(L, &r);
                    benchmark::DoNotOptimize(r);
                }
            }
        }
    }
}

} // namespace

BENCHMARK(dmtReference)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(dmtFast)->Unit(benchmark::kMillisecond);
BENCHMARK(dmtFastPerMargin)->Unit(benchmark::kMillisecond);
BENCHMARK(dmtBinder)->ArgName("aliens")->Arg(-1)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(pamReference)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(pamFast)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
