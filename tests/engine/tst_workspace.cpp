#include "engine/workspace.h"

#include <QtTest>

namespace {

void touch(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(path));
}

// A workspace with the given entries (a trailing "/" makes a subdirectory).
void populate(const QDir &root, const QString &directory, const QStringList &entries)
{
    root.mkpath(directory);
    const QDir dir(root.filePath(directory));
    for (const QString &entry : entries) {
        if (entry.endsWith(QLatin1Char('/')))
            dir.mkpath(entry.chopped(1));
        else
            touch(dir.filePath(entry));
    }
}

} // namespace

class tst_Workspace : public QObject
{
    Q_OBJECT

private slots:
    void listing_data();
    void listing();
    void listingMissingDirectory();
    void cableName_data();
    void cableName();
    void noiseName_data();
    void noiseName();
    void templateNames_data();
    void templateNames();
    void workspacePaths();

    void defaultsOnWorkspace();
    void defaultsFollowNameOrder();
    void defaultsFromCurrentDirectory();
    void defaultsWithoutTemplates_data();
    void defaultsWithoutTemplates();
    void defaultsOnSampleWorkspace();
};

void tst_Workspace::listing_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("case ignored") << QStringList{"c.att", "B.att", "a.att"}
                                  << QStringList{"a.att", "B.att", "c.att"};
    QTest::newRow("hidden entries left out")
        << QStringList{".hidden.att", "x.att", ".git/"} << QStringList{"x.att"};
    QTest::newRow("subdirectories and foreign files listed")
        << QStringList{"sub/", "notes.txt", "k.att"} << QStringList{"k.att", "notes.txt", "sub"};
    // The whole entry is compared, extension included: '+' sorts before '.', '_' after digits.
    QTest::newRow("punctuation in names")
        << QStringList{"ADSL_DS.DMT", "ADSL2_DS.DMT", "ADSL2+_DS.DMT"}
        << QStringList{"ADSL2+_DS.DMT", "ADSL2_DS.DMT", "ADSL_DS.DMT"};
    QTest::newRow("prefix before longer name")
        << QStringList{"AWGN-140.add", "AWGN-140+ISDN.add", "AWGN-130.add"}
        << QStringList{"AWGN-130.add", "AWGN-140+ISDN.add", "AWGN-140.add"};
    QTest::newRow("empty directory") << QStringList{} << QStringList{};
}

void tst_Workspace::listing()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, expected);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    populate(QDir(tmp.path()), QStringLiteral("Cable"), entries);
    QCOMPARE(listTemplateEntries(tmp.filePath(QStringLiteral("Cable"))), expected);
}

void tst_Workspace::listingMissingDirectory()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(listTemplateEntries(tmp.filePath(QStringLiteral("nowhere"))).isEmpty());
}

void tst_Workspace::cableName_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "a.att" << "a";
    QTest::newRow("dots inside the name") << "PE-0.40mm-26AWG.att" << "PE-0.40mm-26AWG";
    QTest::newRow("cut before the first .att") << "q.att.old" << "q";
    QTest::newRow("no extension: whole name") << "notes" << "notes";
    QTest::newRow("extension is case-sensitive") << "x.ATT" << "x.ATT";
    QTest::newRow("foreign extension kept") << "y.txt" << "y.txt";
}

void tst_Workspace::cableName()
{
    QFETCH(QString, entry);
    QFETCH(QString, name);
    QCOMPARE(cableNameFromEntry(entry), name);
}

void tst_Workspace::noiseName_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "white.add" << "white";
    // Cut like cable names: a dot inside the name stays, or the run looks for another file.
    QTest::newRow("dot inside the name") << "AWGN-140.5.add" << "AWGN-140.5";
    QTest::newRow("dots before .add") << "a.b.add" << "a.b";
    QTest::newRow("cut before the first .add") << "n.add.old" << "n";
    QTest::newRow("no extension: whole name") << "AWGN" << "AWGN";
    QTest::newRow("foreign extension kept") << "notes.txt" << "notes.txt";
    QTest::newRow("extension is case-sensitive") << "x.ADD" << "x.ADD";
    QTest::newRow("plus sign kept") << "AWGN-140+ISDN24-NEXT.add" << "AWGN-140+ISDN24-NEXT";
    QTest::newRow("nothing before .add") << ".add" << "";
}

void tst_Workspace::noiseName()
{
    QFETCH(QString, entry);
    QFETCH(QString, name);
    QCOMPARE(noiseNameFromEntry(entry), name);
}

void tst_Workspace::templateNames_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    const QString outside = QStringLiteral("is not a template file name");
    QTest::newRow("cable") << int(CableAttenuation) << "PE-0.40mm-26AWG" << "";
    QTest::newRow("line type with dots") << int(LineTypeDmt) << "ADSL2+_DS.DMT" << "";
    QTest::newRow("dots inside a name") << int(AdditiveNoise) << "..x.." << "";
    QTest::newRow("no noise") << int(AdditiveNoise) << "" << "";
    QTest::newRow("out of the workspace") << int(LineTypePam) << "../../../../etc/passwd" << outside;
    QTest::newRow("absolute path") << int(CableAttenuation) << "/etc/passwd" << outside;
    QTest::newRow("subdirectory") << int(CableAttenuation) << "sub/x" << outside;
    QTest::newRow("backslash") << int(AdditiveNoise) << "..\\x" << outside;
    QTest::newRow("dot") << int(LineTypeDmt) << "." << outside;
    QTest::newRow("dot dot") << int(AdditiveNoise) << ".." << outside;
    // Shown with the character's picture, so the message stays on one line.
    QTest::newRow("line break") << int(CableAttenuation) << "K\n1"
                                << "cable name \"K\u240A1\" holds a control character (U+000A)";
    QTest::newRow("NUL") << int(LineTypeDmt) << QStringLiteral("a%1.DMT").arg(QChar(0))
                         << "line type name \"a\u2400.DMT\" holds a control character (U+0000)";
    QTest::newRow("DEL") << int(AdditiveNoise) << "n\x7f" << "noise name \"n\u2421\" holds a control character (U+007F)";
}

void tst_Workspace::templateNames()
{
    QFETCH(int, kind);
    QFETCH(QString, name);
    QFETCH(QString, refusal);
    QString error;
    QCOMPARE(checkTemplateName(TemplateKind(kind), name, &error), refusal.isEmpty());
    QVERIFY2(error.contains(refusal), qPrintable(error));
}

void tst_Workspace::workspacePaths()
{
    QCOMPARE(workspacePath(QString(), QStringLiteral("Cable/a.att")), QStringLiteral("Cable/a.att"));
    QCOMPARE(workspacePath(QStringLiteral("/w"), QStringLiteral("Cable/a.att")),
             QStringLiteral("/w/Cable/a.att"));
    QCOMPARE(workspacePath(QStringLiteral("/w/"), QStringLiteral("xDSL")), QStringLiteral("/w/xDSL"));
}

void tst_Workspace::defaultsOnWorkspace()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDir root(tmp.path());
    populate(root, QStringLiteral("Cable"), {"b.att", "a.att.old", "c.att"});
    populate(root, QStringLiteral("xDSL"), {"y.PAM", "x.DMT"});
    populate(root, QStringLiteral("AddNoise"), {"d.add", "a.add", "c.x.add", "b.add"});

    const CalcSettings s = defaultCalcSettings(tmp.path());
    QCOMPARE(s.cableTypes, QStringList{QStringLiteral("a")});
    QCOMPARE(s.lineTypes, QStringList{QStringLiteral("x.DMT")});
    QCOMPARE(s.noiseTemplate, QStringLiteral("c.x"));
    QCOMPARE(s.cableCapacity, 4);
    QCOMPARE(s.xDSL_points, QVector<int>{1});
    QCOMPARE(s.Norm_ELFEXT_points, QVector<float>{10});
    QCOMPARE(s.Norm_NEXT_points, QVector<float>{10});
    QCOMPARE(s.norm_ELFEXT_frequency, 300.0f);
    QCOMPARE(s.norm_NEXT_frequency, 300.0f);
    QCOMPARE(s.cableLengthFrom, 1000);
    QCOMPARE(s.cableLengthTo, 10000);
    QCOMPARE(s.cableLengthStep, 1000);
    QCOMPARE(s.SNRMargin_points, QVector<float>{0});
    QCOMPARE(s.cableTypesText, QStringLiteral("a"));
    QCOMPARE(s.xDSL_pointsText, QStringLiteral("1"));
    QCOMPARE(s.norm_ELFEXT_Text, QStringLiteral("10дБ(300кГц)"));
    QCOMPARE(s.norm_NEXT_Text, QStringLiteral("10дБ(300кГц)"));
    QCOMPARE(s.SNRMarginText, QStringLiteral("0 дБ"));
    QCOMPARE(s.lineTypesText, QStringLiteral("x.DMT"));
}

void tst_Workspace::defaultsFollowNameOrder()
{
    // Creation order and case must not decide which template is the default.
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDir root(tmp.path());
    populate(root, QStringLiteral("Cable"), {"Zeta.att", "alpha.att", "Beta.att"});
    populate(root, QStringLiteral("xDSL"), {"vdsl.DMT", "Adsl.PAM"});
    populate(root, QStringLiteral("AddNoise"), {"Q.add", "p.add", "R.add", "o.add"});
    const CalcSettings s = defaultCalcSettings(tmp.path());
    QCOMPARE(s.cableTypes, QStringList{QStringLiteral("alpha")});
    QCOMPARE(s.lineTypes, QStringList{QStringLiteral("Adsl.PAM")});
    QCOMPARE(s.noiseTemplate, QStringLiteral("Q"));
}

void tst_Workspace::defaultsFromCurrentDirectory()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDir root(tmp.path());
    populate(root, QStringLiteral("Cable"), {"k.att"});
    populate(root, QStringLiteral("xDSL"), {"l.PAM"});
    populate(root, QStringLiteral("AddNoise"), {"1.add", "2.add", "3.add"});
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tmp.path()));
    const CalcSettings s = defaultCalcSettings();
    QVERIFY(QDir::setCurrent(previous));
    QCOMPARE(s.cableTypes, QStringList{QStringLiteral("k")});
    QCOMPARE(s.lineTypes, QStringList{QStringLiteral("l.PAM")});
    QCOMPARE(s.noiseTemplate, QStringLiteral("3"));
    QCOMPARE(defaultCalcSettings(tmp.path()), s);
}

void tst_Workspace::defaultsWithoutTemplates_data()
{
    QTest::addColumn<bool>("createDirectories");
    QTest::addColumn<QStringList>("noises");
    QTest::newRow("missing directories") << false << QStringList{};
    QTest::newRow("empty directories") << true << QStringList{};
    QTest::newRow("two noise files") << true << QStringList{"a.add", "b.add"};
}

void tst_Workspace::defaultsWithoutTemplates()
{
    QFETCH(bool, createDirectories);
    QFETCH(QStringList, noises);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDir root(tmp.path());
    if (createDirectories) {
        populate(root, QStringLiteral("Cable"), {});
        populate(root, QStringLiteral("xDSL"), {});
        populate(root, QStringLiteral("AddNoise"), noises);
    }
    const CalcSettings s = defaultCalcSettings(tmp.path());
    QVERIFY(s.cableTypes.isEmpty());
    QVERIFY(s.lineTypes.isEmpty());
    QVERIFY(s.noiseTemplate.isEmpty());
    QVERIFY(s.cableTypesText.isEmpty());
    QVERIFY(s.lineTypesText.isEmpty());
    // Everything that does not come from a directory keeps its default.
    QCOMPARE(s.cableCapacity, 4);
    QCOMPARE(s.xDSL_points, QVector<int>{1});
    QCOMPARE(s.cableLengthTo, 10000);
    QCOMPARE(s.SNRMarginText, QStringLiteral("0 дБ"));
}

void tst_Workspace::defaultsOnSampleWorkspace()
{
    // The bundled workspace opens on a 0.4 mm cable, ADSL2+ and background white noise.
    const CalcSettings s = defaultCalcSettings(QStringLiteral(KOLVANE_SOURCE_DIR "/samples/workspace"));
    QCOMPARE(s.cableTypes, QStringList{QStringLiteral("PE-0.40mm-26AWG")});
    QCOMPARE(s.lineTypes, QStringList{QStringLiteral("ADSL2+_DS.DMT")});
    QCOMPARE(s.noiseTemplate, QStringLiteral("AWGN-140"));
}

QTEST_GUILESS_MAIN(tst_Workspace)
#include "tst_workspace.moc"
