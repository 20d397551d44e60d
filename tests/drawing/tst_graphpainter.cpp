// The graph from values alone: this test links the QtGui-level graph library and no widgets.

#include "graphsource.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(CableSection)

namespace {

const QDateTime stamp(QDate(2012, 2, 26), QTime(12, 0, 0));
const QColor gridColour(200, 220, 255); // no palette's colour: it can only come from the values

GraphSource flatRunWithGrid(const QVector<float> &rates, int maxRate)
{
    GraphSource source = flatRun(rates, maxRate);
    source.gridColor = gridColour;
    return source;
}

QImage render(const GraphSource &source, const QSize &imageSize, const QRect &area, GraphPicture *drawn = nullptr)
{
    QImage image(imageSize, QImage::Format_RGB32);
    image.fill(QColor(Qt::white).rgb());
    QPainter painter(&image);
    const GraphPicture picture = settleGraph(source, area, painter, stamp);
    drawGraph(painter, area, picture);
    painter.end();
    if (drawn)
        *drawn = picture;
    return image;
}

// Where `text`, set in black in `font` on white, stands in `image` within `region` (its top left
// corner as drawText with AlignLeft | AlignTop places it), or (-1, -1).
QPoint findText(const QImage &image, const QFont &font, const QString &text, const QRect &region)
{
    QImage alone(600, 100, QImage::Format_RGB32);
    alone.fill(QColor(Qt::white).rgb());
    QPainter painter(&alone);
    painter.setFont(font);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawText(QRect(0, 0, 600, 100), Qt::AlignLeft | Qt::AlignTop, text);
    const QRect ink = painter.boundingRect(QRect(0, 0, 600, 100), Qt::AlignLeft | Qt::AlignTop, text);
    painter.end();
    const QImage glyphs = alone.copy(ink);
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (image.copy(QRect(QPoint(x, y) + ink.topLeft(), ink.size())) == glyphs)
                return QPoint(x, y);
    return QPoint(-1, -1);
}

int countInRow(const QImage &image, QRgb colour, int y, int fromX, int toX)
{
    int count = 0;
    for (int x = fromX; x <= toX; ++x)
        count += image.pixel(x, y) == colour;
    return count;
}

} // namespace

class tst_GraphPainter : public QObject
{
    Q_OBJECT
private slots:
    void curvesAndAxes_data();
    void curvesAndAxes();
    void areaOnlyMovesThePicture();
    void painterStateIsRestored();
    void settledValuesAreAFixedPoint_data();
    void settledValuesAreAFixedPoint();
    void automaticAxesAreKeptAsTheUsers_data();
    void automaticAxesAreKeptAsTheUsers();
    void paletteReadsOnWhite();
    void unsettledPictureDoesNotDivideByZero();
    void conditionsFrameHoldsEveryLine_data();
    void conditionsFrameHoldsEveryLine();
    void sectionLines_data();
    void sectionLines();
};

void tst_GraphPainter::curvesAndAxes_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QRect>("area");
    QTest::newRow("whole image") << QSize(800, 600) << QRect(0, 0, 800, 600);
    QTest::newRow("area inside a larger image") << QSize(1000, 760) << QRect(130, 90, 800, 600);
    QTest::newRow("smallest window") << QSize(550, 450) << QRect(0, 0, 550, 450);
}

void tst_GraphPainter::curvesAndAxes()
{
    QFETCH(QSize, imageSize);
    QFETCH(QRect, area);
    const QVector<float> rates{12000.f, 6000.f};
    GraphPicture picture;
    const QImage image = render(flatRunWithGrid(rates, 20000), imageSize, area, &picture);

    const QRect plot = graphPlotRect(area);
    QCOMPARE(plot.topLeft(), area.topLeft() + QPoint(50, 10));
    QCOMPARE(plot.size(), area.size() - QSize(70, 30));
    QCOMPARE(picture.settings.lengthMax, 8000);
    QCOMPARE(picture.settings.rateMax, 20000);

    for (int curve = 0; curve < rates.size(); ++curve) {
        const int y = int(graphPoint(plot, picture.settings, 0.f, rates.at(curve)).y());
        QVERIFY2(countInRow(image, graphCurveColor(curve).rgb(), y, plot.left(), plot.right()) > plot.width() / 2,
                 qPrintable(QStringLiteral("curve %1 at row %2").arg(curve).arg(y)));
    }
    const QRgb black = QColor(Qt::black).rgb();
    const int clearRow = plot.top() + plot.height() * 3 / 4 + 1; // between the two curves
    // Frame on the left, the first length tick below it, the second vertical grid line.
    QCOMPARE(image.pixel(plot.left(), clearRow), black);
    QCOMPARE(image.pixel(plot.left(), plot.bottom() + 3), black);
    const int secondGridX = int(double(picture.settings.lengthGridStep) / picture.settings.lengthMax * plot.width()
                                + plot.left());
    QCOMPARE(image.pixel(secondGridX, clearRow), gridColour.rgb());
    QCOMPARE(image.pixel(secondGridX, plot.bottom() + 3), black);
    // Left of the rate labels nothing is drawn.
    for (int y = plot.top() + 20; y < plot.bottom(); ++y)
        QCOMPARE(image.pixel(area.left() + 1, y), QColor(Qt::white).rgb());
}

// The area sets the position and the size; where it stands changes no pixel of the graph.
// (The rate axis name stands a little left of the area, so both places leave a margin.)
void tst_GraphPainter::areaOnlyMovesThePicture()
{
    const GraphSource source = flatRunWithGrid({15000.f, 10000.f, 5000.f}, 22000);
    const QSize size(700, 500), imageSize(1300, 1000);
    const QRect near(QPoint(40, 30), size), far(QPoint(310, 260), size);
    const QImage first = render(source, imageSize, near);
    const QImage second = render(source, imageSize, far);
    const QMargins margin(30, 30, 30, 30);
    QCOMPARE(second.copy(far + margin), first.copy(near + margin));
    QVERIFY(first.copy(far + margin) != second.copy(far + margin));
}

// A printout goes on drawing on the same painter after the graph.
void tst_GraphPainter::painterStateIsRestored()
{
    QImage image(600, 500, QImage::Format_RGB32);
    QPainter painter(&image);
    const QFont font(QStringLiteral("DejaVu Sans"), 17);
    const QPen pen(Qt::darkMagenta, 3);
    painter.setFont(font);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const GraphSource source = flatRunWithGrid({5000.f}, 10000);
    const QRect area(0, 0, 600, 500);
    GraphPicture picture = settleGraph(source, area, painter, stamp);
    picture.settings.markVisible = true; // the marks leave a white brush behind when not restored
    drawGraph(painter, area, picture);
    QCOMPARE(painter.font(), font);
    QCOMPARE(painter.pen(), pen);
    QCOMPARE(painter.brush(), QBrush(Qt::NoBrush));
    // The axis texts were set in the painter's font as it came in.
    QCOMPARE(picture.axisFont, font);
}

void tst_GraphPainter::settledValuesAreAFixedPoint_data()
{
    QTest::addColumn<QVector<int>>("request"); // the six axis fields in record order
    QTest::addColumn<QSize>("plotSize");
    QTest::newRow("crowded grid on a narrow plot") << QVector<int>{30000, 100, 700, 100000, 10, 70} << QSize(480, 420);
    QTest::newRow("labels between grid multiples") << QVector<int>{8000, 400, 600, 8000, 400, 700} << QSize(1130, 870);
    QTest::newRow("a label every metre") << QVector<int>{4600, 1, 1, 1000, 1, 1} << QSize(1130, 870);
    QTest::newRow("grid above the maximum") << QVector<int>{8000, 9000, 9000, 5000, 6000, 100} << QSize(730, 570);
    QTest::newRow("zeros") << QVector<int>{0, 0, 0, 0, 0, 0} << QSize(730, 570);
}

// Accepting the options dialog unchanged hands the settled values back as the request: the
// graph must then not move.
void tst_GraphPainter::settledValuesAreAFixedPoint()
{
    QFETCH(QVector<int>, request);
    QFETCH(QSize, plotSize);
    GraphSettings settings;
    int *const fields[] = {&settings.lengthMax,    &settings.lengthGridStep, &settings.lengthLabelStep,
                           &settings.rateMax,      &settings.rateGridStep,   &settings.rateLabelStep};
    for (int i = 0; i < 6; ++i)
        *fields[i] = request.at(i);
    const QFontMetrics metrics{QFont()};
    const GraphExtent extent{8000, 1000, 22000};
    const GraphSettings once = settleGraphAxes(settings, UserScale, extent, plotSize, metrics);
    const GraphSettings twice = settleGraphAxes(once, UserScale, extent, plotSize, metrics);
    QCOMPARE(twice, once);
    QVERIFY(once.lengthGridStep >= 1 && once.rateGridStep >= 1);
}

void tst_GraphPainter::automaticAxesAreKeptAsTheUsers_data()
{
    QTest::addColumn<int>("lengthTo");
    QTest::addColumn<int>("maxRate");
    QTest::addColumn<QSize>("plotSize");
    QTest::addColumn<int>("pointSize");
    QTest::newRow("4500 m: labels every 1000 m, not every 1125") << 4500 << 22000 << QSize(1530, 940) << 9;
    QTest::newRow("10000 m: no \"2500\" at 2496 m") << 10000 << 22222 << QSize(1296, 708) << 9;
    QTest::newRow("smallest window, large font") << 30000 << 140000 << QSize(480, 420) << 16;
    QTest::newRow("tiny maxima") << 3 << 0 << QSize(480, 420) << 9;
}

// The automatic axes, shown in the options dialog and accepted unchanged, draw the same graph;
// their label steps are round (1-2-5).
void tst_GraphPainter::automaticAxesAreKeptAsTheUsers()
{
    QFETCH(int, lengthTo);
    QFETCH(int, maxRate);
    QFETCH(QSize, plotSize);
    QFETCH(int, pointSize);
    const QFontMetrics metrics{QFont(QStringLiteral("DejaVu Sans"), pointSize)};
    const GraphExtent extent{lengthTo, 100, maxRate};
    const GraphSettings automatic = settleGraphAxes(GraphSettings(), AutoScale, extent, plotSize, metrics);
    QCOMPARE(settleGraphAxes(automatic, UserScale, extent, plotSize, metrics), automatic);
    for (int label : {automatic.lengthLabelStep, automatic.rateLabelStep})
        QVERIFY2(QString::number(label).contains(QRegularExpression(QStringLiteral("^[125]0*$"))), qPrintable(QString::number(label)));
}

// WCAG non-text contrast: every curve colour at least 3:1 against white paper.
void tst_GraphPainter::paletteReadsOnWhite()
{
    for (const QColor &c : graphCurvePalette()) {
        double luminance = 0;
        for (const auto &[v, weight] : {std::pair{c.redF(), 0.2126}, {c.greenF(), 0.7152}, {c.blueF(), 0.0722}})
            luminance += weight * (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
        QVERIFY2(1.05 / (luminance + 0.05) >= 3.0, qPrintable(c.name()));
    }
}

void tst_GraphPainter::unsettledPictureDoesNotDivideByZero()
{
    GraphPicture picture;
    picture.run = flatRun({5000.f}, 10000).run;
    picture.settings.lengthMax = picture.settings.lengthGridStep = picture.settings.lengthLabelStep = 0;
    picture.settings.rateMax = picture.settings.rateGridStep = picture.settings.rateLabelStep = 0;
    picture.settings.markStep = 0;
    QImage image(600, 500, QImage::Format_RGB32);
    image.fill(QColor(Qt::white).rgb());
    QPainter painter(&image);
    drawGraph(painter, QRect(0, 0, 600, 500), picture);
    painter.end();
    QCOMPARE(image.pixel(graphPlotRect(QRect(0, 0, 600, 500)).topLeft()), QColor(Qt::black).rgb());
}

void tst_GraphPainter::conditionsFrameHoldsEveryLine_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("cable");
    QTest::addColumn<int>("cables");
    QTest::addColumn<int>("lineTypes");
    // Short type and noise names: the ELFEXT frequency line is the longest.
    QTest::newRow("ELFEXT line longest") << QSize(800, 600) << "K1" << 1 << 1;
    QTest::newRow("long cable name") << QSize(800, 600) << "ТПП-10x2x0.4 городской участок Северный" << 1 << 1;
    QTest::newRow("a family of cables' lettered lines") << QSize(800, 600) << "ТПП-10x2x0.4-длинное-имя" << 3 << 1;
    QTest::newRow("a name longer than the plot is wide") << QSize(550, 450) << QString(120, QChar(u'Ж')) << 1 << 1;
    QTest::newRow("more lines than the plot is high") << QSize(550, 450) << "K1" << 1 << 14;
}

// Nothing of the block may stand between its frame and the plot's right edge, and the frame
// stays inside the plot.
void tst_GraphPainter::conditionsFrameHoldsEveryLine()
{
    QFETCH(QSize, size);
    QFETCH(QString, cable);
    QFETCH(int, cables);
    QFETCH(int, lineTypes);
    // The curve runs along the plot's top edge, above the frame: it must not count as ink beside it.
    GraphSource source = flatRunWithGrid({22000.f}, 22000);
    source.run.calc.cableTypes.clear();
    for (int i = 0; i < cables; ++i)
        source.run.calc.cableTypes << cable + QString::number(i);
    source.run.calc.lineTypes.clear();
    for (int i = 0; i < lineTypes; ++i)
        source.run.calc.lineTypes << QStringLiteral("L%1.DMT").arg(i);
    const QRect area(QPoint(0, 0), size);
    const QImage image = render(source, size, area);
    const QRect plot = graphPlotRect(area);
    const QRgb black = QColor(Qt::black).rgb(), white = QColor(Qt::white).rgb();

    // The frame's top edge, followed leftwards from its right end.
    const int frameRight = plot.right() - 12, frameTop = plot.top() + 20;
    QCOMPARE(image.pixel(frameRight, frameTop), black);
    int frameLeft = frameRight;
    while (frameLeft > 0 && image.pixel(frameLeft - 1, frameTop) == black)
        --frameLeft;
    int frameBottom = frameTop;
    while (frameBottom + 1 < image.height() && image.pixel(frameRight, frameBottom + 1) == black)
        ++frameBottom;
    QVERIFY2(frameLeft > plot.left(), qPrintable(QString::number(frameLeft)));
    QVERIFY2(frameBottom < plot.bottom(), qPrintable(QString::number(frameBottom)));

    // Right of the frame only the grid: no text ran past it.
    for (int y = frameTop; y <= frameBottom; ++y) {
        for (int x = frameRight + 1; x < plot.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            QVERIFY2(pixel == white || pixel == gridColour.rgb(),
                     qPrintable(QStringLiteral("ink at %1, %2").arg(x).arg(y)));
        }
    }
    // And the text is there, inside.
    int ink = 0;
    for (int y = frameTop + 2; y < frameBottom - 1; ++y)
        for (int x = frameLeft + 2; x < frameRight - 1; ++x)
            ink += image.pixel(x, y) != white;
    QVERIFY(ink > 200);
}

void tst_GraphPainter::sectionLines_data()
{
    QTest::addColumn<QVector<CableSection>>("sections");
    QTest::newRow("no sections") << QVector<CableSection>{};
    QTest::newRow("one section") << QVector<CableSection>{{QStringLiteral("PE-0.50mm-24AWG"), 500}};
    QTest::newRow("two sections in loop order")
        << QVector<CableSection>{{QStringLiteral("PE-0.64mm-22AWG"), 1200}, {QStringLiteral("K%2"), 30}};
}

// The conditions block names each section on its own line right below the cable, in black.
void tst_GraphPainter::sectionLines()
{
    QFETCH(QVector<CableSection>, sections);
    GraphSource source = flatRunWithGrid({2000.f}, 22000);
    // A noise name wider than any section line keeps those lines inside the frame.
    source.run.calc.noiseTemplate = QStringLiteral("N-with-a-name-longer-than-any-section-line");
    source.run.calc.sections = sections;
    const QRect area(0, 0, 800, 600);
    GraphPicture picture;
    const QImage image = render(source, area.size(), area, &picture);

    // The frame: found from its top right corner, one line of room more than it holds (title,
    // cable, capacity, load, ELFEXT frequency and norm, line type, margin, noise, date).
    const QRect plot = graphPlotRect(area);
    const QRgb black = QColor(Qt::black).rgb();
    int left = plot.right() - 12;
    const int top = plot.top() + 20;
    QCOMPARE(image.pixel(left, top), black);
    while (left > 0 && image.pixel(left - 1, top) == black)
        --left;
    int bottom = top;
    while (bottom < image.height() && image.pixel(left, bottom) == black)
        ++bottom;
    const int lineHeight = QFontMetrics(picture.legendFont, &image).height();
    QCOMPARE(bottom - top, (10 + int(sections.size()) + 1) * lineHeight);

    // Each line where the next would stand after the cable line.
    const QRect textColumn(left + 1, top + 1, 30, bottom - top - 2);
    const QPoint cable = findText(image, picture.legendFont, QStringLiteral("Кабель=K1"), textColumn);
    QVERIFY(cable.x() >= 0);
    for (int i = 0; i < sections.size(); ++i) {
        const QString text = QStringLiteral("Участок=%1 %2м").arg(sections.at(i).cable, QString::number(sections.at(i).length));
        QCOMPARE(findText(image, picture.legendFont, text, textColumn), cable + QPoint(0, (i + 1) * lineHeight));
    }
    const QPoint capacity = findText(image, picture.legendFont, QStringLiteral("Емкость M=4"), textColumn);
    QCOMPARE(capacity, cable + QPoint(0, (int(sections.size()) + 1) * lineHeight));
}

QTEST_MAIN(tst_GraphPainter)
#include "tst_graphpainter.moc"
