#include "engine/lineratemodel.h"
#include "engine/reach.h"
#include "engine/targettables.h"
#include "engine/templatefile.h"
#include "engine/workspace.h"

#include <benchmark/benchmark.h>

// The planner's questions on the sample workspace: reach of four target rates at a 10 m grid
// over 0 … 30 km, and the margin at one target rate over 31 lengths, each for a family of ten
// curves (loads 1 … 10) on the 0.4 mm cable.

namespace {

struct Sample {
    const char *lineType;
    QVector<int> targets; // kbit/s; the margin uses the second
};

const Sample samples[] = {
    {"ADSL2+_DS.DMT", {256, 1024, 4096, 16384}},
    {"VDSL2-17a_DS.DMT", {1024, 8192, 32768, 65536}},
    {"SHDSL_PAM16.PAM", {256, 1024, 2048, 2304}},
    {"SHDSL_PAM32.PAM", {1024, 2048, 4096, 5696}},
};

struct Workspace {
    CableTemplate cable;
    NoiseTemplate noise;
    LineTypeTemplate line;
    bool ok = false;

    explicit Workspace(const char *lineType)
    {
        const QString dir = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace/");
        const QString name = QString::fromUtf8(lineType);
        const QString path = dir + QStringLiteral("xDSL/") + name;
        ok = readTwoColumnTemplate(dir + QStringLiteral("Cable/PE-0.40mm-26AWG.att"), cable)
             && readTwoColumnTemplate(dir + QStringLiteral("AddNoise/AWGN-140.add"), noise)
             && (name.contains(QLatin1String(".DMT")) ? readDmtTemplate(path, line)
                                                      : readPamTemplate(path, line));
    }
};

void reachFamily(benchmark::State &state)
{
    const Sample &sample = samples[state.range(0)];
    const Workspace w(sample.lineType);
    if (!w.ok) {
        state.SkipWithError("sample workspace not readable");
        return;
    }
    state.SetLabel(sample.lineType);
    for (auto _ : state) {
        const LineRateModel model(w.cable, w.line, w.noise, 300, 300);
        for (int m = 1; m <= 10; ++m)
            benchmark::DoNotOptimize(
                reachAtRates(model, m, 50, 50, 6, sample.targets, 0, 30000, 10));
    }
}

void marginFamily(benchmark::State &state)
{
    const Sample &sample = samples[state.range(0)];
    const Workspace w(sample.lineType);
    if (!w.ok) {
        state.SkipWithError("sample workspace not readable");
        return;
    }
    state.SetLabel(sample.lineType);
    QVector<float> lengths;
    for (int L = 0; L <= 30000; L += 1000)
        lengths << float(L);
    for (auto _ : state) {
        const LineRateModel model(w.cable, w.line, w.noise, 300, 300);
        for (int m = 1; m <= 10; ++m)
            benchmark::DoNotOptimize(
                marginsAtRate(model, m, 50, 50, sample.targets[1], lengths));
    }
}

// What a run with target rates adds in the main window: reach at a 10 m grid over 0 ... 30 km and
// the margin at the first target at each of the run's 31 lengths, for ten loads.
void runTargets(benchmark::State &state)
{
    const Sample &sample = samples[state.range(0)];
    CalcSettings s = defaultCalcSettings(QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace"));
    s.lineTypes = {QString::fromUtf8(sample.lineType)};
    s.cableTypes = {QStringLiteral("PE-0.40mm-26AWG")};
    s.noiseTemplate = QStringLiteral("AWGN-140");
    s.cableCapacity = 10;
    s.xDSL_points = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    s.Norm_ELFEXT_points = {50};
    s.Norm_NEXT_points = {50};
    s.SNRMargin_points = {6};
    s.cableLengthFrom = 0;
    s.cableLengthTo = 30000;
    s.targetRates = sample.targets;
    QString error;
    const std::optional<CurveSet> set =
        CurveSet::load(s, QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace"), &error);
    if (!set) {
        state.SkipWithError("sample workspace not readable");
        return;
    }
    state.SetLabel(sample.lineType);
    for (auto _ : state)
        benchmark::DoNotOptimize(computeTargetTables(s, *set));
}

} // namespace

BENCHMARK(reachFamily)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(marginFamily)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(runTargets)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
