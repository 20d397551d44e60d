#include "engine/linespectrum.h"
#include "engine/messages.h"
#include "engine/sweep.h"
#include "engine/workspace.h"
#include "randomworkspace.h"

#include "templatefiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <functional>

using Edit = std::function<void(CalcSettings &)>;
Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(LineTrace)

// QCOMPARE on float is fuzzy; the trace must give the table's rate to the bit.
static quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

namespace {

const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");

QByteArray csv(const LineTrace &trace, bool dmt)
{
    QByteArray bytes;
    QTextStream out(&bytes);
    writeTraceCsv(out, trace, dmt);
    out.flush();
    return bytes;
}

ToneTrace tone(float f, float S, float A, float U, float snr, int b)
{
    ToneTrace t;
    t.f = f;
    t.S = S;
    t.A = A;
    t.W = float(double(S) - double(A));
    t.U = U;
    t.snr = snr;
    t.bits = b;
    return t;
}

CandidateTrace candidate(float rate, float fN, float snr, double threshold)
{
    return CandidateTrace{rate, fN, snr, threshold};
}

CalcSettings sampleSettings()
{
    CalcSettings s = defaultCalcSettings(Samples);
    s.cableTypes = QStringList{QStringLiteral("PE-0.40mm-26AWG")};
    s.lineTypes = QStringList{QStringLiteral("ADSL2+_DS.DMT")};
    s.noiseTemplate = QStringLiteral("AWGN-140");
    s.cableLengthFrom = 1000;
    s.cableLengthTo = 4000;
    s.cableLengthStep = 1500;
    return s;
}

// A random workspace on disk and a record over it with a random family of curves.
struct RandomRun {
    CalcSettings settings;
    bool ok = false;

    RandomRun(test::Randomiser &r, const QString &dir)
    {
        const int lineCount = r.integer(1, 2);
        const int cableCount = lineCount > 1 ? 1 : r.integer(1, 2);
        bool written = true;
        for (int i = 0; i < cableCount; ++i) {
            const QString name = QStringLiteral("C%1").arg(i);
            written = written && test::writeCable(dir, name, r.cable(false));
            settings.cableTypes << name;
        }
        for (int i = 0; i < lineCount; ++i) {
            const bool dmt = r.rng.bounded(2);
            LineTypeTemplate line = dmt ? r.dmt() : r.pam();
            for (float &k : line.Kmax)
                k = std::max(k, 0.0f); // a negative cap is refused when the template is read
            const QString name = QStringLiteral("L%1.%2").arg(i).arg(dmt ? QStringLiteral("DMT") : QStringLiteral("PAM"));
            written = written && test::writeLineType(dir, name, line);
            settings.lineTypes << name;
        }
        written = written && test::writeNoise(dir, QStringLiteral("N"), r.noise());
        settings.noiseTemplate = QStringLiteral("N");
        for (const LoopSection &s : r.sections(false)) {
            const QString name = QStringLiteral("S%1").arg(settings.sections.size());
            written = written && test::writeCable(dir, name, s.cable);
            settings.sections << CableSection{name, s.length};
        }
        settings.cableCapacity = 99;
        settings.xDSL_points << r.integer(1, 12);
        settings.Norm_ELFEXT_points << r.integer(10, 80);
        settings.Norm_NEXT_points << r.integer(10, 80);
        settings.SNRMargin_points << r.integer(0, 12);
        settings.norm_ELFEXT_frequency = r.integer(50, 1000);
        settings.norm_NEXT_frequency = r.integer(50, 1000);
        // At most one family, as a run allows; loads and the rest only over one line and cable.
        if (lineCount == 1 && cableCount == 1) {
            switch (r.integer(0, 4)) {
            case 1: settings.xDSL_points << settings.xDSL_points.first() + r.integer(1, 20); break;
            case 2: settings.Norm_ELFEXT_points << settings.Norm_ELFEXT_points.first() + r.integer(1, 30); break;
            case 3: settings.Norm_NEXT_points << settings.Norm_NEXT_points.first() + r.integer(1, 30); break;
            case 4: settings.SNRMargin_points << settings.SNRMargin_points.first() + r.integer(1, 15); break;
            default: break;
            }
        }
        settings.cableLengthFrom = int(CalcInput::sectionsTotal(settings.sections)) + r.integer(0, 300);
        settings.cableLengthStep = r.integer(10, 900);
        settings.cableLengthTo = std::min(30000, settings.cableLengthFrom + settings.cableLengthStep * r.integer(2, 7));
        ok = written;
    }
};

} // namespace

class tst_LineSpectrum : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void csvBytes_data();
    void csvBytes();
    void curvesOfAFamily_data();
    void curvesOfAFamily();
    void refused_data();
    void refused();
    void bitsAddUpToTheTable_data();
    void bitsAddUpToTheTable();
};

void tst_LineSpectrum::initTestCase()
{
    setMessageLanguage(MessageLanguage::English);
}

void tst_LineSpectrum::csvBytes_data()
{
    QTest::addColumn<LineTrace>("trace");
    QTest::addColumn<bool>("dmt");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray dmtHeader("F,кГц;S,дБм/Гц;A,дБ;U,дБм/Гц;SNR,дБ;b;\n");
    const QByteArray pamHeader("R,кбит/с;fN,кГц;SNR,дБ;T,дБ;\n");

    LineTrace tones;
    tones.tones << tone(25.875f, -40, 0, -140.25f, 99.75f, 15)
                << tone(1104.1875f, -36.5f, 123.456789f, 1e-5f, -160.000001f, 0);
    // Six significant digits as the table's CSV; W is S − A and stays out.
    QTest::newRow("DMT tones in order")
        << tones << true
        << dmtHeader + "25.875;-40;0;-140.25;99.75;15;\n1104.19;-36.5;123.457;1e-05;-160;0;\n";

    LineTrace candidates;
    candidates.candidates << candidate(2304, 385.833f, 17.5f, 18.780899763107300)
                          << candidate(2240, 374.833f, 18.9f, 18.780899763107300);
    candidates.rate = 2240;
    QTest::newRow("PAM candidates, the passing one last")
        << candidates << false << pamHeader + "2304;385.833;17.5;18.7809;\n2240;374.833;18.9;18.7809;\n";

    // 0.1234565 as a double lies just below the rounding point, its float just above.
    LineTrace threshold;
    threshold.candidates << candidate(64, 3.16667f, 0, 0.1234565);
    QTest::newRow("the threshold written as a double") << threshold << false << pamHeader + "64;3.16667;0;0.123456;\n";

    QTest::newRow("no tone: the header alone") << LineTrace() << true << dmtHeader;
    QTest::newRow("no candidate: the header alone") << LineTrace() << false << pamHeader;
    // The other kind's entries are no part of the table.
    QTest::newRow("DMT ignores candidates") << candidates << true << dmtHeader;
}

void tst_LineSpectrum::csvBytes()
{
    QFETCH(LineTrace, trace);
    QFETCH(bool, dmt);
    QFETCH(QByteArray, expected);
    QCOMPARE(csv(trace, dmt), expected);

    // The content writer gives the same bytes.
    QByteArray written;
    QBuffer buffer(&written);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(traceCsvContent(trace, dmt)(buffer, nullptr));
    QCOMPARE(written, expected);
}

void tst_LineSpectrum::curvesOfAFamily_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QStringList>("lineTypes"); // of each curve
    QTest::addColumn<QStringList>("cables");

    const QString adsl = QStringLiteral("ADSL2+_DS.DMT");
    const QString shdsl = QStringLiteral("SHDSL_PAM16.PAM");
    const QString thin = QStringLiteral("PE-0.40mm-26AWG");
    const QString thick = QStringLiteral("PE-0.50mm-24AWG");
    QTest::newRow("one curve") << Edit([](CalcSettings &) {}) << QStringList{adsl} << QStringList{thin};
    QTest::newRow("line types, DMT and PAM")
        << Edit([=](CalcSettings &s) { s.lineTypes = QStringList{adsl, shdsl}; }) << QStringList{adsl, shdsl}
        << QStringList{thin, thin};
    QTest::newRow("cables") << Edit([=](CalcSettings &s) { s.cableTypes = QStringList{thin, thick}; })
                            << QStringList{adsl, adsl} << QStringList{thin, thick};
    QTest::newRow("loads") << Edit([](CalcSettings &s) { s.xDSL_points = {1, 4, 10}; })
                           << QStringList{adsl, adsl, adsl} << QStringList{thin, thin, thin};
    QTest::newRow("margins, PAM") << Edit([=](CalcSettings &s) {
        s.lineTypes = QStringList{shdsl};
        s.SNRMargin_points = {0, 6};
    }) << QStringList{shdsl, shdsl} << QStringList{thin, thin};
    QTest::newRow("behind sections") << Edit([=](CalcSettings &s) {
        s.sections = {CableSection{thick, 700}};
        s.Norm_ELFEXT_points = {20, 40};
    }) << QStringList{adsl, adsl} << QStringList{thin, thin};
}

void tst_LineSpectrum::curvesOfAFamily()
{
    QFETCH(Edit, edit);
    QFETCH(QStringList, lineTypes);
    QFETCH(QStringList, cables);
    CalcSettings settings = sampleSettings();
    edit(settings);
    QString error;
    const std::optional<SweepResult> run = runSweep(settings, Samples, &error);
    QVERIFY2(run, qPrintable(error));
    QCOMPARE(run->labels.size(), lineTypes.size());

    for (int curve = 0; curve < lineTypes.size(); ++curve) {
        for (const ResultRow &row : run->rows) {
            const std::optional<LineSpectrum> s = traceCurve(settings, Samples, curve, int(row.length), &error);
            QVERIFY2(s, qPrintable(error));
            // The window's title names the curve as the table's header does.
            QCOMPARE(QStringLiteral("R,кбит/с\n") + s->curve, run->labels.at(curve));
            QCOMPARE(s->lineType, lineTypes.at(curve));
            QCOMPARE(s->cable, cables.at(curve));
            QCOMPARE(s->dmt, lineTypes.at(curve).endsWith(QLatin1String(".DMT")));
            QCOMPARE(s->length, int(row.length));
            QCOMPARE(s->sections, CalcInput::sectionsSummary(settings.sections));
            QVERIFY2(bits(s->trace.rate) == bits(row.rates.at(curve)),
                     qPrintable(QStringLiteral("curve %1 at %2 m: %3 vs %4")
                                    .arg(curve)
                                    .arg(double(row.length))
                                    .arg(double(s->trace.rate))
                                    .arg(double(row.rates.at(curve)))));
            QCOMPARE(s->dmt ? s->trace.candidates.size() : s->trace.tones.size(), 0);
        }
    }
}

void tst_LineSpectrum::refused_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<int>("curve");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("message");

    const Edit none = [](CalcSettings &) {};
    QTest::newRow("curve below 0") << none << -1 << 1000 << QStringLiteral("There is no curve 0; the record has 1");
    QTest::newRow("curve past the last")
        << Edit([](CalcSettings &s) { s.xDSL_points = {1, 5}; }) << 2 << 1000
        << QStringLiteral("There is no curve 3; the record has 2");
    QTest::newRow("length past 30 km") << none << 0 << 30001 << QStringLiteral("The length 30001 m is outside 0..30000 m");
    QTest::newRow("negative length") << none << 0 << -1 << QStringLiteral("The length -1 m is outside 0..30000 m");
    QTest::newRow("shorter than the sections")
        << Edit([](CalcSettings &s) {
               s.sections = {CableSection{QStringLiteral("PE-0.50mm-24AWG"), 1200}};
               s.cableLengthFrom = 1200;
           })
        << 0 << 1199 << QStringLiteral("The length 1199 m is below the sections' total of 1200 m");
    QTest::newRow("missing line type") << Edit([](CalcSettings &s) { s.lineTypes = {QStringLiteral("none.DMT")}; })
                                       << 0 << 1000 << QStringLiteral("none.DMT");
    QTest::newRow("name leaving its directory")
        << Edit([](CalcSettings &s) { s.cableTypes = {QStringLiteral("../xDSL/ADSL_DS")}; }) << 0 << 1000
        << QStringLiteral("../xDSL/ADSL_DS");
}

void tst_LineSpectrum::refused()
{
    QFETCH(Edit, edit);
    QFETCH(int, curve);
    QFETCH(int, length);
    QFETCH(QString, message);
    CalcSettings settings = sampleSettings();
    edit(settings);
    QString error;
    QVERIFY(!traceCurve(settings, Samples, curve, length, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
}

void tst_LineSpectrum::bitsAddUpToTheTable_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 16; ++seed)
        QTest::addRow("workspace %u", seed) << seed;
}

void tst_LineSpectrum::bitsAddUpToTheTable()
{
    QFETCH(quint32, seed);
    test::Randomiser r(seed * 2654435761u);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const RandomRun random(r, dir.path());
    QVERIFY(random.ok);
    QString error;
    const std::optional<SweepResult> run = runSweep(random.settings, dir.path(), &error);
    QVERIFY2(run, qPrintable(error));

    for (int curve = 0; curve < run->labels.size(); ++curve) {
        for (const ResultRow &row : run->rows) {
            const std::optional<LineSpectrum> s = traceCurve(random.settings, dir.path(), curve, int(row.length), &error);
            QVERIFY2(s, qPrintable(error));
            const QString where = QStringLiteral("curve %1 (%2) at %3 m").arg(curve).arg(s->curve).arg(row.length);
            float sum = 0;
            for (const ToneTrace &t : s->trace.tones)
                sum = float(double(sum) + 4.0 * double(t.bits));
            // PAM: the last candidate tried is the rate, unless none passed.
            const float shown = s->dmt ? sum
                                : s->trace.candidates.isEmpty() || !(double(s->trace.candidates.last().snr)
                                                                     > s->trace.candidates.last().threshold)
                                    ? 0.0f
                                    : s->trace.candidates.last().rate;
            QVERIFY2(bits(shown) == bits(row.rates.at(curve)),
                     qPrintable(where + QStringLiteral(": %1 vs %2").arg(shown).arg(row.rates.at(curve))));
            QVERIFY2(bits(s->trace.rate) == bits(row.rates.at(curve)), qPrintable(where));
        }
    }
}

QTEST_GUILESS_MAIN(tst_LineSpectrum)
#include "tst_linespectrum.moc"
