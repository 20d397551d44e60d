#include "cli/calccommandline.h"
#include "cli/cli.h"
#include "engine/calcinput.h"
#include "engine/fileread.h"
#include "engine/filewrite.h"
#include "engine/qualifycsv.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

namespace {

std::optional<QVector<int>> targetRates(QCommandLineParser &parser, std::optional<Failure> *failure)
{
    const QString option = QStringLiteral("rate");
    if (!parser.isSet(option))
        return QVector<int>();
    const QStringList values = parser.values(option);
    if (values.size() > 1) {
        *failure = Failure{BadInput, QStringLiteral("--rate given more than once; list its values with commas")};
        return std::nullopt;
    }
    QVector<int> out;
    for (const QString &item : values.first().split(QLatin1Char(','))) {
        bool ok = false;
        const int v = item.trimmed().toInt(&ok);
        if (!ok) {
            *failure = Failure{BadInput, QStringLiteral("--rate: \"%1\" is not a whole number").arg(item)};
            return std::nullopt;
        }
        out << v;
    }
    return out;
}

// The loop records: a file, or the standard input for "-".
std::optional<Failure> openInput(const QString &name, QFile &file)
{
    if (name == QLatin1String("-")) {
        // A closed standard input is held on /dev/null at start: reading it would find no loops.
        if (standardInputClosedAtStart())
            return Failure{BadInput, QStringLiteral("cannot read the standard input: it is closed")};
        if (!file.open(stdin, QIODevice::ReadOnly))
            return Failure{RunFailed, QStringLiteral("cannot read the standard input: %1").arg(file.errorString())};
        return std::nullopt;
    }
    QString why;
    if (!openFileForReading(file, name, &why))
        return Failure{BadInput, QStringLiteral("cannot read the loop-records file %1: %2").arg(name, why)};
    return std::nullopt;
}

} // namespace

int runQualify(const QStringList &arguments)
{
    CalcCommandLine::Config config;
    config.command = QStringLiteral("qualify");
    config.description = QStringLiteral(
        "Qualifies every loop of a loop-records file for one or more services: the rate of each\n"
        "--line at the loop's length and, with --rate, the SNR margin at the target rate and\n"
        "whether the loop carries it (да/нет). FILE is UTF-8 text (or UTF-16 with a byte-order\n"
        "mark): one header line, then one loop per line as id;cable;length[;sections], the length\n"
        "in whole metres 0..30000, sections as CABLE:LENGTH joined by '+'; \"-\" reads the\n"
        "standard input. An id starting with =, +, - or @ is written with a leading apostrophe, so\n"
        "that spreadsheets never take it for a formula. --load, --elfext, --next and\n"
        "--margin take one value each. The output holds one line per loop in input order; a loop\n"
        "that cannot be computed gets its reason in the last field and a line on stderr, and the\n"
        "exit status is then 3.");
    config.sweepsCable = false;
    config.positional = QStringLiteral("FILE");
    config.positionalHelp = QStringLiteral("Loop records, or - for the standard input.");
    CalcCommandLine line(config);
    line.parser().addOption({QStringLiteral("rate"),
                             QStringLiteral("Target rates, kbit/s, %1..%2: one per --line, in the same order.")
                                 .arg(CalcInput::TargetRate.min)
                                 .arg(CalcInput::TargetRate.max),
                             QStringLiteral("LIST")});
    if (const std::optional<Failure> f = line.parse(arguments))
        return complain(*f);
    QualifySettings settings;
    if (const std::optional<Failure> f = line.settings(settings.conditions))
        return complain(*f);
    std::optional<Failure> failure;
    const std::optional<QVector<int>> targets = targetRates(line.parser(), &failure);
    if (!targets)
        return complain(*failure);
    settings.targets = *targets;
    QString error;
    if (!CalcInput::validateLoopConditions(settings.conditions, settings.targets, CalcCommandLine::optionName, &error))
        return complain({BadInput, error});

    QFile input;
    const QString inputName = line.positionalArgument();
    if (const std::optional<Failure> f = openInput(inputName, input))
        return complain(*f);
    // Every template was found and opened above: what is left is one whose values the model
    // cannot use, which is bad input.
    const std::unique_ptr<PlantQualifier> qualifier = PlantQualifier::create(settings, line.workdir(), &error);
    if (!qualifier)
        return complain({BadInput, error});
    for (const QString &warning : qualifier->takeWarnings())
        warn(warning);

    const QByteArray shownName = (inputName == QLatin1String("-") ? QStringLiteral("<stdin>") : inputName).toLocal8Bit();
    QualifyStreamOutcome outcome;
    bool runFailed = false;
    QString runError;
    const ContentWriter content = [&](QIODevice &device, QString *why) {
        const bool done = streamQualification(*qualifier, input, device, &outcome, {}, [&](const QualifyChunk &chunk) {
            for (const QualifiedLoop &loop : chunk.loops)
                if (loop.problem >= 0)
                    std::fprintf(stderr, "kolvane-calc: %s:%lld: %s\n", shownName.constData(),
                                 static_cast<long long>(loop.line),
                                 chunk.problems.at(loop.problem).text().toLocal8Bit().constData());
            for (const QString &warning : qualifier->takeWarnings())
                warn(warning);
        });
        if (!done && !outcome.writeFailed) {
            runFailed = true;
            runError = outcome.error;
            *why = runError;
        }
        return done;
    };

    // Streamed: a plant's output is far larger than what is worth holding.
    if (const std::optional<Failure> f = writeOutput(line.parser().value(QStringLiteral("o")), content, true))
        return complain(runFailed ? Failure{RunFailed, runError} : *f);
    return outcome.refused > 0 ? SomeRefused : Done;
}
