#include "templates/templateeditorpane.h"

#include "drawing/templateplot.h"
#include "templates/templatestablewidget.h"

#include <QPainter>

#include <algorithm>

TemplateEditorPane::TemplateEditorPane(TemplatesTableWidget *table, QWidget *parent)
    : QSplitter(Qt::Horizontal, parent)
    , m_table(table)
{
    addWidget(table);
    setCollapsible(0, false);
    if (templateHasPlot(table->templateKind())) {
        m_plot = new TemplatePlotWidget(table);
        addWidget(m_plot);
        // A wider window widens the plot; the table keeps what its columns need.
        setStretchFactor(0, 0);
        setStretchFactor(1, 1);
    }
    setWindowTitle(table->windowTitle());
    connect(table, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
}

QSize TemplateEditorPane::sizeHint() const
{
    const QSize table = m_table->sizeHint();
    if (!m_plot)
        return table;
    const QSize plot = m_plot->sizeHint();
    return {table.width() + handleWidth() + plot.width(), std::max(table.height(), plot.height())};
}

TemplatePlotWidget::TemplatePlotWidget(TemplatesTableWidget *table, QWidget *parent)
    : QWidget(parent)
    , m_table(table)
{
    setObjectName(QStringLiteral("templatePlot"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    QAbstractItemModel *model = table->model();
    const auto redraw = [this] { update(); };
    connect(model, &QAbstractItemModel::dataChanged, this, redraw);
    connect(model, &QAbstractItemModel::rowsInserted, this, redraw);
    connect(model, &QAbstractItemModel::rowsRemoved, this, redraw);
    connect(model, &QAbstractItemModel::modelReset, this, redraw);
    connect(model, &QAbstractItemModel::layoutChanged, this, redraw);
    connect(table, &QTableWidget::currentCellChanged, this, redraw);
}

QSize TemplatePlotWidget::sizeHint() const
{
    return {640, 440};
}

QSize TemplatePlotWidget::minimumSizeHint() const
{
    return {220, 160};
}

void TemplatePlotWidget::paintEvent(QPaintEvent *)
{
    QVector<QVector<double>> rows(m_table->rowCount());
    for (int r = 0; r < rows.size(); ++r) {
        rows[r].resize(m_table->columnCount());
        for (int c = 0; c < m_table->columnCount(); ++c)
            rows[r][c] = m_table->cellValue(r, c);
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setRenderHint(QPainter::Antialiasing);
    drawTemplatePlot(painter, rect(),
                     templatePlotValues(m_table->templateKind(), rows, m_table->currentRow()));
}
