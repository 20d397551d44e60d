#include "engine/csvwriter.h"

#include "fulldisk.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <limits>

class tst_CsvWriter : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void saveWritesTheSameBytes();
    void failedSaveKeepsTheOldFile();
    void unwritablePath();
    void fullDiskKeepsTheOldFile();
};

void tst_CsvWriter::layout_data()
{
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<ResultSet>("rows");
    QTest::addColumn<QByteArray>("expected");

    const QStringList loads{"L,м", "R,кбит/с\nm=1", "R,кбит/с\nm=2"};
    QTest::newRow("two loads, two lengths")
        << loads
        << ResultSet{{1000, {12345.67f, 11020.4f}}, {2000, {9876.543f, 8790}}}
        << QByteArray("L,м;R,кбит/с m=1;R,кбит/с m=2;\n1000;12345.7;11020.4;\n2000;9876.54;8790;\n");
    QTest::newRow("no rows") << loads << ResultSet{}
                             << QByteArray("L,м;R,кбит/с m=1;R,кбит/с m=2;\n");
    QTest::newRow("label spaces simplified")
        << QStringList{"L,м", "  R,кбит/с\n\nSNR Margin=3дБ "} << ResultSet{{0, {0}}}
        << QByteArray("L,м;R,кбит/с SNR Margin=3дБ;\n0;0;\n");
    QTest::newRow("large and small numbers")
        << QStringList{"L,м", "R"} << ResultSet{{30000, {1234567.0f}}, {0.5f, {0.000125f}}}
        << QByteArray("L,м;R;\n30000;1.23457e+06;\n0.5;0.000125;\n");
}

void tst_CsvWriter::layout()
{
    QFETCH(QStringList, headers);
    QFETCH(ResultSet, rows);
    QFETCH(QByteArray, expected);
    QByteArray bytes;
    {
        QTextStream out(&bytes);
        writeCsv(out, headers, rows);
    }
    QCOMPARE(bytes, expected);
}

void tst_CsvWriter::saveWritesTheSameBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("result.csv");
    QString error;
    QVERIFY2(saveCsv(path, {"L,м", "R,кбит/с\nm=1"}, {{1000, {512}}, {2000, {256.5f}}}, &error),
             qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("L,м;R,кбит/с m=1;\n1000;512;\n2000;256.5;\n"));
}

void tst_CsvWriter::failedSaveKeepsTheOldFile()
{
    // A path that is a directory cannot be replaced: false, and nothing else is touched.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("old.csv");
    QVERIFY(saveCsv(path, {"L,м"}, {{1, {}}}));
    QVERIFY(QDir(dir.path()).mkdir("taken.csv"));
    QString error;
    QVERIFY(!saveCsv(dir.filePath("taken.csv"), {"L,м"}, {{2, {}}}, &error));
    QVERIFY2(error.contains("taken.csv"), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("L,м;\n1;\n"));
}

void tst_CsvWriter::unwritablePath()
{
    QString error;
    QVERIFY(!saveCsv("/nonexistent-directory/result.csv", {"L,м"}, {}, &error));
    QVERIFY(error.contains("/nonexistent-directory/result.csv"));
}

void tst_CsvWriter::fullDiskKeepsTheOldFile()
{
    FullDisk disk;
    if (!disk.available())
        QSKIP(qPrintable(disk.why()));
    const QString path = disk.filePath("result.csv");
    QVERIFY(saveCsv(path, {"L,м"}, {{1, {}}}));
    QVERIFY(disk.fill());
    QString error;
    QVERIFY(!saveCsv(path, {"L,м", "R,кбит/с\nm=1"}, {{1000, {512}}, {2000, {256.5f}}}, &error));
    QCOMPARE(error, QStringLiteral("Cannot write %1: No space left on device").arg(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("L,м;\n1;\n"));
}

QTEST_GUILESS_MAIN(tst_CsvWriter)
#include "tst_csvwriter.moc"
