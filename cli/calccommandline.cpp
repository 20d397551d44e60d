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
#include <QTextStream>

#include <cerrno>
#include <cmath>
#include <cstdio>

namespace {

// A template must be an existing file (else bad input) that can be opened (else the run fails).
std::optional<Failure> templateFailure(const QString &workdir, const TemplateProblem &problem)
{
    const QString path = QDir::toNativeSeparators(workspacePath(workdir, problem.relative));
    switch (problem.failure) {
    case ReadFailure::Missing: {
        const char *what = problem.kind == CableAttenuation ? "cable" : problem.kind == AdditiveNoise ? "noise" : "line type";
        return Failure{BadInput, QStringLiteral("no %1 template %2").arg(QLatin1String(what), path)};
    }
    case ReadFailure::NotRegular:
        return Failure{BadInput, QStringLiteral("%1 is not a template file: %2").arg(path, problem.reason)};
    case ReadFailure::Refused:
    case ReadFailure::None:
        break;
    }
    return Failure{RunFailed, QStringLiteral("cannot read %1: %2").arg(path, problem.reason)};
}

// An option's --help text: %1 lowest, %2 highest, %3 default, %4 most values.
QString helpText(const CalcInput::Input &in, IntRange range, int defaultValue)
{
    QString text = QLatin1String(in.help);
    const QString values[] = {CalcInput::numberText(in, CalcInput::fromUnits(in, range.min)),
                              CalcInput::numberText(in, CalcInput::fromUnits(in, range.max)),
                              CalcInput::numberText(in, CalcInput::fromUnits(in, defaultValue)),
                              QString::number(in.most)};
    for (int i = 0; i < 4; ++i)
        text.replace(QStringLiteral("%") + QString::number(i + 1), values[i]);
    return text;
}

} // namespace

CalcCommandLine::CalcCommandLine(const Config &config)
    : m_config(config)
{
    using namespace CalcInput;
    m_parser.setApplicationDescription(config.description);
    m_parser.addOption({{QStringLiteral("C"), QStringLiteral("workdir")},
                        QStringLiteral("Workspace directory (default: the current directory)."),
                        QStringLiteral("DIR")});
    // One option per input of the table that the command takes. Inputs that share an option
    // (lengths and losses) are one option, its text theirs in turn, the one that applies without
    // other options first.
    QStringList added;
    for (const Input &in : inputs()) {
        const QString option = QLatin1String(in.option);
        if (!in.help || !offers(in) || added.contains(option))
            continue;
        added << option;
        if (in.field == Field::Margins && !config.acceptsMargin) {
            // Known, so that parse() can say why it does not apply rather than call it unknown.
            QCommandLineOption margin(option, QString(), QLatin1String(in.valueName));
            margin.setFlags(QCommandLineOption::HiddenFromHelp);
            m_parser.addOption(margin);
            continue;
        }
        QStringList texts;
        const Input *first = nullptr;
        for (const Input &other : inputs()) {
            if (!other.help || QLatin1String(other.option) != option)
                continue;
            const bool plain = applies(other, CalcSettings());
            texts.insert(plain ? 0 : texts.size(), helpText(other, range(other), defaultUnits(other)));
            if (plain || !first)
                first = &other;
        }
        m_parser.addOption({option, texts.join(QLatin1Char(' ')), QLatin1String(first->valueName)});
    }
    m_parser.addOption({QStringLiteral("setup"),
                        QStringLiteral("Start from the calculation setup in FILE (.kolvane); the other options "
                                       "override its values."),
                        QStringLiteral("FILE")});
    if (config.sweepsCable)
        m_parser.addOption({QStringLiteral("write-setup"),
                            QStringLiteral("Write the setup the other options describe to FILE (- for the standard "
                                           "output) and compute nothing."),
                            QStringLiteral("FILE")});
    m_parser.addOption({QStringLiteral("o"),
                        QStringLiteral("Write the output to FILE (atomically) instead of stdout (\"-\")."),
                        QStringLiteral("FILE")});
    if (!config.positional.isEmpty())
        m_parser.addPositionalArgument(config.positional, config.positionalHelp);
}

bool CalcCommandLine::offers(const CalcInput::Input &in) const
{
    switch (in.scope) {
    case CalcInput::Scope::Conditions:
        return true;
    case CalcInput::Scope::Sweep:
        return m_config.sweepsCable;
    case CalcInput::Scope::Grid:
        return m_config.sweepsCable && m_config.acceptsLengths;
    }
    return false;
}

IntRange CalcCommandLine::range(const CalcInput::Input &in) const
{
    return in.field == CalcInput::Field::LengthStep ? m_config.stepRange : in.range;
}

int CalcCommandLine::defaultUnits(const CalcInput::Input &in) const
{
    using CalcInput::Field;
    switch (in.field) {
    case Field::LengthFrom: return m_config.defaultFrom;
    case Field::LengthTo: return m_config.defaultTo;
    case Field::LengthStep: return m_config.defaultStep;
    case Field::LossFrom: return m_config.defaultLossFrom;
    case Field::LossTo: return m_config.defaultLossTo;
    case Field::LossStep: return m_config.defaultLossStep;
    default: return in.defaultValue;
    }
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
    QStringList fileOptions = {QStringLiteral("workdir"), QStringLiteral("o"), QStringLiteral("setup")};
    if (m_config.sweepsCable)
        fileOptions << QStringLiteral("write-setup");
    for (const QString &name : std::as_const(fileOptions)) {
        const QString shown = name == QLatin1String("o") ? QStringLiteral("-o") : QStringLiteral("--") + name;
        const QStringList values = m_parser.values(name);
        if (values.size() > 1)
            return Failure{BadInput, QStringLiteral("%1 given more than once").arg(shown)};
        // An empty name names nothing; the system would only be asked about it.
        if (values.size() == 1 && values.first().isEmpty())
            return Failure{BadInput, QStringLiteral("%1: no %2 name given")
                                         .arg(shown, name == QLatin1String("workdir") ? QStringLiteral("directory")
                                                                                      : QStringLiteral("file"))};
    }
    if (m_config.sweepsCable && m_parser.isSet(QStringLiteral("write-setup")) && m_parser.isSet(QStringLiteral("o")))
        return Failure{BadInput, QStringLiteral("--write-setup and -o do not go together: the setup is what is written")};
    m_workdir = m_parser.value(QStringLiteral("workdir"));
    if (m_parser.isSet(QStringLiteral("workdir")) && !QFileInfo(m_workdir).isDir())
        return Failure{BadInput, QStringLiteral("no workspace directory %1").arg(m_workdir)};
    return std::nullopt;
}

QString CalcCommandLine::optionName(CalcInput::Field field)
{
    return QStringLiteral("--") + QLatin1String(CalcInput::input(field).option);
}

void CalcCommandLine::setLength(int metres, const QString &option)
{
    m_length = metres;
    m_lengthOption = option;
}

void CalcCommandLine::setLoss(int tenths, const QString &option)
{
    m_loss = tenths;
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

std::optional<int> CalcCommandLine::decimalNumber(const QString &name, const CalcInput::Input &in)
{
    const std::optional<QString> text = single(name);
    if (!text)
        return std::nullopt;
    const auto named = [&name](CalcInput::Field) { return QStringLiteral("--") + name; };
    double v = 0;
    std::optional<CalcInput::Problem> p = CalcInput::parseNumber(in, *text, &v);
    if (!p)
        p = CalcInput::checkNumber(in, v);
    if (p) {
        refuse(CalcInput::describe(*p, named));
        return std::nullopt;
    }
    return int(std::llround(v * std::pow(10.0, in.decimals)));
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
    s.lossFrom = m_config.defaultLossFrom;
    s.lossTo = m_config.defaultLossTo;
    s.lossStep = m_config.defaultLossStep;

    if (m_parser.isSet(QStringLiteral("setup"))) {
        const QString path = m_parser.value(QStringLiteral("setup"));
        Setup setup;
        QString error;
        if (!SetupFile::read(path, s, &setup, &error))
            return Failure{BadInput, error};
        // Checked here, where a value too many is still the file's and named by its key.
        if (const std::optional<Problem> p = checkTemplateCounts(setup.calc, m_workdir))
            return Failure{BadInput, QStringLiteral("%1: %2").arg(path, describe(*p, SetupFile::keyName))};
        for (const QString &warning : std::as_const(setup.warnings))
            warn(QStringLiteral("%1: %2").arg(path, warning));
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
    // Syntax here; bounds, order and the one-family rule below, where every reader shares them.
    for (const Input &in : inputs()) {
        const QString option = QLatin1String(in.option);
        if (m_failure || !in.help || !offers(in) || !m_parser.isSet(option))
            continue;
        if (in.needs && valueCount(input(*in.needs), s) == 0) {
            refuse(describe(needsProblem(in), optionName));
            continue;
        }
        if (!applies(in, s) || (in.field == Field::Margins && !m_config.acceptsMargin))
            continue;
        readOption(in, s);
    }
    if (m_length) {
        s.axis = SweepAxis::Length;
        s.cableLengthFrom = *m_length;
        s.cableLengthTo = *m_length;
    }
    if (m_loss) {
        s.axis = SweepAxis::Loss;
        s.lossFrom = *m_loss;
        s.lossTo = *m_loss;
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
        if ((m_length && (field == Field::LengthFrom || field == Field::LengthTo))
            || (m_loss && (field == Field::LossFrom || field == Field::LossTo)))
            return m_lengthOption;
        return optionName(field);
    };
    if (sweeps ? !validate(s, Checks::Stored, names, &error, m_config.stepRange)
               : !validateLoopConditions(s, {}, optionName, &error))
        return Failure{BadInput, error};
    // No more curves than the dialog could choose, before a single template is looked at.
    if (const std::optional<Problem> p = checkTemplateCounts(s, m_workdir))
        return Failure{BadInput, describe(*p, optionName)};
    const QVector<TemplateProblem> unreadable = unreadableTemplates(s, m_workdir);
    if (!unreadable.isEmpty())
        return templateFailure(m_workdir, unreadable.first());

    // The summaries the dialog would show, so the record is complete as the GUI fills it.
    fillSummaries(s, s.SNRMargin_points == QVector<float>{float(DefaultMargin)} && !m_parser.isSet(QStringLiteral("margin")));
    return std::nullopt;
}

void CalcCommandLine::readOption(const CalcInput::Input &in, CalcSettings &s)
{
    using namespace CalcInput;
    const QString option = QLatin1String(in.option);
    const auto refuseProblem = [this](const Problem &p) { refuse(describe(p, optionName)); };
    switch (in.kind) {
    case InputKind::Names:
        in.setNames(s, m_parser.values(option));
        return;
    case InputKind::Name:
    case InputKind::Choice:
        if (const std::optional<QString> text = single(option)) {
            if (in.kind == InputKind::Choice)
                if (const std::optional<Problem> p = checkChoice(in, *text))
                    return refuseProblem(*p);
            in.setNames(s, {*text});
        }
        return;
    case InputKind::Number:
        if (const std::optional<QString> text = single(option)) {
            // A list where one value goes: refused as such, not as a number it is not.
            if (const qsizetype count = text->split(QLatin1Char(',')).size(); count > 1)
                return refuseProblem({Problem::OneValueOnly, in.field, -1, {QString::number(count), *text}, {}});
            double v = 0;
            if (const std::optional<Problem> p = parseNumber(in, *text, &v))
                return refuseProblem(*p);
            // A decimal is kept in tenths: its bounds are said of the value given, not of a
            // field that could not hold it.
            if (in.decimals > 0)
                if (const std::optional<Problem> p = checkNumber(in, v))
                    return refuseProblem(*p);
            in.setNumbers(s, {v});
        }
        return;
    case InputKind::Numbers: {
        const QStringList values = m_parser.values(option);
        if (values.size() > 1)
            return refuse(QStringLiteral("--%1 given more than once; list its values with commas").arg(option));
        QVector<double> parsed;
        for (const QString &item : values.first().split(QLatin1Char(','))) {
            double v = 0;
            if (const std::optional<Problem> p = parseNumber(in, item, &v))
                return refuseProblem(*p);
            parsed << v;
        }
        in.setNumbers(s, parsed);
        return;
    }
    case InputKind::Sections: {
        const QStringList values = m_parser.values(option);
        if (values.size() > in.most)
            return refuse(QStringLiteral("--%1 given %2 times, at most %3").arg(option).arg(values.size()).arg(in.most));
        QVector<CableSection> sections;
        for (const QString &value : values) {
            CableSection section;
            if (const std::optional<Problem> p = parseSection(value, &section))
                return refuseProblem(*p);
            sections << section;
        }
        s.sections = sections;
        return;
    }
    }
}

std::optional<int> CalcCommandLine::writeSetupIfAsked(const CalcSettings &settings)
{
    if (!m_config.sweepsCable || !m_parser.isSet(QStringLiteral("write-setup")))
        return std::nullopt;
    QString error;
    // A command may take values a setup cannot hold (a reach grid finer than a table's step):
    // refuse rather than write a file that every reader refuses.
    if (!CalcInput::validate(settings, CalcInput::Checks::Stored, SetupFile::keyName, &error))
        return complain({BadInput, QStringLiteral("cannot keep this in a setup file: %1").arg(error)});
    const QString path = m_parser.value(QStringLiteral("write-setup"));
    if (path == QLatin1String("-")) {
        const QByteArray bytes = SetupFile::text(settings, m_graph, m_graphAxes);
        if (const std::optional<Failure> f = writeOutput(
                path, [&bytes](QIODevice &out, QString *) { return out.write(bytes) == bytes.size(); }))
            return complain(*f);
        return Done;
    }
    if (!SetupFile::write(path, settings, m_graph, &error, m_graphAxes))
        return complain({RunFailed, QStringLiteral("cannot write the setup %1").arg(error)});
    return Done;
}

std::optional<Failure> CalcCommandLine::write(const std::function<void(QTextStream &)> &writer)
{
    return writeOutput(m_parser.value(QStringLiteral("o")), textContent(writer));
}
