#pragma once

// Axes of the small charts (a line's spectrum, a measured line): round steps, labels that fit.

#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

class QFontMetrics;
class QPainter;

// One axis: values from `min` to `max`, labelled every `step` from the first multiple of it.
struct ChartAxis {
    double min = 0;
    double max = 1;
    double step = 1;

    // Where a value lies in a plot (inclusive corners): right of its left edge, or up from its bottom.
    double xIn(const QRect &plot, double value) const;
    double yIn(const QRect &plot, double value) const;
};

namespace ChartAxes {

constexpr int TickLength = 5; // px

// The axis from lo to hi, widened outwards to whole steps of 1, 2 or 5 times a power of ten,
// about `ticks` of them.
ChartAxis niceAxis(double lo, double hi, int ticks);
// The labelled values of an axis, from its minimum.
QVector<double> ticks(const ChartAxis &axis);
// A label of the axis: as many decimals as its step needs, never "-0".
QString tickText(double value, double step);
// A pixel position that stays defined for a value far outside the picture (or not a number).
double clampPixel(double v);
// The widest of the texts.
int widest(const QFontMetrics &metrics, const QStringList &texts);
// The widest label an axis over lo..hi can get, whatever step it settles on.
int labelWidth(const QFontMetrics &metrics, double lo, double hi);

// The plot's white ground with light lines at the labelled values of both axes.
void drawGrid(QPainter &painter, const QRect &plot, const ChartAxis &x, const ChartAxis &y);
// Ticks and labels under the plot, in the painter's pen and font; a label that would touch the
// one before it or `keepClear` is left out.
void drawXLabels(QPainter &painter, const QRect &plot, const ChartAxis &x, const QRect &keepClear = QRect());
// Ticks and labels on the plot's left or right edge, labels in the room up to that edge of `area`.
void drawYLabels(QPainter &painter, const QRect &plot, const QRect &area, const ChartAxis &y, Qt::Edge edge);

} // namespace ChartAxes
