#include "kolvanecalc.h"
#include "templatefiles.h"

#include "engine/csvwriter.h"
#include "engine/sweep.h"
#include "engine/templatefile.h"
#include "engine/workspace.h"

#include "fulldisk.h"
#include "ordinaryuser.h"

#include <QStandardPaths>

#include <QtTest>

#include <functional>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

using Edit = std::function<void(CalcSettings &)>;
Q_DECLARE_METATYPE(Edit)

namespace {

using test::calc;
using test::fileContents;
using test::Run;
using test::writeFile;

const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");

// What the engine itself gives for these settings, as the CSV export writes it.
QByteArray expectedCsv(const CalcSettings &settings, const QString &workdir)
{
    QString error;
    const std::optional<SweepResult> result = runSweep(settings, workdir, &error);
    if (!result)
        qFatal("reference run failed: %s", qPrintable(error));
    QByteArray bytes;
    QTextStream out(&bytes);
    writeCsv(out, QStringList{QStringLiteral("L,м")} + result->labels, result->rows);
    out.flush();
    return bytes;
}

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_workspace; // a small workspace of our own, for faults the samples do not have

private slots:
    void initTestCase();
    void defaultsOnSamples();
    void optionsReachTheRun_data();
    void optionsReachTheRun();
    void badInput_data();
    void badInput();
    void badTemplateValue();
    void emptyWorkspace();
    void unreadableTemplate();
    void outputFile();
    void outputFileNotWritable();
    void failedStdout();
    void helpAndVersion();
    void tableIsTheDefaultCommand_data();
    void tableIsTheDefaultCommand();
    void unknownCommand();
    void setupFiles_data();
    void setupFiles();
    void badSetup_data();
    void badSetup();
    void outputOnFullDisk();
    void outputIntoPipesAndDevices();
    void templatesWithoutRowsWarn();
    void noiseNameWithADot();
    void permissionDenied_data();
    void permissionDenied();
    void pipesAreRefusedAtOnce();
    void setupToStandardOutput();
    void closedStandardOutput();
};

void tst_Cli::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFileInfo(QStringLiteral(KOLVANE_CALC)).isExecutable());
    m_workspace = m_dir.filePath(QStringLiteral("ws"));
    const QDir ws(m_workspace);
    QVERIFY(ws.mkpath(QStringLiteral("Cable")) && ws.mkpath(QStringLiteral("xDSL"))
            && ws.mkpath(QStringLiteral("AddNoise")));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("Cable/good.att")), {{1, 1.8}, {30000, 150}}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("Cable/inf.att")),
                       {{1, 1.8}, {1000, std::numeric_limits<double>::infinity()}}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("xDSL/adsl.DMT")),
                       {{142.3125, -40, 15, -140}, {1099.6875, -40, 15, -140}}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("xDSL/huge.PAM")), {{3, 13.5, 192, 1e9, -140}}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("xDSL/negk.DMT")),
                       {{142.3125, -40, 15, -140}, {1099.6875, -40, -15, -140}}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("AddNoise/white.add")), {{1, -140}, {30000, -140}}));
}

void tst_Cli::defaultsOnSamples()
{
    // No option at all: the dialog's untouched state on the workspace, run from inside it.
    const Run r = calc({}, Samples);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, expectedCsv(defaultCalcSettings(Samples), Samples));

    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.size(), 12); // header, ten lengths, nothing after the last LF
    QCOMPARE(lines.first(), QByteArray("L,м;R,кбит/с m=1;"));
    QCOMPARE(lines.at(1).left(5), QByteArray("1000;"));
    QCOMPARE(lines.at(10).left(6), QByteArray("10000;"));
    QVERIFY(lines.last().isEmpty());
    QVERIFY(!r.out.contains('\r'));
    // A 0.4 mm ADSL2+ line carries megabits at 1 km and nothing useful at 10 km.
    QVERIFY(lines.at(1).split(';').at(1).toDouble() > 10000);
    QCOMPARE(lines.at(10), QByteArray("10000;0;"));

    // -C from elsewhere gives the same bytes.
    QCOMPARE(calc({QStringLiteral("-C"), Samples}, m_dir.path()).out, r.out);
}

void tst_Cli::optionsReachTheRun_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Edit>("edit");
    QTest::newRow("cable family")
        << QStringList{"--cable", "PE-0.40mm-26AWG", "--cable", "PE-0.50mm-24AWG", "--margin", "6"}
        << Edit([](CalcSettings &s) {
               s.cableTypes = {"PE-0.40mm-26AWG", "PE-0.50mm-24AWG"};
               s.SNRMargin_points = {6};
           });
    QTest::newRow("sections in loop order, a cable family behind them")
        << QStringList{"--section", "PE-0.64mm-22AWG:1200", "--section", "PE-0.50mm-24AWG:300", "--from", "1500",
                       "--cable", "PE-0.40mm-26AWG", "--cable", "PE-thin-0.32mm"}
        << Edit([](CalcSettings &s) {
               s.sections = {{"PE-0.64mm-22AWG", 1200}, {"PE-0.50mm-24AWG", 300}};
               s.cableLengthFrom = 1500;
               s.cableTypes = {"PE-0.40mm-26AWG", "PE-thin-0.32mm"};
           });
    QTest::newRow("a section before a PAM line")
        << QStringList{"--section", "PE-0.64mm-22AWG:2000", "--line", "SHDSL_PAM16.PAM", "--from", "2000", "--step", "250"}
        << Edit([](CalcSettings &s) {
               s.sections = {{"PE-0.64mm-22AWG", 2000}};
               s.lineTypes = {"SHDSL_PAM16.PAM"};
               s.cableLengthFrom = 2000;
               s.cableLengthStep = 250;
           });
    QTest::newRow("line type family")
        << QStringList{"--line", "ADSL_DS.DMT", "--line", "SHDSL_PAM16.PAM", "--to", "6000"}
        << Edit([](CalcSettings &s) {
               s.lineTypes = {"ADSL_DS.DMT", "SHDSL_PAM16.PAM"};
               s.cableLengthTo = 6000;
           });
    QTest::newRow("load family with M")
        << QStringList{"--load", "1,3,4", "--capacity", "4", "--elfext", "66", "--elfext-freq", "300"}
        << Edit([](CalcSettings &s) {
               s.xDSL_points = {1, 3, 4};
               s.Norm_ELFEXT_points = {66};
           });
    QTest::newRow("ELFEXT family at another frequency")
        << QStringList{"--load", "25", "--capacity", "50", "--elfext", "47,83,120", "--elfext-freq", "1000"}
        << Edit([](CalcSettings &s) {
               s.xDSL_points = {25};
               s.cableCapacity = 50;
               s.Norm_ELFEXT_points = {47, 83, 120};
               s.norm_ELFEXT_frequency = 1000;
           });
    QTest::newRow("NEXT family for a PAM line")
        << QStringList{"--line", "SHDSL_PAM32.PAM", "--load", "10", "--next", "40,50,60",
                       "--next-freq", "80", "--from", "500", "--to", "6000", "--step", "250"}
        << Edit([](CalcSettings &s) {
               s.lineTypes = {"SHDSL_PAM32.PAM"};
               s.xDSL_points = {10};
               s.Norm_NEXT_points = {40, 50, 60};
               s.norm_NEXT_frequency = 80;
               s.cableLengthFrom = 500;
               s.cableLengthTo = 6000;
               s.cableLengthStep = 250;
           });
    QTest::newRow("margin family")
        << QStringList{"--margin", "0,6,15,30"}
        << Edit([](CalcSettings &s) { s.SNRMargin_points = {0, 6, 15, 30}; });
    QTest::newRow("single length")
        << QStringList{"--from", "0", "--to", "0", "--step", "10"}
        << Edit([](CalcSettings &s) {
               s.cableLengthFrom = 0;
               s.cableLengthTo = 0;
               s.cableLengthStep = 10;
           });
    QTest::newRow("other noise")
        << QStringList{"--noise", "AWGN-140+ISDN24-NEXT"}
        << Edit([](CalcSettings &s) { s.noiseTemplate = "AWGN-140+ISDN24-NEXT"; });
    QTest::newRow("no noise") << QStringList{"--noise", ""}
                              << Edit([](CalcSettings &s) { s.noiseTemplate.clear(); });
    QTest::newRow("vectored load family with a coding gain")
        << QStringList{"--load", "3,9", "--capacity", "9", "--coding-gain", "3.5", "--vectoring", "25", "--alien", "2"}
        << Edit([](CalcSettings &s) {
               std::tie(s.xDSL_points, s.cableCapacity, s.codingGain, s.vectoring, s.alienDisturbers) =
                   std::tuple(QVector<int>{3, 9}, 9, 3.5f, 25, 2);
           });
    QTest::newRow("gained PAM, which vectoring leaves alone")
        << QStringList{"--line", "SHDSL_PAM16.PAM", "--coding-gain", "2", "--vectoring", "30", "--step", "500"}
        << Edit([](CalcSettings &s) {
               std::tie(s.lineTypes, s.codingGain, s.vectoring, s.cableLengthStep) =
                   std::tuple(QStringList{"SHDSL_PAM16.PAM"}, 2.0f, 30, 500);
           });
    QTest::newRow("blanks around list values")
        << QStringList{"--load", " 1, 2"} << Edit([](CalcSettings &s) { s.xDSL_points = {1, 2}; });
}

void tst_Cli::optionsReachTheRun()
{
    QFETCH(QStringList, args);
    QFETCH(Edit, edit);
    CalcSettings settings = defaultCalcSettings(Samples);
    edit(settings);
    const Run r = calc(QStringList{"--workdir", Samples} + args);
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, expectedCsv(settings, Samples));
}

void tst_Cli::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("unknown option") << QStringList{"--lenght", "5"} << "lenght";
    QTest::newRow("missing value") << QStringList{"--load"} << "--load";
    QTest::newRow("stray argument") << QStringList{"ADSL.DMT"} << "ADSL.DMT";
    QTest::newRow("non-numeric value") << QStringList{"--capacity", "four"} << "four";
    QTest::newRow("fraction where whole numbers go") << QStringList{"--margin", "1.5"} << "1.5";
    QTest::newRow("empty list item") << QStringList{"--load", "1,,3"} << "--load";
    QTest::newRow("load 0") << QStringList{"--load", "0"} << "--load";
    QTest::newRow("load 100") << QStringList{"--load", "100"} << "--load";
    QTest::newRow("capacity 0") << QStringList{"--capacity", "0"} << "--capacity";
    QTest::newRow("norm 9") << QStringList{"--next", "9"} << "--next";
    QTest::newRow("norm 121") << QStringList{"--elfext", "121"} << "--elfext";
    QTest::newRow("margin 31") << QStringList{"--margin", "31"} << "--margin";
    QTest::newRow("negative margin") << QStringList{"--margin", "-1"} << "--margin";
    QTest::newRow("frequency 0") << QStringList{"--next-freq", "0"} << "--next-freq";
    QTest::newRow("frequency 30001") << QStringList{"--elfext-freq", "30001"} << "--elfext-freq";
    QTest::newRow("length beyond 30000") << QStringList{"--to", "30001"} << "--to";
    QTest::newRow("negative length") << QStringList{"--from", "-10"} << "--from";
    QTest::newRow("step 9") << QStringList{"--step", "9"} << "--step";
    QTest::newRow("step 5001") << QStringList{"--step", "5001"} << "--step";
    QTest::newRow("from beyond to") << QStringList{"--from", "2000", "--to", "1000"} << "--from";
    QTest::newRow("eleven values") << QStringList{"--margin", "0,1,2,3,4,5,6,7,8,9,10"} << "--margin";
    QTest::newRow("not increasing") << QStringList{"--next", "60,50"} << "increasing";
    QTest::newRow("repeated value") << QStringList{"--load", "2,2"} << "increasing";
    QTest::newRow("two families")
        << QStringList{"--load", "1,2", "--margin", "0,6"} << "--load and --margin";
    QTest::newRow("two template families")
        << QStringList{"--cable", "PE-0.40mm-26AWG", "--cable", "PE-0.64mm-22AWG",
                       "--line", "ADSL_DS.DMT", "--line", "ADSL_US.DMT"}
        << "--cable and --line";
    QTest::newRow("single-valued option twice") << QStringList{"--capacity", "4", "--capacity", "5"}
                                                << "--capacity";
    QTest::newRow("list option twice") << QStringList{"--load", "1", "--load", "2"} << "--load";
    QTest::newRow("missing cable") << QStringList{"--cable", "PE-0.41mm"} << "PE-0.41mm.att";
    QTest::newRow("unknown section cable") << QStringList{"--section", "PE-9mm:100"} << "PE-9mm.att";
    QTest::newRow("section without a length") << QStringList{"--section", "PE-0.64mm-22AWG"} << "CABLE:LENGTH";
    QTest::newRow("section of 0 m") << QStringList{"--section", "PE-0.64mm-22AWG:0"} << "--section";
    QTest::newRow("section length not whole") << QStringList{"--section", "PE-0.64mm-22AWG:1.5"} << "1.5";
    QTest::newRow("sections beyond 30 km")
        << QStringList{"--section", "PE-0.64mm-22AWG:20000", "--section", "PE-0.64mm-22AWG:10001", "--from", "30000",
                       "--to", "30000"}
        << "30001 m";
    QTest::newRow("first length inside the sections")
        << QStringList{"--section", "PE-0.64mm-22AWG:1500"} << "--from 1000 is below the sections' total of 1500 m";
    QTest::newRow("eleven sections")
        << QStringList{"--section", "a:1", "--section", "a:1", "--section", "a:1", "--section", "a:1", "--section", "a:1",
                       "--section", "a:1", "--section", "a:1", "--section", "a:1", "--section", "a:1", "--section", "a:1",
                       "--section", "a:1"}
        << "at most 10";
    QTest::newRow("cable named with its extension")
        << QStringList{"--cable", "PE-0.40mm-26AWG.att"} << "PE-0.40mm-26AWG.att.att";
    QTest::newRow("line type without extension") << QStringList{"--line", "ADSL_DS"} << "ADSL_DS";
    QTest::newRow("missing noise") << QStringList{"--noise", "pink"} << "pink.add";
    QTest::newRow("directory as template") << QStringList{"--line", "."} << "not a template file";
    QTest::newRow("line type outside the workspace")
        << QStringList{"--line", "../../../../etc/passwd"} << "\"../../../../etc/passwd\" is not a template file name";
    QTest::newRow("cable in another directory")
        << QStringList{"--cable", "../Cable/PE-0.40mm-26AWG"} << "\"../Cable/PE-0.40mm-26AWG\"";
    QTest::newRow("cable named ..") << QStringList{"--cable", ".."} << "cable name \"..\"";
    QTest::newRow("absolute noise path") << QStringList{"--noise", "/etc/passwd"} << "noise name \"/etc/passwd\"";
    QTest::newRow("missing workspace") << QStringList{"-C", "/nonexistent/kolvane"} << "/nonexistent/kolvane";
    QTest::newRow("line type named twice") << QStringList{"--line", "ADSL_DS.DMT", "--line", "ADSL_DS.DMT"}
                                           << "--line: \"ADSL_DS.DMT\" is named twice";
    QStringList eleven;
    for (int i = 0; i < 11; ++i)
        eleven << "--line" << QStringLiteral("L%1.DMT").arg(i);
    QTest::newRow("more line types than templates") << eleven
                                                    << "--line: 11 values, at most 10: the number of templates in xDSL";
    QTest::newRow("line break in a name") << QStringList{"--line", "a\nb.DMT"}
                                          << "line type name \"a\u240Ab.DMT\" holds a control character (U+000A)";
    QTest::newRow("gain of two decimals") << QStringList{"--coding-gain", "2.25"} << "--coding-gain: \"2.25\" is not a number";
    QTest::newRow("gain above 10") << QStringList{"--coding-gain", "10.1"} << "--coding-gain: 10.1 is above 10";
    QTest::newRow("a list of gains") << QStringList{"--coding-gain", "3,5"} << "--coding-gain: one value only, 2 given";
    QTest::newRow("depth above 60") << QStringList{"--vectoring", "61"} << "--vectoring: 61 is above 60";
    QTest::newRow("fractional depth") << QStringList{"--vectoring", "2.5"} << "--vectoring: \"2.5\" is not a whole";
    QTest::newRow("aliens without vectoring") << QStringList{"--alien", "0"} << "--alien is given only with --vectoring";
    QTest::newRow("aliens as many as a load") << QStringList{"--vectoring", "9", "--capacity", "9", "--load", "4,9", "--alien", "4"}
                                              << "--alien 4 must be below --load 4";
    QTest::newRow("no such axis") << QStringList{"--axis", "time"} << "--axis: \"time\" is not one of length, loss";
    QTest::newRow("loss with two decimals") << QStringList{"--axis", "loss", "--to", "10.55"}
                                            << "--to: \"10.55\" is not a number with at most 1 decimal(s)";
    QTest::newRow("negative loss") << QStringList{"--axis", "loss", "--from", "-1"} << "--from: -1 is below 0";
    QTest::newRow("loss beyond 150 dB") << QStringList{"--axis", "loss", "--to", "150.1"} << "--to: 150.1 is above 150";
    QTest::newRow("loss step below 0.1 dB") << QStringList{"--axis", "loss", "--step", "0"} << "--step: 0 is below 0.1";
    QTest::newRow("first loss beyond the last") << QStringList{"--axis", "loss", "--from", "20", "--to", "10"}
                                                << "--from 20 is beyond --to 10";
    QTest::newRow("loss frequency 0") << QStringList{"--loss-freq", "0"} << "--loss-freq: 0 is below 1";
    QTest::newRow("tones at a loss no loop has") << QStringList{"tones", "--loss", "3", "--section", "PE-0.50mm-24AWG:500"}
                                                 << "No loop has a loss of 3 dB: the sections alone lose 5.54 dB";
    QTest::newRow("tones at a length and a loss") << QStringList{"tones", "--loss", "3", "--length", "100"}
                                                  << "--length and --loss do not go together";
    QTest::newRow("empty setup name") << QStringList{"--setup", ""} << "--setup: no file name given";
    QTest::newRow("setup written and output") << QStringList{"--write-setup", "a.kolvane", "-o", "b.csv"}
                                              << "--write-setup and -o do not go together";
}

void tst_Cli::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mentions);
    // A command goes first, the workspace after it.
    const int command = args.value(0) == QLatin1String("tones") ? 1 : 0;
    const QStringList full = args.contains("-C") ? args : args.mid(0, command) + QStringList{"-C", Samples} + args.mid(command);
    const Run r = calc(full);
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.startsWith("kolvane-calc: "), r.err.constData());
    QVERIFY2(r.err.endsWith('\n') && r.err.count('\n') == 1, r.err.constData());
    QVERIFY2(QString::fromUtf8(r.err).contains(mentions), r.err.constData());
}

void tst_Cli::badTemplateValue()
{
    // Values the model cannot use would hang or poison the run: refused, naming the file.
    Run r = calc({"-C", m_workspace, "--cable", "inf", "--line", "adsl.DMT", "--noise", "white"});
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.startsWith("kolvane-calc: ") && r.err.contains("inf.att"), r.err.constData());

    r = calc({"-C", m_workspace, "--cable", "good", "--line", "huge.PAM", "--noise", "white"});
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.contains("huge.PAM"), r.err.constData());

    // A negative bit cap would give negative rates.
    r = calc({"-C", m_workspace, "--cable", "good", "--line", "negk.DMT", "--noise", "white"});
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.contains("negk.DMT: row 2, column \"Kmax\": the value -15 is negative"), r.err.constData());

    r = calc({"-C", m_workspace, "--cable", "good", "--line", "adsl.DMT", "--noise", "white"});
    QCOMPARE(r.code, 0);
}

void tst_Cli::emptyWorkspace()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    const Run r = calc({"-C", empty.path()});
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.contains("Cable"), r.err.constData());
}

void tst_Cli::unreadableTemplate()
{
    if (::geteuid() == 0)
        QSKIP("running as root: a file without read permission is still readable");
    const QString path = QDir(m_workspace).filePath(QStringLiteral("Cable/locked.att"));
    QVERIFY(test::writeRows(path, {{1, 1.8}, {30000, 150}}));
    QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
    const Run r = calc({"-C", m_workspace, "--cable", "locked", "--line", "adsl.DMT", "--noise", "white"});
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.contains("locked.att"), r.err.constData());
}

void tst_Cli::outputFile()
{
    const QString path = m_dir.filePath(QStringLiteral("rates.csv"));
    const QStringList args{"-C", Samples, "--load", "1,2,5", "-o", path};
    Run r = calc(args);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray());
    CalcSettings s = defaultCalcSettings(Samples);
    s.xDSL_points = {1, 2, 5};
    const QByteArray expected = expectedCsv(s, Samples);
    QCOMPARE(fileContents(path), expected);

    // Bad input leaves the earlier file as it was.
    r = calc({"-C", Samples, "--load", "5,2", "-o", path});
    QCOMPARE(r.code, 2);
    QCOMPARE(fileContents(path), expected);
    QCOMPARE(QDir(m_dir.path()).entryList({"rates.csv*"}, QDir::Files | QDir::Hidden),
             QStringList{"rates.csv"});
}

void tst_Cli::outputFileNotWritable()
{
    // The parent is a regular file: not writable for anyone, root included.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    {
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
    }
    Run r = calc({"-C", Samples, "-o", blocker + QStringLiteral("/rates.csv")});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.startsWith("kolvane-calc: ") && r.err.contains("rates.csv"), r.err.constData());
    QCOMPARE(fileContents(blocker), QByteArray("keep"));

    // A directory in the way of the output file.
    r = calc({"-C", Samples, "-o", m_dir.path()});
    QCOMPARE(r.code, 1);
    QVERIFY(QFileInfo(m_dir.path()).isDir());
}

void tst_Cli::failedStdout()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this system");
    // A full disk under the standard output is a failed run, not a success.
    const Run r = calc({"-C", Samples, "--from", "0", "--to", "30000", "--step", "10"}, QString(),
                       QStringLiteral("/dev/full"));
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.startsWith("kolvane-calc: "), r.err.constData());
}

void tst_Cli::helpAndVersion()
{
    Run r = calc({"--help"});
    QCOMPARE(r.code, 0);
    for (const char *option : {"--workdir", "--cable", "--line", "--noise", "--capacity", "--load",
                               "--elfext", "--next", "--elfext-freq", "--next-freq", "--from",
                               "--to", "--step", "--margin", "-o", "--version"})
        QVERIFY2(r.out.contains(option), option);

    // The program's help lists the commands; a command's help names it in the usage line.
    QVERIFY2(r.out.contains("Commands:") && r.out.contains("  table "), r.out.constData());
    QVERIFY2(r.out.startsWith("Usage: kolvane-calc [COMMAND] [options]\n"), r.out.constData());
    r = calc({"table", "--help"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith("Usage: kolvane-calc table [options]\n"), r.out.constData());
    QVERIFY(r.out.contains("--margin") && !r.out.contains("Commands:"));

    r = calc({"--version"});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.startsWith("kolvane-calc "), r.out.constData());
}

void tst_Cli::tableIsTheDefaultCommand_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("defaults") << QStringList{"-C", Samples};
    QTest::newRow("a family and lengths")
        << QStringList{"-C", Samples, "--line", "SHDSL_PAM16.PAM", "--next", "40,60", "--from", "0", "--step", "500"};
    QTest::newRow("bad input") << QStringList{"-C", Samples, "--step", "7"};
}

void tst_Cli::tableIsTheDefaultCommand()
{
    // Every invocation from before the commands keeps its bytes and its status.
    QFETCH(QStringList, args);
    const Run plain = calc(args);
    const Run named = calc(QStringList{"table"} + args);
    QCOMPARE(named.code, plain.code);
    QCOMPARE(named.out, plain.out);
    QCOMPARE(named.err, plain.err);
}

void tst_Cli::unknownCommand()
{
    const Run r = calc({"tabel", "-C", Samples});
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.contains("\"tabel\""), r.err.constData());
}

void tst_Cli::setupFiles_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("untouched") << QStringList{};
    QTest::newRow("NEXT family of a PAM line")
        << QStringList{"--line", "SHDSL_PAM16.PAM", "--next", "40,58", "--load", "10", "--from", "0", "--step", "250"};
    QTest::newRow("cable family at a margin") << QStringList{"--cable", "PE-0.40mm-26AWG", "--cable", "PE-0.50mm-24AWG",
                                                             "--margin", "6", "--noise", "AWGN-130"};
    QTest::newRow("vectored, with a coding gain") << QStringList{"--load", "3", "--coding-gain", "2.5", "--vectoring", "25",
                                                                 "--alien", "2"};
}

void tst_Cli::setupFiles()
{
    // A written setup computes exactly what its options do, and options given with it win.
    QFETCH(QStringList, options);
    const QString file = m_dir.filePath(QStringLiteral("%1.kolvane").arg(QTest::currentDataTag()));
    Run r = calc(QStringList{"-C", Samples, "--write-setup", file} + options);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray());
    const Run direct = calc(QStringList{"-C", Samples} + options);
    const Run fromFile = calc({"-C", Samples, "--setup", file});
    QCOMPARE(fromFile.code, 0);
    QCOMPARE(fromFile.out, direct.out);
    QCOMPARE(calc({"-C", Samples, "--setup", file, "--elfext", "56"}).out,
             calc(QStringList{"-C", Samples} + options + QStringList{"--elfext", "56"}).out);
}

void tst_Cli::badSetup_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("truncated") << QByteArray("{\"format\": \"kolvane-setup\", \"ver") << 2 << "JSON";
    QTest::newRow("future version") << QByteArray("{\"format\": \"kolvane-setup\", \"version\": 9}") << 2 << "version 9";
    QTest::newRow("step out of range")
        << QByteArray("{\"format\": \"kolvane-setup\", \"version\": 1, \"lengths\": {\"step\": 7}}") << 2
        << "lengths.step: 7 is below 10";
    QTest::newRow("missing cable")
        << QByteArray("{\"format\": \"kolvane-setup\", \"version\": 1, \"cables\": [\"PE-9mm\"]}") << 2 << "PE-9mm.att";
    QTest::newRow("unknown key") << QByteArray("{\"format\": \"kolvane-setup\", \"version\": 1, \"colour\": 1}") << 0
                                 << "warning: ";
    QByteArray many = "{\"format\": \"kolvane-setup\", \"version\": 1, \"lineTypes\": [\"L0.DMT\"";
    for (int i = 1; i < 70000; ++i)
        many += ", \"L" + QByteArray::number(i) + ".DMT\"";
    QTest::newRow("70000 line types") << many + "]}" << 2 << "lineTypes: 70000 values, at most 10";
}

void tst_Cli::badSetup()
{
    QFETCH(QByteArray, json);
    QFETCH(int, code);
    QFETCH(QString, mentions);
    const QString file = m_dir.filePath(QStringLiteral("bad.kolvane"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(json);
    f.close();
    const Run r = calc({"-C", Samples, "--setup", file});
    QCOMPARE(r.code, code);
    if (code != 0)
        QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.startsWith("kolvane-calc: ") && r.err.count('\n') == 1, r.err.constData());
    QVERIFY2(QString::fromUtf8(r.err).contains(mentions), r.err.constData());
}

void tst_Cli::outputOnFullDisk()
{
    FullDisk disk;
    if (!disk.available())
        QSKIP(qPrintable(disk.why()));
    const QString path = disk.filePath(QStringLiteral("rates.csv"));
    QVERIFY(calc({"-C", Samples, "--to", "2000", "-o", path}).code == 0);
    const QByteArray old = fileContents(path);
    QVERIFY(disk.fill());
    const Run r = calc({"-C", Samples, "-o", path});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("kolvane-calc: Cannot write %1: No space left on device\n").arg(path).toUtf8());
    QCOMPARE(fileContents(path), old);
}

void tst_Cli::outputIntoPipesAndDevices()
{
    const QByteArray expected = expectedCsv(defaultCalcSettings(Samples), Samples);
    // A named pipe with a reader waiting on it: the reader gets the table, the pipe stays.
    const QString fifo = m_dir.filePath(QStringLiteral("table.fifo"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QProcess reader;
    reader.start(QStringLiteral("cat"), {fifo});
    QVERIFY(reader.waitForStarted());
    Run r = calc({"-C", Samples, "-o", fifo});
    const bool finished = reader.waitForFinished(3000);
    if (!finished)
        reader.kill();
    QCOMPARE(r.code, 0);
    QVERIFY(finished);
    QCOMPARE(reader.readAllStandardOutput(), expected);
    struct stat st;
    QVERIFY(::lstat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));

    // The standard output by its name (a pipe here).
    r = calc({"-C", Samples, "-o", "/dev/stdout"});
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.out, expected);

    if (QFileInfo::exists(QStringLiteral("/dev/full"))) {
        r = calc({"-C", Samples, "-o", "/dev/full"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QByteArray("kolvane-calc: Cannot write /dev/full: No space left on device\n"));
        QVERIFY(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
    }
}

void tst_Cli::templatesWithoutRowsWarn()
{
    const QDir ws(m_workspace);
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("Cable/x.att")), {}));
    QVERIFY(test::writeRows(ws.filePath(QStringLiteral("xDSL/lower.dmt")), {{142.3125, -40, 15, -140}, {1099.6875, -40, 15, -140}}));
    CalcSettings s = defaultCalcSettings(m_workspace);
    s.cableTypes = {"x"};
    s.lineTypes = {"lower.dmt"};
    s.noiseTemplate = "white";
    const Run r = calc({"-C", m_workspace, "--cable", "x", "--line", "lower.dmt", "--noise", "white"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray("kolvane-calc: warning: Cable/x.att has no complete row; its rates are 0\n"
                               "kolvane-calc: warning: xDSL/lower.dmt has no complete row; its rates are 0\n"));
    QCOMPARE(r.out, expectedCsv(s, m_workspace));
}

void tst_Cli::noiseNameWithADot()
{
    // The third noise entry is the default; its name keeps the dot before ".add".
    QTemporaryDir dir;
    const QDir ws(dir.path());
    QVERIFY(test::writeRows(ws.filePath("Cable/good.att"), {{1, 1.8}, {30000, 150}}));
    QVERIFY(test::writeRows(ws.filePath("xDSL/adsl.DMT"), {{142.3125, -40, 15, -140}, {1099.6875, -40, 15, -140}}));
    QVERIFY(QDir().mkpath(ws.filePath("AddNoise")));
    for (const char *name : {"AWGN-130.add", "AWGN-140+ISDN.add", "AWGN-140.5.add"})
        QVERIFY(test::writeRows(ws.filePath(QStringLiteral("AddNoise/") + name), {{1, -140.5}, {30000, -140.5}}));
    const Run r = calc({"-C", dir.path()});
    QVERIFY2(r.code == 0, r.err.constData());
    CalcSettings s = defaultCalcSettings(dir.path());
    QCOMPARE(s.noiseTemplate, QStringLiteral("AWGN-140.5"));
    QCOMPARE(r.out, expectedCsv(s, dir.path()));
}

void tst_Cli::permissionDenied_data()
{
    QTest::addColumn<QString>("locked");    // made unreadable for everyone
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("template") << "Cable/good.att" << QStringList{"--cable", "good"}
                              << "cannot read %1/Cable/good.att: Permission denied";
    QTest::newRow("directory of a named template") << "Cable" << QStringList{"--cable", "good"}
                                                   << "cannot read %1/Cable/good.att: Permission denied";
    QTest::newRow("directory of the defaults") << "Cable" << QStringList()
                                               << "cannot read %1/Cable: Permission denied";
    QTest::newRow("noise directory of the defaults") << "AddNoise" << QStringList()
                                                     << "cannot read %1/AddNoise: Permission denied";
}

void tst_Cli::permissionDenied()
{
    QFETCH(QString, locked);
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && OrdinaryUser::openUp(dir.path()));
    const QDir ws(dir.path());
    QVERIFY(test::writeRows(ws.filePath("Cable/good.att"), {{1, 1.8}, {30000, 150}}));
    QVERIFY(test::writeRows(ws.filePath("xDSL/adsl.DMT"), {{142.3125, -40, 15, -140}, {1099.6875, -40, 15, -140}}));
    for (const char *name : {"a.add", "b.add", "c.add"})
        QVERIFY(test::writeRows(ws.filePath(QStringLiteral("AddNoise/") + name), {{1, -140}, {30000, -140}}));
    QVERIFY(QFile::setPermissions(ws.filePath(locked), QFileDevice::Permissions()));
    // Qt refuses to run with a real user other than the effective one: as root, the whole
    // process becomes nobody.
    Run r;
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            QSKIP("running as root without setpriv to become an ordinary user");
        QProcess p;
        p.start(setpriv, QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", KOLVANE_CALC, "-C", dir.path()} + args);
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit) {
            r.code = p.exitCode();
            r.out = p.readAllStandardOutput();
            r.err = p.readAllStandardError();
        }
    } else {
        r = calc(QStringList{"-C", dir.path()} + args);
    }
    QFile::setPermissions(ws.filePath(locked), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(QString::fromUtf8(r.err), QStringLiteral("kolvane-calc: ") + message.arg(dir.path()) + QLatin1Char('\n'));
}

void tst_Cli::pipesAreRefusedAtOnce()
{
    // A named pipe as the setup or as a template would hold the program until someone wrote to it.
    const QString setup = m_dir.filePath(QStringLiteral("pipe.kolvane"));
    const QString cable = QDir(m_workspace).filePath(QStringLiteral("Cable/pipe.att"));
    QVERIFY(::mkfifo(QFile::encodeName(setup).constData(), 0600) == 0);
    QVERIFY(::mkfifo(QFile::encodeName(cable).constData(), 0600) == 0);
    const Run fromSetup = calc({"-C", Samples, "--setup", setup});
    const Run withCable = calc({"-C", m_workspace, "--cable", "pipe", "--line", "adsl.DMT", "--noise", "white"});
    QFile::remove(setup);
    QFile::remove(cable);
    QCOMPARE(fromSetup.code, 2);
    QCOMPARE(fromSetup.err, "kolvane-calc: " + setup.toUtf8() + ": a named pipe, not a regular file\n");
    QCOMPARE(withCable.code, 2);
    QCOMPARE(withCable.err, "kolvane-calc: " + cable.toUtf8() + " is not a template file: a named pipe, not a regular file\n");
}

void tst_Cli::setupToStandardOutput()
{
    // "-" is the standard output, as everywhere else; nothing named "-" appears.
    const QString file = m_dir.filePath(QStringLiteral("out.kolvane"));
    QCOMPARE(calc({"-C", Samples, "--load", "1,5", "--write-setup", file}).code, 0);
    const Run r = calc({"-C", Samples, "--load", "1,5", "--write-setup", "-"}, m_dir.path());
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, fileContents(file));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("-"))));
    const Run table = calc({"-C", Samples, "--load", "1,5"});
    QCOMPARE(calc({"-C", Samples, "--load", "1,5", "-o", "-"}, m_dir.path()).out, table.out);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("-"))));
    // A refused setup is written nowhere.
    const QString refused = m_dir.filePath(QStringLiteral("twice.kolvane"));
    QCOMPARE(calc({"-C", Samples, "--line", "ADSL_DS.DMT", "--line", "ADSL_DS.DMT", "--write-setup", refused}).code, 2);
    QVERIFY(!QFileInfo::exists(refused));
}

void tst_Cli::closedStandardOutput()
{
    // Closed, its descriptor would go to the next file the program opens and take the output.
    for (const QStringList &args : {QStringList{"-C", Samples}, QStringList{"-C", Samples, "--write-setup", "-"}}) {
        QProcess p;
        p.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
        p.start(QStringLiteral(KOLVANE_CALC), args);
        const Run r = test::finished(p);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QByteArray("kolvane-calc: cannot write the standard output: it is closed\n"));
    }
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
