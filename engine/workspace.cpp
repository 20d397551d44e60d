#include "engine/workspace.h"

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
    CalcSettings s;
    const QStringList cables = listTemplateEntries(workspacePath(workdir, QStringLiteral("Cable")));
    const QStringList lines = listTemplateEntries(workspacePath(workdir, QStringLiteral("xDSL")));
    const QStringList noises = listTemplateEntries(workspacePath(workdir, QStringLiteral("AddNoise")));
    if (!cables.isEmpty())
        s.cableTypes << cableNameFromEntry(cables.first());
    s.cableCapacity = 4;
    s.xDSL_points << 1;
    s.Norm_ELFEXT_points << 10.0f;
    s.Norm_NEXT_points << 10.0f;
    s.norm_ELFEXT_frequency = 300.0f;
    s.norm_NEXT_frequency = 300.0f;
    s.cableLengthFrom = 1000;
    s.cableLengthTo = 10000;
    s.cableLengthStep = 1000;
    if (!lines.isEmpty())
        s.lineTypes << lines.first();
    s.SNRMargin_points << 0.0f;
    if (noises.size() >= 3)
        s.noiseTemplate = noiseNameFromEntry(noises.at(2));
    s.maxRate = 0;
    s.cableTypesText = s.cableTypes.value(0);
    s.xDSL_pointsText = QStringLiteral("1");
    s.norm_ELFEXT_Text = QStringLiteral("10дБ(300кГц)");
    s.norm_NEXT_Text = QStringLiteral("10дБ(300кГц)");
    s.SNRMarginText = QStringLiteral("0 дБ");
    s.lineTypesText = s.lineTypes.value(0);
    return s;
}
