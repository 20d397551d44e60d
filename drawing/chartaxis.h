#pragma once

// Value axes of the charts drawn from values (line spectrum, template plots): round steps from
// the 1-2-5 series and labels that read them exactly.

#include <QString>
#include <QVector>

// One axis: values from `min` to `max`, labelled every `step` from the first multiple of it.
struct ChartAxis {
    double min = 0;
    double max = 1;
    double step = 1;

    // Where a value lies along the axis: 0 at min, 1 at max.
    double fraction(double value) const { return (value - min) / (max - min); }
};

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
