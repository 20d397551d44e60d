#include "engine/calcinput.h"
#include "engine/curveset.h"
#include "engine/messages.h"
#include "engine/looprecords.h"
#include "engine/plantqualifier.h"
#include "engine/qualifycsv.h"
#include "engine/qualifytable.h"
#include "engine/reach.h"
#include "engine/sweep.h"
#include "engine/templatefile.h"
#include "engine/workspace.h"

#include "referencemodel.h"
#include "templatefiles.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <map>
#include <random>

namespace {

const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");
const QStringList Cables = {QStringLiteral("PE-0.40mm-26AWG"), QStringLiteral("PE-0.50mm-24AWG"),
                            QStringLiteral("PE-0.64mm-22AWG"), QStringLiteral("PE-thin-0.32mm")};

// Two services under conditions where the margins fall inside the searched range.
QualifySettings services(bool targets = true)
{
    QualifySettings s;
    CalcSettings &c = s.conditions;
    c = defaultCalcSettings(Samples);
    c.lineTypes = {QStringLiteral("ADSL2+_DS.DMT"), QStringLiteral("SHDSL_PAM16.PAM")};
    c.cableCapacity = 20;
    c.xDSL_points = {8};
    c.Norm_ELFEXT_points = {45};
    c.Norm_NEXT_points = {50};
    c.SNRMargin_points = {6};
    if (targets)
        s.targets = {8000, 1024};
    return s;
}

struct Run {
    bool ok = false;
    QString error;
    QByteArray out;
    QVector<QualifiedLoop> loops;
    QVector<LoopProblem> problems; // one per refused loop, in order
    QStringList warnings;
    int chunks = 0;
};

Run qualify(const QByteArray &input, const QualifySettings &settings = services(), QualifyOptions options = {},
            const QString &workdir = Samples)
{
    Run r;
    const std::unique_ptr<PlantQualifier> q = PlantQualifier::create(settings, workdir, &r.error);
    if (!q)
        return r;
    QBuffer buffer;
    buffer.setData(input);
    buffer.open(QIODevice::ReadOnly);
    QualifyWriter writer(settings);
    r.out = writer.header();
    r.ok = q->run(
        buffer,
        [&](const QualifyChunk &chunk) {
            ++r.chunks;
            for (qsizetype i = 0; i < chunk.loops.size(); ++i) {
                const QualifiedLoop &loop = chunk.loops.at(i);
                const LoopProblem *problem = loop.problem >= 0 ? &chunk.problems.at(loop.problem) : nullptr;
                writer.append(r.out, loop, chunk.results.constData() + i * q->services(), problem);
                r.loops << loop;
                if (problem)
                    r.problems << *problem;
            }
            return true;
        },
        &r.error, options);
    r.warnings = q->takeWarnings();
    return r;
}

// The table's rates for one loop at its one length, one per service, and the margins at the
// targets, worked out the way a one-loop run does.
QByteArray expectedLine(const QualifySettings &settings, const QByteArray &id, const LoopRecord &loop)
{
    CalcSettings c = settings.conditions;
    c.cableTypes = {loop.cable};
    c.sections = loop.sections;
    c.cableLengthFrom = c.cableLengthTo = loop.length;
    c.cableLengthStep = 10;
    QString error;
    const std::optional<SweepResult> table = runSweep(c, Samples, &error);
    const std::optional<CurveSet> set = CurveSet::load(c, Samples, &error);
    if (!table || !set)
        qFatal("one-loop run failed: %s", qPrintable(error));
    QualifyWriter writer(settings);
    QByteArray out = id + ';';
    for (int s = 0; s < c.lineTypes.size(); ++s) {
        const float rate = table->rows.first().rates.at(s);
        out += writer.rateText(rate) + ';';
        if (!settings.targets.isEmpty()) {
            const CurveSet::Curve &curve = set->curves().at(s);
            const MarginAtRate margin = marginAtRate(set->model(curve.model), curve.m, curve.elfextNorm,
                                                     curve.nextNorm, settings.targets.at(s), float(loop.length));
            out += marginText(margin).toUtf8() + ';' + QualifyWriter::verdictText(double(rate) >= settings.targets.at(s)) + ';';
        }
    }
    return out + ";\n";
}

QByteArray recordLine(const QByteArray &id, const QString &cable, int length, const QVector<CableSection> &sections)
{
    QByteArray line = id + ';' + cable.toUtf8() + ';' + QByteArray::number(length);
    QStringList parts;
    for (const CableSection &s : sections)
        parts << QStringLiteral("%1:%2").arg(s.cable).arg(s.length);
    if (!sections.isEmpty())
        line += ';' + parts.join(QLatin1Char('+')).toUtf8();
    return line;
}

// Random loops of the sample cables, a third with one or two sections; lengths on a 10 m grid so
// that they repeat, `groups` distinct section plans at most.
QVector<QByteArray> randomLoops(int count, quint32 seed, int groups)
{
    QRandomGenerator rng(seed);
    QVector<QVector<CableSection>> plans{{}};
    while (plans.size() < groups) {
        QVector<CableSection> plan;
        const int n = 1 + int(rng.bounded(2));
        for (int i = 0; i < n; ++i)
            plan << CableSection{Cables.at(int(rng.bounded(3))) , 100 + 50 * int(rng.bounded(40))};
        plans << plan;
    }
    QVector<QByteArray> lines;
    for (int i = 0; i < count; ++i) {
        const QVector<CableSection> &plan = rng.bounded(3) == 0 ? plans.at(int(rng.bounded(plans.size()))) : plans.first();
        const int total = int(CalcInput::sectionsTotal(plan));
        const int length = total + 10 * int(rng.bounded(600));
        lines << recordLine("L" + QByteArray::number(i), Cables.at(int(rng.bounded(Cables.size()))), length, plan);
    }
    return lines;
}

QByteArray file(const QVector<QByteArray> &lines)
{
    QByteArray out = "id;cable;length;sections\n";
    for (const QByteArray &line : lines)
        out += line + '\n';
    return out;
}

// The text as UTF-16 with its byte-order mark.
QByteArray utf16(const QByteArray &utf8, bool littleEndian)
{
    QByteArray out = littleEndian ? "\xff\xfe" : "\xfe\xff";
    for (const QChar c : QString::fromUtf8(utf8)) {
        const char16_t u = c.unicode();
        const char bytes[2] = {char(u >> 8), char(u & 0xff)};
        out += littleEndian ? bytes[1] : bytes[0];
        out += littleEndian ? bytes[0] : bytes[1];
    }
    return out;
}

// Blank lines of `bytes` bytes in all.
QByteArray blankLines(int bytes)
{
    QByteArray out;
    for (; bytes > 0; bytes -= 1000)
        out += QByteArray(std::min(bytes, 1000) - 1, ' ') + '\n';
    return out;
}

// Output lines by id, the header left out.
std::map<QByteArray, QByteArray> byId(const QByteArray &out)
{
    std::map<QByteArray, QByteArray> lines;
    const QList<QByteArray> all = out.split('\n');
    for (int i = 1; i < all.size(); ++i)
        if (!all.at(i).isEmpty())
            lines[all.at(i).left(all.at(i).indexOf(';'))] = all.at(i);
    return lines;
}

} // namespace

class tst_Qualify : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_workspace; // the samples plus templates the samples do not have

private slots:
    void initTestCase();
    void parseLoopLine_data();
    void parseLoopLine();
    void refusedLines_data();
    void refusedLines();
    void lossRecords_data();
    void lossRecords();
    void inputForms_data();
    void inputForms();
    void equalsOneLoopRuns();
    void orderAndThreadsDoNotMatter();
    void withoutTargets();
    void progressWithinAChunk();
    void formulaGuard_data();
    void formulaGuard();
    void badRowsAreReportedAndSkipped();
    void longAndInvalidLines();
    void templatesWithoutRowsWarnOnce();
    void cancelStopsTheRun();
    void sinkStopsTheRun();
    void badConditionsAreRefused_data();
    void badConditionsAreRefused();
    void writerTexts();
    void tableWritesTheSameBytes();
};

void tst_Qualify::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_workspace = m_dir.filePath(QStringLiteral("ws"));
    for (const QString &sub : {QStringLiteral("Cable"), QStringLiteral("xDSL"), QStringLiteral("AddNoise")}) {
        QVERIFY(QDir().mkpath(m_workspace + QLatin1Char('/') + sub));
        for (const QString &name : QDir(Samples + QLatin1Char('/') + sub).entryList(QDir::Files))
            QVERIFY(QFile::copy(Samples + QLatin1Char('/') + sub + QLatin1Char('/') + name,
                                m_workspace + QLatin1Char('/') + sub + QLatin1Char('/') + name));
    }
    QVERIFY(test::writeRows(m_workspace + QStringLiteral("/Cable/Empty.att"), {}));
    QVERIFY(test::writeRows(m_workspace + QStringLiteral("/Cable/NotANumber.att"),
                       {{100, 5}, {200, std::numeric_limits<double>::quiet_NaN()}}));
    const QByteArray cables = QFile::encodeName(m_workspace + QStringLiteral("/Cable/"));
    QVERIFY(::symlink((cables + "Loop.att").constData(), (cables + "Loop.att").constData()) == 0);
    QVERIFY(::mkfifo((cables + "Pipe.att").constData(), 0600) == 0);
}

void tst_Qualify::parseLoopLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QString>("cable");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("sections"); // as sectionsSummary writes them

    QTest::newRow("plain") << QByteArray("A-1;PE-0.40mm-26AWG;2500") << QByteArray("A-1")
                           << "PE-0.40mm-26AWG" << 2500 << "";
    QTest::newRow("zero length") << QByteArray("z;K;0") << QByteArray("z") << "K" << 0 << "";
    QTest::newRow("longest") << QByteArray("z;K;30000") << QByteArray("z") << "K" << 30000 << "";
    QTest::newRow("sections") << QByteArray("ЗР-01;K1;2000;T:1200+D:300") << QByteArray("ЗР-01") << "K1" << 2000
                              << "T 1200м + D 300м";
    QTest::newRow("sections as long as the loop") << QByteArray("x;K;1500;T:1200+D:300") << QByteArray("x") << "K"
                                                  << 1500 << "T 1200м + D 300м";
    QTest::newRow("cable name with a colon") << QByteArray("x;K;900;a:b:400") << QByteArray("x") << "K" << 900
                                             << "a:b 400м";
    QTest::newRow("id kept as written") << QByteArray("  id 7 ;K;10") << QByteArray("  id 7 ") << "K" << 10 << "";
    QTest::newRow("empty id") << QByteArray(";K;10") << QByteArray() << "K" << 10 << "";
    QTest::newRow("spaces around values") << QByteArray("x; K ; 120 ; T : 100 + D:10 ") << QByteArray("x") << "K"
                                          << 120 << "T 100м + D 10м";
    QTest::newRow("empty sections field") << QByteArray("x;K;120;") << QByteArray("x") << "K" << 120 << "";
    QTest::newRow("line ends with ;") << QByteArray("x;K;120;T:100;") << QByteArray("x") << "K" << 120
                                      << "T 100м";
    QTest::newRow("leading zeros") << QByteArray("x;K;0120") << QByteArray("x") << "K" << 120 << "";
    QTest::newRow("ten sections") << QByteArray("x;K;100;a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1")
                                  << QByteArray("x") << "K" << 100
                                  << "a 1м + a 1м + a 1м + a 1м + a 1м + a 1м + a 1м + a 1м + a 1м + a 1м";
}

void tst_Qualify::parseLoopLine()
{
    QFETCH(QByteArray, line);
    LoopRecord record;
    LoopProblem problem;
    QVERIFY2(::parseLoopLine(line, &record, &problem), qPrintable(problem.english));
    QTEST(record.id, "id");
    QTEST(record.cable, "cable");
    QTEST(record.length, "length");
    QTEST(CalcInput::sectionsSummary(record.sections), "sections");
}

void tst_Qualify::refusedLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QString>("english");

    const QString few = QStringLiteral("too few fields: a loop line is id;cable;length[;sections]");
    QTest::newRow("id only") << QByteArray("lonely") << QByteArray("lonely") << few;
    QTest::newRow("no length") << QByteArray("a;K") << QByteArray("a") << few;
    QTest::newRow("no length, trailing ;") << QByteArray("a;K;") << QByteArray("a") << few;
    QTest::newRow("five fields") << QByteArray("a;K;100;T:5;x") << QByteArray("a")
                                 << "too many fields: a loop line is id;cable;length[;sections]";
    QTest::newRow("no cable") << QByteArray("a; ;100") << QByteArray("a") << "no cable given";
    QTest::newRow("length not a number") << QByteArray("a;K;12o0") << QByteArray("a")
                                         << "length \"12o0\" is not a whole number of metres";
    QTest::newRow("length empty") << QByteArray("a;K;") + ";" << QByteArray("a")
                                  << "length \"\" is not a whole number of metres";
    QTest::newRow("fractional length") << QByteArray("a;K;120.5") << QByteArray("a")
                                       << "length \"120.5\" is not a whole number of metres";
    QTest::newRow("negative length") << QByteArray("a;K;-1") << QByteArray("a") << "length -1 m is outside 0..30000";
    QTest::newRow("too long") << QByteArray("a;K;30001") << QByteArray("a") << "length 30001 m is outside 0..30000";
    QTest::newRow("huge") << QByteArray("a;K;99999999999999999999") << QByteArray("a")
                          << "length 99999999999999999999 m is outside 0..30000";
    QTest::newRow("huge section") << QByteArray("a;K;100;T:99999999999999999999") << QByteArray("a")
                                  << "section \"T:99999999999999999999\": 99999999999999999999 is above 30000";
    QTest::newRow("section without length") << QByteArray("a;K;100;T") << QByteArray("a")
                                            << "sections: \"T\" is not CABLE:LENGTH";
    QTest::newRow("section without cable") << QByteArray("a;K;100;:50") << QByteArray("a")
                                           << "sections: \":50\" is not CABLE:LENGTH";
    QTest::newRow("empty section") << QByteArray("a;K;100;T:5+") << QByteArray("a")
                                   << "sections: \"\" is not CABLE:LENGTH";
    QTest::newRow("section length not a number") << QByteArray("a;K;100;T:x") << QByteArray("a")
                                                 << "section \"T:x\": \"x\" is not a whole number";
    QTest::newRow("section of 0 m") << QByteArray("a;K;100;T:0") << QByteArray("a")
                                    << "section \"T:0\": 0 is below 1";
    QTest::newRow("eleven sections") << QByteArray("a;K;100;a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1")
                                     << QByteArray("a") << "sections: 11 sections, at most 10";
    QTest::newRow("sections above 30000") << QByteArray("a;K;30000;T:20000+D:10001") << QByteArray("a")
                                          << "sections: the sections add up to 30001 m, above 30000 m";
    QTest::newRow("sections beyond the loop") << QByteArray("a;K;1000;T:800+D:201") << QByteArray("a")
                                              << "the sections add up to 1001 m, more than the loop's length of 1000 m";
    QTest::newRow("not UTF-8") << QByteArray("a\xff;K;100") << QByteArray("a\xef\xbf\xbd")
                               << "the line is not UTF-8 text";
    QTest::newRow("overlong UTF-8") << QByteArray("a;K\xc0\xaf;100") << QByteArray("a")
                                    << "the line is not UTF-8 text";
    QTest::newRow("cut UTF-8") << QByteArray("a;K;100\xd0") << QByteArray("a") << "the line is not UTF-8 text";
    QTest::newRow("NUL byte") << QByteArray("a;K\0;100", 8) << QByteArray("a")
                              << "the line holds a NUL byte: loop records are UTF-8 text, or UTF-16 with a byte-order mark";
    QTest::newRow("NUL in the id") << QByteArray("a\0b;K;100", 9) << QByteArray("a\xef\xbf\xbd" "b")
                                   << "the line holds a NUL byte: loop records are UTF-8 text, or UTF-16 with a byte-order mark";
    QTest::newRow("control character in the id") << QByteArray("a\x1b[31m;K;100") << QByteArray("a\xef\xbf\xbd[31m")
                                                 << "the id holds the control character U+001B";
    QTest::newRow("tab in the id") << QByteArray("a\tb;K;100") << QByteArray("a\xef\xbf\xbd" "b")
                                   << "the id holds the control character U+0009";
    // The first problem in field order is the one told.
    QTest::newRow("bad length and bad section") << QByteArray("a;K;x;T") << QByteArray("a")
                                                << "length \"x\" is not a whole number of metres";
}

void tst_Qualify::refusedLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, english);
    LoopRecord record;
    LoopProblem problem;
    QVERIFY(!::parseLoopLine(line, &record, &problem));
    QTEST(record.id, "id");
    QCOMPARE(problem.english, english);
    QVERIFY(!problem.russian.isEmpty());
    QVERIFY(problem.russian != problem.english);

    // The qualifier refuses the line with the same words, in input order with the others.
    const Run r = qualify(file({"ok1;PE-0.40mm-26AWG;100", line, "ok2;PE-0.40mm-26AWG;100"}));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.loops.size(), 3);
    QCOMPARE(r.loops.at(1).line, 3);
    QCOMPARE(r.problems.size(), 1);
    QCOMPARE(r.problems.first().english, english);
    QCOMPARE(r.problems.first().russian, problem.russian);
    const QList<QByteArray> out = r.out.split('\n');
    QCOMPARE(out.at(2), record.id + ";;;;;;;" + QualifyWriter::problemField(problem.russian) + ';');
    QVERIFY(out.at(1).startsWith("ok1;") && out.at(1).endsWith(";;"));
}

void tst_Qualify::lossRecords_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<int>("loss");     // tenths of a dB; -1 refused as it is read
    QTest::addColumn<QString>("refused"); // the reason's start; "" computed

    QTest::newRow("point") << QByteArray("a;PE-0.40mm-26AWG;31.5dB") << 300 << 315 << "";
    QTest::newRow("comma, a section") << QByteArray("a;PE-0.40mm-26AWG;31,5dB;PE-0.64mm-22AWG:700") << 196 << 315 << "";
    QTest::newRow("whole, blank before the unit") << QByteArray("a;PE-thin-0.32mm; 40 db ") << 1104 << 400 << "";
    QTest::newRow("below the section's own") << QByteArray("a;PE-0.40mm-26AWG;2dB;PE-0.50mm-24AWG:300") << 300 << 20
                                             << "No loop has a loss of 2 dB: the sections alone lose";
    QTest::newRow("beyond the longest loop") << QByteArray("a;PE-0.64mm-22AWG;150dB") << 30 << 1500
                                             << "No loop has a loss of 150 dB: it would be";
    QTest::newRow("two decimals") << QByteArray("a;K;2.55dB") << 300 << -1
                                  << "loss \"2.55dB\" is not a number of dB with at most one decimal";
    QTest::newRow("negative") << QByteArray("a;K;-1dB") << 300 << -1 << "loss \"-1dB\" is not";
    QTest::newRow("unit alone") << QByteArray("a;K;dB") << 300 << -1 << "loss \"dB\" is not";
    QTest::newRow("above 150 dB") << QByteArray("a;K;150.1dB") << 300 << -1 << "loss 150.1 dB is outside 0..150 dB";
}

// A loop given by its loss is the loop of the length its own cables give it, per the reference.
void tst_Qualify::lossRecords()
{
    QFETCH(QByteArray, line);
    QFETCH(int, frequency);
    QFETCH(int, loss);
    QFETCH(QString, refused);
    LoopRecord record;
    LoopProblem problem;
    QCOMPARE(::parseLoopLine(line, &record, &problem), loss >= 0);
    QualifySettings s = services();
    s.conditions.lossFrequency = frequency;
    const Run r = qualify(file({line}), s);
    QVERIFY2(r.ok, qPrintable(r.error));
    if (!refused.isEmpty()) {
        QVERIFY2(r.problems.value(0).english.startsWith(refused), qPrintable(r.problems.value(0).english));
        return;
    }
    QCOMPARE(record.loss, loss);
    CableTemplate cable;
    QVERIFY(loadCableTemplate(Samples, record.cable, cable, nullptr));
    QVector<reference::Section> sections;
    for (const CableSection &section : std::as_const(record.sections)) {
        sections << reference::Section{{}, section.length};
        QVERIFY(loadCableTemplate(Samples, section.cable, sections.last().cable, nullptr));
    }
    const std::optional<int> length = reference::loopLength(cable, sections, frequency, loss / 10.0);
    QVERIFY(length);
    QCOMPARE(r.loops.first().loss, loss);
    QCOMPARE(r.loops.first().length, *length);
    record.length = *length;
    QCOMPARE(r.out.split('\n').at(1) + '\n', expectedLine(s, record.id, record));
}

void tst_Qualify::inputForms_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArrayList>("ids"); // of the computed loops, in order
    QTest::addColumn<int>("lastLine");       // the last loop's line number

    const QByteArray a = "a;PE-0.40mm-26AWG;1200";
    const QByteArray b = "b;PE-0.50mm-24AWG;3400;PE-0.64mm-22AWG:1000";
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{} << 0;
    QTest::newRow("header only") << QByteArray("id;cable;length\n") << QByteArrayList{} << 0;
    QTest::newRow("header without line end") << QByteArray("id;cable;length") << QByteArrayList{} << 0;
    QTest::newRow("a loop-like header is still the header") << QByteArray(a + '\n' + b + '\n') << QByteArrayList{"b"} << 2;
    QTest::newRow("LF") << QByteArray("h\n" + a + '\n' + b + '\n') << QByteArrayList{"a", "b"} << 3;
    QTest::newRow("CRLF") << QByteArray("h\r\n" + a + "\r\n" + b + "\r\n") << QByteArrayList{"a", "b"} << 3;
    QTest::newRow("CR") << QByteArray("h\r" + a + '\r' + b + '\r') << QByteArrayList{"a", "b"} << 3;
    QTest::newRow("CR, LF and CRLF mixed") << QByteArray("h\r" + a + "\r\n\r" + b) << QByteArrayList{"a", "b"} << 4;
    QTest::newRow("no line end at the end") << QByteArray("h\n" + a + '\n' + b) << QByteArrayList{"a", "b"} << 3;
    QTest::newRow("byte-order mark") << QByteArray("\xef\xbb\xbfh\n" + a + '\n') << QByteArrayList{"a"} << 2;
    QTest::newRow("byte-order mark and CRLF, header only") << QByteArray("\xef\xbb\xbfid;cable;length\r\n")
                                                          << QByteArrayList{} << 0;
    QTest::newRow("blank lines") << QByteArray("h\n\n" + a + "\n\r\n  \t \n" + b + "\n\n") << QByteArrayList{"a", "b"} << 6;
    QTest::newRow("UTF-16, little-endian") << utf16("h\r\n" + a + "\r\n" + b + "\r\n", true) << QByteArrayList{"a", "b"} << 3;
    QTest::newRow("UTF-16, big-endian, CR") << utf16("h\r" + a + '\r' + b, false) << QByteArrayList{"a", "b"} << 3;
    // The reader takes 1 MiB at a time: a CR LF and a UTF-16 surrogate pair across that border.
    const int block = 1 << 20;
    const QByteArray blanks = blankLines(block - 3 - a.size());
    const int after = blanks.count('\n') + 3;
    QTest::newRow("CR LF across blocks") << QByteArray("h\n" + blanks + a + "\r\n" + b) << QByteArrayList{"a", "b"} << after;
    const QByteArray half = blankLines(block / 2 - 4);
    const QByteArray wide = utf16("h\n" + half + "\xf0\x9d\x84\x9e" + b, true);
    QTest::newRow("surrogate pair across blocks") << wide << QByteArrayList{"\xf0\x9d\x84\x9e" "b"}
                                                  << half.count('\n') + 2;
}

void tst_Qualify::inputForms()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArrayList, ids);
    const QualifySettings settings = services();
    const Run r = qualify(input, settings);
    QVERIFY2(r.ok, qPrintable(r.error));
    QTEST(int(r.loops.isEmpty() ? 0 : r.loops.last().line), "lastLine");
    QByteArray expected = QualifyWriter(settings).header();
    for (const QByteArray &id : ids) {
        LoopRecord record;
        QVERIFY(::parseLoopLine(id == "a" ? "a;PE-0.40mm-26AWG;1200" : "b;PE-0.50mm-24AWG;3400;PE-0.64mm-22AWG:1000",
                                &record, nullptr));
        record.id = id;
        expected += expectedLine(settings, id, record);
    }
    QCOMPARE(r.out, expected);
    QVERIFY(r.problems.isEmpty());
}

void tst_Qualify::equalsOneLoopRuns()
{
    const QualifySettings settings = services();
    const QVector<QByteArray> lines = randomLoops(120, 21, 12);
    const Run r = qualify(file(lines), settings, QualifyOptions{2, nullptr, {}, 50});
    QVERIFY2(r.ok, qPrintable(r.error));
    const QList<QByteArray> out = r.out.split('\n');
    QCOMPARE(out.size(), lines.size() + 2);
    for (int i = 0; i < lines.size(); ++i) {
        LoopRecord record;
        QVERIFY(::parseLoopLine(lines.at(i), &record, nullptr));
        QCOMPARE(out.at(i + 1) + '\n', expectedLine(settings, record.id, record));
    }
}

void tst_Qualify::orderAndThreadsDoNotMatter()
{
    // More groups than are kept between chunks, small chunks, lengths that repeat.
    const QualifySettings settings = services();
    QVector<QByteArray> lines = randomLoops(6000, 7, 90);
    const Run one = qualify(file(lines), settings, QualifyOptions{1, nullptr, {}, 700, 10});
    const Run two = qualify(file(lines), settings, QualifyOptions{2, nullptr, {}, 1000, 20});
    QVERIFY2(one.ok && two.ok, qPrintable(one.error + two.error));
    QCOMPARE(one.loops.size(), lines.size());
    QVERIFY(one.problems.isEmpty());
    QCOMPARE(two.out, one.out);

    std::shuffle(lines.begin(), lines.end(), std::mt19937(5));
    const Run shuffled = qualify(file(lines), settings);
    QVERIFY2(shuffled.ok, qPrintable(shuffled.error));
    QCOMPARE(shuffled.out.split('\n').first(), one.out.split('\n').first());
    const auto a = byId(one.out);
    const auto b = byId(shuffled.out);
    QCOMPARE(a.size(), size_t(lines.size()));
    QVERIFY(a == b);
    // Input order kept: the shuffled run's lines follow the shuffled ids.
    const QList<QByteArray> out = shuffled.out.split('\n');
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY(out.at(i + 1).startsWith(lines.at(i).left(lines.at(i).indexOf(';') + 1)));

    // A sample against the one-loop runs.
    for (int i = 0; i < lines.size(); i += 400) {
        LoopRecord record;
        QVERIFY(::parseLoopLine(lines.at(i), &record, nullptr));
        QCOMPARE(out.at(i + 1) + '\n', expectedLine(settings, record.id, record));
    }
}

void tst_Qualify::withoutTargets()
{
    const QualifySettings settings = services(false);
    const QVector<QByteArray> lines = randomLoops(40, 3, 4);
    const Run r = qualify(file(lines), settings);
    QVERIFY2(r.ok, qPrintable(r.error));
    const QList<QByteArray> out = r.out.split('\n');
    QCOMPARE(out.first(), QByteArray("id;R,кбит/с ADSL2+_DS.DMT;R,кбит/с SHDSL_PAM16.PAM;Ошибка;"));
    for (int i = 0; i < lines.size(); ++i) {
        LoopRecord record;
        QVERIFY(::parseLoopLine(lines.at(i), &record, nullptr));
        QCOMPARE(out.at(i + 1) + '\n', expectedLine(settings, record.id, record));
    }
}

void tst_Qualify::progressWithinAChunk()
{
    // The whole file is one chunk; the progress moves before its end all the same.
    const QByteArray input = file(randomLoops(3000, 12, 30));
    QVector<qint64> seen;
    const Run r = qualify(input, services(), QualifyOptions{1, nullptr, [&](qint64 bytes) { seen << bytes; }});
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.chunks, 1);
    QVERIFY(seen.size() > 3);
    QVERIFY(seen.first() < input.size() / 2);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QCOMPARE(seen.last(), qint64(input.size()));
}

void tst_Qualify::formulaGuard_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("formula") << QByteArray("=HYPERLINK(\"x\")") << QByteArray("'=HYPERLINK(\"x\")");
    QTest::newRow("plus") << QByteArray("+A1") << QByteArray("'+A1");
    QTest::newRow("minus") << QByteArray("-1+2") << QByteArray("'-1+2");
    QTest::newRow("at") << QByteArray("@SUM(A1)") << QByteArray("'@SUM(A1)");
    QTest::newRow("negative number") << QByteArray("-12") << QByteArray("-12");
    QTest::newRow("signed decimal") << QByteArray("+0,5") << QByteArray("+0,5");
    QTest::newRow("sign alone") << QByteArray("-") << QByteArray("'-");
    QTest::newRow("inside") << QByteArray("a=b") << QByteArray("a=b");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_Qualify::formulaGuard()
{
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, written);
    const Run r = qualify(file({id + ";PE-0.40mm-26AWG;100", id + ";K;x"}), services(false));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.loops.first().id, id);
    const QList<QByteArray> out = r.out.split('\n');
    QVERIFY(out.at(1).startsWith(written + ';') && !out.at(1).startsWith(written + ";;"));
    QVERIFY(out.at(2).startsWith(written + ";;;"));
}

void tst_Qualify::badRowsAreReportedAndSkipped()
{
    const QByteArray input = "id;cable;length\n"
                             "good;PE-0.40mm-26AWG;900\n"
                             "nocable;PE-9.99mm;900\n"
                             "nosection;PE-0.40mm-26AWG;900;Trunk:300\n"
                             "path;../Cable/PE-0.40mm-26AWG;900\n"
                             "empty;Empty;900\n"
                             "nan;NotANumber;900\n"
                             "nansection;PE-0.40mm-26AWG;900;NotANumber:100\n"
                             "\n"
                             "short;PE-0.40mm-26AWG\n"
                             "good2;PE-0.40mm-26AWG;900\n"
                             "loop;Loop;900\n"
                             "pipe;PE-0.40mm-26AWG;900;Pipe:100\n"
                             "escape;PE-0.40mm-26AWG;900;PE\x1b[2J:100\n";
    const QualifySettings settings = services();
    const Run r = qualify(input, settings, {}, m_workspace);
    QVERIFY2(r.ok, qPrintable(r.error));
    QStringList refused;
    QList<qint64> lines;
    for (const QualifiedLoop &loop : r.loops)
        if (loop.problem >= 0)
            lines << loop.line;
    for (const LoopProblem &p : r.problems)
        refused << p.english;
    QCOMPARE(lines, (QList<qint64>{3, 4, 5, 7, 8, 10, 12, 13, 14}));
    const QString cable = QDir::toNativeSeparators(m_workspace + QStringLiteral("/Cable/"));
    QCOMPARE(refused.at(0), QStringLiteral("unknown cable \"PE-9.99mm\": there is no template %1PE-9.99mm.att").arg(cable));
    QCOMPARE(refused.at(1), QStringLiteral("unknown cable \"Trunk\": there is no template %1Trunk.att").arg(cable));
    QVERIFY2(refused.at(2).contains(QLatin1String("is not a template file name")), qPrintable(refused.at(2)));
    QVERIFY2(refused.at(3).startsWith(QLatin1String("Bad template ")) && refused.at(3).contains(QLatin1String("NotANumber.att")),
             qPrintable(refused.at(3)));
    QCOMPARE(refused.at(4), refused.at(3));
    QVERIFY(refused.at(5).startsWith(QLatin1String("too few fields")));
    // A template that is there but cannot be read says why, never that it is missing.
    QCOMPARE(refused.at(6), QStringLiteral("cable \"Loop\": cannot read %1Loop.att: Too many levels of symbolic links").arg(cable));
    QCOMPARE(refused.at(7), QStringLiteral("cable \"Pipe\": cannot read %1Pipe.att: a named pipe, not a regular file").arg(cable));
    // A control character in a name never reaches the output.
    QVERIFY(!r.out.contains('\x1b'));
    QVERIFY(r.problems.at(3).russian.startsWith(QStringLiteral("Неверный шаблон")));

    // The others are computed, an empty cable template at rate 0 with a warning.
    const QList<QByteArray> out = r.out.split('\n');
    LoopRecord good;
    QVERIFY(::parseLoopLine("good;PE-0.40mm-26AWG;900", &good, nullptr));
    QCOMPARE(out.at(1) + '\n', expectedLine(settings, "good", good));
    QCOMPARE(out.at(9) + '\n', expectedLine(settings, "good2", good));
    QVERIFY2(out.at(5).startsWith("empty;0;<-10.0;нет;0;<-10.0;нет;;"), out.at(5).constData());
    QCOMPARE(r.warnings, QStringList{QStringLiteral("Cable/Empty.att has no complete row; its rates are 0")});
}

void tst_Qualify::longAndInvalidLines()
{
    const QByteArray longLine = "long;" + QByteArray(70000, 'K') + ";100";
    QByteArray input = "h\n" + longLine + "\nok;PE-0.40mm-26AWG;100\nbad\xfe;PE-0.40mm-26AWG;100\r\nok2;PE-0.40mm-26AWG;100";
    const Run r = qualify(input);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.loops.size(), 4);
    QCOMPARE(r.problems.size(), 2);
    QCOMPARE(r.problems.at(0).english, QStringLiteral("the line is longer than 65536 bytes"));
    QCOMPARE(r.loops.at(0).id, QByteArray("long"));
    QCOMPARE(r.problems.at(1).english, QStringLiteral("the line is not UTF-8 text"));
    QCOMPARE(r.loops.at(2).id, QByteArray("bad\xef\xbf\xbd"));
    QCOMPARE(r.loops.at(3).line, 5);
    QVERIFY(r.loops.at(1).problem < 0 && r.loops.at(3).problem < 0);

    // A UTF-16 text broken by a lone surrogate refuses its line alone.
    const Run broken = qualify(utf16("h\nok;PE-0.40mm-26AWG;100\nZ;K;1\nx;K\n", true).replace(QByteArray("Z\0", 2), QByteArray("\0\xd8", 2)));
    QVERIFY(broken.ok);
    QCOMPARE(broken.loops.size(), 3);
    QCOMPARE(broken.problems.size(), 2);
    QCOMPARE(broken.problems.first().english, QStringLiteral("the line is not UTF-16 text"));
    QCOMPARE(broken.problems.last().english, QStringLiteral("too few fields: a loop line is id;cable;length[;sections]"));

    // A long line without a line end is refused too, the same way.
    const Run tail = qualify("h\n" + longLine);
    QVERIFY(tail.ok);
    QCOMPARE(tail.problems.size(), 1);
    QCOMPARE(tail.problems.first().english, QStringLiteral("the line is longer than 65536 bytes"));
}

void tst_Qualify::templatesWithoutRowsWarnOnce()
{
    const Run r = qualify("h\na;Empty;100\nb;Empty;200\nc;PE-0.40mm-26AWG;300;Empty:10\n", services(), {}, m_workspace);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(r.problems.isEmpty());
    QCOMPARE(r.warnings.size(), 1);
    for (const QByteArray &line : r.out.split('\n').mid(1, 3))
        QVERIFY2(line.contains(";0;<-10.0;нет;0;<-10.0;нет;;"), line.constData());
}

void tst_Qualify::cancelStopsTheRun()
{
    const QVector<QByteArray> lines = randomLoops(3000, 9, 30);
    std::atomic_bool cancel{false};
    int chunks = 0;
    QualifyOptions options{2, &cancel, {}, 500};
    const std::unique_ptr<PlantQualifier> q = PlantQualifier::create(services(), Samples, nullptr);
    QVERIFY(q);
    QBuffer buffer;
    buffer.setData(file(lines));
    buffer.open(QIODevice::ReadOnly);
    QString error;
    QVERIFY(!q->run(buffer, [&](const QualifyChunk &) { cancel = true; return ++chunks; }, &error, options));
    QCOMPARE(chunks, 1);
    QCOMPARE(error, QStringLiteral("The qualification was cancelled"));

    // Cancelled before it starts: nothing is handed over.
    chunks = 0;
    buffer.seek(0);
    QVERIFY(!q->run(buffer, [&](const QualifyChunk &) { ++chunks; return true; }, &error, options));
    QCOMPARE(chunks, 0);

    // The qualifier stays usable after a cancelled run, with the same answers.
    cancel = false;
    QBuffer some;
    some.setData(file(lines.mid(0, 50)));
    some.open(QIODevice::ReadOnly);
    QualifyWriter writer(services());
    QByteArray out = writer.header();
    QVERIFY(q->run(some, [&](const QualifyChunk &chunk) {
        for (qsizetype i = 0; i < chunk.loops.size(); ++i)
            writer.append(out, chunk.loops.at(i), chunk.results.constData() + 2 * i, nullptr);
        return true;
    }, &error));
    QCOMPARE(out, qualify(file(lines.mid(0, 50))).out);
}

void tst_Qualify::sinkStopsTheRun()
{
    const std::unique_ptr<PlantQualifier> q = PlantQualifier::create(services(), Samples, nullptr);
    QVERIFY(q);
    QBuffer buffer;
    buffer.setData(file(randomLoops(900, 4, 3)));
    buffer.open(QIODevice::ReadOnly);
    int chunks = 0;
    QString error = QStringLiteral("untouched");
    QVERIFY(!q->run(buffer, [&](const QualifyChunk &) { return ++chunks < 2; }, &error, QualifyOptions{1, nullptr, {}, 200}));
    QCOMPARE(chunks, 2);
    QCOMPARE(error, QStringLiteral("untouched"));
}

void tst_Qualify::badConditionsAreRefused_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QVector<int>>("loads");
    QTest::addColumn<QVector<int>>("targets");
    QTest::addColumn<QString>("error");

    const QStringList two{QStringLiteral("ADSL2+_DS.DMT"), QStringLiteral("SHDSL_PAM16.PAM")};
    QTest::newRow("no service") << QStringList() << QVector<int>{1} << QVector<int>{} << "line type: no value given";
    QTest::newRow("two loads") << two << QVector<int>{1, 2} << QVector<int>{} << "load: one value only, 2 given";
    QTest::newRow("one target for two") << two << QVector<int>{1} << QVector<int>{8000}
                                        << "target rates: 1 target rate(s) for 2 line type(s); give one per line type";
    QTest::newRow("target of 0") << two << QVector<int>{1} << QVector<int>{0, 5} << "target rates: 0 is below 1";
    QTest::newRow("missing line type") << QStringList{QStringLiteral("Nothing.DMT")} << QVector<int>{1}
                                       << QVector<int>{} << "Cannot read %1/xDSL/Nothing.DMT: No such file or directory";
}

void tst_Qualify::badConditionsAreRefused()
{
    QFETCH(QStringList, lines);
    QFETCH(QVector<int>, loads);
    QFETCH(QString, error);
    QualifySettings settings = services(false);
    settings.conditions.lineTypes = lines;
    settings.conditions.xDSL_points = loads;
    QFETCH(QVector<int>, targets);
    settings.targets = targets;
    QString why;
    QVERIFY(!PlantQualifier::create(settings, Samples, &why));
    QCOMPARE(why, error.contains(QLatin1String("%1")) ? error.arg(Samples) : error);
}

void tst_Qualify::writerTexts()
{
    QualifySettings settings = services();
    QualifyWriter writer(settings);
    QCOMPARE(writer.header(), QByteArray("id;R,кбит/с ADSL2+_DS.DMT;SNR Margin,дБ ADSL2+_DS.DMT;Годна ADSL2+_DS.DMT;"
                                         "R,кбит/с SHDSL_PAM16.PAM;SNR Margin,дБ SHDSL_PAM16.PAM;"
                                         "Годна SHDSL_PAM16.PAM;Ошибка;\n"));
    // Rates exactly as the table's CSV writes a float.
    for (float rate : {0.0f, 4.0f, 1024.0f, 27452.0f, 123456.0f, 1234567.0f, 2304.5f}) {
        QByteArray expected;
        QTextStream stream(&expected);
        stream << rate;
        stream.flush();
        QCOMPARE(writer.rateText(rate), expected);
    }
    QCOMPARE(writer.marginField({MarginAtRate::Value, -3}), QByteArray("-0.3"));
    QCOMPARE(writer.marginField({MarginAtRate::Above, 0}), QByteArray(">30.0"));
    QVERIFY(writer.qualifies(0, 8000) && !writer.qualifies(0, 7996) && writer.qualifies(1, 1024));
    // The reason field never breaks the line into fields or lines.
    QCOMPARE(QualifyWriter::problemField(QStringLiteral("a;b\nc\r")), QByteArray("a,b c "));
}

void tst_Qualify::tableWritesTheSameBytes()
{
    const QualifySettings settings = services();
    QVector<QByteArray> lines = randomLoops(700, 11, 5);
    lines << "bad;PE-0.40mm-26AWG;-5" << "=1+1;PE-0.40mm-26AWG;-5" << "bad3;PE-0.40mm-26AWG;-5";
    const QByteArray input = file(lines);
    const std::unique_ptr<PlantQualifier> q = PlantQualifier::create(settings, Samples, nullptr);
    QVERIFY(q);
    QBuffer in;
    in.setData(input);
    in.open(QIODevice::ReadOnly);
    QualifyTable table(settings);
    QString error;
    QVERIFY(q->run(in, [&](const QualifyChunk &chunk) { table.append(chunk); return true; }, &error,
                   QualifyOptions{2, nullptr, {}, 128}));
    table.finish();
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(writeQualifyTable(out, table));
    QCOMPARE(out.data(), qualify(input, settings).out);
    QCOMPARE(table.loops(), 703);
    QCOMPARE(table.refused(), 3);
    // One reason, kept once.
    QCOMPARE(table.problemIndex(702), 0);
    QCOMPARE(table.id(701), QByteArray("=1+1"));
    QCOMPARE(table.problem(701), QStringLiteral("длина -5 м вне диапазона 0..30000"));
    QCOMPARE(table.planIndex(701), -1);

    // Each loop's cable, length and sections as its line gave them.
    const QList<QByteArray> written = out.data().split('\n');
    qint64 adsl = 0;
    for (int i = 0; i < 700; ++i) {
        LoopRecord record;
        QVERIFY(::parseLoopLine(lines.at(i), &record, nullptr));
        const LoopPlan &plan = table.plan(table.planIndex(i));
        QCOMPARE(plan.cable, record.cable);
        QCOMPARE(plan.sections, record.sections);
        QCOMPARE(table.length(i), record.length);
        const QList<QByteArray> fields = written.at(i + 1).split(';');
        adsl += fields.at(3) == "да" ? 1 : 0;
        QCOMPARE(table.fails(i), fields.at(3) == "нет" || fields.at(6) == "нет");
    }
    QCOMPARE(table.qualified(0), adsl);
    QVERIFY(adsl > 0 && adsl < 700);
    QVERIFY(table.fails(700));
}

QTEST_GUILESS_MAIN(tst_Qualify)
#include "tst_qualify.moc"
