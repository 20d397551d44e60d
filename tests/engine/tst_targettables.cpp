#include "engine/curveset.h"
#include "engine/messages.h"
#include "engine/targettables.h"
#include "engine/templatefile.h"
#include "engine/workspace.h"

#include "templatefiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

namespace {

const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");

QByteArray bytes(const std::function<void(QTextStream &)> &write)
{
    QByteArray out;
    QTextStream stream(&out);
    write(stream);
    stream.flush();
    return out;
}

// A run on the workspace below: one 8-bit tone 40 dB above the noise on a lossless cable.
CalcSettings toneRun()
{
    CalcSettings s;
    s.cableTypes = {QStringLiteral("flat")};
    s.lineTypes = {QStringLiteral("tone40.DMT")};
    s.xDSL_points = {1};
    s.cableCapacity = 4;
    s.Norm_ELFEXT_points = {10};
    s.Norm_NEXT_points = {10};
    s.norm_ELFEXT_frequency = 300;
    s.norm_NEXT_frequency = 300;
    s.SNRMargin_points = {0};
    s.cableLengthFrom = 1000;
    s.cableLengthTo = 3005;
    s.cableLengthStep = 1000;
    return s;
}

QStringList reachTexts(const ReachTable &table, int target)
{
    QStringList out;
    for (const Reach &r : table.reaches.at(target))
        out << reachText(r);
    return out;
}

} // namespace

class tst_TargetTables : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase();
    void csvBytes();
    void runTables();
    void marginFamilyAsksOneQuestion();
    void cancelled();
    void progressAdvances();
    void noTargets();
    void sampleFamilyIsFast();
};

void tst_TargetTables::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QDir ws(m_dir.path());
    QVERIFY(ws.mkpath(QStringLiteral("AddNoise")));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("Cable/flat.att")), {{1, 0}, {30000, 0}}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("Cable/lossy.att")), {{1, 3}, {30000, 3}}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("xDSL/tone40.DMT")), {{100, -100, 15, -140}, {100.5, -100, 15, -140}}));
}

void tst_TargetTables::csvBytes()
{
    ReachTable reach;
    reach.targets = {256, 8000, 16000};
    reach.curves = {QStringLiteral("m=1"), QStringLiteral("кабель  K1\n")};
    reach.reaches = {{{Reach::Length, 2730}, {Reach::Beyond, 9990}},
                     {{Reach::None, 0}, {Reach::Length, 0}},
                     {{Reach::None, 0}, {Reach::None, 0}}};
    QCOMPARE(bytes([&](QTextStream &out) { writeReachCsv(out, reach); }),
             QByteArray("R,кбит/с;L,м m=1;L,м кабель K1;\n256;2730;>9990;\n8000;-;0;\n16000;-;-;\n"));

    MarginTable margin;
    margin.target = 8000;
    margin.curves = {QStringLiteral("ADSL2+_DS.DMT"), QStringLiteral("SNR Margin=6дБ")};
    margin.lengths = {0, 1500, 30000};
    margin.margins = {{{MarginAtRate::Above, 0}, {MarginAtRate::Value, 63}},
                      {{MarginAtRate::Value, -3}, {MarginAtRate::Value, 0}},
                      {{MarginAtRate::Below, 0}, {MarginAtRate::Value, -100}}};
    const QByteArray expected("L,м;SNR Margin,дБ ADSL2+_DS.DMT;SNR Margin,дБ SNR Margin=6дБ;\n"
                              "0;>30.0;6.3;\n1500;-0.3;0.0;\n30000;<-10.0;-10.0;\n");
    QCOMPARE(bytes([&](QTextStream &out) { writeMarginCsv(out, margin); }), expected);

    // The file content writes the same bytes.
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(marginCsvContent(margin)(buffer, nullptr));
    QCOMPARE(buffer.data(), expected);
}

void tst_TargetTables::runTables()
{
    // The reach takes the run's length range at 10 m, the margin every length of the run and
    // the first target rate.
    CalcSettings s = toneRun();
    s.cableTypes = {QStringLiteral("flat"), QStringLiteral("lossy")};
    s.targetRates = {32, 40};
    QString error;
    const std::optional<CurveSet> set = CurveSet::load(s, m_dir.path(), &error);
    QVERIFY2(set, qPrintable(error));
    const std::optional<TargetTables> tables = computeTargetTables(s, *set);
    QVERIFY(tables);
    QCOMPARE(tables->reach.from, 1000);
    QCOMPARE(tables->reach.to, 3005);
    QCOMPARE(tables->reach.step, 10);
    QCOMPARE(tables->reach.targets, (QVector<int>{32, 40}));
    QCOMPARE(tables->reach.curves, (QStringList{"кабель flat", "кабель lossy"}));
    // 3 dB/km at the tone: 8 bits hold while 40 - 3 L - 9.75 >= 24.08, up to 2.056 km; 10 bits
    // not even at the first length on the lossy cable, everywhere on the flat one.
    QCOMPARE(reachTexts(tables->reach, 0), (QStringList{">3000", "2050"}));
    QCOMPARE(reachTexts(tables->reach, 1), (QStringList{">3000", "-"}));
    QCOMPARE(tables->margin.target, 32);
    QCOMPARE(tables->margin.lengths, (QVector<float>{1000, 2000, 3000}));
    QCOMPARE(tables->margin.margins.size(), 3);
    // Flat: 6.1 dB everywhere; lossy: 3 dB less per km.
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(marginText(tables->margin.margins[k][0]), QStringLiteral("6.1"));
        QCOMPARE(marginText(tables->margin.margins[k][1]), QString::number(6.1 - 3.0 * (k + 1), 'f', 1));
    }

    // The same through the workspace.
    const std::optional<TargetTables> loaded = runTargetTables(s, m_dir.path(), &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(loaded->reach.reaches, tables->reach.reaches);
    QCOMPARE(loaded->margin.margins, tables->margin.margins);
}

void tst_TargetTables::marginFamilyAsksOneQuestion()
{
    // Curves that differ in their margin only: the reach is each curve's own, the margin at the
    // rate the same for all.
    CalcSettings s = toneRun();
    s.SNRMargin_points = {0, 7, 20};
    s.targetRates = {32};
    QString error;
    const std::optional<CurveSet> set = CurveSet::load(s, m_dir.path(), &error);
    QVERIFY2(set, qPrintable(error));
    const std::optional<TargetTables> tables = computeTargetTables(s, *set);
    QVERIFY(tables);
    QCOMPARE(reachTexts(tables->reach, 0), (QStringList{">3000", "-", "-"}));
    for (const QVector<MarginAtRate> &row : tables->margin.margins)
        QCOMPARE(row, (QVector<MarginAtRate>(3, {MarginAtRate::Value, 61})));
}

void tst_TargetTables::cancelled()
{
    CalcSettings s = toneRun();
    s.targetRates = {32};
    QString error;
    const std::optional<CurveSet> set = CurveSet::load(s, m_dir.path(), &error);
    QVERIFY(set);
    std::atomic_bool cancel(true);
    const TargetProgress progress{{}, &cancel};
    QVERIFY(!computeTargetTables(s, *set, progress));
    QVERIFY(!computeReachTable(*set, {32}, 0, 1000, 10, progress));
    QVERIFY(!computeMarginTable(*set, 32, {0, 1000}, progress));
    setMessageLanguage(MessageLanguage::Russian);
    QVERIFY(!runTargetTables(s, m_dir.path(), &error, progress));
    setMessageLanguage(MessageLanguage::English);
    QCOMPARE(error, QStringLiteral("Расчёт отменён"));
}

void tst_TargetTables::progressAdvances()
{
    CalcSettings s = toneRun();
    s.xDSL_points = {1, 2, 3};
    s.targetRates = {16, 32};
    QVector<int> seen;
    QString error;
    QVERIFY(runTargetTables(s, m_dir.path(), &error, TargetProgress{[&seen](int v) { seen << v; }, nullptr}));
    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.first(), 0);
    for (int i = 1; i < seen.size(); ++i)
        QVERIFY(seen[i] >= seen[i - 1]);
    QVERIFY(seen.last() <= 100);
}

void tst_TargetTables::noTargets()
{
    const CalcSettings s = toneRun();
    QString error;
    QVERIFY(!runTargetTables(s, m_dir.path(), &error));
    QVERIFY(!error.isEmpty());
    const std::optional<CurveSet> set = CurveSet::load(s, m_dir.path(), &error);
    QVERIFY(set);
    QVERIFY(!computeTargetTables(s, *set));
}

void tst_TargetTables::sampleFamilyIsFast()
{
    // What the window computes for ten curves over 0 ... 30 km: the grid is swept once per
    // curve, never length by length. A generous bound on a shared machine; the benchmark
    // gives the real figure.
    CalcSettings s = defaultCalcSettings(Samples);
    s.cableCapacity = 10;
    s.xDSL_points = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    s.Norm_ELFEXT_points = {50};
    s.cableLengthFrom = 0;
    s.cableLengthTo = 30000;
    s.targetRates = {256, 1024, 4096, 16384};
    QString error;
    const std::optional<CurveSet> set = CurveSet::load(s, Samples, &error);
    QVERIFY2(set, qPrintable(error));
    QElapsedTimer timer;
    timer.start();
    const std::optional<TargetTables> tables = computeTargetTables(s, *set);
    const qint64 elapsed = timer.elapsed();
    QVERIFY(tables);
    QCOMPARE(tables->margin.lengths.size(), 31);
    QVERIFY2(elapsed < 3000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
}

QTEST_GUILESS_MAIN(tst_TargetTables)
#include "tst_targettables.moc"
