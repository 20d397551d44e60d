#include "workspacelauncher.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

static bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

static QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A sample workspace as the package installs it.
static void makeSamples(const QString &dir)
{
    writeFile(dir + "/Cable/TPP 0.4.att", "cable");
    writeFile(dir + "/xDSL/ADSL2+.DMT", "dmt");
    writeFile(dir + "/xDSL/SHDSL.PAM", "pam");
    writeFile(dir + "/AddNoise/white.add", "noise");
}

class tst_Launcher : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void currentDirectoryWithTemplatesIsKept_data();
    void currentDirectoryWithTemplatesIsKept();
    void firstStartSeedsWorkspaceFromSamples();
    void laterStartsKeepUserChanges();
    void missingSamplesAreReported_data();
    void missingSamplesAreReported();
    void unwritableDataHomeLeavesNothingBehind();
    void dataHome_data();
    void dataHome();
    void helpFileIsProvided();

private:
    QScopedPointer<QTemporaryDir> m_tmp;
    QString m_samples;
    QString m_dataHome;
    QString m_home;
};

void tst_Launcher::init()
{
    m_tmp.reset(new QTemporaryDir);
    QVERIFY(m_tmp->isValid());
    m_samples = m_tmp->filePath("usr/share/kolvane/workspace");
    m_dataHome = m_tmp->filePath("home/.local/share");
    m_home = m_tmp->filePath("home");
    makeSamples(m_samples);
    QDir().mkpath(m_home);
}

void tst_Launcher::currentDirectoryWithTemplatesIsKept_data()
{
    QTest::addColumn<QStringList>("dirs");
    QTest::addColumn<bool>("kept");
    QTest::newRow("all three") << QStringList{"Cable", "xDSL", "AddNoise"} << true;
    QTest::newRow("noise missing") << QStringList{"Cable", "xDSL"} << false;
    QTest::newRow("cable missing") << QStringList{"xDSL", "AddNoise"} << false;
    QTest::newRow("home folder") << QStringList{} << false;
    QTest::newRow("names in other case") << QStringList{"cable", "xdsl", "addnoise"} << false;
}

void tst_Launcher::currentDirectoryWithTemplatesIsKept()
{
    QFETCH(QStringList, dirs);
    QFETCH(bool, kept);
    const QString cwd = m_tmp->filePath("project");
    QDir().mkpath(cwd);
    for (const QString &dir : std::as_const(dirs))
        QDir(cwd).mkdir(dir);
    if (!kept && dirs.size() == 3) {
        // On a case-insensitive file system the wrong-case names still count; nothing to test.
        if (QFileInfo(cwd + "/Cable").isDir())
            QSKIP("case-insensitive file system");
    }

    QString error;
    const QString chosen = chooseWorkingDirectory(cwd, m_dataHome, m_samples, &error);
    QVERIFY2(!chosen.isEmpty(), qPrintable(error));
    QCOMPARE(chosen, kept ? QDir::cleanPath(cwd) : userWorkspace(m_dataHome));
    // A kept directory must not cause a workspace to be made on the side.
    QCOMPARE(QFileInfo::exists(userWorkspace(m_dataHome)), !kept);
}

void tst_Launcher::firstStartSeedsWorkspaceFromSamples()
{
    QString error;
    const QString chosen = chooseWorkingDirectory(m_home, m_dataHome, m_samples, &error);
    QVERIFY2(!chosen.isEmpty(), qPrintable(error));
    QCOMPARE(chosen, QDir::cleanPath(m_dataHome + "/kolvane/workspace"));
    QVERIFY(hasTemplateDirectories(chosen));
    QCOMPARE(readFile(chosen + "/Cable/TPP 0.4.att"), QByteArray("cable"));
    QCOMPARE(readFile(chosen + "/xDSL/ADSL2+.DMT"), QByteArray("dmt"));
    QCOMPARE(readFile(chosen + "/xDSL/SHDSL.PAM"), QByteArray("pam"));
    QCOMPARE(readFile(chosen + "/AddNoise/white.add"), QByteArray("noise"));
    QVERIFY(!QFileInfo::exists(chosen + ".partial"));
    QVERIFY(!QFileInfo::exists(m_home + "/Cable"));   // the home folder itself stays clean
}

void tst_Launcher::laterStartsKeepUserChanges()
{
    QString error;
    const QString first = chooseWorkingDirectory(m_home, m_dataHome, m_samples, &error);
    QVERIFY2(!first.isEmpty(), qPrintable(error));

    // The user edits one template, deletes another and adds one of their own.
    QVERIFY(writeFile(first + "/Cable/TPP 0.4.att", "edited by the user"));
    QVERIFY(QFile::remove(first + "/xDSL/SHDSL.PAM"));
    QVERIFY(writeFile(first + "/AddNoise/mine.add", "own"));
    // A newer package brings changed samples.
    QVERIFY(writeFile(m_samples + "/Cable/TPP 0.4.att", "new sample"));

    const QString second = chooseWorkingDirectory(m_home, m_dataHome, m_samples, &error);
    QCOMPARE(second, first);
    QCOMPARE(readFile(second + "/Cable/TPP 0.4.att"), QByteArray("edited by the user"));
    QVERIFY(!QFileInfo::exists(second + "/xDSL/SHDSL.PAM"));
    QCOMPARE(readFile(second + "/AddNoise/mine.add"), QByteArray("own"));

    // Even a workspace the user emptied is theirs; the samples are not copied over it.
    QVERIFY(QDir(second + "/Cable").removeRecursively());
    QCOMPARE(chooseWorkingDirectory(m_home, m_dataHome, m_samples, &error), first);
    QVERIFY(!QFileInfo::exists(first + "/Cable"));
}

void tst_Launcher::missingSamplesAreReported_data()
{
    QTest::addColumn<QString>("remove");
    QTest::newRow("no samples at all") << QString();
    QTest::newRow("samples without AddNoise") << QStringLiteral("AddNoise");
}

void tst_Launcher::missingSamplesAreReported()
{
    QFETCH(QString, remove);
    const QString target = remove.isEmpty() ? m_samples : m_samples + "/" + remove;
    QVERIFY(QDir(target).removeRecursively());

    QString error;
    QCOMPARE(chooseWorkingDirectory(m_home, m_dataHome, m_samples, &error), QString());
    QVERIFY2(error.contains(QDir::cleanPath(m_samples)), qPrintable(error));
    QVERIFY(!QFileInfo::exists(userWorkspace(m_dataHome)));
}

void tst_Launcher::unwritableDataHomeLeavesNothingBehind()
{
    // A regular file where a directory should be: fails for root as well as for users.
    const QString blocker = m_tmp->filePath("blocker");
    QVERIFY(writeFile(blocker, "x"));
    const QString dataHome = blocker + "/share";

    QString error;
    QCOMPARE(chooseWorkingDirectory(m_home, dataHome, m_samples, &error), QString());
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFileInfo::exists(userWorkspace(dataHome)));

    // A plain file in the workspace's place is reported, not replaced.
    QVERIFY(writeFile(userWorkspace(m_dataHome), "not a directory"));
    error.clear();
    QCOMPARE(chooseWorkingDirectory(m_home, m_dataHome, m_samples, &error), QString());
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(userWorkspace(m_dataHome)), QByteArray("not a directory"));
}

void tst_Launcher::dataHome_data()
{
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unset") << QString() << QStringLiteral("/home/u/.local/share");
    QTest::newRow("absolute") << QStringLiteral("/data/u/") << QStringLiteral("/data/u");
    QTest::newRow("relative is ignored") << QStringLiteral("data") << QStringLiteral("/home/u/.local/share");
}

void tst_Launcher::dataHome()
{
    QFETCH(QString, xdg);
    QFETCH(QString, expected);
    QProcessEnvironment environment;
    environment.insert("HOME", "/home/u");
    if (!xdg.isNull())
        environment.insert("XDG_DATA_HOME", xdg);
    QCOMPARE(xdgDataHome(environment), expected);
    QCOMPARE(userWorkspace(xdgDataHome(environment)), expected + "/kolvane/workspace");
}

void tst_Launcher::helpFileIsProvided()
{
    QString error;
    const QString workspace = chooseWorkingDirectory(m_home, m_dataHome, m_samples, &error);
    QVERIFY(!workspace.isEmpty());
    const QString installed = m_tmp->filePath("usr/share/kolvane/help.chm");

    // Not installed: nothing to do, and no error.
    QVERIFY(provideHelpFile(workspace, installed, &error));
    QVERIFY(!QFileInfo::exists(workspace + "/help.chm"));

    QVERIFY(writeFile(installed, "help v1"));
    QVERIFY2(provideHelpFile(workspace, installed, &error), qPrintable(error));
    QCOMPARE(readFile(workspace + "/help.chm"), QByteArray("help v1"));

    // An upgrade replaces the copy, even though the copy is newer on disk than the installed file.
    QVERIFY(writeFile(installed, "help version 2"));
    QVERIFY2(provideHelpFile(workspace, installed, &error), qPrintable(error));
    QCOMPARE(readFile(workspace + "/help.chm"), QByteArray("help version 2"));
    QVERIFY(!QFileInfo::exists(workspace + "/help.chm.new"));

    // A workspace that cannot be written keeps working: an error, no crash, no change elsewhere.
    QVERIFY(!provideHelpFile(m_tmp->filePath("blocker-missing/x"), installed, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(tst_Launcher)
#include "tst_launcher.moc"
