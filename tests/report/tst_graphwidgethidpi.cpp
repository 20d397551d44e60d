#include "graphfixture.h"

#include <QClipboard>
#include <QtTest>

// Before the application object exists: every screen reports a device pixel ratio of 2.
static const bool scaled = qputenv("QT_SCALE_FACTOR", "2");

class tst_GraphWidgetHiDpi : public QObject
{
    Q_OBJECT
private slots:
    void pixmapInDevicePixels();
    void copyInDevicePixels();
};

void tst_GraphWidgetHiDpi::pixmapInDevicePixels()
{
    QVERIFY(scaled);
    GraphFixture f;
    f.graph.resize(600, 500);
    f.graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.graph));
    if (f.graph.devicePixelRatioF() != 2.0)
        QSKIP("the platform ignores QT_SCALE_FACTOR");
    f.setFlatCurves({10000.f, 5000.f});
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);

    const QPixmap &pixmap = f.graph.graphPixmap();
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    QCOMPARE(pixmap.size(), QSize(1200, 1000));
    // The drawing fills the whole pixmap: the curve's row is at twice its logical position.
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb colour = GraphWidget::curveColor(1).rgb();
    QVERIFY(countColour(image, colour, 2 * f.rateY(5000.f)) + countColour(image, colour, 2 * f.rateY(5000.f) + 1)
            > f.graph.plotArea().width());
}

// The copy is as sharp as the screen: the window's size times the device pixel ratio.
void tst_GraphWidgetHiDpi::copyInDevicePixels()
{
    GraphFixture f;
    f.graph.resize(600, 500);
    f.graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.graph));
    if (f.graph.devicePixelRatioF() != 2.0)
        QSKIP("the platform ignores QT_SCALE_FACTOR");
    f.setFlatCurves({10000.f, 5000.f});
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    QApplication::clipboard()->clear();
    f.graph.copyGraph();
    const QImage copied = QApplication::clipboard()->image();
    QCOMPARE(copied.size(), QSize(1200, 1000));
    QCOMPARE(copied.devicePixelRatio(), 2.0);
}

QTEST_MAIN(tst_GraphWidgetHiDpi)
#include "tst_graphwidgethidpi.moc"
