#include "engine/workspace.h"

#include "engine/calcinput.h"
#include "engine/templatekind.h"
#include "engine/checks.h"
#include "engine/filewrite.h"
#include "engine/messages.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <cerrno>

#include <dirent.h>
#include <sys/stat.h>

QStringList listTemplateEntries(const QString &directory)
{
    // QDir's defaults for a path: all entries but hidden and system ones, name order ignoring case.
    QStringList entries = QDir(directory).entryList();
    entries.removeAll(QStringLiteral("."));
    entries.removeAll(QStringLiteral(".."));
    return entries;
}

QString cableNameFromEntry(const QString &entry)
{
    const int at = entry.indexOf(QLatin1String(".att"));
    return at < 0 ? entry : entry.left(at);
}

QString noiseNameFromEntry(const QString &entry)
{
    const int at = entry.indexOf(QLatin1String(".add"));
    return at < 0 ? entry : entry.left(at);
}

bool checkTemplateName(TemplateKind kind, const QString &name, QString *error)
{
    using CalcInput::Field;
    const Field field = kind == CableAttenuation ? Field::Cables : kind == AdditiveNoise ? Field::Noise : Field::LineTypes;
    if (const std::optional<CalcInput::Problem> p = CalcInput::checkName(field, name))
        return fail(error, CalcInput::describe(*p, {}));
    return true;
}

std::optional<CalcInput::Problem> checkTemplateCounts(const CalcSettings &settings, const QString &workdir)
{
    // A directory that is missing or cannot be listed sets no limit: its templates are then
    // reported one by one, with the reason.
    const auto count = [&workdir](TemplateKind kind) {
        const QString directory = workspacePath(workdir, templateDirectory(kind));
        if (pathLookupError(directory) != 0 || !listingProblem(directory).isEmpty())
            return -1;
        return int(listTemplateEntries(directory).size());
    };
    return CalcInput::checkTemplateCounts(settings, count(CableAttenuation), count(LineTypeDmt));
}

QVector<TemplateProblem> unreadableTemplates(const CalcSettings &s, const QString &workdir)
{
    QVector<std::pair<TemplateKind, QString>> named;
    for (const QString &cable : s.cableTypes)
        named.append({CableAttenuation, cableTemplatePath(cable)});
    for (const CableSection &section : s.sections)
        named.append({CableAttenuation, cableTemplatePath(section.cable)});
    for (const QString &line : s.lineTypes)
        named.append({lineTypeKind(line), lineTypeTemplatePath(line)});
    if (!s.noiseTemplate.isEmpty())
        named.append({AdditiveNoise, noiseTemplatePath(s.noiseTemplate)});
    QVector<TemplateProblem> problems;
    QSet<QString> seen;
    for (const auto &[kind, relative] : std::as_const(named)) {
        if (seen.contains(relative))
            continue;
        seen.insert(relative);
        ReadFailure failure = ReadFailure::None;
        const QString reason = fileReadProblem(workspacePath(workdir, relative), &failure);
        if (failure != ReadFailure::None)
            problems.append({kind, relative, failure, reason});
    }
    return problems;
}

QString listingProblem(const QString &directory)
{
    DIR *dir = ::opendir(QFile::encodeName(directory).constData());
    if (dir) {
        ::closedir(dir);
        return QString();
    }
    if (errno == ENOENT)
        return QString();
    return systemErrorText(errno);
}

int pathLookupError(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? 0 : errno;
}

QString workspacePath(const QString &workdir, const QString &relative)
{
    if (workdir.isEmpty())
        return relative;
    return QDir(workdir).filePath(relative);
}

CalcSettings defaultCalcSettings(const QString &workdir)
{
    using namespace CalcInput;
    CalcSettings s;
    const QStringList cables = listTemplateEntries(workspacePath(workdir, templateDirectory(CableAttenuation)));
    const QStringList lines = listTemplateEntries(workspacePath(workdir, templateDirectory(LineTypeDmt)));
    const QStringList noises = listTemplateEntries(workspacePath(workdir, templateDirectory(AdditiveNoise)));
    if (!cables.isEmpty())
        s.cableTypes << cableNameFromEntry(cables.first());
    // Every number the dialog always shows starts at its default, a choice at its first word.
    for (const Input &in : inputs()) {
        if ((in.kind == InputKind::Number || in.kind == InputKind::Numbers) && !in.optional)
            in.setNumbers(s, {fromUnits(in, in.defaultValue)});
        else if (in.kind == InputKind::Choice)
            in.setNames(s, {in.choices.value(0)});
    }
    if (!lines.isEmpty())
        s.lineTypes << lines.first();
    if (noises.size() > DefaultNoiseEntry)
        s.noiseTemplate = noiseNameFromEntry(noises.at(DefaultNoiseEntry));
    s.maxRate = 0;
    fillSummaries(s, true);
    return s;
}
