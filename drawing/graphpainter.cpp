#include "drawing/graphpainter.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QPolygon>

#include "engine/calcinput.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Graph", text);
}

// Below this maximum the automatic label step (a quarter) or grid step comes out as 0;
// an all-zero result would then divide by zero.
constexpr int smallestAutoMaximum = 20;

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

// Widens a user's grid step until one label fits between two grid lines, keeps the label step
// between the grid step and the maximum, and moves it to a multiple of the grid step.
void settleUserAxis(int &maximum, int &gridStep, int &labelStep, int textExtent, int plotExtent)
{
    maximum = std::max(maximum, 1);
    gridStep = std::max(gridStep, 1);
    labelStep = std::max(labelStep, 1);
    if (gridStep > maximum)
        gridStep = maximum;
    if (plotExtent > 0 && textExtent > double(plotExtent) * gridStep / maximum)
        gridStep = std::max(1, int(double(textExtent) / plotExtent * maximum));
    if (labelStep < gridStep)
        labelStep = gridStep;
    if (labelStep > maximum)
        labelStep = maximum;
    const int r = labelStep % gridStep;
    if (r != 0) {
        if (r > gridStep / 2)
            labelStep += gridStep - r;
        else
            labelStep -= r;
    }
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

// One drawing: the picture and the plot frame it is laid out in.
class GraphDrawing
{
public:
    GraphDrawing(QPainter &painter, const QRect &area, const GraphPicture &picture)
        : painter(painter), p(picture), s(drawable(picture.settings)), plot(graphPlotRect(area))
    {
    }

    void draw()
    {
        painter.setFont(p.axisFont);
        QPen gridPen(p.gridColor);
        gridPen.setWidth(0);
        lengthAxis(gridPen);
        rateAxis(gridPen);

        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(plot);

        targetLines();
        curves();
        reachTicks();
        curveMarks();
        conditionsBlock();
    }

private:
    void lengthAxis(const QPen &gridPen);
    void rateAxis(const QPen &gridPen);
    void targetLines();
    void curves();
    void reachTicks();
    void curveMarks();
    void conditionsBlock();
    QPointF point(const ResultRow &row, int curve) const { return graphPoint(plot, s, row.length, row.rates.at(curve)); }

    // Settled values are never below 1; a picture put together by hand must not divide by zero.
    static GraphSettings drawable(GraphSettings s)
    {
        for (int *v : {&s.lengthMax, &s.lengthGridStep, &s.lengthLabelStep, &s.rateMax, &s.rateGridStep,
                       &s.rateLabelStep, &s.markStep})
            *v = std::max(*v, 1);
        return s;
    }

    QPainter &painter;
    const GraphPicture &p;
    const GraphSettings s;
    const QRect plot;
};

void GraphDrawing::lengthAxis(const QPen &gridPen)
{
    const int left = plot.left(), top = plot.top(), bottom = plot.bottom();
    const int width = plot.width();
    int n = s.lengthMax / s.lengthGridStep;
    if (n == 1)
        n = 2; // the maximum's own line at the right edge
    const int labelEvery = std::max(1, s.lengthLabelStep / s.lengthGridStep);
    int labelValue = 0;
    for (int k = 0; k < n; ++k) {
        const int x = int(double(s.lengthGridStep) * k / s.lengthMax * width + left);
        painter.setPen(gridPen);
        painter.drawLine(x, top, x, bottom);
        painter.setPen(Qt::black);
        painter.drawLine(x, bottom, x, bottom + 5);
        if (k == 0 || k % labelEvery == 0) {
            painter.drawText(QRect(x - 50, bottom + 5, 100, 20), Qt::AlignHCenter | Qt::AlignTop,
                             QString::number(labelValue));
            labelValue += s.lengthLabelStep;
        }
    }
    painter.setPen(Qt::black);
    painter.drawText(QRect(plot.right() - 49, bottom + 5, 100, 20), Qt::AlignHCenter | Qt::AlignTop, tr("L,м"));
}

void GraphDrawing::rateAxis(const QPen &gridPen)
{
    const int left = plot.left(), right = plot.right(), bottom = plot.bottom();
    const int height = plot.height();
    int n = s.rateMax / s.rateGridStep;
    if (n == 1)
        n = 2;
    const int labelEvery = std::max(1, s.rateLabelStep / s.rateGridStep);
    int labelValue = 0;
    for (int k = 0; k < n; ++k) {
        const int y = int(bottom - double(s.rateGridStep) * k / s.rateMax * height);
        painter.setPen(gridPen);
        painter.drawLine(left, y, right, y);
        painter.setPen(Qt::black);
        painter.drawLine(left - 5, y, left, y);
        if (k == 0 || k % labelEvery == 0) {
            drawFittedText(painter, QRect(left - 50, y - 10, 40, 20), Qt::AlignRight | Qt::AlignVCenter,
                           QString::number(labelValue));
            labelValue += s.rateLabelStep;
        }
    }
    painter.setPen(Qt::black);
    painter.drawText(QRect(left - 75, plot.top() - 8, 100, 20), Qt::AlignHCenter | Qt::AlignTop, tr("R,кбит/с"));
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
    painter.setFont(p.axisFont);
    const QFontMetrics metrics = painter.fontMetrics();
    for (int target : p.run.calc.targetRates) {
        const std::optional<int> y = targetLineY(plot, s, target);
        if (!y)
            continue;
        painter.setPen(QPen(graphTargetLineColor(), 1, Qt::DashLine));
        painter.drawLine(plot.left() + 1, *y, plot.right() - 1, *y);
        // The value above the line's left end, inside the plot.
        painter.setPen(graphTargetLineColor());
        painter.drawText(QRect(plot.left() + 4, *y - metrics.height(), plot.width() / 2, metrics.height()),
                         Qt::AlignLeft | Qt::AlignBottom, QString::number(target));
    }
}

void GraphDrawing::reachTicks()
{
    const ReachTable &reach = p.run.reach;
    if (!s.targetLines || reach.targets.isEmpty())
        return;
    painter.setFont(p.axisFont);
    const QFontMetrics metrics = painter.fontMetrics();
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
            painter.setPen(colour);
            painter.drawText(QRect(at + 3, *y + 2, metrics.horizontalAdvance(QStringLiteral("000000")) + 4,
                                   metrics.height()),
                             Qt::AlignLeft | Qt::AlignTop, QString::number(row.at(j).length));
        }
    }
}

void GraphDrawing::curves()
{
    if (p.run.rows.isEmpty())
        return;
    const int count = p.run.rows.first().rates.size();
    for (int i = 0; i < count; ++i) {
        painter.setPen(QPen(graphCurveColor(i, s.colorCurves), s.lineWidth, Qt::SolidLine, Qt::RoundCap,
                            Qt::RoundJoin));
        QPolygon points;
        points.reserve(p.run.rows.size());
        for (const ResultRow &row : p.run.rows) {
            if (i >= row.rates.size())
                continue; // a short row has no point for this curve
            const QPointF at = point(row, i);
            points << QPoint(toPixel(float(at.x())), toPixel(float(at.y())));
        }
        painter.drawPolyline(points);
    }
}

void GraphDrawing::curveMarks()
{
    painter.setFont(p.markFont);
    if (!s.markVisible || p.run.rows.isEmpty())
        return;

    const int lengthStep = p.run.calc.cableLengthStep;
    const QFontMetrics metrics = painter.fontMetrics();
    const int count = p.run.rows.first().rates.size();
    int lastMarked = 0;
    int letterIndex = 0;
    for (int i = 0; i < count; ++i) {
        painter.setPen(QPen(graphCurveColor(i, s.colorCurves), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        for (int r = lastMarked + 1; r < p.run.rows.size(); ++r) {
            const ResultRow &row = p.run.rows.at(r);
            if (i >= row.rates.size())
                continue;
            const bool onStep = s.markStep == lengthStep || qint64(r) * lengthStep % s.markStep == 0;
            if (!onStep)
                continue;
            lastMarked = r;
            const QPointF at = point(row, i);
            const float x = float(at.x()), y = float(at.y());
            const QString text = letter(letterIndex++);
            const int textWidth = metrics.horizontalAdvance(text);
            const int h = metrics.height();
            painter.setBrush(Qt::white);
            painter.drawRect(toPixel(x - textWidth / 2 - 2), toPixel(y - h / 2 + 2), textWidth + 4, h - 2);
            painter.drawText(QRect(toPixel(x - metrics.maxWidth() / 2), toPixel(y - h / 2), metrics.maxWidth(), h),
                             Qt::AlignHCenter, text);
            break;
        }
    }
}

void GraphDrawing::conditionsBlock()
{
    const CalcSettings &c = p.run.calc;
    bool anyDmt = false, anyPam = false;
    for (const QString &type : c.lineTypes) {
        anyDmt = anyDmt || type.contains(QLatin1String(".DMT"));
        anyPam = anyPam || type.contains(QLatin1String(".PAM"));
    }

    const QColor black(Qt::black);
    QVector<BlockLine> lines;
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
    QFont font = p.legendFont;
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
    blockWidth = std::min(blockWidth, std::max(roomWidth, 1));

    painter.setFont(font);
    painter.setBrush(Qt::white);
    painter.setPen(QPen(Qt::black, 1));
    const QFontMetrics metrics = painter.fontMetrics();
    const QPoint frameTopLeft(right - blockWidth - 29, top + 20);
    const QPoint frameBottomRight(right - 12, top + 19 + (int(lines.size()) + 1) * h);
    painter.drawRect(QRect(frameTopLeft, frameBottomRight - QPoint(1, 1)));
    for (int n = 0; n < lines.size(); ++n) {
        painter.setPen(QPen(lines.at(n).color, 1));
        // Only a block that no font size fits loses the middle of its longest lines.
        const QString text = metrics.horizontalAdvance(lines.at(n).text.trimmed()) > blockWidth
            ? metrics.elidedText(lines.at(n).text.trimmed(), Qt::ElideMiddle, blockWidth)
            : lines.at(n).text;
        painter.drawText(QRect(right - blockWidth - 19, top + 27 + n * h, blockWidth + 6, 2 * h),
                         Qt::AlignLeft | Qt::AlignTop, text);
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
    static const QVector<QColor> colours = {
        QColor(0, 0, 0),       QColor(173, 0, 0),     QColor(255, 120, 0),   QColor(235, 210, 0),
        QColor(96, 144, 21),   QColor(87, 203, 188),  QColor(0, 117, 161),   QColor(0, 57, 161),
        QColor(88, 4, 203),    QColor(196, 4, 203),   QColor(255, 168, 228), QColor(172, 165, 255),
        QColor(103, 129, 228), QColor(132, 228, 103),
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
    return {calc.cableLengthTo, calc.cableLengthStep, calc.maxRate};
}

QRect graphPlotRect(const QRect &area)
{
    return QRect(area.topLeft() + QPoint(50, 10), area.topLeft() + QPoint(area.width() - 21, area.height() - 21));
}

GraphSettings settleGraphAxes(const GraphSettings &requested, ScaleMode mode, const GraphExtent &extent,
                              const QSize &plotSize, const QFontMetrics &axisMetrics)
{
    GraphSettings s = requested;
    if (mode == AutoScale) {
        s.lengthMax = autoMaximum(extent.lengthTo);
        s.lengthLabelStep = std::max(1, s.lengthMax / 4);
        s.lengthGridStep = std::max(1, s.lengthLabelStep / gridDivisions(s.lengthLabelStep));
        s.rateMax = autoMaximum(extent.maxRate);
        s.rateLabelStep = std::max(1, s.rateMax / 4);
        s.rateGridStep = std::max(1, s.rateLabelStep / gridDivisions(s.rateLabelStep));
    } else {
        settleUserAxis(s.lengthMax, s.lengthGridStep, s.lengthLabelStep,
                       axisMetrics.horizontalAdvance(QString::number(std::max(s.lengthMax, 1))), plotSize.width());
        settleUserAxis(s.rateMax, s.rateGridStep, s.rateLabelStep, axisMetrics.height(), plotSize.height());
    }

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

void drawGraph(QPainter &painter, const QRect &area, const GraphPicture &picture)
{
    painter.save();
    GraphDrawing(painter, area, picture).draw();
    painter.restore();
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
        if (curve >= row.rates.size())
            continue;
        if (double(row.length) == length)
            return double(row.rates.at(curve));
        if (r + 1 >= rows.size())
            break;
        const ResultRow &next = rows.at(r + 1);
        if (curve >= next.rates.size())
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
    const int curves = run.rows.isEmpty() ? 0 : int(run.rows.first().rates.size());
    for (int i = 0; i < curves; ++i)
        readout.rates.append(graphRateAt(run.rows, i, length));
    return readout;
}

namespace {

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
    return tr("L=%1 м: %2 кбит/с").arg(QString::number(readout.length), values.join(QStringLiteral(", ")));
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

    QStringList texts{tr("L=%1 м").arg(readout.length)};
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
