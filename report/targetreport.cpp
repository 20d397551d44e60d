#include "report/targetreport.h"

#include "engine/translate.h"

#include <QCoreApplication>

namespace {

KOLVANE_TR_CONTEXT("TargetReport")

// A reach of either axis: "—" when the first point falls short, "> N" when the grid carries it.
QString reachCell(Reach::Kind kind, const QString &value)
{
    switch (kind) {
    case Reach::None:
        return QStringLiteral("—");
    case Reach::Beyond:
        return QStringLiteral("> ") + value;
    case Reach::Length:
        break;
    }
    return value;
}

// Rows: target rates; columns: each curve's reach under `quantity` ("L,м"), as `cell` writes it.
template <typename Cell, typename Text>
ReportTable reachReport(const QString &title, const QString &quantity, const QVector<int> &targets,
                        const QStringList &curves, const QVector<QVector<Cell>> &reaches, const Text &cell)
{
    ReportTable out;
    out.title = title;
    out.header << tr("R,кбит/с");
    for (const QString &curve : curves)
        out.header << quantity + QLatin1Char('\n') + curve;
    for (int t = 0; t < targets.size(); ++t) {
        QStringList row{QString::number(targets.at(t))};
        for (const Cell &reach : reaches.at(t))
            row << cell(reach);
        out.rows << row;
    }
    return out;
}

// Rows: the points of the axis (`axis` its caption, `point` the text of row k); columns: the
// curves' margin at the table's target rate, as `cell` writes it.
template <typename Cell, typename Point, typename Text>
ReportTable marginReport(int target, const QString &axis, const QStringList &curves,
                         const QVector<QVector<Cell>> &margins, const Point &point, const Text &cell)
{
    ReportTable out;
    out.title = tr("Запас SNR, дБ, при скорости %1 кбит/с").arg(target);
    out.header << axis;
    for (const QString &curve : curves)
        out.header << QStringLiteral("SNR Margin,дБ\n") + curve;
    for (int k = 0; k < margins.size(); ++k) {
        QStringList row{point(k)};
        for (const Cell &margin : margins.at(k))
            row << cell(margin);
        out.rows << row;
    }
    return out;
}

} // namespace

QString reachCellText(const Reach &reach)
{
    return reachCell(reach.kind, QString::number(reach.length));
}

ReportTable reachReportTable(const ReachTable &table)
{
    return reachReport(tr("Дальность для целевых скоростей, м (длины от %1 до %2 с шагом %3 м)")
                           .arg(QString::number(table.from), QString::number(table.to), QString::number(table.step)),
                       tr("L,м"), table.targets, table.curves, table.reaches, reachCellText);
}

ReportTable marginReportTable(const MarginTable &table)
{
    return marginReport(
        table.target, tr("L,м"), table.curves, table.margins,
        [&table](int k) { return QString::number(double(table.lengths.at(k)), 'g', 6); }, marginText);
}

QString lossReachCellText(const LossReach &reach)
{
    return reachCell(reach.kind, lossText(reach.tenths));
}

ReportTable lossReachReportTable(const LossReachTable &table)
{
    return reachReport(tr("Дальность для целевых скоростей, дБ на %1 кГц (затухания от %2 до %3 с шагом %4 дБ)")
                           .arg(QString::number(table.referenceFrequency), lossText(table.grid.from),
                                lossText(table.grid.to), lossText(table.grid.step)),
                       lossCaption(table.referenceFrequency), table.targets, table.curves, table.reaches,
                       lossReachCellText);
}

ReportTable lossMarginReportTable(const LossMarginTable &table)
{
    return marginReport(
        table.target, lossCaption(table.referenceFrequency), table.curves, table.margins,
        [&table](int k) { return lossText(table.losses.at(k)); },
        [](const std::optional<MarginAtRate> &margin) { return margin ? marginText(*margin) : QStringLiteral("—"); });
}

QVector<ReportTable> targetReportTables(const CalcRun &run)
{
    if (run.lossTargets)
        return {lossReachReportTable(run.lossTargets->reach), lossMarginReportTable(run.lossTargets->margin)};
    if (!run.targets)
        return {};
    return {reachReportTable(run.targets->reach), marginReportTable(run.targets->margin)};
}
