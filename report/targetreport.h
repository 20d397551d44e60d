#pragma once

#include "engine/targettables.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A table as a window or a printed report shows it: a title, the column headers (a line break
// inside a header splits it in two lines) and the cells, all as texts.
struct TitledTable {
    QString title;
    QStringList headers;
    QVector<QStringList> rows;
};

// A reach as a table cell shows it: "1234", "—" when the first length falls short already,
// "> 10000" when the whole grid carries the rate.
QString reachCellText(const Reach &reach);

// Rows: target rates; columns: the curves' reach in m.
TitledTable reachReportTable(const ReachTable &table);
// Rows: lengths; columns: the curves' margin in dB at the table's target rate.
TitledTable marginReportTable(const MarginTable &table);
// A run's reach and margin tables in that order; none for a run without target rates.
QVector<TitledTable> targetReportTables(const std::optional<TargetTables> &tables);
