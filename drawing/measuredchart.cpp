#include "drawing/measuredchart.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace ChartAxes;
using Measured::Quantity;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MeasuredChart", text);
}

constexpr int Gap = 8; // px between the parts of the layout
constexpr int TickLength = 5;
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

double MeasuredChart::xAt(double kHz) const
{
    return plot.left() + (kHz - x.min) / (x.max - x.min) * plot.width();
}

double MeasuredChart::dbAt(double value) const
{
    return plot.bottom() - (value - db.min) / (db.max - db.min) * plot.height();
}

double MeasuredChart::dbmAt(double value) const
{
    return plot.bottom() - (value - dbm.min) / (dbm.max - dbm.min) * plot.height();
}

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
    const int left = area.left() + Gap + labelWidth(metrics, -100, 100) + TickLength + 3;
    const int right = area.right() - Gap - labelWidth(metrics, -160, -10) - TickLength - 3;
    const int top = area.top() + Gap / 2 + h + 4;
    const int bottom = area.bottom() - Gap / 2 - h - Gap - h - TickLength - 2;
    chart.plot = QRect(QPoint(left, top), QPoint(std::max(right, left + 10), std::max(bottom, top + 10)));
    const int xTicks = std::clamp(chart.plot.width() / std::max(1, metrics.horizontalAdvance(QStringLiteral("00000")) + 3 * Gap), 1, 12);
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
    painter.fillRect(c.plot, Qt::white);
    QPen grid(QColor(225, 225, 225));
    grid.setWidth(0);
    painter.setPen(grid);
    for (double v : ticks(c.x)) {
        const int x = int(std::lround(clampPixel(c.xAt(v))));
        painter.drawLine(x, c.plot.top(), x, c.plot.bottom());
    }
    for (double v : ticks(c.db)) {
        const int y = int(std::lround(clampPixel(c.dbAt(v))));
        painter.drawLine(c.plot.left(), y, c.plot.right(), y);
    }

    painter.save();
    painter.setClipRect(c.plot.adjusted(0, 0, 1, 1));
    for (Quantity q : Shown) {
        const Measured::Series &s = m.series(q);
        const auto yAt = [&](double v) { return clampPixel(q == Quantity::Qln ? c.dbmAt(v) : c.dbAt(v)); };
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
            const double y = yAt(e.value);
            run << QPointF(clampPixel(c.xAt(Measured::Series::frequency(e))), y)
                << QPointF(clampPixel(c.xAt(double(next) * Measured::ToneSpacing)), y);
        }
        if (run.size() > 1)
            painter.drawPolyline(run);
    }
    painter.restore();

    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(c.plot.adjusted(0, 0, -1, -1));
    int lastRight = std::numeric_limits<int>::min();
    for (double v : ticks(c.x)) {
        const int x = int(std::lround(clampPixel(c.xAt(v))));
        painter.drawLine(x, c.plot.bottom(), x, c.plot.bottom() + TickLength);
        const QString text = tickText(v, c.x.step);
        const int w = metrics.horizontalAdvance(text);
        const QRect box(x - w / 2 - 1, c.plot.bottom() + TickLength + 2, w + 2, h);
        if (box.left() <= lastRight + 4)
            continue;
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, text);
        lastRight = box.right();
    }
    for (double v : ticks(c.db)) {
        const int y = int(std::lround(clampPixel(c.dbAt(v))));
        painter.drawLine(c.plot.left() - TickLength, y, c.plot.left(), y);
        painter.drawText(QRect(c.area.left(), y - h / 2, c.plot.left() - TickLength - 3 - c.area.left(), h),
                         Qt::AlignRight | Qt::AlignVCenter, tickText(v, c.db.step));
    }
    for (double v : ticks(c.dbm)) {
        const int y = int(std::lround(clampPixel(c.dbmAt(v))));
        painter.drawLine(c.plot.right(), y, c.plot.right() + TickLength, y);
        painter.drawText(QRect(c.plot.right() + TickLength + 3, y - h / 2, c.area.right() - c.plot.right() - TickLength - 3, h),
                         Qt::AlignLeft | Qt::AlignVCenter, tickText(v, c.dbm.step));
    }
    const QRect names(c.area.left() + Gap, c.plot.top() - h - 4, c.area.width() - 2 * Gap, h);
    painter.drawText(names, Qt::AlignLeft | Qt::AlignBottom, tr("Hlog, SNR, дБ"));
    painter.drawText(names, Qt::AlignRight | Qt::AlignBottom, tr("QLN, дБм/Гц"));
    painter.drawText(QRect(c.plot.left(), c.plot.bottom() + TickLength + 2 + h, c.plot.width(), h),
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
