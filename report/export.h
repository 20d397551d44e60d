#pragma once

#include "engine/calcsettings.h"
#include "drawing/graphpainter.h"

#include <QSize>
#include <QString>

class GraphWidget;

// The file name proposed for an export, built from the run's conditions; without extension
// (the save dialog's filter gives it).
QString defaultExportName(const CalcSettings &settings);

// The graph of `source` as a `size` image on white; the axes are settled for that size in the
// painter's default font and the conditions block stamped with the moment of export. `format`
// is "PNG" or "JPG". Written through writeFileSafely without waiting for a FIFO's reader, so a
// failed export leaves any earlier file intact. False with *error (why, in words) on failure.
bool exportGraphImage(const GraphSource &source, const QSize &size, const QString &path, const char *format,
                      QString *error);

// The graph of `source` as a vector PDF on the printer's default page at screen resolution,
// drawn at `size` (scaled down when the page is smaller). Written and replaced like
// exportGraphImage.
bool exportGraphPdf(const GraphSource &source, const QSize &size, const QString &path, QString *error);

// The same for what `graph` shows, at its current size; an error before its first result.
bool exportGraphImage(GraphWidget *graph, const QString &path, const char *format, QString *error);
bool exportGraphPdf(GraphWidget *graph, const QString &path, QString *error);
