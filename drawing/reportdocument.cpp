#include "drawing/reportdocument.h"

#include "engine/calcinput.h"
#include "engine/translate.h"
#include "engine/checks.h"
#include "engine/loss.h"
#include "drawing/picturefile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

KOLVANE_TR_CONTEXT("Report")

// The graph's pixel sizes, pen widths and fonts are meant at a screen's density; on paper it is
// drawn at that density and scaled, so it looks as on screen at the size of the page.
constexpr double graphDpi = 96.0;
// Room left of the graph for the rate axis name, which stands a little left of its area.
constexpr int graphLeftRoom = 30;
// Fine enough for the thinnest rule and the smallest table font.
constexpr int reportDpi = 600;

struct ReportFonts {
    QFont title, tableTitle, header, cell, footer;
};

ReportFonts reportFonts()
{
    const QFont base;
    ReportFonts fonts{base, base, base, base, base};
    fonts.title.setPointSizeF(12);
    fonts.title.setBold(true);
    fonts.tableTitle.setPointSizeF(11);
    fonts.tableTitle.setBold(true);
    fonts.header.setPointSizeF(9);
    fonts.header.setBold(true);
    fonts.cell.setPointSizeF(9);
    fonts.footer.setPointSizeF(8);
    return fonts;
}

// A font in points as pixels at the graph's density, so that scaling the painter to the page
// scales it with everything else.
QFont graphFont(QFont font)
{
    if (font.pointSizeF() > 0)
        font.setPixelSize(std::max(1, qRound(font.pointSizeF() * graphDpi / 72.0)));
    return font;
}

void scaleFont(QFont &font, double scale)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale);
    else
        font.setPixelSize(std::max(1, int(font.pixelSize() * scale)));
}

bool readsAsNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[<>≤≥]?[-+]?[0-9]+([.,][0-9]+)?([eE][-+]?[0-9]+)?$"));
    return number.match(text.trimmed()).hasMatch();
}

bool isPlaceholder(const QString &text)
{
    const QString t = text.trimmed();
    return t.isEmpty() || t == QLatin1String("-") || t == QStringLiteral("—");
}

// The page layout of one kind of page: the set-up's paper in `orientation`, its margins but at
// least the device's minimum ones.
QPageLayout pageLayoutFor(const QPageLayout &current, const ReportPageSetup &setup,
                          QPageLayout::Orientation orientation)
{
    QPageLayout layout = current;
    layout.setUnits(QPageLayout::Millimeter);
    if (!layout.pageSize().isEquivalentTo(setup.pageSize))
        layout.setPageSize(setup.pageSize, layout.minimumMargins());
    layout.setOrientation(orientation);
    layout.setMode(QPageLayout::StandardMode);
    const QMarginsF least = layout.minimumMargins();
    const QMarginsF margins(std::max(setup.margins.left(), least.left()), std::max(setup.margins.top(), least.top()),
                            std::max(setup.margins.right(), least.right()),
                            std::max(setup.margins.bottom(), least.bottom()));
    layout.setMargins(margins);
    return layout;
}

// How one table is set: fonts, column widths and heights in device pixels, column alignment.
struct TableGeometry {
    QFont titleFont, headerFont, cellFont;
    QVector<qreal> widths;
    QVector<Qt::Alignment> alignments;
    qreal padding = 0;
    qreal titleHeight = 0, headerHeight = 0, rowHeight = 0;
};

QString headerText(const ReportTable &table, int column)
{
    return table.header.value(column);
}

int columnCount(const ReportTable &table)
{
    int columns = int(table.header.size());
    for (const QStringList &row : table.rows)
        columns = std::max(columns, int(row.size()));
    return columns;
}

TableGeometry tableGeometry(const ReportTable &table, const ReportFonts &fonts, qreal width, QPaintDevice *device)
{
    TableGeometry g;
    g.titleFont = fonts.tableTitle;
    g.headerFont = fonts.header;
    g.cellFont = fonts.cell;
    const int columns = columnCount(table);

    for (int c = 0; c < columns; ++c) {
        bool numeric = false, other = false;
        for (const QStringList &row : table.rows) {
            const QString text = row.value(c);
            if (isPlaceholder(text))
                continue;
            (readsAsNumber(text) ? numeric : other) = true;
        }
        g.alignments.append((numeric && !other ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }

    // A table wider than the page is set in a smaller font first; what still does not fit is
    // shared out and clipped in its cells.
    QVector<qreal> natural(columns), least(columns);
    for (int attempt = 0; attempt < 6; ++attempt) {
        const QFontMetricsF cell(g.cellFont, device), header(g.headerFont, device);
        g.padding = cell.averageCharWidth() * 0.8;
        for (int c = 0; c < columns; ++c) {
            qreal cells = 0, lines = 0, words = 0;
            for (const QStringList &row : table.rows)
                cells = std::max(cells, cell.horizontalAdvance(row.value(c)));
            const QString text = headerText(table, c);
            for (const QString &line : text.split(QLatin1Char('\n')))
                lines = std::max(lines, header.horizontalAdvance(line));
            for (const QString &word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
                words = std::max(words, header.horizontalAdvance(word));
            // A little slack: a header exactly as wide as its cell would wrap at rounding.
            natural[c] = std::max(cells, lines) + 2.5 * g.padding;
            least[c] = std::max(cells, words) + 2.5 * g.padding;
        }
        qreal leastSum = 0;
        for (qreal w : std::as_const(least))
            leastSum += w;
        if (leastSum <= width || g.cellFont.pointSizeF() <= 5.0)
            break;
        const double scale = std::max(5.0 / g.cellFont.pointSizeF(), std::min(0.95, width / leastSum));
        scaleFont(g.cellFont, scale);
        scaleFont(g.headerFont, scale);
    }
    qreal naturalSum = 0, leastSum = 0;
    for (int c = 0; c < columns; ++c) {
        naturalSum += natural[c];
        leastSum += least[c];
    }
    g.widths = natural;
    if (naturalSum > width) {
        for (int c = 0; c < columns; ++c) {
            if (leastSum <= width)
                g.widths[c] = least[c] + (width - leastSum) * (natural[c] - least[c]) / std::max(naturalSum - leastSum, 1e-9);
            else
                g.widths[c] = least[c] * width / leastSum;
        }
    }

    const QFontMetricsF cell(g.cellFont, device), header(g.headerFont, device), title(g.titleFont, device);
    g.rowHeight = cell.height() * 1.5;
    qreal tallest = header.height();
    for (int c = 0; c < columns; ++c) {
        const QRectF room(0, 0, std::max(g.widths[c] - 2 * g.padding, 1.0), 1e6);
        tallest = std::max(tallest, header.boundingRect(room, Qt::AlignHCenter | Qt::TextWordWrap, headerText(table, c)).height());
    }
    g.headerHeight = tallest + cell.height() * 0.5;
    g.titleHeight = table.title.isEmpty() ? 0 : title.height() * 1.6;
    return g;
}

// A run of rows of one table on one page, with its title and header above them.
struct TableSlice {
    int table = 0;
    int firstRow = 0;
    int rowCount = 0;
    bool continued = false; // the table began on an earlier page
    qreal top = 0;
};

struct ReportPage {
    bool graph = false;
    QVector<TableSlice> slices;
};

// The whole report laid out for one device: pages, and how each table is set.
class ReportLayout
{
public:
    ReportLayout(const ReportContent &content, const ReportPageSetup &setup, const QPageLayout &current, int dpi,
                 QPaintDevice *device)
        : content(content), dpi(dpi), fonts(reportFonts())
    {
        graphLayout = pageLayoutFor(current, setup, QPageLayout::Landscape);
        tableLayout = pageLayoutFor(current, setup, setup.tablesOrientation);
        const QFontMetricsF footer(fonts.footer, device);
        footerHeight = footer.height() * 2;

        tables.append(&content.results);
        for (const ReportTable &table : content.extraTables)
            tables.append(&table);
        const QSizeF page = tableLayout.paintRectPixels(dpi).size();
        for (const ReportTable *table : std::as_const(tables))
            geometries.append(tableGeometry(*table, fonts, page.width(), device));

        pages.append(ReportPage{true, {}});
        paginate(page.height() - footerHeight);
    }

    const ReportContent &content;
    const int dpi;
    const ReportFonts fonts;
    QPageLayout graphLayout, tableLayout;
    qreal footerHeight = 0;
    QVector<const ReportTable *> tables;
    QVector<TableGeometry> geometries;
    QVector<ReportPage> pages;

private:
    void paginate(qreal height)
    {
        ReportPage page;
        qreal y = 0;
        for (int t = 0; t < tables.size(); ++t) {
            const TableGeometry &g = geometries.at(t);
            const int rows = int(tables.at(t)->rows.size());
            int next = 0;
            bool continued = false;
            do {
                // A table starts where its title, header and a few rows still fit.
                const qreal gap = y > 0 ? g.rowHeight : 0;
                const qreal opening = g.titleHeight + g.headerHeight + std::min(rows - next, 3) * g.rowHeight;
                if (y > 0 && y + gap + opening > height) {
                    pages.append(page);
                    page = ReportPage();
                    y = 0;
                } else {
                    y += gap;
                }
                TableSlice slice{t, next, 0, continued, y};
                y += g.titleHeight + g.headerHeight;
                const int fit = std::max(1, int(std::floor((height - y) / g.rowHeight + 1e-9)));
                slice.rowCount = std::min(fit, rows - next);
                next += slice.rowCount;
                y += slice.rowCount * g.rowHeight;
                page.slices.append(slice);
                if (next < rows) {
                    pages.append(page);
                    page = ReportPage();
                    y = 0;
                    continued = true;
                }
            } while (next < rows);
        }
        if (!page.slices.isEmpty())
            pages.append(page);
    }
};

// The graph filling `box` (device pixels at `dpi`): drawn at the screen's density and scaled, so
// it looks as on screen at the size of the box.
void drawGraphOnPaper(QPainter &painter, const QRectF &box, const GraphSource &graph, const QDateTime &stamp, int dpi)
{
    const double scale = dpi / graphDpi;
    const QRect area(graphLeftRoom, 0, int(box.width() / scale) - graphLeftRoom, int(box.height() / scale));
    if (area.width() < 100 || area.height() < 100)
        return;

    painter.save();
    painter.translate(box.topLeft());
    painter.scale(scale, scale);
    painter.setFont(graphFont(QFont()));
    painter.setPen(Qt::black);
    GraphPicture picture = settleGraph(graph, area, painter, stamp);
    picture.markFont = graphFont(picture.markFont);
    picture.legendFont = graphFont(picture.legendFont);
    drawGraph(painter, area, picture);
    painter.restore();
}

class ReportPainter
{
public:
    ReportPainter(QPainter &painter, const ReportLayout &layout) : painter(painter), l(layout) {}

    void paintPage(int index)
    {
        const ReportPage &page = l.pages.at(index);
        const QPageLayout &pageLayout = page.graph ? l.graphLayout : l.tableLayout;
        const QRectF inner(QPointF(0, 0), QSizeF(pageLayout.paintRectPixels(l.dpi).size()));
        painter.save();
        painter.setClipRect(inner);
        if (page.graph)
            graphPage(inner);
        for (const TableSlice &slice : page.slices)
            tableSlice(inner, slice);
        footer(inner, index);
        painter.restore();
    }

private:
    void graphPage(const QRectF &inner)
    {
        const ReportContent &content = l.content;
        painter.setFont(l.fonts.title);
        painter.setPen(Qt::black);
        const QString title = reportTitle(content.graph.run.calc, content.stamp.date());
        const QRectF titleBox =
            painter.boundingRect(QRectF(inner.left(), inner.top(), inner.width(), inner.height()),
                                 Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title);
        painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title);

        const qreal gap = QFontMetricsF(l.fonts.title, painter.device()).height() * 0.5;
        drawGraphOnPaper(painter,
                         QRectF(inner.left(), titleBox.bottom() + gap, inner.width(),
                                inner.bottom() - l.footerHeight - titleBox.bottom() - gap),
                         content.graph, content.stamp, l.dpi);
    }

    void tableSlice(const QRectF &inner, const TableSlice &slice)
    {
        const ReportTable &table = *l.tables.at(slice.table);
        const TableGeometry &g = l.geometries.at(slice.table);
        const qreal left = inner.left();
        qreal y = inner.top() + slice.top;
        const QPen rule(QColor(128, 128, 128), l.dpi / 144.0); // half a point

        if (!table.title.isEmpty()) {
            painter.setFont(g.titleFont);
            painter.setPen(Qt::black);
            const QString title = slice.continued ? tr("%1 (продолжение)").arg(table.title) : table.title;
            painter.drawText(QRectF(left, y, inner.width(), g.titleHeight), Qt::AlignLeft | Qt::AlignVCenter, title);
            y += g.titleHeight;
        }

        // The header, on every page the table reaches.
        painter.setFont(g.headerFont);
        qreal x = left;
        for (int c = 0; c < g.widths.size(); ++c) {
            const QRectF cell(x, y, g.widths.at(c), g.headerHeight);
            painter.fillRect(cell, QColor(235, 235, 235));
            painter.setPen(rule);
            painter.drawRect(cell);
            painter.setPen(Qt::black);
            painter.drawText(cell.adjusted(g.padding, 0, -g.padding, 0), Qt::AlignCenter | Qt::TextWordWrap,
                             headerText(table, c));
            x += g.widths.at(c);
        }
        y += g.headerHeight;

        painter.setFont(g.cellFont);
        for (int r = slice.firstRow; r < slice.firstRow + slice.rowCount; ++r) {
            const QStringList &row = table.rows.at(r);
            x = left;
            for (int c = 0; c < g.widths.size(); ++c) {
                const QRectF cell(x, y, g.widths.at(c), g.rowHeight);
                painter.setPen(rule);
                painter.drawRect(cell);
                painter.setPen(Qt::black);
                painter.drawText(cell.adjusted(g.padding, 0, -g.padding, 0), int(g.alignments.at(c)), row.value(c));
                x += g.widths.at(c);
            }
            y += g.rowHeight;
        }
    }

    void footer(const QRectF &inner, int index)
    {
        painter.setFont(l.fonts.footer);
        painter.setPen(QColor(64, 64, 64));
        const QRectF box(inner.left(), inner.bottom() - l.footerHeight / 2, inner.width(), l.footerHeight / 2);
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignBottom,
                         tr("стр. %1 из %2").arg(QString::number(index + 1), QString::number(l.pages.size())));
    }

    QPainter &painter;
    const ReportLayout &l;
};

QString joined(const QVector<int> &values)
{
    QStringList texts;
    for (int v : values)
        texts << QString::number(v);
    return texts.join(QStringLiteral(", "));
}

} // namespace

ReportPageSetup reportPageSetup(const QPageLayout &chosen)
{
    ReportPageSetup setup;
    setup.pageSize = chosen.pageSize();
    setup.tablesOrientation = chosen.orientation();
    return setup;
}

ReportTable resultReportTable(const ResultSet &rows, const QStringList &header, SweepAxis axis)
{
    ReportTable table;
    table.title = tr("Таблица скорости");
    table.header = header;
    const int curves = rows.isEmpty() ? std::max(0, int(header.size()) - 1) : int(rows.first().rates.size());
    for (int c = table.header.size(); c <= curves; ++c)
        table.header << QString();
    for (const ResultRow &row : rows) {
        QStringList cells{axis == SweepAxis::Loss ? lossText(rowLossTenths(row.length)) : QString::number(int(row.length))};
        for (int j = 0; j < curves; ++j) {
            if (j >= row.rates.size())
                cells << QString();
            else
                cells << (row.hasLoop(j) ? QString::number(double(row.rates.at(j)), 'g', 6) : QStringLiteral("—"));
        }
        table.rows.append(cells);
    }
    return table;
}

ReportContent reportContent(const GraphSource &graph, const QStringList &header,
                            const QVector<ReportTable> &extraTables, const QDateTime &stamp)
{
    ReportContent content;
    content.graph = graph;
    content.results = resultReportTable(graph.run.rows, header, graph.run.calc.axis);
    content.extraTables = extraTables;
    content.stamp = stamp;
    return content;
}

QString reportTitle(const CalcSettings &calc, const QDate &date)
{
    QStringList types;
    for (const QString &type : calc.lineTypes)
        types << QFileInfo(type).completeBaseName();
    QStringList loop;
    for (const CableSection &section : calc.sections)
        loop << tr("%1 (%2 м)").arg(section.cable, QString::number(section.length));
    loop << calc.cableTypes.join(QStringLiteral(", "));
    // Vectoring and coding gain change every rate: the title names them when they are set.
    QString options;
    for (const QString &option : CalcInput::modelOptionsSummary(calc))
        options += QStringLiteral("; ") + option;
    return tr("Скорость линий %1; кабель %2; загрузка m=%3%4; %5")
        .arg(types.join(QStringLiteral(", ")), loop.join(QStringLiteral(" + ")), joined(calc.xDSL_points), options,
             date.toString(QStringLiteral("dd.MM.yyyy")));
}

int reportPageCount(const ReportContent &content, const ReportPageSetup &setup, int dpi)
{
    QBuffer nowhere; // only measured, never written
    QPdfWriter probe(&nowhere);
    probe.setResolution(dpi);
    return int(ReportLayout(content, setup, probe.pageLayout(), dpi, &probe).pages.size());
}

bool paintReport(QPagedPaintDevice &device, const ReportContent &content, const ReportPageSetup &setup,
                 QString *error, const QPageRanges &pages)
{
    const int dpi = device.logicalDpiY();
    const ReportLayout layout(content, setup, device.pageLayout(), dpi, &device);
    const int count = int(layout.pages.size());

    QPainter painter;
    bool started = false;
    for (int index = 0; index < count; ++index) {
        if (!pages.isEmpty() && !pages.contains(index + 1))
            continue;
        // The layout changes between pages; a device that cannot change it while painting
        // (some native printers) keeps the first page's.
        const QPageLayout &wanted = layout.pages.at(index).graph ? layout.graphLayout : layout.tableLayout;
        if (!device.pageLayout().isEquivalentTo(wanted))
            device.setPageLayout(wanted);
        if (!started) {
            if (!painter.begin(&device))
                return fail(error, tr("Не удаётся начать вывод документа"));
            started = true;
        } else if (!device.newPage()) {
            painter.end();
            return fail(error, tr("Не удаётся начать страницу %1").arg(index + 1));
        }
        ReportPainter(painter, layout).paintPage(index);
    }
    if (!started)
        return fail(error, tr("В выбранном диапазоне нет страниц: в отчёте %1 стр.").arg(count));
    if (!painter.end())
        return fail(error, tr("Не удаётся завершить вывод документа"));
    return true;
}

bool writeReportPdf(const ReportContent &content, const QString &path, const ReportPageSetup &setup,
                    QString *error)
{
    return writePdf(path, reportTitle(content.graph.run.calc, content.stamp.date()), reportDpi,
                    [&](QPdfWriter &pdf, QString *why) { return paintReport(pdf, content, setup, why); }, error);
}

bool writeGraphPdf(const GraphSource &graph, const QString &path, const ReportPageSetup &setup,
                   const QDateTime &stamp, QString *error)
{
    const QPageLayout page(setup.pageSize, QPageLayout::Landscape, setup.margins, QPageLayout::Millimeter);
    return writePdfPage(
        path, reportTitle(graph.run.calc, stamp.date()), reportDpi, page,
        [&](QPainter &painter, const QRect &area) { drawGraphOnPaper(painter, area, graph, stamp, reportDpi); }, error);
}
