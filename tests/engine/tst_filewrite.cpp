#include "engine/filewrite.h"
#include "engine/messages.h"

#include "fulldisk.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <QtTest>

#include <future>
#include <thread>

#include <sys/stat.h>
#include <sys/types.h>

namespace {

ContentWriter bytes(const QByteArray &data)
{
    return [data](QIODevice &out, QString *) { return out.write(data) == data.size(); };
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool isFifo(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

} // namespace

class tst_FileWrite : public QObject
{
    Q_OBJECT

private slots:
    void init() { setMessageLanguage(MessageLanguage::English); }
    void cleanupTestCase() { setMessageLanguage(MessageLanguage::English); }

    void replacesAndCreates();
    void fullDiskKeepsTheOldFile_data();
    void fullDiskKeepsTheOldFile();
    void failedContentTouchesNothing();
    void refusedTargets_data();
    void refusedTargets();
    void fifoIsWrittenInPlace();
    void fifoWithoutReader();
    void deviceIsWrittenInPlace();
    void streamedReplacesAndCreates();
    void streamedFullDiskKeepsTheOldFile();
    void streamedFailureTouchesNothing();
    void streamedRefusedTargets_data();
    void streamedRefusedTargets();
    void streamedIntoPipesAndDevices();

private:
    QTemporaryDir m_dir;
};

void tst_FileWrite::replacesAndCreates()
{
    const QString path = m_dir.filePath(QStringLiteral("a.txt"));
    QString error;
    QVERIFY2(writeFileSafely(path, bytes("first"), &error), qPrintable(error));
    QCOMPARE(contents(path), QByteArray("first"));
    QVERIFY2(writeFileSafely(path, bytes("second, longer"), &error), qPrintable(error));
    QCOMPARE(contents(path), QByteArray("second, longer"));
    QVERIFY2(writeFileSafely(path, bytes(QByteArray()), &error), qPrintable(error));
    QCOMPARE(contents(path), QByteArray());
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});
}

void tst_FileWrite::fullDiskKeepsTheOldFile_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("reason");
    // A small write stays in a buffer until the file is closed: it must fail all the same.
    QTest::newRow("small, English") << int(MessageLanguage::English) << 48 << "No space left on device";
    QTest::newRow("small, Russian") << int(MessageLanguage::Russian) << 48 << "Нет места на диске";
    QTest::newRow("large") << int(MessageLanguage::English) << 200000 << "No space left on device";
}

void tst_FileWrite::fullDiskKeepsTheOldFile()
{
    QFETCH(int, language);
    QFETCH(int, size);
    QFETCH(QString, reason);
    FullDisk disk;
    if (!disk.available())
        QSKIP(qPrintable(disk.why()));
    const QString path = disk.filePath(QStringLiteral("kept.att"));
    QString error;
    QVERIFY2(writeFileSafely(path, bytes("old bytes"), &error), qPrintable(error));
    QVERIFY(disk.fill());

    setMessageLanguage(MessageLanguage(language));
    QVERIFY(!writeFileSafely(path, bytes(QByteArray(size, 'n')), &error));
    QCOMPARE(error, reason);
    QCOMPARE(contents(path), QByteArray("old bytes"));
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{".filler", "kept.att"}));
}

void tst_FileWrite::failedContentTouchesNothing()
{
    const QString path = m_dir.filePath(QStringLiteral("b.txt"));
    QVERIFY(writeFileSafely(path, bytes("kept")));
    QString error;
    const bool written = writeFileSafely(
        path,
        [](QIODevice &out, QString *why) {
            out.write("half of it");
            *why = QStringLiteral("the encoder gave up");
            return false;
        },
        &error);
    QVERIFY(!written);
    QCOMPARE(error, QStringLiteral("the encoder gave up"));
    QCOMPARE(contents(path), QByteArray("kept"));
    QCOMPARE(QDir(m_dir.path()).entryList({"b.txt*"}, QDir::Files | QDir::Hidden), QStringList{"b.txt"});
}

void tst_FileWrite::refusedTargets_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("directory") << "dir" << "Is a directory";
    QTest::newRow("below a file") << "plain/x.csv" << "Not a directory";
    QTest::newRow("missing directory") << "nowhere/x.csv" << "No such file or directory";
    QTest::newRow("no name") << "" << "No file name given";
}

void tst_FileWrite::refusedTargets()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dir")));
    QVERIFY(writeFileSafely(dir.filePath(QStringLiteral("plain")), bytes("x")));
    QString error;
    QVERIFY(!writeFileSafely(target.isEmpty() ? target : dir.filePath(target), bytes("data"), &error));
    QCOMPARE(error, reason);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("dir"))).isDir());
    QCOMPARE(contents(dir.filePath(QStringLiteral("plain"))), QByteArray("x"));
}

void tst_FileWrite::fifoIsWrittenInPlace()
{
    // A reader waits on a named pipe: it gets the data, and the pipe stays a pipe.
    const QString fifo = m_dir.filePath(QStringLiteral("pipe"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    std::future<QByteArray> received = std::async(std::launch::async, [fifo] { return contents(fifo); });
    QString error;
    QVERIFY2(writeFileSafely(fifo, bytes("through the pipe\n"), &error), qPrintable(error));
    QCOMPARE(received.get(), QByteArray("through the pipe\n"));
    QVERIFY(isFifo(fifo));

    // A link to it is followed, not replaced.
    const QString link = m_dir.filePath(QStringLiteral("pipe-link"));
    QVERIFY(QFile::link(fifo, link));
    received = std::async(std::launch::async, [fifo] { return contents(fifo); });
    QVERIFY2(writeFileSafely(link, bytes("again"), &error), qPrintable(error));
    QCOMPARE(received.get(), QByteArray("again"));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(isFifo(fifo));
}

void tst_FileWrite::fifoWithoutReader()
{
    // A window asks not to wait: no reader is an error at once, not a frozen program.
    const QString fifo = m_dir.filePath(QStringLiteral("lonely"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QElapsedTimer timer;
    timer.start();
    QString error;
    QVERIFY(!writeFileSafely(fifo, bytes("lost"), &error, PipeReader::DontWait));
    QVERIFY(timer.elapsed() < 2000);
    QCOMPARE(error, QStringLiteral("No process reads the pipe"));
    QVERIFY(isFifo(fifo));
}

void tst_FileWrite::deviceIsWrittenInPlace()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this system");
    // A device that is always full: the write itself fails, and the device is still one.
    QString error;
    QVERIFY(!writeFileSafely(QStringLiteral("/dev/full"), bytes("data"), &error));
    QCOMPARE(error, QStringLiteral("No space left on device"));
    struct stat st;
    QVERIFY(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
}

// Content written block by block, as a long run produces it.
ContentWriter blocks(int count, const QByteArray &block)
{
    return [count, block](QIODevice &out, QString *) {
        for (int i = 0; i < count; ++i)
            if (out.write(block) != block.size())
                return false;
        return true;
    };
}

void tst_FileWrite::streamedReplacesAndCreates()
{
    const QString path = m_dir.filePath(QStringLiteral("s.txt"));
    QString error;
    QVERIFY2(writeFileStreamed(path, blocks(3, "ab"), &error), qPrintable(error));
    QCOMPARE(contents(path), QByteArray("ababab"));
    QVERIFY2(writeFileStreamed(path, blocks(1000, QByteArray(1000, 'z')), &error), qPrintable(error));
    QCOMPARE(contents(path), QByteArray(1000000, 'z'));
    QVERIFY2(writeFileStreamed(path, blocks(0, "x"), &error), qPrintable(error));
    QCOMPARE(contents(path), QByteArray());
    QCOMPARE(QDir(m_dir.path()).entryList({"s.txt*"}, QDir::Files | QDir::Hidden), QStringList{"s.txt"});
}

void tst_FileWrite::streamedFullDiskKeepsTheOldFile()
{
    FullDisk disk;
    if (!disk.available())
        QSKIP(qPrintable(disk.why()));
    const QString path = disk.filePath(QStringLiteral("kept.csv"));
    QString error;
    QVERIFY2(writeFileStreamed(path, bytes("old bytes"), &error), qPrintable(error));
    // The disk fills up halfway through the content.
    QVERIFY(!writeFileStreamed(path, blocks(1000, QByteArray(1000, 'n')), &error));
    QCOMPARE(error, QStringLiteral("No space left on device"));
    QCOMPARE(contents(path), QByteArray("old bytes"));
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.csv"});
}

void tst_FileWrite::streamedFailureTouchesNothing()
{
    const QString path = m_dir.filePath(QStringLiteral("t.txt"));
    QVERIFY(writeFileStreamed(path, bytes("kept")));
    QString error;
    const bool written = writeFileStreamed(
        path,
        [](QIODevice &out, QString *why) {
            out.write(QByteArray(100000, 'h'));
            *why = QStringLiteral("the input could not be read");
            return false;
        },
        &error);
    QVERIFY(!written);
    QCOMPARE(error, QStringLiteral("the input could not be read"));
    QCOMPARE(contents(path), QByteArray("kept"));
    QCOMPARE(QDir(m_dir.path()).entryList({"t.txt*"}, QDir::Files | QDir::Hidden), QStringList{"t.txt"});
}

void tst_FileWrite::streamedRefusedTargets_data()
{
    refusedTargets_data();
}

void tst_FileWrite::streamedRefusedTargets()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dir")));
    QVERIFY(writeFileStreamed(dir.filePath(QStringLiteral("plain")), bytes("x")));
    QString error;
    QVERIFY(!writeFileStreamed(target.isEmpty() ? target : dir.filePath(target), bytes("data"), &error));
    QCOMPARE(error, reason);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("dir"))).isDir());
    QCOMPARE(contents(dir.filePath(QStringLiteral("plain"))), QByteArray("x"));
}

void tst_FileWrite::streamedIntoPipesAndDevices()
{
    const QString fifo = m_dir.filePath(QStringLiteral("stream-pipe"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    std::future<QByteArray> received = std::async(std::launch::async, [fifo] { return contents(fifo); });
    QString error;
    QVERIFY2(writeFileStreamed(fifo, blocks(300, QByteArray(1000, 'p')), &error), qPrintable(error));
    QCOMPARE(received.get(), QByteArray(300000, 'p'));
    QVERIFY(isFifo(fifo));

    QElapsedTimer timer;
    timer.start();
    QVERIFY(!writeFileStreamed(fifo, bytes("lost"), &error, PipeReader::DontWait));
    QVERIFY(timer.elapsed() < 2000);
    QCOMPARE(error, QStringLiteral("No process reads the pipe"));

    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this system");
    QVERIFY(!writeFileStreamed(QStringLiteral("/dev/full"), blocks(10, "data"), &error));
    QCOMPARE(error, QStringLiteral("No space left on device"));
    struct stat st;
    QVERIFY(::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
}

QTEST_GUILESS_MAIN(tst_FileWrite)
#include "tst_filewrite.moc"
