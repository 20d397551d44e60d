#include "cli/calccommandline.h"
#include "cli/cli.h"
#include "engine/curveset.h"
#include "engine/loss.h"
#include "engine/targettables.h"

#include <QTextStream>

// How much SNR margin every length keeps at a target rate.
int runMargin(const QStringList &arguments)
{
    using namespace CalcInput;
    CalcCommandLine::Config config;
    config.command = QStringLiteral("margin");
    config.description = QStringLiteral(
        "Prints, for every curve and length, the largest SNR margin (in steps of 0.1 dB from -10 to\n"
        "30 dB) at which the rate still reaches the target rate; \"<-10.0\" when even -10 dB falls\n"
        "short, \">30.0\" when 30 dB still carries it. The other options are those of the table\n"
        "command, without --margin: the margin is the answer. With --axis loss the rows are\n"
        "losses, \"-\" where a curve has no loop.");
    config.acceptsMargin = false;
    CalcCommandLine line(config);
    line.parser().addOption({QStringLiteral("rate"),
                             QStringLiteral("Target rate, kbit/s, a whole number %1..%2 (default: the first of\n"
                                            "the --setup file's).")
                                 .arg(TargetRate.min).arg(TargetRate.max),
                             QStringLiteral("R")});
    if (const std::optional<Failure> f = line.parse(arguments))
        return complain(*f);
    const std::optional<int> rate = line.wholeNumber(QStringLiteral("rate"), TargetRate);
    CalcSettings settings;
    if (const std::optional<Failure> f = line.settings(settings))
        return complain(*f);
    if (rate)
        settings.targetRates = {*rate};
    if (settings.targetRates.isEmpty())
        return complain({BadInput, QStringLiteral("--rate: no target rate given")});
    if (const std::optional<int> written = line.writeSetupIfAsked(settings))
        return *written;

    QString error;
    const std::optional<CurveSet> set = CurveSet::load(settings, line.workdir(), &error);
    // Every template was found and opened: what is left is a value the model cannot use.
    if (!set)
        return complain({BadInput, error});
    for (const QString &warning : set->warnings())
        warn(warning);
    std::optional<Failure> failure;
    if (settings.axis == SweepAxis::Loss) {
        const LossMarginTable table = *computeLossMarginTable(*set, settings.targetRates.first(), lossGrid(settings),
                                                              settings.lossFrequency);
        failure = line.write([&](QTextStream &out) { writeLossMarginCsv(out, table); });
    } else {
        const MarginTable table = *computeMarginTable(*set, settings.targetRates.first(), runLengths(settings));
        failure = line.write([&](QTextStream &out) { writeMarginCsv(out, table); });
    }
    if (failure)
        return complain(*failure);
    return Done;
}
