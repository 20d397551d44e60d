// kolvane-calc: the calculation without the GUI. Prints the result table as the CSV export
// writes it. Unset options keep the calculation dialog's untouched state for the workspace.
//
// Exit status: 0 done; 2 bad input (options, values, missing or invalid templates), with nothing
// on stdout; 1 the run failed otherwise (a template that cannot be read, output not written).

#include "engine/csvwriter.h"
#include "engine/filewrite.h"
#include "engine/sweep.h"
#include "engine/workspace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <optional>

namespace {

enum Status { Done = 0, RunFailed = 1, BadInput = 2 };

struct Failure {
    Status status;
    QString message;
};

// Whole numbers as the dialog's spin boxes accept them.
struct Range {
    int min;
    int max;
};

constexpr Range LoadRange{1, 99};
constexpr Range CapacityRange{1, 99};
constexpr Range NormRange{10, 120};
constexpr Range MarginRange{0, 30};
constexpr Range FrequencyRange{1, 30000};
constexpr Range LengthRange{0, 30000};
constexpr Range StepRange{10, 5000};
constexpr int MaxValues = 10;

class Options
{
public:
    explicit Options(QCommandLineParser &parser) : m_parser(parser) {}

    std::optional<Failure> failure() const { return m_failure; }

    // The option's single value as a whole number within `range`; `fallback` when not given.
    template <typename T>
    T number(const QString &name, Range range, T fallback)
    {
        if (m_failure || !m_parser.isSet(name))
            return fallback;
        const QStringList values = m_parser.values(name);
        if (values.size() > 1) {
            refuse(QStringLiteral("--%1 given more than once").arg(name));
            return fallback;
        }
        const std::optional<int> v = whole(name, values.first(), range);
        return v ? T(*v) : fallback;
    }

    // A comma-separated list: at most ten whole numbers within `range`, strictly increasing.
    template <typename T>
    QVector<T> list(const QString &name, Range range, const QVector<T> &fallback)
    {
        if (m_failure || !m_parser.isSet(name))
            return fallback;
        const QStringList values = m_parser.values(name);
        if (values.size() > 1) {
            refuse(QStringLiteral("--%1 given more than once; list its values with commas").arg(name));
            return fallback;
        }
        const QStringList items = values.first().split(QLatin1Char(','));
        if (items.size() > MaxValues) {
            refuse(QStringLiteral("--%1: %2 values, at most %3").arg(name).arg(items.size()).arg(MaxValues));
            return fallback;
        }
        QVector<T> out;
        for (const QString &item : items) {
            const std::optional<int> v = whole(name, item, range);
            if (!v)
                return fallback;
            if (!out.isEmpty() && T(*v) <= out.last()) {
                refuse(QStringLiteral("--%1: the values must be strictly increasing").arg(name));
                return fallback;
            }
            out << T(*v);
        }
        return out;
    }

    void refuse(const QString &message, Status status = BadInput)
    {
        if (!m_failure)
            m_failure = Failure{status, message};
    }

private:
    std::optional<int> whole(const QString &name, const QString &text, Range range)
    {
        bool ok = false;
        const int v = text.trimmed().toInt(&ok);
        if (!ok) {
            refuse(QStringLiteral("--%1: \"%2\" is not a whole number").arg(name, text));
            return std::nullopt;
        }
        if (v < range.min || v > range.max) {
            refuse(QStringLiteral("--%1: %2 is outside %3..%4").arg(name).arg(v).arg(range.min).arg(range.max));
            return std::nullopt;
        }
        return v;
    }

    QCommandLineParser &m_parser;
    std::optional<Failure> m_failure;
};

template <typename T>
QString joined(const QVector<T> &values)
{
    QStringList texts;
    for (T v : values)
        texts << QString::number(v);
    return texts.join(QLatin1Char(','));
}

// A template must be an existing file (else bad input) that can be opened (else the run fails).
std::optional<Failure> checkTemplate(const QString &workdir, const QString &relative,
                                     const QString &what)
{
    const QString path = QDir::toNativeSeparators(workspacePath(workdir, relative));
    const QFileInfo info(path);
    if (const int lookup = pathLookupError(path); lookup != 0 && lookup != ENOENT && lookup != ENOTDIR)
        return Failure{RunFailed, QStringLiteral("cannot read %1: %2").arg(path, systemErrorText(lookup))};
    if (!info.exists())
        return Failure{BadInput, QStringLiteral("no %1 template %2").arg(what, path)};
    if (!info.isFile())
        return Failure{BadInput, QStringLiteral("%1 is not a template file").arg(path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{RunFailed, QStringLiteral("cannot read %1: %2").arg(path, file.errorString())};
    return std::nullopt;
}

// Builds the settings from the options over the dialog's defaults, or says why it cannot.
std::optional<Failure> settingsFrom(QCommandLineParser &parser, const QString &workdir,
                                    CalcSettings &s)
{
    s = defaultCalcSettings(workdir);
    Options options(parser);

    if (parser.isSet(QStringLiteral("cable")))
        s.cableTypes = parser.values(QStringLiteral("cable"));
    if (parser.isSet(QStringLiteral("line")))
        s.lineTypes = parser.values(QStringLiteral("line"));
    if (parser.isSet(QStringLiteral("noise"))) {
        const QStringList noises = parser.values(QStringLiteral("noise"));
        if (noises.size() > 1)
            options.refuse(QStringLiteral("--noise given more than once"));
        s.noiseTemplate = noises.first();
    }
    s.cableCapacity = options.number(QStringLiteral("capacity"), CapacityRange, s.cableCapacity);
    s.xDSL_points = options.list(QStringLiteral("load"), LoadRange, s.xDSL_points);
    s.Norm_ELFEXT_points = options.list(QStringLiteral("elfext"), NormRange, s.Norm_ELFEXT_points);
    s.Norm_NEXT_points = options.list(QStringLiteral("next"), NormRange, s.Norm_NEXT_points);
    s.norm_ELFEXT_frequency =
        options.number(QStringLiteral("elfext-freq"), FrequencyRange, s.norm_ELFEXT_frequency);
    s.norm_NEXT_frequency =
        options.number(QStringLiteral("next-freq"), FrequencyRange, s.norm_NEXT_frequency);
    s.cableLengthFrom = options.number(QStringLiteral("from"), LengthRange, s.cableLengthFrom);
    s.cableLengthTo = options.number(QStringLiteral("to"), LengthRange, s.cableLengthTo);
    s.cableLengthStep = options.number(QStringLiteral("step"), StepRange, s.cableLengthStep);
    s.SNRMargin_points = options.list(QStringLiteral("margin"), MarginRange, s.SNRMargin_points);
    if (options.failure())
        return options.failure();

    if (s.cableLengthFrom > s.cableLengthTo)
        return Failure{BadInput, QStringLiteral("--from %1 is beyond --to %2")
                                     .arg(s.cableLengthFrom)
                                     .arg(s.cableLengthTo)};
    // The dialog lets one parameter have several values; refuse rather than pick one.
    QStringList several;
    if (s.cableTypes.size() > 1)
        several << QStringLiteral("--cable");
    if (s.lineTypes.size() > 1)
        several << QStringLiteral("--line");
    if (s.xDSL_points.size() > 1)
        several << QStringLiteral("--load");
    if (s.Norm_ELFEXT_points.size() > 1)
        several << QStringLiteral("--elfext");
    if (s.Norm_NEXT_points.size() > 1)
        several << QStringLiteral("--next");
    if (s.SNRMargin_points.size() > 1)
        several << QStringLiteral("--margin");
    if (several.size() > 1)
        return Failure{BadInput, QStringLiteral("only one parameter may have several values, not %1")
                                     .arg(several.join(QStringLiteral(" and ")))};

    QString badName;
    for (const QString &cable : std::as_const(s.cableTypes))
        if (!checkTemplateName(CableAttenuation, cable, &badName))
            return Failure{BadInput, badName};
    for (const QString &line : std::as_const(s.lineTypes))
        if (!checkTemplateName(LineTypeDmt, line, &badName))
            return Failure{BadInput, badName};
    if (!checkTemplateName(AdditiveNoise, s.noiseTemplate, &badName))
        return Failure{BadInput, badName};
    // A default that is missing because its directory cannot be read is no "missing template".
    const auto unlisted = [&workdir](const QString &directory) -> std::optional<Failure> {
        const QString shown = QDir::toNativeSeparators(workspacePath(workdir, directory));
        if (const QString problem = listingProblem(shown); !problem.isEmpty())
            return Failure{RunFailed, QStringLiteral("cannot read %1: %2").arg(shown, problem)};
        return std::nullopt;
    };
    if (s.cableTypes.isEmpty())
        return unlisted(QStringLiteral("Cable")).value_or(Failure{BadInput, QStringLiteral("no cable template in %1")
                                     .arg(QDir::toNativeSeparators(workspacePath(workdir, QStringLiteral("Cable"))))});
    if (s.lineTypes.isEmpty())
        return unlisted(QStringLiteral("xDSL")).value_or(Failure{BadInput, QStringLiteral("no line type template in %1")
                                     .arg(QDir::toNativeSeparators(workspacePath(workdir, QStringLiteral("xDSL"))))});
    if (!parser.isSet(QStringLiteral("noise")) && s.noiseTemplate.isEmpty())
        if (auto f = unlisted(QStringLiteral("AddNoise")))
            return f;
    for (const QString &cable : std::as_const(s.cableTypes))
        if (auto f = checkTemplate(workdir, QStringLiteral("Cable/%1.att").arg(cable), QStringLiteral("cable")))
            return f;
    for (const QString &line : std::as_const(s.lineTypes))
        if (auto f = checkTemplate(workdir, QStringLiteral("xDSL/%1").arg(line), QStringLiteral("line type")))
            return f;
    if (!s.noiseTemplate.isEmpty())
        if (auto f = checkTemplate(workdir, QStringLiteral("AddNoise/%1.add").arg(s.noiseTemplate),
                                   QStringLiteral("noise")))
            return f;

    // The summaries the dialog would show, so the record is complete as the GUI fills it.
    const auto normText = [](const QVector<float> &values, float frequency) {
        return joined(values) + QStringLiteral("дБ(%1кГц)").arg(double(frequency));
    };
    s.cableTypesText = s.cableTypes.join(QStringLiteral(", "));
    s.xDSL_pointsText = joined(s.xDSL_points);
    s.norm_ELFEXT_Text = normText(s.Norm_ELFEXT_points, s.norm_ELFEXT_frequency);
    s.norm_NEXT_Text = normText(s.Norm_NEXT_points, s.norm_NEXT_frequency);
    if (parser.isSet(QStringLiteral("margin")))
        s.SNRMarginText = joined(s.SNRMargin_points) + QStringLiteral("дБ");
    s.lineTypesText = s.lineTypes.join(QStringLiteral(", "));
    return std::nullopt;
}

bool writeStdout(const QStringList &headers, const ResultSet &rows, QString *error)
{
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    QTextStream stream(&out);
    writeCsv(stream, headers, rows);
    stream.flush();
    if (stream.status() != QTextStream::Ok || !out.flush() || out.error() != QFile::NoError) {
        *error = QStringLiteral("cannot write the standard output: %1").arg(out.errorString());
        return false;
    }
    return true;
}

int complain(const Failure &failure)
{
    std::fprintf(stderr, "kolvane-calc: %s\n", failure.message.toLocal8Bit().constData());
    return failure.status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kolvane-calc"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KOLVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Calculates achievable DSL line rates against cable length and prints the table as CSV.\n"
        "DIR holds Cable/, xDSL/ and AddNoise/. LIST is comma-separated, strictly increasing,\n"
        "at most 10 values; only one of --cable, --line, --load, --elfext, --next, --margin may\n"
        "have several values. Unset options take the calculation dialog's defaults."));
    parser.addOptions({
        {{QStringLiteral("C"), QStringLiteral("workdir")},
         QStringLiteral("Workspace directory (default: the current directory)."), QStringLiteral("DIR")},
        {QStringLiteral("cable"), QStringLiteral("Cable template name without .att; may repeat."),
         QStringLiteral("NAME")},
        {QStringLiteral("line"), QStringLiteral("Line type file name with .DMT or .PAM; may repeat."),
         QStringLiteral("FILE")},
        {QStringLiteral("noise"), QStringLiteral("Noise template name without .add (\"\" for none)."),
         QStringLiteral("NAME")},
        {QStringLiteral("capacity"), QStringLiteral("Cable capacity M, pairs, 1..99 (4)."), QStringLiteral("M")},
        {QStringLiteral("load"), QStringLiteral("Cable load m, lines, each 1..99 (1)."), QStringLiteral("LIST")},
        {QStringLiteral("elfext"), QStringLiteral("ELFEXT norms for 1 km, dB, each 10..120 (10)."),
         QStringLiteral("LIST")},
        {QStringLiteral("next"), QStringLiteral("NEXT norms, dB, each 10..120 (10)."), QStringLiteral("LIST")},
        {QStringLiteral("elfext-freq"), QStringLiteral("ELFEXT norm frequency, kHz, 1..30000 (300)."),
         QStringLiteral("KHZ")},
        {QStringLiteral("next-freq"), QStringLiteral("NEXT norm frequency, kHz, 1..30000 (300)."),
         QStringLiteral("KHZ")},
        {QStringLiteral("from"), QStringLiteral("First cable length, m, 0..30000 (1000)."), QStringLiteral("M")},
        {QStringLiteral("to"), QStringLiteral("Last cable length, m, 0..30000 (10000)."), QStringLiteral("M")},
        {QStringLiteral("step"), QStringLiteral("Length step, m, 10..5000 (1000)."), QStringLiteral("M")},
        {QStringLiteral("margin"), QStringLiteral("SNR margins, dB, each 0..30 (0)."), QStringLiteral("LIST")},
        {QStringLiteral("o"), QStringLiteral("Write the CSV to FILE (atomically) instead of stdout."),
         QStringLiteral("FILE")},
    });
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(app.arguments()))
        return complain({BadInput, parser.errorText()});
    if (parser.isSet(help))
        parser.showHelp(Done);
    if (parser.isSet(version))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return complain({BadInput, QStringLiteral("unexpected argument \"%1\"")
                                       .arg(parser.positionalArguments().first())});
    if (parser.values(QStringLiteral("workdir")).size() > 1)
        return complain({BadInput, QStringLiteral("--workdir given more than once")});
    if (parser.values(QStringLiteral("o")).size() > 1)
        return complain({BadInput, QStringLiteral("-o given more than once")});

    const QString workdir = parser.value(QStringLiteral("workdir"));
    if (parser.isSet(QStringLiteral("workdir")) && !QFileInfo(workdir).isDir())
        return complain({BadInput, QStringLiteral("no workspace directory %1").arg(workdir)});

    CalcSettings settings;
    if (const std::optional<Failure> f = settingsFrom(parser, workdir, settings))
        return complain(*f);

    QString error;
    const std::optional<SweepResult> result = runSweep(settings, workdir, &error);
    // Every template was found and opened above: what is left is a template whose values the
    // model cannot use, which is bad input.
    if (!result)
        return complain({BadInput, error});
    for (const QString &warning : std::as_const(result->warnings))
        std::fprintf(stderr, "kolvane-calc: warning: %s\n", warning.toLocal8Bit().constData());

    const QStringList headers = QStringList{QStringLiteral("L,м")} + result->labels;
    if (parser.isSet(QStringLiteral("o"))) {
        if (!saveCsv(parser.value(QStringLiteral("o")), headers, result->rows, &error))
            return complain({RunFailed, error});
    } else if (!writeStdout(headers, result->rows, &error)) {
        return complain({RunFailed, error});
    }
    return Done;
}
