#include "cli/cli.h"
#include "cli/measurement.h"
#include "engine/measuredline.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

void addMeasurementOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("format"),
         QStringLiteral("The files' format: tr181 (NAME=VALUE-LIST test parameters), json (router "
                        "statistics) or text (a modem's dump, one tone per line); default: told by the content."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("annex"),
         QStringLiteral("For text dumps, which hold both directions: the band plan's annex. A, I, L "
                        "(the default): downstream from tone 32; B, J, M: from tone 64."),
         QStringLiteral("ANNEX")},
    });
}

std::optional<Failure> measurementOptions(const QCommandLineParser &parser, Measured::ReadOptions *options)
{
    for (const QString &name : {QStringLiteral("format"), QStringLiteral("annex")})
        if (parser.values(name).size() > 1)
            return Failure{BadInput, QStringLiteral("--%1 given more than once").arg(name)};
    if (parser.isSet(QStringLiteral("format"))) {
        options->format = Measured::formatFromName(parser.value(QStringLiteral("format")));
        if (!options->format)
            return Failure{BadInput, QStringLiteral("--format: \"%1\" is none of tr181, json, text")
                                         .arg(parser.value(QStringLiteral("format")))};
    }
    if (parser.isSet(QStringLiteral("annex"))) {
        const std::optional<int> first = Measured::annexFirstDownstreamTone(parser.value(QStringLiteral("annex")));
        if (!first)
            return Failure{BadInput, QStringLiteral("--annex: \"%1\" is none of A, B, I, J, L, M")
                                         .arg(parser.value(QStringLiteral("annex")))};
        options->firstDownstreamTone = *first;
    }
    return std::nullopt;
}

void addMeasuredSnrOption(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("measured"),
                      QStringLiteral("A measurement of the line whose SNR goes beside the model's, as a last "
                                     "column SNRизм,дБ (DMT only); may repeat."),
                      QStringLiteral("FILE")});
    addMeasurementOptions(parser);
}

std::optional<Failure> measuredSnr(const QCommandLineParser &parser, std::optional<Measured::Series> *snr)
{
    if (!parser.isSet(QStringLiteral("measured")))
        return std::nullopt;
    Measured::ReadOptions options;
    if (const std::optional<Failure> f = measurementOptions(parser, &options))
        return f;
    QString error;
    const std::optional<Measured::Measurement> m = Measured::read(parser.values(QStringLiteral("measured")), options,
                                                                  &error);
    if (!m)
        return Failure{BadInput, error};
    if (!m->snr.present)
        return Failure{BadInput, QStringLiteral("--measured: no downstream SNR in %1").arg(m->sources.join(QStringLiteral(", ")))};
    *snr = m->snr;
    return std::nullopt;
}

int runImport(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Turns a line's measurement into templates: Hlog into Cable/NAME.att (the loss per km of a line\n"
        "of the given length), QLN into AddNoise/NAME.add, downstream only. The measured SNR is kept\n"
        "beside the cable, for the per-tone window. Prints what was used on stdout; writes nothing when\n"
        "a file is refused."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Measurement files (for text dumps, one per "
                                                                        "quantity)."),
                                 QStringLiteral("FILE..."));
    parser.addOptions({
        {{QStringLiteral("C"), QStringLiteral("workdir")},
         QStringLiteral("Workspace directory (default: the current directory)."), QStringLiteral("DIR")},
        {QStringLiteral("name"), QStringLiteral("Name of both templates (required)."), QStringLiteral("NAME")},
        {QStringLiteral("length-of-line"),
         QStringLiteral("The measured line's length, whole metres %1..%2 (%3: the loss is then "
                        "\"this line at 1 km\").")
             .arg(Measured::LineLength.min)
             .arg(Measured::LineLength.max)
             .arg(Measured::DefaultLineLength),
         QStringLiteral("M")},
        {QStringLiteral("force"), QStringLiteral("Replace templates of that name.")},
    });
    addMeasurementOptions(parser);
    if (!parser.parse(arguments))
        return complain({BadInput, parser.errorText()});
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: kolvane-calc import [options] FILE... --name NAME"));
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return Done;
    }
    for (const QString &name : {QStringLiteral("workdir"), QStringLiteral("name"), QStringLiteral("length-of-line")})
        if (parser.values(name).size() > 1)
            return complain({BadInput, QStringLiteral("--%1 given more than once").arg(name)});
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return complain({BadInput, QStringLiteral("no measurement FILE given")});
    if (!parser.isSet(QStringLiteral("name")))
        return complain({BadInput, QStringLiteral("--name is required")});
    Measured::Target target;
    target.name = parser.value(QStringLiteral("name"));
    target.workdir = parser.value(QStringLiteral("workdir"));
    target.replace = parser.isSet(QStringLiteral("force"));
    if (parser.isSet(QStringLiteral("workdir")) && !QFileInfo(target.workdir).isDir())
        return complain({BadInput, QStringLiteral("no workspace directory %1").arg(target.workdir)});
    if (parser.isSet(QStringLiteral("length-of-line"))) {
        static const QRegularExpression whole(QStringLiteral("^[0-9]{1,5}$"));
        const QString text = parser.value(QStringLiteral("length-of-line"));
        target.lineLength = whole.match(text).hasMatch() ? text.toInt() : 0;
        if (!Measured::LineLength.contains(target.lineLength))
            return complain({BadInput, QStringLiteral("--length-of-line: \"%1\" is no whole number of metres %2..%3")
                                           .arg(text, QString::number(Measured::LineLength.min),
                                                QString::number(Measured::LineLength.max))});
    }
    QString error;
    if (!Measured::checkName(target.name, &error))
        return complain({BadInput, error});
    Measured::ReadOptions options;
    if (const std::optional<Failure> f = measurementOptions(parser, &options))
        return complain(*f);

    const std::optional<Measured::Measurement> measurement = Measured::read(files, options, &error);
    if (!measurement)
        return complain({BadInput, error});
    switch (Measured::write(*measurement, target, &error)) {
    case Measured::Outcome::Exists:
        return complain({BadInput, error + QStringLiteral("; --force replaces")});
    case Measured::Outcome::Refused:
        return complain({BadInput, error});
    case Measured::Outcome::Failed:
        return complain({RunFailed, error});
    case Measured::Outcome::Written:
        break;
    }
    QStringList lines = Measured::summary(*measurement);
    for (const QString &file : Measured::templateFiles(*measurement, target.name))
        lines << QStringLiteral("written: %1").arg(file);
    for (const QString &warning : measurement->warnings)
        lines << QStringLiteral("warning: %1").arg(warning);
    std::fputs((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    return Done;
}
