#include "engine/curveset.h"
#include "engine/plantqualifier.h"
#include "engine/qualifycsv.h"
#include "engine/reach.h"
#include "engine/workspace.h"
#include "referencemodel.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

// A plant of 1,000,000 loops on the three sample PE cables, 0 … 6000 m, qualified for ADSL2+
// downstream (8 Mbit/s) and SHDSL PAM16 (2 Mbit/s) in a loaded bundle: the whole run as
// kolvane-calc does it, input parsed and output formatted, against each loop evaluated alone with
// the step-by-step reference (rate and margin at the target) on a sample of loops.

namespace {

const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");
const char *const Cables[] = {"PE-0.40mm-26AWG", "PE-0.50mm-24AWG", "PE-0.64mm-22AWG"};
constexpr int PlantLoops = 1000000;
constexpr int ReferenceLoops = 60;

QualifySettings plantSettings()
{
    QualifySettings s;
    CalcSettings &c = s.conditions;
    c = defaultCalcSettings(Samples);
    c.lineTypes = {QStringLiteral("ADSL2+_DS.DMT"), QStringLiteral("SHDSL_PAM16.PAM")};
    c.noiseTemplate = QStringLiteral("AWGN-140");
    c.cableCapacity = 50;
    c.xDSL_points = {10};
    c.Norm_ELFEXT_points = {56};
    c.Norm_NEXT_points = {58};
    c.SNRMargin_points = {6};
    s.targets = {8000, 2048};
    return s;
}

struct Loop {
    int cable;
    int length;
};

Loop randomLoop(QRandomGenerator &rng)
{
    return {int(rng.bounded(3)), int(rng.bounded(6001))};
}

const QByteArray &plantFile()
{
    static const QByteArray file = [] {
        QRandomGenerator rng(2024);
        QByteArray out = "id;cable;length\n";
        out.reserve(32 * PlantLoops);
        for (int i = 0; i < PlantLoops; ++i) {
            const Loop loop = randomLoop(rng);
            out += "L" + QByteArray::number(i) + ';' + Cables[loop.cable] + ';' + QByteArray::number(loop.length) + '\n';
        }
        return out;
    }();
    return file;
}

// Loops per second of the reference: each loop alone, the rate under the conditions and the
// margin at each target found by the same bisection over tenths of a dB.
double referenceLoopsPerSecond(benchmark::State *state = nullptr)
{
    const QualifySettings s = plantSettings();
    const CalcSettings &c = s.conditions;
    NoiseTemplate noise;
    QVector<LineTypeTemplate> lines(2);
    QVector<CableTemplate> cables(3);
    bool ok = loadNoiseTemplate(Samples, c.noiseTemplate, noise, nullptr);
    for (int i = 0; i < 2; ++i)
        ok = ok && loadLineTypeTemplate(Samples, c.lineTypes.at(i), lines[i], nullptr);
    for (int i = 0; i < 3; ++i)
        ok = ok && loadCableTemplate(Samples, QString::fromLatin1(Cables[i]), cables[i], nullptr);
    if (!ok) {
        if (state)
            state->SkipWithError("sample workspace not readable");
        return 0;
    }
    const int m = c.xDSL_points.first();
    const float E = c.Norm_ELFEXT_points.first();
    const float X = c.Norm_NEXT_points.first();
    const float margin = c.SNRMargin_points.first();
    QRandomGenerator rng(7);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < ReferenceLoops; ++i) {
        const Loop loop = randomLoop(rng);
        for (int service = 0; service < 2; ++service) {
            const reference::Model model{cables[loop.cable], lines[service], noise, c.norm_NEXT_frequency,
                                         c.norm_ELFEXT_frequency};
            const float L = float(loop.length);
            benchmark::DoNotOptimize(model.rate(m, E, X, margin, L));
            const auto carries = [&](int k) {
                return double(model.rate(m, E, X, marginFromTenths(k), L)) >= double(s.targets.at(service));
            };
            int result = 0;
            if (carries(-100) && !carries(300)) {
                int carried = -100, failed = 300;
                while (failed - carried > 1) {
                    const int k = carried + (failed - carried) / 2;
                    (carries(k) ? carried : failed) = k;
                }
                result = carried;
            }
            benchmark::DoNotOptimize(result);
        }
    }
    return double(ReferenceLoops) / (double(timer.nsecsElapsed()) / 1e9);
}

void qualifyPlant(benchmark::State &state)
{
    const QByteArray &file = plantFile();
    const QualifySettings settings = plantSettings();
    QualifyOptions options;
    options.threads = int(state.range(0));
    qint64 loops = 0;
    for (auto _ : state) {
        QString error;
        const std::unique_ptr<PlantQualifier> q = PlantQualifier::create(settings, Samples, &error);
        if (!q) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        QBuffer input;
        input.setData(file);
        input.open(QIODevice::ReadOnly);
        QualifyWriter writer(settings);
        QByteArray out;
        const bool ok = q->run(
            input,
            [&](const QualifyChunk &chunk) {
                out.clear();
                for (qsizetype i = 0; i < chunk.loops.size(); ++i)
                    writer.append(out, chunk.loops.at(i), chunk.results.constData() + 2 * i, nullptr);
                loops += chunk.loops.size();
                benchmark::DoNotOptimize(out.data());
                return true;
            },
            &error, options);
        if (!ok) {
            state.SkipWithError(qPrintable(error));
            return;
        }
    }
    state.counters["loops/s"] = benchmark::Counter(double(loops), benchmark::Counter::kIsRate);
    state.counters["services/s"] = benchmark::Counter(2.0 * double(loops), benchmark::Counter::kIsRate);
    static const double reference = referenceLoopsPerSecond();
    // Loops per second here over the reference's: elapsed time is the wall clock of the run.
    state.counters["x reference"] = benchmark::Counter(double(loops) / reference, benchmark::Counter::kIsRate);
}

void referenceLoops(benchmark::State &state)
{
    double rate = 0;
    for (auto _ : state)
        rate = referenceLoopsPerSecond(&state);
    state.counters["loops/s"] = rate;
}

} // namespace

BENCHMARK(qualifyPlant)->Arg(1)->Arg(2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(referenceLoops)->Unit(benchmark::kSecond)->Iterations(1);
