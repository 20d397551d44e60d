#pragma once

#include "engine/calcsettings.h"
#include "engine/resultset.h"
#include "report/graphsettings.h"

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QVector>
#include <QWidget>

class QPainter;

// How drawGraph settles the axes: from the run (maximum length and rate) or from the
// user's options, widened where labels would overlap.
enum ScaleMode { AutoScale = 1, UserScale = 2 };

// Rounds up to two significant digits; values below 100 stay as they are.
int niceCeiling(int value);
// Grid intervals per label interval, chosen from the leading digit so grid steps stay round.
int gridDivisions(int value);

// The family of rate curves R(L) of the last run, with axes, grid, letter marks and the
// block of conditions. One drawing routine serves the screen, image exports and the PDF.
class GraphWidget : public QWidget
{
    Q_OBJECT
public:
    using ScaleMode = ::ScaleMode;
    static constexpr ScaleMode AutoScale = ::AutoScale;
    static constexpr ScaleMode UserScale = ::UserScale;

    static constexpr int paletteSize = 14;

    explicit GraphWidget(QWidget *parent = nullptr);

    // Not owned; read at every drawing and the settled axis values written back.
    void setGraphSettings(GraphSettings *settings);
    // Not owned; both must stay valid until the next call. Redraws at once.
    void setResult(const ResultSet *result, CalcSettings *calcSettings, ScaleMode mode);

    // Paints the whole graph at the widget's size through `painter` only. Does nothing
    // before the first result.
    void drawGraph(QPainter &painter);

    // The fourteen curve colours, or fourteen times black for black-and-white output.
    static const QVector<QColor> &curvePalette(bool colorCurves = true);
    // Colour of curve (or group entry) `index`; from the fifteenth on the palette repeats.
    static QColor curveColor(int index, bool colorCurves = true);

    bool hasResult() const { return hasData; }
    ScaleMode currentScaleMode() const { return scaleMode; }
    QRect plotArea() const { return plotRect; }
    // The off-screen picture shown on screen, in device pixels.
    const QPixmap &graphPixmap() const { return pixmap; }

    void redraw();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void settleAxes(QPainter &painter);
    void drawLengthAxis(QPainter &painter, const QPen &gridPen);
    void drawRateAxis(QPainter &painter, const QPen &gridPen);
    void drawCurves(QPainter &painter);
    void curveMark(QPainter &painter);
    void conditionsBlock(QPainter &painter);
    QPointF curvePoint(const ResultRow &row, int curve) const;

    ScaleMode scaleMode = AutoScale;
    CalcSettings *calcSettings = nullptr;
    QPixmap pixmap;
    QRect plotRect;
    bool hasData = false;
    const ResultSet *resultSet = nullptr;
    GraphSettings *graphSettings = nullptr;
};
