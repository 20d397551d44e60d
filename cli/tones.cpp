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
        "Prints one curve at one cable length (or loop loss) step by step, as CSV. A DMT line type\n"
        "gives one line per tone: frequency, transmit PSD, loss, noise level, SNR and bits; the\n"
        "bits times 4 add up to the table's rate. A PAM line type gives one line per candidate\n"
        "rate the search tries, from the highest down to the first that passes: rate, band edge,\n"
        "SNR, threshold. DIR holds Cable/, xDSL/ and AddNoise/. Every option takes one value (one\n"
        "curve). Unset options take the calculation dialog's defaults.");
    config.acceptsLengths = false;
    CalcCommandLine line(config);
    const QString lengthOption = QStringLiteral("length");
    const QString lossOption = QStringLiteral("loss");
    const CalcInput::Input &loss = CalcInput::input(CalcInput::Field::LossFrom);
    line.parser().addOption({lengthOption,
                             QStringLiteral("Cable length, m, %1..%2, the whole loop's with --section (this or --loss).")
                                 .arg(QString::number(CalcInput::Length.min), QString::number(CalcInput::Length.max)),
                             QStringLiteral("M")});
    line.parser().addOption({lossOption,
                             QStringLiteral("The loop's loss, dB, at most one decimal, %1..%2, at --loss-freq: the loop\n"
                                            "its cable and the sections give (this or --length).")
                                 .arg(CalcInput::numberText(loss, CalcInput::fromUnits(loss, loss.range.min)),
                                      CalcInput::numberText(loss, CalcInput::fromUnits(loss, loss.range.max))),
                             QStringLiteral("DB")});
    addMeasuredSnrOption(line.parser());
    if (const std::optional<Failure> f = line.parse(arguments))
        return complain(*f);
    if (line.parser().isSet(lengthOption) && line.parser().isSet(lossOption))
        return complain({BadInput, QStringLiteral("--length and --loss do not go together: give one of them")});
    if (!line.parser().isSet(lengthOption) && !line.parser().isSet(lossOption))
        return complain({BadInput, QStringLiteral("--length is required, or --loss")});
    const std::optional<int> length = line.wholeNumber(lengthOption, CalcInput::Length);
    if (const std::optional<Failure> f = line.failure())
        return complain(*f);
    std::optional<int> lossTenths;
    if (length) {
        line.setLength(*length, QStringLiteral("--length"));
    } else {
        lossTenths = line.decimalNumber(lossOption, loss);
        if (const std::optional<Failure> f = line.failure())
            return complain(*f);
        line.setLoss(*lossTenths, QStringLiteral("--loss"));
    }

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
    // Every template was found and opened above: what is left is a template whose values the
    // model cannot use, or a loss no loop has, which is bad input.
    const std::optional<LineSpectrum> spectrum =
        length ? traceCurve(settings, line.workdir(), 0, *length, &error)
               : traceCurveAtLoss(settings, line.workdir(), 0, *lossTenths, settings.lossFrequency, &error);
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
