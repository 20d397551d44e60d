#include "engine/lineratemodel.h"
#include "randomworkspace.h"
#include "referencemodel.h"

#include <QtTest>

#include <cstring>

// QCOMPARE on float is fuzzy; the fast model must match the step-by-step one to the bit.
static quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

static quint64 bits(double d)
{
    quint64 b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

namespace {

// One random curve: the production model and the reference over the same templates.
struct Workspace {
    CableTemplate cable;
    NoiseTemplate noise;
    LineTypeTemplate line;
    QVector<LoopSection> sections;
    float fX = 0;
    float fE = 0;
    int m = 1;
    float E = 0;
    float X = 0;
    ModelOptions options;

    Workspace(test::Randomiser &r, bool isDmt, bool negativeAttenuation, bool sectioned, bool extended)
    {
        cable = r.cable(negativeAttenuation);
        noise = r.noise();
        line = isDmt ? r.dmt() : r.pam();
        fX = r.value(50, 1000);
        fE = r.value(50, 1000);
        if (sectioned)
            sections = r.sections(negativeAttenuation, true);
        m = r.integer(1, 12);
        E = r.value(10, 80);
        X = r.value(10, 80);
        if (extended)
            options = r.options(m);
    }
    LineRateModel model() const { return LineRateModel(cable, line, noise, fX, fE, sections); }
    reference::Model literal() const
    {
        return reference::Model{cable, line, noise, fX, fE, test::referenceSections(sections),
                                options.codingGain, options.vectoring, options.alienDisturbers};
    }
    // With sections, the first length lies below their total now and then: such a loop cannot
    // be built, but the model must still give the reference's numbers.
    float firstLength(test::Randomiser &r) const
    {
        const float start = r.rng.bounded(3) == 0 ? 0.0f : r.value(0, 500);
        if (sections.isEmpty() || r.rng.bounded(4) == 0)
            return start;
        return float(test::totalLength(sections)) + start;
    }
};

// Seeds above this add a coding gain and vectoring, with and without sections.
constexpr quint32 ExtendedSeeds = 100;

void addRows()
{
    QTest::addColumn<bool>("isDmt");
    QTest::addColumn<bool>("negativeAttenuation");
    QTest::addColumn<bool>("sectioned");
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 12; ++seed) {
        QTest::addRow("DMT %u", seed) << true << (seed % 4 == 0) << false << seed;
        QTest::addRow("PAM %u", seed) << false << (seed % 4 == 0) << false << seed;
    }
    for (quint32 seed = 1; seed <= 8; ++seed) {
        QTest::addRow("DMT with sections %u", seed) << true << (seed % 4 == 0) << true << seed;
        QTest::addRow("PAM with sections %u", seed) << false << (seed % 4 == 0) << true << seed;
    }
    for (quint32 seed = ExtendedSeeds + 1; seed <= ExtendedSeeds + 10; ++seed) {
        QTest::addRow("DMT vectored or gained %u", seed) << true << (seed % 4 == 0) << (seed % 2 == 0) << seed;
        QTest::addRow("PAM gained %u", seed) << false << (seed % 4 == 0) << (seed % 2 == 0) << seed;
    }
}

} // namespace

class tst_ModelIdentity : public QObject
{
    Q_OBJECT

private slots:
    void sweepMatchesReference_data() { addRows(); }
    void sweepMatchesReference();
    void traceMatchesReference_data() { addRows(); }
    void traceMatchesReference();
};

void tst_ModelIdentity::sweepMatchesReference()
{
    QFETCH(bool, isDmt);
    QFETCH(bool, negativeAttenuation);
    QFETCH(bool, sectioned);
    QFETCH(quint32, seed);
    test::Randomiser r(seed * 7919u + (isDmt ? 1u : 0u) + (sectioned ? 2u : 0u));
    int nonZero = 0;
    for (int trial = 0; trial < 6; ++trial) {
        const Workspace w(r, isDmt, negativeAttenuation, sectioned, seed > ExtendedSeeds);
        const LineRateModel model = w.model();
        const reference::Model literal = w.literal();
        QVector<float> margins;
        const int marginCount = r.integer(1, 4);
        for (int j = 0; j < marginCount; ++j)
            margins << r.value(-3, 30);
        RateSweep sweep(model, w.m, w.E, w.X, margins, w.options);

        // Mostly ascending, as a run sweeps, with a step back now and then.
        float L = w.firstLength(r);
        for (int k = 0; k < 12; ++k) {
            QVector<float> fast(margins.size());
            sweep.evaluate(L, fast.data());
            for (int j = 0; j < margins.size(); ++j) {
                const float expected = literal.rate(w.m, w.E, w.X, margins[j], L);
                const QString where = QStringLiteral("trial %1, L %2, margin %3: %4 vs %5")
                                          .arg(trial)
                                          .arg(double(L))
                                          .arg(double(margins[j]))
                                          .arg(double(fast[j]))
                                          .arg(double(expected));
                QVERIFY2(bits(fast[j]) == bits(expected), qPrintable(where));
                nonZero += expected != 0;
                QVERIFY2(bits(model.rate(w.m, w.E, w.X, margins[j], L, w.options)) == bits(expected),
                         qPrintable(where));
            }
            L = r.rng.bounded(8) == 0 ? float(L * 0.5) : float(L + r.value(10, 900));
        }
    }
    // Comparing nothing but zeros would prove nothing.
    QVERIFY(nonZero > 0);
}

void tst_ModelIdentity::traceMatchesReference()
{
    QFETCH(bool, isDmt);
    QFETCH(bool, negativeAttenuation);
    QFETCH(bool, sectioned);
    QFETCH(quint32, seed);
    test::Randomiser r(seed * 104729u + (isDmt ? 1u : 0u) + (sectioned ? 2u : 0u));
    int steps = 0;
    for (int trial = 0; trial < 4; ++trial) {
        const Workspace w(r, isDmt, negativeAttenuation, sectioned, seed > ExtendedSeeds);
        const LineRateModel model = w.model();
        const reference::Model literal = w.literal();
        float L = w.firstLength(r);
        for (int k = 0; k < 4; ++k, L = float(L + r.value(10, 2000))) {
            const float margin = r.value(-3, 30);
            reference::Trace expected;
            const float rate = literal.rate(w.m, w.E, w.X, margin, L, &expected);
            const LineTrace traced = model.trace(w.m, w.E, w.X, margin, L, w.options);
            const QString where = QStringLiteral("trial %1, L %2, margin %3")
                                      .arg(trial)
                                      .arg(double(L))
                                      .arg(double(margin));
            QVERIFY2(bits(traced.rate) == bits(rate), qPrintable(where));
            QCOMPARE(traced.tones.size(), expected.tones.size());
            QCOMPARE(traced.candidates.size(), expected.candidates.size());
            float sum = 0;
            for (int i = 0; i < traced.tones.size(); ++i) {
                const ToneTrace &t = traced.tones[i];
                const reference::ToneStep &e = expected.tones[i];
                const QString tone = where + QStringLiteral(", tone %1").arg(i);
                QVERIFY2(bits(t.f) == bits(e.f) && bits(t.S) == bits(e.S) && bits(t.A) == bits(e.A)
                             && bits(t.W) == bits(e.W) && bits(t.U) == bits(e.U)
                             && bits(t.snr) == bits(e.snr) && t.bits == e.bits,
                         qPrintable(tone));
                sum = float(double(sum) + 4.0 * double(t.bits));
            }
            for (int i = 0; i < traced.candidates.size(); ++i) {
                const CandidateTrace &c = traced.candidates[i];
                const reference::CandidateStep &e = expected.candidates[i];
                QVERIFY2(bits(c.rate) == bits(e.R) && bits(c.bandEdge) == bits(e.fN)
                             && bits(c.snr) == bits(e.snr) && bits(c.threshold) == bits(e.T),
                         qPrintable(where + QStringLiteral(", candidate %1").arg(i)));
            }
            // The bits of the tones add up to the rate the table shows.
            if (isDmt)
                QVERIFY2(bits(sum) == bits(model.rate(w.m, w.E, w.X, margin, L, w.options)), qPrintable(where));
            steps += traced.tones.size() + traced.candidates.size();
        }
    }
    QVERIFY(steps > 0);
}

QTEST_GUILESS_MAIN(tst_ModelIdentity)
#include "tst_modelidentity.moc"
