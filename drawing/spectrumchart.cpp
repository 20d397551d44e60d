#include "drawing/spectrumchart.h"

#include "engine/translate.h"
#include "drawing/picturefile.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

KOLVANE_TR_CONTEXT("SpectrumChart")

// Half the DMT tone spacing: a tone's bar spans its own band.
constexpr double HalfTone = 2.15625;
// PAM candidates lie 64 kbit/s apart; one step of room on either side keeps the ends visible.
constexpr double RateStep = 64;
constexpr int Gap = 8;      // px between the parts of the layout
// Beyond this many candidates their markers would merge into a thick line.
constexpr int MostMarkers = 200;

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

struct Ranges {
    double xLo = 0, xHi = 1;
    double bitsHi = 1;
    double dbLo = 0, dbHi = 1;
};

// A little room above and below, so that no line runs along the frame.
void padLevels(Ranges &r, double lo, double hi)
{
    const double pad = std::isfinite(hi - lo) ? std::max(1.0, (hi - lo) * 0.04) : 1.0;
    r.dbLo = lo - pad;
    r.dbHi = hi + pad;
}

Ranges rangesOf(const LineSpectrum &s)
{
    Ranges r;
    const double inf = std::numeric_limits<double>::infinity();
    if (s.dmt) {
        if (s.trace.tones.isEmpty()) {
            r.xHi = 1100;
            r.bitsHi = 15;
            r.dbLo = -140;
            r.dbHi = 60;
            return r;
        }
        double lo = inf, hi = -inf, dbLo = inf, dbHi = -inf;
        int bits = 1;
        for (const ToneTrace &t : s.trace.tones) {
            lo = std::min(lo, double(t.f) - HalfTone);
            hi = std::max(hi, double(t.f) + HalfTone);
            bits = std::max({bits, t.bits, t.cap});
            for (float v : {t.snr, t.W, t.U}) {
                if (!std::isfinite(v))
                    continue;
                dbLo = std::min(dbLo, double(v));
                dbHi = std::max(dbHi, double(v));
            }
            if (s.measuredSnr)
                if (const std::optional<double> v = s.measuredSnr->valueAtFrequency(t.f)) {
                    dbLo = std::min(dbLo, *v);
                    dbHi = std::max(dbHi, *v);
                }
        }
        r.xLo = std::min(0.0, lo);
        r.xHi = hi;
        r.bitsHi = bits;
        padLevels(r, dbLo, dbHi);
        return r;
    }
    if (s.trace.candidates.isEmpty()) {
        r.xHi = 1000;
        r.dbLo = 0;
        r.dbHi = 30;
        return r;
    }
    double lo = inf, hi = -inf, dbLo = inf, dbHi = -inf;
    for (const CandidateTrace &c : s.trace.candidates) {
        lo = std::min(lo, double(c.rate));
        hi = std::max(hi, double(c.rate));
        for (double v : {double(c.snr), c.threshold}) {
            if (!std::isfinite(v))
                continue;
            dbLo = std::min(dbLo, v);
            dbHi = std::max(dbHi, v);
        }
    }
    r.xLo = lo - RateStep;
    r.xHi = hi + RateStep;
    padLevels(r, dbLo, dbHi);
    return r;
}

QString xAxisName(bool dmt)
{
    return dmt ? tr("f, кГц") : tr("R, кбит/с");
}

struct LegendEntry {
    enum Kind { Bar, Line, DashedLine, Marker } kind;
    QColor color;
    QString text;
};

QVector<LegendEntry> legendOf(bool dmt, bool measured)
{
    if (dmt) {
        QVector<LegendEntry> entries{{LegendEntry::Bar, SpectrumColors::Bits, tr("b, бит (ось слева)")},
                                     {LegendEntry::Line, SpectrumColors::Snr, tr("SNR, дБ")},
                                     {LegendEntry::Line, SpectrumColors::Signal, tr("W — принимаемый сигнал, дБм/Гц")},
                                     {LegendEntry::Line, SpectrumColors::Noise, tr("U — уровень шума, дБм/Гц")}};
        if (measured)
            entries << LegendEntry{LegendEntry::DashedLine, SpectrumColors::MeasuredSnr, tr("SNR измеренный, дБ")};
        return entries;
    }
    return {{LegendEntry::Line, SpectrumColors::PamSnr, tr("SNR испробованной скорости, дБ")},
            {LegendEntry::DashedLine, SpectrumColors::Threshold, tr("порог T, дБ")},
            {LegendEntry::Marker, SpectrumColors::Chosen, tr("выбранная скорость")}};
}

class SpectrumDrawing
{
public:
    SpectrumDrawing(QPainter &painter, const SpectrumChart &chart, const LineSpectrum &spectrum)
        : painter(painter), c(chart), s(spectrum), metrics(painter.fontMetrics())
    {
    }

    void draw()
    {
        titles();
        grid();
        painter.save();
        painter.setClipRect(c.plot.adjusted(0, 0, 1, 1));
        if (c.dmt)
            dmtSeries();
        else
            pamSeries();
        painter.restore();
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(c.plot.adjusted(0, 0, -1, -1)); // a stroked QRect reaches one pixel past right and bottom
        axes();
        legend();
        if (s.trace.tones.isEmpty() && s.trace.candidates.isEmpty())
            emptyNote();
    }

private:
    void titles();
    void grid();
    void axes();
    void dmtSeries();
    void pamSeries();
    void legend();
    void emptyNote();
    void series(const QColor &color, float ToneTrace::*value);
    void measuredSeries();

    QPainter &painter;
    const SpectrumChart &c;
    const LineSpectrum &s;
    const QFontMetrics metrics;
};

// A title line wider than its box is set smaller (to two thirds at most), then shortened in the
// middle: its ends (the line type, the rate) are what the reader looks for.
static void drawTitleLine(QPainter &painter, const QRect &box, const QString &text)
{
    painter.save();
    QFont font = painter.font();
    const int needed = QFontMetrics(font, painter.device()).horizontalAdvance(text);
    if (needed > box.width() && needed > 0) {
        const double scale = std::max(2.0 / 3.0, double(box.width()) / needed);
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * scale);
        else
            font.setPixelSize(std::max(1, int(font.pixelSize() * scale)));
        painter.setFont(font);
    }
    const QString shown = QFontMetrics(painter.font(), painter.device()).elidedText(text, Qt::ElideMiddle, box.width());
    painter.drawText(box, Qt::AlignHCenter | Qt::AlignVCenter, shown);
    painter.restore();
}

void SpectrumDrawing::titles()
{
    const int h = metrics.height();
    QFont bold = painter.font();
    bold.setBold(true);
    painter.save();
    painter.setPen(Qt::black);
    painter.setFont(bold);
    const QRect first(c.area.left() + Gap, c.area.top() + Gap / 2, c.area.width() - 2 * Gap, h);
    drawTitleLine(painter, first, spectrumTitle(s));
    painter.restore();
    painter.setPen(Qt::black);
    drawTitleLine(painter, first.translated(0, h), spectrumConditions(s));
}

void SpectrumDrawing::grid()
{
    drawChartGrid(painter, c.plot, c.x, c.db);
}

void SpectrumDrawing::axes()
{
    const int h = metrics.height();
    painter.setPen(Qt::black);

    // Frequency or rate below; the axis name keeps the right end, labels give way to it.
    const QString xName = xAxisName(c.dmt);
    const int nameWidth = metrics.horizontalAdvance(xName);
    const QRect nameBox(c.plot.right() - nameWidth / 2, c.plot.bottom() + ChartTickLength + 2, nameWidth + 4, h);
    painter.drawText(nameBox, Qt::AlignLeft | Qt::AlignTop, xName);
    drawXLabels(painter, c.plot, c.x, nameBox.adjusted(-4, 0, 0, 0));

    // The left axis: bits for DMT, SNR for PAM; the right axis: the DMT levels.
    drawYLabels(painter, c.plot, c.area, c.dmt ? c.bits : c.db, Qt::LeftEdge);
    const QString leftName = c.dmt ? tr("b, бит") : tr("SNR, дБ");
    painter.drawText(QRect(c.area.left() + Gap, c.plot.top() - h - 4, c.plot.width(), h),
                     Qt::AlignLeft | Qt::AlignBottom, leftName);
    if (!c.dmt)
        return;
    drawYLabels(painter, c.plot, c.area, c.db, Qt::RightEdge);
    painter.drawText(QRect(c.area.left(), c.plot.top() - h - 4, c.area.width() - Gap, h),
                     Qt::AlignRight | Qt::AlignBottom, tr("SNR, дБ; W, U, дБм/Гц"));
}

void SpectrumDrawing::series(const QColor &color, float ToneTrace::*value)
{
    QPolygonF line;
    line.reserve(s.trace.tones.size());
    for (const ToneTrace &t : s.trace.tones)
        line << QPointF(clampPixel(c.xAt(t.f)), clampPixel(c.dbAt(t.*value)));
    painter.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(line);
}

void SpectrumDrawing::dmtSeries()
{
    // A tone's bar spans its own band; thin bars at a wide band still add up to a filled area.
    painter.setPen(Qt::NoPen);
    painter.setBrush(SpectrumColors::Bits);
    const double base = c.bitsAt(0);
    for (const ToneTrace &t : s.trace.tones) {
        if (t.bits <= 0)
            continue;
        const double x0 = clampPixel(c.xAt(t.f - HalfTone));
        const double x1 = clampPixel(c.xAt(t.f + HalfTone));
        const double top = clampPixel(c.bitsAt(t.bits));
        painter.drawRect(QRectF(x0, top, std::max(1.0, x1 - x0), base - top));
    }
    painter.setBrush(Qt::NoBrush);
    series(SpectrumColors::Noise, &ToneTrace::U);
    series(SpectrumColors::Signal, &ToneTrace::W);
    series(SpectrumColors::Snr, &ToneTrace::snr);
    measuredSeries();
}

// The measured SNR over each tone's own band, a step where the groups change, a gap where the
// measurement has no value.
void SpectrumDrawing::measuredSeries()
{
    if (!s.measuredSnr)
        return;
    painter.setPen(QPen(SpectrumColors::MeasuredSnr, 2, Qt::DashLine, Qt::FlatCap, Qt::MiterJoin));
    QPolygonF run;
    const auto flush = [&] {
        if (run.size() > 1)
            painter.drawPolyline(run);
        run.clear();
    };
    for (const ToneTrace &t : s.trace.tones) {
        const std::optional<double> v = s.measuredSnr->valueAtFrequency(t.f);
        if (!v) {
            flush();
            continue;
        }
        const double y = clampPixel(c.dbAt(*v));
        run << QPointF(clampPixel(c.xAt(t.f - HalfTone)), y) << QPointF(clampPixel(c.xAt(t.f + HalfTone)), y);
    }
    flush();
}

void SpectrumDrawing::pamSeries()
{
    const QVector<CandidateTrace> &candidates = s.trace.candidates;
    if (candidates.isEmpty())
        return;
    const double threshold = candidates.first().threshold;
    const int ty = int(std::lround(clampPixel(c.dbAt(threshold))));
    painter.setPen(QPen(SpectrumColors::Threshold, 2, Qt::DashLine));
    painter.drawLine(c.plot.left(), ty, c.plot.right(), ty);

    QPolygonF line;
    for (const CandidateTrace &t : candidates)
        line << QPointF(clampPixel(c.xAt(t.rate)), clampPixel(c.dbAt(t.snr)));
    painter.setPen(QPen(SpectrumColors::PamSnr, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(line);
    if (candidates.size() <= MostMarkers) {
        painter.setBrush(SpectrumColors::PamSnr);
        painter.setPen(Qt::NoPen);
        for (const QPointF &p : std::as_const(line))
            painter.drawRect(QRectF(p.x() - 2.5, p.y() - 2.5, 5, 5));
    }

    const QString tText = tr("T=%1 дБ").arg(QString::number(threshold, 'f', 2));
    painter.setPen(SpectrumColors::Threshold);
    // Above its line, or below it when the line runs near the top.
    const int h = metrics.height();
    const int textTop = ty - h - 2 >= c.plot.top() + 2 ? ty - h - 2 : ty + 3;
    painter.drawText(QRect(c.plot.left() + 4, textTop, c.plot.width() - 8, h), Qt::AlignRight | Qt::AlignVCenter, tText);

    const CandidateTrace &last = candidates.last();
    if (!(s.trace.rate > 0) || !(double(last.snr) > last.threshold))
        return;
    const int x = int(std::lround(clampPixel(c.xAt(last.rate))));
    painter.setPen(QPen(SpectrumColors::Chosen, 2, Qt::DotLine));
    painter.drawLine(x, c.plot.top(), x, c.plot.bottom());
    painter.setPen(QPen(SpectrumColors::Chosen, 1));
    painter.setBrush(SpectrumColors::Chosen);
    const QPointF at(x, clampPixel(c.dbAt(last.snr)));
    painter.drawEllipse(at, 6, 6);
    const QString rText = tr("R=%1 кбит/с").arg(number(last.rate));
    const int w = metrics.horizontalAdvance(rText);
    // Beside the line, on whichever side has room.
    const int left = x + 6 + w < c.plot.right() ? x + 6 : x - 6 - w;
    painter.drawText(QRect(left, c.plot.top() + 4, w + 2, metrics.height()), Qt::AlignLeft | Qt::AlignTop, rText);
}

void SpectrumDrawing::legend()
{
    const int h = metrics.height();
    const int y = c.area.bottom() - Gap / 2 - h;
    int x = c.plot.left();
    for (const LegendEntry &e : legendOf(c.dmt, s.measuredSnr.has_value())) {
        const int mid = y + h / 2;
        switch (e.kind) {
        case LegendEntry::Bar:
            painter.fillRect(QRect(x, y + 2, 18, h - 4), e.color);
            break;
        case LegendEntry::Line:
        case LegendEntry::DashedLine:
            painter.setPen(QPen(e.color, 2, e.kind == LegendEntry::Line ? Qt::SolidLine : Qt::DashLine));
            painter.drawLine(x, mid, x + 18, mid);
            break;
        case LegendEntry::Marker:
            painter.setPen(QPen(e.color, 1));
            painter.setBrush(e.color);
            painter.drawEllipse(QPointF(x + 9, mid), 5, 5);
            painter.setBrush(Qt::NoBrush);
            break;
        }
        x += 22;
        painter.setPen(Qt::black);
        const int w = metrics.horizontalAdvance(e.text);
        painter.drawText(QRect(x, y, w + 2, h), Qt::AlignLeft | Qt::AlignVCenter, e.text);
        x += w + 18;
    }
}

void SpectrumDrawing::emptyNote()
{
    painter.setPen(Qt::black);
    painter.drawText(c.plot, Qt::AlignCenter,
                     c.dmt ? tr("Нет тонов: кривая не даёт скорости") : tr("Нет скоростей для перебора: кривая не даёт скорости"));
}

} // namespace

double SpectrumChart::xAt(double value) const
{
    return x.xIn(plot, value);
}

double SpectrumChart::bitsAt(double value) const
{
    return bits.yIn(plot, value);
}

double SpectrumChart::dbAt(double value) const
{
    return db.yIn(plot, value);
}

QString spectrumTitle(const LineSpectrum &s)
{
    const QString loop = s.sections.isEmpty() ? s.cable : tr("%1 + %2").arg(s.sections, s.cable);
    const QString head = tr("%1, %2, L=%3 м").arg(s.lineType, loop, QString::number(s.length));
    const QString rate = number(s.trace.rate);
    if (s.dmt) {
        if (s.trace.tones.isEmpty())
            return tr("%1: R=%2 кбит/с, тонов нет").arg(head, rate);
        return tr("%1: R=%2 кбит/с, нагружено тонов: %3 из %4")
            .arg(head, rate, QString::number(loadedTones(s.trace)), QString::number(s.trace.tones.size()));
    }
    if (s.trace.candidates.isEmpty())
        return tr("%1: R=%2 кбит/с, скоростей для перебора нет").arg(head, rate);
    const QString tried = QString::number(s.trace.candidates.size());
    const QString threshold = QString::number(s.trace.candidates.first().threshold, 'f', 2);
    if (!(s.trace.rate > 0))
        return tr("%1: R=0 кбит/с, ни одна из %2 скоростей не проходит порог T=%3 дБ").arg(head, tried, threshold);
    return tr("%1: R=%2 кбит/с, испробовано скоростей: %3, порог T=%4 дБ").arg(head, rate, tried, threshold);
}

QString spectrumConditions(const LineSpectrum &s)
{
    const auto value = [](float v) { return QString::number(double(v), 'g', 6); };
    const QString norm = s.dmt ? tr("ELFEXT=%1 дБ").arg(value(s.elfextNorm)) : tr("NEXT=%1 дБ").arg(value(s.nextNorm));
    const QString noise = s.noise.isEmpty() ? tr("нет") : s.noise;
    return tr("m=%1, %2, SNR Margin=%3 дБ, помехи: %4").arg(QString::number(s.m), norm, value(s.margin), noise);
}

SpectrumChart settleSpectrumChart(const LineSpectrum &spectrum, const QRect &area, const QFontMetrics &metrics)
{
    SpectrumChart chart;
    chart.area = area;
    chart.dmt = spectrum.dmt;
    const Ranges r = rangesOf(spectrum);
    const int h = metrics.height();

    const int leftLabels = spectrum.dmt ? labelWidth(metrics, 0, r.bitsHi) : labelWidth(metrics, r.dbLo, r.dbHi);
    const int rightLabels = spectrum.dmt ? labelWidth(metrics, r.dbLo, r.dbHi)
                                         : metrics.horizontalAdvance(xAxisName(false)) / 2;
    const int top = area.top() + Gap / 2 + 2 * h + Gap + h + 4;
    const int bottom = area.bottom() - Gap / 2 - h - Gap - h - ChartTickLength - 2;
    const int left = area.left() + Gap + leftLabels + ChartTickLength + 3;
    const int right = area.right() - Gap - rightLabels - ChartTickLength - 3;
    chart.plot = QRect(QPoint(left, top), QPoint(std::max(right, left + 10), std::max(bottom, top + 10)));

    // As many labels as fit with room between them.
    const int xLabel = widest(metrics, {number(r.xLo), number(r.xHi)}) + 3 * Gap;
    const int xTicks = std::clamp(chart.plot.width() / std::max(1, xLabel), 1, 12);
    const int yTicks = std::clamp(chart.plot.height() / (2 * h), 1, 10);
    chart.x = niceAxis(r.xLo, r.xHi, xTicks);
    chart.db = niceAxis(r.dbLo, r.dbHi, yTicks);
    chart.bits = niceAxis(0, r.bitsHi, std::min(yTicks, int(std::ceil(r.bitsHi))));
    chart.bits.step = std::max(1.0, chart.bits.step); // whole bits only
    chart.bits.min = 0;
    chart.bits.max = std::ceil(r.bitsHi / chart.bits.step) * chart.bits.step;
    return chart;
}

void drawSpectrumChart(QPainter &painter, const SpectrumChart &chart, const LineSpectrum &spectrum)
{
    painter.save();
    SpectrumDrawing(painter, chart, spectrum).draw();
    painter.restore();
}

void drawSpectrumChart(QPainter &painter, const QRect &area, const LineSpectrum &spectrum)
{
    drawSpectrumChart(painter, settleSpectrumChart(spectrum, area, painter.fontMetrics()), spectrum);
}

bool exportSpectrumImage(const LineSpectrum &spectrum, const QSize &size, const QString &path, const char *format,
                         QString *error)
{
    return writePicture(size, path, format,
                        [&spectrum](QPainter &painter, const QRect &area) { drawSpectrumChart(painter, area, spectrum); },
                        error);
}

bool exportSpectrumPdf(const LineSpectrum &spectrum, const QString &title, const QString &path, QString *error)
{
    // Screen resolution: pen widths in px and fonts in pt keep their proportions.
    return writePdfPage(path, title, 96,
                        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                                    QPageLayout::Millimeter),
                        [&spectrum](QPainter &painter, const QRect &page) { drawSpectrumChart(painter, page, spectrum); },
                        error);
}
