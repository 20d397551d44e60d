#include "drawing/graphpainter.h"

#include "engine/translate.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QPolygon>

#include "drawing/chartaxis.h"
#include "engine/calcinput.h"
#include "engine/loss.h"
#include "engine/templatekind.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

KOLVANE_TR_CONTEXT("Graph")

// Below this maximum the automatic steps would be fractions of a unit; an all-zero result
// still gets a usable axis.
constexpr int smallestAutoMaximum = 20;
// The automatic scale labels an axis at most this many times after 0.
constexpr int mostAutoLabels = 7;
// Grid lines closer than this (px) merge into a grey area.
constexpr int smallestGridSpacing = 5;
// More marks than this on one axis are never legible; it bounds the drawing's loops.
constexpr int mostAxisMarks = 10000;

int autoMaximum(int value)
{
    return std::max(niceCeiling(value), smallestAutoMaximum);
}

// A float far outside the picture (or not a number at all) must not reach an int conversion.
int toPixel(float value)
{
    if (std::isnan(value))
        return 0;
    constexpr float limit = 1.0e6f;
    return int(std::clamp(value, -limit, limit));
}

// The smallest value of the series 1, 2, 5, 10, 20, 50, ... that is at least `value`.
qint64 roundStepUp(qint64 value)
{
    return std::llround(niceStep(double(value), 1));
}

// Pixels between two marks `step` apart on an axis from 0 to `maximum` drawn over `extent`.
double spacing(qint64 step, int maximum, int extent)
{
    return double(extent) * double(step) / double(maximum);
}

// A step stays as it is when its marks stand at least `needed` pixels apart; otherwise it is
// widened to the first 1-2-5 value above it that does, or that reaches the maximum.
int legibleStep(int step, int maximum, int extent, int needed)
{
    qint64 s = std::max(step, 1);
    while (spacing(s, maximum, extent) < needed && s < maximum)
        s = std::max(s + 1, roundStepUp(s + 1));
    return int(std::min<qint64>(s, std::numeric_limits<int>::max()));
}

// How far apart (px) the marks of one axis must stand to be told apart.
struct AxisNeeds {
    int label;
    int grid;
};

// A label of the horizontal axis: metres, or tenths of a dB read in dB.
QString axisLabel(qint64 value, bool loss)
{
    return loss ? lossText(int(value)) : QString::number(value);
}

QString axisName(bool loss)
{
    return loss ? tr("A,дБ") : tr("L,м");
}

// Length labels stand side by side: the widest one (that of the maximum, or of a loss with its
// tenth) and a digit's gap.
AxisNeeds lengthNeeds(const QFontMetrics &metrics, int maximum, bool loss)
{
    const QString widest = loss ? lossText(maximum / 10 * 10 + 5) : QString::number(maximum);
    return {metrics.horizontalAdvance(widest) + metrics.horizontalAdvance(QLatin1Char('0')), smallestGridSpacing};
}

// Rate labels stand one above the other: a line and a quarter of one.
AxisNeeds rateNeeds(const QFontMetrics &metrics)
{
    return {metrics.height() + metrics.height() / 4, smallestGridSpacing};
}

// Automatic steps: round labels from the 1-2-5 series, so that every label reads the value at
// its position, and the grid dividing them evenly.
void autoSteps(int maximum, int &gridStep, int &labelStep, int extent, const AxisNeeds &needs)
{
    const qint64 least = (qint64(maximum) + mostAutoLabels - 1) / mostAutoLabels;
    labelStep = legibleStep(int(roundStepUp(least)), maximum, extent, needs.label);
    // The finest legible grid that divides the label step, so every label has its grid line.
    for (int divisions = gridDivisions(labelStep); divisions >= 1; --divisions) {
        gridStep = std::max(1, labelStep / divisions);
        if (labelStep % gridStep == 0 && spacing(gridStep, maximum, extent) >= needs.grid)
            return;
    }
    gridStep = labelStep;
}

// The user's steps: kept as asked wherever they are legible, each widened on its own where not.
void userSteps(int maximum, int &gridStep, int &labelStep, int extent, const AxisNeeds &needs)
{
    gridStep = legibleStep(gridStep, maximum, extent, needs.grid);
    labelStep = legibleStep(labelStep, maximum, extent, needs.label);
}

// Draws `text` in `box`; a text wider than the box is set in a smaller font instead of being
// clipped, since a rate label cut to its last digits ("35000" for 135000) would be misread.
void drawFittedText(QPainter &painter, const QRect &box, int flags, const QString &text)
{
    const int needed = painter.fontMetrics().horizontalAdvance(text);
    if (needed <= box.width()) {
        painter.drawText(box, flags, text);
        return;
    }
    painter.save();
    QFont font = painter.font();
    const double scale = double(box.width() - 2) / needed;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale);
    else
        font.setPixelSize(std::max(1, int(font.pixelSize() * scale)));
    painter.setFont(font);
    painter.drawText(box, flags, text);
    painter.restore();
}

// Scales a font by `scale` (< 1), in points or pixels as it is set; false when already tiny.
bool shrinkFont(QFont &font, double scale)
{
    if (font.pointSizeF() > 0) {
        if (font.pointSizeF() <= 4.0)
            return false;
        font.setPointSizeF(std::max(4.0, font.pointSizeF() * scale));
    } else {
        if (font.pixelSize() <= 5)
            return false;
        font.setPixelSize(std::max(5, int(font.pixelSize() * scale)));
    }
    return true;
}

QString letter(int index)
{
    return QString(QChar(char16_t(u'a' + index)));
}

struct BlockLine {
    QString text;
    QColor color;
};

// The conditions block laid out: its lines, the font they fit in and the frame around them.
struct ConditionsBlock {
    QVector<BlockLine> lines;
    QFont font;
    int textWidth = 0;
    int lineHeight = 0;
    QRect frame; // inclusive, as the outline is drawn
};

// Texts placed one after another, each where it covers nothing placed before it.
class LabelPlacer
{
public:
    void take(const QRect &r, const QString &text) { m_taken.append({r, text}); }
    // Apart from everything taken: a pixel above and below, a space's width beside.
    bool isClear(const QRect &r) const
    {
        const QRect apart = r.adjusted(-3, -1, 3, 1);
        return std::none_of(m_taken.begin(), m_taken.end(), [&](const GraphText &t) { return t.box.intersects(apart); });
    }
    bool isFree(const QRect &r, const QRect &bounds) const { return bounds.contains(r) && isClear(r); }
    // The first free candidate, taken; none when each would cover another text.
    std::optional<QRect> place(const QVector<QRect> &candidates, const QRect &bounds, const QString &text)
    {
        for (const QRect &r : candidates) {
            if (isFree(r, bounds)) {
                take(r, text);
                return r;
            }
        }
        return std::nullopt;
    }
    const QVector<GraphText> &texts() const { return m_taken; }

private:
    QVector<GraphText> m_taken;
};

// A reach tick drawn, whose value is still to be placed beside it.
struct ReachValue {
    QPoint at;
    QColor colour;
    QString text;
};

// One drawing: the picture and the plot frame it is laid out in. Every text inside the drawing
// area goes through one placer, so none covers another.
class GraphDrawing
{
public:
    GraphDrawing(QPainter &painter, const QRect &area, const GraphPicture &picture)
        : painter(painter), p(picture), s(drawable(picture.settings, graphPlotRect(area))), area(area),
          plot(graphPlotRect(area)), inside(plot.adjusted(1, 1, -1, -1)), loss(graphExtent(picture.run.calc).loss),
          scale(graphAxisScale(picture.run.calc))
    {
    }

    QVector<GraphText> draw()
    {
        painter.setFont(p.axisFont);
        QPen gridPen(p.gridColor);
        gridPen.setWidth(0);
        lengthAxis(gridPen);
        rateAxis(gridPen);

        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(plot);

        const ConditionsBlock block = conditionsBlock();
        QStringList blockLines;
        for (const BlockLine &line : block.lines)
            blockLines << line.text.trimmed();
        placer.take(block.frame, blockLines.join(QLatin1Char('\n')));
        targetLines();
        curves();
        reachTicks();
        drawConditions(block);
        targetValues();
        reachValues();
        curveMarks();
        return placer.texts();
    }

private:
    void lengthAxis(const QPen &gridPen);
    void rateAxis(const QPen &gridPen);
    void targetLines();
    void targetValues();
    void curves();
    void reachTicks();
    void reachValues();
    void curveMarks();
    ConditionsBlock conditionsBlock() const;
    void drawConditions(const ConditionsBlock &block);
    // A value on the plot: on a veil of white, so the curves under it do not garble it.
    void drawLabel(const QRect &box, const QColor &colour, const QString &text);
    QPointF point(const ResultRow &row, int curve) const
    {
        return graphPoint(plot, s, float(double(row.length) * scale), row.rates.at(curve));
    }
    // A point of the curve: a row that has it and, on a loss axis, a loop there.
    static bool has(const ResultRow &row, int curve) { return curve < row.rates.size() && row.hasLoop(curve); }
    int lengthX(qint64 length) const { return int(double(length) / s.lengthMax * plot.width() + plot.left()); }
    int rateY(qint64 rate) const { return int(plot.bottom() - double(rate) / s.rateMax * plot.height()); }

    // Settled values are never below 1; a picture put together by hand must not divide by zero
    // nor draw more marks than the plot has pixels.
    static GraphSettings drawable(GraphSettings s, const QRect &plot)
    {
        for (int *v : {&s.lengthMax, &s.rateMax, &s.markStep})
            *v = std::max(*v, 1);
        const auto atLeast = [](int &step, int maximum, int extent) {
            step = std::max({step, 1, maximum / std::clamp(extent, 1, mostAxisMarks)});
        };
        atLeast(s.lengthGridStep, s.lengthMax, plot.width());
        atLeast(s.lengthLabelStep, s.lengthMax, plot.width());
        atLeast(s.rateGridStep, s.rateMax, plot.height());
        atLeast(s.rateLabelStep, s.rateMax, plot.height());
        return s;
    }

    QPainter &painter;
    const GraphPicture &p;
    const GraphSettings s;
    const QRect area;
    const QRect plot;
    const QRect inside; // within the frame
    const bool loss;    // the horizontal axis is losses in tenths of a dB
    const double scale; // its units per unit of a row's length
    LabelPlacer placer;
    QVector<ReachValue> reaches;
};

void GraphDrawing::lengthAxis(const QPen &gridPen)
{
    const int top = plot.top(), bottom = plot.bottom();
    for (qint64 v = 0; v <= s.lengthMax; v += s.lengthGridStep) {
        const int x = lengthX(v);
        painter.setPen(gridPen);
        painter.drawLine(x, top, x, bottom);
        painter.setPen(Qt::black);
        painter.drawLine(x, bottom, x, bottom + 5);
    }
    // The axis name stands at the right end of the axis; a label that would run into it gives way.
    const QFontMetrics metrics = painter.fontMetrics();
    const int flags = Qt::AlignHCenter | Qt::AlignTop;
    const QRect nameBox(plot.right() - 49, bottom + 5, 100, 20);
    painter.setPen(Qt::black);
    painter.drawText(nameBox, flags, axisName(loss));
    placer.take(metrics.boundingRect(nameBox, flags, axisName(loss)), axisName(loss));
    for (qint64 v = 0; v <= s.lengthMax; v += s.lengthLabelStep) {
        const int x = lengthX(v);
        const QString text = axisLabel(v, loss);
        const QRect box(x - 50, bottom + 5, 100, 20);
        const QRect ink = metrics.boundingRect(box, flags, text);
        if (!placer.isClear(ink))
            continue;
        placer.take(ink, text);
        painter.drawLine(x, bottom, x, bottom + 5); // a label between grid lines has a tick of its own
        painter.drawText(box, flags, text);
    }
}

void GraphDrawing::rateAxis(const QPen &gridPen)
{
    const int left = plot.left(), right = plot.right();
    for (qint64 v = 0; v <= s.rateMax; v += s.rateGridStep) {
        const int y = rateY(v);
        painter.setPen(gridPen);
        painter.drawLine(left, y, right, y);
        painter.setPen(Qt::black);
        painter.drawLine(left - 5, y, left, y);
    }
    const QFontMetrics metrics = painter.fontMetrics();
    const QRect nameBox(left - 75, plot.top() - 8, 100, 20);
    painter.setPen(Qt::black);
    painter.drawText(nameBox, Qt::AlignHCenter | Qt::AlignTop, tr("R,кбит/с"));
    placer.take(metrics.boundingRect(nameBox, Qt::AlignHCenter | Qt::AlignTop, tr("R,кбит/с")), tr("R,кбит/с"));
    const int flags = Qt::AlignRight | Qt::AlignVCenter;
    for (qint64 v = 0; v <= s.rateMax; v += s.rateLabelStep) {
        const int y = rateY(v);
        const QString text = QString::number(v);
        const QRect box(left - 50, y - 10, 40, 20);
        const QRect ink = metrics.boundingRect(box, flags, text).intersected(box);
        if (!placer.isClear(ink))
            continue;
        placer.take(ink, text);
        painter.drawLine(left - 5, y, left, y);
        drawFittedText(painter, box, flags, text);
    }
}

// Where a target rate's line lies; nothing when it is above the rate axis.
std::optional<int> targetLineY(const QRect &plot, const GraphSettings &s, int target)
{
    const float y = float(graphPoint(plot, s, 0, float(target)).y());
    if (!(y >= float(plot.top())) || y > float(plot.bottom()))
        return std::nullopt;
    return toPixel(y);
}

void GraphDrawing::targetLines()
{
    if (!s.targetLines)
        return;
    for (int target : p.run.calc.targetRates) {
        if (const std::optional<int> y = targetLineY(plot, s, target)) {
            painter.setPen(QPen(graphTargetLineColor(), 1, Qt::DashLine));
            painter.drawLine(plot.left() + 1, *y, plot.right() - 1, *y);
        }
    }
}

void GraphDrawing::targetValues()
{
    if (!s.targetLines)
        return;
    painter.setFont(p.axisFont);
    const QFontMetrics metrics = painter.fontMetrics();
    for (int target : p.run.calc.targetRates) {
        const std::optional<int> y = targetLineY(plot, s, target);
        if (!y)
            continue;
        const QString text = QString::number(target);
        const int w = metrics.horizontalAdvance(text), h = metrics.height();
        // Above the line's left end; else below it; else further along the line.
        QVector<QRect> candidates;
        for (int x = plot.left() + 4; x + w < plot.right(); x += w + 8)
            candidates << QRect(x, *y - h, w, h) << QRect(x, *y + 1, w, h);
        if (const std::optional<QRect> box = placer.place(candidates, inside, text))
            drawLabel(*box, graphTargetLineColor(), text);
    }
}

void GraphDrawing::reachTicks()
{
    const ReachTable &reach = p.run.reach;
    if (!s.targetLines || reach.targets.isEmpty())
        return;
    for (int t = 0; t < reach.targets.size(); ++t) {
        if (!p.run.calc.targetRates.contains(reach.targets.at(t)))
            continue;
        const std::optional<int> y = targetLineY(plot, s, reach.targets.at(t));
        if (!y)
            continue;
        const QVector<Reach> &row = reach.reaches.at(t);
        for (int j = 0; j < row.size(); ++j) {
            // Only a curve that leaves the rate inside the grid crosses its line.
            if (row.at(j).kind != Reach::Length)
                continue;
            const float x = float(graphPoint(plot, s, float(row.at(j).length), 0).x());
            if (!(x >= float(plot.left())) || x > float(plot.right()))
                continue;
            const int at = toPixel(x);
            const QColor colour = graphCurveColor(j, s.colorCurves);
            painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::FlatCap));
            painter.drawLine(at, *y - graphReachTickHalf, at, *y + graphReachTickHalf);
            reaches.append({QPoint(at, *y), colour, axisLabel(row.at(j).length, loss)});
        }
    }
}

void GraphDrawing::reachValues()
{
    painter.setFont(p.axisFont);
    const QFontMetrics metrics = painter.fontMetrics();
    const int h = metrics.height();
    for (const ReachValue &reach : std::as_const(reaches)) {
        const int w = metrics.horizontalAdvance(reach.text);
        const int x = reach.at.x(), y = reach.at.y();
        // Right below the tick; else beside it on either side, stepping away from the line, so
        // that equal or near reaches stack instead of covering each other (and a reach under the
        // conditions block shows its value below it, in the same column).
        QVector<QRect> candidates;
        for (int n = 0; n * h < plot.height(); ++n) {
            for (int left : {x + 3, x - 3 - w})
                candidates << QRect(left, y + 2 + n * h, w, h) << QRect(left, y - 2 - h - n * h, w, h);
        }
        if (const std::optional<QRect> box = placer.place(candidates, inside, reach.text))
            drawLabel(*box, reach.colour, reach.text);
    }
}

void GraphDrawing::drawLabel(const QRect &box, const QColor &colour, const QString &text)
{
    painter.fillRect(box, QColor(255, 255, 255, 210));
    painter.setPen(colour);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
}

void GraphDrawing::curves()
{
    if (p.run.rows.isEmpty())
        return;
    const int count = p.run.rows.first().rates.size();
    for (int i = 0; i < count; ++i) {
        painter.setPen(QPen(graphCurveColor(i, s.colorCurves), s.lineWidth, Qt::SolidLine, Qt::RoundCap,
                            Qt::RoundJoin));
        // A loss without a loop breaks the curve; a short row has no point for it.
        QPolygon points;
        points.reserve(p.run.rows.size());
        for (const ResultRow &row : p.run.rows) {
            if (i < row.rates.size() && !row.hasLoop(i)) {
                painter.drawPolyline(points);
                points.clear();
                continue;
            }
            if (i >= row.rates.size())
                continue;
            const QPointF at = point(row, i);
            points << QPoint(toPixel(float(at.x())), toPixel(float(at.y())));
        }
        painter.drawPolyline(points);
    }
}

// Each curve's letter sits on the curve at the first row after the previous letter's that is on
// the mark step and where it covers no other text; failing that, at such a row before it; and
// where the mark step leaves no free place, at any computed length, rather than nowhere.
void GraphDrawing::curveMarks()
{
    painter.setFont(p.markFont);
    if (!s.markVisible || p.run.rows.size() < 2)
        return;

    const int lengthStep = graphExtent(p.run.calc).lengthStep;
    const QFontMetrics metrics = painter.fontMetrics();
    const int h = metrics.height();
    const int rows = int(p.run.rows.size());
    const int count = p.run.rows.first().rates.size();
    int lastMarked = 0;
    const auto mark = [&](int i, bool onStepOnly) {
        const QString text = letter(i);
        const int textWidth = metrics.horizontalAdvance(text);
        for (int n = 1; n < rows; ++n) {
            const int r = (lastMarked + n - 1) % (rows - 1) + 1;
            const ResultRow &row = p.run.rows.at(r);
            if (!has(row, i))
                continue;
            const bool onStep = s.markStep == lengthStep || qint64(r) * lengthStep % s.markStep == 0;
            if (onStepOnly && !onStep)
                continue;
            const QPointF at = point(row, i);
            const float x = float(at.x()), y = float(at.y());
            const QRect box(toPixel(x - textWidth / 2 - 2), toPixel(y - h / 2 + 2), textWidth + 4, h - 2);
            if (!placer.isFree(box, area))
                continue;
            placer.take(box, text);
            lastMarked = r;
            painter.setPen(QPen(graphCurveColor(i, s.colorCurves), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::white);
            painter.drawRect(box);
            painter.drawText(QRect(toPixel(x - metrics.maxWidth() / 2), toPixel(y - h / 2), metrics.maxWidth(), h),
                             Qt::AlignHCenter, text);
            return true;
        }
        return false;
    };
    for (int i = 0; i < count; ++i) {
        if (!mark(i, true))
            mark(i, false);
    }
}

ConditionsBlock GraphDrawing::conditionsBlock() const
{
    const CalcSettings &c = p.run.calc;
    bool anyDmt = false, anyPam = false;
    for (const QString &type : c.lineTypes) {
        const TemplateKind kind = lineTypeKind(type);
        anyDmt = anyDmt || kind == LineTypeDmt;
        anyPam = anyPam || kind == LineTypePam;
    }

    ConditionsBlock block;
    const QColor black(Qt::black);
    QVector<BlockLine> &lines = block.lines;
    lines.append({tr("Kolvane v1.6 26.02.2012"), black});
    // Entry k of a group has the colour and the letter of curve k when that group forms the family.
    auto group = [&](int count, auto textOf, const QString &single, const QString &multi) {
        for (int k = 0; k < count; ++k) {
            const QString text = count > 1 ? multi.arg(textOf(k), letter(k)) : single.arg(textOf(k));
            lines.append({text, graphCurveColor(k, s.colorCurves)});
        }
    };
    group(c.cableTypes.size(), [&](int k) { return c.cableTypes.at(k); },
          tr("Кабель=%1\n"), tr("Кабель=%1 ---%2---\n"));
    // The fixed sections lie in front of every curve's cable: one line each, in loop order.
    for (const CableSection &section : c.sections)
        lines.append({tr("Участок=%1 %2м").arg(section.cable, QString::number(section.length)), black});
    // Losses are of the whole loop at one frequency: the curves' x means nothing without it.
    if (loss)
        lines.append({tr("Затухание A на F=%1кГц").arg(c.lossFrequency), black});
    lines.append({tr("Емкость M=%1").arg(c.cableCapacity), black});
    group(c.xDSL_points.size(), [&](int k) { return QString::number(c.xDSL_points.at(k)); },
          tr("Загрузка m=%1"), tr("Загрузка m=%1 ---%2---"));
    const auto number = [](float v) { return QStringLiteral("%1").arg(double(v)); };
    if (anyDmt) {
        lines.append({tr("ELFEXT 1км F=%1кГц").arg(double(c.norm_ELFEXT_frequency)), black});
        group(c.Norm_ELFEXT_points.size(), [&](int k) { return number(c.Norm_ELFEXT_points.at(k)); },
              tr("ELFEXT=%1дБ"), tr("ELFEXT=%1дБ ---%2---"));
    }
    if (anyPam) {
        lines.append({tr("NEXT F=%1кГц").arg(double(c.norm_NEXT_frequency)), black});
        group(c.Norm_NEXT_points.size(), [&](int k) { return number(c.Norm_NEXT_points.at(k)); },
              tr("NEXT=%1дБ"), tr("NEXT=%1дБ ---%2---"));
    }
    group(c.lineTypes.size(), [&](int k) { const QString &t = c.lineTypes.at(k); return t.chopped(std::min<qsizetype>(4, t.size())); },
          tr("xDSL=%1\n"), tr("xDSL=%1 ---%2---\n"));
    group(c.SNRMargin_points.size(), [&](int k) { return number(c.SNRMargin_points.at(k)); },
          tr("SNR Margin=%1дБ"), tr("SNR Margin=%1дБ ---%2---"));
    // Vectoring and coding gain, only when the run sets them.
    for (const QString &option : CalcInput::modelOptionsSummary(c))
        lines.append({option, black});
    if (!c.targetRates.isEmpty()) {
        lines.append({tr("Целевые скорости=%1кбит/с").arg(CalcInput::targetRatesSummary(c.targetRates)), black});
    }
    lines.append({tr("Помехи=%1").arg(c.noiseTemplate), black});
    lines.append({p.stamp.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")), black});

    // The frame is as wide as its longest line, so no condition is cut off at the graph's edge,
    // and it stays inside the plot: a block too large for a small graph is set in a smaller font.
    const int right = plot.right(), top = plot.top();
    const int roomWidth = right - 29 - (plot.left() + 4);
    const int roomHeight = plot.bottom() - 4 - (top + 19);
    QFont &font = block.font;
    font = p.legendFont;
    int blockWidth = 0;
    int h = 0;
    for (int attempt = 0;; ++attempt) {
        const QFontMetrics metrics(font, painter.device());
        h = metrics.height();
        blockWidth = 0;
        for (const BlockLine &line : std::as_const(lines))
            blockWidth = std::max(blockWidth, metrics.horizontalAdvance(line.text.trimmed()));
        const int blockHeight = (int(lines.size()) + 1) * h;
        const double scale = std::min(double(roomWidth) / std::max(blockWidth, 1),
                                      double(roomHeight) / std::max(blockHeight, 1));
        if (scale >= 1.0 || attempt == 6 || !shrinkFont(font, std::min(scale, 0.97)))
            break;
    }
    block.textWidth = std::min(blockWidth, std::max(roomWidth, 1));
    block.lineHeight = h;
    block.frame = QRect(QPoint(right - block.textWidth - 29, top + 20),
                        QPoint(right - 12, top + 19 + (int(lines.size()) + 1) * h));
    return block;
}

void GraphDrawing::drawConditions(const ConditionsBlock &block)
{
    painter.setFont(block.font);
    painter.setBrush(Qt::white);
    painter.setPen(QPen(Qt::black, 1));
    const QFontMetrics metrics = painter.fontMetrics();
    painter.drawRect(block.frame.adjusted(0, 0, -1, -1));
    const int w = block.textWidth, h = block.lineHeight;
    for (int n = 0; n < block.lines.size(); ++n) {
        const BlockLine &line = block.lines.at(n);
        painter.setPen(QPen(line.color, 1));
        // Only a block that no font size fits loses the middle of its longest lines.
        const QString text = metrics.horizontalAdvance(line.text.trimmed()) > w
            ? metrics.elidedText(line.text.trimmed(), Qt::ElideMiddle, w)
            : line.text;
        painter.drawText(QRect(plot.right() - w - 19, plot.top() + 27 + n * h, w + 6, 2 * h), Qt::AlignLeft | Qt::AlignTop,
                         text);
    }
}

} // namespace

int niceCeiling(int value)
{
    if (value < 100)
        return value;
    qint64 v = value;
    qint64 scale = 1;
    bool exact = true;
    while (v > 99) {
        exact = exact && v % 10 == 0;
        v /= 10;
        scale *= 10;
    }
    if (!exact)
        ++v;
    return int(std::min<qint64>(v * scale, std::numeric_limits<int>::max()));
}

int gridDivisions(int value)
{
    int d = std::abs(value);
    while (d > 9)
        d /= 10;
    switch (d) {
    case 1:
        return 10;
    case 2:
    case 4:
        return 8;
    case 3:
        return 6;
    case 0:
        return 1;
    default:
        return d;
    }
}

const QVector<QColor> &graphCurvePalette(bool colorCurves)
{
    // Each at least 3:1 against white, so a thin curve and its values read on screen and paper;
    // the light hues are darkened, not replaced, to keep their order.
    static const QVector<QColor> colours = {
        QColor(0, 0, 0),       QColor(173, 0, 0),     QColor(235, 110, 0),   QColor(164, 147, 0),
        QColor(96, 144, 21),   QColor(69, 160, 149),  QColor(0, 117, 161),   QColor(0, 57, 161),
        QColor(88, 4, 203),    QColor(196, 4, 203),   QColor(190, 125, 170), QColor(143, 137, 212),
        QColor(103, 129, 228), QColor(94, 162, 73),
    };
    static const QVector<QColor> black(graphPaletteSize, QColor(0, 0, 0));
    return colorCurves ? colours : black;
}

QColor graphCurveColor(int index, bool colorCurves)
{
    const QVector<QColor> &colours = graphCurvePalette(colorCurves);
    return colours.at(std::abs(index) % colours.size());
}

QColor graphTargetLineColor()
{
    return QColor(64, 64, 64);
}

QColor graphGridColor(const QPalette &palette)
{
    return palette.brush(QPalette::Current, QPalette::Dark).color().lighter(150);
}

GraphExtent graphExtent(const CalcSettings &calc)
{
    if (calc.axis == SweepAxis::Loss)
        return {calc.lossTo, calc.lossStep, calc.maxRate, true};
    return {calc.cableLengthTo, calc.cableLengthStep, calc.maxRate, false};
}

double graphAxisScale(const CalcSettings &calc)
{
    return calc.axis == SweepAxis::Loss ? 10.0 : 1.0;
}

GraphRun graphRunOf(const CalcRun &run)
{
    GraphRun graph{run.settings, run.sweep.rows, {}};
    if (run.targets)
        graph.reach = run.targets->reach;
    if (run.lossTargets) {
        // The horizontal axis counts tenths of a dB, as the loss reach does.
        const LossReachTable &loss = run.lossTargets->reach;
        ReachTable &reach = graph.reach;
        reach.targets = loss.targets;
        reach.curves = loss.curves;
        reach.from = loss.grid.from;
        reach.to = loss.grid.to;
        reach.step = loss.grid.step;
        for (const QVector<LossReach> &row : loss.reaches) {
            QVector<Reach> cells;
            for (const LossReach &cell : row)
                cells << Reach{cell.kind, cell.tenths};
            reach.reaches << cells;
        }
    }
    return graph;
}

QRect graphPlotRect(const QRect &area)
{
    return QRect(area.topLeft() + QPoint(50, 10), area.topLeft() + QPoint(area.width() - 21, area.height() - 21));
}

GraphSettings settleGraphAxes(const GraphSettings &requested, ScaleMode mode, const GraphExtent &extent,
                              const QSize &plotSize, const QFontMetrics &axisMetrics)
{
    GraphSettings s = requested;
    // The user's horizontal axis is one of lengths: losses always follow the run.
    const bool autoLengths = mode == AutoScale || extent.loss;
    if (autoLengths)
        s.lengthMax = autoMaximum(extent.lengthTo);
    if (mode == AutoScale)
        s.rateMax = autoMaximum(extent.maxRate);
    s.lengthMax = std::max(s.lengthMax, 1);
    s.rateMax = std::max(s.rateMax, 1);
    // The same legibility for both: the automatic scale is what the user's scale keeps unchanged.
    (autoLengths ? autoSteps : userSteps)(s.lengthMax, s.lengthGridStep, s.lengthLabelStep, plotSize.width(),
                                          lengthNeeds(axisMetrics, s.lengthMax, extent.loss));
    (mode == AutoScale ? autoSteps : userSteps)(s.rateMax, s.rateGridStep, s.rateLabelStep, plotSize.height(),
                                                rateNeeds(axisMetrics));

    // The user's mark step is in metres; on a loss axis the marks follow the labels.
    if (extent.loss)
        s.markStep = s.lengthLabelStep;
    s.markStep = std::max(s.markStep, 1);
    if (extent.lengthStep > 0) {
        // Marks can only sit on calculated lengths.
        if (s.markStep < extent.lengthStep)
            s.markStep = extent.lengthStep;
        else
            s.markStep -= s.markStep % extent.lengthStep;
    }
    return s;
}

GraphPicture settleGraph(const GraphSource &source, const QRect &area, QPainter &painter, const QDateTime &stamp)
{
    GraphPicture picture;
    picture.settings = settleGraphAxes(source.settings, source.scaleMode, graphExtent(source.run.calc),
                                       graphPlotRect(area).size(), painter.fontMetrics());
    picture.run = source.run;
    picture.gridColor = source.gridColor;
    picture.stamp = stamp;
    picture.axisFont = painter.font();
    picture.markFont = QFont(QStringLiteral("Times"), picture.settings.markFontSize, QFont::Bold);
    picture.legendFont = QFont(QStringLiteral("Times"), picture.settings.legendFontSize);
    return picture;
}

QVector<GraphText> drawGraph(QPainter &painter, const QRect &area, const GraphPicture &picture)
{
    painter.save();
    const QVector<GraphText> texts = GraphDrawing(painter, area, picture).draw();
    painter.restore();
    return texts;
}

QPointF graphPoint(const QRect &plot, const GraphSettings &settled, float length, float rate)
{
    const float width = float(plot.width());
    const float height = float(plot.height());
    const float x = float(plot.left()) + width * length / float(settled.lengthMax);
    const float y = float(plot.bottom()) - height * rate / float(settled.rateMax);
    return QPointF(x, y);
}

double graphLengthAt(const QRect &plot, const GraphSettings &settled, double x)
{
    if (plot.width() <= 0)
        return 0.0;
    return (x - plot.left()) / plot.width() * std::max(settled.lengthMax, 1);
}

std::optional<double> graphRateAt(const ResultSet &rows, int curve, double length)
{
    if (curve < 0)
        return std::nullopt;
    for (int r = 0; r < rows.size(); ++r) {
        const ResultRow &row = rows.at(r);
        if (curve >= row.rates.size() || !row.hasLoop(curve))
            continue;
        if (double(row.length) == length)
            return double(row.rates.at(curve));
        if (r + 1 >= rows.size())
            break;
        const ResultRow &next = rows.at(r + 1);
        if (curve >= next.rates.size() || !next.hasLoop(curve))
            continue;
        const double from = row.length, to = next.length;
        if (from < length && length < to) {
            const double t = (length - from) / (to - from);
            return double(row.rates.at(curve)) + t * (double(next.rates.at(curve)) - double(row.rates.at(curve)));
        }
    }
    return std::nullopt;
}

int nearestGraphRow(const ResultSet &rows, double length)
{
    int nearest = -1;
    double best = std::numeric_limits<double>::infinity();
    for (int r = 0; r < rows.size(); ++r) {
        const double distance = std::abs(double(rows.at(r).length) - length);
        if (distance < best) {
            best = distance;
            nearest = r;
        }
    }
    return nearest;
}

GraphReadout graphReadout(const GraphRun &run, int length)
{
    GraphReadout readout;
    readout.length = length;
    readout.loss = graphExtent(run.calc).loss;
    // In the rows' own precision, so that a computed point reads its own rate.
    const double at = double(float(length / graphAxisScale(run.calc)));
    const int curves = run.rows.isEmpty() ? 0 : int(run.rows.first().rates.size());
    for (int i = 0; i < curves; ++i)
        readout.rates.append(graphRateAt(run.rows, i, at));
    return readout;
}

namespace {

// "L=1250 м", "A=31.5 дБ".
QString readoutPlace(const GraphReadout &readout)
{
    return readout.loss ? tr("A=%1 дБ").arg(lossText(readout.length)) : tr("L=%1 м").arg(readout.length);
}

QString rateText(const std::optional<double> &rate)
{
    // Whole kbit/s: read off a line between computed points, a tenth of a kbit/s means nothing.
    return rate ? QString::number(qRound64(*rate)) : QStringLiteral("—");
}

} // namespace

QString graphReadoutText(const GraphReadout &readout)
{
    QStringList values;
    for (int i = 0; i < readout.rates.size(); ++i)
        values << QStringLiteral("%1 %2").arg(letter(i), rateText(readout.rates.at(i)));
    return tr("%1: %2 кбит/с").arg(readoutPlace(readout), values.join(QStringLiteral(", ")));
}

QColor graphCursorColor()
{
    return QColor(64, 64, 64);
}

void drawGraphCursor(QPainter &painter, const QRect &area, const GraphPicture &picture, int x)
{
    const QRect plot = graphPlotRect(area);
    if (x < plot.left() || x > plot.right())
        return;
    GraphSettings s = picture.settings;
    s.lengthMax = std::max(s.lengthMax, 1);
    s.rateMax = std::max(s.rateMax, 1);
    const GraphReadout readout = graphReadout(picture.run, qRound(graphLengthAt(plot, s, x)));

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(graphCursorColor(), 0));
    painter.drawLine(x, plot.top(), x, plot.bottom());

    for (int i = 0; i < readout.rates.size(); ++i) {
        if (!readout.rates.at(i))
            continue;
        const QColor colour = graphCurveColor(i, s.colorCurves);
        const QPointF at = graphPoint(plot, s, float(readout.length), float(*readout.rates.at(i)));
        painter.setPen(QPen(colour, 1));
        painter.setBrush(colour);
        painter.drawEllipse(at, 3, 3);
    }

    QStringList texts{readoutPlace(readout)};
    for (int i = 0; i < readout.rates.size(); ++i)
        texts << tr("%1: %2 кбит/с").arg(letter(i), rateText(readout.rates.at(i)));
    const QFontMetrics metrics = painter.fontMetrics();
    int textWidth = 0;
    for (const QString &text : std::as_const(texts))
        textWidth = std::max(textWidth, metrics.horizontalAdvance(text));
    const int h = metrics.height();
    QRect box(0, plot.top() + 8, textWidth + 12, int(texts.size()) * h + 8);
    // Beside the line, on the side where the box fits.
    box.moveLeft(x + 10 + box.width() <= plot.right() ? x + 10 : x - 10 - box.width());
    painter.setPen(QPen(graphCursorColor(), 0));
    painter.setBrush(QColor(255, 255, 255, 235));
    painter.drawRect(box);
    for (int n = 0; n < texts.size(); ++n) {
        painter.setPen(n == 0 ? QColor(Qt::black) : graphCurveColor(n - 1, s.colorCurves));
        painter.drawText(QRect(box.left() + 6, box.top() + 4 + n * h, textWidth + 2, h), Qt::AlignLeft | Qt::AlignVCenter,
                         texts.at(n));
    }
    painter.restore();
}
