#include "cli/calccommandline.h"

#include "engine/csvwriter.h"
#include "engine/filewrite.h"
#include "engine/setupfile.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <cerrno>
#include <cstdio>

namespace {

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

} // namespace

CalcCommandLine::CalcCommandLine(const Config &config)
    : m_config(config)
{
    using namespace CalcInput;
    const auto range = [](const char *text, IntRange r, int fallback) {
        return QString::fromLatin1(text).arg(r.min).arg(r.max).arg(fallback);
    };
    m_parser.setApplicationDescription(config.description);
    const bool sweeps = config.sweepsCable;
    m_parser.addOption({{QStringLiteral("C"), QStringLiteral("workdir")},
                        QStringLiteral("Workspace directory (default: the current directory)."),
                        QStringLiteral("DIR")});
    if (sweeps)
        m_parser.addOption({QStringLiteral("cable"), QStringLiteral("Cable template name without .att; may repeat."),
                            QStringLiteral("NAME")});
    m_parser.addOptions({
        {QStringLiteral("line"), QStringLiteral("Line type file name with .DMT or .PAM; may repeat."),
         QStringLiteral("FILE")},
        {QStringLiteral("noise"), QStringLiteral("Noise template name without .add (\"\" for none)."),
         QStringLiteral("NAME")},
        {QStringLiteral("capacity"), range("Cable capacity M, pairs, %1..%2 (%3).", Capacity, DefaultCapacity),
         QStringLiteral("M")},
        {QStringLiteral("load"), range("Cable load m, lines, each %1..%2 (%3).", Load, DefaultLoad),
         QStringLiteral("LIST")},
        {QStringLiteral("elfext"), range("ELFEXT norms for 1 km, dB, each %1..%2 (%3).", Norm, DefaultNorm),
         QStringLiteral("LIST")},
        {QStringLiteral("next"), range("NEXT norms, dB, each %1..%2 (%3).", Norm, DefaultNorm),
         QStringLiteral("LIST")},
        {QStringLiteral("elfext-freq"),
         range("ELFEXT norm frequency, kHz, %1..%2 (%3).", Frequency, DefaultFrequency), QStringLiteral("KHZ")},
        {QStringLiteral("next-freq"),
         range("NEXT norm frequency, kHz, %1..%2 (%3).", Frequency, DefaultFrequency), QStringLiteral("KHZ")},
    });
    if (sweeps && config.acceptsLengths)
        m_parser.addOptions({
            {QStringLiteral("from"), range("First cable length, m, %1..%2 (%3).", Length, config.defaultFrom),
             QStringLiteral("M")},
            {QStringLiteral("to"), range("Last cable length, m, %1..%2 (%3).", Length, config.defaultTo),
             QStringLiteral("M")},
            {QStringLiteral("step"), range("Length step, m, %1..%2 (%3).", config.stepRange, config.defaultStep),
             QStringLiteral("M")},
        });
    if (sweeps)
        m_parser.addOption({QStringLiteral("section"),
                            QStringLiteral("A fixed cable section in front of the swept cable, exchange side first;\n"
                                           "may repeat up to %1 times. LENGTH in whole metres %2..%3; the\n"
                                           "lengths of the sweep are then the whole loop's.")
                                .arg(MaxSections).arg(SectionLength.min).arg(SectionLength.max),
                            QStringLiteral("CABLE:LENGTH")});
    if (config.acceptsMargin) {
        m_parser.addOption({QStringLiteral("margin"),
                            range("SNR margins, dB, each %1..%2 (%3).", Margin, DefaultMargin),
                            QStringLiteral("LIST")});
    } else {
        // Known, so that parse() can say why it does not apply rather than call it unknown.
        QCommandLineOption margin(QStringLiteral("margin"), QString(), QStringLiteral("LIST"));
        margin.setFlags(QCommandLineOption::HiddenFromHelp);
        m_parser.addOption(margin);
    }
    m_parser.addOption({QStringLiteral("setup"),
                        QStringLiteral("Start from the calculation setup in FILE (.kolvane); the other options\n"
                                       "override its values."),
                        QStringLiteral("FILE")});
    if (sweeps)
        m_parser.addOption({QStringLiteral("write-setup"),
                            QStringLiteral("Write the setup the other options describe to FILE and compute nothing."),
                            QStringLiteral("FILE")});
    m_parser.addOption({QStringLiteral("o"),
                        QStringLiteral("Write the output to FILE (atomically) instead of stdout."),
                        QStringLiteral("FILE")});
    if (!config.positional.isEmpty())
        m_parser.addPositionalArgument(config.positional, config.positionalHelp);
}

std::optional<Failure> CalcCommandLine::parse(const QStringList &arguments)
{
    const QCommandLineOption help = m_parser.addHelpOption();
    const QCommandLineOption version = m_parser.addVersionOption();
    if (!m_parser.parse(arguments))
        return Failure{BadInput, m_parser.errorText()};
    if (m_parser.isSet(help)) {
        // The parser's own usage line knows nothing of commands.
        QString text = m_parser.helpText();
        QString usage = QStringLiteral("Usage: kolvane-calc %1[options]")
                            .arg(m_config.command.isEmpty() ? QStringLiteral("[COMMAND] ")
                                                            : m_config.command + QLatin1Char(' '));
        if (!m_config.positional.isEmpty())
            usage += QLatin1Char(' ') + m_config.positional;
        text.replace(0, text.indexOf(QLatin1Char('\n')), usage);
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::exit(Done);
    }
    if (m_parser.isSet(version))
        m_parser.showVersion();
    if (!m_config.acceptsMargin && m_parser.isSet(QStringLiteral("margin")))
        return Failure{BadInput, QStringLiteral("--margin does not apply: %1 computes the margin")
                                     .arg(m_config.command)};
    const QStringList positional = m_parser.positionalArguments();
    const int takes = m_config.positional.isEmpty() ? 0 : 1;
    if (positional.size() > takes)
        return Failure{BadInput, QStringLiteral("unexpected argument \"%1\"").arg(positional.at(takes))};
    if (positional.size() < takes)
        return Failure{BadInput, QStringLiteral("no %1 given").arg(m_config.positional)};
    m_positional = positional.value(0);
    for (const QString &name : {QStringLiteral("workdir"), QStringLiteral("o"), QStringLiteral("setup"),
                                QStringLiteral("write-setup")}) {
        if (name == QLatin1String("write-setup") && !m_config.sweepsCable)
            continue;
        if (m_parser.values(name).size() > 1)
            return Failure{BadInput, QStringLiteral("%1 given more than once")
                                         .arg(name == QLatin1String("o") ? QStringLiteral("-o")
                                                                         : QStringLiteral("--") + name)};
    }
    m_workdir = m_parser.value(QStringLiteral("workdir"));
    if (m_parser.isSet(QStringLiteral("workdir")) && !QFileInfo(m_workdir).isDir())
        return Failure{BadInput, QStringLiteral("no workspace directory %1").arg(m_workdir)};
    return std::nullopt;
}

QString CalcCommandLine::optionName(CalcInput::Field field)
{
    using CalcInput::Field;
    switch (field) {
    case Field::Cables: return QStringLiteral("--cable");
    case Field::LineTypes: return QStringLiteral("--line");
    case Field::Noise: return QStringLiteral("--noise");
    case Field::Capacity: return QStringLiteral("--capacity");
    case Field::Loads: return QStringLiteral("--load");
    case Field::Elfext: return QStringLiteral("--elfext");
    case Field::ElfextFrequency: return QStringLiteral("--elfext-freq");
    case Field::Next: return QStringLiteral("--next");
    case Field::NextFrequency: return QStringLiteral("--next-freq");
    case Field::LengthFrom: return QStringLiteral("--from");
    case Field::LengthTo: return QStringLiteral("--to");
    case Field::LengthStep: return QStringLiteral("--step");
    case Field::Margins: return QStringLiteral("--margin");
    case Field::Sections: return QStringLiteral("--section");
    case Field::TargetRates: return QStringLiteral("--rate");
    }
    return QString();
}

void CalcCommandLine::setLength(int metres, const QString &option)
{
    m_length = metres;
    m_lengthOption = option;
}

void CalcCommandLine::refuse(const QString &message, Status status)
{
    if (!m_failure)
        m_failure = Failure{status, message};
}

std::optional<int> CalcCommandLine::parseWhole(const QString &name, const QString &text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok) {
        refuse(QStringLiteral("--%1: \"%2\" is not a whole number").arg(name, text));
        return std::nullopt;
    }
    return v;
}

std::optional<QString> CalcCommandLine::single(const QString &name)
{
    if (m_failure || !m_parser.isSet(name))
        return std::nullopt;
    const QStringList values = m_parser.values(name);
    if (values.size() > 1) {
        refuse(QStringLiteral("--%1 given more than once").arg(name));
        return std::nullopt;
    }
    return values.first();
}

std::optional<int> CalcCommandLine::wholeNumber(const QString &name, IntRange range)
{
    const std::optional<QString> text = single(name);
    if (!text)
        return std::nullopt;
    const std::optional<int> v = parseWhole(name, *text);
    if (v && !range.contains(*v)) {
        refuse(QStringLiteral("--%1: %2 is outside %3..%4")
                   .arg(name, QString::number(*v), QString::number(range.min), QString::number(range.max)));
        return std::nullopt;
    }
    return v;
}

std::optional<QVector<int>> CalcCommandLine::wholeNumbers(const QString &name, IntRange range, int most)
{
    if (m_failure || !m_parser.isSet(name))
        return std::nullopt;
    const QStringList values = m_parser.values(name);
    if (values.size() > 1) {
        refuse(QStringLiteral("--%1 given more than once; list its values with commas").arg(name));
        return std::nullopt;
    }
    const QStringList items = values.first().split(QLatin1Char(','));
    if (items.size() > most) {
        refuse(QStringLiteral("--%1: %2 values, at most %3")
                   .arg(name, QString::number(items.size()), QString::number(most)));
        return std::nullopt;
    }
    QVector<int> out;
    for (const QString &item : items) {
        const std::optional<int> v = parseWhole(name, item);
        if (!v)
            return std::nullopt;
        if (!range.contains(*v)) {
            refuse(QStringLiteral("--%1: %2 is outside %3..%4")
                       .arg(name, QString::number(*v), QString::number(range.min), QString::number(range.max)));
            return std::nullopt;
        }
        if (!out.isEmpty() && *v <= out.last()) {
            refuse(QStringLiteral("--%1: the values must be strictly increasing").arg(name));
            return std::nullopt;
        }
        out << *v;
    }
    return out;
}

std::optional<Failure> CalcCommandLine::settings(CalcSettings &s)
{
    using namespace CalcInput;
    s = defaultCalcSettings(m_workdir);
    s.cableLengthFrom = m_config.defaultFrom;
    s.cableLengthTo = m_config.defaultTo;
    s.cableLengthStep = m_config.defaultStep;

    if (m_parser.isSet(QStringLiteral("setup"))) {
        Setup setup;
        QString error;
        if (!SetupFile::read(m_parser.value(QStringLiteral("setup")), s, &setup, &error))
            return Failure{BadInput, error};
        for (const QString &warning : std::as_const(setup.warnings))
            warn(QStringLiteral("%1: %2").arg(m_parser.value(QStringLiteral("setup")), warning));
        s = setup.calc;
        m_graph = setup.graph;
        m_graphAxes = setup.graphAxesGiven;
    }

    const bool sweeps = m_config.sweepsCable;
    if (!sweeps) {
        // Every loop brings its own; a setup's are not looked at.
        s.cableTypes.clear();
        s.sections.clear();
    }
    if (sweeps && m_parser.isSet(QStringLiteral("cable")))
        s.cableTypes = m_parser.values(QStringLiteral("cable"));
    if (m_parser.isSet(QStringLiteral("line")))
        s.lineTypes = m_parser.values(QStringLiteral("line"));
    if (const std::optional<QString> noise = single(QStringLiteral("noise")))
        s.noiseTemplate = *noise;

    // Syntax here; bounds, order and the one-family rule below, where every reader shares them.
    const auto number = [this](const char *name, auto &field) {
        if (const std::optional<QString> text = single(QLatin1String(name)))
            if (const std::optional<int> v = parseWhole(QLatin1String(name), *text))
                field = std::remove_reference_t<decltype(field)>(*v);
    };
    const auto list = [this](const char *name, auto &field) {
        const QString option = QLatin1String(name);
        if (m_failure || !m_parser.isSet(option))
            return;
        const QStringList values = m_parser.values(option);
        if (values.size() > 1)
            return refuse(QStringLiteral("--%1 given more than once; list its values with commas").arg(option));
        std::remove_reference_t<decltype(field)> parsed;
        for (const QString &item : values.first().split(QLatin1Char(','))) {
            const std::optional<int> v = parseWhole(option, item);
            if (!v)
                return;
            parsed << typename std::remove_reference_t<decltype(field)>::value_type(*v);
        }
        field = parsed;
    };
    number("capacity", s.cableCapacity);
    list("load", s.xDSL_points);
    list("elfext", s.Norm_ELFEXT_points);
    list("next", s.Norm_NEXT_points);
    number("elfext-freq", s.norm_ELFEXT_frequency);
    number("next-freq", s.norm_NEXT_frequency);
    if (sweeps && m_config.acceptsLengths) {
        number("from", s.cableLengthFrom);
        number("to", s.cableLengthTo);
        number("step", s.cableLengthStep);
    }
    if (m_length) {
        s.cableLengthFrom = *m_length;
        s.cableLengthTo = *m_length;
    }
    if (m_config.acceptsMargin)
        list("margin", s.SNRMargin_points);
    if (!m_failure && sweeps && m_parser.isSet(QStringLiteral("section"))) {
        const QStringList values = m_parser.values(QStringLiteral("section"));
        if (values.size() > MaxSections)
            refuse(QStringLiteral("--section given %1 times, at most %2").arg(values.size()).arg(MaxSections));
        s.sections.clear();
        for (const QString &value : values) {
            // The cable is everything before the last ':', so a name may hold one itself.
            const int colon = int(value.lastIndexOf(QLatin1Char(':')));
            if (colon <= 0) {
                refuse(QStringLiteral("--section: \"%1\" is not CABLE:LENGTH").arg(value));
                break;
            }
            const std::optional<int> length = parseWhole(QStringLiteral("section"), value.mid(colon + 1));
            if (!length)
                break;
            s.sections << CableSection{value.left(colon), *length};
        }
    }
    if (m_failure)
        return m_failure;

    // A default that is missing because its directory cannot be read is no "missing template".
    const auto unlisted = [this](TemplateKind kind) -> std::optional<Failure> {
        const QString shown = QDir::toNativeSeparators(workspacePath(m_workdir, templateDirectory(kind)));
        if (const QString problem = listingProblem(shown); !problem.isEmpty())
            return Failure{RunFailed, QStringLiteral("cannot read %1: %2").arg(shown, problem)};
        return std::nullopt;
    };
    const auto empty = [this](TemplateKind kind, const char *what) {
        return Failure{BadInput, QStringLiteral("no %1 template in %2")
                                     .arg(QLatin1String(what),
                                          QDir::toNativeSeparators(workspacePath(m_workdir, templateDirectory(kind))))};
    };
    if (sweeps && s.cableTypes.isEmpty())
        return unlisted(CableAttenuation).value_or(empty(CableAttenuation, "cable"));
    if (s.lineTypes.isEmpty())
        return unlisted(LineTypeDmt).value_or(empty(LineTypeDmt, "line type"));
    if (!m_parser.isSet(QStringLiteral("noise")) && s.noiseTemplate.isEmpty())
        if (auto f = unlisted(AdditiveNoise))
            return f;
    QString error;
    const auto names = [this](Field field) {
        if (m_length && (field == Field::LengthFrom || field == Field::LengthTo))
            return m_lengthOption;
        return optionName(field);
    };
    if (sweeps ? !validate(s, Checks::Input, names, &error, m_config.stepRange)
               : !validateLoopConditions(s, {}, optionName, &error))
        return Failure{BadInput, error};

    for (const QString &cable : std::as_const(s.cableTypes))
        if (auto f = checkTemplate(m_workdir, cableTemplatePath(cable), QStringLiteral("cable")))
            return f;
    for (const CableSection &section : std::as_const(s.sections))
        if (auto f = checkTemplate(m_workdir, cableTemplatePath(section.cable), QStringLiteral("cable")))
            return f;
    for (const QString &line : std::as_const(s.lineTypes))
        if (auto f = checkTemplate(m_workdir, lineTypeTemplatePath(line), QStringLiteral("line type")))
            return f;
    if (!s.noiseTemplate.isEmpty())
        if (auto f = checkTemplate(m_workdir, noiseTemplatePath(s.noiseTemplate), QStringLiteral("noise")))
            return f;

    // The summaries the dialog would show, so the record is complete as the GUI fills it.
    fillSummaries(s, s.SNRMargin_points == QVector<float>{float(DefaultMargin)} && !m_parser.isSet(QStringLiteral("margin")));
    return std::nullopt;
}

std::optional<int> CalcCommandLine::writeSetupIfAsked(const CalcSettings &settings)
{
    if (!m_config.sweepsCable || !m_parser.isSet(QStringLiteral("write-setup")))
        return std::nullopt;
    QString error;
    // A command may take values a setup cannot hold (a reach grid finer than a table's step):
    // refuse rather than write a file that every reader refuses.
    if (!CalcInput::validate(settings, CalcInput::Checks::Input, SetupFile::keyName, &error))
        return complain({BadInput, QStringLiteral("cannot keep this in a setup file: %1").arg(error)});
    if (!SetupFile::write(m_parser.value(QStringLiteral("write-setup")), settings, m_graph, &error, m_graphAxes))
        return complain({RunFailed, QStringLiteral("cannot write the setup %1").arg(error)});
    return Done;
}

std::optional<Failure> CalcCommandLine::write(const std::function<void(QTextStream &)> &writer)
{
    const auto content = [&writer](QIODevice &device, QString *) {
        QTextStream out(&device);
        writer(out);
        out.flush();
        return out.status() == QTextStream::Ok;
    };
    if (m_parser.isSet(QStringLiteral("o"))) {
        const QString path = m_parser.value(QStringLiteral("o"));
        QString reason;
        if (!writeFileSafely(path, content, &reason))
            return Failure{RunFailed, QStringLiteral("Cannot write %1: %2").arg(path, reason)};
        return std::nullopt;
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return Failure{RunFailed, out.errorString()};
    QString reason;
    if (!content(out, &reason) || !out.flush() || out.error() != QFile::NoError) {
        // The file device remembers no errno; the stream's failure is the write's.
        const QString why = out.error() != QFile::NoError ? out.errorString() : systemErrorText(errno);
        return Failure{RunFailed, QStringLiteral("cannot write the standard output: %1").arg(why)};
    }
    return std::nullopt;
}
