#pragma once

// A template's values against frequency, drawn from values like the rate graph: the attenuation
// of a cable (dB/km), the transmit PSD and own noise of a DMT line type (dBm/Hz) with its bit cap
// Kmax on a second axis (bits), the PSD of a noise template (dBm/Hz). Settle the axes for an
// area, then draw into any QPainter. QtGui only.

#include "drawing/chartaxis.h"
#include "engine/templatekind.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <QVector>

class QFontMetrics;
class QPainter;

// One column of the template against the frequency column.
struct TemplateCurve {
    QString name;           // the legend's text: the column's caption
    QColor color;
    bool rightAxis = false; // DMT's Kmax: bits, on the right
    QVector<double> values; // one per table row; NaN where the cell holds no number
};

// What the plot of one template shows.
struct TemplatePlotValues {
    QVector<double> frequencies; // kHz, one per table row; NaN where the cell holds no number
    QVector<TemplateCurve> curves;
    QString leftAxis;            // "a, дБ/км", "S, N, дБм/Гц"
    QString rightAxis;           // "Kmax, бит"; empty without a right axis
    int currentRow = -1;         // marked on the plot: the row the table's cursor is in
};

namespace TemplatePlotColors {
const QColor Attenuation(0, 90, 200);
const QColor Transmit(200, 0, 0);
const QColor OwnNoise(130, 0, 170);
const QColor BitCap(0, 125, 0);
const QColor Noise(130, 0, 170);
}

// False for a PAM line type: its one row of values does not depend on frequency.
bool templateHasPlot(TemplateKind kind);
// The plot of `kind` from the table's numbers: rows[r][c] is row r, column c (NaN for an empty
// cell or text that is not a number; missing entries count as NaN).
TemplatePlotValues templatePlotValues(TemplateKind kind, const QVector<QVector<double>> &rows, int currentRow = -1);

// The plot laid out in one area.
struct TemplateChart {
    QRect area;
    QRect plot;         // inclusive corners, as drawRect draws them
    ChartAxis x;        // kHz
    ChartAxis left;
    ChartAxis right;    // bits; used only with hasRight
    bool hasRight = false;

    double xAt(double f) const;
    double leftAt(double v) const;
    double rightAt(double v) const;
};

// Lays the plot out in `area` with texts set in `metrics`' font.
TemplateChart settleTemplateChart(const TemplatePlotValues &values, const QRect &area, const QFontMetrics &metrics);
// Draws a settled plot (grid, curves with a dot per row, the current row, axes, legend) in the
// painter's current font; the painter's state is restored afterwards.
void drawTemplateChart(QPainter &painter, const TemplateChart &chart, const TemplatePlotValues &values);
// Both in one, settled in the painter's current font.
void drawTemplatePlot(QPainter &painter, const QRect &area, const TemplatePlotValues &values);
