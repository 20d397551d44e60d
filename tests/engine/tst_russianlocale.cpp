// The users work in a Russian locale, where the decimal separator is ','. The calculation, its
// labels, the CSV bytes and the reading of template files must be exactly those of the C locale.

#include "engine/csvwriter.h"
#include "engine/sweep.h"
#include "engine/templatefile.h"

#include "russianlocale.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

Q_DECLARE_METATYPE(CalcSettings)

namespace {

QString sampleWorkspace()
{
    return QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");
}

quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

quint64 bits(double d)
{
    quint64 b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

CalcSettings settings(const QString &line)
{
    CalcSettings s;
    s.cableTypes << QStringLiteral("PE-0.40mm-26AWG");
    s.lineTypes << line;
    s.noiseTemplate = QStringLiteral("AWGN-140");
    s.xDSL_points << 1;
    s.cableCapacity = 4;
    s.Norm_ELFEXT_points << 10;
    s.Norm_NEXT_points << 10;
    s.norm_ELFEXT_frequency = 300;
    s.norm_NEXT_frequency = 300;
    s.SNRMargin_points << 0;
    s.cableLengthFrom = 0;
    s.cableLengthTo = 6000;
    s.cableLengthStep = 250;
    return s;
}

// What a run leaves for the user: labels, the rates to the bit, the CSV file's bytes.
struct Outcome {
    QStringList labels;
    QVector<quint32> rateBits;
    QByteArray csv;
    QString error;
};

Outcome calculate(const CalcSettings &s)
{
    Outcome outcome;
    const std::optional<SweepResult> result = runSweep(s, sampleWorkspace(), &outcome.error);
    if (!result)
        return outcome;
    outcome.labels = result->labels;
    for (const ResultRow &row : result->rows) {
        outcome.rateBits << bits(row.length);
        for (float rate : row.rates)
            outcome.rateBits << bits(rate);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("result.csv"));
    QStringList headers{QStringLiteral("L,м")};
    headers += result->labels;
    if (!saveCsv(path, headers, result->rows, &outcome.error))
        return outcome;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        outcome.csv = file.readAll();
    return outcome;
}

} // namespace

class tst_RussianLocale : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void sweepAndCsv_data();
    void sweepAndCsv();
    void csvKeepsTheDecimalPoint();
    void templateFilesReadTheSame();
};

void tst_RussianLocale::initTestCase_data()
{
    QTest::addColumn<bool>("cLibrary");
    QTest::newRow("QLocale") << false;
    QTest::newRow("QLocale and C library") << true;
}

void tst_RussianLocale::sweepAndCsv_data()
{
    QTest::addColumn<CalcSettings>("settings");
    QTest::addColumn<QString>("labelPart"); // the family's value in the labels

    CalcSettings loads = settings(QStringLiteral("ADSL2+_DS.DMT"));
    loads.xDSL_points = {1, 12, 24};
    QTest::newRow("DMT, load family") << loads << "m=24";

    CalcSettings pam = settings(QStringLiteral("SHDSL_PAM16.PAM"));
    pam.lineTypes << QStringLiteral("SHDSL_PAM32.PAM");
    QTest::newRow("PAM, line family") << pam << "SHDSL_PAM32";

    CalcSettings elfext = settings(QStringLiteral("VDSL2-17a_DS.DMT"));
    elfext.Norm_ELFEXT_points = {37.5f, 40.25f};
    elfext.norm_ELFEXT_frequency = 276.5f;
    QTest::newRow("ELFEXT fractions") << elfext << "ELFEXT=40.25дБ";

    CalcSettings margins = settings(QStringLiteral("ADSL_DS.DMT"));
    margins.SNRMargin_points = {0.5f, 6.5f};
    margins.noiseTemplate = QStringLiteral("AWGN-140+ISDN24-NEXT");
    QTest::newRow("margin fractions") << margins << "SNR Margin=6.5дБ";
}

void tst_RussianLocale::sweepAndCsv()
{
    QFETCH(CalcSettings, settings);
    QFETCH(QString, labelPart);

    const Outcome expected = calculate(settings);
    QVERIFY2(expected.error.isEmpty(), qPrintable(expected.error));
    QVERIFY(!expected.csv.isEmpty());

    SWITCH_TO_RUSSIAN_LOCALE();
    const Outcome outcome = calculate(settings);
    QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
    QCOMPARE(outcome.labels, expected.labels);
    QVERIFY2(outcome.labels.join(QLatin1Char(' ')).contains(labelPart), qPrintable(outcome.labels.join(' ')));
    QCOMPARE(outcome.rateBits, expected.rateBits);
    QCOMPARE(outcome.csv, expected.csv);
}

void tst_RussianLocale::csvKeepsTheDecimalPoint()
{
    SWITCH_TO_RUSSIAN_LOCALE();

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("fractions.csv"));
    const ResultSet rows{{12.5f, {1536.25f, 0.5f}}, {2500, {1234567.0f, 96}}};
    QString error;
    QVERIFY2(saveCsv(path, {QStringLiteral("L,м"), QStringLiteral("R,кбит/с\nSNR Margin=0.5дБ"),
                            QStringLiteral("R,кбит/с\nSNR Margin=6.5дБ")},
                     rows, &error),
             qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("L,м;R,кбит/с SNR Margin=0.5дБ;R,кбит/с SNR Margin=6.5дБ;\n"
                                        "12.5;1536.25;0.5;\n"
                                        "2500;1.23457e+06;96;\n"));
}

void tst_RussianLocale::templateFilesReadTheSame()
{
    QMap<QString, QVector<quint64>> expected;
    QDirIterator files(sampleWorkspace(), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        QVector<TemplateCell> cells;
        QVERIFY2(readTemplateCells(path, &cells), qPrintable(path));
        QVector<quint64> &values = expected[path];
        for (const TemplateCell &cell : std::as_const(cells))
            values << quint64(quint16(cell.row)) << quint64(quint16(cell.column)) << bits(cell.value);
    }
    QVERIFY(expected.size() >= 3);

    SWITCH_TO_RUSSIAN_LOCALE();
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QVector<TemplateCell> cells;
        QVERIFY2(readTemplateCells(it.key(), &cells), qPrintable(it.key()));
        QVector<quint64> values;
        for (const TemplateCell &cell : std::as_const(cells))
            values << quint64(quint16(cell.row)) << quint64(quint16(cell.column)) << bits(cell.value);
        QCOMPARE(values, it.value());
    }
}

QTEST_GUILESS_MAIN(tst_RussianLocale)
#include "tst_russianlocale.moc"
