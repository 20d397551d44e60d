#include "drawing/measuredchart.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QtTest>

class tst_MeasuredChart : public QObject
{
    Q_OBJECT

private slots:
    void quantitiesWhereTheirAxesPutThem();
};

// The sample line's group 29 (tones 232..239): Hlog -22.5 dB, SNR 9.5 dB, QLN -120 dBm/Hz; its
// groups 0..3 hold no measurement.
void tst_MeasuredChart::quantitiesWhereTheirAxesPutThem()
{
    QFile file(QStringLiteral(KOLVANE_SOURCE_DIR "/samples/measured/measured-b.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString error;
    const std::optional<Measured::Measurement> m = Measured::parse({file.readAll()}, {QStringLiteral("b")}, {}, &error);
    QVERIFY2(m, qPrintable(error));
    QImage image(900, 500, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const MeasuredChart c = settleMeasuredChart(*m, image.rect(), painter.fontMetrics());
    drawMeasuredChart(painter, c, *m);
    painter.end();
    const auto seen = [&](double kHz, const ChartAxis &axis, double value, const QColor &color) {
        const int x = int(c.x.xIn(c.plot, kHz)), y = int(std::lround(axis.yIn(c.plot, value)));
        for (int dy = -2; dy <= 2; ++dy)
            if (image.rect().contains(x, y + dy) && image.pixel(x, y + dy) == color.rgb())
                return true;
        return false;
    };
    const double middle = 235.5 * Measured::ToneSpacing;
    QVERIFY(seen(middle, c.db, -22.5, MeasuredColors::Hlog));
    QVERIFY(seen(middle, c.db, 9.5, MeasuredColors::Snr));
    QVERIFY(seen(middle, c.dbm, -120, MeasuredColors::Qln));
    QVERIFY(!seen(20 * Measured::ToneSpacing, c.db, -10.2, MeasuredColors::Hlog));
}

QTEST_MAIN(tst_MeasuredChart)
#include "tst_measuredchart.moc"
