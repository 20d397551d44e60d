#include "drawing/chartaxis.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

double niceStep(double range, int ticks)
{
    const double raw = range / std::max(1, ticks);
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * magnitude >= raw * (1 - 1e-9))
            return m * magnitude;
    return 10 * magnitude;
}

ChartAxis niceAxis(double lo, double hi, int ticks)
{
    if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi) {
        lo = 0;
        hi = 1;
    }
    if (hi - lo < 1e-9) {
        const double pad = std::max(1.0, std::fabs(lo) * 0.1);
        lo -= pad;
        hi += pad;
    }
    ChartAxis axis;
    axis.step = niceStep(hi - lo, ticks);
    axis.min = std::floor(lo / axis.step + 1e-9) * axis.step;
    axis.max = std::ceil(hi / axis.step - 1e-9) * axis.step;
    if (axis.max <= axis.min)
        axis.max = axis.min + axis.step;
    return axis;
}

QString tickText(double value, double step)
{
    const int decimals = step >= 1 ? 0 : std::min(6, int(std::ceil(-std::log10(step) - 1e-9)));
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(QLatin1Char('-')) && text.toDouble() == 0)
        text.remove(0, 1);
    return text;
}

QVector<double> axisTicks(const ChartAxis &axis)
{
    QVector<double> out;
    const int n = int(std::llround((axis.max - axis.min) / axis.step));
    for (int k = 0; k <= n && k <= 1000; ++k)
        out << axis.min + k * axis.step;
    return out;
}

double clampPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return std::clamp(v, -1.0e6, 1.0e6);
}

int widest(const QFontMetrics &metrics, const QStringList &texts)
{
    int w = 0;
    for (const QString &text : texts)
        w = std::max(w, metrics.horizontalAdvance(text));
    return w;
}

int labelWidth(const QFontMetrics &metrics, double lo, double hi)
{
    return widest(metrics, {QString::number(std::floor(lo) - 10, 'f', 0), QString::number(std::ceil(hi) + 10, 'f', 0),
                            QStringLiteral("-00.0")});
}

void drawChartGrid(QPainter &painter, const QRect &plot, const ChartAxis &x, const ChartAxis &y)
{
    painter.fillRect(plot, Qt::white);
    QPen pen(QColor(225, 225, 225));
    pen.setWidth(0);
    painter.setPen(pen);
    for (double v : axisTicks(x)) {
        const int at = int(std::lround(clampPixel(x.xIn(plot, v))));
        painter.drawLine(at, plot.top(), at, plot.bottom());
    }
    for (double v : axisTicks(y)) {
        const int at = int(std::lround(clampPixel(y.yIn(plot, v))));
        painter.drawLine(plot.left(), at, plot.right(), at);
    }
}

void drawXLabels(QPainter &painter, const QRect &plot, const ChartAxis &x, const QRect &keepClear)
{
    const QFontMetrics metrics = painter.fontMetrics();
    int lastRight = std::numeric_limits<int>::min();
    for (double v : axisTicks(x)) {
        const int at = int(std::lround(clampPixel(x.xIn(plot, v))));
        painter.drawLine(at, plot.bottom(), at, plot.bottom() + ChartTickLength);
        const QString text = tickText(v, x.step);
        const int w = metrics.horizontalAdvance(text);
        const QRect box(at - w / 2 - 1, plot.bottom() + ChartTickLength + 2, w + 2, metrics.height());
        if (box.left() <= lastRight + 4 || (!keepClear.isNull() && box.intersects(keepClear)))
            continue;
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, text);
        lastRight = box.right();
    }
}

void drawYLabels(QPainter &painter, const QRect &plot, const QRect &area, const ChartAxis &y, Qt::Edge edge)
{
    const int h = painter.fontMetrics().height();
    const bool left = edge == Qt::LeftEdge;
    const int edgeX = left ? plot.left() : plot.right();
    const int room = left ? edgeX - ChartTickLength - 3 - area.left() : area.right() - edgeX - ChartTickLength - 3;
    for (double v : axisTicks(y)) {
        const int at = int(std::lround(clampPixel(y.yIn(plot, v))));
        painter.drawLine(left ? edgeX - ChartTickLength : edgeX, at, left ? edgeX : edgeX + ChartTickLength, at);
        const QRect box(left ? area.left() : edgeX + ChartTickLength + 3, at - h / 2, room, h);
        painter.drawText(box, (left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, tickText(v, y.step));
    }
}
