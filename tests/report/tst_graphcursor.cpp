// Reading values off the graph: the numbers, the overlay drawn over the shown picture, the
// click that names a result row, and the graph copied to the clipboard.

#include "graphfixture.h"

#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<double>)

namespace {

// Rows at 0, 1000 and 2000 m with two curves; the second lacks a value in the last row.
ResultSet threeRows()
{
    return {ResultRow{0.f, {10000.f, 5000.f}}, ResultRow{1000.f, {8000.f, 4500.5f}}, ResultRow{2000.f, {2000.f}}};
}

// A move as the window system delivers it, without a pressed button.
void moveTo(QWidget *widget, const QPoint &at)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// Pixels of `colour` in column x between rows `top` and `bottom`.
int columnCount(const QImage &image, int x, int top, int bottom, QRgb colour)
{
    int count = 0;
    for (int y = top; y <= bottom; ++y)
        count += image.pixel(x, y) == colour;
    return count;
}

// Pixels close to `colour` (text is anti-aliased) inside `box`.
int colourIn(const QImage &image, const QRect &box, const QColor &colour)
{
    int count = 0;
    for (int y = std::max(0, box.top()); y <= std::min(image.height() - 1, box.bottom()); ++y) {
        for (int x = std::max(0, box.left()); x <= std::min(image.width() - 1, box.right()); ++x) {
            const QColor pixel(image.pixel(x, y));
            count += std::abs(pixel.red() - colour.red()) < 40 && std::abs(pixel.green() - colour.green()) < 40
                && std::abs(pixel.blue() - colour.blue()) < 40;
        }
    }
    return count;
}

} // namespace

class tst_GraphCursor : public QObject
{
    Q_OBJECT
private slots:
    void rateAt_data();
    void rateAt();
    void nearestRow_data();
    void nearestRow();
    void readoutText_data();
    void readoutText();
    void lengthAtInvertsThePoint();

    void overlayFollowsTheMouse_data();
    void overlayFollowsTheMouse();
    void leavingClearsTheOverlay();
    void clickNamesTheNearestRow_data();
    void clickNamesTheNearestRow();
    void copyPutsTheShownGraph();
    void copyBeforeAResultLeavesTheClipboard();
};

void tst_GraphCursor::rateAt_data()
{
    QTest::addColumn<int>("curve");
    QTest::addColumn<double>("length");
    QTest::addColumn<std::optional<double>>("expected");
    QTest::newRow("a computed point exactly") << 0 << 1000.0 << std::optional<double>(8000.0);
    QTest::newRow("the first point") << 1 << 0.0 << std::optional<double>(5000.0);
    QTest::newRow("a quarter of the way") << 0 << 250.0 << std::optional<double>(9500.0);
    QTest::newRow("between the last two points") << 0 << 1500.0 << std::optional<double>(5000.0);
    QTest::newRow("float value kept") << 1 << 1000.0 << std::optional<double>(4500.5);
    QTest::newRow("before the first length") << 0 << -1.0 << std::optional<double>();
    QTest::newRow("past the last length") << 0 << 2000.5 << std::optional<double>();
    QTest::newRow("a row without the curve") << 1 << 1500.0 << std::optional<double>();
    QTest::newRow("no such curve") << 2 << 500.0 << std::optional<double>();
}

void tst_GraphCursor::rateAt()
{
    QFETCH(int, curve);
    QFETCH(double, length);
    QFETCH(std::optional<double>, expected);
    QCOMPARE(graphRateAt(threeRows(), curve, length), expected);
}

void tst_GraphCursor::nearestRow_data()
{
    QTest::addColumn<double>("length");
    QTest::addColumn<int>("row");
    QTest::newRow("on a row") << 1000.0 << 1;
    QTest::newRow("just past halfway") << 1500.5 << 2;
    QTest::newRow("halfway: the earlier row") << 500.0 << 0;
    QTest::newRow("far past the end") << 9000.0 << 2;
    QTest::newRow("before the start") << -300.0 << 0;
}

void tst_GraphCursor::nearestRow()
{
    QFETCH(double, length);
    QFETCH(int, row);
    QCOMPARE(nearestGraphRow(threeRows(), length), row);
    QCOMPARE(nearestGraphRow(ResultSet(), length), -1);
}

void tst_GraphCursor::readoutText_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("text");
    // Whole kbit/s, rounded.
    QTest::newRow("both curves") << 1000 << "L=1000 м: a 8000, b 4501 кбит/с";
    QTest::newRow("between points") << 333 << "L=333 м: a 9334, b 4834 кбит/с";
    QTest::newRow("one curve ends") << 1500 << "L=1500 м: a 5000, b — кбит/с";
}

void tst_GraphCursor::readoutText()
{
    QFETCH(int, length);
    QFETCH(QString, text);
    GraphRun run;
    run.rows = threeRows();
    QCOMPARE(graphReadoutText(graphReadout(run, length)), text);
}

void tst_GraphCursor::lengthAtInvertsThePoint()
{
    const QRect plot = graphPlotRect(QRect(0, 0, 800, 600));
    GraphSettings settled;
    settled.lengthMax = 8000;
    settled.rateMax = 20000;
    for (float length : {0.f, 1250.f, 8000.f}) {
        const QPointF at = graphPoint(plot, settled, length, 0.f);
        QVERIFY(std::abs(graphLengthAt(plot, settled, at.x()) - length) < 0.01);
    }
}

void tst_GraphCursor::overlayFollowsTheMouse_data()
{
    QTest::addColumn<float>("length");
    QTest::addColumn<bool>("boxOnTheRight");
    QTest::newRow("box right of the line") << 3000.f << true;
    QTest::newRow("near the right edge: box on the left") << 7900.f << false;
}

void tst_GraphCursor::overlayFollowsTheMouse()
{
    QFETCH(float, length);
    QFETCH(bool, boxOnTheRight);
    GraphFixture f;
    f.settings.markVisible = false;
    f.setFlatCurves({10000.f, 5000.f});
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    f.graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.graph));
    const qint64 pixmapKey = f.graph.graphPixmap().cacheKey();
    QSignalSpy readouts(&f.graph, &GraphWidget::readoutChanged);

    const QRect plot = f.graph.plotArea();
    const int x = f.lengthX(length) + 1;
    moveTo(&f.graph, QPoint(x, plot.center().y()));
    QCOMPARE(f.graph.cursorX(), x);
    QCOMPARE(readouts.count(), 1);
    const int shownLength = qRound(graphLengthAt(plot, f.settings, x));
    QCOMPARE(readouts.last().at(0).toString(), QStringLiteral("L=%1 м: a 10000, b 5000 кбит/с").arg(shownLength));
    QCOMPARE(f.graph.readoutText(), readouts.last().at(0).toString());

    const QImage image = f.graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The pixmap is not redrawn for the overlay; the overlay is painted over it.
    QCOMPARE(f.graph.graphPixmap().cacheKey(), pixmapKey);
    const QRgb line = graphCursorColor().rgb();
    QVERIFY(columnCount(image, x, plot.top(), plot.bottom(), line) > plot.height() * 3 / 4);
    // One line only (the box's frame, near the top, has its colour too).
    const int belowBox = plot.top() + plot.height() / 2;
    QCOMPARE(columnCount(image, x - 40, belowBox, plot.bottom(), line), 0);
    QCOMPARE(columnCount(image, x + 40, belowBox, plot.bottom(), line), 0);
    QCOMPARE(columnCount(image, plot.left() + 5, plot.top(), plot.bottom(), line), 0);

    // A dot where the line meets each curve, and the box beside the line with each curve's
    // text in its colour.
    QVERIFY(colourIn(image, QRect(x - 3, f.rateY(5000.f) - 3, 7, 7), GraphWidget::curveColor(1)) > 8);
    const QRect side = boxOnTheRight ? QRect(x + 2, plot.top(), 200, 100) : QRect(x - 202, plot.top(), 200, 100);
    const QRect other = boxOnTheRight ? QRect(x - 202, plot.top(), 200, 100) : QRect(x + 2, plot.top(), 200, 100);
    QVERIFY(colourIn(image, side, GraphWidget::curveColor(1)) > 10);
    QCOMPARE(colourIn(image.copy(other.intersected(plot.adjusted(1, 1, -1, -1))), QRect(0, 0, 200, 100),
                      GraphWidget::curveColor(1)),
             0);
}

void tst_GraphCursor::leavingClearsTheOverlay()
{
    GraphFixture f;
    f.setFlatCurves({10000.f, 5000.f});
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    f.graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.graph));
    QSignalSpy readouts(&f.graph, &GraphWidget::readoutChanged);
    const QRect plot = f.graph.plotArea();
    const int x = f.lengthX(2000.f) + 3;
    moveTo(&f.graph, QPoint(x, plot.center().y()));
    QCOMPARE(readouts.count(), 1);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&f.graph, &leave);
    QCOMPARE(f.graph.cursorX(), -1);
    QCOMPARE(readouts.count(), 2);
    QCOMPARE(readouts.last().at(0).toString(), QString());
    const QImage image = f.graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(columnCount(image, x, plot.top(), plot.bottom(), graphCursorColor().rgb()), 0);
    QCOMPARE(image, f.graph.graphPixmap().toImage().convertToFormat(QImage::Format_RGB32));

    // Off the plot (over the axis labels) is the same as away.
    moveTo(&f.graph, QPoint(x, plot.center().y()));
    moveTo(&f.graph, QPoint(plot.left() - 20, plot.center().y()));
    QCOMPARE(f.graph.cursorX(), -1);
    QCOMPARE(readouts.last().at(0).toString(), QString());
    // A new result takes the read-out away until the mouse moves again.
    moveTo(&f.graph, QPoint(x, plot.center().y()));
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    QCOMPARE(f.graph.cursorX(), -1);
}

void tst_GraphCursor::clickNamesTheNearestRow_data()
{
    QTest::addColumn<float>("length");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("row"); // -1: no signal
    QTest::newRow("on a computed length") << 3000.f << Qt::LeftButton << 3;
    QTest::newRow("just short of the next") << 3800.f << Qt::LeftButton << 4;
    QTest::newRow("just past one") << 4200.f << Qt::LeftButton << 4;
    QTest::newRow("right button: the context menu's") << 3000.f << Qt::RightButton << -1;
    QTest::newRow("below the axis") << -1.f << Qt::LeftButton << -1;
}

void tst_GraphCursor::clickNamesTheNearestRow()
{
    QFETCH(float, length);
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, row);
    GraphFixture f;
    f.setFlatCurves({10000.f, 5000.f});
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    f.graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.graph));
    f.graph.setContextMenuPolicy(Qt::NoContextMenu);
    QSignalSpy clicked(&f.graph, &GraphWidget::rowClicked);
    const QRect plot = f.graph.plotArea();
    const QPoint at = length < 0 ? QPoint(f.lengthX(3000.f), plot.bottom() + 10) : QPoint(f.lengthX(length), plot.center().y());
    QTest::mouseClick(&f.graph, button, Qt::NoModifier, at);
    if (row < 0) {
        QCOMPARE(clicked.count(), 0);
        return;
    }
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.first().at(0).toInt(), row);
}

void tst_GraphCursor::copyPutsTheShownGraph()
{
    GraphFixture f;
    f.setFlatCurves({10000.f, 5000.f});
    f.graph.resize(700, 520);
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    f.graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.graph));
    // The read-out is not part of the copy.
    moveTo(&f.graph, QPoint(f.lengthX(2000.f) + 1, f.graph.plotArea().center().y()));
    QVERIFY(f.graph.cursorX() > 0);
    QApplication::clipboard()->clear();
    f.graph.copyGraph();
    const QImage copied = QApplication::clipboard()->image();
    QVERIFY(QApplication::clipboard()->mimeData()->hasImage());
    const qreal ratio = f.graph.devicePixelRatioF();
    QCOMPARE(copied.size(), QSize(700, 520) * ratio);
    QCOMPARE(copied.convertToFormat(QImage::Format_RGB32),
             f.graph.graphPixmap().toImage().convertToFormat(QImage::Format_RGB32));
    const int y = f.rateY(5000.f);
    QVERIFY(countColour(copied.convertToFormat(QImage::Format_RGB32), GraphWidget::curveColor(1).rgb(), y)
            > f.graph.plotArea().width() / 2);
}

void tst_GraphCursor::copyBeforeAResultLeavesTheClipboard()
{
    GraphWidget graph;
    QApplication::clipboard()->setText(QStringLiteral("earlier"));
    graph.copyGraph();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("earlier"));
    QVERIFY(graph.graphImage().isNull());
}

QTEST_MAIN(tst_GraphCursor)
#include "tst_graphcursor.moc"
