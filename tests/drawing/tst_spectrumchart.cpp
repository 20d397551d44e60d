#include "drawing/spectrumchart.h"

#include "pixels.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(LineSpectrum)

namespace {

constexpr double Spacing = 4.3125;

// 200 tones from 100 kHz: the first half carries 10 bits, the second none. SNR, signal and
// noise are flat at levels well apart, so each line has rows of its own.
LineSpectrum dmtSpectrum()
{
    LineSpectrum s;
    s.curve = QStringLiteral("m=1");
    s.lineType = QStringLiteral("ADSL2+_DS.DMT");
    s.cable = QStringLiteral("PE-0.40mm-26AWG");
    s.length = 3000;
    s.dmt = true;
    for (int i = 0; i < 200; ++i) {
        ToneTrace t;
        t.f = float(100 + Spacing * i);
        t.S = -40;
        t.A = 25;
        t.W = -65;
        t.U = -117;
        t.snr = 35;
        t.cap = 15;
        t.bits = i < 100 ? 10 : 0;
        s.trace.tones << t;
        s.trace.rate += 4 * t.bits;
    }
    return s;
}

// Six candidates from 2304 kbit/s down; the SNR rises past the threshold at the last one.
LineSpectrum pamSpectrum(bool passes = true)
{
    LineSpectrum s;
    s.curve = QStringLiteral("m=1");
    s.lineType = QStringLiteral("SHDSL_PAM16.PAM");
    s.cable = QStringLiteral("PE-0.40mm-26AWG");
    s.length = 4000;
    s.dmt = false;
    const double T = 3 * double(3.0103f) + 9.75;
    for (int k = 0; k < 6; ++k) {
        const float rate = float(2304 - 64 * k);
        const float snr = float(passes ? 12 + 1.5 * k : 10 + 0.5 * k);
        s.trace.candidates << CandidateTrace{rate, float(((rate + 8) / 3) * 0.5 + 0.5), snr, T};
    }
    s.trace.rate = passes ? s.trace.candidates.last().rate : 0;
    return s;
}

struct Rendered {
    QImage image;
    SpectrumChart chart;
};

Rendered render(const LineSpectrum &s, const QSize &size = QSize(900, 600))
{
    Rendered r;
    r.image = QImage(size, QImage::Format_RGB32);
    r.image.fill(Qt::white);
    QPainter painter(&r.image);
    r.chart = settleSpectrumChart(s, r.image.rect(), painter.fontMetrics());
    drawSpectrumChart(painter, r.image.rect(), s);
    return r;
}

bool dark(QRgb p)
{
    return qGray(p) < 100;
}

int darkIn(const QImage &image, const QRect &box)
{
    int n = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (image.rect().contains(x, y) && dark(image.pixel(x, y)))
                ++n;
    return n;
}

} // namespace

class tst_SpectrumChart : public QObject
{
    Q_OBJECT

private slots:
    void dmtBarsFollowTheBits();
    void dmtLinesOnTheRightAxis();
    void measuredSnrOverTheModel();
    void axesAndLabels_data();
    void axesAndLabels();
    void pamThresholdAndChosenRate();
    void pamWithoutPassingRate();
    void emptyTrace_data();
    void emptyTrace();
    void titles_data();
    void titles();
    void layoutStaysInside_data();
    void layoutStaysInside();
};

void tst_SpectrumChart::dmtBarsFollowTheBits()
{
    const LineSpectrum s = dmtSpectrum();
    const Rendered r = render(s);
    QCOMPARE(r.chart.bits.min, 0.0);
    QVERIFY(r.chart.bits.max >= 15); // room for the cap
    QVERIFY(r.chart.x.min <= 100 - Spacing / 2 && r.chart.x.max >= 100 + Spacing * 199.5);

    // Down a loaded tone, the bar fills from 0 to 10 bits (lines crossing it aside).
    const double x = r.chart.xAt(s.trace.tones[50].f);
    int bar = 0, column = 0;
    for (int y = int(r.chart.bitsAt(10)) + 2; y <= int(r.chart.bitsAt(0)) - 2; ++y, ++column)
        bar += near(r.image.pixel(int(x), y), SpectrumColors::Bits);
    QVERIFY2(bar > column * 8 / 10, qPrintable(QStringLiteral("%1 of %2").arg(bar).arg(column)));
    // Above 10 bits, and down an unloaded tone, no bar at all.
    for (int y = r.chart.plot.top() + 1; y < int(r.chart.bitsAt(10)) - 2; ++y)
        QVERIFY(!near(r.image.pixel(int(x), y), SpectrumColors::Bits));
    const double empty = r.chart.xAt(s.trace.tones[150].f);
    for (int y = r.chart.plot.top() + 1; y < r.chart.plot.bottom(); ++y)
        QVERIFY(!near(r.image.pixel(int(empty), y), SpectrumColors::Bits));
}

void tst_SpectrumChart::dmtLinesOnTheRightAxis()
{
    const LineSpectrum s = dmtSpectrum();
    const Rendered r = render(s);
    QVERIFY(r.chart.db.min <= -117 && r.chart.db.max >= 35);
    // Where no bar is, each level's line lies where the right axis puts it, and nowhere else.
    const double x = r.chart.xAt(s.trace.tones[150].f);
    QVERIFY(around(r.image, QPointF(x, r.chart.dbAt(35)), SpectrumColors::Snr) > 0);
    QVERIFY(around(r.image, QPointF(x, r.chart.dbAt(-65)), SpectrumColors::Signal) > 0);
    QVERIFY(around(r.image, QPointF(x, r.chart.dbAt(-117)), SpectrumColors::Noise) > 0);
    QCOMPARE(around(r.image, QPointF(x, r.chart.dbAt(-20)), SpectrumColors::Snr, 4), 0);
    QCOMPARE(around(r.image, QPointF(x, r.chart.dbAt(-20)), SpectrumColors::Signal, 4), 0);
    // Drawn over the bars.
    const double loaded = r.chart.xAt(s.trace.tones[20].f);
    QVERIFY(around(r.image, QPointF(loaded, r.chart.dbAt(35)), SpectrumColors::Snr) > 0);
}

void tst_SpectrumChart::measuredSnrOverTheModel()
{
    LineSpectrum s = dmtSpectrum();
    Measured::Series measured;
    measured.present = true;
    measured.groupSize = 8;
    for (int tone = 16; tone < 80; tone += 8) // groups of tones 23..69, the one of tone 48 not measured
        measured.entries << Measured::Entry{tone, tone == 32 ? -130.0 : 20.0, tone == 48};
    s.measuredSnr = measured;
    const Rendered r = render(s);
    QVERIFY(r.chart.db.min <= -130); // the scale takes the measurement in
    const auto measuredAt = [&](int tone, double db) {
        return around(r.image, QPointF(r.chart.xAt(tone * Spacing), r.chart.dbAt(db)), SpectrumColors::MeasuredSnr, 3);
    };
    QVERIFY(measuredAt(60, 20) > 0);
    QVERIFY(measuredAt(34, -130) > 0);
    QCOMPARE(measuredAt(52, 20), 0);
    QCOMPARE(measuredAt(120, 20), 0); // beyond the measurement
}

void tst_SpectrumChart::axesAndLabels_data()
{
    QTest::addColumn<bool>("dmt");
    QTest::newRow("DMT") << true;
    QTest::newRow("PAM") << false;
}

void tst_SpectrumChart::axesAndLabels()
{
    QFETCH(bool, dmt);
    const LineSpectrum s = dmt ? dmtSpectrum() : pamSpectrum();
    const Rendered r = render(s);
    const QRect plot = r.chart.plot;
    // The frame.
    for (int y = plot.top(); y <= plot.bottom(); y += 7) {
        QVERIFY(dark(r.image.pixel(plot.left(), y)));
        QVERIFY(dark(r.image.pixel(plot.right(), y)));
    }
    // Labels beside the left axis, under the x axis, and for DMT beside the right axis.
    QVERIFY(darkIn(r.image, QRect(r.chart.area.left(), plot.top(), plot.left() - 6 - r.chart.area.left(), plot.height())) > 20);
    QVERIFY(darkIn(r.image, QRect(plot.left(), plot.bottom() + 6, plot.width(), 20)) > 20);
    const int rightLabels = darkIn(r.image, QRect(plot.right() + 6, plot.top(), r.chart.area.right() - plot.right() - 6, plot.height()));
    QCOMPARE(rightLabels > 20, dmt);
    // Tick marks where the axes put their labels.
    const ChartAxis &left = dmt ? r.chart.bits : r.chart.db;
    for (double v = left.min; v <= left.max + 1e-9; v += left.step) {
        const int y = int(std::lround(dmt ? r.chart.bitsAt(v) : r.chart.dbAt(v)));
        QVERIFY2(dark(r.image.pixel(plot.left() - 3, y)), qPrintable(QString::number(v)));
    }
    for (double v = r.chart.x.min; v <= r.chart.x.max + 1e-9; v += r.chart.x.step)
        QVERIFY2(dark(r.image.pixel(int(std::lround(r.chart.xAt(v))), plot.bottom() + 3)), qPrintable(QString::number(v)));
    // A legend under it all, a title above.
    QVERIFY(darkIn(r.image, QRect(plot.left(), r.image.height() - 24, plot.width(), 22)) > 20);
    QVERIFY(darkIn(r.image, QRect(0, 0, r.image.width(), 20)) > 20);
}

void tst_SpectrumChart::pamThresholdAndChosenRate()
{
    const LineSpectrum s = pamSpectrum();
    const Rendered r = render(s);
    const double T = s.trace.candidates.first().threshold;
    QVERIFY(r.chart.db.min <= 12 && r.chart.db.max >= 19.5);
    QVERIFY(r.chart.x.min < 1984 && r.chart.x.max > 2304);
    // The threshold: a dashed line across the plot at T.
    const int ty = int(std::lround(r.chart.dbAt(T)));
    int dashes = 0;
    for (int x = r.chart.plot.left() + 1; x < r.chart.plot.right(); ++x)
        dashes += near(r.image.pixel(x, ty), SpectrumColors::Threshold) || near(r.image.pixel(x, ty - 1), SpectrumColors::Threshold);
    QVERIFY2(dashes > r.chart.plot.width() / 3, qPrintable(QString::number(dashes)));
    // Each candidate's SNR; the passing one marked.
    for (const CandidateTrace &c : s.trace.candidates.mid(0, 5))
        QVERIFY(around(r.image, r.chart.dbPoint(c.rate, c.snr), SpectrumColors::PamSnr) > 0);
    const CandidateTrace &chosen = s.trace.candidates.last();
    QVERIFY(around(r.image, r.chart.dbPoint(chosen.rate, chosen.snr), SpectrumColors::Chosen, 3) > 10);
    // Its rate's vertical line reaches the top of the plot.
    QVERIFY(around(r.image, QPointF(r.chart.xAt(chosen.rate), r.chart.plot.top() + 30), SpectrumColors::Chosen, 3) > 0);
}

void tst_SpectrumChart::pamWithoutPassingRate()
{
    const LineSpectrum s = pamSpectrum(false);
    const Rendered r = render(s);
    // Nothing marked as chosen inside the plot (the legend's marker lies below it).
    int chosen = 0;
    for (int y = r.chart.plot.top(); y <= r.chart.plot.bottom(); ++y)
        for (int x = r.chart.plot.left(); x <= r.chart.plot.right(); ++x)
            chosen += near(r.image.pixel(x, y), SpectrumColors::Chosen);
    QCOMPARE(chosen, 0);
    QVERIFY(spectrumTitle(s).contains(QStringLiteral("ни одна из 6 скоростей не проходит порог T=18.78 дБ")));
}

void tst_SpectrumChart::emptyTrace_data()
{
    QTest::addColumn<bool>("dmt");
    QTest::newRow("DMT") << true;
    QTest::newRow("PAM") << false;
}

void tst_SpectrumChart::emptyTrace()
{
    QFETCH(bool, dmt);
    LineSpectrum s;
    s.dmt = dmt;
    s.lineType = dmt ? QStringLiteral("one.DMT") : QStringLiteral("k0.PAM");
    const Rendered r = render(s);
    QVERIFY(r.chart.plot.isValid());
    // No series at all; a note in the middle says why.
    for (const QColor &color : {SpectrumColors::Bits, SpectrumColors::Snr, SpectrumColors::PamSnr}) {
        int n = 0;
        for (int y = r.chart.plot.top() + 1; y < r.chart.plot.bottom(); ++y)
            for (int x = r.chart.plot.left() + 1; x < r.chart.plot.right(); ++x)
                n += near(r.image.pixel(x, y), color);
        QCOMPARE(n, 0);
    }
    const QRect middle(r.chart.plot.center() - QPoint(200, 10), QSize(400, 20));
    QVERIFY(darkIn(r.image, middle) > 20);
}

void tst_SpectrumChart::titles_data()
{
    QTest::addColumn<LineSpectrum>("spectrum");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("conditions");

    LineSpectrum dmt = dmtSpectrum();
    dmt.noise = QStringLiteral("AWGN-140");
    dmt.elfextNorm = 40;
    dmt.margin = 6;
    QTest::newRow("DMT") << dmt
                         << QStringLiteral("ADSL2+_DS.DMT, PE-0.40mm-26AWG, L=3000 м: R=4000 кбит/с, нагружено тонов: 100 из 200")
                         << QStringLiteral("m=1, ELFEXT=40 дБ, SNR Margin=6 дБ, помехи: AWGN-140");
    LineSpectrum sectioned = dmtSpectrum();
    sectioned.sections = QStringLiteral("K1 1200м + K2 300м");
    sectioned.margin = 1.5f;
    QTest::newRow("behind sections")
        << sectioned
        << QStringLiteral("ADSL2+_DS.DMT, K1 1200м + K2 300м + PE-0.40mm-26AWG, L=3000 м: R=4000 кбит/с, нагружено тонов: 100 из 200")
        << QStringLiteral("m=1, ELFEXT=0 дБ, SNR Margin=1.5 дБ, помехи: нет");
    LineSpectrum pam = pamSpectrum();
    pam.m = 10;
    pam.nextNorm = 50;
    QTest::newRow("PAM") << pam
                         << QStringLiteral("SHDSL_PAM16.PAM, PE-0.40mm-26AWG, L=4000 м: R=1984 кбит/с, испробовано скоростей: 6, порог T=18.78 дБ")
                         << QStringLiteral("m=10, NEXT=50 дБ, SNR Margin=0 дБ, помехи: нет");
    LineSpectrum none;
    none.lineType = QStringLiteral("one.DMT");
    none.cable = QStringLiteral("c");
    QTest::newRow("no tone") << none << QStringLiteral("one.DMT, c, L=0 м: R=0 кбит/с, тонов нет")
                             << QStringLiteral("m=1, ELFEXT=0 дБ, SNR Margin=0 дБ, помехи: нет");
}

void tst_SpectrumChart::titles()
{
    QFETCH(LineSpectrum, spectrum);
    QFETCH(QString, title);
    QFETCH(QString, conditions);
    QCOMPARE(spectrumTitle(spectrum), title);
    QCOMPARE(spectrumConditions(spectrum), conditions);
}

void tst_SpectrumChart::layoutStaysInside_data()
{
    QTest::addColumn<QRect>("area");
    QTest::newRow("the window's smallest") << QRect(0, 0, 420, 300);
    QTest::newRow("a landscape page") << QRect(0, 0, 1047, 718);
    QTest::newRow("moved off the origin") << QRect(40, 25, 700, 500);
}

void tst_SpectrumChart::layoutStaysInside()
{
    QFETCH(QRect, area);
    QImage image(area.bottomRight().x() + 1, area.bottomRight().y() + 1, QImage::Format_RGB32);
    QPainter painter(&image);
    for (const LineSpectrum &s : {dmtSpectrum(), pamSpectrum()}) {
        const SpectrumChart chart = settleSpectrumChart(s, area, painter.fontMetrics());
        QVERIFY(area.contains(chart.plot));
        QVERIFY(chart.plot.width() > area.width() / 2 && chart.plot.height() > area.height() / 3);
        // Pure: the same values and area give the same layout.
        const SpectrumChart again = settleSpectrumChart(s, area, painter.fontMetrics());
        QCOMPARE(again.plot, chart.plot);
        QCOMPARE(again.x.step, chart.x.step);
        // Labels at round steps, a handful of them.
        for (const ChartAxis &axis : {chart.x, chart.db}) {
            const double count = (axis.max - axis.min) / axis.step;
            QVERIFY2(count >= 1 && count <= 13, qPrintable(QString::number(count)));
            const double mantissa = axis.step / std::pow(10.0, std::floor(std::log10(axis.step)));
            QVERIFY(qFuzzyCompare(mantissa, 1.0) || qFuzzyCompare(mantissa, 2.0) || qFuzzyCompare(mantissa, 5.0));
        }
    }
}

QTEST_MAIN(tst_SpectrumChart)
#include "tst_spectrumchart.moc"
