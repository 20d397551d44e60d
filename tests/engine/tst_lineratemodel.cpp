#include "engine/lineratemodel.h"

#include "templaterecords.h"

#include <QtTest>

#include <cmath>
#include <cstring>

static quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

Q_DECLARE_METATYPE(CableTemplate)
Q_DECLARE_METATYPE(NoiseTemplate)
Q_DECLARE_METATYPE(LineTypeTemplate)
Q_DECLARE_METATYPE(QVector<LoopSection>)

class tst_LineRateModel : public QObject
{
    Q_OBJECT

private slots:
    void interpolation_data();
    void interpolation();
    void crosstalkLoss_data();
    void crosstalkLoss();
    void dmtRate_data();
    void dmtRate();
    void pamRate_data();
    void pamRate();
    void emptyTables_data();
    void emptyTables();
    void sweepMatchesSingleRates();
    void sectionLoss_data();
    void sectionLoss();
    void crosstalkCountsTheWholeLoop();
    void trace_data();
    void trace();
    void codingGainAndVectoring_data();
    void codingGainAndVectoring();
    void pamTakesTheGainAndIgnoresVectoring();
};

void tst_LineRateModel::interpolation_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<QVector<float>>("xs");
    QTest::addColumn<QVector<float>>("ys");
    QTest::addColumn<float>("expected");

    const QVector<float> xs{10, 20, 40};
    const QVector<float> ys{1, 3, -1};
    QTest::newRow("at the first frequency") << 10.0f << xs << ys << 1.0f;
    QTest::newRow("below the table") << -5.0f << xs << ys << 1.0f;
    QTest::newRow("above the table") << 1e6f << xs << ys << -1.0f;
    QTest::newRow("at an inner frequency") << 20.0f << xs << ys << 3.0f;
    QTest::newRow("at the last frequency") << 40.0f << xs << ys << -1.0f;
    QTest::newRow("midway, rising") << 15.0f << xs << ys << 2.0f;
    QTest::newRow("midway, falling") << 30.0f << xs << ys << 1.0f;
    QTest::newRow("not a number") << float(NAN) << xs << ys << 1.0f;
    QTest::newRow("one row") << 123.0f << QVector<float>{50} << QVector<float>{7} << 7.0f;
    QTest::newRow("zero-width segment skipped")
        << 20.0f << QVector<float>{10, 20, 20, 30} << QVector<float>{0, 2, 8, 9} << 2.0f;
    QTest::newRow("descending table, at or below its first x")
        << 15.0f << QVector<float>{30, 20, 10} << QVector<float>{5, 6, 7} << 5.0f;
}

void tst_LineRateModel::interpolation()
{
    QFETCH(float, x);
    QFETCH(QVector<float>, xs);
    QFETCH(QVector<float>, ys);
    QFETCH(float, expected);
    QCOMPARE(interpolate(x, xs.size(), xs.data(), ys.data()), expected);
}

void tst_LineRateModel::crosstalkLoss_data()
{
    QTest::addColumn<bool>("far");
    QTest::addColumn<float>("norm");
    QTest::addColumn<int>("m");
    QTest::addColumn<float>("f");
    QTest::addColumn<float>("length");
    QTest::addColumn<double>("expected");

    QTest::newRow("FEXT, worked figure") << true << 50.0f << 10 << 1104.0f << 3000.0f << 28.186;
    QTest::newRow("FEXT, two systems have no disturber term")
        << true << 50.0f << 2 << 300.0f << 1000.0f << 50.0;
    QTest::newRow("FEXT, a single system") << true << 50.0f << 1 << 1104.0f << 3000.0f << 200.0;
    QTest::newRow("FEXT, zero length") << true << 50.0f << 10 << 1104.0f << 0.0f << 200.0;
    QTest::newRow("FEXT, zero frequency") << true << 50.0f << 10 << 0.0f << 3000.0f << 200.0;
    QTest::newRow("NEXT, worked figure") << false << 60.0f << 5 << 200.0f << 0.0f << 59.029;
    QTest::newRow("NEXT, no length term") << false << 60.0f << 2 << 300.0f << 9999.0f << 60.0;
    QTest::newRow("NEXT, a single system") << false << 60.0f << 1 << 200.0f << 0.0f << 200.0;
    QTest::newRow("NEXT, negative frequency") << false << 60.0f << 5 << -1.0f << 0.0f << 200.0;
}

void tst_LineRateModel::crosstalkLoss()
{
    QFETCH(bool, far);
    QFETCH(float, norm);
    QFETCH(int, m);
    QFETCH(float, f);
    QFETCH(float, length);
    QFETCH(double, expected);
    const LineRateModel model(flatCable, pam(1, 0, 0, 0, -140), noNoise, 300, 300);
    const float loss = far ? model.fextLoss(norm, m, f, length) : model.nextLoss(norm, m, f);
    QVERIFY2(std::fabs(loss - expected) < 0.0006, qPrintable(QString::number(loss, 'g', 9)));
}

void tst_LineRateModel::dmtRate_data()
{
    QTest::addColumn<LineTypeTemplate>("line");
    QTest::addColumn<float>("margin");
    QTest::addColumn<float>("length");
    QTest::addColumn<float>("expected");

    // One tone at 100 kHz: -100 dBm/Hz received over a lossless cable against -140 dBm/Hz of the
    // system's own noise is 40 dB SNR; (40 - 9.75 - 6) / 3.0103 carries 8 bits.
    const auto oneTone = [](float kmax) {
        return dmt({100, 100.5f}, {-100, -100}, {kmax, kmax}, {-140, -140});
    };
    QTest::newRow("worked tone, margin 6") << oneTone(15) << 6.0f << 0.0f << 32.0f;
    QTest::newRow("worked tone, capped by Kmax") << oneTone(5) << 6.0f << 0.0f << 20.0f;
    QTest::newRow("worked tone, Kmax truncated") << oneTone(5.9f) << 6.0f << 0.0f << 20.0f;
    QTest::newRow("worked tone, no margin") << oneTone(15) << 0.0f << 0.0f << 40.0f;
    QTest::newRow("worked tone, margin eats every bit") << oneTone(15) << 30.0f << 0.0f << 0.0f;
    QTest::newRow("Kmax zero everywhere") << oneTone(0) << 0.0f << 0.0f << 0.0f;
    QTest::newRow("negative Kmax subtracts") << oneTone(-2) << 0.0f << 0.0f << -8.0f;
    // Tones 25.875, 30.1875, ... 1104: 251 tones below 1104 + 2.15625, one bit each.
    QTest::newRow("tone count across an ADSL band")
        << dmt({25.875f, 1104}, {-40, -40}, {1, 1}, {-140, -140}) << 0.0f << 0.0f << 1004.0f;
    // log10 of the noise sum is rounded to float before it is multiplied by 10: the SNR lands
    // one float step above the 15-bit boundary instead of on it.
    QTest::newRow("noise logarithm rounded before the bit count")
        << dmt({100, 100.5f}, {-64, -64}, {15, 15}, {-124.9045f, -124.9045f}) << 6.0f << 0.0f
        << 56.0f;
    // From 0.1 kHz the tones drift in single precision; the 512th lands exactly on the band end
    // (a double accumulation would stay below it and add a tone).
    QTest::newRow("tone frequency accumulates in float")
        << dmt({0.1f, 2201.63134765625f}, {-40, -40}, {1, 1}, {-140, -140}) << 0.0f << 0.0f
        << 2044.0f;
    QTest::newRow("band that starts at its end")
        << dmt({500, 100}, {-40, -40}, {8, 8}, {-140, -140}) << 0.0f << 0.0f << 0.0f;
}

void tst_LineRateModel::dmtRate()
{
    QFETCH(LineTypeTemplate, line);
    QFETCH(float, margin);
    QFETCH(float, length);
    QFETCH(float, expected);
    const LineRateModel model(flatCable, line, noNoise, 300, 300);
    QCOMPARE(model.rate(1, 10, 10, margin, length), expected);
}

void tst_LineRateModel::pamRate_data()
{
    QTest::addColumn<LineTypeTemplate>("line");
    QTest::addColumn<float>("length");
    QTest::addColumn<float>("expected");

    // With no crosstalk and a quiet floor a short line carries the top rate.
    QTest::newRow("short line gets Rmax") << pam(3, 13.5f, 192, 2304, -140) << 0.0f << 2304.0f;
    QTest::newRow("K zero") << pam(0, 13.5f, 192, 2304, -140) << 0.0f << 0.0f;
    QTest::newRow("Rmax below Rmin - 32") << pam(3, 13.5f, 1000, 967, -140) << 0.0f << 0.0f;
    QTest::newRow("Rmax just above Rmin - 32") << pam(3, 13.5f, 1000, 969, -140) << 0.0f << 969.0f;
    // Transmit PSD far below the floor: no candidate passes, and the result is 0, not Rmin.
    QTest::newRow("nothing passes") << pam(3, -80, 192, 2304, -20) << 0.0f << 0.0f;
    QTest::newRow("a long line steps down by 64")
        << pam(2, 13.5f, 192, 2304, -140) << 4000.0f << -1.0f;
}

void tst_LineRateModel::pamRate()
{
    QFETCH(LineTypeTemplate, line);
    QFETCH(float, length);
    QFETCH(float, expected);
    const LineRateModel model(realCable, line, noNoise, 300, 300);
    const float r = model.rate(4, 10, 40, 0, length);
    if (expected >= 0) {
        QCOMPARE(r, expected);
        return;
    }
    // Any passing rate is Rmax - 64k inside the range.
    QVERIFY(r > 0 && r < line.Rmax[0]);
    QCOMPARE(std::fmod(line.Rmax[0] - r, 64.0f), 0.0f);
}

void tst_LineRateModel::emptyTables_data()
{
    QTest::addColumn<CableTemplate>("cableTable");
    QTest::addColumn<LineTypeTemplate>("line");
    QTest::addColumn<NoiseTemplate>("noiseTable");
    QTest::addColumn<float>("expected");

    const LineTypeTemplate adsl = dmt({25.875f, 1104}, {-40, -40}, {15, 15}, {-140, -140});
    const LineTypeTemplate shdsl = pam(3, 13.5f, 192, 2304, -140);
    QTest::newRow("DMT, empty cable") << CableTemplate() << adsl << noNoise << 0.0f;
    QTest::newRow("PAM, empty cable") << CableTemplate() << shdsl << noNoise << 0.0f;
    QTest::newRow("DMT of one row") << flatCable << dmt({100}, {-40}, {15}, {-140}) << noNoise
                                    << 0.0f;
    QTest::newRow("DMT of no row") << flatCable << dmt({}, {}, {}, {}) << noNoise << 0.0f;
    LineTypeTemplate noRow = shdsl;
    noRow.count = 0;
    noRow.K.clear();
    QTest::newRow("PAM of no row") << flatCable << noRow << noNoise << 0.0f;
    // 251 tones at -40 dBm/Hz: against the own noise alone every tone is capped at 15 bits;
    // -60 dBm/Hz of additive noise leaves 20 dB, 3 bits a tone.
    QTest::newRow("empty noise adds nothing") << flatCable << adsl << noNoise << 15060.0f;
    QTest::newRow("loud noise") << flatCable << adsl << noise({1, 30000}, {-60, -60}) << 3012.0f;
}

void tst_LineRateModel::emptyTables()
{
    QFETCH(CableTemplate, cableTable);
    QFETCH(LineTypeTemplate, line);
    QFETCH(NoiseTemplate, noiseTable);
    QFETCH(float, expected);
    const LineRateModel model(cableTable, line, noiseTable, 300, 300);
    QCOMPARE(model.rate(1, 10, 10, 0, 1000), expected);
}

void tst_LineRateModel::sweepMatchesSingleRates()
{
    // The sweep keeps state between lengths; going back to a shorter length must not reuse it.
    const LineRateModel model(realCable, pam(2, 13.5f, 192, 5696, -140), noNoise, 300, 300);
    RateSweep sweep(model, 4, 10, 40, {0, 3, 6});
    const float lengths[] = {0, 500, 1500, 3000, 6000, 1000, 1000, 9000};
    for (float L : lengths) {
        float rates[3];
        sweep.evaluate(L, rates);
        for (int j = 0; j < 3; ++j)
            QCOMPARE(rates[j], model.rate(4, 10, 40, float(j * 3), L));
    }
}

void tst_LineRateModel::sectionLoss_data()
{
    QTest::addColumn<QVector<LoopSection>>("sections");
    QTest::addColumn<float>("length");
    QTest::addColumn<float>("expected");

    const CableTemplate cable26 = cable({1, 30000}, {26.75f, 26.75f});
    const auto section = [](const CableTemplate &c, int length) { return LoopSection{c, length}; };
    QTest::newRow("one cable") << QVector<LoopSection>{} << 2000.0f << 53.5f;
    // Each piece is rounded to float on its own and the three are summed in double: 573 m of
    // the same cable in two sections in front of it do not give the one-cable loss.
    const double A1 = double(float(26.75 * double(float(0.123))));
    const double A2 = double(float(26.75 * double(float(0.45))));
    const double Av = double(float(26.75 * double(float(1.427))));
    const float exact = float((A1 + A2) + Av);
    QVERIFY(exact != 53.5f);
    QTest::newRow("two sections of the swept cable")
        << QVector<LoopSection>{section(cable26, 123), section(cable26, 450)} << 2000.0f << exact;
    QTest::newRow("a lossless section") << QVector<LoopSection>{section(flatCable, 1000)}
                                        << 3000.0f << 53.5f;
    QTest::newRow("a section of another cable")
        << QVector<LoopSection>{section(cable({1, 30000}, {10, 10}), 500)} << 1500.0f << 31.75f;
    // A loop shorter than its sections cannot be built; the numbers stay defined all the same.
    QTest::newRow("a loop shorter than its sections")
        << QVector<LoopSection>{section(cable26, 1500)} << 1000.0f << 26.75f;
}

void tst_LineRateModel::sectionLoss()
{
    QFETCH(QVector<LoopSection>, sections);
    QFETCH(float, length);
    QFETCH(float, expected);
    const CableTemplate cable26 = cable({1, 30000}, {26.75f, 26.75f});
    const LineTypeTemplate line = dmt({100, 100.5f}, {-40, -40}, {15, 15}, {-140, -140});
    const LineRateModel model(cable26, line, noNoise, 300, 300, sections);
    const LineTrace trace = model.trace(1, 10, 10, 0, length);
    QCOMPARE(trace.tones.size(), 1);
    QCOMPARE(bits(trace.tones[0].A), bits(expected));
}

void tst_LineRateModel::crosstalkCountsTheWholeLoop()
{
    // Over lossless cables only the FEXT length term tells 1000 m from 2000 m.
    const LineTypeTemplate line = dmt({25.875f, 1104}, {-40, -40}, {15, 15}, {-140, -140});
    const LineRateModel sectioned(flatCable, line, noNoise, 300, 300, {{flatCable, 1000}});
    const LineRateModel plain(flatCable, line, noNoise, 300, 300);
    const LineTrace loop = sectioned.trace(10, 20, 20, 0, 2000);
    const LineTrace whole = plain.trace(10, 20, 20, 0, 2000);
    const LineTrace share = plain.trace(10, 20, 20, 0, 1000);
    QCOMPARE(bits(loop.tones.last().U), bits(whole.tones.last().U));
    QVERIFY(loop.tones.last().U != share.tones.last().U);
    QCOMPARE(sectioned.rate(10, 20, 20, 0, 2000), plain.rate(10, 20, 20, 0, 2000));
}

void tst_LineRateModel::trace_data()
{
    QTest::addColumn<LineTypeTemplate>("line");
    QTest::addColumn<QVector<LoopSection>>("sections");
    QTest::addColumn<float>("length");
    QTest::addColumn<int>("steps");
    QTest::addColumn<float>("rate");

    const LineTypeTemplate adsl = dmt({25.875f, 1104}, {-40, -40}, {15, 15}, {-140, -140});
    const LineTypeTemplate shdsl = pam(3, 13.5f, 192, 2304, -140);
    const QVector<LoopSection> none;
    const QVector<LoopSection> emptySection{{CableTemplate(), 100}};
    QTest::newRow("DMT band") << adsl << none << 0.0f << 251 << 15060.0f;
    QTest::newRow("DMT of one row") << dmt({100}, {-40}, {15}, {-140}) << none << 0.0f << 0 << 0.0f;
    QTest::newRow("DMT band that starts at its end")
        << dmt({500, 100}, {-40, -40}, {8, 8}, {-140, -140}) << none << 0.0f << 0 << 0.0f;
    QTest::newRow("DMT, a section without a row") << adsl << emptySection << 1000.0f << 0 << 0.0f;
    QTest::newRow("PAM, the first candidate passes") << shdsl << none << 0.0f << 1 << 2304.0f;
    // (2304 - 192) / 64 + 1 candidates, every one of them tried.
    QTest::newRow("PAM, nothing passes") << pam(3, -80, 192, 2304, -20) << none << 0.0f << 34
                                         << 0.0f;
    QTest::newRow("PAM, stepping down") << shdsl << none << 3000.0f << -1 << -1.0f;
    QTest::newRow("PAM with K zero") << pam(0, 13.5f, 192, 2304, -140) << none << 0.0f << 0 << 0.0f;
    QTest::newRow("PAM with an empty rate range")
        << pam(3, 13.5f, 1000, 967, -140) << none << 0.0f << 0 << 0.0f;
    QTest::newRow("PAM, a section without a row") << shdsl << emptySection << 1000.0f << 0 << 0.0f;
}

void tst_LineRateModel::trace()
{
    QFETCH(LineTypeTemplate, line);
    QFETCH(QVector<LoopSection>, sections);
    QFETCH(float, length);
    QFETCH(int, steps);
    QFETCH(float, rate);
    const LineRateModel model(realCable, line, noNoise, 300, 300, sections);
    const LineTrace trace = model.trace(4, 40, 40, 0, length);
    const float expectedRate = model.rate(4, 40, 40, 0, length);
    QCOMPARE(trace.rate, expectedRate);
    if (rate >= 0)
        QCOMPARE(trace.rate, rate);
    if (line.kind == LineTypeDmt) {
        QVERIFY(trace.candidates.isEmpty());
        QCOMPARE(trace.tones.size(), steps);
        for (int i = 1; i < trace.tones.size(); ++i)
            QCOMPARE(trace.tones[i].f, float(double(trace.tones[i - 1].f) + 4.3125));
        return;
    }
    QVERIFY(trace.tones.isEmpty());
    if (steps >= 0)
        QCOMPARE(trace.candidates.size(), steps);
    else
        QVERIFY(trace.candidates.size() > 1);
    // Every candidate but a passing last one fails; the rates step down by 64 from Rmax.
    for (int i = 0; i < trace.candidates.size(); ++i) {
        const CandidateTrace &c = trace.candidates[i];
        QCOMPARE(c.rate, line.Rmax[0] - 64.0f * i);
        const bool last = i == trace.candidates.size() - 1;
        QCOMPARE(double(c.snr) > c.threshold, last && trace.rate > 0);
        // K = 3 at margin 0 needs more than 18.7809 dB; 2304 kbit/s reach up to 385.833 kHz.
        QVERIFY(std::fabs(c.threshold - 18.7809) < 0.0001);
        if (c.rate == 2304.0f)
            QVERIFY(std::fabs(c.bandEdge - 385.833) < 0.001);
    }
    if (trace.rate > 0)
        QCOMPARE(trace.candidates.last().rate, trace.rate);
}

QTEST_GUILESS_MAIN(tst_LineRateModel)
#include "tst_lineratemodel.moc"


void tst_LineRateModel::codingGainAndVectoring_data()
{
    QTest::addColumn<int>("m");
    QTest::addColumn<float>("gain");
    QTest::addColumn<int>("depth"); // -1: no vectoring
    QTest::addColumn<int>("aliens");
    QTest::addColumn<float>("expected");

    // The worked tone (40 dB SNR at margin 6 carries 8 bits) under FEXT of 20 dB at 300 kHz
    // over 1 km: at 100 kHz ten lines lose 20 - 5.7 + 9.5 = 23.8 dB to the victim, which then
    // has 23.7 dB SNR and 4 bits at margin 0.
    QTest::newRow("coding gain adds to the SNR budget") << 1 << 3.0f << -1 << 0 << 36.0f;
    QTest::newRow("full binder") << 10 << 0.0f << -1 << 0 << 16.0f;
    QTest::newRow("full binder with coding gain") << 10 << 3.0f << -1 << 0 << 20.0f;
    QTest::newRow("vectored 25 dB") << 10 << 0.0f << 25 << 0 << 36.0f;
    QTest::newRow("vectored, two aliens") << 10 << 0.0f << 25 << 2 << 20.0f;
    QTest::newRow("vectored, every disturber alien") << 10 << 0.0f << 25 << 9 << 16.0f;
    QTest::newRow("vectored 0 dB cancels nothing") << 10 << 0.0f << 0 << 0 << 16.0f;
}

void tst_LineRateModel::codingGainAndVectoring()
{
    QFETCH(int, m);
    QFETCH(float, gain);
    QFETCH(int, depth);
    QFETCH(int, aliens);
    QFETCH(float, expected);
    const LineRateModel model(flatCable, dmt({100, 100.5f}, {-100, -100}, {15, 15}, {-140, -140}), noNoise,
                              300, 300);
    const ModelOptions options{gain, depth >= 0 ? std::optional<int>(depth) : std::nullopt, aliens};
    const float margin = m == 1 ? 6 : 0;
    QCOMPARE(model.rate(m, 20, 20, margin, 1000, options), expected);
    QCOMPARE(model.trace(m, 20, 20, margin, 1000, options).rate, expected);
}

void tst_LineRateModel::pamTakesTheGainAndIgnoresVectoring()
{
    const LineRateModel model(realCable, pam(2, 13.5f, 192, 2304, -140), noNoise, 300, 300);
    const LineTrace plain = model.trace(8, 40, 40, 0, 3000);
    const LineTrace lowered = model.trace(8, 40, 40, 0, 3000, {4.5f, std::nullopt, 0});
    QCOMPARE(lowered.candidates.first().threshold, plain.candidates.first().threshold - 4.5);
    QVERIFY(lowered.rate > plain.rate);
    QCOMPARE(model.rate(8, 40, 40, 0, 3000, {0, 40, 0}), plain.rate);
}
