#include "report/graphwidget.h"

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

namespace {

// The six values the drawing settles; the rest of the record is the user's look. `lengths`
// false: the rate axis alone, when the drawing's horizontal axis is not one of lengths.
void copyAxes(const GraphSettings &from, GraphSettings &to, bool lengths = true)
{
    if (lengths) {
        to.lengthMax = from.lengthMax;
        to.lengthGridStep = from.lengthGridStep;
        to.lengthLabelStep = from.lengthLabelStep;
    }
    to.rateMax = from.rateMax;
    to.rateGridStep = from.rateGridStep;
    to.rateLabelStep = from.rateLabelStep;
}

} // namespace

GraphWidget::GraphWidget(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(550, 450);
    setMouseTracking(true); // the read-out follows the mouse without a pressed button
    pixmap = QPixmap(size());
    pixmap.fill(Qt::white);
}

void GraphWidget::setGraphSettings(GraphSettings *settings)
{
    graphSettings = settings;
    takeAxisRequest();
}

void GraphWidget::setResult(const GraphRun &run, ScaleMode mode)
{
    scaleMode = mode;
    m_source.scaleMode = mode;
    m_source.run = run;
    setCursorX(-1);
    takeAxisRequest();
    hasData = true;
    redraw();
}

void GraphWidget::setResult(const ResultSet &result, const CalcSettings &calcSettings, ScaleMode mode)
{
    setResult(GraphRun{calcSettings, result, {}}, mode);
}

void GraphWidget::setResult(const ResultSet *result, const CalcSettings *calcSettings, ScaleMode mode)
{
    if (result && calcSettings) {
        setResult(*result, *calcSettings, mode);
        return;
    }
    scaleMode = mode;
    setCursorX(-1);
    m_source = GraphSource();
    m_shown = GraphPicture();
    hasData = false;
    redraw();
}

void GraphWidget::takeAxisRequest()
{
    if (graphSettings)
        copyAxes(*graphSettings, m_source.settings);
}

GraphSource GraphWidget::graphSource() const
{
    GraphSource source = m_source;
    if (graphSettings) {
        // The look as the record holds it now; the axes as the user asked for them.
        source.settings = *graphSettings;
        copyAxes(m_source.settings, source.settings);
    }
    source.gridColor = graphGridColor(palette());
    return source;
}

void GraphWidget::redraw()
{
    const qreal ratio = devicePixelRatioF();
    // Device pixels, so the picture stays sharp on a scaled screen; drawing is in widget units.
    QPixmap image(size() * ratio);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    if (!image.isNull()) {
        QPainter painter(&image);
        painter.setPen(palette().color(foregroundRole()));
        painter.setBackground(palette().brush(backgroundRole()));
        painter.setFont(font());
        if (hasData && graphSettings) {
            m_shown = settleAndWriteBack(painter);
            ::drawGraph(painter, rect(), m_shown);
        }
    }
    pixmap = image;
    update();
}

QImage GraphWidget::graphImage() const
{
    if (!hasData)
        return QImage();
    return pixmap.toImage();
}

void GraphWidget::copyGraph()
{
    const QImage image = graphImage();
    if (!image.isNull())
        QApplication::clipboard()->setImage(image);
}

void GraphWidget::setCursorX(int x)
{
    QString text;
    const QRect plot = graphPlotRect(rect());
    if (hasData && x >= plot.left() && x <= plot.right()) {
        const double length = graphLengthAt(plot, m_shown.settings, x);
        text = graphReadoutText(graphReadout(m_shown.run, qRound(length)));
    } else {
        x = -1;
    }
    if (x == m_cursorX && text == m_readout)
        return;
    m_cursorX = x;
    // Only the overlay changes: the pixmap stays, paintEvent draws the read-out over it.
    update();
    if (text != m_readout) {
        m_readout = text;
        emit readoutChanged(m_readout);
    }
}

void GraphWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    setCursorX(hasData && graphPlotRect(rect()).contains(at) ? at.x() : -1);
}

void GraphWidget::leaveEvent(QEvent *)
{
    setCursorX(-1);
}

void GraphWidget::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !hasData || !graphPlotRect(rect()).contains(at))
        return;
    const int row = nearestGraphRow(m_shown.run.rows, graphLengthAt(graphPlotRect(rect()), m_shown.settings, at.x())
                                                          / graphAxisScale(m_shown.run.calc));
    if (row >= 0)
        emit rowClicked(row);
}

void GraphWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, pixmap);
    if (m_cursorX >= 0 && hasData) {
        painter.setFont(font());
        drawGraphCursor(painter, rect(), m_shown, m_cursorX);
    }
}

void GraphWidget::resizeEvent(QResizeEvent *)
{
    redraw();
    setCursorX(m_cursorX); // the same position reads another length on the new scale
}

void GraphWidget::drawGraph(QPainter &painter)
{
    if (!hasData || !graphSettings)
        return;
    ::drawGraph(painter, rect(), settleAndWriteBack(painter));
}

GraphPicture GraphWidget::settleAndWriteBack(QPainter &painter)
{
    plotRect = graphPlotRect(rect());
    const GraphPicture picture = settleGraph(graphSource(), rect(), painter);
    // A loss axis is no length axis: the user's lengths and mark step stay as they were.
    const bool lengths = !graphExtent(picture.run.calc).loss;
    copyAxes(picture.settings, *graphSettings, lengths);
    if (lengths)
        graphSettings->markStep = picture.settings.markStep;
    return picture;
}
