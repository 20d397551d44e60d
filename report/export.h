#pragma once

#include "engine/calcsettings.h"

#include <QString>

class GraphWidget;

// The file name proposed for an export, built from the run's conditions; without extension
// (the save dialog's filter gives it).
QString defaultExportName(const CalcSettings &settings);

// The graph as an image of the widget's current size on white, drawn by drawGraph. `format`
// is "PNG" or "JPG". Written through writeFileSafely without waiting for a FIFO's reader, so a
// failed export leaves any earlier file intact. False with *error (why, in words) on failure.
bool exportGraphImage(GraphWidget *graph, const QString &path, const char *format, QString *error);

// The graph as a vector PDF on the printer's default page at screen resolution, drawn at the
// widget's size. Written and replaced like exportGraphImage.
bool exportGraphPdf(GraphWidget *graph, const QString &path, QString *error);
