#include "engine/lineratemodel.h"
#include "referencemodel.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

// QCOMPARE on float is fuzzy; the fast model must match the step-by-step one to the bit.
static quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

namespace {

struct Randomiser {
    QRandomGenerator rng;
    explicit Randomiser(quint32 seed) : rng(seed) {}

    double uniform(double lo, double hi) { return lo + (hi - lo) * rng.generateDouble(); }
    int integer(int lo, int hi) { return lo + int(rng.bounded(quint32(hi - lo + 1))); }
    // Half the values on a coarse grid: ties and exact boundaries are where roundings matter.
    float value(double lo, double hi)
    {
        const double v = uniform(lo, hi);
        return rng.bounded(2) ? float(std::round(v * 4) / 4) : float(v);
    }

    QVector<float> ascending(int n, double lo, double hi)
    {
        QVector<float> xs;
        for (int i = 0; i < n; ++i)
            xs << value(lo, hi);
        std::sort(xs.begin(), xs.end());
        return xs;
    }

    CableTemplate cable(bool negativeAllowed)
    {
        CableTemplate t;
        t.count = integer(1, 30);
        t.F = ascending(t.count, 0, 3000);
        for (int i = 0; i < t.count; ++i) {
            t.a << value(negativeAllowed ? -2 : 0, 60);
            t.rows << i;
        }
        std::sort(t.a.begin(), t.a.end());
        return t;
    }

    NoiseTemplate noise()
    {
        NoiseTemplate t;
        t.count = integer(0, 12);
        t.F = ascending(t.count, 0, 3000);
        for (int i = 0; i < t.count; ++i) {
            t.N << value(-165, -110);
            t.rows << i;
        }
        return t;
    }

    LineTypeTemplate dmt()
    {
        LineTypeTemplate t;
        t.kind = LineTypeDmt;
        t.count = integer(2, 20);
        t.F = ascending(t.count, -20, 2300);
        for (int i = 0; i < t.count; ++i) {
            t.S << value(-60, -30);
            t.Kmax << (rng.bounded(5) == 0 ? 0.0f : value(-1, 15));
            t.N << value(-160, -120);
            t.rows << i;
        }
        return t;
    }

    LineTypeTemplate pam()
    {
        LineTypeTemplate t;
        t.kind = LineTypePam;
        t.count = 1;
        t.rows << 0;
        t.K << integer(1, 4);
        t.P << value(5, 16);
        const float rmin = value(0, 600);
        t.Rmin << rmin;
        t.Rmax << float(rmin + (rng.bounded(2) ? 64 * integer(-1, 30) : uniform(-40, 1800)));
        t.N << value(-150, -100);
        return t;
    }
};

} // namespace

class tst_ModelIdentity : public QObject
{
    Q_OBJECT

private slots:
    void sweepMatchesReference_data();
    void sweepMatchesReference();
};

void tst_ModelIdentity::sweepMatchesReference_data()
{
    QTest::addColumn<bool>("isDmt");
    QTest::addColumn<bool>("negativeAttenuation");
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 12; ++seed) {
        QTest::addRow("DMT %u", seed) << true << (seed % 4 == 0) << seed;
        QTest::addRow("PAM %u", seed) << false << (seed % 4 == 0) << seed;
    }
}

void tst_ModelIdentity::sweepMatchesReference()
{
    QFETCH(bool, isDmt);
    QFETCH(bool, negativeAttenuation);
    QFETCH(quint32, seed);
    Randomiser r(seed * 7919u + (isDmt ? 1u : 0u));
    int nonZero = 0;
    int total = 0;
    for (int trial = 0; trial < 6; ++trial) {
        const CableTemplate cable = r.cable(negativeAttenuation);
        const NoiseTemplate noise = r.noise();
        const LineTypeTemplate line = isDmt ? r.dmt() : r.pam();
        const float fX = r.value(50, 1000);
        const float fE = r.value(50, 1000);
        const LineRateModel model(cable, line, noise, fX, fE);
        const reference::Model literal{cable, line, noise, fX, fE};

        const int m = r.integer(1, 12);
        const float E = r.value(10, 80);
        const float X = r.value(10, 80);
        QVector<float> margins;
        const int marginCount = r.integer(1, 4);
        for (int j = 0; j < marginCount; ++j)
            margins << r.value(-3, 30);
        RateSweep sweep(model, m, E, X, margins);

        // Mostly ascending, as a run sweeps, with a step back now and then.
        float L = r.rng.bounded(3) == 0 ? 0.0f : r.value(0, 500);
        for (int k = 0; k < 12; ++k) {
            QVector<float> fast(margins.size());
            sweep.evaluate(L, fast.data());
            for (int j = 0; j < margins.size(); ++j) {
                const float expected = literal.rate(m, E, X, margins[j], L);
                const QString where = QStringLiteral("trial %1, L %2, margin %3: %4 vs %5")
                                          .arg(trial)
                                          .arg(double(L))
                                          .arg(double(margins[j]))
                                          .arg(double(fast[j]))
                                          .arg(double(expected));
                QVERIFY2(bits(fast[j]) == bits(expected), qPrintable(where));
                nonZero += expected != 0;
                ++total;
                QVERIFY2(bits(model.rate(m, E, X, margins[j], L)) == bits(expected),
                         qPrintable(where));
            }
            L = r.rng.bounded(8) == 0 ? float(L * 0.5) : float(L + r.value(10, 900));
        }
    }
    // Comparing nothing but zeros would prove nothing.
    QVERIFY(nonZero > 0);
}

QTEST_GUILESS_MAIN(tst_ModelIdentity)
#include "tst_modelidentity.moc"
