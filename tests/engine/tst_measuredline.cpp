// Measured lines: the shared example files, random measurements written in all three formats
// from known codes, the refusals, the warnings, and the all-or-nothing write of the templates.
#include "engine/measuredline.h"

#include "engine/templatekind.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Measured;

namespace {

const QString Examples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/measured/");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Measurement parsed(const QVector<QByteArray> &contents, const ReadOptions &options = {})
{
    QStringList names;
    for (int i = 0; i < contents.size(); ++i)
        names << QStringLiteral("f%1").arg(i);
    QString error;
    const std::optional<Measurement> m = parse(contents, names, options, &error);
    if (!m)
        qWarning("refused: %s", qPrintable(error));
    return m.value_or(Measurement());
}

// A line known by its codes, one list per quantity (-1: not measured).
struct Known {
    int groupSize = 1;
    int firstTone = 0; // of entry 0; text dumps may start anywhere
    QVector<int> codes[3];
};

double decoded(int q, int code)
{
    return q == 0 ? (60 - code) / 10.0 : q == 1 ? (-46 - code) / 2.0 : (code - 64) / 2.0;
}

const char *const Prefix[] = {"HLOG", "QLN", "SNR"};
const char *const JsonKey[] = {"hlog", "qln", "snr"};
const char *const TextName[] = {"Hlog", "QLN", "SNR"};

QVector<QByteArray> written(const Known &k, const QString &format)
{
    QVector<QByteArray> files;
    QByteArray a, json = "{\"bits\": {\"downstream\": {\"groupsize\": 1, \"data\": [1]}}";
    for (int q = 0; q < 3; ++q) {
        QStringList items;
        for (int code : k.codes[q]) {
            if (format == QLatin1String("raw"))
                items << QString::number(code < 0 ? (q ? 255 : 1023) : code);
            else if (format == QLatin1String("dB"))
                items << (code < 0 ? QStringLiteral("-96.3") : QString::number(decoded(q, code), 'f', 1));
            else
                items << (code < 0 ? QStringLiteral("null") : QString::asprintf("%lf", decoded(q, code)));
        }
        a += QStringLiteral("X.%1Gds=%2\n%1psds = \"%3\"\n").arg(QLatin1String(Prefix[q])).arg(k.groupSize)
                 .arg(items.join(QLatin1Char(','))).toUtf8();
        json += QStringLiteral(", \"%1\": {\"downstream\": {\"groupsize\": %2, \"groups\": %3, \"data\": [%4]}}")
                    .arg(QLatin1String(JsonKey[q])).arg(k.groupSize).arg(items.size())
                    .arg(items.join(QStringLiteral(", ")))
                    .toUtf8();
        QByteArray text = QByteArray("modem: status\n\nTone number      ") + TextName[q] + "\n";
        for (int t = 1; t < 6; ++t) // upstream tones, dropped
            text += QByteArray::number(t) + "\t\t-3.0000\n";
        const QByteArray missing = q == 0 ? "-96.0000" : q == 1 ? "-160.0000" : "0.0000";
        for (int i = 0; i < k.codes[q].size(); ++i)
            text += QByteArray::number(k.firstTone + i) + "\t\t"
                    + (k.codes[q][i] < 0 ? missing : QByteArray::number(decoded(q, k.codes[q][i]), 'f', 4)) + "\n";
        files << text;
    }
    if (format == QLatin1String("json"))
        return {json + "}"};
    if (format == QLatin1String("text"))
        return files;
    return {a};
}

} // namespace

class tst_MeasuredLine : public QObject
{
    Q_OBJECT

private slots:
    void examplesAgree();
    void randomLinesImportToTheirCells_data();
    void randomLinesImportToTheirCells();
    void refused_data();
    void refused();
    void warnings_data();
    void warnings();
    void writesAllOrNothing();
    void readyCalculationEndsAtTheLine_data();
    void readyCalculationEndsAtTheLine();
};

void tst_MeasuredLine::examplesAgree()
{
    const Measurement a = parsed({readAll(Examples + QStringLiteral("measured-a.txt"))});
    const Measurement b = parsed({readAll(Examples + QStringLiteral("measured-b.json"))});
    const Measurement c = parsed({readAll(Examples + QStringLiteral("measured-c.txt"))});
    QVERIFY(a.hlog.present && a.qln.present && a.snr.present && a.warnings.isEmpty());
    QCOMPARE(a.hlog.entries.size(), 64);
    for (Quantity q : {Quantity::Hlog, Quantity::Qln, Quantity::Snr})
        QVERIFY(a.series(q) == b.series(q));
    QCOMPARE(cableCells(a.hlog, 1500), cableCells(b.hlog, 1500));
    QCOMPARE(noiseCells(a.qln), noiseCells(b.qln));

    // The document's check values, groups 3, 4, 29 and 63.
    QVERIFY(a.hlog.entries[3].missing && a.qln.entries[3].missing && a.snr.entries[3].missing);
    const struct { int group; double f, hlog, qln, snr, perKm; } checks[] = {
        {4, 138.0, -10.2, -140.0, 42.0, 6.80}, {29, 1000.5, -22.5, -120.0, 9.5, 15.00}, {63, 2173.5, -31.7, -140.0, 20.5, 21.13}};
    const QVector<TemplateCell> cable = cableCells(a.hlog, 1500);
    for (const auto &k : checks) {
        QCOMPARE(Series::frequency(a.hlog.entries[k.group]), k.f);
        QCOMPARE(a.hlog.entries[k.group].value, k.hlog);
        QCOMPARE(a.qln.entries[k.group].value, k.qln);
        QCOMPARE(a.snr.entries[k.group].value, k.snr);
        const TemplateCell &loss = cable[2 * (k.group - 4) + 1];
        QCOMPARE(std::round(loss.value * 100) / 100, k.perKm);
    }

    // The dump is cut to tones 24..45: 24..31 are upstream, every tone is a row of its own.
    QCOMPARE(c.hlog.dropped, 8);
    const QVector<TemplateCell> rows = cableCells(c.hlog, 1500);
    QCOMPARE(rows.size(), 2 * 14);
    for (int r = 0; r < rows.size(); r += 2) {
        const int tone = int(rows[r].value / ToneSpacing);
        if (tone % 8 == 0)
            QCOMPARE(rows[r + 1].value, cable[2 * (tone / 8 - 4) + 1].value);
    }
}

void tst_MeasuredLine::randomLinesImportToTheirCells_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<quint32>("seed");
    for (const char *format : {"raw", "dB", "json", "text"})
        for (quint32 seed : {1u, 2u, 3u})
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(format)).arg(seed))) << QString::fromLatin1(format) << seed;
}

void tst_MeasuredLine::randomLinesImportToTheirCells()
{
    QFETCH(QString, format);
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    const bool text = format == QLatin1String("text");
    Known k;
    k.groupSize = text ? 1 : 1 << rng.bounded(5);
    k.firstTone = text ? 32 + int(rng.bounded(40)) : 0;
    const int count = 2 + int(rng.bounded(text ? 600 : 511));
    // Codes whose values every format keeps apart from its "not measured" values.
    const int lo[] = {0, 0, 65}, hi[] = {1020, 255, 255};
    for (int q = 0; q < 3; ++q)
        for (int i = 0; i < count; ++i)
            k.codes[q] << (i < 2 || rng.bounded(6) ? lo[q] + int(rng.bounded(hi[q] - lo[q])) : -1);
    if (format == QLatin1String("dB")) // values in dB have no "not measured" for QLN and SNR
        for (int q = 1; q < 3; ++q)
            k.codes[q].fill(lo[q] + 7);
    const int length = 1 + int(rng.bounded(30000));

    QVector<QByteArray> files = written(k, format);
    if (seed == 3) // as saved by editors that mark UTF-8
        for (QByteArray &file : files)
            file.prepend("\xEF\xBB\xBF");
    const Measurement m = parsed(files);
    QVector<TemplateCell> cable, noise;
    for (int i = 0, row = 0, noiseRow = 0; i < count; ++i) {
        const double f = double((k.firstTone + i) * k.groupSize) * 4.3125;
        if (k.codes[0][i] >= 0) {
            cable << TemplateCell{qint16(row), 0, f} << TemplateCell{qint16(row), 1, -decoded(0, k.codes[0][i]) * 1000.0 / length + 0.0};
            ++row;
        }
        if (k.codes[1][i] >= 0) {
            noise << TemplateCell{qint16(noiseRow), 0, f} << TemplateCell{qint16(noiseRow), 1, decoded(1, k.codes[1][i])};
            ++noiseRow;
        }
        const std::optional<double> snr = m.snr.valueAtTone((k.firstTone + i) * k.groupSize + k.groupSize - 1);
        QCOMPARE(snr.has_value(), k.codes[2][i] >= 0);
        if (snr)
            QCOMPARE(*snr, decoded(2, k.codes[2][i]));
    }
    QCOMPARE(cableCells(m.hlog, length), cable);
    QCOMPARE(noiseCells(m.qln), noise);
}

void tst_MeasuredLine::refused_data()
{
    QTest::addColumn<QVector<QByteArray>>("files");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("reason");
    const QByteArray hlog = "HLOGGds=1\nHLOGpsds=100,200\n";
    const QByteArray json = "{\"qln\": {\"downstream\": {\"groupsize\": 1, \"data\": [-140.5, -139]}}}";
    const QByteArray dump = "Tone number      Hlog\n40 -10.0\n41 -10.5\n";
    QTest::newRow("unknown format") << QVector<QByteArray>{"hello\n"} << "" << "known format";
    QTest::newRow("mixed formats") << QVector<QByteArray>{hlog, json} << "" << "Mixed formats";
    QTest::newRow("mixed in one file") << QVector<QByteArray>{hlog + dump} << "" << "mixes";
    QTest::newRow("quantity twice") << QVector<QByteArray>{dump, dump} << "" << "found twice";
    QTest::newRow("forced format") << QVector<QByteArray>{hlog} << "json" << "not valid JSON";
    QTest::newRow("group size 3") << QVector<QByteArray>{"HLOGGds=3\nHLOGpsds=1,2\n"} << "" << "group size 3";
    QTest::newRow("group size 32") << QVector<QByteArray>{"{\"snr\": {\"downstream\": {\"groupsize\": 32, \"data\": [1, 2]}}}"} << "" << "group size 32";
    QTest::newRow("one usable entry") << QVector<QByteArray>{"HLOGGds=8\nHLOGpsds=1023,0162,1023\n"} << "" << "1 usable";
    QTest::newRow("Hlog code 1024") << QVector<QByteArray>{"HLOGGds=1\nHLOGpsds=5,1024\n"} << "" << "above 1023";
    QTest::newRow("QLN code 256") << QVector<QByteArray>{"QLNGds=1\nQLNpsds=5,256\n"} << "" << "above 255";
    QTest::newRow("Hlog above +6 dB") << QVector<QByteArray>{"HLOGGds=1\nHLOGpsds=-5.0,6.1\n"} << "" << "outside the coding";
    QTest::newRow("QLN above -23 in a dump") << QVector<QByteArray>{"Tone number QLN\n40 -20.5\n41 -30\n"} << "" << "outside the coding";
    QTest::newRow("SNR above 95 in JSON") << QVector<QByteArray>{"{\"snr\": {\"downstream\": {\"groupsize\": 2, \"data\": [10, 95.5]}}}"} << "" << "outside the coding";
    QTest::newRow("duplicated parameter") << QVector<QByteArray>{hlog + "A.B.HLOGpsds=1,2\n"} << "" << "appears twice";
    QTest::newRow("raw Hlog in JSON") << QVector<QByteArray>{"{\"hlog\": {\"downstream\": {\"groupsize\": 1, \"data\": [162, null, 171]}}}"} << "" << "raw codes";
    QTest::newRow("raw QLN in JSON") << QVector<QByteArray>{"{\"qln\": {\"downstream\": {\"groupsize\": 1, \"data\": [234, 0]}}}"} << "" << "raw codes";
    QTest::newRow("all codes zero") << QVector<QByteArray>{"QLNGds=1\nQLNpsds=0,000,0\n"} << "" << "every code is 0";
    QTest::newRow("bit allocation dump") << QVector<QByteArray>{"Tone number      Bit Allocation\n40 3\n"} << "" << "only Hlog, QLN and SNR";
    QTest::newRow("tone twice") << QVector<QByteArray>{"Tone number SNR\n40 10\n41 11\n40 12\n"} << "" << "listed twice";
    QTest::newRow("stray line") << QVector<QByteArray>{hlog + "garbage\n"} << "" << "line 3";
    QTest::newRow("bad item") << QVector<QByteArray>{"HLOGGds=1\nHLOGpsds=100,2x0\n"} << "" << "\"2x0\"";
    QTest::newRow("upstream only") << QVector<QByteArray>{"HLOGGus=1\nHLOGpsus=100,200\n"} << "" << "No downstream";
}

void tst_MeasuredLine::refused()
{
    QFETCH(QVector<QByteArray>, files);
    QFETCH(QString, format);
    QFETCH(QString, reason);
    ReadOptions options;
    options.format = formatFromName(format);
    QString error;
    QVERIFY(!parse(files, {QStringLiteral("a"), QStringLiteral("b")}, options, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void tst_MeasuredLine::warnings_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("warning");
    QStringList many;
    for (int i = 0; i < 520; ++i)
        many << QStringLiteral("300");
    QTest::newRow("no group size") << QByteArray("HLOGpsds=100,200,300,400,500,600,700,800\n") << "group size 1 assumed";
    QTest::newRow("over 512 items") << "HLOGGds=1\nHLOGpsds=" + many.join(QLatin1Char(',')).toLatin1() << "the first 512 are used";
    QTest::newRow("groups disagree") << QByteArray("{\"qln\": {\"downstream\": {\"groupsize\": 1, \"groups\": 5, \"data\": [-140, -141]}}}") << "groups is 5";
    QTest::newRow("gain") << QByteArray("HLOGGds=1\nHLOGpsds=50,60,70,80,90,100,110,120\n") << "above 0 dB";
    QTest::newRow("few Hlog groups") << QByteArray("HLOGGds=1\nHLOGpsds=100,200\n") << "only 2 usable";
    QTest::newRow("loud QLN") << QByteArray("QLNGds=1\nQLNpsds=100,100,100,100,100,100,100,100,100,200\n") << "9 of 10 values above -90";
    QTest::newRow("QLN at the bottom") << QByteArray("QLNGds=1\nQLNpsds=254,254\n") << "every value at -150";
    QTest::newRow("high SNR") << QByteArray("HLOGGds=1\nHLOGpsds=100,200,300,400,500,600,700,800\nSNRGds=1\nSNRpsds=100,220\n") << "1 values above 70";
    QTest::newRow("no QLN") << QByteArray("HLOGGds=1\nHLOGpsds=100,200,300,400,500,600,700,800\n") << "only the cable";
}

void tst_MeasuredLine::warnings()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, warning);
    const Measurement m = parsed({file});
    QVERIFY2(m.warnings.filter(warning).size() == 1, qPrintable(m.warnings.join(QLatin1Char('|'))));
}

void tst_MeasuredLine::writesAllOrNothing()
{
    QTemporaryDir dir;
    const QString cable = dir.filePath(QStringLiteral("Cable/L1.att"));
    const QString link = dir.filePath(QStringLiteral("Cable/.L1.att.measured"));
    const QString noise = dir.filePath(QStringLiteral("AddNoise/L1.add"));
    const Measurement full = parsed({readAll(Examples + QStringLiteral("measured-a.txt"))});
    Target target{dir.path(), QStringLiteral("L1"), 1500, false, {}, {}};
    QString error;
    QCOMPARE(write(full, target, &error), Outcome::Written);
    QVERIFY(QFile::exists(link) && QFile::exists(noise));
    const std::optional<Series> linked = linkedSnr(dir.path(), QStringLiteral("L1"));
    QVERIFY(linked);
    for (int tone = 0; tone < 520; ++tone)
        QCOMPARE(linked->valueAtTone(tone), full.snr.valueAtTone(tone));
    const QByteArray first = readAll(cable);

    // An existing template is kept unless replacing is asked for.
    Measurement noSnr = parsed({"HLOGGds=1\nHLOGpsds=100,200,300,400,500,600,700,800\n"});
    QCOMPARE(write(noSnr, target, &error), Outcome::Exists);
    QCOMPARE(readAll(cable), first);
    // The noise cannot be written where a file blocks its directory: the cable comes back.
    QVERIFY(QDir(dir.path()).removeRecursively() && QDir().mkpath(dir.filePath(QStringLiteral("Cable"))));
    QFile blocker(dir.filePath(QStringLiteral("AddNoise")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QCOMPARE(write(full, target, &error), Outcome::Failed);
    QVERIFY(!QFile::exists(cable) && !QFile::exists(link));
    QVERIFY(blocker.remove());
    QCOMPARE(write(full, target, &error), Outcome::Written);

    // A cable replaced from a measurement without SNR loses the link; an edited cable too.
    target.replace = true;
    QCOMPARE(write(noSnr, target, &error), Outcome::Written);
    QVERIFY(!QFile::exists(link));
    QCOMPARE(write(full, target, &error), Outcome::Written);
    QFile edit(cable);
    QVERIFY(edit.open(QIODevice::Append) && edit.write(QByteArray(12, '\0')) == 12);
    edit.close();
    QVERIFY(!linkedSnr(dir.path(), QStringLiteral("L1")));

    target.name = QStringLiteral(".hidden");
    QCOMPARE(write(full, target, &error), Outcome::Refused);
    target.name = QStringLiteral("x.att.1");
    QCOMPARE(write(full, target, &error), Outcome::Refused);
}

void tst_MeasuredLine::readyCalculationEndsAtTheLine_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("step");
    QTest::newRow("1 km") << 1000 << 0 << 100;
    QTest::newRow("1537 m") << 1537 << 37 << 100;
    QTest::newRow("shorter than a step") << 5 << 5 << 10;
    QTest::newRow("30 km") << 30000 << 0 << 2000;
}

void tst_MeasuredLine::readyCalculationEndsAtTheLine()
{
    QFETCH(int, length);
    QFETCH(int, from);
    QFETCH(int, step);
    const CalcSettings s = calculation(QString(), QStringLiteral("L"), QStringLiteral("L"), length,
                                       {QStringLiteral("a.DMT"), QStringLiteral("b.DMT")});
    QCOMPARE(s.cableLengthFrom, from);
    QCOMPARE(s.cableLengthTo, length);
    QCOMPARE(s.cableLengthStep, step);
    QCOMPARE(s.xDSL_points, QVector<int>{1});
    QCOMPARE(CalcInput::validate(s, CalcInput::Checks::Input, [](CalcInput::Field) { return QString(); }, nullptr), true);
}

QTEST_GUILESS_MAIN(tst_MeasuredLine)
#include "tst_measuredline.moc"
