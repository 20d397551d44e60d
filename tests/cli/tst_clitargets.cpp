// kolvane-calc reach and margin, run as a user runs them.

#include "kolvanecalc.h"
#include "templatefiles.h"

#include "engine/curveset.h"
#include "engine/templatefile.h"
#include "engine/workspace.h"

#include <QtTest>

namespace {

using test::calc;
using test::fileContents;
using test::Run;
using test::writeFile;

const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");

// The definitions walked literally on the model, curve by curve: the reach over the grid and the
// largest margin from the top down, without relying on the rate falling with the margin.
QByteArray bruteReachCsv(const CalcSettings &s, const QString &workdir, int from, int to, int step)
{
    QString error;
    const std::optional<CurveSet> set = CurveSet::load(s, workdir, &error);
    if (!set)
        qFatal("reference curves: %s", qPrintable(error));
    QByteArray out = "R,кбит/с;";
    for (const CurveSet::Curve &c : set->curves())
        out += "L,м " + c.name.toUtf8() + ';';
    out += '\n';
    for (int T : s.targetRates) {
        out += QByteArray::number(T) + ';';
        for (const CurveSet::Curve &c : set->curves()) {
            QByteArray text = "-";
            int L = from;
            for (; L <= to; L += step) {
                if (set->model(c.model).rate(c.m, c.elfextNorm, c.nextNorm, c.margin, float(L), set->options()) < float(T))
                    break;
                text = QByteArray::number(L);
            }
            if (L > to && text != "-")
                text = '>' + QByteArray::number(L - step);
            out += text + ';';
        }
        out += '\n';
    }
    return out;
}

QByteArray bruteMarginCsv(const CalcSettings &s, const QString &workdir, int target)
{
    QString error;
    const std::optional<CurveSet> set = CurveSet::load(s, workdir, &error);
    if (!set)
        qFatal("reference curves: %s", qPrintable(error));
    QByteArray out = "L,м;";
    for (const CurveSet::Curve &c : set->curves())
        out += "SNR Margin,дБ " + c.name.toUtf8() + ';';
    out += '\n';
    for (int L = s.cableLengthFrom; L <= s.cableLengthTo; L += s.cableLengthStep) {
        out += QByteArray::number(L) + ';';
        for (const CurveSet::Curve &c : set->curves()) {
            QByteArray text = "<-10.0";
            for (int k = 300; k >= -100; --k) {
                const float rate =
                    set->model(c.model).rate(c.m, c.elfextNorm, c.nextNorm, float(k / 10.0), float(L), set->options());
                if (double(rate) >= double(target)) {
                    text = k == 300 ? QByteArray(">30.0") : QByteArray::number(k / 10.0, 'f', 1);
                    break;
                }
            }
            out += text + ';';
        }
        out += '\n';
    }
    return out;
}

} // namespace

class tst_CliTargets : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_ws; // templates whose reach and margin are known by hand

    QStringList own(const QStringList &args) const
    {
        return QStringList{"-C", m_ws, "--noise", ""} + args;
    }

private slots:
    void initTestCase();
    void reachBytes_data();
    void reachBytes();
    void marginBytes_data();
    void marginBytes();
    void familiesOnTheSamples_data();
    void familiesOnTheSamples();
    void setupGivesRatesAndLengths();
    void writtenSetupReadsBack();
    void badInput_data();
    void badInput();
    void emptyTemplatesWarn_data();
    void emptyTemplatesWarn();
    void outputFile();
    void help();
};

void tst_CliTargets::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_ws = m_dir.filePath(QStringLiteral("ws"));
    const QDir ws(m_ws);
    QVERIFY(ws.mkpath(QStringLiteral("AddNoise")));
    // A lossless cable, and one that loses 20 dB/km at 100 kHz and gains 20 dB/km at 190 kHz.
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("Cable/flat.att")), {{1, 0}, {30000, 0}}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("Cable/tilted.att")), {{100, 20}, {190, -20}}));
    // Two 8-bit tones at 100 and 190 kHz: on the tilted cable the first fades from 300 m on and
    // the second grows back from 600 m on, so the rate is 32 kbit/s up to 300 m, dips to 24
    // and is 32 again from 1700 m.
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("xDSL/two.DMT")),
                       {{100, -100, 8, -140}, {100.5, -100, 0, -140}, {189.5, -140, 0, -140}, {190, -140, 8, -140}}));
    // One tone 40 dB and one 80 dB above the system's own noise on the flat cable: b bits need
    // (SNR - 9.75 - M) / 3.0103 >= b.
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("xDSL/tone40.DMT")), {{100, -100, 15, -140}, {100.5, -100, 15, -140}}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("xDSL/tone80.DMT")), {{100, -60, 15, -140}, {100.5, -60, 15, -140}}));
    // One PAM candidate of 79 kbit/s whose SNR equals its threshold exactly at -3.8 dB.
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("xDSL/edge.PAM")), {{3, double(-0x1.38f7f8p-6f), 79, 79, -55}}));
}

void tst_CliTargets::reachBytes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("expected");
    const QStringList tilted{"--cable", "tilted", "--line", "two.DMT"};
    QTest::newRow("no reach, beyond the grid, passing again after a failure")
        << tilted + QStringList{"--rate", "24,28,32,36", "--from", "0", "--to", "3000", "--step", "100"}
        << QByteArray("R,кбит/с;L,м m=1;\n24;>3000;\n28;400;\n32;300;\n36;-;\n");
    QTest::newRow("a grid that stops short of its end")
        << tilted + QStringList{"--rate", "24", "--from", "0", "--to", "2950", "--step", "100"}
        << QByteArray("R,кбит/с;L,м m=1;\n24;>2900;\n");
    QTest::newRow("a metre grid")
        << tilted + QStringList{"--rate", "28", "--from", "0", "--to", "3000", "--step", "1"}
        << QByteArray("R,кбит/с;L,м m=1;\n28;458;\n");
    QTest::newRow("a grid starting after the dip")
        << tilted + QStringList{"--rate", "32", "--from", "1700", "--to", "3000"}
        << QByteArray("R,кбит/с;L,м m=1;\n32;>3000;\n");
    QTest::newRow("default grid 0 to 10000 m")
        << QStringList{"--cable", "flat", "--line", "tone80.DMT", "--rate", "4"}
        << QByteArray("R,кбит/с;L,м m=1;\n4;>10000;\n");
    // 40 dB carry 10 bits at no margin, 80 dB the cap of 15.
    QTest::newRow("a line type family")
        << QStringList{"--cable", "flat", "--line", "tone40.DMT", "--line", "tone80.DMT", "--rate", "40,44,60"}
        << QByteArray("R,кбит/с;L,м tone40.DMT;L,м tone80.DMT;\n40;>10000;>10000;\n44;-;>10000;\n60;-;>10000;\n");
    QTest::newRow("the margin counts against the rate")
        << QStringList{"--cable", "flat", "--line", "tone40.DMT", "--margin", "0,7", "--rate", "32"}
        << QByteArray("R,кбит/с;L,м SNR Margin=0дБ;L,м SNR Margin=7дБ;\n32;>10000;-;\n");
}

void tst_CliTargets::reachBytes()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, expected);
    const Run r = calc(QStringList{"reach"} + own(args));
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, expected);
}

void tst_CliTargets::marginBytes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("expected");
    const QStringList atZero{"--cable", "flat", "--from", "0", "--to", "0", "--step", "10"};
    // 40 dB: 8 bits up to 6.1 dB, 11 bits need -2.9 dB, 15 bits cannot be had at -10 dB.
    QTest::newRow("a positive and a negative margin")
        << atZero + QStringList{"--line", "tone40.DMT", "--rate", "32"} << QByteArray("L,м;SNR Margin,дБ m=1;\n0;6.1;\n");
    QTest::newRow("a negative margin")
        << atZero + QStringList{"--line", "tone40.DMT", "--rate", "44"} << QByteArray("L,м;SNR Margin,дБ m=1;\n0;-2.9;\n");
    QTest::newRow("both ends of the range")
        << atZero + QStringList{"--line", "tone40.DMT", "--line", "tone80.DMT", "--rate", "60"}
        << QByteArray("L,м;SNR Margin,дБ tone40.DMT;SNR Margin,дБ tone80.DMT;\n0;<-10.0;25.0;\n");
    QTest::newRow("above 30 dB")
        << atZero + QStringList{"--line", "tone80.DMT", "--rate", "44"} << QByteArray("L,м;SNR Margin,дБ m=1;\n0;>30.0;\n");
    // At -3.8 dB the SNR equals the threshold, which is no pass.
    QTest::newRow("PAM at the threshold's rounding boundary")
        << atZero + QStringList{"--line", "edge.PAM", "--rate", "79"} << QByteArray("L,м;SNR Margin,дБ m=1;\n0;-3.9;\n");
    QTest::newRow("default lengths, the margin following the length")
        << QStringList{"--cable", "tilted", "--line", "two.DMT", "--rate", "32"}
        << QByteArray("L,м;SNR Margin,дБ m=1;\n1000;-1.8;\n2000;6.1;\n3000;26.1;\n4000;>30.0;\n5000;>30.0;\n"
                      "6000;>30.0;\n7000;>30.0;\n8000;>30.0;\n9000;>30.0;\n10000;>30.0;\n");
}

void tst_CliTargets::marginBytes()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, expected);
    const Run r = calc(QStringList{"margin"} + own(args));
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, expected);
}

void tst_CliTargets::familiesOnTheSamples_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<std::function<void(CalcSettings &)>>("edit");
    QTest::newRow("load family")
        << QStringList{"--load", "1,4,8", "--capacity", "8", "--elfext", "40"}
        << std::function<void(CalcSettings &)>([](CalcSettings &s) {
               s.xDSL_points = {1, 4, 8};
               s.cableCapacity = 8;
               s.Norm_ELFEXT_points = {40};
           });
    QTest::newRow("cable family behind a section")
        << QStringList{"--section", "PE-0.64mm-22AWG:500", "--cable", "PE-0.40mm-26AWG", "--cable", "PE-0.50mm-24AWG"}
        << std::function<void(CalcSettings &)>([](CalcSettings &s) {
               s.sections = {{"PE-0.64mm-22AWG", 500}};
               s.cableTypes = {"PE-0.40mm-26AWG", "PE-0.50mm-24AWG"};
           });
    QTest::newRow("vectored VDSL2 with aliens and a coding gain")
        << QStringList{"--line", "VDSL2-17a_DS.DMT", "--load", "10", "--capacity", "10", "--elfext", "56", "--vectoring",
                       "25", "--alien", "3", "--coding-gain", "4.5"}
        << std::function<void(CalcSettings &)>([](CalcSettings &s) {
               std::tie(s.lineTypes, s.xDSL_points, s.cableCapacity, s.Norm_ELFEXT_points) =
                   std::tuple(QStringList{"VDSL2-17a_DS.DMT"}, QVector<int>{10}, 10, QVector<float>{56});
               std::tie(s.vectoring, s.alienDisturbers, s.codingGain) = std::tuple(25, 3, 4.5f);
           });
    QTest::newRow("PAM with NEXT")
        << QStringList{"--line", "SHDSL_PAM16.PAM", "--load", "6", "--next", "45,60"}
        << std::function<void(CalcSettings &)>([](CalcSettings &s) {
               s.lineTypes = {"SHDSL_PAM16.PAM"};
               s.xDSL_points = {6};
               s.Norm_NEXT_points = {45, 60};
           });
}

void tst_CliTargets::familiesOnTheSamples()
{
    // Every curve's own conditions reach the questions: the output is the definitions walked
    // literally on the model.
    QFETCH(QStringList, args);
    QFETCH(std::function<void(CalcSettings &)>, edit);
    CalcSettings s = defaultCalcSettings(Samples);
    edit(s);
    s.targetRates = {512, 1024, 2048};
    s.cableLengthFrom = 500;
    s.cableLengthTo = 5500;
    s.cableLengthStep = 50;
    Run r = calc(QStringList{"reach", "-C", Samples, "--rate", "512,1024,2048", "--from", "500", "--to", "5500",
                             "--step", "50"} + args);
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.out, bruteReachCsv(s, Samples, 500, 5500, 50));

    s.cableLengthStep = 1000;
    r = calc(QStringList{"margin", "-C", Samples, "--rate", "1024", "--from", "500", "--to", "5500"} + args);
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.out, bruteMarginCsv(s, Samples, 1024));
}

void tst_CliTargets::setupGivesRatesAndLengths()
{
    // A setup's lengths are a table's: reach walks them at 10 m, margin takes them as they are,
    // and the first of its target rates is margin's.
    const QString file = m_dir.filePath(QStringLiteral("targets.kolvane"));
    QVERIFY(writeFile(file, "{\"format\": \"kolvane-setup\", \"version\": 1, \"cables\": [\"tilted\"],"
                            " \"lineTypes\": [\"two.DMT\"], \"noise\": \"\", \"lengths\": {\"from\": 0, \"to\": 3000, "
                            "\"step\": 1000}, \"targetRates\": [28, 32]}"));
    const QStringList base{"-C", m_ws, "--setup", file};
    Run fromSetup = calc(QStringList{"reach"} + base);
    QVERIFY2(fromSetup.code == 0, fromSetup.err.constData());
    QCOMPARE(fromSetup.out, calc(QStringList{"reach"} + own({"--cable", "tilted", "--line", "two.DMT", "--rate", "28,32",
                                                            "--from", "0", "--to", "3000", "--step", "10"}))
                                .out);
    QCOMPARE(fromSetup.out, QByteArray("R,кбит/с;L,м m=1;\n28;450;\n32;300;\n"));
    // Options override the setup's.
    QCOMPARE(calc(QStringList{"reach"} + base + QStringList{"--rate", "24", "--step", "1000"}).out,
             QByteArray("R,кбит/с;L,м m=1;\n24;>3000;\n"));

    fromSetup = calc(QStringList{"margin"} + base);
    QVERIFY2(fromSetup.code == 0, fromSetup.err.constData());
    QCOMPARE(fromSetup.out, calc(QStringList{"margin"} + own({"--cable", "tilted", "--line", "two.DMT", "--rate", "28",
                                                             "--from", "0", "--to", "3000"}))
                                .out);
    QCOMPARE(fromSetup.out.count('\n'), 5);
}

void tst_CliTargets::writtenSetupReadsBack()
{
    const QString file = m_dir.filePath(QStringLiteral("written.kolvane"));
    const QStringList options = own({"--cable", "tilted", "--line", "two.DMT", "--rate", "24,32", "--to", "3000"});
    Run r = calc(QStringList{"reach", "--write-setup", file} + options);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray());
    QVERIFY(fileContents(file).contains("\"targetRates\": [24, 32]"));
    QCOMPARE(calc({"reach", "-C", m_ws, "--setup", file}).out, calc(QStringList{"reach"} + options).out);

    // A metre grid is no table step: no setup file could hold it.
    r = calc(QStringList{"reach", "--write-setup", m_dir.filePath(QStringLiteral("fine.kolvane")), "--step", "5"}
             + options);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("lengths.step: 5 is below 10"), r.err.constData());
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("fine.kolvane"))));
}

void tst_CliTargets::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("reach without a rate") << QStringList{"reach"} << "--rate: no target rate given";
    QTest::newRow("reach rate 0") << QStringList{"reach", "--rate", "0"} << "--rate: 0 is outside 1..1000000";
    QTest::newRow("reach rate above 1000000") << QStringList{"reach", "--rate", "1000001"} << "--rate";
    QTest::newRow("reach rates not increasing") << QStringList{"reach", "--rate", "8000,4000"} << "strictly increasing";
    QTest::newRow("reach rate repeated") << QStringList{"reach", "--rate", "8000,8000"} << "strictly increasing";
    QTest::newRow("eleven rates") << QStringList{"reach", "--rate", "1,2,3,4,5,6,7,8,9,10,11"} << "at most 10";
    QTest::newRow("rate not a number") << QStringList{"reach", "--rate", "8M"} << "\"8M\" is not a whole number";
    QTest::newRow("rate a fraction") << QStringList{"reach", "--rate", "1.5"} << "\"1.5\"";
    QTest::newRow("empty rate") << QStringList{"reach", "--rate", ""} << "--rate";
    QTest::newRow("rate given twice") << QStringList{"reach", "--rate", "1", "--rate", "2"} << "more than once";
    QTest::newRow("reach step 0") << QStringList{"reach", "--rate", "1024", "--step", "0"} << "--step";
    QTest::newRow("reach step above 5000") << QStringList{"reach", "--rate", "1024", "--step", "5001"} << "--step";
    QTest::newRow("reach from beyond to")
        << QStringList{"reach", "--rate", "1024", "--from", "2000", "--to", "1000"} << "--from";
    QTest::newRow("reach with two families")
        << QStringList{"reach", "--rate", "1024", "--load", "1,2", "--margin", "0,6"} << "--load and --margin";
    QTest::newRow("margin without a rate") << QStringList{"margin"} << "--rate: no target rate given";
    QTest::newRow("margin with --margin") << QStringList{"margin", "--rate", "1024", "--margin", "6"}
                                          << "--margin does not apply";
    QTest::newRow("margin with a list of rates") << QStringList{"margin", "--rate", "1024,2048"} << "not a whole number";
    QTest::newRow("margin rate 0") << QStringList{"margin", "--rate", "0"} << "--rate: 0 is outside";
    QTest::newRow("margin rate given twice") << QStringList{"margin", "--rate", "1", "--rate", "2"} << "more than once";
    QTest::newRow("margin step below a table's") << QStringList{"margin", "--rate", "1024", "--step", "5"} << "--step";
    QTest::newRow("margin on a missing cable") << QStringList{"margin", "--rate", "1024", "--cable", "none"} << "none.att";
    QTest::newRow("unknown option") << QStringList{"reach", "--rates", "1024"} << "rates";
}

void tst_CliTargets::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mentions);
    const Run r = calc(args.mid(0, 1) + QStringList{"-C", Samples} + args.mid(1));
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.startsWith("kolvane-calc: "), r.err.constData());
    QVERIFY2(r.err.endsWith('\n') && r.err.count('\n') == 1, r.err.constData());
    QVERIFY2(QString::fromUtf8(r.err).contains(mentions), r.err.constData());
}

void tst_CliTargets::emptyTemplatesWarn_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("reach") << "reach";
    QTest::newRow("margin") << "margin";
}

void tst_CliTargets::emptyTemplatesWarn()
{
    QFETCH(QString, command);
    QVERIFY(test::writeRows(QDir(m_ws).filePath(QStringLiteral("Cable/empty.att")), {}));
    const Run r = calc(QStringList{command} + own({"--cable", "empty", "--line", "tone40.DMT", "--rate", "4",
                                                   "--from", "0", "--to", "20"}));
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray("kolvane-calc: warning: Cable/empty.att has no complete row; its rates are 0\n"));
    QCOMPARE(r.out, command == QLatin1String("reach") ? QByteArray("R,кбит/с;L,м m=1;\n4;-;\n")
                                                      : QByteArray("L,м;SNR Margin,дБ m=1;\n0;<-10.0;\n"));
}

void tst_CliTargets::outputFile()
{
    const QString path = m_dir.filePath(QStringLiteral("reach.csv"));
    const QStringList args = own({"--cable", "tilted", "--line", "two.DMT", "--rate", "24,28", "--to", "3000", "--step", "100"});
    Run r = calc(QStringList{"reach", "-o", path} + args);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(fileContents(path), QByteArray("R,кбит/с;L,м m=1;\n24;>3000;\n28;400;\n"));
    // Bad input leaves the file as it was.
    r = calc(QStringList{"reach", "-o", path, "--rate", "28,24"} + args.mid(0, 8));
    QCOMPARE(r.code, 2);
    QCOMPARE(fileContents(path), QByteArray("R,кбит/с;L,м m=1;\n24;>3000;\n28;400;\n"));
}

void tst_CliTargets::help()
{
    Run r = calc({"--help"});
    QVERIFY2(r.out.contains("  reach ") && r.out.contains("  margin "), r.out.constData());
    r = calc({"reach", "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith("Usage: kolvane-calc reach [options]\n"), r.out.constData());
    QVERIFY(r.out.contains("--rate <LIST>") && r.out.contains("--margin") && r.out.contains("(10)"));
    r = calc({"margin", "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith("Usage: kolvane-calc margin [options]\n"), r.out.constData());
    QVERIFY(r.out.contains("--rate <R>"));
    QVERIFY2(!r.out.contains("--margin <"), r.out.constData());
}

QTEST_GUILESS_MAIN(tst_CliTargets)
#include "tst_clitargets.moc"
