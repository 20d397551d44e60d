#include "drawing/templateplot.h"

#include "pixels.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>

namespace {

using Rows = QVector<QVector<double>>;

// A point of the picture: a frequency and a value on the left axis (or the right one), and the
// colour drawn there; an invalid colour: no curve passes.
struct Probe {
    double f;
    double value;
    bool right;
    QColor colour;
};

const double Gap = std::nan("");

} // namespace

Q_DECLARE_METATYPE(Rows)
Q_DECLARE_METATYPE(QVector<Probe>)

class tst_TemplatePlot : public QObject
{
    Q_OBJECT

private slots:
    void curvesAtTheirValues_data();
    void curvesAtTheirValues();
};

void tst_TemplatePlot::curvesAtTheirValues_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QVector<Probe>>("probes");
    using namespace TemplatePlotColors;
    QTest::newRow("cable attenuation")
        << int(CableAttenuation) << Rows{{0, 0}, {1000, 20}, {2000, 40}}
        << QVector<Probe>{{500, 10, false, Attenuation}, {1500, 30, false, Attenuation}, {500, 30, false, {}}};
    // A row without a number is a hole in the line, not a straight line across it.
    QTest::newRow("gap in the values")
        << int(CableAttenuation) << Rows{{0, 0}, {1000, Gap}, {2000, 40}, {3000, 60}}
        << QVector<Probe>{{1000, 20, false, {}}, {2500, 50, false, Attenuation}};
    QTest::newRow("gap in the frequencies")
        << int(AdditiveNoise) << Rows{{0, -100}, {Gap, -110}, {2000, -120}}
        << QVector<Probe>{{1000, -110, false, {}}, {0, -100, false, Noise}};
    QTest::newRow("dmt: bit cap on the right axis")
        << int(LineTypeDmt) << Rows{{0, -40, 15, -140}, {2000, -40, 15, -140}}
        << QVector<Probe>{{1000, -40, false, Transmit}, {1000, -140, false, OwnNoise}, {1000, 15, true, BitCap}};
    QTest::newRow("dmt without rows") << int(LineTypeDmt) << Rows{} << QVector<Probe>{};
}

void tst_TemplatePlot::curvesAtTheirValues()
{
    QFETCH(int, kind);
    QFETCH(Rows, rows);
    QFETCH(QVector<Probe>, probes);
    QImage image(700, 450, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const TemplatePlotValues values = templatePlotValues(TemplateKind(kind), rows);
    const TemplateChart chart = settleTemplateChart(values, image.rect(), painter.fontMetrics());
    drawTemplateChart(painter, chart, values);
    painter.end();
    for (const Probe &p : std::as_const(probes)) {
        const QPointF at(chart.xAt(p.f), p.right ? chart.rightAt(p.value) : chart.leftAt(p.value));
        const QString where = QStringLiteral("%1 kHz, %2").arg(p.f).arg(p.value);
        if (p.colour.isValid()) {
            QVERIFY2(around(image, at, p.colour, 1) > 0, qPrintable(where));
        } else {
            for (const TemplateCurve &curve : values.curves)
                QVERIFY2(around(image, at, curve.color, 3) == 0, qPrintable(where));
        }
    }
}

QTEST_MAIN(tst_TemplatePlot)
#include "tst_templateplot.moc"
