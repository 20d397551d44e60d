#pragma once

// The spectrum of one line as a function of values, like the rate graph: settle the axes for an
// area, then draw into any QPainter. QtGui only; the window, the PNG and the PDF draw the same.
//
// DMT: the bits of every tone as bars on the left axis; its SNR, the received PSD W and the noise
// level U as lines on the right axis (dB, dBm/Hz); frequency in kHz below. A measured SNR of the
// line goes over them, dashed.
// PAM: the SNR of every candidate rate the search tried, the threshold T as a line and the
// chosen rate marked; rate in kbit/s below.

#include "drawing/chartaxis.h"
#include "engine/linespectrum.h"

#include <QColor>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

class QFontMetrics;
class QPainter;

// The chart laid out in one area: where the plot lies and what its axes span.
struct SpectrumChart {
    QRect area;
    QRect plot;          // inclusive corners, as drawRect draws them
    bool dmt = true;
    ChartAxis x;         // kHz (DMT) or kbit/s (PAM)
    ChartAxis bits;      // DMT: bits, the left axis
    ChartAxis db;        // DMT: dB and dBm/Hz, the right axis; PAM: SNR in dB, the left axis

    // Where a value lies in the plot.
    double xAt(double value) const;
    double bitsAt(double value) const;
    double dbAt(double value) const;
    QPointF bitsPoint(double x, double bits) const { return {xAt(x), bitsAt(bits)}; }
    QPointF dbPoint(double x, double db) const { return {xAt(x), dbAt(db)}; }
};

// The colours of the chart's series, for the legend and for tests reading pixels.
namespace SpectrumColors {
const QColor Bits(120, 160, 225);
const QColor Snr(0, 140, 0);
const QColor Signal(210, 0, 0);
const QColor Noise(130, 0, 170);
const QColor Threshold(210, 0, 0);
const QColor Chosen(0, 150, 0);
const QColor PamSnr(0, 80, 200);
const QColor MeasuredSnr(235, 120, 0);
}

// "ADSL2+_DS.DMT, PE-0.40mm-26AWG, L=3000 м: R=12345 кбит/с, нагружено тонов: 412 из 480".
QString spectrumTitle(const LineSpectrum &spectrum);
// The curve's conditions: "m=1, ELFEXT=10 дБ, SNR Margin=0 дБ, помехи AWGN-140".
QString spectrumConditions(const LineSpectrum &spectrum);

// Lays the chart out in `area` with texts set in `metrics`' font.
SpectrumChart settleSpectrumChart(const LineSpectrum &spectrum, const QRect &area, const QFontMetrics &metrics);
// Draws a settled chart: title, axes, series, legend, in the painter's current font. The
// painter's state is restored afterwards.
void drawSpectrumChart(QPainter &painter, const SpectrumChart &chart, const LineSpectrum &spectrum);
// Both in one, settled in the painter's current font.
void drawSpectrumChart(QPainter &painter, const QRect &area, const LineSpectrum &spectrum);

// The chart as a `size` image on white ("PNG", "JPG"), or as a PDF on a landscape A4 page,
// written through writeFileSafely without waiting for a FIFO's reader: a failed export leaves
// an earlier file intact. False with *error (why, in words) on failure.
bool exportSpectrumImage(const LineSpectrum &spectrum, const QSize &size, const QString &path, const char *format,
                         QString *error);
bool exportSpectrumPdf(const LineSpectrum &spectrum, const QString &title, const QString &path, QString *error);
