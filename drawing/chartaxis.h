#pragma once

// Value axes of the charts drawn from values (line spectrum, template plots, a measured line):
// round steps from the 1-2-5 series, labels that read them exactly, and the grid and labels
// drawn the same way in each.

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

    // Where a value lies along the axis: 0 at min, 1 at max.
    double fraction(double value) const { return (value - min) / (max - min); }
    // Where a value lies in a plot (inclusive corners): right of its left edge, or up from its bottom.
    double xIn(const QRect &plot, double value) const { return plot.left() + fraction(value) * plot.width(); }
    double yIn(const QRect &plot, double value) const { return plot.bottom() - fraction(value) * plot.height(); }
};

constexpr int ChartTickLength = 5; // px

// 1, 2 or 5 times a power of ten, at least range / ticks.
double niceStep(double range, int ticks);
// The axis from lo to hi with about `ticks` labels, widened outwards to whole steps. An empty or
// non-finite range gets room around it.
ChartAxis niceAxis(double lo, double hi, int ticks);
// A label of the axis: as many decimals as its step needs, never "-0".
QString tickText(double value, double step);
// The labelled values of the axis, min to max (at most 1001).
QVector<double> axisTicks(const ChartAxis &axis);
// A pixel coordinate that an int conversion can take: NaN gives 0, far values are held at ±1e6.
double clampPixel(double v);

// The widest of the texts.
int widest(const QFontMetrics &metrics, const QStringList &texts);
// The widest label an axis over lo..hi can get, whatever step it settles on.
int labelWidth(const QFontMetrics &metrics, double lo, double hi);

// The plot's white ground with light lines at the labelled values of both axes.
void drawChartGrid(QPainter &painter, const QRect &plot, const ChartAxis &x, const ChartAxis &y);
// Ticks and labels under the plot, in the painter's pen and font; a label that would touch the
// one before it or `keepClear` is left out.
void drawXLabels(QPainter &painter, const QRect &plot, const ChartAxis &x, const QRect &keepClear = QRect());
// Ticks and labels on the plot's left or right edge, labels in the room up to that edge of `area`.
void drawYLabels(QPainter &painter, const QRect &plot, const QRect &area, const ChartAxis &y, Qt::Edge edge);
