#pragma once

#include "engine/calcsettings.h"
#include "drawing/graphpainter.h"
#include "drawing/reportdocument.h"

#include <QSize>
#include <QString>

class GraphWidget;

// The file name proposed for an export, built from the run's conditions; without extension
// (the save dialog's filter gives it).
QString defaultExportName(const CalcSettings &settings);
// What is added to it for the report, whose PDF must not be offered the graph PDF's name.
QString reportNameSuffix();

// The graph of `source` as a `size` image on white; the axes are settled for that size in the
// painter's default font and the conditions block stamped with the moment of export. `format`
// is "PNG" or "JPG". Written through writeFileSafely without waiting for a FIFO's reader, so a
// failed export leaves any earlier file intact. False with *error (why, in words) on failure.
bool exportGraphImage(const GraphSource &source, const QSize &size, const QString &path, const char *format,
                      QString *error);

// The graph of `source` as a vector PDF: one landscape page of `setup`'s paper, the graph filling
// it within the margins as on the report's first page, stamped with the moment of export.
// Written and replaced like exportGraphImage.
bool exportGraphPdf(const GraphSource &source, const QString &path, QString *error,
                    const ReportPageSetup &setup = ReportPageSetup());

// The same for what `graph` shows (the image at its current size); an error before its first result.
bool exportGraphImage(GraphWidget *graph, const QString &path, const char *format, QString *error);
bool exportGraphPdf(GraphWidget *graph, const QString &path, QString *error);
