#include "engine/setupfile.h"

#include <QtTest>

namespace {

CalcSettings base()
{
    CalcSettings s;
    s.cableTypes = {QStringLiteral("K1")};
    s.lineTypes = {QStringLiteral("L1.DMT")};
    s.noiseTemplate = QStringLiteral("N1");
    s.cableCapacity = 4;
    s.xDSL_points = {1};
    s.Norm_ELFEXT_points = {10};
    s.Norm_NEXT_points = {10};
    s.norm_ELFEXT_frequency = s.norm_NEXT_frequency = 300;
    s.cableLengthFrom = 1000;
    s.cableLengthTo = 10000;
    s.cableLengthStep = 1000;
    s.SNRMargin_points = {0};
    CalcInput::fillSummaries(s, true);
    return s;
}

QByteArray setup(const QByteArray &keys)
{
    return "{\"format\": \"kolvane-setup\", \"version\": 1" + (keys.isEmpty() ? QByteArray() : ", " + keys) + "}";
}

} // namespace

class tst_SetupFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void absentKeysKeepTheBase();
    void refused_data();
    void refused();
    void unknownKeysWarn();
    void writeLeavesNoTrace();
};

void tst_SetupFile::roundTrip()
{
    CalcSettings c = base();
    c.cableTypes = {QStringLiteral("Кабель \"0.4\" мм")}; // quotes and Cyrillic survive
    c.sections = {{QStringLiteral("PE-0.64"), 1200}, {QStringLiteral("PE-0.50"), 300}};
    c.cableLengthFrom = 1500;
    c.Norm_NEXT_points = {38, 65, 93, 120};
    c.norm_NEXT_frequency = 80;
    c.targetRates = {2048, 8000};
    c.SNRMargin_points = {6};
    GraphSettings g;
    g.lengthMax = 6000;
    g.colorCurves = false;
    g.legendFontSize = 12;
    g.targetLines = false;
    CalcInput::fillSummaries(c);
    const QByteArray text = SetupFile::text(c, g);
    QVERIFY(text.startsWith("{\n  \"format\": \"kolvane-setup\", \"version\": 1,\n"));
    QVERIFY(text.contains("\"targetLines\": false"));
    Setup read;
    QString error;
    QVERIFY2(SetupFile::parse(text, base(), &read, &error), qPrintable(error));
    QCOMPARE(read.calc, c);
    QCOMPARE(read.graph, g);
    QVERIFY(read.warnings.isEmpty());
    QCOMPARE(SetupFile::text(read.calc, read.graph), text);
    QVERIFY(read.graphAxesGiven);
    // The model's options are written only when set.
    QVERIFY(!text.contains("codingGain") && !text.contains("vectoring") && !text.contains("alienDisturbers"));
    std::tie(c.codingGain, c.vectoring, c.alienDisturbers) = std::tuple(0.5f, 0, 0);
    QVERIFY(SetupFile::text(c, g).contains("\n  \"codingGain\": 0.5,\n  \"vectoring\": 0,\n  \"alienDisturbers\": 0,\n"));
    QVERIFY(SetupFile::parse(SetupFile::text(c, g), base(), &read, &error));
    QCOMPARE(read.calc, c);
    // A sweep by length holds no key of the loss axis; a sweep by loss holds them instead of lengths.
    QVERIFY(!text.contains("axis") && !text.contains("loss"));
    CalcSettings byLoss = base();
    byLoss.axis = SweepAxis::Loss;
    byLoss.lossFrequency = 196;
    byLoss.lossFrom = 125;
    byLoss.lossStep = 5;
    const QByteArray lossText = SetupFile::text(byLoss, g);
    QVERIFY2(lossText.contains("  \"axis\": \"loss\",\n  \"lossFrequency\": 196,\n"
                               "  \"losses\": {\"from\": 12.5, \"to\": 60, \"step\": 0.5},\n") && !lossText.contains("lengths"),
             lossText.constData());
    QVERIFY2(SetupFile::parse(lossText, base(), &read, &error), qPrintable(error));
    QCOMPARE(read.calc, byLoss);

    // Automatic axes stay out of the file; the rest of the graph's look goes in.
    const QByteArray withoutAxes = SetupFile::text(c, g, false);
    QVERIFY(!withoutAxes.contains("lengthMax") && !withoutAxes.contains("rateGridStep"));
    QVERIFY(withoutAxes.contains("\"legendFontSize\": 12"));
    QVERIFY(SetupFile::parse(withoutAxes, base(), &read, &error));
    QVERIFY(!read.graphAxesGiven);
    QCOMPARE(read.graph.legendFontSize, 12);
    QCOMPARE(read.graph.lengthMax, GraphSettings().lengthMax);
}

void tst_SetupFile::absentKeysKeepTheBase()
{
    Setup read;
    QString error;
    QVERIFY2(SetupFile::parse(setup(""), base(), &read, &error), qPrintable(error));
    QCOMPARE(read.calc, base());
    QCOMPARE(read.graph, GraphSettings());
    // One key of a group leaves its neighbours alone.
    QVERIFY(SetupFile::parse(setup("\"lengths\": {\"step\": 500}, \"next\": {\"norms\": [58]}"), base(), &read, &error));
    QCOMPARE(read.calc.cableLengthStep, 500);
    QCOMPARE(read.calc.cableLengthTo, 10000);
    QCOMPARE(read.calc.Norm_NEXT_points, QVector<float>{58});
    QCOMPARE(read.calc.norm_NEXT_frequency, 300.0f);
}

void tst_SetupFile::refused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("message");
    QTest::newRow("truncated") << QByteArray("{\"format\": \"kolvane-setup\", \"vers") << "not a valid JSON text";
    QTest::newRow("a list") << QByteArray("[1, 2]") << "not a Kolvane setup";
    QTest::newRow("another format") << QByteArray("{\"format\": \"other\", \"version\": 1}") << "\"format\"";
    QTest::newRow("future version") << QByteArray("{\"format\": \"kolvane-setup\", \"version\": 2}")
                                    << "version 2 is newer than this program reads (1)";
    QTest::newRow("no version") << QByteArray("{\"format\": \"kolvane-setup\"}") << "version: expected a whole number";
    QTest::newRow("step below its bound") << setup("\"lengths\": {\"step\": 7}") << "lengths.step: 7 is below 10";
    QTest::newRow("text for a number") << setup("\"capacity\": \"four\"") << "capacity: expected a whole number, not \"four\"";
    QTest::newRow("fraction") << setup("\"loads\": [1.5]") << "loads: expected a whole number, not 1.5";
    QTest::newRow("number for a list") << setup("\"margins\": 6") << "margins: expected a list, not 6";
    QTest::newRow("number for a name") << setup("\"cables\": [4]") << "cables: expected a text, not 4";
    QTest::newRow("norm out of range") << setup("\"elfext\": {\"norms\": [56, 130]}") << "elfext.norms: 130 is above 120";
    QTest::newRow("two families") << setup("\"loads\": [1, 2], \"margins\": [0, 6]")
                                  << "not loads and margins";
    QTest::newRow("section without length") << setup("\"sections\": [{\"cable\": \"K2\"}]")
                                            << "sections[0].length: expected a whole number";
    QTest::newRow("loop longer than the range") << setup("\"sections\": [{\"cable\": \"K2\", \"length\": 1500}]")
                                                << "lengths.from 1000 is below the sections' total of 1500 m";
    QTest::newRow("gain of two decimals") << setup("\"codingGain\": 0.25") << "codingGain: expected a number with at most 1";
    QTest::newRow("aliens without vectoring") << setup("\"alienDisturbers\": 1") << "alienDisturbers is given only with vectoring";
    QTest::newRow("aliens as many as the load") << setup("\"vectoring\": 9, \"alienDisturbers\": 1")
                                                << "alienDisturbers 1 must be below loads 1";
    QTest::newRow("no axis") << setup("\"axis\": \"time\"") << "axis: \"time\" is not one of length, loss";
    QTest::newRow("loss with two decimals") << setup("\"losses\": {\"step\": 0.05}")
                                            << "losses.step: expected a number with at most 1 decimal(s), not 0.05";
    QTest::newRow("losses from beyond to") << setup("\"axis\": \"loss\", \"losses\": {\"from\": 20, \"to\": 10}")
                                           << "losses.from 20 is beyond losses.to 10";
    QTest::newRow("graph out of range") << setup("\"graph\": {\"lineWidth\": 11}") << "graph.lineWidth: 11 is above 10";
    QTest::newRow("graph flag as number") << setup("\"graph\": {\"colorCurves\": 1}") << "graph.colorCurves";
    QTest::newRow("targets not increasing") << setup("\"targetRates\": [8000, 8000]") << "targetRates: the values must be strictly increasing";
    QTest::newRow("section of 0 m") << setup("\"sections\": [{\"cable\": \"K2\", \"length\": 5}, {\"cable\": \"K3\", \"length\": 0}]")
                                    << "sections[1].length: 0 is below 1";
    QTest::newRow("line type named twice") << setup("\"lineTypes\": [\"a.DMT\", \"b.DMT\", \"a.DMT\"]")
                                           << "lineTypes: \"a.DMT\" is named twice";
    QTest::newRow("raw line break in a name") << setup("\"cables\": [\"K\n1\"]")
                                              << "a control character (U+000A) inside a string at byte 55";
    QTest::newRow("escaped NUL in a name") << setup("\"noise\": \"N\\u00001\"")
                                           << "noise name \"N\u24001\" holds a control character (U+0000)";
}

void tst_SetupFile::refused()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, message);
    Setup read;
    read.calc.cableCapacity = 77; // nothing is half-applied
    QString error;
    QVERIFY(!SetupFile::parse(json, base(), &read, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(read.calc.cableCapacity, 77);
}

void tst_SetupFile::unknownKeysWarn()
{
    Setup read;
    QString error;
    QVERIFY(SetupFile::parse(setup("\"colour\": 1, \"lengths\": {\"form\": 0}, \"graph\": {\"lineWidht\": 2}"), base(), &read, &error));
    QCOMPARE(read.warnings.size(), 3);
    QVERIFY(read.warnings.join(' ').contains("\"lengths.form\""));
    QVERIFY(read.warnings.join(' ').contains("\"graph.lineWidht\""));
    QCOMPARE(read.calc, base());
}

void tst_SetupFile::writeLeavesNoTrace()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.kolvane"));
    QString error;
    QVERIFY(SetupFile::write(path, base(), GraphSettings(), &error));
    Setup read;
    QVERIFY2(SetupFile::read(path, base(), &read, &error), qPrintable(error));
    QCOMPARE(read.calc, base());
    // A directory in the way: refused, nothing left behind.
    QVERIFY(!SetupFile::write(dir.path(), base(), GraphSettings(), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.kolvane"});
    // The dialog's slots may repeat a cable; a file that names one twice would not open again.
    CalcSettings twice = base();
    twice.cableTypes = {QStringLiteral("K1"), QStringLiteral("K1")};
    QVERIFY(!SetupFile::write(path, twice, GraphSettings(), &error));
    QCOMPARE(error, path + QStringLiteral(": cables: \"K1\" is named twice"));
    QVERIFY2(SetupFile::read(path, base(), &read, &error), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_SetupFile)
#include "tst_setupfile.moc"
