#include "graphfixture.h"

#include "report/graphoptions.h"

#include <QFontMetrics>
#include <QSpinBox>
#include <QtTest>

#include <limits>

class tst_GraphWidget : public QObject
{
    Q_OBJECT
private slots:
    void niceCeilingValues_data();
    void niceCeilingValues();
    void autoScale_data();
    void autoScale();
    void autoScaleShownInOptions();
    void blankBeforeFirstResult();
    void edgeGridLines_data();
    void edgeGridLines();
    void userScaleLabelStep_data();
    void userScaleLabelStep();
    void userScaleWidensCrowdedGrid();
    void userScaleSurvivesZeros();
    void markStepAdjusted_data();
    void markStepAdjusted();
    void marksOnSuccessiveRows();
    void marksHidden();
    void curveColoursAppear();
    void blackModeIsGrey();
    void allZeroResult();
    void twentyCurvesWrapPalette();
    void shortRowsDoNotCrash();
    void conditionsBlockLines_data();
    void conditionsBlockLines();
    void minimumSize();
    void wideRateLabelsAreNotCut_data();
    void wideRateLabelsAreNotCut();
};

void tst_GraphWidget::niceCeilingValues_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("round already") << 8000 << 8000;
    QTest::newRow("third digit rounds up") << 8123 << 8200;
    QTest::newRow("five digits") << 23456 << 24000;
    QTest::newRow("below 100 unchanged") << 99 << 99;
    QTest::newRow("exact 100") << 100 << 100;
    QTest::newRow("101") << 101 << 110;
    QTest::newRow("largest int does not overflow") << std::numeric_limits<int>::max()
                                                   << std::numeric_limits<int>::max();
}

void tst_GraphWidget::niceCeilingValues()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    QCOMPARE(niceCeiling(value), expected);
}

void tst_GraphWidget::autoScale_data()
{
    QTest::addColumn<int>("lengthTo");
    QTest::addColumn<float>("rate");
    QTest::addColumn<QVector<int>>("expected"); // the six axis fields in record order

    // Label steps from the 1-2-5 series, at most seven to an axis, the grid dividing them evenly.
    QTest::newRow("8000 m, 22000 kbit/s") << 8000 << 22000.f << QVector<int>{8000, 250, 2000, 22000, 1000, 5000};
    QTest::newRow("10000 m, 22222 kbit/s") << 10000 << 22222.f << QVector<int>{10000, 250, 2000, 23000, 1000, 5000};
    QTest::newRow("small maxima get a usable axis") << 3 << 3.f << QVector<int>{20, 1, 5, 20, 1, 5};
    QTest::newRow("57 kbit/s") << 8000 << 57.f << QVector<int>{8000, 250, 2000, 57, 1, 10};
    QTest::newRow("140000 kbit/s") << 8000 << 140000.f << QVector<int>{8000, 250, 2000, 140000, 2500, 20000};
}

void tst_GraphWidget::autoScale()
{
    QFETCH(int, lengthTo);
    QFETCH(float, rate);
    QFETCH(QVector<int>, expected);
    GraphFixture f;
    f.calc.cableLengthTo = lengthTo;
    f.calc.cableLengthStep = std::max(1, lengthTo / 8);
    f.setFlatCurves({rate});
    f.render();
    const GraphSettings &s = f.settings;
    QCOMPARE((QVector<int>{s.lengthMax, s.lengthGridStep, s.lengthLabelStep, s.rateMax, s.rateGridStep,
                           s.rateLabelStep}),
             expected);
}

void tst_GraphWidget::autoScaleShownInOptions()
{
    GraphFixture f;
    f.setFlatCurves({12000.f});
    f.render();
    GraphOptions options;
    options.showAxisSettings(f.settings);
    auto value = [&](const char *name) { return options.findChild<QSpinBox *>(QLatin1String(name))->value(); };
    QCOMPARE(value("lengthMaxBox"), 8000);
    QCOMPARE(value("lengthGridStepBox"), 250);
    QCOMPARE(value("lengthLabelStepBox"), 2000);
}

void tst_GraphWidget::blankBeforeFirstResult()
{
    GraphFixture f;
    const QImage image = f.draw();
    QCOMPARE(countColour(image, QColor(Qt::white).rgb()), image.width() * image.height());
    QCOMPARE(f.settings, GraphSettings());
}

void tst_GraphWidget::edgeGridLines_data()
{
    QTest::addColumn<int>("lengthMax");
    QTest::addColumn<int>("gridStep");
    QTest::addColumn<bool>("tickAtRightEdge");
    QTest::newRow("maximum equals grid step") << 8000 << 8000 << true;
    QTest::newRow("two grid steps") << 8000 << 4000 << true;
    QTest::newRow("grid step beyond the maximum") << 8000 << 9000 << false;
}

void tst_GraphWidget::edgeGridLines()
{
    QFETCH(int, lengthMax);
    QFETCH(int, gridStep);
    QFETCH(bool, tickAtRightEdge);
    GraphFixture f;
    f.setFlatCurves({5000.f});
    f.settings.lengthMax = lengthMax;
    f.settings.lengthGridStep = gridStep;
    f.settings.lengthLabelStep = gridStep;
    f.settings.rateMax = f.settings.rateGridStep = f.settings.rateLabelStep = 10000;
    const QImage image = f.render(GraphWidget::UserScale);
    const QRect plot = f.graph.plotArea();
    const QRgb black = QColor(Qt::black).rgb();
    // Ticks hang below the frame, where nothing else is drawn.
    QCOMPARE(image.pixel(plot.left(), plot.bottom() + 3), black);
    QCOMPARE(image.pixel(plot.right() + 1, plot.bottom() + 3) == black, tickAtRightEdge);
    // The same rule on the rate axis: its maximum's grid line lies just above the frame.
    const QRgb grid = f.graph.palette().color(QPalette::Dark).lighter(150).rgb();
    QCOMPARE(image.pixel(plot.center().x(), plot.top() - 1), grid);
}

void tst_GraphWidget::userScaleLabelStep_data()
{
    QTest::addColumn<int>("gridStep");
    QTest::addColumn<int>("labelStep");
    QTest::addColumn<int>("settledGrid");
    QTest::addColumn<int>("settledLabel");
    QTest::newRow("labels between grid lines kept") << 400 << 600 << 400 << 600;
    QTest::newRow("label below grid kept") << 400 << 300 << 400 << 300;
    QTest::newRow("label above maximum kept") << 400 << 9000 << 400 << 9000;
    QTest::newRow("grid above maximum kept") << 9000 << 9000 << 9000 << 9000;
    QTest::newRow("crowded label widened to 1-2-5") << 400 << 70 << 400 << 500;
    QTest::newRow("crowded grid widened to 1-2-5") << 3 << 2000 << 50 << 2000;
}

// Legible user steps are kept exactly, so labels read round values at their true positions; an
// illegible one becomes the next legible value of the 1-2-5 series.
void tst_GraphWidget::userScaleLabelStep()
{
    QFETCH(int, gridStep);
    QFETCH(int, labelStep);
    QFETCH(int, settledGrid);
    QFETCH(int, settledLabel);
    GraphFixture f;
    f.graph.resize(1200, 900); // a plot 1130 pixels wide: 8000 m take four digits and a gap
    f.setFlatCurves({5000.f});
    f.settings.lengthMax = 8000;
    f.settings.lengthGridStep = gridStep;
    f.settings.lengthLabelStep = labelStep;
    f.render(GraphWidget::UserScale);
    QCOMPARE(f.settings.lengthGridStep, settledGrid);
    QCOMPARE(f.settings.lengthLabelStep, settledLabel);
}

// A crowded request is widened to the first 1-2-5 value whose labels stand a digit apart and
// whose grid lines do not merge, on a small window as in a setup asking for labels every metre.
void tst_GraphWidget::userScaleWidensCrowdedGrid()
{
    GraphFixture f;
    f.graph.resize(550, 450);
    f.setFlatCurves({5000.f});
    f.settings.lengthMax = 30000;
    f.settings.lengthGridStep = f.settings.lengthLabelStep = 1;
    f.settings.rateMax = 100000;
    f.settings.rateGridStep = f.settings.rateLabelStep = 10;
    QImage probe(f.graph.size(), QImage::Format_RGB32);
    const QFontMetrics metrics = QPainter(&probe).fontMetrics();
    f.render(GraphWidget::UserScale);
    QCOMPARE(f.graph.plotArea().size(), QSize(480, 420));
    // Legible, and the 1-2-5 value below each is not.
    const int label = metrics.horizontalAdvance(QStringLiteral("30000")) + metrics.horizontalAdvance(QLatin1Char('0'));
    const int line = metrics.height() * 5 / 4;
    for (const auto &[step, expected, below, scale, needed] :
         {std::tuple{f.settings.lengthGridStep, 500, 200, 480.0 / 30000, 5},
          {f.settings.lengthLabelStep, 5000, 2000, 480.0 / 30000, label},
          {f.settings.rateGridStep, 2000, 1000, 420.0 / 100000, 5},
          {f.settings.rateLabelStep, 5000, 2000, 420.0 / 100000, line}}) {
        QCOMPARE(step, expected);
        QVERIFY(step * scale >= needed && below * scale < needed);
    }
}

void tst_GraphWidget::userScaleSurvivesZeros()
{
    GraphFixture f;
    f.setFlatCurves({5000.f});
    f.settings.lengthMax = f.settings.lengthGridStep = f.settings.lengthLabelStep = 0;
    f.settings.rateMax = f.settings.rateGridStep = f.settings.rateLabelStep = 0;
    f.settings.markStep = 0;
    f.render(GraphWidget::UserScale);
    QVERIFY(f.settings.lengthMax >= 1 && f.settings.lengthGridStep >= 1 && f.settings.lengthLabelStep >= 1);
    QVERIFY(f.settings.rateMax >= 1 && f.settings.rateGridStep >= 1 && f.settings.rateLabelStep >= 1);
    QVERIFY(f.settings.markStep >= 1);
}

void tst_GraphWidget::markStepAdjusted_data()
{
    QTest::addColumn<int>("markStep");
    QTest::addColumn<int>("lengthStep");
    QTest::addColumn<int>("expected");
    QTest::newRow("rounded down to a step multiple") << 1500 << 1000 << 1000;
    QTest::newRow("2500 becomes 2000") << 2500 << 1000 << 2000;
    QTest::newRow("below the step raised") << 300 << 1000 << 1000;
    QTest::newRow("a multiple kept") << 3000 << 1000 << 3000;
}

void tst_GraphWidget::markStepAdjusted()
{
    QFETCH(int, markStep);
    QFETCH(int, lengthStep);
    QFETCH(int, expected);
    GraphFixture f;
    f.calc.cableLengthStep = lengthStep;
    f.setFlatCurves({5000.f});
    f.settings.markStep = markStep;
    f.render();
    QCOMPARE(f.settings.markStep, expected);
}

// A mark is a framed box: a vertical run of the curve's colour taller than any flat curve.
static bool markNear(const QImage &image, int cx, int cy, QRgb colour)
{
    for (int x = std::max(0, cx - 20); x < std::min(image.width(), cx + 20); ++x) {
        int run = 0;
        for (int y = std::max(0, cy - 20); y < std::min(image.height(), cy + 20); ++y) {
            run = image.pixel(x, y) == colour ? run + 1 : 0;
            if (run >= 8)
                return true;
        }
    }
    return false;
}

void tst_GraphWidget::marksOnSuccessiveRows()
{
    GraphFixture f;
    const QVector<float> rates{20000.f, 15000.f, 10000.f, 5000.f};
    f.setFlatCurves(rates);
    f.settings.markStep = 2500; // settles at 2000: rows 2, 4, 6, 8
    const QImage image = f.render();
    for (int curve = 1; curve < rates.size(); ++curve) {
        const QRgb colour = GraphWidget::curveColor(curve).rgb();
        for (int row = 1; row <= 8; ++row) {
            const bool expected = row == 2 * (curve + 1);
            QVERIFY2(markNear(image, f.lengthX(row * 1000.f), f.rateY(rates.at(curve)), colour) == expected,
                     qPrintable(QStringLiteral("curve %1 row %2").arg(curve).arg(row)));
        }
    }
}

void tst_GraphWidget::marksHidden()
{
    GraphFixture f;
    const QVector<float> rates{20000.f, 15000.f, 10000.f};
    f.setFlatCurves(rates);
    f.settings.markVisible = false;
    const QImage image = f.render();
    for (int curve = 1; curve < rates.size(); ++curve)
        for (int row = 1; row <= 8; ++row)
            QVERIFY(!markNear(image, f.lengthX(row * 1000.f), f.rateY(rates.at(curve)),
                              GraphWidget::curveColor(curve).rgb()));
}

static QVector<float> spreadRates(int curves, float top)
{
    QVector<float> rates;
    for (int i = 0; i < curves; ++i)
        rates << top * float(curves - i) / float(curves + 1);
    return rates;
}

void tst_GraphWidget::curveColoursAppear()
{
    GraphFixture f;
    const QVector<float> rates = spreadRates(GraphWidget::paletteSize, 22000.f);
    f.setFlatCurves(rates);
    f.calc.maxRate = 22000;
    f.settings.markVisible = false;
    const QImage image = f.render();
    for (int curve = 0; curve < rates.size(); ++curve) {
        const int onLine = countColour(image, GraphWidget::curveColor(curve).rgb(), f.rateY(rates.at(curve)));
        QVERIFY2(onLine > f.graph.plotArea().width() / 2, qPrintable(QStringLiteral("curve %1").arg(curve)));
    }
}

void tst_GraphWidget::blackModeIsGrey()
{
    GraphFixture f;
    f.calc.xDSL_points = {1, 2, 3, 4, 5};
    f.setFlatCurves(spreadRates(5, 22000.f));
    f.settings.colorCurves = false;
    const QImage image = f.render();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            QVERIFY2(c.red() == c.green() && c.green() == c.blue(),
                     qPrintable(QStringLiteral("colour at %1,%2").arg(x).arg(y)));
            dark += c.red() == 0;
        }
    }
    QVERIFY(dark > 5 * f.graph.plotArea().width() / 2);
}

void tst_GraphWidget::allZeroResult()
{
    GraphFixture f;
    f.setFlatCurves({0.f, 0.f});
    QCOMPARE(f.calc.maxRate, 0);
    const QImage image = f.render();
    QVERIFY(f.settings.rateMax > 0 && f.settings.rateGridStep > 0 && f.settings.rateLabelStep > 0);
    // Both curves lie on the bottom of the plot; the second is drawn over the first.
    QVERIFY(countColour(image, GraphWidget::curveColor(1).rgb(), f.graph.plotArea().bottom())
            > f.graph.plotArea().width() / 2);
}

void tst_GraphWidget::twentyCurvesWrapPalette()
{
    GraphFixture f;
    f.graph.resize(800, 1200);
    const QVector<float> rates = spreadRates(20, 22000.f);
    f.setFlatCurves(rates);
    f.calc.maxRate = 22000;
    f.settings.markVisible = false;
    const QImage image = f.render();
    QCOMPARE(GraphWidget::curveColor(15), GraphWidget::curveColor(1));
    for (int curve = 14; curve < 20; ++curve) {
        const QRgb colour = GraphWidget::curveColor(curve - GraphWidget::paletteSize).rgb();
        QVERIFY2(countColour(image, colour, f.rateY(rates.at(curve))) > f.graph.plotArea().width() / 2,
                 qPrintable(QStringLiteral("curve %1").arg(curve)));
    }
}

void tst_GraphWidget::shortRowsDoNotCrash()
{
    GraphFixture f;
    f.setFlatCurves({10000.f, 5000.f});
    f.rows[3].rates.resize(1);
    f.rows[5].rates.clear();
    const QImage image = f.render();
    QVERIFY(countColour(image, GraphWidget::curveColor(1).rgb(), f.rateY(5000.f)) > 0);
}

void tst_GraphWidget::conditionsBlockLines_data()
{
    QTest::addColumn<QStringList>("lineTypes");
    QTest::addColumn<int>("lines");
    // title, cable, capacity, load, margin, noise, date = 7, plus line types and norm groups
    QTest::newRow("DMT: ELFEXT frequency and norm") << QStringList{"L1.DMT"} << 7 + 1 + 2;
    QTest::newRow("PAM: NEXT frequency and two norms") << QStringList{"S1.PAM"} << 7 + 1 + 3;
    QTest::newRow("DMT and PAM: both groups") << QStringList{"L1.DMT", "S1.PAM"} << 7 + 2 + 2 + 3;
    QTest::newRow("neither kind: read as PAM, as the calculation reads it") << QStringList{"X1.txt"} << 7 + 1 + 3;
}

void tst_GraphWidget::conditionsBlockLines()
{
    QFETCH(QStringList, lineTypes);
    QFETCH(int, lines);
    GraphFixture f;
    f.calc.lineTypes = lineTypes;
    f.calc.Norm_NEXT_points = {12, 14};
    f.setFlatCurves(QVector<float>(lineTypes.size(), 2000.f));
    f.calc.maxRate = 22000;
    const QImage image = f.render();
    const QRect plot = f.graph.plotArea();
    const int lineHeight = QFontMetrics(QFont(QStringLiteral("Times"), f.settings.legendFontSize), &image).height();
    // Follow the frame's top edge leftwards from its right end to its left edge, then down:
    // one line more than the block holds.
    const QRgb black = QColor(Qt::black).rgb();
    int x = plot.right() - 12;
    const int top = plot.top() + 20;
    QCOMPARE(image.pixel(x, top), black);
    while (x > 0 && image.pixel(x - 1, top) == black)
        --x;
    int y = top;
    while (y < image.height() && image.pixel(x, y) == black)
        ++y;
    QCOMPARE(y - (plot.top() + 20), (lines + 1) * lineHeight);
}

void tst_GraphWidget::minimumSize()
{
    GraphWidget graph;
    graph.resize(100, 100);
    QCOMPARE(graph.size(), QSize(550, 450));
}

void tst_GraphWidget::wideRateLabelsAreNotCut_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::newRow("9 pt, six-digit labels") << 9;
    QTest::newRow("14 pt, five and six digits") << 14;
}

// A label wider than the 40 pixels left of the axis must not lose its leading digits.
void tst_GraphWidget::wideRateLabelsAreNotCut()
{
    QFETCH(int, pointSize);
    GraphFixture f;
    f.setFlatCurves({140000.f});
    f.settings.markVisible = false;
    f.graph.setResult(&f.rows, &f.calc, GraphWidget::AutoScale);
    QImage image(f.graph.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), pointSize));
    f.graph.drawGraph(painter);
    painter.end();

    const int step = f.settings.rateLabelStep;
    const QRect plot = f.graph.plotArea();
    for (int value = step; value < 140000; value += step) {
        const int y = f.rateY(float(value));
        int inkInside = 0, inkAtEdge = 0;
        for (int row = y - 10; row < y + 10; ++row) {
            for (int x = 0; x < plot.left() - 10; ++x) {
                const bool dark = QColor(image.pixel(x, row)).lightness() < 160;
                (x < 2 ? inkAtEdge : inkInside) += dark;
            }
        }
        QVERIFY2(inkInside > 10, qPrintable(QStringLiteral("label %1 not drawn").arg(value)));
        QVERIFY2(inkAtEdge == 0, qPrintable(QStringLiteral("label %1 runs into the edge").arg(value)));
    }
}

QTEST_MAIN(tst_GraphWidget)
#include "tst_graphwidget.moc"
