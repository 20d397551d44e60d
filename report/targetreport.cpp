#include "report/targetreport.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TargetReport", text);
}

} // namespace

QString reachCellText(const Reach &reach)
{
    switch (reach.kind) {
    case Reach::None:
        return QStringLiteral("—");
    case Reach::Beyond:
        return QStringLiteral("> ") + QString::number(reach.length);
    case Reach::Length:
        break;
    }
    return QString::number(reach.length);
}

ReportTable reachReportTable(const ReachTable &table)
{
    ReportTable out;
    out.title = tr("Дальность для целевых скоростей, м (длины от %1 до %2 с шагом %3 м)")
                    .arg(QString::number(table.from), QString::number(table.to), QString::number(table.step));
    out.header << tr("R,кбит/с");
    for (const QString &curve : table.curves)
        out.header << tr("L,м") + QLatin1Char('\n') + curve;
    for (int t = 0; t < table.targets.size(); ++t) {
        QStringList row{QString::number(table.targets.at(t))};
        for (const Reach &reach : table.reaches.at(t))
            row << reachCellText(reach);
        out.rows << row;
    }
    return out;
}

ReportTable marginReportTable(const MarginTable &table)
{
    ReportTable out;
    out.title = tr("Запас SNR, дБ, при скорости %1 кбит/с").arg(table.target);
    out.header << tr("L,м");
    for (const QString &curve : table.curves)
        out.header << QStringLiteral("SNR Margin,дБ\n") + curve;
    for (int k = 0; k < table.lengths.size(); ++k) {
        QStringList row{QString::number(double(table.lengths.at(k)), 'g', 6)};
        for (const MarginAtRate &margin : table.margins.at(k))
            row << marginText(margin);
        out.rows << row;
    }
    return out;
}

QString lossReachCellText(const LossReach &reach)
{
    switch (reach.kind) {
    case Reach::None:
        return QStringLiteral("—");
    case Reach::Beyond:
        return QStringLiteral("> ") + lossText(reach.tenths);
    case Reach::Length:
        break;
    }
    return lossText(reach.tenths);
}

ReportTable lossReachReportTable(const LossReachTable &table)
{
    ReportTable out;
    out.title = tr("Дальность для целевых скоростей, дБ на %1 кГц (затухания от %2 до %3 с шагом %4 дБ)")
                    .arg(QString::number(table.referenceFrequency), lossText(table.grid.from), lossText(table.grid.to),
                         lossText(table.grid.step));
    out.header << tr("R,кбит/с");
    for (const QString &curve : table.curves)
        out.header << lossCaption(table.referenceFrequency) + QLatin1Char('\n') + curve;
    for (int t = 0; t < table.targets.size(); ++t) {
        QStringList row{QString::number(table.targets.at(t))};
        for (const LossReach &reach : table.reaches.at(t))
            row << lossReachCellText(reach);
        out.rows << row;
    }
    return out;
}

ReportTable lossMarginReportTable(const LossMarginTable &table)
{
    ReportTable out;
    out.title = tr("Запас SNR, дБ, при скорости %1 кбит/с").arg(table.target);
    out.header << lossCaption(table.referenceFrequency);
    for (const QString &curve : table.curves)
        out.header << QStringLiteral("SNR Margin,дБ\n") + curve;
    for (int k = 0; k < table.losses.size(); ++k) {
        QStringList row{lossText(table.losses.at(k))};
        for (const std::optional<MarginAtRate> &margin : table.margins.at(k))
            row << (margin ? marginText(*margin) : QStringLiteral("—"));
        out.rows << row;
    }
    return out;
}

QVector<ReportTable> targetReportTables(const CalcRun &run)
{
    if (run.lossTargets)
        return {lossReachReportTable(run.lossTargets->reach), lossMarginReportTable(run.lossTargets->margin)};
    if (!run.targets)
        return {};
    return {reachReportTable(run.targets->reach), marginReportTable(run.targets->margin)};
}
