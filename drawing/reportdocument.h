#pragma once

// A report a planner can hand in, laid out from values: a landscape first page with a title line
// and the rate graph filling it, then portrait pages with the result table and any further
// tables, every page numbered. QtGui only: the same routine writes the PDF (writePdf) and
// prints (QPrinter is a QPagedPaintDevice too).

#include "drawing/graphpainter.h"

#include <QDateTime>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageRanges>
#include <QPageSize>
#include <QString>
#include <QStringList>
#include <QVector>

class QPagedPaintDevice;

// A titled table of texts. A '\n' in a header text breaks the header cell into lines. Columns
// whose cells all read as numbers ("12345.7", "-", ">30000") are right-aligned.
struct ReportTable {
    QString title;
    QStringList header;
    QVector<QStringList> rows;
};

// Everything a report shows.
struct ReportContent {
    GraphSource graph;               // the run and the graph's look, settled anew for the page
    ReportTable results;             // the result table (resultReportTable)
    QVector<ReportTable> extraTables; // after the result table, in order (reach, margin, ...)
    QDateTime stamp = QDateTime::currentDateTime(); // the title's date, the conditions block's time
};

// The paper: its size and margins, and the orientation of the table pages. The graph page is
// always landscape, since the graph is wider than high.
struct ReportPageSetup {
    QPageSize pageSize = QPageSize(QPageSize::A4);
    QPageLayout::Orientation tablesOrientation = QPageLayout::Portrait;
    QMarginsF margins = QMarginsF(15, 15, 15, 15); // mm; a printer's larger minimum wins
};

// The page set-up a print dialog chose: its paper and orientation, the report's margins.
ReportPageSetup reportPageSetup(const QPageLayout &chosen);

// The result table as the screen shows it: lengths as integers (losses in dB with their tenth),
// rates with six significant digits, "—" where a curve has no loop, under `header` (the axis and
// one label per curve).
ReportTable resultReportTable(const ResultSet &rows, const QStringList &header, SweepAxis axis = SweepAxis::Length);

// The report's content for a run drawn from `graph`: its title, the result table under `header`
// and the extra tables after it.
ReportContent reportContent(const GraphSource &graph, const QStringList &header,
                            const QVector<ReportTable> &extraTables = {},
                            const QDateTime &stamp = QDateTime::currentDateTime());

// The title line: line types, cables, load and the date.
QString reportTitle(const CalcSettings &calc, const QDate &date);

// Number of pages the report takes with `setup` on a device of `dpi` dots per inch.
int reportPageCount(const ReportContent &content, const ReportPageSetup &setup, int dpi);

// Paints the report on `device`, which must not be painting yet; its page layout is set page by
// page. `pages` (1-based, empty = all) chooses what is painted; the footers still count every
// page. False with *error set when the device refuses a painter or no page is chosen.
bool paintReport(QPagedPaintDevice &device, const ReportContent &content, const ReportPageSetup &setup,
                 QString *error, const QPageRanges &pages = {});

// The report as a PDF document at `path`, written atomically: a failed write leaves any earlier
// file intact. False with *error set (in Russian) on failure.
bool writeReportPdf(const ReportContent &content, const QString &path, const ReportPageSetup &setup,
                    QString *error);

// The graph alone as a PDF document: one landscape page of `setup`'s paper within its margins,
// the graph filling it as on the report's first page. Written like writeReportPdf.
bool writeGraphPdf(const GraphSource &graph, const QString &path, const ReportPageSetup &setup,
                   const QDateTime &stamp, QString *error);
