#include "cli/calccommandline.h"
#include "cli/cli.h"
#include "engine/curveset.h"
#include "engine/loss.h"
#include "engine/targettables.h"

#include <QTextStream>

// How far each target rate reaches on every curve.
int runReach(const QStringList &arguments)
{
    using namespace CalcInput;
    CalcCommandLine::Config config;
    config.command = QStringLiteral("reach");
    config.description = QStringLiteral(
        "Prints how far each target rate reaches: for every curve, the last length of the grid\n"
        "--from, --from + --step, ... <= --to before the first one whose rate is below the target;\n"
        "\"-\" when the first length already falls short, \">N\" when the whole grid carries it.\n"
        "The other options are those of the table command. The grid step of a --setup file is a\n"
        "table's step; the reach grid stays at %1 m unless --step is given. With --axis loss the\n"
        "grid is of losses (by default 0 to 100 dB in steps of 0.1 dB, a setup's step left aside\n"
        "as well), points where a curve has no loop are skipped, and the cells are losses.")
                             .arg(RunReachStep);
    config.defaultFrom = 0;
    config.defaultTo = DefaultTo;
    config.defaultStep = RunReachStep;
    config.stepRange = FineStep;
    config.defaultLossFrom = 0;
    config.defaultLossTo = 1000; // 100 dB: beyond any loop a DSL service reaches
    config.defaultLossStep = RunLossReachStep;
    CalcCommandLine line(config);
    line.parser().addOption({QStringLiteral("rate"),
                             QStringLiteral("Target rates, kbit/s: comma-separated whole numbers %1..%2, strictly\n"
                                            "increasing, at most %3 (default: the --setup file's).")
                                 .arg(TargetRate.min).arg(TargetRate.max).arg(MaxTargets),
                             QStringLiteral("LIST")});
    if (const std::optional<Failure> f = line.parse(arguments))
        return complain(*f);
    const std::optional<QVector<int>> rates = line.wholeNumbers(QStringLiteral("rate"), TargetRate, MaxTargets);
    CalcSettings settings;
    if (const std::optional<Failure> f = line.settings(settings))
        return complain(*f);
    if (rates)
        settings.targetRates = *rates;
    if (settings.targetRates.isEmpty())
        return complain({BadInput, QStringLiteral("--rate: no target rate given")});
    if (const std::optional<int> written = line.writeSetupIfAsked(settings))
        return *written;
    if (!line.parser().isSet(QStringLiteral("step"))) {
        settings.cableLengthStep = RunReachStep;
        settings.lossStep = RunLossReachStep;
    }

    QString error;
    const std::optional<CurveSet> set = CurveSet::load(settings, line.workdir(), &error);
    // Every template was found and opened: what is left is a value the model cannot use.
    if (!set)
        return complain({BadInput, error});
    for (const QString &warning : set->warnings())
        warn(warning);
    std::optional<Failure> failure;
    if (settings.axis == SweepAxis::Loss) {
        const LossReachTable table =
            *computeLossReachTable(*set, settings.targetRates, lossGrid(settings), settings.lossFrequency);
        failure = line.write([&](QTextStream &out) { writeLossReachCsv(out, table); });
    } else {
        const ReachTable table = *computeReachTable(*set, settings.targetRates, settings.cableLengthFrom,
                                                    settings.cableLengthTo, settings.cableLengthStep);
        failure = line.write([&](QTextStream &out) { writeReachCsv(out, table); });
    }
    if (failure)
        return complain(*failure);
    return Done;
}
