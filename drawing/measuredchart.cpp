#include "drawing/measuredchart.h"

#include "engine/translate.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>

using Measured::Quantity;

namespace {

KOLVANE_TR_CONTEXT("MeasuredChart")

constexpr int Gap = 8; // px between the parts of the layout
constexpr Quantity Shown[] = {Quantity::Hlog, Quantity::Snr, Quantity::Qln};

QColor colorOf(Quantity q)
{
    switch (q) {
    case Quantity::Hlog: return MeasuredColors::Hlog;
    case Quantity::Qln: return MeasuredColors::Qln;
    case Quantity::Snr: break;
    }
    return MeasuredColors::Snr;
}

QString legendText(Quantity q)
{
    switch (q) {
    case Quantity::Hlog: return tr("Hlog, дБ");
    case Quantity::Qln: return tr("QLN, дБм/Гц (ось справа)");
    case Quantity::Snr: break;
    }
    return tr("SNR, дБ");
}

// Lowest and highest usable value of the quantities; both infinite when there is none.
std::pair<double, double> valueRange(const Measured::Measurement &m, std::initializer_list<Quantity> quantities)
{
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (Quantity q : quantities)
        for (const Measured::Entry &e : m.series(q).entries)
            if (!e.missing) {
                lo = std::min(lo, e.value);
                hi = std::max(hi, e.value);
            }
    return {lo, hi};
}

ChartAxis levelAxis(std::pair<double, double> range, double fallbackLo, double fallbackHi, int ticks)
{
    if (!(range.first <= range.second))
        range = {fallbackLo, fallbackHi};
    const double pad = std::max(1.0, (range.second - range.first) * 0.04);
    return niceAxis(range.first - pad, range.second + pad, ticks);
}

} // namespace

MeasuredChart settleMeasuredChart(const Measured::Measurement &m, const QRect &area, const QFontMetrics &metrics)
{
    MeasuredChart chart;
    chart.area = area;
    const int h = metrics.height();
    const auto db = valueRange(m, {Quantity::Hlog, Quantity::Snr});
    const auto dbm = valueRange(m, {Quantity::Qln});
    double xHi = 0;
    for (Quantity q : Shown) {
        const Measured::Series &s = m.series(q);
        if (!s.entries.isEmpty())
            xHi = std::max(xHi, double(s.entries.last().tone + s.groupSize) * Measured::ToneSpacing);
    }
    const int left = area.left() + Gap + labelWidth(metrics, -100, 100) + ChartTickLength + 3;
    const int right = area.right() - Gap - labelWidth(metrics, -160, -10) - ChartTickLength - 3;
    const int top = area.top() + Gap / 2 + h + 4;
    const int bottom = area.bottom() - Gap / 2 - h - Gap - h - ChartTickLength - 2;
    chart.plot = QRect(QPoint(left, top), QPoint(std::max(right, left + 10), std::max(bottom, top + 10)));
    const int xLabel = metrics.horizontalAdvance(QStringLiteral("00000")) + 3 * Gap;
    const int xTicks = std::clamp(chart.plot.width() / std::max(1, xLabel), 1, 12);
    const int yTicks = std::clamp(chart.plot.height() / (2 * h), 1, 10);
    chart.x = niceAxis(0, xHi > 0 ? xHi : 2208, xTicks);
    chart.db = levelAxis(db, -100, 60, yTicks);
    chart.dbm = levelAxis(dbm, -150, -20, yTicks);
    return chart;
}

void drawMeasuredChart(QPainter &painter, const MeasuredChart &c, const Measured::Measurement &m)
{
    painter.save();
    const QFontMetrics metrics = painter.fontMetrics();
    const int h = metrics.height();
    drawChartGrid(painter, c.plot, c.x, c.db);

    painter.save();
    painter.setClipRect(c.plot.adjusted(0, 0, 1, 1));
    for (Quantity q : Shown) {
        const Measured::Series &s = m.series(q);
        const ChartAxis &level = q == Quantity::Qln ? c.dbm : c.db;
        painter.setPen(QPen(colorOf(q), 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        QPolygonF run;
        int next = -1; // the tone where an adjacent entry would start
        for (const Measured::Entry &e : s.entries) {
            if (e.missing || e.tone != next) {
                if (run.size() > 1)
                    painter.drawPolyline(run);
                run.clear();
            }
            next = e.tone + s.groupSize;
            if (e.missing)
                continue;
            const double y = clampPixel(level.yIn(c.plot, e.value));
            run << QPointF(clampPixel(c.x.xIn(c.plot, Measured::Series::frequency(e))), y)
                << QPointF(clampPixel(c.x.xIn(c.plot, double(next) * Measured::ToneSpacing)), y);
        }
        if (run.size() > 1)
            painter.drawPolyline(run);
    }
    painter.restore();

    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(c.plot.adjusted(0, 0, -1, -1));
    drawXLabels(painter, c.plot, c.x);
    drawYLabels(painter, c.plot, c.area, c.db, Qt::LeftEdge);
    drawYLabels(painter, c.plot, c.area, c.dbm, Qt::RightEdge);
    const QRect names(c.area.left() + Gap, c.plot.top() - h - 4, c.area.width() - 2 * Gap, h);
    painter.drawText(names, Qt::AlignLeft | Qt::AlignBottom, tr("Hlog, SNR, дБ"));
    painter.drawText(names, Qt::AlignRight | Qt::AlignBottom, tr("QLN, дБм/Гц"));
    painter.drawText(QRect(c.plot.left(), c.plot.bottom() + ChartTickLength + 2 + h, c.plot.width(), h),
                     Qt::AlignRight | Qt::AlignTop, tr("f, кГц"));

    int x = c.plot.left();
    const int y = c.area.bottom() - Gap / 2 - h;
    bool any = false;
    for (Quantity q : Shown) {
        if (!m.series(q).present)
            continue;
        any = true;
        painter.setPen(QPen(colorOf(q), 2));
        painter.drawLine(x, y + h / 2, x + 18, y + h / 2);
        x += 22;
        painter.setPen(Qt::black);
        const QString text = legendText(q);
        painter.drawText(QRect(x, y, metrics.horizontalAdvance(text) + 2, h), Qt::AlignLeft | Qt::AlignVCenter, text);
        x += metrics.horizontalAdvance(text) + 18;
    }
    if (!any)
        painter.drawText(c.plot, Qt::AlignCenter, tr("Нет данных измерения"));
    painter.restore();
}
