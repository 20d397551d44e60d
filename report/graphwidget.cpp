#include "report/graphwidget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

namespace {

// The six values the drawing settles; the rest of the record is the user's look.
void copyAxes(const GraphSettings &from, GraphSettings &to)
{
    to.lengthMax = from.lengthMax;
    to.lengthGridStep = from.lengthGridStep;
    to.lengthLabelStep = from.lengthLabelStep;
    to.rateMax = from.rateMax;
    to.rateGridStep = from.rateGridStep;
    to.rateLabelStep = from.rateLabelStep;
}

} // namespace

GraphWidget::GraphWidget(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(550, 450);
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

void GraphWidget::mouseReleaseEvent(QMouseEvent *)
{
}

void GraphWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, pixmap);
}

void GraphWidget::resizeEvent(QResizeEvent *)
{
    redraw();
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
    copyAxes(picture.settings, *graphSettings);
    graphSettings->markStep = picture.settings.markStep;
    return picture;
}
