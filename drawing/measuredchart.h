#pragma once

// A measured line as its modems reported it, for a look before it becomes templates: Hlog and
// SNR in dB on the left axis, QLN in dBm/Hz on the right, against frequency in kHz; each entry
// drawn across the tones of its group, a gap where the measurement has no value. QtGui only.

#include "drawing/chartaxis.h"
#include "engine/measuredline.h"

#include <QColor>
#include <QRect>

class QFontMetrics;
class QPainter;

struct MeasuredChart {
    QRect area;
    QRect plot;     // inclusive corners
    ChartAxis x;    // kHz
    ChartAxis db;   // Hlog and SNR, dB: the left axis
    ChartAxis dbm;  // QLN, dBm/Hz: the right axis
};

namespace MeasuredColors {
const QColor Hlog(0, 90, 210);
const QColor Qln(130, 0, 170);
const QColor Snr(0, 140, 0);
}

// Lays the chart out in `area` with texts set in `metrics`' font.
MeasuredChart settleMeasuredChart(const Measured::Measurement &measurement, const QRect &area,
                                  const QFontMetrics &metrics);
// Draws a settled chart (axes, the quantities present, their legend) in the painter's current
// font; the painter's state is restored afterwards.
void drawMeasuredChart(QPainter &painter, const MeasuredChart &chart, const Measured::Measurement &measurement);
