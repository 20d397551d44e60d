#pragma once

#include "engine/calcrun.h"
#include "engine/loss.h"
#include "engine/targettables.h"
#include "drawing/reportdocument.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A reach as a table cell shows it: "1234", "—" when the first length falls short already,
// "> 10000" when the whole grid carries the rate.
QString reachCellText(const Reach &reach);

// Rows: target rates; columns: the curves' reach in m.
ReportTable reachReportTable(const ReachTable &table);
// Rows: lengths; columns: the curves' margin in dB at the table's target rate.
ReportTable marginReportTable(const MarginTable &table);
// The same over losses: a reach as "31.5", "—", "> 60"; rows of losses, "—" without a loop.
QString lossReachCellText(const LossReach &reach);
ReportTable lossReachReportTable(const LossReachTable &table);
ReportTable lossMarginReportTable(const LossMarginTable &table);
// A run's reach and margin tables in that order; none for a run without target rates.
QVector<ReportTable> targetReportTables(const CalcRun &run);
