#include "engine/lineratemodel.h"
#include "engine/messages.h"
#include "engine/sweep.h"
#include "engine/templatefile.h"

#include "ordinaryuser.h"
#include "templatefiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

Q_DECLARE_METATYPE(CalcSettings)

namespace {

using Rows = QVector<QVector<double>>;

const Rows cableRows{{1, 1.83}, {100, 10.77}, {1104, 26.75}, {2208, 38.62}, {30000, 149.88}};
const Rows thinCableRows{{1, 2.32}, {100, 15.78}, {1104, 34.16}, {2208, 48.85}, {30000, 188.83}};
const Rows adslRows{{25.875, -40, 0, -140}, {138, -40, 15, -140}, {1104, -40, 15, -140}};
const Rows shdslRows{{3, 13.5, 192, 2304, -140}};
const Rows noiseRows{{1, -140}, {30000, -140}};

CalcSettings baseSettings()
{
    CalcSettings s;
    s.cableTypes << QStringLiteral("K1");
    s.lineTypes << QStringLiteral("ADSL.DMT");
    s.noiseTemplate = QStringLiteral("white");
    s.xDSL_points << 1;
    s.cableCapacity = 4;
    s.Norm_ELFEXT_points << 40;
    s.Norm_NEXT_points << 50;
    s.norm_ELFEXT_frequency = 300;
    s.norm_NEXT_frequency = 300;
    s.SNRMargin_points << 0;
    s.cableLengthFrom = 1000;
    s.cableLengthTo = 10000;
    s.cableLengthStep = 1000;
    return s;
}

} // namespace

class tst_Sweep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void family_data();
    void family();
    void familyCurvesUseTheirOwnValues();
    void sectionsReachEveryCurve_data();
    void sectionsReachEveryCurve();
    void sectionsRefused_data();
    void sectionsRefused();
    void lengths_data();
    void lengths();
    void progress_data();
    void progress();
    void refused_data();
    void refused();
    void noNoiseTemplateAddsNoNoise();
    void hugeBandFinishes();
    void cancelStopsALongRun_data();
    void cancelStopsALongRun();
    void templatesWithoutRowsWarn_data();
    void templatesWithoutRowsWarn();
    void messagesInRussian();
    void unreadableWorkspaceSaysPermissionDenied();

private:
    QTemporaryDir m_dir;
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
};

void tst_Sweep::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(test::writeRows(path("Cable/K1.att"), cableRows));
    QVERIFY(test::writeRows(path("Cable/K2.att"), thinCableRows));
    QVERIFY(test::writeRows(path("Cable/empty.att"), {}));
    QVERIFY(test::writeRows(path("xDSL/ADSL.DMT"), adslRows));
    QVERIFY(test::writeRows(path("xDSL/SHDSL.PAM"), shdslRows));
    QVERIFY(test::writeRows(path("xDSL/k0.PAM"), {{0.9, 13.5, 192, 2304, -140}}));
    QVERIFY(test::writeRows(path("xDSL/norange.PAM"), {{3, 13.5, 2304, 192, -140}}));
    QVERIFY(test::writeRows(path("AddNoise/white.add"), noiseRows));
    const double inf = std::numeric_limits<double>::infinity();
    QVERIFY(test::writeRows(path("xDSL/infinite.DMT"), {adslRows[0], {138, -40, inf, -140}}));
    QVERIFY(test::writeRows(path("xDSL/far.DMT"), {adslRows[0], {2e6, -40, 15, -140}}));
    QVERIFY(test::writeRows(path("xDSL/fast.PAM"), {{3, 13.5, 192, 200000, -140}}));
    QVERIFY(test::writeRows(path("xDSL/nanK.PAM"), {{std::nan(""), 13.5, 192, 2304, -140}}));
    QVERIFY(test::writeRows(path("xDSL/infK.PAM"), {{-inf, 13.5, 192, 2304, -140}}));
    QVERIFY(test::writeRows(path("Cable/nan.att"), {{1, 1}, {2, std::nan("")}}));
    QVERIFY(test::writeRows(path("AddNoise/inf.add"), {{-inf, -140}}));
    QVERIFY(test::writeRows(path("xDSL/wide.DMT"), {{-999999, -40, 1, -140}, {999999, -40, 1, -140}}));
    QVERIFY(test::writeRows(path("xDSL/negativeKmax.DMT"), {adslRows[0], {138, -40, -2, -140}, adslRows[2]}));
    QVERIFY(test::writeRows(path("Cable/a%1b.att"), {{1, 1}, {2, std::nan("")}}));
    // The search for a PAM rate goes through every candidate at every length when some
    // attenuation is negative: seconds per length with K = 1 and the highest rate allowed.
    QVERIFY(test::writeRows(path("Cable/negative.att"), {{1, 1.8}, {100, -0.5}, {30000, 150}}));
    QVERIFY(test::writeRows(path("xDSL/slow.PAM"), {{1, 13.5, 192, 100000, -140}}));
    // Templates the model can take nothing from.
    QVERIFY(test::writeRows(path("Cable/incomplete.att"), {{1}, {2}}));
    QVERIFY(test::writeRows(path("xDSL/one.DMT"), {adslRows[1]}));
    QVERIFY(test::writeRows(path("xDSL/lower.dmt"), adslRows));
    QVERIFY(test::writeRows(path("AddNoise/silent.add"), {}));
}

void tst_Sweep::family_data()
{
    QTest::addColumn<CalcSettings>("settings");
    QTest::addColumn<QStringList>("labels");

    CalcSettings s = baseSettings();
    QTest::newRow("single curve") << s << QStringList{"R,кбит/с\nm=1"};

    s = baseSettings();
    s.lineTypes = QStringList{"ADSL.DMT", "SHDSL.PAM"};
    s.SNRMargin_points = {0, 3, 6};
    QTest::newRow("line types before margins")
        << s << QStringList{"R,кбит/с\nADSL.DMT", "R,кбит/с\nSHDSL.PAM"};

    s = baseSettings();
    s.cableTypes = QStringList{"K1", "K2"};
    s.xDSL_points = {1, 4};
    QTest::newRow("cables before loads")
        << s << QStringList{"R,кбит/с\nкабель K1", "R,кбит/с\nкабель K2"};

    s = baseSettings();
    s.xDSL_points = {1, 2, 5};
    s.Norm_ELFEXT_points = {20, 30};
    QTest::newRow("loads before norms")
        << s << QStringList{"R,кбит/с\nm=1", "R,кбит/с\nm=2", "R,кбит/с\nm=5"};

    s = baseSettings();
    s.xDSL_points = {4};
    s.Norm_ELFEXT_points = {20, 30.5};
    s.Norm_NEXT_points = {20, 30};
    QTest::newRow("ELFEXT before NEXT")
        << s << QStringList{"R,кбит/с\nELFEXT=20дБ", "R,кбит/с\nELFEXT=30.5дБ"};

    s = baseSettings();
    s.lineTypes = QStringList{"SHDSL.PAM"};
    s.xDSL_points = {4};
    s.Norm_NEXT_points = {40, 60};
    s.SNRMargin_points = {0, 6};
    QTest::newRow("NEXT before margins")
        << s << QStringList{"R,кбит/с\nNEXT=40дБ", "R,кбит/с\nNEXT=60дБ"};

    s = baseSettings();
    s.SNRMargin_points = {0, 3, 12};
    QTest::newRow("margins")
        << s << QStringList{"R,кбит/с\nSNR Margin=0дБ", "R,кбит/с\nSNR Margin=3дБ",
                            "R,кбит/с\nSNR Margin=12дБ"};
}

void tst_Sweep::family()
{
    QFETCH(CalcSettings, settings);
    QFETCH(QStringList, labels);
    QString error;
    const std::optional<SweepResult> result = runSweep(settings, m_dir.path(), &error);
    QVERIFY2(result, qPrintable(error));
    QCOMPARE(result->labels, labels);
    QCOMPARE(result->rows.size(), 10);
    float largest = 0;
    for (const ResultRow &row : result->rows) {
        QCOMPARE(row.rates.size(), labels.size());
        for (float r : row.rates)
            largest = std::max(largest, r);
    }
    QVERIFY(largest > 0);
    QCOMPARE(result->maxRate, int(largest));
}

void tst_Sweep::familyCurvesUseTheirOwnValues()
{
    // Each curve must match its own model with the first value of every other parameter.
    CalcSettings s = baseSettings();
    s.lineTypes = QStringList{"ADSL.DMT", "SHDSL.PAM"};
    s.SNRMargin_points = {3, 9};
    s.xDSL_points = {4};
    const std::optional<SweepResult> result = runSweep(s, m_dir.path(), nullptr);
    QVERIFY(result);

    CableTemplate cable;
    NoiseTemplate noise;
    LineTypeTemplate dmt, pam;
    QVERIFY(readTwoColumnTemplate(path("Cable/K1.att"), cable));
    QVERIFY(readTwoColumnTemplate(path("AddNoise/white.add"), noise));
    QVERIFY(readDmtTemplate(path("xDSL/ADSL.DMT"), dmt));
    QVERIFY(readPamTemplate(path("xDSL/SHDSL.PAM"), pam));
    const LineRateModel dmtModel(cable, dmt, noise, 300, 300);
    const LineRateModel pamModel(cable, pam, noise, 300, 300);
    bool pamNonZero = false;
    for (const ResultRow &row : result->rows) {
        QCOMPARE(row.rates[0], dmtModel.rate(4, 40, 50, 3, row.length));
        QCOMPARE(row.rates[1], pamModel.rate(4, 40, 50, 3, row.length));
        pamNonZero = pamNonZero || row.rates[1] > 0;
    }
    QVERIFY(pamNonZero);
    QVERIFY(result->rows[0].rates[0] != result->rows[0].rates[1]);
}

void tst_Sweep::sectionsReachEveryCurve_data()
{
    QTest::addColumn<CalcSettings>("settings");
    QTest::addColumn<int>("models"); // 1: one model for every curve; 2: a cable or line type per curve

    CalcSettings s = baseSettings();
    s.sections = {{QStringLiteral("K2"), 700}};
    QTest::newRow("DMT, one section") << s << 1;
    s.lineTypes = QStringList{"SHDSL.PAM"};
    s.sections = {{QStringLiteral("K2"), 400}, {QStringLiteral("K1"), 600}};
    QTest::newRow("PAM, two sections") << s << 1;
    s = baseSettings();
    s.cableTypes = QStringList{"K1", "K2"};
    s.sections = {{QStringLiteral("K2"), 1000}};
    QTest::newRow("family of cables behind a section") << s << 2;
    s = baseSettings();
    s.lineTypes = QStringList{"ADSL.DMT", "SHDSL.PAM"};
    s.sections = {{QStringLiteral("K2"), 250}};
    QTest::newRow("family of line types behind a section") << s << 2;
    s = baseSettings();
    s.xDSL_points = {2, 8};
    s.sections = {{QStringLiteral("K2"), 1000}};
    s.cableLengthTo = 30000;
    QTest::newRow("loads, the whole range") << s << 1;
}

void tst_Sweep::sectionsReachEveryCurve()
{
    // Each curve equals its own model built with the loop's sections, at the total length.
    QFETCH(CalcSettings, settings);
    QFETCH(int, models);
    QString error;
    const std::optional<SweepResult> result = runSweep(settings, m_dir.path(), &error);
    QVERIFY2(result, qPrintable(error));
    NoiseTemplate noise;
    QVERIFY(readTwoColumnTemplate(path("AddNoise/white.add"), noise));
    QVector<LoopSection> sections;
    for (const CableSection &section : settings.sections) {
        LoopSection loop;
        loop.length = section.length;
        QVERIFY(readTwoColumnTemplate(path("Cable/" + section.cable + ".att"), loop.cable));
        sections << loop;
    }
    const int curves = result->labels.size();
    bool differs = false;
    for (int j = 0; j < curves; ++j) {
        const bool cables = models > 1 && settings.cableTypes.size() > 1;
        const bool lines = models > 1 && settings.lineTypes.size() > 1;
        CableTemplate cable;
        QVERIFY(readTwoColumnTemplate(path("Cable/" + settings.cableTypes.value(cables ? j : 0) + ".att"), cable));
        const QString lineName = settings.lineTypes.value(lines ? j : 0);
        LineTypeTemplate line;
        QVERIFY(lineName.contains(".DMT") ? readDmtTemplate(path("xDSL/" + lineName), line)
                                          : readPamTemplate(path("xDSL/" + lineName), line));
        const LineRateModel model(cable, line, noise, 300, 300, sections);
        const LineRateModel plain(cable, line, noise, 300, 300);
        const int m = settings.xDSL_points.value(models > 1 ? 0 : j, settings.xDSL_points.first());
        for (const ResultRow &row : result->rows) {
            const float expected = model.rate(m, 40, 50, 0, row.length);
            QCOMPARE(row.rates.at(j), expected);
            differs = differs || expected != plain.rate(m, 40, 50, 0, row.length);
        }
    }
    QVERIFY2(differs, "the sections changed nothing");
}

void tst_Sweep::sectionsRefused_data()
{
    QTest::addColumn<CalcSettings>("settings");
    QTest::addColumn<QString>("mentions");
    CalcSettings s = baseSettings();
    s.sections = {{QStringLiteral("K2"), 800}, {QStringLiteral("K1"), 201}};
    QTest::newRow("first length inside the loop's fixed part") << s << "1001 m";
    s.sections = {{QStringLiteral("missing"), 100}};
    QTest::newRow("missing section cable") << s << "missing.att";
    s.sections = {{QStringLiteral("../K1"), 100}};
    QTest::newRow("section name leaving the directory") << s << "../K1";
}

void tst_Sweep::sectionsRefused()
{
    QFETCH(CalcSettings, settings);
    QFETCH(QString, mentions);
    QString error;
    QVERIFY(!runSweep(settings, m_dir.path(), &error));
    QVERIFY2(error.contains(mentions), qPrintable(error));
}

void tst_Sweep::lengths_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<float>("last");
    QTest::newRow("to is a point") << 1000 << 10000 << 1000 << 10 << 10000.0f;
    QTest::newRow("to between points") << 1000 << 9500 << 1000 << 9 << 9000.0f;
    QTest::newRow("one point") << 500 << 500 << 10 << 1 << 500.0f;
    QTest::newRow("from zero") << 0 << 30000 << 10 << 3001 << 30000.0f;
}

void tst_Sweep::lengths()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(int, count);
    QFETCH(float, last);
    CalcSettings s = baseSettings();
    s.cableLengthFrom = from;
    s.cableLengthTo = to;
    s.cableLengthStep = step;
    const std::optional<SweepResult> result = runSweep(s, m_dir.path(), nullptr);
    QVERIFY(result);
    QCOMPARE(result->rows.size(), count);
    QCOMPARE(result->rows.first().length, float(from));
    QCOMPARE(result->rows.last().length, last);
    for (int k = 1; k < count; ++k)
        QCOMPARE(result->rows[k].length - result->rows[k - 1].length, float(step));
}

void tst_Sweep::progress_data()
{
    QTest::addColumn<CalcSettings>("settings");
    QTest::addColumn<QStringList>("stages");
    QTest::addColumn<QVector<int>>("steps");

    const QVector<int> tenths{0, 11, 22, 33, 44, 55, 66, 77, 88, 100};
    CalcSettings s = baseSettings();
    s.xDSL_points = {1, 2};
    QTest::newRow("one stage for a load family") << s << QStringList{"K1"} << tenths;

    s = baseSettings();
    s.lineTypes = QStringList{"ADSL.DMT", "SHDSL.PAM"};
    QTest::newRow("a stage per line type")
        << s << QStringList{"ADSL.DMT", "SHDSL.PAM"} << tenths + tenths;

    s = baseSettings();
    s.cableTypes = QStringList{"K2", "K1"};
    s.cableLengthTo = 3000;
    QTest::newRow("a stage per cable") << s << QStringList{"K2", "K1"}
                                       << QVector<int>{0, 50, 100, 0, 50, 100};

    s = baseSettings();
    s.cableLengthTo = s.cableLengthFrom;
    QTest::newRow("a single length") << s << QStringList{"K1"} << QVector<int>{100};
}

void tst_Sweep::progress()
{
    QFETCH(CalcSettings, settings);
    QFETCH(QStringList, stages);
    QFETCH(QVector<int>, steps);
    QStringList begun;
    QVector<int> values;
    int ended = 0;
    SweepProgress progress;
    progress.begin = [&](const QString &name) { begun << name; };
    progress.step = [&](int v) { values << v; };
    progress.end = [&] { ++ended; };
    QVERIFY(runSweep(settings, m_dir.path(), nullptr, progress));
    QCOMPARE(begun, stages);
    QCOMPARE(ended, stages.size());
    QCOMPARE(values, steps);
}

void tst_Sweep::refused_data()
{
    QTest::addColumn<CalcSettings>("settings");
    QTest::addColumn<QStringList>("mentions");

    CalcSettings s = baseSettings();
    s.cableTypes.clear();
    QTest::newRow("no cable") << s << QStringList{"Cable", "empty"};
    s = baseSettings();
    s.lineTypes.clear();
    QTest::newRow("no line type") << s << QStringList{"xDSL", "empty"};
    s = baseSettings();
    s.cableLengthStep = 0;
    QTest::newRow("zero step") << s << QStringList{"step"};
    s = baseSettings();
    s.cableLengthFrom = 2000;
    s.cableLengthTo = 1000;
    QTest::newRow("from beyond to") << s << QStringList{"2000", "1000"};
    s = baseSettings();
    s.lineTypes = QStringList{"missing.DMT"};
    QTest::newRow("missing line type") << s << QStringList{"missing.DMT"};
    s = baseSettings();
    s.cableTypes = QStringList{"K1", "gone"};
    QTest::newRow("missing second cable") << s << QStringList{"gone.att"};
    s = baseSettings();
    s.noiseTemplate = QStringLiteral("pink");
    QTest::newRow("missing noise") << s << QStringList{"pink.add"};
    s = baseSettings();
    s.lineTypes = QStringList{"infinite.DMT"};
    QTest::newRow("infinite Kmax") << s << QStringList{"infinite.DMT", "row 2", "\"Kmax\"", "finite"};
    s = baseSettings();
    s.lineTypes = QStringList{"far.DMT"};
    QTest::newRow("frequency too far") << s << QStringList{"far.DMT", "row 2", "\"F, кГц\"", "1000000"};
    s = baseSettings();
    s.lineTypes = QStringList{"fast.PAM"};
    QTest::newRow("PAM rate too high") << s << QStringList{"fast.PAM", "row 1", "\"Rmax, кбит/с\""};
    // K is stored truncated to an integer, which would hide a value that is no number at all.
    s = baseSettings();
    s.lineTypes = QStringList{"nanK.PAM"};
    QTest::newRow("NaN bits per symbol") << s << QStringList{"nanK.PAM", "row 1", "\"K\"", "finite"};
    s = baseSettings();
    s.lineTypes = QStringList{"infK.PAM"};
    QTest::newRow("infinite bits per symbol") << s << QStringList{"infK.PAM", "row 1", "\"K\"", "finite"};
    s = baseSettings();
    s.cableTypes = QStringList{"nan"};
    QTest::newRow("NaN attenuation") << s << QStringList{"nan.att", "row 2", "\"a, дБ/км\""};
    s = baseSettings();
    s.noiseTemplate = QStringLiteral("inf");
    QTest::newRow("infinite noise frequency") << s << QStringList{"inf.add", "row 1", "\"F, кГц\""};
    // A negative bit cap would subtract from the rate.
    s = baseSettings();
    s.lineTypes = QStringList{"negativeKmax.DMT"};
    QTest::newRow("negative Kmax") << s << QStringList{"negativeKmax.DMT", "row 2", "\"Kmax\"", "-2 is negative"};
    // A '%' in a file name is no placeholder for the values that follow it.
    s = baseSettings();
    s.cableTypes = QStringList{"a%1b"};
    QTest::newRow("percent sign in the file name")
        << s << QStringList{"a%1b.att: row 2, column \"a, дБ/км\": the value is not a finite number"};
    // Names must stay inside their template directory.
    s = baseSettings();
    s.lineTypes = QStringList{"../../../../etc/passwd"};
    QTest::newRow("line type outside the workspace") << s << QStringList{"../../../../etc/passwd", "not a template file name"};
    s = baseSettings();
    s.cableTypes = QStringList{"K1", "../Cable/K2"};
    QTest::newRow("cable in a family with a path") << s << QStringList{"../Cable/K2", "not a template file name"};
    s = baseSettings();
    s.noiseTemplate = QStringLiteral("..");
    QTest::newRow("noise named ..") << s << QStringList{"\"..\"", "not a template file name"};
    s = baseSettings();
    s.lineTypes = QStringList{"."};
    QTest::newRow("line type named .") << s << QStringList{"\".\"", "not a template file name"};
}

void tst_Sweep::refused()
{
    QFETCH(CalcSettings, settings);
    QFETCH(QStringList, mentions);
    QString error;
    int steps = 0;
    SweepProgress progress;
    progress.step = [&](int) { ++steps; };
    QVERIFY(!runSweep(settings, m_dir.path(), &error, progress));
    for (const QString &word : mentions)
        QVERIFY2(error.contains(word), qPrintable(error));
    QCOMPARE(steps, 0);
}

void tst_Sweep::noNoiseTemplateAddsNoNoise()
{
    // The calculation dialog leaves the noise empty when it has none to offer; the run goes on.
    CalcSettings s = baseSettings();
    s.noiseTemplate.clear();
    s.cableTypes = QStringList{"empty"};
    const std::optional<SweepResult> emptyCable = runSweep(s, m_dir.path(), nullptr);
    QVERIFY(emptyCable);
    QCOMPARE(emptyCable->maxRate, 0);
    s.cableTypes = QStringList{"K1"};
    const std::optional<SweepResult> result = runSweep(s, m_dir.path(), nullptr);
    QVERIFY(result);
    QVERIFY(result->maxRate > 0);
}

void tst_Sweep::hugeBandFinishes()
{
    // The widest band the bounds allow: some 460000 tones, evaluated, not looped forever.
    CalcSettings s = baseSettings();
    s.lineTypes = QStringList{"wide.DMT"};
    s.cableLengthTo = s.cableLengthFrom;
    const std::optional<SweepResult> result = runSweep(s, m_dir.path(), nullptr);
    QVERIFY(result);
    QCOMPARE(result->rows.size(), 1);
    QVERIFY(result->rows[0].rates[0] > 0);
}

void tst_Sweep::cancelStopsALongRun_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    // Hours of work; and a single length whose one evaluation takes a second or more.
    QTest::newRow("lengths 0 to 30000 step 10") << 0 << 30000;
    QTest::newRow("inside one length") << 1000 << 1000;
}

void tst_Sweep::cancelStopsALongRun()
{
    QFETCH(int, from);
    QFETCH(int, to);
    CalcSettings s = baseSettings();
    s.cableTypes = QStringList{"negative"};
    s.lineTypes = QStringList{"slow.PAM"};
    s.cableLengthFrom = from;
    s.cableLengthTo = to;
    s.cableLengthStep = 10;
    std::atomic_bool cancel{false};
    std::atomic<qint64> cancelledAt{0};
    QElapsedTimer timer;
    timer.start();
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        cancelledAt = timer.elapsed();
        cancel = true;
    });
    SweepProgress progress;
    progress.cancel = &cancel;
    QString error;
    const std::optional<SweepResult> result = runSweep(s, m_dir.path(), &error, progress);
    const qint64 stoppedAt = timer.elapsed();
    user.join();
    QVERIFY(!result);
    QCOMPARE(error, QStringLiteral("The calculation was cancelled"));
    // Uncancelled the run takes minutes; the bound only has to tell "stopped" from "ran on", with
    // room for a machine loaded by other tests.
    QVERIFY2(stoppedAt - cancelledAt < 3000, qPrintable(QString::number(stoppedAt - cancelledAt)));
}

void tst_Sweep::templatesWithoutRowsWarn_data()
{
    QTest::addColumn<CalcSettings>("settings");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<bool>("zeroRates");

    CalcSettings s = baseSettings();
    QTest::newRow("usable templates") << s << QStringList() << false;
    s.cableTypes = QStringList{"empty"};
    QTest::newRow("empty cable")
        << s << QStringList{"Cable/empty.att has no complete row; its rates are 0"} << true;
    s.cableTypes = QStringList{"incomplete"};
    QTest::newRow("rows without attenuation")
        << s << QStringList{"Cable/incomplete.att has no complete row; its rates are 0"} << true;
    s = baseSettings();
    s.lineTypes = QStringList{"one.DMT"};
    QTest::newRow("DMT with one row")
        << s << QStringList{"xDSL/one.DMT has only one complete row, a DMT template needs two; its rates are 0"}
        << true;
    s.lineTypes = QStringList{"k0.PAM"};
    QTest::newRow("PAM with K below 1")
        << s << QStringList{"xDSL/k0.PAM has K below 1 bit per symbol; its rates are 0"} << true;
    s.lineTypes = QStringList{"norange.PAM"};
    QTest::newRow("PAM without a rate to try")
        << s << QStringList{"xDSL/norange.PAM has Rmax below Rmin, no rate to try; its rates are 0"} << true;
    s.lineTypes = QStringList{"lower.dmt"};
    QTest::newRow("DMT rows in a file read as PAM")
        << s << QStringList{"xDSL/lower.dmt has no complete row; its rates are 0"} << true;
    s = baseSettings();
    s.sections = {{QStringLiteral("K2"), 300}, {QStringLiteral("empty"), 200}};
    QTest::newRow("empty section cable")
        << s << QStringList{"Cable/empty.att has no complete row; its rates are 0"} << true;
    s = baseSettings();
    s.noiseTemplate = QStringLiteral("silent");
    QTest::newRow("empty noise")
        << s << QStringList{"AddNoise/silent.add has no complete row; it adds no noise"} << false;
    s = baseSettings();
    s.cableTypes = QStringList{"empty", "K1", "empty", "incomplete"};
    QTest::newRow("once per template of a family")
        << s
        << QStringList{"Cable/empty.att has no complete row; its rates are 0",
                       "Cable/incomplete.att has no complete row; its rates are 0"}
        << false;
}

void tst_Sweep::templatesWithoutRowsWarn()
{
    QFETCH(CalcSettings, settings);
    QFETCH(QStringList, warnings);
    QFETCH(bool, zeroRates);
    QString error;
    const std::optional<SweepResult> result = runSweep(settings, m_dir.path(), &error);
    QVERIFY2(result, qPrintable(error));
    QCOMPARE(result->warnings, warnings);
    QCOMPARE(result->maxRate == 0, zeroRates);
}

void tst_Sweep::messagesInRussian()
{
    CalcSettings s = baseSettings();
    s.cableTypes = QStringList{"nan"};
    setMessageLanguage(MessageLanguage::Russian);
    QString error;
    QVERIFY(!runSweep(s, m_dir.path(), &error));
    s.cableTypes = QStringList{"empty"};
    const std::optional<SweepResult> empty = runSweep(s, m_dir.path(), nullptr);
    setMessageLanguage(MessageLanguage::English);
    QCOMPARE(error, QStringLiteral("Неверный шаблон %1: строка 2, столбец «a, дБ/км»: значение не является конечным числом")
                        .arg(QDir::toNativeSeparators(path("Cable/nan.att"))));
    QVERIFY(empty);
    QCOMPARE(empty->warnings,
             QStringList{"В шаблоне Cable/empty.att нет ни одной полной строки; его скорости равны 0"});
}

void tst_Sweep::unreadableWorkspaceSaysPermissionDenied()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && OrdinaryUser::openUp(dir.path()));
    QVERIFY(test::writeRows(dir.filePath("Cable/K1.att"), cableRows));
    QVERIFY(test::writeRows(dir.filePath("xDSL/ADSL.DMT"), adslRows));
    QVERIFY(QFile::setPermissions(dir.filePath("Cable/K1.att"), QFileDevice::Permissions()));
    QVERIFY(QFile::setPermissions(dir.filePath("xDSL"), QFileDevice::Permissions()));
    QString lockedFile, lockedDirectory;
    {
        const OrdinaryUser user;
        if (!user.active())
            QSKIP("cannot take an ordinary user's permissions");
        CalcSettings s = baseSettings();
        s.noiseTemplate.clear();
        QVERIFY(!runSweep(s, dir.path(), &lockedFile));
        // The dialog lists an unreadable directory as empty: the run says why it is.
        s.lineTypes.clear();
        QVERIFY(!runSweep(s, dir.path(), &lockedDirectory));
    }
    QFile::setPermissions(dir.filePath("xDSL"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(lockedFile, QStringLiteral("Cannot read %1: Permission denied").arg(dir.filePath("Cable/K1.att")));
    QCOMPARE(lockedDirectory, QStringLiteral("No line type template: cannot read directory %1: Permission denied")
                                  .arg(dir.filePath("xDSL")));
}

QTEST_GUILESS_MAIN(tst_Sweep)
#include "tst_sweep.moc"
