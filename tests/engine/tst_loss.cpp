#include "engine/csvwriter.h"
#include "engine/linespectrum.h"
#include "engine/loss.h"
#include "engine/reach.h"
#include "randomworkspace.h"
#include "referencemodel.h"
#include "kolvanecalc.h"
#include "templaterecords.h"
#include "templatefiles.h"

#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

Q_DECLARE_METATYPE(CableTemplate)
Q_DECLARE_METATYPE(QVector<LoopSection>)

namespace {

// One curve of a random record, spelt out for the step-by-step reference.
struct LiteralCurve {
    int cable;
    int line;
    int m;
    float E, X, margin;
};

// A random workspace on disk and a record over it: sections, a family, the model options, a
// reference frequency, a loss grid and target rates.
struct Plant {
    QVector<CableTemplate> cables;   // as read back: C0, C1, C2
    QVector<LineTypeTemplate> lines; // L0, L1
    NoiseTemplate noise;
    QVector<reference::Section> sections;
    CalcSettings settings;
    QVector<LiteralCurve> curves;
    int fRef = 300;
    LossGrid grid;

    reference::Model model(const LiteralCurve &c) const
    {
        const ModelOptions o = modelOptions(settings);
        return reference::Model{cables[c.cable], lines[c.line], noise, settings.norm_NEXT_frequency,
                                settings.norm_ELFEXT_frequency, sections, o.codingGain, o.vectoring,
                                o.alienDisturbers};
    }
    std::optional<int> loop(const LiteralCurve &c, int tenths) const
    {
        return reference::loopLength(cables[c.cable], sections, fRef, double(tenths) / 10.0);
    }
};

// The plant's conditions as kolvane-calc takes them (whole numbers, the classic model), and the
// options that give its record but its margins.
QStringList commandLine(Plant &p, const QString &dir)
{
    CalcSettings &s = p.settings;
    const auto whole = [](float &v) { v = std::round(v); };
    for (float *v : {&s.norm_ELFEXT_frequency, &s.norm_NEXT_frequency, &s.Norm_ELFEXT_points[0], &s.Norm_NEXT_points[0]})
        whole(*v);
    for (float &margin : s.SNRMargin_points)
        whole(margin);
    s.codingGain = 0;
    s.vectoring.reset();
    s.alienDisturbers = 0;
    for (LiteralCurve &c : p.curves) {
        c.E = s.Norm_ELFEXT_points[0];
        c.X = s.Norm_NEXT_points[0];
        whole(c.margin);
    }
    const auto list = [](const auto &values) {
        QStringList texts;
        for (const auto v : values)
            texts << QString::number(double(v));
        return texts.join(',');
    };
    QStringList args{"-C", dir, "--axis", "loss", "--loss-freq", QString::number(p.fRef), "--from", lossText(p.grid.from),
                     "--to", lossText(p.grid.to), "--step", lossText(p.grid.step), "--noise", s.noiseTemplate,
                     "--capacity", "20", "--load", list(s.xDSL_points), "--elfext", list(s.Norm_ELFEXT_points),
                     "--next", list(s.Norm_NEXT_points), "--elfext-freq", list(QVector<float>{s.norm_ELFEXT_frequency}),
                     "--next-freq", list(QVector<float>{s.norm_NEXT_frequency})};
    for (const QString &cable : std::as_const(s.cableTypes))
        args << "--cable" << cable;
    for (const QString &line : std::as_const(s.lineTypes))
        args << "--line" << line;
    for (const CableSection &section : std::as_const(s.sections))
        args << "--section" << QStringLiteral("%1:%2").arg(section.cable).arg(section.length);
    return args;
}

bool makePlant(const QString &dir, quint32 seed, Plant &p)
{
    test::Randomiser r(seed);
    CalcSettings &s = p.settings;
    const int family = int(seed % 5); // none, cables, line types, loads, margins
    bool written = true;
    for (int i = 0; i < 3; ++i) {
        p.cables << r.cable(family == 0);
        written = written && test::writeCable(dir, QStringLiteral("C%1").arg(i), p.cables[i]);
    }
    const QVector<LoopSection> sections = r.sections(false);
    p.sections = test::referenceSections(sections);
    for (int i = 0; i < sections.size(); ++i) {
        s.sections << CableSection{QStringLiteral("S%1").arg(i), sections[i].length};
        written = written && test::writeCable(dir, s.sections[i].cable, sections[i].cable);
    }
    for (int i = 0; i < 2; ++i) {
        p.lines << ((seed + quint32(i)) % 3 == 0 ? r.pam() : r.dmt());
        for (float &k : p.lines[i].Kmax)
            k = std::max(k, 0.0f); // a negative Kmax is refused
        s.lineTypes << QStringLiteral("L%1.%2").arg(i).arg(p.lines[i].kind == LineTypeDmt ? "DMT" : "PAM");
        written = written && test::writeLineType(dir, s.lineTypes[i], p.lines[i]);
    }
    p.noise = r.noise();
    s.noiseTemplate = QStringLiteral("N");
    written = written && test::writeNoise(dir, s.noiseTemplate, p.noise);
    s.cableTypes = family == 1 ? QStringList{"C0", "C1", "C2"} : QStringList{"C0"};
    if (family != 2)
        s.lineTypes.removeLast();
    s.norm_ELFEXT_frequency = r.value(50, 1000);
    s.norm_NEXT_frequency = r.value(50, 1000);
    const int m = r.integer(1, 12);
    s.xDSL_points = family == 3 ? QVector<int>{1, m + 1, m + 4} : QVector<int>{m};
    s.Norm_ELFEXT_points << r.value(10, 80);
    s.Norm_NEXT_points << r.value(10, 80);
    s.SNRMargin_points = family == 4 ? QVector<float>{0, 3, 6.5f} : QVector<float>{float(r.integer(0, 100) / 10.0)};
    const ModelOptions o = r.options(m);
    s.codingGain = o.codingGain;
    s.vectoring = o.vectoring;
    s.alienDisturbers = o.alienDisturbers;
    // The record's lengths play no part on a loss axis, not even below the sections.
    s.cableLengthFrom = 0;
    s.cableLengthTo = 30000;
    s.cableLengthStep = 1000;
    const int curves = family == 0 ? 1 : family == 2 ? 2 : 3;
    for (int j = 0; j < curves; ++j)
        p.curves << LiteralCurve{family == 1 ? j : 0, family == 2 ? j : 0, s.xDSL_points[family == 3 ? j : 0],
                                 s.Norm_ELFEXT_points[0], s.Norm_NEXT_points[0],
                                 s.SNRMargin_points[family == 4 ? j : 0]};
    p.fRef = r.integer(1, 3000);
    p.grid.from = r.integer(0, 200);
    p.grid.step = r.integer(1, 80);
    p.grid.to = std::min(1500, p.grid.from + p.grid.step * r.integer(2, 16) + r.integer(0, p.grid.step - 1));
    return written;
}

QString text(const std::function<void(QTextStream &)> &write)
{
    QString out;
    QTextStream stream(&out);
    write(stream);
    stream.flush();
    return out;
}

// The largest margin k / 10 dB, k in -100..300, at which the reference still carries the target.
QString literalMargin(const reference::Model &model, const LiteralCurve &c, int target, float L)
{
    const auto carries = [&](int k) {
        return double(model.rate(c.m, c.E, c.X, float(double(k) / 10.0), L)) >= double(target);
    };
    if (!carries(-100))
        return QStringLiteral("<-10.0");
    if (carries(300))
        return QStringLiteral(">30.0");
    int lo = -100, hi = 300; // carried at lo, not at hi
    while (hi - lo > 1) {
        const int k = (lo + hi) / 2;
        (carries(k) ? lo : hi) = k;
    }
    return marginText({MarginAtRate::Value, lo});
}

} // namespace

class tst_Loss : public QObject
{
    Q_OBJECT

private slots:
    void texts();
    void grid();
    void conversion_data();
    void conversion();
    void plantMatchesReference_data();
    void plantMatchesReference();
    void tonesAtALoss();
    void cleanupTestCase();

private:
    int m_loops = 0;   // table cells with a loop and without, over every plant
    int m_noLoops = 0;
};

void tst_Loss::texts()
{
    QCOMPARE(lossCaption(300), QStringLiteral("A,дБ@300кГц"));
    const QList<std::pair<int, const char *>> cases{{0, "0"}, {5, "0.5"}, {120, "12"}, {125, "12.5"}, {1500, "150"}};
    for (const auto &[tenths, expected] : cases)
        QCOMPARE(lossText(tenths), QString::fromLatin1(expected));
    // The table writes a row's loss as a float: that must be the same shortest text.
    for (int t = 0; t <= CalcInput::Loss.max; ++t)
        QCOMPARE(text([t](QTextStream &out) { out << float(lossValue(t)); }), lossText(t));
    QCOMPARE(lossReachText({Reach::Beyond, 605}), QStringLiteral(">60.5"));
}

void tst_Loss::grid()
{
    QCOMPARE((LossGrid{0, 5, 2}.points()), (QVector<int>{0, 2, 4}));
    QVERIFY((LossGrid{5, 4, 1}.points().isEmpty()));
    QVERIFY((LossGrid{0, 5, 0}.points().isEmpty()));
    QCOMPARE(LossGrid().points().size(), 61); // 0 .. 60 dB by 1 dB
}

void tst_Loss::conversion_data()
{
    QTest::addColumn<CableTemplate>("swept");
    QTest::addColumn<QVector<LoopSection>>("sections");
    QTest::addColumn<double>("loss");
    QTest::addColumn<int>("length"); // -1: no loop
    QTest::addColumn<QString>("why");

    const CableTemplate ten = cable({1, 30000}, {10, 10});       // 10 dB/km everywhere
    const CableTemplate slope = cable({100, 500}, {10, 30});     // 20 dB/km at 300 kHz
    QTest::newRow("one cable") << ten << QVector<LoopSection>{} << 12.5 << 1250 << QString();
    QTest::newRow("interpolated at the reference") << slope << QVector<LoopSection>{} << 20.0 << 1000 << QString();
    // 0.005 dB is half a metre, rounded away from zero.
    QTest::newRow("half a metre") << ten << QVector<LoopSection>{} << 0.005 << 1 << QString();
    QTest::newRow("12.5 m") << ten << QVector<LoopSection>{} << 0.125 << 13 << QString();
    QTest::newRow("section first") << ten << QVector<LoopSection>{{slope, 500}} << 20.0 << 1500 << QString();
    QTest::newRow("the sections' own loss") << ten << QVector<LoopSection>{{slope, 500}} << 10.0 << 500 << QString();
    QTest::newRow("below the sections")
        << ten << QVector<LoopSection>{{slope, 500}} << 9.9 << -1 << QStringLiteral("sections alone lose 10 dB");
    QTest::newRow("longest loop") << ten << QVector<LoopSection>{} << 300.0 << 30000 << QString();
    QTest::newRow("beyond the longest loop")
        << ten << QVector<LoopSection>{} << 300.01 << -1 << QStringLiteral("30001 m long");
    QTest::newRow("cable without a row")
        << CableTemplate() << QVector<LoopSection>{} << 1.0 << -1 << QStringLiteral("no complete row");
    QTest::newRow("section without a row")
        << ten << QVector<LoopSection>{{CableTemplate(), 10}} << 1.0 << -1 << QStringLiteral("no complete row");
    QTest::newRow("attenuation not above 0")
        << cable({1, 30000}, {0, 0}) << QVector<LoopSection>{} << 1.0 << -1 << QStringLiteral("is 0 dB/km");
}

void tst_Loss::conversion()
{
    QFETCH(CableTemplate, swept);
    QFETCH(QVector<LoopSection>, sections);
    QFETCH(double, loss);
    QFETCH(int, length);
    QFETCH(QString, why);
    QString reason;
    const std::optional<int> converted = LossConversion(swept, sections, 300).length(loss, &reason);
    QCOMPARE(converted.value_or(-1), length);
    QVERIFY2(reason.contains(why), qPrintable(reason));
    QCOMPARE(converted.has_value(), reason.isEmpty());
}

void tst_Loss::plantMatchesReference_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("cli"); // kolvane-calc's table, reach and margin too
    for (quint32 seed = 1; seed <= 25; ++seed)
        QTest::addRow("plant %u", seed) << seed << (seed > 15);
}

// Rates, reach and margins over a loss grid, and the rates of the length axis with the model
// options, against the step-by-step reference.
void tst_Loss::plantMatchesReference()
{
    QFETCH(quint32, seed);
    QFETCH(bool, cli);
    QTemporaryDir dir;
    Plant p;
    QVERIFY(makePlant(dir.path(), seed, p));
    const QStringList args = cli ? commandLine(p, dir.path()) : QStringList();
    QStringList margins;
    for (float margin : std::as_const(p.settings.SNRMargin_points))
        margins << QString::number(double(margin));
    // What kolvane-calc writes for a command, with exit status 0.
    const auto calc = [&](const QStringList &command) {
        const test::Run run = test::calc(command + args);
        return run.code == 0 ? QString::fromUtf8(run.out) : QString::fromUtf8(run.err);
    };
    const CalcSettings &s = p.settings;
    const QVector<int> points = p.grid.points();

    QString error;
    std::optional<CurveSet> set;
    const std::optional<SweepResult> result = runLossSweep(s, dir.path(), p.grid, p.fRef, &error, {}, &set);
    QVERIFY2(result, qPrintable(error));
    QCOMPARE(set->curves().size(), p.curves.size());

    // The reference's rate of each curve at each loss, none without a loop.
    QVector<QVector<std::optional<float>>> rates(p.curves.size());
    for (int j = 0; j < p.curves.size(); ++j) {
        const LiteralCurve &c = p.curves[j];
        for (int t : points) {
            const std::optional<int> L = p.loop(c, t);
            rates[j] << (L ? std::optional<float>(p.model(c).rate(c.m, c.E, c.X, c.margin, float(*L))) : std::nullopt);
            (L ? m_loops : m_noLoops)++;
        }
    }
    // Target rates among the rates themselves (a tie carries), and one above them now and then.
    QVector<int> targets;
    test::Randomiser r(seed);
    for (const auto &curve : std::as_const(rates))
        for (const std::optional<float> &rate : curve)
            if (rate && *rate >= 1 && r.rng.bounded(3) == 0)
                targets << int(*rate);
    targets << r.integer(1, 100) << 1000000;
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    while (targets.size() > 4)
        targets.removeAt(r.integer(0, int(targets.size()) - 2));

    const QString table = text([&](QTextStream &out) {
        out << "A,дБ@" << p.fRef << "кГц;";
        for (const QString &label : result->labels)
            out << label.simplified() << ';';
        out << '\n';
        for (int k = 0; k < points.size(); ++k) {
            out << lossText(points[k]) << ';';
            for (int j = 0; j < p.curves.size(); ++j) {
                if (rates[j][k])
                    out << *rates[j][k] << ';';
                else
                    out << "-;";
            }
            out << '\n';
        }
    });
    const QStringList headers = QStringList{lossCaption(p.fRef)} + result->labels;
    QCOMPARE(text([&](QTextStream &out) { writeCsv(out, headers, result->rows); }), table);
    if (cli)
        QCOMPARE(calc({"table", "--margin", margins.join(',')}), table);

    // Reach, one target at a time: the grid walked up, points without a loop skipped.
    const LossReachTable reach = *computeLossReachTable(*set, targets, p.grid, p.fRef);
    const QString reachTable = text([&](QTextStream &out) {
        out << "R,кбит/с;";
        for (const QString &name : set->names())
            out << QStringLiteral("A,дБ@%1кГц %2").arg(p.fRef).arg(name).simplified() << ';';
        out << '\n';
        for (int target : targets) {
            out << target << ';';
            for (int j = 0; j < p.curves.size(); ++j) {
                QString cell = QStringLiteral("-");
                bool failed = false;
                for (int k = 0; k < points.size() && !failed; ++k) {
                    if (!rates[j][k])
                        continue;
                    failed = *rates[j][k] < float(target);
                    if (!failed)
                        cell = lossText(points[k]);
                }
                out << (failed || cell == QLatin1String("-") ? cell : QLatin1Char('>') + cell) << ';';
            }
            out << '\n';
        }
    });
    QCOMPARE(text([&](QTextStream &out) { writeLossReachCsv(out, reach); }), reachTable);
    if (cli) {
        QStringList rates;
        for (int target : std::as_const(targets))
            rates << QString::number(target);
        QCOMPARE(calc({"reach", "--rate", rates.join(','), "--margin", margins.join(',')}), reachTable);
    }

    // Margins at a target that some point carries.
    const int target = targets.value(targets.size() - 2);
    const LossMarginTable marginCells = *computeLossMarginTable(*set, target, p.grid, p.fRef);
    QString marginTable = lossCaption(p.fRef) + ';';
    for (const QString &name : set->names())
        marginTable += QStringLiteral("SNR Margin,дБ %1").arg(name).simplified() + ';';
    marginTable += '\n';
    for (int k = 0; k < marginCells.losses.size(); ++k) {
        marginTable += lossText(marginCells.losses[k]) + ';';
        for (int j = 0; j < p.curves.size(); ++j) {
            const LiteralCurve &c = p.curves[j];
            const std::optional<int> L = p.loop(c, marginCells.losses[k]);
            const std::optional<MarginAtRate> &cell = marginCells.margins[k][j];
            const QString literal = L ? literalMargin(p.model(c), c, target, float(*L)) : QStringLiteral("-");
            QCOMPARE(cell ? marginText(*cell) : QStringLiteral("-"), literal);
            marginTable += literal + ';';
        }
        marginTable += '\n';
    }
    // The margin command answers for the curves without their margins: not for a family of them.
    if (cli && margins.size() == 1)
        QCOMPARE(calc({"margin", "--rate", QString::number(target)}), marginTable);

    // The length axis carries the options too.
    CalcSettings lengths = s;
    lengths.cableLengthFrom = int(CalcInput::sectionsTotal(s.sections));
    lengths.cableLengthTo = lengths.cableLengthFrom + 2000;
    const std::optional<SweepResult> byLength = runSweep(lengths, dir.path(), &error);
    QVERIFY2(byLength, qPrintable(error));
    for (const ResultRow &row : byLength->rows) {
        QVERIFY(row.loops.isEmpty());
        for (int j = 0; j < p.curves.size(); ++j) {
            const LiteralCurve &c = p.curves[j];
            QCOMPARE(row.rates[j], p.model(c).rate(c.m, c.E, c.X, c.margin, row.length));
        }
    }
}

void tst_Loss::tonesAtALoss()
{
    QTemporaryDir dir;
    QVERIFY(test::writeCable(dir.path(), "K", cable({1, 30000}, {10, 10})));
    QVERIFY(test::writeLineType(dir.path(), "A.DMT", dmt({25.875f, 1104}, {-40, -40}, {15, 15}, {-140, -140})));
    CalcSettings s;
    s.cableTypes = {"K"};
    s.lineTypes = {"A.DMT"};
    s.xDSL_points = {4};
    s.Norm_ELFEXT_points = s.Norm_NEXT_points = {40};
    s.SNRMargin_points = {0};
    s.norm_ELFEXT_frequency = s.norm_NEXT_frequency = 300;
    s.sections = {{"K", 1000}};
    s.cableLengthFrom = s.cableLengthTo = s.cableLengthStep = 1000;
    s.vectoring = 30;
    QString error;
    const std::optional<LineSpectrum> atLoss = traceCurveAtLoss(s, dir.path(), 0, 255, 300, &error);
    QVERIFY2(atLoss, qPrintable(error));
    QCOMPARE(atLoss->length, 2550);
    const std::optional<LineSpectrum> atLength = traceCurve(s, dir.path(), 0, 2550, &error);
    QVERIFY2(atLength, qPrintable(error));
    QCOMPARE(atLoss->trace.tones.last().U, atLength->trace.tones.last().U);
    // Below the section's own 10 dB there is no loop.
    QVERIFY(!traceCurveAtLoss(s, dir.path(), 0, 95, 300, &error));
    QVERIFY2(error.contains("10 dB"), qPrintable(error));
}

void tst_Loss::cleanupTestCase()
{
    // Plants where every point has a loop, or none has, would prove little.
    QVERIFY(m_loops > 0);
    QVERIFY(m_noLoops > 0);
}

QTEST_GUILESS_MAIN(tst_Loss)
#include "tst_loss.moc"
