#include "drawing/templateplot.h"

#include "engine/translate.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

KOLVANE_TR_CONTEXT("TemplatePlot")

constexpr int Gap = 8; // px between the parts of the layout
constexpr int TickLength = 5;
constexpr int LegendSample = 18;
// Beyond this many rows the dots would merge into a thick line.
constexpr int MostDots = 200;

double at(const QVector<double> &values, int i)
{
    return i >= 0 && i < values.size() ? values.at(i) : std::numeric_limits<double>::quiet_NaN();
}

struct Span {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void add(double v)
    {
        if (!std::isfinite(v))
            return;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    bool empty() const { return lo > hi; }
};

// Rows where both the frequency and the value are numbers: only those are drawn.
bool drawn(const TemplatePlotValues &v, const TemplateCurve &curve, int row)
{
    return std::isfinite(at(v.frequencies, row)) && std::isfinite(at(curve.values, row));
}

Span spanOf(const TemplatePlotValues &v, bool right)
{
    Span span;
    for (const TemplateCurve &curve : v.curves) {
        if (curve.rightAxis != right)
            continue;
        for (int r = 0; r < v.frequencies.size(); ++r)
            if (drawn(v, curve, r))
                span.add(curve.values.at(r));
    }
    return span;
}

Span frequencySpan(const TemplatePlotValues &v)
{
    Span span;
    for (const TemplateCurve &curve : v.curves)
        for (int r = 0; r < v.frequencies.size(); ++r)
            if (drawn(v, curve, r))
                span.add(v.frequencies.at(r));
    return span;
}

int widestTick(const QFontMetrics &metrics, const ChartAxis &axis)
{
    int w = 0;
    for (double t : axisTicks(axis))
        w = std::max(w, metrics.horizontalAdvance(tickText(t, axis.step)));
    return w;
}

bool hasPoints(const TemplatePlotValues &v)
{
    return !frequencySpan(v).empty();
}

class TemplateDrawing
{
public:
    TemplateDrawing(QPainter &painter, const TemplateChart &chart, const TemplatePlotValues &values)
        : painter(painter), c(chart), v(values), metrics(painter.fontMetrics())
    {
    }

    void draw()
    {
        grid();
        painter.save();
        painter.setClipRect(c.plot.adjusted(0, 0, 1, 1));
        currentRow();
        for (const TemplateCurve &curve : v.curves)
            drawCurve(curve);
        painter.restore();
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(c.plot.adjusted(0, 0, -1, -1));
        axes();
        legend();
        if (!hasPoints(v)) {
            painter.setPen(Qt::black);
            painter.drawText(c.plot, Qt::AlignCenter | Qt::TextWordWrap,
                             tr("Нет значений для графика: заполните частоту и значения хотя бы одной строки"));
        }
    }

private:
    double yAt(const TemplateCurve &curve, double value) const
    {
        return curve.rightAxis ? c.rightAt(value) : c.leftAt(value);
    }

    void grid()
    {
        painter.fillRect(c.plot, Qt::white);
        painter.setPen(QPen(QColor(225, 225, 225), 0));
        for (double t : axisTicks(c.x)) {
            const int x = int(std::lround(clampPixel(c.xAt(t))));
            painter.drawLine(x, c.plot.top(), x, c.plot.bottom());
        }
        for (double t : axisTicks(c.left)) {
            const int y = int(std::lround(clampPixel(c.leftAt(t))));
            painter.drawLine(c.plot.left(), y, c.plot.right(), y);
        }
    }

    void currentRow()
    {
        const double f = at(v.frequencies, v.currentRow);
        if (v.currentRow < 0 || !std::isfinite(f))
            return;
        const int x = int(std::lround(clampPixel(c.xAt(f))));
        painter.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
        painter.drawLine(x, c.plot.top(), x, c.plot.bottom());
        for (const TemplateCurve &curve : v.curves) {
            if (!drawn(v, curve, v.currentRow))
                continue;
            painter.setPen(QPen(curve.color, 2));
            painter.setBrush(Qt::white);
            painter.drawEllipse(QPointF(x, clampPixel(yAt(curve, curve.values.at(v.currentRow)))), 5, 5);
        }
    }

    // In row order, as the calculation interpolates; a row without numbers breaks the line.
    void drawCurve(const TemplateCurve &curve)
    {
        const int rows = int(v.frequencies.size());
        QPolygonF line;
        QVector<QPointF> dots;
        const auto flush = [&] {
            painter.setPen(QPen(curve.color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::NoBrush);
            if (line.size() > 1)
                painter.drawPolyline(line);
            // A row on its own, between gaps, still shows.
            if (line.size() == 1 && dots.size() > MostDots)
                painter.drawEllipse(line.first(), 2, 2);
            line.clear();
        };
        for (int r = 0; r < rows; ++r) {
            if (!drawn(v, curve, r)) {
                flush();
                continue;
            }
            const QPointF p(clampPixel(c.xAt(v.frequencies.at(r))), clampPixel(yAt(curve, curve.values.at(r))));
            line << p;
            dots << p;
        }
        flush();
        if (dots.size() <= MostDots) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(curve.color);
            for (const QPointF &p : std::as_const(dots))
                painter.drawEllipse(p, 2.5, 2.5);
        }
    }

    void axes()
    {
        const int h = metrics.height();
        painter.setPen(Qt::black);
        const QString xName = tr("F, кГц");
        const int nameWidth = metrics.horizontalAdvance(xName);
        const QRect nameBox(c.plot.right() - nameWidth, c.plot.bottom() + TickLength + 2 + h, nameWidth + 2, h);
        int lastRight = std::numeric_limits<int>::min();
        for (double t : axisTicks(c.x)) {
            const int x = int(std::lround(clampPixel(c.xAt(t))));
            painter.drawLine(x, c.plot.bottom(), x, c.plot.bottom() + TickLength);
            const QString text = tickText(t, c.x.step);
            const int w = metrics.horizontalAdvance(text);
            const QRect box(x - w / 2 - 1, c.plot.bottom() + TickLength + 2, w + 2, h);
            if (box.left() <= lastRight + 4)
                continue;
            painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, text);
            lastRight = box.right();
        }
        painter.drawText(nameBox, Qt::AlignRight | Qt::AlignTop, xName);

        for (double t : axisTicks(c.left)) {
            const int y = int(std::lround(clampPixel(c.leftAt(t))));
            painter.drawLine(c.plot.left() - TickLength, y, c.plot.left(), y);
            painter.drawText(QRect(c.area.left(), y - h / 2, c.plot.left() - TickLength - 3 - c.area.left(), h),
                             Qt::AlignRight | Qt::AlignVCenter, tickText(t, c.left.step));
        }
        // Above the top labels, which reach half a line over the plot.
        const int nameTop = c.plot.top() - h / 2 - 2 - h;
        painter.drawText(QRect(c.area.left() + Gap, nameTop, c.plot.right() - c.area.left() - Gap, h),
                         Qt::AlignLeft | Qt::AlignBottom, v.leftAxis);
        if (!c.hasRight)
            return;
        for (double t : axisTicks(c.right)) {
            const int y = int(std::lround(clampPixel(c.rightAt(t))));
            painter.drawLine(c.plot.right(), y, c.plot.right() + TickLength, y);
            painter.drawText(QRect(c.plot.right() + TickLength + 3, y - h / 2,
                                   c.area.right() - c.plot.right() - TickLength - 3, h),
                             Qt::AlignLeft | Qt::AlignVCenter, tickText(t, c.right.step));
        }
        painter.drawText(QRect(c.area.left(), nameTop, c.area.width() - Gap, h), Qt::AlignRight | Qt::AlignBottom,
                         v.rightAxis);
    }

    void legend()
    {
        const int h = metrics.height();
        const int y = c.area.bottom() - Gap / 2 - h;
        int x = c.plot.left();
        for (const TemplateCurve &curve : v.curves) {
            painter.setPen(QPen(curve.color, 2));
            painter.drawLine(x, y + h / 2, x + LegendSample, y + h / 2);
            x += LegendSample + 4;
            painter.setPen(Qt::black);
            const int w = metrics.horizontalAdvance(curve.name);
            painter.drawText(QRect(x, y, w + 2, h), Qt::AlignLeft | Qt::AlignVCenter, curve.name);
            x += w + 16;
        }
    }

    QPainter &painter;
    const TemplateChart &c;
    const TemplatePlotValues &v;
    const QFontMetrics metrics;
};

} // namespace

bool templateHasPlot(TemplateKind kind)
{
    return kind != LineTypePam;
}

TemplatePlotValues templatePlotValues(TemplateKind kind, const QVector<QVector<double>> &rows, int currentRow)
{
    TemplatePlotValues v;
    v.currentRow = currentRow;
    if (!templateHasPlot(kind))
        return v;
    const auto column = [&rows](int c) {
        QVector<double> values;
        values.reserve(rows.size());
        for (const QVector<double> &row : rows)
            values << at(row, c);
        return values;
    };
    v.frequencies = column(0);
    switch (kind) {
    case CableAttenuation:
        v.leftAxis = tr("a, дБ/км");
        v.curves = {{tr("a — затухание"), TemplatePlotColors::Attenuation, false, column(1)}};
        break;
    case LineTypeDmt:
        v.leftAxis = tr("S, N, дБм/Гц");
        v.rightAxis = tr("Kmax, бит");
        v.curves = {{tr("S — передача"), TemplatePlotColors::Transmit, false, column(1)},
                    {tr("N — собственный шум"), TemplatePlotColors::OwnNoise, false, column(3)},
                    {tr("Kmax — предел бит, ось справа"), TemplatePlotColors::BitCap, true, column(2)}};
        break;
    case AdditiveNoise:
        v.leftAxis = tr("N, дБм/Гц");
        v.curves = {{tr("N — помеха на входе приёмника"), TemplatePlotColors::Noise, false, column(1)}};
        break;
    case LineTypePam:
        break;
    }
    return v;
}

double TemplateChart::xAt(double f) const
{
    return plot.left() + x.fraction(f) * plot.width();
}

double TemplateChart::leftAt(double value) const
{
    return plot.bottom() - left.fraction(value) * plot.height();
}

double TemplateChart::rightAt(double value) const
{
    return plot.bottom() - right.fraction(value) * plot.height();
}

TemplateChart settleTemplateChart(const TemplatePlotValues &values, const QRect &area, const QFontMetrics &metrics)
{
    TemplateChart chart;
    chart.area = area;
    const int h = metrics.height();
    // The axis names above the plot, clear of the top tick labels that reach half a line over it.
    const int top = area.top() + Gap / 2 + h + h / 2 + 2;
    const int bottom = area.bottom() - Gap / 2 - h - Gap - 2 * h - TickLength - 2;
    const int yTicks = std::clamp((bottom - top) / (2 * h), 1, 10);

    Span left = spanOf(values, false);
    if (left.empty())
        left = {0, 1};
    // Room above and below, so that no line runs along the frame; none across zero, where an
    // attenuation starts.
    const double pad = std::isfinite(left.hi - left.lo) ? std::max(1.0, (left.hi - left.lo) * 0.04) : 1.0;
    const double lo = left.lo >= 0 ? std::max(0.0, left.lo - pad) : left.lo - pad;
    const double hi = left.hi <= 0 ? std::min(0.0, left.hi + pad) : left.hi + pad;
    chart.left = niceAxis(lo, hi, yTicks);

    chart.hasRight = !values.rightAxis.isEmpty();
    if (chart.hasRight) {
        const Span right = spanOf(values, true);
        const double bitsHi = right.empty() ? 1 : std::max(1.0, std::ceil(right.hi));
        chart.right = niceAxis(0, bitsHi, std::min(yTicks, int(bitsHi)));
        chart.right.step = std::max(1.0, chart.right.step); // whole bits only
        chart.right.min = std::min(0.0, right.empty() ? 0.0 : std::floor(right.lo));
        chart.right.max = std::ceil(bitsHi / chart.right.step) * chart.right.step;
    }
    Span f = frequencySpan(values);
    if (f.empty())
        f = {0, 1000};
    // The last frequency label is centred on the right edge of the plot; rounded up, the axis
    // may end one digit longer.
    const int xLabel = metrics.horizontalAdvance(QString::number(std::ceil(f.hi), 'f', 0) + QLatin1Char('0'));
    const int leftLabels = widestTick(metrics, chart.left);
    const int rightLabels = chart.hasRight ? widestTick(metrics, chart.right) + TickLength + 3 : xLabel / 2;
    const int leftEdge = area.left() + Gap + leftLabels + TickLength + 3;
    const int rightEdge = area.right() - Gap - rightLabels;
    chart.plot = QRect(QPoint(leftEdge, top), QPoint(std::max(rightEdge, leftEdge + 10), std::max(bottom, top + 10)));

    const int xTicks = std::clamp(chart.plot.width() / std::max(1, xLabel + 3 * Gap), 1, 10);
    chart.x = niceAxis(std::min(0.0, f.lo), f.hi, xTicks);
    return chart;
}

void drawTemplateChart(QPainter &painter, const TemplateChart &chart, const TemplatePlotValues &values)
{
    painter.save();
    TemplateDrawing(painter, chart, values).draw();
    painter.restore();
}

void drawTemplatePlot(QPainter &painter, const QRect &area, const TemplatePlotValues &values)
{
    drawTemplateChart(painter, settleTemplateChart(values, area, painter.fontMetrics()), values);
}
