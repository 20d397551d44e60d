#include "cli/calccommandline.h"
#include "cli/cli.h"
#include "engine/calcrun.h"
#include "engine/csvwriter.h"

#include <QTextStream>

namespace {

// Rates against cable length, or loop loss: the result table as the GUI's CSV export writes it.
int table(const QStringList &arguments, bool asDefault)
{
    CalcCommandLine::Config config;
    config.command = asDefault ? QString() : QStringLiteral("table");
    config.description = QStringLiteral(
        "Calculates achievable DSL line rates against cable length and prints the table as CSV.\n"
        "DIR holds Cable/, xDSL/ and AddNoise/. LIST is comma-separated, strictly increasing,\n"
        "at most 10 values; only one of --cable, --line, --load, --elfext, --next, --margin may\n"
        "have several values. Unset options take the calculation dialog's defaults. With --axis\n"
        "loss the rows are losses in dB at --loss-freq, each curve at the loop its cable and the\n"
        "sections give (\"-\" where no loop has that loss).");
    if (asDefault)
        config.description += QStringLiteral("\n\n") + commandList();
    CalcCommandLine line(config);
    if (const std::optional<Failure> f = line.parse(arguments))
        return complain(*f);
    CalcSettings settings;
    if (const std::optional<Failure> f = line.settings(settings))
        return complain(*f);
    if (const std::optional<int> written = line.writeSetupIfAsked(settings))
        return *written;

    QString error;
    const std::optional<SweepResult> result = runAxisSweep(settings, line.workdir(), &error);
    // Every template was found and opened above: what is left is a template whose values the
    // model cannot use, which is bad input.
    if (!result)
        return complain({BadInput, error});
    for (const QString &warning : std::as_const(result->warnings))
        warn(warning);

    const QStringList headers = resultHeader(settings, *result);
    if (const std::optional<Failure> f = line.write([&](QTextStream &out) { writeCsv(out, headers, result->rows); }))
        return complain(*f);
    return Done;
}

} // namespace

int runTable(const QStringList &arguments)
{
    return table(arguments, false);
}

int runDefault(const QStringList &arguments)
{
    return table(arguments, true);
}
