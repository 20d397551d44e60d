// kolvane-calc import and tones --measured as a user runs them on the sample measurements.
#include "kolvanecalc.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using test::calc;
using test::fileContents;
using test::Run;

const QString Measured = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/measured/");
const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");

QString sample(const char *name)
{
    return Measured + QLatin1String(name);
}

} // namespace

class tst_Import : public QObject
{
    Q_OBJECT

private slots:
    void examplesWriteTheSameTemplates();
    void refusedWritesNothing_data();
    void refusedWritesNothing();
    void tonesBesideTheMeasuredSnr();
};

void tst_Import::examplesWriteTheSameTemplates()
{
    QTemporaryDir a, b;
    const Run fromA = calc({QStringLiteral("import"), sample("measured-a.txt"), QStringLiteral("--name"),
                            QStringLiteral("L"), QStringLiteral("--length-of-line"), QStringLiteral("1500"),
                            QStringLiteral("-C"), a.path()});
    QCOMPARE(fromA.code, 0);
    QVERIFY(fromA.out.contains("Hlog from " + sample("measured-a.txt").toUtf8()
                               + ": 64 groups of 8 tones: 60 used, 4 missing; 138..2173.5 kHz\n"));
    QVERIFY(fromA.out.contains("written: Cable/L.att\nwritten: AddNoise/L.add\n"));
    const Run fromB = calc({QStringLiteral("import"), QStringLiteral("--length-of-line=1500"), sample("measured-b.json"),
                            QStringLiteral("--name=L")},
                           b.path());
    QCOMPARE(fromB.code, 0);
    for (const char *file : {"Cable/L.att", "AddNoise/L.add"})
        QCOMPARE(fileContents(b.filePath(QLatin1String(file))), fileContents(a.filePath(QLatin1String(file))));

    // A dump of Hlog alone: the cable, and a warning that there is no noise.
    const Run fromC = calc({QStringLiteral("import"), sample("measured-c.txt"), QStringLiteral("--name"),
                            QStringLiteral("C"), QStringLiteral("--format"), QStringLiteral("text")},
                           b.path());
    QCOMPARE(fromC.code, 0);
    QVERIFY(fromC.out.contains("22 tones: 14 used, 0 missing, 8 outside the downstream band; 138..194.0625 kHz"));
    QVERIFY(fromC.out.contains("warning: No QLN in the measurement: only the cable template is written"));
    QVERIFY(!QFile::exists(b.filePath(QStringLiteral("AddNoise/C.add"))));
}

void tst_Import::refusedWritesNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("reason");
    const QString a = sample("measured-a.txt");
    const QString name = QStringLiteral("--name=L");
    QTest::newRow("not a measurement") << QStringList{Samples + QStringLiteral("/Cable/PE-0.40mm-26AWG.att"), name}
                                       << "no measurement of a known format";
    QTest::newRow("mixed formats") << QStringList{a, sample("measured-b.json"), name} << "Mixed formats";
    QTest::newRow("forced format") << QStringList{a, name, QStringLiteral("--format=json")} << "not valid JSON";
    QTest::newRow("dump outside the band") << QStringList{sample("measured-c.txt"), name, QStringLiteral("--annex=B")}
                                           << "22 tones lie below the downstream band's tone 64";
    QTest::newRow("unknown annex") << QStringList{a, name, QStringLiteral("--annex=Q")} << "none of A, B, I";
    QTest::newRow("length 0") << QStringList{a, name, QStringLiteral("--length-of-line=0")} << "1..30000";
    QTest::newRow("length in km") << QStringList{a, name, QStringLiteral("--length-of-line=1.5")} << "1..30000";
    QTest::newRow("name with a path") << QStringList{a, QStringLiteral("--name=x/y")} << "path separators";
    QTest::newRow("no name") << QStringList{a} << "--name is required";
    QTest::newRow("no file") << QStringList{sample("missing.txt"), name} << "No such file";
    QTest::newRow("already there") << QStringList{a, name} << "Already there: Cable/L.att, AddNoise/L.add; --force";
}

void tst_Import::refusedWritesNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const bool existing = QString::fromLatin1(QTest::currentDataTag()) == QLatin1String("already there");
    if (existing)
        QCOMPARE(calc(QStringList{QStringLiteral("import")} + args, dir.path()).code, 0);
    const QByteArray before = fileContents(dir.filePath(QStringLiteral("Cable/L.att")));
    const Run run = calc(QStringList{QStringLiteral("import")} + args, dir.path());
    QCOMPARE(run.code, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(reason.toUtf8()), run.err.constData());
    QCOMPARE(fileContents(dir.filePath(QStringLiteral("Cable/L.att"))), before);
    if (!existing)
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void tst_Import::tonesBesideTheMeasuredSnr()
{
    const QStringList tones{QStringLiteral("tones"), QStringLiteral("-C"), Samples, QStringLiteral("--line"),
                            QStringLiteral("VDSL2-8b_DS.DMT"), QStringLiteral("--length"), QStringLiteral("1500")};
    const Run plain = calc(tones);
    const Run measured = calc(tones + QStringList{QStringLiteral("--measured"), sample("measured-b.json")});
    QCOMPARE(plain.code, 0);
    QCOMPARE(measured.code, 0);
    const QList<QByteArray> plainLines = plain.out.split('\n');
    const QList<QByteArray> lines = measured.out.split('\n');
    QCOMPARE(lines.size(), plainLines.size());
    QCOMPARE(lines.first(), plainLines.first() + "SNRизм,дБ;");
    // The model's fields stay as they are; the last one is the SNR of the group holding the tone.
    const QMap<int, QByteArray> groups{{4, "42"}, {29, "9.5"}, {63, "20.5"}, {64, ""}};
    int checked = 0;
    for (int i = 1; i + 1 < lines.size(); ++i) {
        const int cut = lines[i].lastIndexOf(';', lines[i].size() - 2) + 1;
        QCOMPARE(lines[i].left(cut), plainLines[i]);
        const int group = int(std::lround(lines[i].split(';').first().toDouble() / 4.3125)) / 8;
        if (groups.contains(group)) {
            QCOMPARE(lines[i].mid(cut), groups[group] + ';');
            ++checked;
        }
    }
    QCOMPARE(checked, 8 * 4 - 1); // the band starts at tone 33; the measurement ends at tone 511

    const Run pam = calc({QStringLiteral("tones"), QStringLiteral("-C"), Samples, QStringLiteral("--line"),
                          QStringLiteral("SHDSL_PAM16.PAM"), QStringLiteral("--length=1500"),
                          QStringLiteral("--measured"), sample("measured-a.txt")});
    QCOMPARE(pam.code, 2);
    QVERIFY(pam.out.isEmpty());
}

QTEST_GUILESS_MAIN(tst_Import)
#include "tst_import.moc"
