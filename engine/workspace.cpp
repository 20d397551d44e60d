#include "engine/workspace.h"

#include "engine/calcinput.h"
#include "engine/templatekind.h"

#include <QDir>

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
    return entry.section(QLatin1Char('.'), 0, 0);
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
