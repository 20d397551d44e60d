#include "cli/calccommandline.h"
#include "cli/cli.h"
#include "cli/measurement.h"
#include "engine/linespectrum.h"

#include <QTextStream>

int runTones(const QStringList &arguments)
{
    CalcCommandLine::Config config;
    config.command = QStringLiteral("tones");
    config.description = QStringLiteral(
        "Prints one curve at one cable length step by step, as CSV. A DMT line type gives one line\n"
        "per tone: frequency, transmit PSD, loss, noise level, SNR and bits; the bits times 4 add\n"
        "up to the table's rate. A PAM line type gives one line per candidate rate the search\n"
        "tries, from the highest down to the first that passes: rate, band edge, SNR, threshold.\n"
        "DIR holds Cable/, xDSL/ and AddNoise/. Every option takes one value (one curve).\n"
        "Unset options take the calculation dialog's defaults.");
    config.acceptsLengths = false;
    CalcCommandLine line(config);
    const QString lengthOption = QStringLiteral("length");
    line.parser().addOption({lengthOption,
                             QStringLiteral("Cable length, m, %1..%2, the whole loop's with --section (required).")
                                 .arg(QString::number(CalcInput::Length.min), QString::number(CalcInput::Length.max)),
                             QStringLiteral("M")});
    addMeasuredSnrOption(line.parser());
    if (const std::optional<Failure> f = line.parse(arguments))
        return complain(*f);
    const std::optional<int> length = line.wholeNumber(lengthOption, CalcInput::Length);
    if (const std::optional<Failure> f = line.failure())
        return complain(*f);
    if (!length)
        return complain({BadInput, QStringLiteral("--length is required")});
    line.setLength(*length, QStringLiteral("--length"));

    CalcSettings settings;
    if (const std::optional<Failure> f = line.settings(settings))
        return complain(*f);
    // A family would be several traces in one table; one curve at a time keeps the columns plain.
    for (const CalcInput::Input &in : CalcInput::inputs())
        if (in.family && CalcInput::valueCount(in, settings) > 1)
            return complain({BadInput, QStringLiteral("%1 has %2 values; tones shows one curve, give one")
                                           .arg(CalcCommandLine::optionName(in.field),
                                                QString::number(CalcInput::valueCount(in, settings)))});
    if (const std::optional<int> written = line.writeSetupIfAsked(settings))
        return *written;
    std::optional<Measured::Series> measured;
    if (const std::optional<Failure> f = measuredSnr(line.parser(), &measured))
        return complain(*f);

    QString error;
    const std::optional<LineSpectrum> spectrum = traceCurve(settings, line.workdir(), 0, *length, &error);
    // Every template was found and opened above: what is left is a template whose values the
    // model cannot use, which is bad input.
    if (!spectrum)
        return complain({BadInput, error});
    for (const QString &warning : std::as_const(spectrum->warnings))
        warn(warning);
    if (measured && !spectrum->dmt)
        return complain({BadInput, QStringLiteral("--measured: the SNR per tone needs a DMT line type")});

    if (const std::optional<Failure> f
        = line.write([&](QTextStream &out) {
              writeTraceCsv(out, spectrum->trace, spectrum->dmt, measured ? &*measured : nullptr);
          }))
        return complain(*f);
    return Done;
}
