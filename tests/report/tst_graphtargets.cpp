// Target rates on the graph: dashed lines with their values, a tick where each curve leaves them.

#include "graphsource.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>

namespace {

const QDateTime stamp(QDate(2012, 2, 26), QTime(12, 0, 0));
const QSize imageSize(800, 600);
const QRect area(0, 0, 800, 600);

QImage render(const GraphSource &source, GraphPicture *drawn = nullptr)
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

int countInRow(const QImage &image, QRgb colour, int y, int fromX, int toX)
{
    int count = 0;
    for (int x = fromX; x <= toX; ++x)
        count += image.pixel(x, y) == colour;
    return count;
}

// Two flat curves at 12000 and 6000 kbit/s; 9000 kbit/s is left by the first at 5000 m and
// never reached by the second, 3000 kbit/s carried by the first over the whole grid and left by
// the second at 2000 m.
GraphSource withTargets()
{
    GraphSource source = flatRun({12000.f, 6000.f}, 20000);
    source.run.calc.targetRates = {3000, 9000};
    ReachTable &reach = source.run.reach;
    reach.targets = {3000, 9000};
    reach.curves = {QStringLiteral("a"), QStringLiteral("b")};
    reach.reaches = {{{Reach::Beyond, 8000}, {Reach::Length, 2000}}, {{Reach::Length, 5000}, {Reach::None, 0}}};
    reach.from = 0;
    reach.to = 8000;
    reach.step = 10;
    return source;
}

// Where the picture's conditions block ends: the last pixel of its black right edge.
int blockBottom(const QImage &image, const QRect &plot)
{
    const int x = plot.right() - 12;
    const QRgb black = QColor(Qt::black).rgb();
    int y = plot.top() + 1;
    while (y < plot.bottom() && image.pixel(x, y) != black)
        ++y;
    while (y < plot.bottom() && image.pixel(x, y + 1) == black)
        ++y;
    return y;
}

} // namespace

class tst_GraphTargets : public QObject
{
    Q_OBJECT
private slots:
    void linesAndTicks();
    void linesCanBeTurnedOff();
    void targetAboveTheAxisIsNotDrawn();
    void conditionsListTheTargets();
    void noTargetsNoChange();
    void textsNeverOverlap_data();
    void textsNeverOverlap();
};

void tst_GraphTargets::linesAndTicks()
{
    GraphPicture picture;
    const QImage image = render(withTargets(), &picture);
    const QRect plot = graphPlotRect(area);
    QCOMPARE(picture.settings.rateMax, 20000);
    const QRgb line = graphTargetLineColor().rgb();

    for (int target : {3000, 9000}) {
        const int y = int(graphPoint(plot, picture.settings, 0, float(target)).y());
        // Dashed: most of the row, with gaps.
        const int dark = countInRow(image, line, y, plot.left() + 1, plot.right() - 1);
        QVERIFY2(dark > plot.width() / 2 && dark < plot.width() * 9 / 10,
                 qPrintable(QStringLiteral("%1 of %2 at %3").arg(dark).arg(plot.width()).arg(target)));
        // The value stands above the line's left end: drawn pixels there, none below it.
        const QRect label(plot.left() + 4, y - QFontMetrics(picture.axisFont).height(), 40, QFontMetrics(picture.axisFont).height() - 1);
        int drawn = 0;
        for (int x = label.left(); x <= label.right(); ++x)
            for (int yy = label.top(); yy <= label.bottom(); ++yy)
                drawn += image.pixel(x, yy) != QColor(Qt::white).rgb() && image.pixel(x, yy) != QColor(239, 239, 239).rgb();
        QVERIFY2(drawn > 10, qPrintable(QStringLiteral("label of %1: %2 pixels").arg(target).arg(drawn)));
    }

    // The second curve (red) leaves 3000 kbit/s at 2000 m: a tick across the line there.
    const QRgb red = graphCurveColor(1).rgb();
    const int y3000 = int(graphPoint(plot, picture.settings, 0, 3000).y());
    const int x2000 = int(graphPoint(plot, picture.settings, 2000, 0).x());
    for (int dy = -graphReachTickHalf + 1; dy < graphReachTickHalf; ++dy)
        QVERIFY2(image.pixel(x2000, y3000 + dy) == red, qPrintable(QString::number(dy)));
    QVERIFY(image.pixel(x2000, y3000 - graphReachTickHalf - 3) != red);
    // ... and its length, in red, to the right below the line.
    QVERIFY(countInRow(image, red, y3000 + 2 + QFontMetrics(picture.axisFont).ascent() / 2, x2000 + 3, x2000 + 60) > 0);
    // The first (black) leaves 9000 kbit/s at 5000 m.
    const int y9000 = int(graphPoint(plot, picture.settings, 0, 9000).y());
    const int x5000 = int(graphPoint(plot, picture.settings, 5000, 0).x());
    QCOMPARE(image.pixel(x5000, y9000 - graphReachTickHalf + 1), QColor(Qt::black).rgb());
    QCOMPARE(image.pixel(x5000, y9000 + graphReachTickHalf - 1), QColor(Qt::black).rgb());
    // No tick where a curve never reaches the rate or carries it over the whole grid: the
    // red curve has no pixel on the 9000 kbit/s line's neighbourhood.
    for (int dy = -graphReachTickHalf; dy <= graphReachTickHalf; ++dy)
        QCOMPARE(countInRow(image, red, y9000 + dy, plot.left(), plot.right()), 0);
}

void tst_GraphTargets::linesCanBeTurnedOff()
{
    // Without lines the plot is the one of a run without targets; only the conditions block
    // (top right) still lists them.
    GraphSource off = withTargets();
    off.settings.targetLines = false;
    GraphSource none = flatRun({12000.f, 6000.f}, 20000);
    const QRect plot = graphPlotRect(area);
    const QRect leftHalf(plot.left() - 50, plot.top(), plot.width() / 2, plot.height() + 20);
    QCOMPARE(render(off).copy(leftHalf), render(none).copy(leftHalf));
    QVERIFY(render(withTargets()).copy(leftHalf) != render(none).copy(leftHalf));
}

void tst_GraphTargets::targetAboveTheAxisIsNotDrawn()
{
    GraphSource high = flatRun({12000.f, 6000.f}, 20000);
    high.run.calc.targetRates = {25000};
    const QRect plot = graphPlotRect(area);
    const QRect leftHalf(area.left(), area.top(), plot.width() / 2, area.height());
    QCOMPARE(render(high).copy(leftHalf), render(flatRun({12000.f, 6000.f}, 20000)).copy(leftHalf));
}

void tst_GraphTargets::conditionsListTheTargets()
{
    // One more line in the block.
    GraphPicture picture;
    const QImage with = render(withTargets(), &picture);
    const QImage without = render(flatRun({12000.f, 6000.f}, 20000));
    const QRect plot = graphPlotRect(area);
    QCOMPARE(blockBottom(with, plot) - blockBottom(without, plot), QFontMetrics(picture.legendFont).height());
}

void tst_GraphTargets::noTargetsNoChange()
{
    // Lines on or off, a run without targets is drawn the same, and a reach table without the
    // record's target rates draws nothing either.
    GraphSource on = flatRun({12000.f, 6000.f}, 20000);
    GraphSource off = on;
    off.settings.targetLines = false;
    GraphSource stray = on;
    stray.run.reach = withTargets().run.reach;
    const QImage reference = render(on);
    QCOMPARE(render(off), reference);
    QCOMPARE(render(stray), reference);
}

void tst_GraphTargets::textsNeverOverlap_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("smallest window") << QSize(550, 450);
    QTest::newRow("1600 x 1000 screen") << QSize(1500, 850);
}

// Ten falling curves close together with their letters, the target values, the conditions block
// and crowded reaches (two equal, one where a letter would sit): all drawn, none covers another.
void tst_GraphTargets::textsNeverOverlap()
{
    QFETCH(QSize, size);
    GraphSource source = flatRun({}, 24000);
    CalcSettings &calc = source.run.calc;
    calc.SNRMargin_points = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    calc.cableLengthTo = 4000;
    calc.cableLengthStep = 100;
    calc.targetRates = source.run.reach.targets = {2048, 8000};
    source.settings.markVisible = true;
    source.run.rows.clear();
    for (int length = 0; length <= 4000; length += 100) {
        source.run.rows.append(ResultRow{float(length), {}});
        for (int i = 0; i < 10; ++i)
            source.run.rows.last().rates << 24000.f * std::exp(-length / 1500.f) - 300.f * i;
    }
    const int lengths[] = {3690, 3480, 3300, 3140, 3000, 2860, 2740, 2630, 2520, 2430,
                           1640, 1590, 1590, 1480, 1390, 1340, 1290, 1250, 990, 1210};
    QStringList expected{QStringLiteral("2048"), QStringLiteral("8000")};
    for (int i = 0; i < 20; ++i) {
        if (i % 10 == 0)
            source.run.reach.reaches.append(QVector<Reach>());
        source.run.reach.reaches.last() << Reach{Reach::Length, lengths[i]};
        expected << QString::number(lengths[i]) << (i < 10 ? QString(QChar(u'a' + i)) : QString());
    }
    expected.removeAll(QString());

    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const QRect whole(QPoint(0, 0), size);
    const QVector<GraphText> texts = drawGraph(painter, whole, settleGraph(source, whole, painter, stamp));
    for (const GraphText &text : texts) {
        expected.removeOne(text.text);
        for (const GraphText &other : texts)
            QVERIFY2(&other == &text || !text.box.intersects(other.box), qPrintable(text.text + " covers " + other.text));
    }
    QVERIFY2(expected.isEmpty(), qPrintable(expected.join(QLatin1Char(' '))));
}

QTEST_MAIN(tst_GraphTargets)
#include "tst_graphtargets.moc"
