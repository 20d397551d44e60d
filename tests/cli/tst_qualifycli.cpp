#include "kolvanecalc.h"

#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using test::calc;
using test::fileContents;
using test::Run;
using test::writeFile;

const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");
const QString SampleLoops = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/loops/zarechye.csv");
const QStringList Services = {QStringLiteral("--line"), QStringLiteral("ADSL2+_DS.DMT"), QStringLiteral("--line"),
                              QStringLiteral("SHDSL_PAM16.PAM")};

QStringList qualifyArgs(const QStringList &more)
{
    return QStringList{QStringLiteral("qualify"), QStringLiteral("-C"), Samples} + more;
}

} // namespace

class tst_QualifyCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void sampleExchange();
    void equalsTheTableAtEachLength_data();
    void equalsTheTableAtEachLength();
    void standardInputAndOutputFile();
    void refusedLoops();
    void emptyInput_data();
    void emptyInput();
    void setupFile();
    void badOptions_data();
    void badOptions();
    void outputNotWritable();
};

void tst_QualifyCli::sampleExchange()
{
    const Run r = calc(qualifyArgs(Services + QStringList{"--rate", "8000,2048", SampleLoops}));
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray());
    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.first(), QByteArray("id;R,кбит/с ADSL2+_DS.DMT;SNR Margin,дБ ADSL2+_DS.DMT;Годна ADSL2+_DS.DMT;"
                                       "R,кбит/с SHDSL_PAM16.PAM;SNR Margin,дБ SHDSL_PAM16.PAM;"
                                       "Годна SHDSL_PAM16.PAM;Ошибка;"));
    const QList<QByteArray> input = fileContents(SampleLoops).split('\n');
    QCOMPARE(lines.size(), input.size());
    QVERIFY(lines.size() > 200);
    int qualified = 0;
    for (int i = 1; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(';');
        QCOMPARE(fields.size(), 9);
        QCOMPARE(fields.first(), input.at(i).split(';').first());
        QVERIFY(fields.at(3) == "да" || fields.at(3) == "нет");
        QCOMPARE(fields.at(7), QByteArray());
        qualified += fields.at(3) == "да";
    }
    // A made-up exchange: most loops carry 8 Mbit/s, not all.
    QVERIFY2(qualified > 100 && qualified < lines.size() - 2, QByteArray::number(qualified).constData());
}

void tst_QualifyCli::equalsTheTableAtEachLength_data()
{
    QTest::addColumn<QString>("loop");
    QTest::addColumn<QStringList>("table"); // the table's options for the same loop

    QTest::newRow("one cable") << "x;PE-0.40mm-26AWG;2513" << QStringList{"--cable", "PE-0.40mm-26AWG", "--from", "2513"};
    QTest::newRow("zero length") << "x;PE-0.50mm-24AWG;0" << QStringList{"--cable", "PE-0.50mm-24AWG", "--from", "0"};
    QTest::newRow("trunk and distribution")
        << "x;PE-0.40mm-26AWG;2104;PE-0.64mm-22AWG:1400"
        << QStringList{"--cable", "PE-0.40mm-26AWG", "--section", "PE-0.64mm-22AWG:1400", "--from", "2104"};
    QTest::newRow("two sections")
        << "x;PE-thin-0.32mm;3377;PE-0.64mm-22AWG:2300+PE-0.50mm-24AWG:1000"
        << QStringList{"--cable", "PE-thin-0.32mm", "--section", "PE-0.64mm-22AWG:2300", "--section",
                       "PE-0.50mm-24AWG:1000", "--from", "3377"};
    QTest::newRow("sections as long as the loop")
        << "x;PE-0.40mm-26AWG;1200;PE-0.64mm-22AWG:1200"
        << QStringList{"--cable", "PE-0.40mm-26AWG", "--section", "PE-0.64mm-22AWG:1200", "--from", "1200"};
    QTest::newRow("long rural loop") << "x;PE-0.64mm-22AWG;7712" << QStringList{"--cable", "PE-0.64mm-22AWG", "--from", "7712"};
}

void tst_QualifyCli::equalsTheTableAtEachLength()
{
    QFETCH(QString, loop);
    QFETCH(QStringList, table);
    const QStringList conditions{"--capacity", "12", "--load", "6", "--elfext", "48", "--next", "52", "--margin", "3",
                                 "--noise", "AWGN-140+ISDN24-NEXT"};
    const Run q = calc(qualifyArgs(Services + conditions + QStringList{"-"}), "h\n" + loop.toUtf8() + '\n');
    QCOMPARE(q.code, 0);
    const QList<QByteArray> fields = q.out.split('\n').at(1).split(';');
    const Run t = calc(QStringList{"table", "-C", Samples} + Services + conditions + table
                       + QStringList{"--to", table.last(), "--step", "10"});
    QCOMPARE(t.code, 0);
    const QList<QByteArray> row = t.out.split('\n').at(1).split(';');
    // L;R ADSL2+;R SHDSL; against id;R ADSL2+;R SHDSL;error;
    QCOMPARE(row.at(0), table.last().toUtf8());
    QCOMPARE(fields.at(1), row.at(1));
    QCOMPARE(fields.at(2), row.at(2));
    QCOMPARE(fields.at(3), QByteArray());
}

void tst_QualifyCli::standardInputAndOutputFile()
{
    const QByteArray loops = fileContents(SampleLoops);
    const QStringList args = Services + QStringList{"--rate", "12000,2304"};
    const Run fromFile = calc(qualifyArgs(args + QStringList{SampleLoops}));
    QCOMPARE(fromFile.code, 0);
    const Run fromStdin = calc(qualifyArgs(args + QStringList{"-"}), loops);
    QCOMPARE(fromStdin.code, 0);
    QCOMPARE(fromStdin.out, fromFile.out);

    // CRLF line ends and a byte-order mark change nothing.
    QByteArray windows = "\xef\xbb\xbf" + loops;
    windows.replace("\n", "\r\n");
    QCOMPARE(calc(qualifyArgs(args + QStringList{"-"}), windows).out, fromFile.out);

    // -o writes the same bytes, replacing what was there, and prints nothing.
    const QString path = m_dir.filePath(QStringLiteral("out.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    old.close();
    const Run toFile = calc(qualifyArgs(args + QStringList{"-o", path, SampleLoops}));
    QCOMPARE(toFile.code, 0);
    QCOMPARE(toFile.out, QByteArray());
    QCOMPARE(fileContents(path), fromFile.out);
}

void tst_QualifyCli::refusedLoops()
{
    const QByteArray input = "id;cable;length\n"
                             "a;PE-0.40mm-26AWG;1000\n"
                             "b;PE-0.40mm-26AWG;lots\n"
                             "\n"
                             "c;Missing;1000\n"
                             "d;PE-0.40mm-26AWG;1000;PE-0.64mm-22AWG:1200\n"
                             "e;PE-0.40mm-26AWG;1000\n";
    const QString path = m_dir.filePath(QStringLiteral("loops.csv"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(input) == input.size());
    f.close();
    const Run r = calc(qualifyArgs(QStringList{"--line", "ADSL2+_DS.DMT", path}));
    QCOMPARE(r.code, 3);
    const QString cable = QDir::toNativeSeparators(Samples + QStringLiteral("/Cable/Missing.att"));
    QCOMPARE(QString::fromUtf8(r.err),
             QStringLiteral("kolvane-calc: %1:3: length \"lots\" is not a whole number of metres\n"
                            "kolvane-calc: %1:5: unknown cable \"Missing\": there is no template %2\n"
                            "kolvane-calc: %1:6: the sections add up to 1200 m, more than the loop's length of 1000 m\n")
                 .arg(path, cable));
    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.size(), 7);
    QVERIFY(lines.at(1).startsWith("a;") && lines.at(1).endsWith(";;"));
    QCOMPARE(lines.at(2), QByteArray("b;;длина «lots» не является целым числом метров;"));
    QCOMPARE(lines.at(3), QString("c;;неизвестный кабель «Missing»: нет шаблона %1;").arg(cable).toUtf8());
    QCOMPARE(lines.at(4), QByteArray("d;;сумма длин участков 1200 м больше длины линии 1000 м;"));
    QCOMPARE(lines.at(5).split(';').at(1), lines.at(1).split(';').at(1));

    // From the standard input the lines are named so.
    const Run piped = calc(qualifyArgs(QStringList{"--line", "ADSL2+_DS.DMT", "-"}), input);
    QCOMPARE(piped.code, 3);
    QVERIFY(piped.err.startsWith("kolvane-calc: <stdin>:3: "));
    QCOMPARE(piped.out, r.out);
}

void tst_QualifyCli::emptyInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("header only") << QByteArray("id;cable;length\r\n");
    QTest::newRow("blank lines") << QByteArray("id\n\n\n");
}

void tst_QualifyCli::emptyInput()
{
    QFETCH(QByteArray, input);
    const Run r = calc(qualifyArgs(Services + QStringList{"-"}), input);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, QByteArray("id;R,кбит/с ADSL2+_DS.DMT;R,кбит/с SHDSL_PAM16.PAM;Ошибка;\n"));
}

void tst_QualifyCli::setupFile()
{
    // The setup's line types and conditions; its cable and lengths are the loops' business.
    const QString setup = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/setups/SHDSL PAM16 и PAM32, дальность на кабеле 0,4 мм.kolvane");
    const QByteArray input = "h\nx;PE-0.50mm-24AWG;3100\n";
    const Run viaSetup = calc(qualifyArgs(QStringList{"--setup", setup, "--rate", "1024,2048", "-"}), input);
    QCOMPARE(viaSetup.code, 0);
    const Run viaOptions = calc(qualifyArgs(QStringList{"--line", "SHDSL_PAM16.PAM", "--line", "SHDSL_PAM32.PAM", "--load",
                                                        "10", "--capacity", "50", "--elfext", "56", "--next", "58",
                                                        "--margin", "6", "--noise", "AWGN-140", "--rate", "1024,2048", "-"}),
                                input);
    QCOMPARE(viaOptions.code, 0);
    QCOMPARE(viaSetup.out, viaOptions.out);
    QVERIFY(viaSetup.out.startsWith("id;R,кбит/с SHDSL_PAM16.PAM;SNR Margin,дБ SHDSL_PAM16.PAM;"));
}

void tst_QualifyCli::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    const QString loops = SampleLoops;
    QTest::newRow("no file") << Services << "no FILE given";
    QTest::newRow("two files") << Services + QStringList{loops, loops} << QStringLiteral("unexpected argument \"%1\"").arg(loops);
    QTest::newRow("missing file") << Services + QStringList{"/nonexistent/loops.csv"}
                                  << "cannot read the loop-records file /nonexistent/loops.csv: No such file or directory";
    QTest::newRow("directory") << Services + QStringList{Samples}
                               << QStringLiteral("cannot read the loop-records file %1: Is a directory").arg(Samples);
    // Said as they are, without waiting on the pipe.
    const QString link = m_dir.filePath(QStringLiteral("la.csv"));
    const QString fifo = m_dir.filePath(QStringLiteral("loops.fifo"));
    QVERIFY(::symlink(QFile::encodeName(link).constData(), QFile::encodeName(link).constData()) == 0);
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QTest::newRow("symlink loop") << Services + QStringList{link}
                                  << QStringLiteral("cannot read the loop-records file %1: Too many levels of symbolic links").arg(link);
    QTest::newRow("named pipe") << Services + QStringList{fifo}
                                << QStringLiteral("cannot read the loop-records file %1: a named pipe, not a regular file").arg(fifo);
    QTest::newRow("one rate for two lines") << Services + QStringList{"--rate", "8000", loops}
                                            << "--rate: 1 target rate(s) for 2 line type(s); give one per line type";
    QTest::newRow("rate not a number") << Services + QStringList{"--rate", "8000,fast", loops}
                                       << "--rate: \"fast\" is not a whole number";
    QTest::newRow("rate out of range") << Services + QStringList{"--rate", "8000,0", loops} << "--rate: 0 is below 1";
    QTest::newRow("two loads") << Services + QStringList{"--load", "1,2", loops} << "--load: one value only, 2 given";
    QTest::newRow("two margins") << Services + QStringList{"--margin", "0,6", loops} << "--margin: one value only, 2 given";
    QTest::newRow("load out of range") << Services + QStringList{"--load", "100", loops} << "--load: 100 is above 99";
    QTest::newRow("cable is the loops'") << Services + QStringList{"--cable", "PE-0.40mm-26AWG", loops}
                                         << "Unknown option 'cable'.";
    QTest::newRow("no lengths") << Services + QStringList{"--from", "100", loops} << "Unknown option 'from'.";
    QTest::newRow("no sections") << Services + QStringList{"--section", "PE-0.40mm-26AWG:100", loops}
                                 << "Unknown option 'section'.";
    QTest::newRow("unknown line type") << QStringList{"--line", "Nothing.DMT", loops}
                                       << QStringLiteral("no line type template %1/xDSL/Nothing.DMT").arg(Samples);
}

void tst_QualifyCli::badOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run r = calc(qualifyArgs(args));
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(QString::fromUtf8(r.err), QStringLiteral("kolvane-calc: %1\n").arg(message));
}

void tst_QualifyCli::outputNotWritable()
{
    const Run r = calc(qualifyArgs(Services + QStringList{"-o", "/nonexistent/out.csv", SampleLoops}));
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.startsWith("kolvane-calc: Cannot write /nonexistent/out.csv: "), r.err.constData());
}

QTEST_GUILESS_MAIN(tst_QualifyCli)
#include "tst_qualifycli.moc"
