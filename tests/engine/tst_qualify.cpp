#include "engine/calcinput.h"
#include "engine/curveset.h"
#include "engine/messages.h"
#include "engine/qualify.h"
#include "engine/reach.h"
#include "engine/sweep.h"
#include "engine/templatefile.h"
#include "engine/workspace.h"

#include "templatefiles.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

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
    void inputForms_data();
    void inputForms();
    void equalsOneLoopRuns();
    void orderAndThreadsDoNotMatter();
    void withoutTargets();
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
                                  << "section \"T:99999999999999999999\": length 99999999999999999999 m is outside 1..30000";
    QTest::newRow("section without length") << QByteArray("a;K;100;T") << QByteArray("a")
                                            << "section \"T\" is not CABLE:LENGTH";
    QTest::newRow("section without cable") << QByteArray("a;K;100;:50") << QByteArray("a")
                                           << "section \":50\" is not CABLE:LENGTH";
    QTest::newRow("empty section") << QByteArray("a;K;100;T:5+") << QByteArray("a")
                                   << "section \"\" is not CABLE:LENGTH";
    QTest::newRow("section length not a number") << QByteArray("a;K;100;T:x") << QByteArray("a")
                                                 << "section \"T:x\": the length is not a whole number of metres";
    QTest::newRow("section of 0 m") << QByteArray("a;K;100;T:0") << QByteArray("a")
                                    << "section \"T:0\": length 0 m is outside 1..30000";
    QTest::newRow("eleven sections") << QByteArray("a;K;100;a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1+a:1")
                                     << QByteArray("a") << "11 sections, at most 10";
    QTest::newRow("sections above 30000") << QByteArray("a;K;30000;T:20000+D:10001") << QByteArray("a")
                                          << "the sections add up to 30001 m, above 30000 m";
    QTest::newRow("sections beyond the loop") << QByteArray("a;K;1000;T:800+D:201") << QByteArray("a")
                                              << "the sections add up to 1001 m, more than the loop's length of 1000 m";
    QTest::newRow("not UTF-8") << QByteArray("a\xff;K;100") << QByteArray("a\xef\xbf\xbd")
                               << "the line is not UTF-8 text";
    QTest::newRow("overlong UTF-8") << QByteArray("a;K\xc0\xaf;100") << QByteArray("a")
                                    << "the line is not UTF-8 text";
    QTest::newRow("cut UTF-8") << QByteArray("a;K;100\xd0") << QByteArray("a") << "the line is not UTF-8 text";
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
    QCOMPARE(out.at(2), record.id + ";;;;;;;" + QualifyWriter::problemField(problem) + ';');
    QVERIFY(out.at(1).startsWith("ok1;") && out.at(1).endsWith(";;"));
}

void tst_Qualify::inputForms_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArrayList>("ids"); // of the computed loops, in order

    const QByteArray a = "a;PE-0.40mm-26AWG;1200";
    const QByteArray b = "b;PE-0.50mm-24AWG;3400;PE-0.64mm-22AWG:1000";
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{};
    QTest::newRow("header only") << QByteArray("id;cable;length\n") << QByteArrayList{};
    QTest::newRow("header without line end") << QByteArray("id;cable;length") << QByteArrayList{};
    QTest::newRow("a loop-like header is still the header") << QByteArray(a + '\n' + b + '\n') << QByteArrayList{"b"};
    QTest::newRow("LF") << QByteArray("h\n" + a + '\n' + b + '\n') << QByteArrayList{"a", "b"};
    QTest::newRow("CRLF") << QByteArray("h\r\n" + a + "\r\n" + b + "\r\n") << QByteArrayList{"a", "b"};
    QTest::newRow("no line end at the end") << QByteArray("h\n" + a + '\n' + b) << QByteArrayList{"a", "b"};
    QTest::newRow("byte-order mark") << QByteArray("\xef\xbb\xbfh\n" + a + '\n') << QByteArrayList{"a"};
    QTest::newRow("byte-order mark and CRLF, header only") << QByteArray("\xef\xbb\xbfid;cable;length\r\n")
                                                          << QByteArrayList{};
    QTest::newRow("blank lines") << QByteArray("h\n\n" + a + "\n\r\n  \t \n" + b + "\n\n") << QByteArrayList{"a", "b"};
}

void tst_Qualify::inputForms()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArrayList, ids);
    const QualifySettings settings = services();
    const Run r = qualify(input, settings);
    QVERIFY2(r.ok, qPrintable(r.error));
    QByteArray expected = QualifyWriter(settings).header();
    for (const QByteArray &id : ids) {
        LoopRecord record;
        QVERIFY(::parseLoopLine(id == "a" ? "a;PE-0.40mm-26AWG;1200" : "b;PE-0.50mm-24AWG;3400;PE-0.64mm-22AWG:1000",
                                &record, nullptr));
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
                             "good2;PE-0.40mm-26AWG;900\n";
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
    QCOMPARE(lines, (QList<qint64>{3, 4, 5, 7, 8, 10}));
    const QString cable = QDir::toNativeSeparators(m_workspace + QStringLiteral("/Cable/"));
    QCOMPARE(refused.at(0), QStringLiteral("unknown cable \"PE-9.99mm\": there is no template %1PE-9.99mm.att").arg(cable));
    QCOMPARE(refused.at(1), QStringLiteral("unknown cable \"Trunk\": there is no template %1Trunk.att").arg(cable));
    QVERIFY2(refused.at(2).contains(QLatin1String("is not a template file name")), qPrintable(refused.at(2)));
    QVERIFY2(refused.at(3).startsWith(QLatin1String("Bad template ")) && refused.at(3).contains(QLatin1String("NotANumber.att")),
             qPrintable(refused.at(3)));
    QCOMPARE(refused.at(4), refused.at(3));
    QVERIFY(refused.at(5).startsWith(QLatin1String("too few fields")));
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
    QualifyOptions options{2, &cancel, [&](qint64) { cancel = true; }, 500};
    const std::unique_ptr<PlantQualifier> q = PlantQualifier::create(services(), Samples, nullptr);
    QVERIFY(q);
    QBuffer buffer;
    buffer.setData(file(lines));
    buffer.open(QIODevice::ReadOnly);
    QString error;
    QVERIFY(!q->run(buffer, [&](const QualifyChunk &) { ++chunks; return true; }, &error, options));
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
    QCOMPARE(QualifyWriter::problemField({QStringLiteral("x"), QStringLiteral("a;b\nc\r")}), QByteArray("a,b c "));
}

void tst_Qualify::tableWritesTheSameBytes()
{
    const QualifySettings settings = services();
    QByteArray input = file(randomLoops(700, 11, 5));
    input += "bad;PE-0.40mm-26AWG;-5\n";
    const std::unique_ptr<PlantQualifier> q = PlantQualifier::create(settings, Samples, nullptr);
    QVERIFY(q);
    QBuffer in;
    in.setData(input);
    in.open(QIODevice::ReadOnly);
    QualifyTable table;
    table.settings = settings;
    QString error;
    QVERIFY(q->run(in, [&](const QualifyChunk &chunk) { table.append(chunk); return true; }, &error,
                   QualifyOptions{2, nullptr, {}, 128}));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(writeQualifyTable(out, table));
    QCOMPARE(out.data(), qualify(input, settings).out);
    QCOMPARE(table.refused(), 1);
    QCOMPARE(table.loops.last().problem, 0);
    qint64 adsl = 0;
    for (const QByteArray &line : out.data().split('\n').mid(1))
        adsl += line.split(';').value(3) == "да" ? 1 : 0;
    QCOMPARE(table.qualified(0), adsl);
    QVERIFY(adsl > 0 && adsl < 700);
}

QTEST_GUILESS_MAIN(tst_Qualify)
#include "tst_qualify.moc"
