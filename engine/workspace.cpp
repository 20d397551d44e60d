#include "engine/workspace.h"

#include "engine/calcinput.h"
#include "engine/templatekind.h"
#include "engine/checks.h"
#include "engine/filewrite.h"
#include "engine/messages.h"

#include <QDir>
#include <QFile>

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
    if (!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && name != QLatin1String(".") && name != QLatin1String(".."))
        return true;
    switch (kind) {
    case CableAttenuation:
        return fail(error, localized("cable name \"%1\" is not a template file name (no path separators, "
                                     "not \".\" or \"..\")",
                                     "Имя кабеля «%1» не является именем файла шаблона (разделители пути, "
                                     "«.» и «..» недопустимы)")
                               .arg(name));
    case LineTypeDmt:
    case LineTypePam:
        return fail(error, localized("line type name \"%1\" is not a template file name (no path separators, "
                                     "not \".\" or \"..\")",
                                     "Имя типа линии «%1» не является именем файла шаблона (разделители "
                                     "пути, «.» и «..» недопустимы)")
                               .arg(name));
    case AdditiveNoise:
        break;
    }
    return fail(error, localized("noise name \"%1\" is not a template file name (no path separators, "
                                 "not \".\" or \"..\")",
                                 "Имя шаблона помех «%1» не является именем файла шаблона (разделители "
                                 "пути, «.» и «..» недопустимы)")
                           .arg(name));
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
    s.cableCapacity = DefaultCapacity;
    s.xDSL_points << DefaultLoad;
    s.Norm_ELFEXT_points << float(DefaultNorm);
    s.Norm_NEXT_points << float(DefaultNorm);
    s.norm_ELFEXT_frequency = float(DefaultFrequency);
    s.norm_NEXT_frequency = float(DefaultFrequency);
    s.cableLengthFrom = DefaultFrom;
    s.cableLengthTo = DefaultTo;
    s.cableLengthStep = DefaultStep;
    if (!lines.isEmpty())
        s.lineTypes << lines.first();
    s.SNRMargin_points << float(DefaultMargin);
    if (noises.size() > DefaultNoiseEntry)
        s.noiseTemplate = noiseNameFromEntry(noises.at(DefaultNoiseEntry));
    s.maxRate = 0;
    fillSummaries(s, true);
    return s;
}
