#include "engine/lineratemodel.h"
#include "engine/reach.h"
#include "randomworkspace.h"
#include "referencemodel.h"
#include "templaterecords.h"

#include <QtTest>

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <thread>

Q_DECLARE_METATYPE(CableTemplate)
Q_DECLARE_METATYPE(LineTypeTemplate)

namespace {

// Two loaded tones on a cable that loses 20 dB/km at the first and gains 20 dB/km at the second:
// the first tone's 8 bits fade from 300 m on, the second's grow back from 600 m on, so the rate
// is 32 kbit/s up to 300 m, dips to 24 and is 32 again from 1700 m.
const CableTemplate tiltedCable = cable({100, 190}, {20, -20});
const LineTypeTemplate twoTones =
    dmt({100, 100.5f, 189.5f, 190}, {-100, -100, -140, -140}, {8, 0, 0, 8}, {-140, -140, -140, -140});

// One tone at 100 kHz over a lossless cable against -140 dBm/Hz of the system's own noise:
// the SNR is S + 140 dB.
LineTypeTemplate oneTone(float S, float Kmax)
{
    return dmt({100, 100.5f}, {S, S}, {Kmax, Kmax}, {-140, -140});
}

QStringList texts(const QVector<Reach> &reaches)
{
    QStringList out;
    for (const Reach &r : reaches)
        out << reachText(r);
    return out;
}

// The definition walked literally: every grid length, the rate from the model alone.
QStringList bruteReach(const LineRateModel &model, int m, float E, float X, float margin,
                       const QVector<int> &targets, int from, int to, int step)
{
    QStringList out;
    for (int T : targets) {
        QString text = QStringLiteral("-");
        int L = from;
        for (; L <= to; L += step) {
            if (model.rate(m, E, X, margin, float(L)) < float(T))
                break;
            text = QString::number(L);
        }
        if (L > to && text != QLatin1String("-"))
            text = QLatin1Char('>') + QString::number(L - step);
        out << text;
    }
    return out;
}

// The largest k from the top down, without relying on the rate falling with the margin.
QString bruteMargin(const LineRateModel &model, int m, float E, float X, int target, float L)
{
    for (int k = 300; k >= -100; --k) {
        if (double(model.rate(m, E, X, float(k / 10.0), L)) >= double(target))
            return marginText(k == 300 ? MarginAtRate{MarginAtRate::Above, 0}
                                       : MarginAtRate{MarginAtRate::Value, k});
    }
    return marginText({MarginAtRate::Below, 0});
}

} // namespace

class tst_Reach : public QObject
{
    Q_OBJECT

private slots:
    void reach_data();
    void reach();
    void reachCancelled();
    void reachMatchesBruteForce_data();
    void reachMatchesBruteForce();
    void margin_data();
    void margin();
    void marginAtThresholdBoundary();
    void marginsCancelled();
    void marginsCancelledInsideOneLength();
    void marginMatchesBruteForce_data();
    void marginMatchesBruteForce();
    void marginTexts_data();
    void marginTexts();
};

void tst_Reach::reach_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("step");
    QTest::addColumn<QVector<int>>("targets");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("the first failure ends the reach, later passes do not count")
        << 0 << 3000 << 100 << QVector<int>{24, 28, 32, 36}
        << QStringList{">3000", "400", "300", "-"};
    QTest::newRow("beyond a grid that stops short of its end")
        << 0 << 2950 << 100 << QVector<int>{24} << QStringList{">2900"};
    QTest::newRow("the first length already falls short")
        << 400 << 3000 << 100 << QVector<int>{32} << QStringList{"-"};
    QTest::newRow("a grid that starts after the dip")
        << 1700 << 3000 << 100 << QVector<int>{32} << QStringList{">3000"};
    QTest::newRow("a grid of one length") << 300 << 300 << 10 << QVector<int>{32, 36}
                                          << QStringList{">300", "-"};
    QTest::newRow("a fine grid") << 0 << 3000 << 1 << QVector<int>{28} << QStringList{"458"};
    QTest::newRow("first length beyond the last") << 3000 << 0 << 100 << QVector<int>{24}
                                                   << QStringList{"-"};
    QTest::newRow("no step") << 0 << 3000 << 0 << QVector<int>{24} << QStringList{"-"};
    QTest::newRow("no target") << 0 << 3000 << 100 << QVector<int>{} << QStringList{};
}

void tst_Reach::reach()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(QVector<int>, targets);
    QFETCH(QStringList, expected);
    const LineRateModel model(tiltedCable, twoTones, noNoise, 300, 300);
    const std::optional<QVector<Reach>> reaches =
        reachAtRates(model, 1, 0, 0, 0, targets, from, to, step);
    QVERIFY(reaches);
    QCOMPARE(texts(*reaches), expected);
    if (step > 0)
        QCOMPARE(bruteReach(model, 1, 0, 0, 0, targets, from, to, step), expected);
}

void tst_Reach::reachCancelled()
{
    const LineRateModel model(tiltedCable, twoTones, noNoise, 300, 300);
    std::atomic_bool cancel(false);
    QVERIFY(reachAtRates(model, 1, 0, 0, 0, {24}, 0, 3000, 10, &cancel));
    cancel = true;
    QVERIFY(!reachAtRates(model, 1, 0, 0, 0, {24}, 0, 3000, 10, &cancel));
}

void tst_Reach::reachMatchesBruteForce_data()
{
    QTest::addColumn<bool>("isDmt");
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 8; ++seed) {
        QTest::addRow("DMT %u", seed) << true << seed;
        QTest::addRow("PAM %u", seed) << false << seed;
    }
}

void tst_Reach::reachMatchesBruteForce()
{
    QFETCH(bool, isDmt);
    QFETCH(quint32, seed);
    test::Randomiser r(seed * 31337u + (isDmt ? 1u : 0u));
    for (int trial = 0; trial < 4; ++trial) {
        const CableTemplate c = r.cable(seed % 4 == 0);
        const LineTypeTemplate line = isDmt ? r.dmt() : r.pam();
        const NoiseTemplate noise = r.noise();
        const QVector<LoopSection> sections = r.sections(false);
        const LineRateModel model(c, line, noise, r.value(50, 1000), r.value(50, 1000), sections);
        const int m = r.integer(1, 12);
        const float E = r.value(10, 80);
        const float X = r.value(10, 80);
        const float margin = r.value(-3, 20);
        const int from = test::totalLength(sections) + r.integer(0, 300);
        const int step = r.integer(20, 300);
        const int to = from + 40 * step;
        // Targets around the rates the curve takes, so that reaches fall inside the grid.
        QVector<int> targets;
        for (int k = 0; k < 3; ++k)
            targets << qMax(1, int(model.rate(m, E, X, margin, float(from + k * 12 * step))));
        std::sort(targets.begin(), targets.end());
        targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
        const std::optional<QVector<Reach>> reaches =
            reachAtRates(model, m, E, X, margin, targets, from, to, step);
        QVERIFY(reaches);
        QCOMPARE(texts(*reaches), bruteReach(model, m, E, X, margin, targets, from, to, step));
    }
}

void tst_Reach::margin_data()
{
    QTest::addColumn<CableTemplate>("cableTable");
    QTest::addColumn<LineTypeTemplate>("line");
    QTest::addColumn<int>("target");
    QTest::addColumn<float>("length");
    QTest::addColumn<QString>("expected");

    // 40 dB SNR: b bits need (40 - 9.75 - M) / 3.0103 >= b.
    QTest::newRow("8 bits up to 6.1 dB") << flatCable << oneTone(-100, 15) << 32 << 0.0f << "6.1";
    QTest::newRow("11 bits need a negative margin")
        << flatCable << oneTone(-100, 15) << 44 << 0.0f << "-2.9";
    QTest::newRow("just below zero") << flatCable << oneTone(-100.4f, 15) << 40 << 0.0f << "-0.3";
    QTest::newRow("just above zero") << flatCable << oneTone(-100.1f, 15) << 40 << 0.0f << "0.0";
    QTest::newRow("not even -10 dB") << flatCable << oneTone(-100, 15) << 60 << 0.0f << "<-10.0";
    QTest::newRow("still at 30 dB") << flatCable << oneTone(-60, 15) << 4 << 0.0f << ">30.0";
    QTest::newRow("the cap decides at any margin")
        << flatCable << oneTone(-60, 5) << 24 << 0.0f << "<-10.0";
    // 5 km of 10.77 dB/km at 100 kHz take 53.85 dB of the 80 dB SNR.
    QTest::newRow("the length counts")
        << cable({1, 30000}, {10.77f, 10.77f}) << oneTone(-60, 15) << 4 << 5000.0f << "13.3";
    QTest::newRow("PAM, a short line keeps 30 dB")
        << realCable << pam(3, 13.5f, 192, 2304, -140) << 2304 << 0.0f << ">30.0";
    QTest::newRow("PAM, nothing passes at -10 dB")
        << realCable << pam(3, -80, 192, 2304, -20) << 192 << 0.0f << "<-10.0";
    QTest::newRow("PAM, a rate above Rmax") << realCable << pam(3, 13.5f, 192, 2304, -140) << 2305
                                            << 0.0f << "<-10.0";
}

void tst_Reach::margin()
{
    QFETCH(CableTemplate, cableTable);
    QFETCH(LineTypeTemplate, line);
    QFETCH(int, target);
    QFETCH(float, length);
    QFETCH(QString, expected);
    const LineRateModel model(cableTable, line, noNoise, 300, 300);
    QCOMPARE(marginText(marginAtRate(model, 1, 40, 40, target, length)), expected);
    QCOMPARE(bruteMargin(model, 1, 40, 40, target, length), expected);
}

void tst_Reach::marginAtThresholdBoundary()
{
    // One candidate of 79 kbit/s whose SNR equals its threshold exactly at -3.8 dB (found by
    // search over P): it must fail there, because a pass needs an SNR strictly above.
    const LineTypeTemplate line = pam(3, -0x1.38f7f8p-6f, 79, 79, -55);
    const LineRateModel model(flatCable, line, noNoise, 300, 300);
    const LineTrace trace = model.trace(1, 0, 0, marginFromTenths(-38), 0);
    QCOMPARE(trace.candidates.size(), 1);
    QCOMPARE(double(trace.candidates[0].snr), trace.candidates[0].threshold);
    QCOMPARE(trace.rate, 0.0f);
    const reference::Model literal{flatCable, line, noNoise, 300, 300};
    QCOMPARE(literal.rate(1, 0, 0, marginFromTenths(-38), 0), 0.0f);
    QCOMPARE(literal.rate(1, 0, 0, marginFromTenths(-39), 0), 79.0f);
    QCOMPARE(marginText(marginAtRate(model, 1, 0, 0, 79, 0)), QStringLiteral("-3.9"));
}

void tst_Reach::marginsCancelled()
{
    const LineRateModel model(realCable, pam(3, 13.5f, 192, 2304, -140), noNoise, 300, 300);
    std::atomic_bool cancel(true);
    QVERIFY(!marginsAtRate(model, 1, 40, 40, 1024, {0, 1000}, &cancel));
}

void tst_Reach::marginsCancelledInsideOneLength()
{
    // One length of a PAM line on a 64 kbit/s grid up to 100 Mbit/s takes far longer than a user
    // waits; a cancel must end it there, not after it.
    const CableTemplate negative = cable({1, 100, 30000}, {1.8f, -0.5f, 150});
    const LineRateModel model(negative, pam(1, 13.5f, 192, 100000, -140), noNoise, 300, 300);
    std::atomic_bool cancel(false);
    QElapsedTimer timer;
    timer.start();
    std::atomic<qint64> cancelledAt{0};
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancelledAt = timer.elapsed();
        cancel = true;
    });
    const auto margins = marginsAtRate(model, 1, 40, 40, 1024, {1000}, &cancel);
    const qint64 stoppedAt = timer.elapsed();
    user.join();
    QVERIFY(!margins);
    QVERIFY2(stoppedAt - cancelledAt < 300, qPrintable(QString::number(stoppedAt - cancelledAt)));
}

void tst_Reach::marginMatchesBruteForce_data()
{
    QTest::addColumn<bool>("isDmt");
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 6; ++seed) {
        QTest::addRow("DMT %u", seed) << true << seed;
        QTest::addRow("PAM %u", seed) << false << seed;
    }
}

void tst_Reach::marginMatchesBruteForce()
{
    QFETCH(bool, isDmt);
    QFETCH(quint32, seed);
    test::Randomiser r(seed * 65537u + (isDmt ? 1u : 0u));
    QSet<QString> seen;
    for (int trial = 0; trial < 3; ++trial) {
        const CableTemplate c = r.cable(seed % 3 == 0);
        const LineTypeTemplate line = isDmt ? r.dmt() : r.pam();
        const NoiseTemplate noise = r.noise();
        const QVector<LoopSection> sections = r.sections(false);
        const LineRateModel model(c, line, noise, r.value(50, 1000), r.value(50, 1000), sections);
        const int m = r.integer(1, 12);
        const float E = r.value(10, 80);
        const float X = r.value(10, 80);
        QVector<float> lengths;
        float L = float(test::totalLength(sections)) + r.value(0, 300);
        for (int k = 0; k < 4; ++k, L = float(L + r.value(50, 1500)))
            lengths << L;
        // A target the curve carries at some margin in the range, most of the time.
        const int target =
            qMax(1, int(model.rate(m, E, X, r.value(-12, 32), lengths[r.integer(0, 3)])));
        const std::optional<QVector<MarginAtRate>> margins =
            marginsAtRate(model, m, E, X, target, lengths);
        QVERIFY(margins);
        QCOMPARE(margins->size(), lengths.size());
        for (int i = 0; i < lengths.size(); ++i) {
            const QString expected = bruteMargin(model, m, E, X, target, lengths[i]);
            QCOMPARE(marginText(margins->at(i)), expected);
            seen << expected;
        }
    }
    QVERIFY(!seen.isEmpty());
}

void tst_Reach::marginTexts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("tenths");
    QTest::addColumn<QString>("expected");
    QTest::newRow("positive") << int(MarginAtRate::Value) << 63 << "6.3";
    QTest::newRow("whole negative") << int(MarginAtRate::Value) << -20 << "-2.0";
    QTest::newRow("zero") << int(MarginAtRate::Value) << 0 << "0.0";
    QTest::newRow("negative below one") << int(MarginAtRate::Value) << -3 << "-0.3";
    QTest::newRow("lowest value") << int(MarginAtRate::Value) << -100 << "-10.0";
    QTest::newRow("highest value") << int(MarginAtRate::Value) << 299 << "29.9";
    QTest::newRow("below the range") << int(MarginAtRate::Below) << 0 << "<-10.0";
    QTest::newRow("above the range") << int(MarginAtRate::Above) << 0 << ">30.0";
}

void tst_Reach::marginTexts()
{
    QFETCH(int, kind);
    QFETCH(int, tenths);
    QFETCH(QString, expected);
    QCOMPARE(::marginText({MarginAtRate::Kind(kind), tenths}), expected);
}

QTEST_GUILESS_MAIN(tst_Reach)
#include "tst_reach.moc"
