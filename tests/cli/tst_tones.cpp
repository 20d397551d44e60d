// kolvane-calc tones: one curve at one length, step by step (coding gain and vectoring
// included), held against the plain step-by-step reference model and against what the table
// command prints.
#include "kolvanecalc.h"

#include "engine/templatefile.h"

#include "../engine/randomworkspace.h"
#include "../engine/referencemodel.h"
#include "templatefiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using test::calc;
using test::fileContents;
using test::Run;
using test::writeFile;

const QString Samples = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace");
const QByteArray DmtHeader("F,кГц;S,дБм/Гц;A,дБ;U,дБм/Гц;SNR,дБ;b;\n");
const QByteArray PamHeader("R,кбит/с;fN,кГц;SNR,дБ;T,дБ;\n");

// The reference's steps written out here, field by field, as the table's CSV writes numbers.
QByteArray expectedBytes(const reference::Trace &trace, bool dmt)
{
    QByteArray bytes;
    QTextStream out(&bytes);
    if (dmt) {
        out << QString::fromUtf8(DmtHeader);
        for (const reference::ToneStep &t : trace.tones)
            out << t.f << ';' << t.S << ';' << t.A << ';' << t.U << ';' << t.snr << ';' << t.bits << ';' << '\n';
    } else {
        out << QString::fromUtf8(PamHeader);
        for (const reference::CandidateStep &c : trace.candidates)
            out << c.R << ';' << c.fN << ';' << c.snr << ';' << c.T << ';' << '\n';
    }
    out.flush();
    return bytes;
}

QByteArray floatText(float v)
{
    QByteArray bytes;
    QTextStream out(&bytes);
    out << v;
    out.flush();
    return bytes;
}

// One random curve written as a workspace, with whole-number conditions as the options take them.
struct Curve {
    CableTemplate cable;
    NoiseTemplate noise;
    LineTypeTemplate line;
    QVector<LoopSection> sections;
    int fX = 300, fE = 300, m = 1, E = 40, X = 40, margin = 0;
    QString lineFile;
    ModelOptions options;

    Curve(test::Randomiser &r, bool dmt)
    {
        cable = r.cable(false);
        noise = r.noise();
        line = dmt ? r.dmt() : r.pam();
        for (float &k : line.Kmax)
            k = std::max(k, 0.0f); // a negative cap is refused when the template is read
        sections = r.sections(false);
        fX = r.integer(50, 1000);
        fE = r.integer(50, 1000);
        m = r.integer(1, 12);
        E = r.integer(10, 80);
        X = r.integer(10, 80);
        margin = r.integer(0, 12);
        lineFile = dmt ? QStringLiteral("line.DMT") : QStringLiteral("line.PAM");
        options = r.options(m);
        options.alienDisturbers = std::min(options.alienDisturbers, m - 1); // more are refused
    }

    bool write(const QString &dir) const
    {
        bool ok = test::writeCable(dir, QStringLiteral("swept"), cable) && test::writeNoise(dir, QStringLiteral("noise"), noise)
                  && test::writeLineType(dir, lineFile, line);
        for (int i = 0; i < sections.size(); ++i)
            ok = ok && test::writeCable(dir, QStringLiteral("s%1").arg(i), sections[i].cable);
        return ok;
    }

    // The options of this curve; `extra` picks the command's lengths.
    // margin takes no --margin, qualify no cable: its loops bring their own.
    enum Command { Table, Margin, Qualify };
    QStringList args(const QString &dir, const QStringList &extra, Command command = Table) const
    {
        QStringList a{"-C", dir, "--line", lineFile, "--noise", "noise",
                      "--capacity", "99", "--load", QString::number(m), "--elfext", QString::number(E),
                      "--next", QString::number(X), "--elfext-freq", QString::number(fE),
                      "--next-freq", QString::number(fX)};
        if (command != Margin)
            a << "--margin" << QString::number(margin);
        if (command != Qualify)
            a << "--cable" << "swept";
        for (int i = 0; i < sections.size() && command != Qualify; ++i)
            a << "--section" << QStringLiteral("s%1:%2").arg(i).arg(sections[i].length);
        a << "--coding-gain" << QString::number(double(options.codingGain));
        if (options.vectoring)
            a << "--vectoring" << QString::number(*options.vectoring) << "--alien" << QString::number(options.alienDisturbers);
        return a + extra;
    }

    reference::Model literal() const
    {
        return reference::Model{cable, line, noise, float(fX), float(fE), test::referenceSections(sections),
                                options.codingGain, options.vectoring, options.alienDisturbers};
    }
};

} // namespace

class tst_Tones : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void matchesTheReference_data();
    void matchesTheReference();
    void samples_data();
    void samples();
    void headerAlone_data();
    void headerAlone();
    void refused_data();
    void refused();
    void outputFile();

private:
    QTemporaryDir m_dir;
};

void tst_Tones::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFileInfo(QStringLiteral(KOLVANE_CALC)).isExecutable());
}

void tst_Tones::matchesTheReference_data()
{
    QTest::addColumn<bool>("dmt");
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 10; ++seed) {
        QTest::addRow("DMT %u", seed) << true << seed;
        QTest::addRow("PAM %u", seed) << false << seed;
    }
}

void tst_Tones::matchesTheReference()
{
    QFETCH(bool, dmt);
    QFETCH(quint32, seed);
    test::Randomiser r(seed * 40503u + (dmt ? 1u : 0u));
    const Curve curve(r, dmt);
    const QString dir = m_dir.filePath(QStringLiteral("%1-%2").arg(dmt ? "dmt" : "pam").arg(seed));
    QVERIFY(curve.write(dir));
    const reference::Model literal = curve.literal();

    const int total = test::totalLength(curve.sections);
    for (int k = 0; k < 3; ++k) {
        const int L = std::min(30000, total + (k == 0 ? 0 : r.integer(1, 4000)));
        reference::Trace expected;
        const float rate = literal.rate(curve.m, float(curve.E), float(curve.X), float(curve.margin), float(L), &expected);

        const Run t = calc(QStringList{"tones"} + curve.args(dir, {"--length", QString::number(L)}));
        QVERIFY2(t.code == 0, t.err.constData());
        // An empty noise table is worth a warning, nothing else is.
        QVERIFY2(t.err.isEmpty() || (curve.noise.count == 0 && t.err.count('\n') == 1), t.err.constData());
        QCOMPARE(t.out, expectedBytes(expected, dmt));

        // The rate the table prints for the same curve and length: the bits add up to it.
        const Run table = calc(QStringList{"table"}
                               + curve.args(dir, {"--from", QString::number(L), "--to", QString::number(L), "--step", "10"}));
        QVERIFY2(table.code == 0, table.err.constData());
        const QList<QByteArray> lines = table.out.split('\n');
        QCOMPARE(lines.size(), 3);
        const QByteArray shown = lines.at(1).split(';').value(1);
        QCOMPARE(shown, floatText(rate));
        if (dmt) {
            float sum = 0;
            for (const reference::ToneStep &s : expected.tones)
                sum = float(double(sum) + 4.0 * double(s.bits));
            QCOMPARE(floatText(sum), shown);
        } else if (rate > 0) {
            QCOMPARE(floatText(expected.candidates.last().R), shown);
        }

        // qualify at the same loop: the same rate, and the margin command's margin at a target.
        const int target = std::max(1, int(rate));
        const Run margin = calc(QStringList{"margin", "--rate", QString::number(target)}
                                + curve.args(dir, {"--from", QString::number(L), "--to", QString::number(L)}, Curve::Margin));
        QVERIFY2(margin.code == 0, margin.err.constData());
        QByteArray loop = "id;cable;length;sections\nl;swept;" + QByteArray::number(L) + ';';
        for (int i = 0; i < curve.sections.size(); ++i)
            loop += QStringLiteral("%1s%2:%3").arg(i ? "+" : "").arg(i).arg(curve.sections[i].length).toUtf8();
        const Run qualified = calc(QStringList{"qualify"}
                                       + curve.args(dir, {"--rate", QString::number(target), "-"}, Curve::Qualify),
                                   loop + '\n');
        QVERIFY2(qualified.code == 0, qualified.err.constData());
        QCOMPARE(qualified.out.split('\n').at(1), "l;" + shown + ';' + margin.out.split('\n').at(1).split(';').at(1)
                                                       + (rate >= float(target) ? ";да;;" : ";нет;;"));
    }
}

void tst_Tones::samples_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("firstLine"); // after the header
    QTest::addColumn<int>("lines");            // after the header
    // The downstream band from 142.3125 kHz, 4.3125 kHz apart, up to 2203.6875 kHz.
    QTest::newRow("ADSL2+ at 3 km on 0.4 mm")
        << QStringList{"--line", "ADSL2+_DS.DMT", "--cable", "PE-0.40mm-26AWG", "--length", "3000"}
        << QByteArray("142.313;-40;") << 479;
    QTest::newRow("VDSL2 behind a section, loaded cable")
        << QStringList{"--line", "VDSL2-8b_DS.DMT", "--section", "PE-0.64mm-22AWG:300", "--length", "1300",
                       "--load", "10", "--elfext", "40", "--margin", "6"}
        << QByteArray() << -1;
    QTest::newRow("SHDSL at 0 m passes at once")
        << QStringList{"--line", "SHDSL_PAM16.PAM", "--length", "0"} << QByteArray() << 1;
}

void tst_Tones::samples()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, firstLine);
    QFETCH(int, lines);
    const Run t = calc(QStringList{"tones", "-C", Samples} + args);
    QVERIFY2(t.code == 0, t.err.constData());
    QCOMPARE(t.err, QByteArray());
    QVERIFY(!t.out.contains('\r'));
    QVERIFY(t.out.endsWith('\n'));
    QList<QByteArray> rows = t.out.split('\n');
    rows.removeLast();
    QVERIFY(rows.size() > 1);
    const bool dmt = args.at(1).endsWith(".DMT");
    QCOMPARE(rows.first() + '\n', dmt ? DmtHeader : PamHeader);
    if (!firstLine.isEmpty())
        QVERIFY2(rows.at(1).startsWith(firstLine), rows.at(1).constData());
    if (lines >= 0)
        QCOMPARE(rows.size() - 1, lines);
    float sum = 0;
    for (const QByteArray &row : std::as_const(rows)) {
        QCOMPARE(row.count(';'), dmt ? 6 : 4);
        if (dmt && row != rows.first())
            sum = float(double(sum) + 4.0 * row.split(';').at(5).toDouble());
    }
    // The table at the same length shows what the tones carry, or the last candidate tried.
    QStringList tableArgs = args;
    const int at = int(tableArgs.indexOf("--length"));
    tableArgs[at] = "--from";
    tableArgs << "--to" << tableArgs.at(at + 1);
    const Run table = calc(QStringList{"-C", Samples} + tableArgs);
    QVERIFY2(table.code == 0, table.err.constData());
    const QByteArray rate = table.out.split('\n').at(1).split(';').at(1);
    QCOMPARE(rate, dmt ? floatText(sum) : rows.last().split(';').first());
}

void tst_Tones::headerAlone_data()
{
    QTest::addColumn<QVector<QVector<double>>>("rows");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("warning");
    QTest::newRow("DMT template of one row")
        << QVector<QVector<double>>{{25.875, -40, 15, -140}} << QStringLiteral("one.DMT") << QByteArray("one.DMT");
    QTest::newRow("PAM with K = 0") << QVector<QVector<double>>{{0, 13.5, 192, 2304, -140}} << QStringLiteral("k0.PAM")
                                    << QByteArray("K below 1");
    QTest::newRow("PAM with Rmax below Rmin - 32")
        << QVector<QVector<double>>{{3, 13.5, 2304, 192, -140}} << QStringLiteral("empty.PAM")
        << QByteArray("no rate to try");
}

void tst_Tones::headerAlone()
{
    QFETCH(QVector<QVector<double>>, rows);
    QFETCH(QString, file);
    QFETCH(QByteArray, warning);
    const QString dir = m_dir.filePath(QStringLiteral("empty-%1").arg(file));
    QVERIFY(test::writeRows(QDir(dir).filePath(QStringLiteral("Cable/c.att")), {{1, 1.8}, {30000, 150}}));
    QVERIFY(test::writeRows(QDir(dir).filePath(QStringLiteral("xDSL/") + file), rows));
    const Run t = calc({"tones", "-C", dir, "--cable", "c", "--line", file, "--noise", "", "--length", "1000"});
    QCOMPARE(t.code, 0);
    QCOMPARE(t.out, file.endsWith(QLatin1String(".DMT")) ? DmtHeader : PamHeader);
    if (warning.isEmpty())
        QCOMPARE(t.err, QByteArray());
    else
        QVERIFY2(t.err.startsWith("kolvane-calc: warning: ") && t.err.contains(warning), t.err.constData());
}

void tst_Tones::refused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("no length") << QStringList{} << "--length is required";
    QTest::newRow("length twice") << QStringList{"--length", "10", "--length", "20"} << "--length given more than once";
    QTest::newRow("length beyond 30 km") << QStringList{"--length", "30001"} << "--length: 30001 is outside 0..30000";
    QTest::newRow("negative length") << QStringList{"--length", "-1"} << "--length: -1 is outside 0..30000";
    QTest::newRow("length not whole") << QStringList{"--length", "1.5"} << "\"1.5\" is not a whole number";
    QTest::newRow("length inside the sections")
        << QStringList{"--length", "1000", "--section", "PE-0.64mm-22AWG:1500"}
        << "--length 1000 is below the sections' total of 1500 m";
    QTest::newRow("a sweep's option") << QStringList{"--length", "1000", "--from", "500"} << "from";
    QTest::newRow("a family of loads") << QStringList{"--length", "1000", "--load", "1,5"}
                                       << "--load has 2 values; tones shows one curve";
    QTest::newRow("a family of margins") << QStringList{"--length", "1000", "--margin", "0,6,12"}
                                         << "--margin has 3 values";
    QTest::newRow("a family of line types")
        << QStringList{"--length", "1000", "--line", "ADSL_DS.DMT", "--line", "SHDSL_PAM16.PAM"} << "--line has 2 values";
    QTest::newRow("a family of cables")
        << QStringList{"--length", "1000", "--cable", "PE-0.40mm-26AWG", "--cable", "PE-0.50mm-24AWG"}
        << "--cable has 2 values";
    QTest::newRow("a family of NEXT norms") << QStringList{"--length", "1000", "--next", "40,50"} << "--next has 2 values";
    QTest::newRow("a family of ELFEXT norms") << QStringList{"--length", "1000", "--elfext", "40,50"}
                                              << "--elfext has 2 values";
    QTest::newRow("missing line type") << QStringList{"--length", "1000", "--line", "none.DMT"} << "none.DMT";
}

void tst_Tones::refused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mentions);
    const Run t = calc(QStringList{"tones", "-C", Samples} + args);
    QCOMPARE(t.code, 2);
    QCOMPARE(t.out, QByteArray());
    QVERIFY2(t.err.startsWith("kolvane-calc: "), t.err.constData());
    QVERIFY2(t.err.endsWith('\n') && t.err.count('\n') == 1, t.err.constData());
    QVERIFY2(QString::fromUtf8(t.err).contains(mentions), t.err.constData());
}

void tst_Tones::outputFile()
{
    const QStringList args{"tones", "-C", Samples, "--line", "SHDSL_PAM32.PAM", "--length", "4000", "--load", "10"};
    const Run shown = calc(args);
    QCOMPARE(shown.code, 0);
    const QString path = m_dir.filePath(QStringLiteral("tones.csv"));
    const Run written = calc(args + QStringList{"-o", path});
    QCOMPARE(written.code, 0);
    QCOMPARE(written.out, QByteArray());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), shown.out);
}

QTEST_GUILESS_MAIN(tst_Tones)
#include "tst_tones.moc"
