// The widget draws its own copy of a run, and the user's axes survive redraws and resizes.

#include "graphfixture.h"

#include <QtTest>

namespace {

QVector<int> axes(const GraphSettings &s)
{
    return {s.lengthMax, s.lengthGridStep, s.lengthLabelStep, s.rateMax, s.rateGridStep, s.rateLabelStep};
}

void setAxes(GraphSettings &s, const QVector<int> &values)
{
    s.lengthMax = values.at(0);
    s.lengthGridStep = values.at(1);
    s.lengthLabelStep = values.at(2);
    s.rateMax = values.at(3);
    s.rateGridStep = values.at(4);
    s.rateLabelStep = values.at(5);
}

// Resizes the shown widget and waits until its picture has been redrawn at the new size.
bool resizeAndRedraw(GraphWidget &graph, const QSize &size)
{
    graph.resize(size);
    return QTest::qWaitFor([&] { return graph.graphPixmap().size() == size * graph.devicePixelRatioF(); });
}

} // namespace

class tst_GraphWidgetScale : public QObject
{
    Q_OBJECT
private slots:
    void userAxesDoNotErode_data();
    void userAxesDoNotErode();
    void screenShowsItsPicture();
    void copiesOutliveTheCallersRecords();
};

void tst_GraphWidgetScale::userAxesDoNotErode_data()
{
    QTest::addColumn<QVector<int>>("request"); // the six axis fields in record order
    QTest::addColumn<QSize>("original");
    QTest::newRow("crowded grids, widened by a different amount at every size")
        << QVector<int>{30000, 100, 700, 100000, 10, 70} << QSize(800, 600);
    QTest::newRow("steps crowded only on small windows")
        << QVector<int>{8000, 100, 300, 8000, 40, 300} << QSize(1200, 900);
    QTest::newRow("rate labels crowded only on short windows")
        << QVector<int>{8000, 2000, 2000, 100000, 2000, 4000} << QSize(800, 600);
}

// Every drawing settles from what the user asked for, not from what the drawing before it
// wrote back: after any number of resizes (and exports in between) the original size shows
// the values the first drawing settled on.
void tst_GraphWidgetScale::userAxesDoNotErode()
{
    QFETCH(QVector<int>, request);
    QFETCH(QSize, original);
    GraphFixture f;
    f.graph.resize(original);
    f.graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.graph));
    QVERIFY(resizeAndRedraw(f.graph, original));
    f.setFlatCurves({5000.f});
    setAxes(f.settings, request);
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::UserScale);
    const QVector<int> first = axes(f.settings);

    bool changedOnTheWay = false;
    for (int i = 0; i < 20; ++i) {
        const QSize size = i % 2 ? QSize(1500, 1100) : QSize(550, 450);
        QVERIFY2(resizeAndRedraw(f.graph, size), qPrintable(QStringLiteral("resize %1").arg(i)));
        changedOnTheWay = changedOnTheWay || axes(f.settings) != first;
        f.draw(); // an export at this size
    }
    QVERIFY2(changedOnTheWay, "the sizes on the way must settle differently, or nothing is tested");

    QVERIFY(resizeAndRedraw(f.graph, original));
    const QVector<int> settled = axes(f.settings);
    const char *names[] = {"lengthMax", "lengthGridStep", "lengthLabelStep", "rateMax", "rateGridStep",
                           "rateLabelStep"};
    for (int i = 0; i < 6; ++i)
        QVERIFY2(settled.at(i) == first.at(i), qPrintable(QStringLiteral("%1: %2 after the resizes, %3 at first")
                                                              .arg(QLatin1String(names[i]))
                                                              .arg(settled.at(i))
                                                              .arg(first.at(i))));
    QCOMPARE(axes(f.graph.shownPicture().settings), first);
    // Also after a redraw that nothing asked for.
    f.graph.redraw();
    QCOMPARE(axes(f.settings), first);
}

// The pixmap on screen is exactly drawGraph of the values the widget reports.
void tst_GraphWidgetScale::screenShowsItsPicture()
{
    GraphFixture f;
    f.setFlatCurves({18000.f, 12000.f, 6000.f});
    f.settings.markStep = 2000;
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    const GraphPicture &shown = f.graph.shownPicture();
    QCOMPARE(axes(shown.settings), axes(f.settings));
    QCOMPARE(shown.settings.markStep, f.settings.markStep);
    QCOMPARE(shown.run.rows, f.rows);
    QCOMPARE(shown.run.calc, f.calc);
    QCOMPARE(shown.axisFont, f.graph.font());

    QImage image(f.graph.size(), QImage::Format_RGB32);
    image.fill(QColor(Qt::white).rgb());
    QPainter painter(&image);
    drawGraph(painter, f.graph.rect(), shown);
    painter.end();
    QCOMPARE(f.graph.graphPixmap().toImage().convertToFormat(QImage::Format_RGB32), image);
}

// The caller refills its records in place for the next run before it hands them over again:
// until then the graph keeps drawing the run it was given.
void tst_GraphWidgetScale::copiesOutliveTheCallersRecords()
{
    GraphFixture f;
    f.setFlatCurves({12000.f, 8000.f});
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    f.setFlatCurves({3000.f, 1000.f});
    f.calc.cableLengthTo = 4000;
    f.calc.cableLengthStep = 500;

    f.graph.resize(840, 630);
    f.graph.redraw(); // what a resize of the shown window does
    QCOMPARE(f.settings.lengthMax, 8000);
    QCOMPARE(f.settings.rateMax, 12000);
    QCOMPARE(f.settings.markStep, 1000);
    const QRgb colour = GraphWidget::curveColor(1).rgb();
    const QImage screen = f.graph.graphPixmap().toImage().convertToFormat(QImage::Format_RGB32);
    QVERIFY(countColour(screen, colour, f.rateY(8000.f)) > f.graph.plotArea().width() / 2);
    const QImage exported = f.draw();
    QVERIFY(countColour(exported, colour, f.rateY(8000.f)) > f.graph.plotArea().width() / 2);
}

QTEST_MAIN(tst_GraphWidgetScale)
#include "tst_graphwidgetscale.moc"
