#pragma once

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
// A run's reach and margin tables in that order; none for a run without target rates.
QVector<ReportTable> targetReportTables(const std::optional<TargetTables> &tables);
