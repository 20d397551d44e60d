#pragma once

#include "engine/calcsettings.h"
#include "engine/resultset.h"
#include "drawing/graphpainter.h"
#include "drawing/graphsettings.h"

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QVector>
#include <QWidget>

class QPainter;

// The family of rate curves R(L) of the last run on screen. The widget keeps its own copy of
// the run and draws it with drawGraph (graphpainter.h), the same function the exports use.
class GraphWidget : public QWidget
{
    Q_OBJECT
public:
    using ScaleMode = ::ScaleMode;
    static constexpr ScaleMode AutoScale = ::AutoScale;
    static constexpr ScaleMode UserScale = ::UserScale;

    static constexpr int paletteSize = graphPaletteSize;

    explicit GraphWidget(QWidget *parent = nullptr);

    // Not owned; read at every drawing, and the settled axis values and mark step written back.
    // Its axis values are taken as the user's request here and in setResult: later drawings
    // settle from that request, not from what an earlier drawing wrote back.
    void setGraphSettings(GraphSettings *settings);
    // Copies the run; the caller may change or drop its records afterwards. Redraws at once.
    void setResult(const GraphRun &run, ScaleMode mode);
    void setResult(const ResultSet &result, const CalcSettings &calcSettings, ScaleMode mode);
    // Null pointers leave the graph blank, as before the first result.
    void setResult(const ResultSet *result, const CalcSettings *calcSettings, ScaleMode mode);

    // Paints the whole graph at the widget's size through `painter`, its axis texts in the
    // painter's current font, and writes the settled values back. Does nothing before the
    // first result.
    void drawGraph(QPainter &painter);

    // What an export or a printout draws from: the run, the scale mode, the user's look and
    // axis request and this widget's grid colour. Meaningful once hasResult() is true.
    GraphSource graphSource() const;
    // The picture on screen, as last drawn into the pixmap.
    const GraphPicture &shownPicture() const { return m_shown; }

    // The fourteen curve colours, or fourteen times black for black-and-white output.
    static const QVector<QColor> &curvePalette(bool colorCurves = true) { return graphCurvePalette(colorCurves); }
    // Colour of curve (or group entry) `index`; from the fifteenth on the palette repeats.
    static QColor curveColor(int index, bool colorCurves = true) { return graphCurveColor(index, colorCurves); }

    bool hasResult() const { return hasData; }
    ScaleMode currentScaleMode() const { return scaleMode; }
    QRect plotArea() const { return plotRect; }
    // The off-screen picture shown on screen, in device pixels.
    const QPixmap &graphPixmap() const { return pixmap; }

    void redraw();

    // The graph as shown, without the cursor's read-out: the window's size at its device pixel
    // ratio. A null image before the first result.
    QImage graphImage() const;
    // Puts graphImage() on the clipboard; does nothing before the first result.
    void copyGraph();

    // The horizontal position of the cursor's read-out, -1 while none is shown.
    int cursorX() const { return m_cursorX; }
    // What the read-out says (graphReadoutText), empty while none is shown.
    QString readoutText() const { return m_readout; }

signals:
    // The read-out's text while the mouse moves over the plot; empty when it leaves.
    void readoutChanged(const QString &text);
    // A left click on the plot: the index of the result row computed nearest to that length.
    void rowClicked(int row);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void takeAxisRequest();
    void setCursorX(int x);
    GraphPicture settleAndWriteBack(QPainter &painter);

    ScaleMode scaleMode = AutoScale;
    QPixmap pixmap;
    QRect plotRect;
    bool hasData = false;
    GraphSettings *graphSettings = nullptr;
    // The run as handed over, and the user's axis values as they were requested; the record
    // itself only receives settled values, which depend on the size drawn at.
    GraphSource m_source;
    GraphPicture m_shown;
    int m_cursorX = -1;
    QString m_readout;
};
