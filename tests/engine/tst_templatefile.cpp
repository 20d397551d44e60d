#include "engine/messages.h"
#include "engine/templatefile.h"

#include "fulldisk.h"
#include "ordinaryuser.h"
#include "piperescue.h"

#include <QtTest>

#include <cmath>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(TemplateKind)
Q_DECLARE_METATYPE(TemplateCell)

// Failure messages show the cell, not just "not the same".
char *toString(const TemplateCell &c)
{
    return QTest::toString(QStringLiteral("(%1, %2, %3)").arg(c.row).arg(c.column).arg(c.value, 0, 'g', 17));
}

using Cells = QVector<TemplateCell>;

namespace {

// Raw big-endian cell, written by hand so the tests do not depend on the writer they check.
QByteArray rawCell(qint16 row, qint16 column, double value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out.setFloatingPointPrecision(QDataStream::DoublePrecision);
    out << row << column << value;
    return bytes;
}

QByteArray rawCells(const Cells &cells)
{
    QByteArray bytes;
    for (const TemplateCell &c : cells)
        bytes += rawCell(c.row, c.column, c.value);
    return bytes;
}

// Cells of a table given row by row, in the writer's order.
Cells table(const QVector<QVector<double>> &rows)
{
    Cells cells;
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            cells.append({qint16(r), qint16(c), rows[r][c]});
    return cells;
}

QVector<float> floats(const QVector<double> &values)
{
    QVector<float> out;
    for (double v : values)
        out << float(v);
    return out;
}

} // namespace

class tst_TemplateFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString put(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        file.write(bytes);
        return path;
    }
    QByteArray contents(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void cellBytes_data();
    void cellBytes();
    void writerKeepsCellOrder();
    void roundTrip_data();
    void roundTrip();
    void trailingFragment();

    void twoColumnReader_data();
    void twoColumnReader();
    void dmtTruncatedLastRow();
    void manyRows();
    void pamFirstRowColumns();
    void pamTruncation_data();
    void pamTruncation();
    void unreadableFileEmptiesRecord();

    void failedWriteOnImpossiblePath();
    void failedWriteKeepsOldFile();
    void fullDiskKeepsOldTemplate();
    void fifoIsRefusedWithoutWaiting();
    void unreadableFileSaysPermissionDenied();
};

void tst_TemplateFile::cellBytes_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("row 1 column 2 holding 3.5")
        << 1 << 2 << 3.5 << QByteArray::fromHex("00010002400C000000000000");
    QTest::newRow("zero cell") << 0 << 0 << 0.0 << QByteArray::fromHex("000000000000000000000000");
    QTest::newRow("negative noise level")
        << 258 << 3 << -140.0 << QByteArray::fromHex("01020003C061800000000000");
    QTest::newRow("negative row field") << -1 << 0 << 1.0 << QByteArray::fromHex("FFFF00003FF0000000000000");
    QTest::newRow("tone frequency")
        << 0 << 0 << 142.3125 << QByteArray::fromHex("000000004061CA0000000000");
}

void tst_TemplateFile::cellBytes()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(double, value);
    QFETCH(QByteArray, bytes);
    const QString path = m_dir.filePath(QStringLiteral("cell.att"));
    QString error;
    QVERIFY2(writeTemplateCells(path, {{qint16(row), qint16(column), value}}, &error),
             qPrintable(error));
    QCOMPARE(contents(path).toHex(), bytes.toHex());

    Cells cells;
    QVERIFY(readTemplateCells(path, &cells));
    QCOMPARE(cells.size(), 1);
    QCOMPARE(int(cells[0].row), row);
    QCOMPARE(int(cells[0].column), column);
    QCOMPARE(cells[0].value, value);
}

void tst_TemplateFile::writerKeepsCellOrder()
{
    // No header, no count, no trailer: the file is the cells as given, 12 bytes each.
    const Cells cells = {{3, 1, 2.0}, {0, 0, -1.0}, {3, 0, 0.5}};
    const QString path = m_dir.filePath(QStringLiteral("order.add"));
    QVERIFY(writeTemplateCells(path, cells));
    QCOMPARE(contents(path), rawCells(cells));

    QVERIFY(writeTemplateCells(path, {}));
    QCOMPARE(QFileInfo(path).size(), 0);
    Cells back = {{1, 1, 1.0}};
    QVERIFY(readTemplateCells(path, &back));
    QVERIFY(back.isEmpty());
}

void tst_TemplateFile::roundTrip_data()
{
    QTest::addColumn<TemplateKind>("kind");
    QTest::addColumn<QVector<QVector<double>>>("rows");
    QTest::newRow("cable") << CableAttenuation
                           << QVector<QVector<double>>{{1, 1.83}, {1104, 26.75}, {30000, 149.88}};
    QTest::newRow("dmt") << LineTypeDmt
                         << QVector<QVector<double>>{{142.3125, -40, 15, -140},
                                                     {3751.875, -56.5, 0, -140},
                                                     {17659.6875, -56.5, 15, -140}};
    QTest::newRow("pam") << LineTypePam << QVector<QVector<double>>{{3, 13.5, 192, 2304, -140}};
    QTest::newRow("noise") << AdditiveNoise
                           << QVector<QVector<double>>{{5, -119.0}, {1080, -136.5}, {30000, -140}};
    QTest::newRow("new file: one row of zeros")
        << LineTypePam << QVector<QVector<double>>{{0, 0, 0, 0, 0}};
}

void tst_TemplateFile::roundTrip()
{
    QFETCH(TemplateKind, kind);
    QFETCH(QVector<QVector<double>>, rows);
    const Cells cells = table(rows);
    QCOMPARE(cells.size(), rows.size() * templateColumnCount(kind));
    const QString path = m_dir.filePath(QStringLiteral("trip") + templateExtension(kind));
    QString error;
    QVERIFY2(writeTemplateCells(path, cells, &error), qPrintable(error));
    QCOMPARE(QFileInfo(path).size(), qint64(cells.size()) * 12);

    Cells back;
    QVERIFY(readTemplateCells(path, &back));
    QCOMPARE(back, cells);

    // The calculation's reader of the kind sees every row, each column in its place.
    const auto column = [&](int c) {
        QVector<double> v;
        for (const auto &row : rows)
            v << row[c];
        return v;
    };
    switch (kind) {
    case CableAttenuation: {
        CableTemplate t;
        QVERIFY(readTwoColumnTemplate(path, t));
        QCOMPARE(t.count, rows.size());
        QCOMPARE(t.F, floats(column(0)));
        QCOMPARE(t.a, floats(column(1)));
        break;
    }
    case AdditiveNoise: {
        NoiseTemplate t;
        QVERIFY(readTwoColumnTemplate(path, t));
        QCOMPARE(t.count, rows.size());
        QCOMPARE(t.F, floats(column(0)));
        QCOMPARE(t.N, floats(column(1)));
        break;
    }
    case LineTypeDmt: {
        LineTypeTemplate t;
        QVERIFY(readDmtTemplate(path, t));
        QCOMPARE(t.kind, LineTypeDmt);
        QCOMPARE(t.count, rows.size());
        QCOMPARE(t.F, floats(column(0)));
        QCOMPARE(t.S, floats(column(1)));
        QCOMPARE(t.Kmax, floats(column(2)));
        QCOMPARE(t.N, floats(column(3)));
        break;
    }
    case LineTypePam: {
        LineTypeTemplate t;
        QVERIFY(readPamTemplate(path, t));
        QCOMPARE(t.kind, LineTypePam);
        QCOMPARE(t.count, rows.size());
        QCOMPARE(t.K.value(0), qint32(rows[0][0]));
        QCOMPARE(t.P, floats(column(1)));
        QCOMPARE(t.Rmin, floats(column(2)));
        QCOMPARE(t.Rmax, floats(column(3)));
        QCOMPARE(t.N, floats(column(4)));
        break;
    }
    }
}

void tst_TemplateFile::trailingFragment()
{
    // A fragment shorter than one cell is not a cell: it is reported, not read as zeros.
    const Cells whole = table({{1, 2}, {3, 4}});
    const QString path = put(QStringLiteral("fragment.att"), rawCells(whole) + rawCell(2, 0, 5).left(7));
    Cells cells;
    int trailing = -1;
    QVERIFY(readTemplateCells(path, &cells, nullptr, &trailing));
    QCOMPARE(cells, whole);
    QCOMPARE(trailing, 7);

    CableTemplate t;
    QVERIFY(readTwoColumnTemplate(path, t));
    QCOMPARE(t.count, 2);
    QCOMPARE(t.F, (QVector<float>{1, 3}));
    QCOMPARE(t.a, (QVector<float>{2, 4}));
}

void tst_TemplateFile::twoColumnReader_data()
{
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<QVector<int>>("rows");
    QTest::addColumn<QVector<float>>("F");
    QTest::addColumn<QVector<float>>("a");

    QTest::newRow("empty file") << Cells{} << QVector<int>{} << QVector<float>{} << QVector<float>{};
    QTest::newRow("complete rows in file order")
        << table({{1, 1.83}, {10, 5.39}, {100, 10.77}}) << QVector<int>{0, 1, 2}
        << QVector<float>{1, 10, 100} << QVector<float>{1.83f, 5.39f, 10.77f};
    QTest::newRow("shuffled cells land by their fields")
        << Cells{{1, 1, 5.39}, {0, 0, 1}, {2, 0, 100}, {0, 1, 1.83}, {2, 1, 10.77}, {1, 0, 10}}
        << QVector<int>{0, 1, 2} << QVector<float>{1, 10, 100} << QVector<float>{1.83f, 5.39f, 10.77f};
    // An editor table whose row 0 lacks its F cell: the later values stay in their columns.
    QTest::newRow("gap in the first row")
        << Cells{{0, 1, 1.83}, {1, 0, 10}, {1, 1, 5.39}, {2, 0, 100}, {2, 1, 10.77}}
        << QVector<int>{1, 2} << QVector<float>{10, 100} << QVector<float>{5.39f, 10.77f};
    QTest::newRow("gap in the middle row")
        << Cells{{0, 0, 1}, {0, 1, 1.83}, {1, 0, 10}, {2, 0, 100}, {2, 1, 10.77}}
        << QVector<int>{0, 2} << QVector<float>{1, 100} << QVector<float>{1.83f, 10.77f};
    QTest::newRow("later duplicate replaces the earlier cell")
        << Cells{{0, 0, 1}, {0, 1, 1.83}, {0, 1, 2.5}} << QVector<int>{0} << QVector<float>{1}
        << QVector<float>{2.5f};
    QTest::newRow("column outside the kind ignored")
        << Cells{{0, 0, 1}, {0, 2, 99}, {0, 1, 1.83}, {0, -1, 98}} << QVector<int>{0}
        << QVector<float>{1} << QVector<float>{1.83f};
    QTest::newRow("negative row ignored")
        << Cells{{-1, 0, 7}, {-1, 1, 8}, {0, 0, 1}, {0, 1, 1.83}} << QVector<int>{0}
        << QVector<float>{1} << QVector<float>{1.83f};
    QTest::newRow("rows in ascending order, numbering gaps kept")
        << Cells{{5, 0, 50}, {5, 1, 9.35}, {2, 0, 20}, {2, 1, 7.10}} << QVector<int>{2, 5}
        << QVector<float>{20, 50} << QVector<float>{7.10f, 9.35f};
    QTest::newRow("values narrowed to float")
        << Cells{{0, 0, 0.1}, {0, 1, 1e-50}} << QVector<int>{0} << QVector<float>{0.1f}
        << QVector<float>{0.0f};
}

void tst_TemplateFile::twoColumnReader()
{
    QFETCH(Cells, cells);
    QFETCH(QVector<int>, rows);
    QFETCH(QVector<float>, F);
    QFETCH(QVector<float>, a);
    const QString path = put(QStringLiteral("reader.att"), rawCells(cells));

    CableTemplate cable;
    QString error;
    QVERIFY2(readTwoColumnTemplate(path, cable, &error), qPrintable(error));
    QCOMPARE(cable.count, rows.size());
    QCOMPARE(cable.rows, rows);
    QCOMPARE(cable.F, F);
    QCOMPARE(cable.a, a);

    // Noise templates share the reader.
    NoiseTemplate noise;
    QVERIFY(readTwoColumnTemplate(path, noise));
    QCOMPARE(noise.count, rows.size());
    QCOMPARE(noise.F, F);
    QCOMPARE(noise.N, a);
}

void tst_TemplateFile::dmtTruncatedLastRow()
{
    // A DMT file of three rows cut inside its last cell: the last row is incomplete and left out
    // instead of reading its N as 0 dBm/Hz, which would be a loud noise, not a missing value.
    const Cells cells = table({{142.3125, -40, 15, -140}, {1104, -40, 15, -140},
                               {2203.6875, -50, 15, -140}});
    const QByteArray full = rawCells(cells);
    LineTypeTemplate t;
    QVERIFY(readDmtTemplate(put(QStringLiteral("full.DMT"), full), t));
    QCOMPARE(t.count, 3);

    for (int cut : {1, 12, 13}) {
        QVERIFY(readDmtTemplate(put(QStringLiteral("cut.DMT"), full.left(full.size() - cut)), t));
        QCOMPARE(t.count, 2);
        QCOMPARE(t.F, (QVector<float>{142.3125f, 1104}));
        QCOMPARE(t.N, (QVector<float>{-140, -140}));
        QCOMPARE(t.rows, (QVector<int>{0, 1}));
    }
}

void tst_TemplateFile::manyRows()
{
    // More rows than the old fixed arrays held: all of them are read.
    QVector<QVector<double>> rows;
    for (int i = 0; i < 250; ++i)
        rows.append({double(i * 100 + 1), -140.0 + i * 0.01});
    const QString path = put(QStringLiteral("long.add"), rawCells(table(rows)));
    NoiseTemplate t;
    QVERIFY(readTwoColumnTemplate(path, t));
    QCOMPARE(t.count, 250);
    QCOMPARE(t.F.size(), 250);
    QCOMPARE(t.F.last(), 24901.0f);
    QCOMPARE(t.N.last(), float(-140.0 + 249 * 0.01));
    QCOMPARE(t.rows.last(), 249);
}

void tst_TemplateFile::pamFirstRowColumns()
{
    // Five columns in their meaning; cells beyond column 4 belong to no PAM column.
    const Cells cells = {{0, 4, -140}, {0, 5, 1}, {0, 3, 5696}, {0, 2, 768}, {0, 1, 14.5}, {0, 0, 4},
                         {1, 0, 3}, {1, 1, 13.5}};
    LineTypeTemplate t;
    QVERIFY(readPamTemplate(put(QStringLiteral("pam32.PAM"), rawCells(cells)), t));
    QCOMPARE(t.kind, LineTypePam);
    QCOMPARE(t.count, 1);
    QCOMPARE(t.K, (QVector<qint32>{4}));
    QCOMPARE(t.P, (QVector<float>{14.5f}));
    QCOMPARE(t.Rmin, (QVector<float>{768}));
    QCOMPARE(t.Rmax, (QVector<float>{5696}));
    QCOMPARE(t.N, (QVector<float>{-140}));
    QVERIFY(t.F.isEmpty());
}

void tst_TemplateFile::pamTruncation_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint32>("K");
    QTest::newRow("2.9 truncates down") << 2.9 << 2;
    QTest::newRow("-1.5 truncates toward zero") << -1.5 << -1;
    QTest::newRow("-0.9 is zero") << -0.9 << 0;
    QTest::newRow("whole value") << 3.0 << 3;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 0;
    QTest::newRow("above the int range") << 1e12 << std::numeric_limits<qint32>::max();
    QTest::newRow("below the int range") << -1e12 << std::numeric_limits<qint32>::min();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity()
                              << std::numeric_limits<qint32>::max();
}

void tst_TemplateFile::pamTruncation()
{
    QFETCH(double, value);
    QFETCH(qint32, K);
    const Cells cells = {{0, 0, value}, {0, 1, 13.5}, {0, 2, 192}, {0, 3, 2304}, {0, 4, -140}};
    LineTypeTemplate t;
    QVERIFY(readPamTemplate(put(QStringLiteral("k.PAM"), rawCells(cells)), t));
    QCOMPARE(t.count, 1);
    QCOMPARE(t.K.value(0), K);
}

void tst_TemplateFile::unreadableFileEmptiesRecord()
{
    // A record filled from one file and then pointed at a missing one must not keep the old data.
    const QString good = put(QStringLiteral("good.att"), rawCells(table({{1, 2}, {3, 4}})));
    const QString goodDmt = put(QStringLiteral("good.DMT"), rawCells(table({{1, 2, 3, 4}})));
    const QString goodPam = put(QStringLiteral("good.PAM"), rawCells(table({{1, 2, 3, 4, 5}})));
    const QString missing = m_dir.filePath(QStringLiteral("missing.att"));

    CableTemplate cable;
    QVERIFY(readTwoColumnTemplate(good, cable));
    QString error;
    QVERIFY(!readTwoColumnTemplate(missing, cable, &error));
    QVERIFY(error.contains(missing));
    QCOMPARE(cable.count, 0);
    QVERIFY(cable.F.isEmpty() && cable.a.isEmpty() && cable.rows.isEmpty());

    NoiseTemplate noise;
    QVERIFY(readTwoColumnTemplate(good, noise));
    QVERIFY(!readTwoColumnTemplate(missing, noise));
    QCOMPARE(noise.count, 0);
    QVERIFY(noise.F.isEmpty() && noise.N.isEmpty());

    LineTypeTemplate line;
    QVERIFY(readDmtTemplate(goodDmt, line));
    QVERIFY(!readDmtTemplate(missing, line));
    QCOMPARE(line.count, 0);
    QVERIFY(line.F.isEmpty() && line.S.isEmpty() && line.Kmax.isEmpty() && line.N.isEmpty());

    QVERIFY(readPamTemplate(goodPam, line));
    QVERIFY(!readPamTemplate(missing, line));
    QCOMPARE(line.count, 0);
    QVERIFY(line.K.isEmpty() && line.P.isEmpty() && line.Rmax.isEmpty());

    // A directory opens but is no template either.
    QVERIFY(!readTwoColumnTemplate(m_dir.path(), cable));
    QCOMPARE(cable.count, 0);
}

void tst_TemplateFile::failedWriteOnImpossiblePath()
{
    // The parent is a regular file: no user, root included, can create anything below it.
    const QString blocker = put(QStringLiteral("blocker"), "x");
    QString error;
    QVERIFY(!writeTemplateCells(blocker + QStringLiteral("/t.att"), table({{1, 2}}), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(contents(blocker), QByteArray("x"));
}

void tst_TemplateFile::failedWriteKeepsOldFile()
{
    if (::geteuid() == 0)
        QSKIP("running as root: a read-only directory is still writable");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("kept.att"));
    const Cells old = table({{1, 1.83}, {2, 2.56}});
    QVERIFY(writeTemplateCells(path, old));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

    QString error;
    const bool written = writeTemplateCells(path, table({{9, 9}}), &error);
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QCOMPARE(left, QStringList{QStringLiteral("kept.att")});
    Cells back;
    QVERIFY(readTemplateCells(path, &back));
    QCOMPARE(back, old);
}

void tst_TemplateFile::fullDiskKeepsOldTemplate()
{
    // Two rows fit in the stream's buffer: nothing reaches the disk before the file is closed,
    // and that failure must not turn into an empty template.
    FullDisk disk;
    if (!disk.available())
        QSKIP(qPrintable(disk.why()));
    const QString path = disk.filePath(QStringLiteral("x.att"));
    const Cells old = table({{1, 1.83}, {2, 2.56}});
    QVERIFY(writeTemplateCells(path, old));
    QVERIFY(disk.fill());

    QString error;
    QVERIFY(!writeTemplateCells(path, table({{1, 1.9}, {2, 2.6}}), &error));
    QCOMPARE(error, QStringLiteral("No space left on device"));
    Cells back;
    QVERIFY(readTemplateCells(path, &back));
    QCOMPARE(back, old);
}

void tst_TemplateFile::fifoIsRefusedWithoutWaiting()
{
    // A FIFO in a template directory (or a link to one) would wait forever for a writer.
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.att"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString link = m_dir.filePath(QStringLiteral("link.att"));
    QVERIFY(QFile::link(fifo, link));
    QElapsedTimer timer;
    timer.start();
    QString error;
    CableTemplate cable;
    bool readFifo = true;
    bool readLink = true;
    QString fifoError;
    {
        const PipeRescue rescue({fifo});
        readFifo = readTwoColumnTemplate(fifo, cable, &error);
        fifoError = error;
        readLink = readTwoColumnTemplate(link, cable, &error);
    }
    const qint64 elapsed = timer.elapsed();
    QVERIFY(elapsed < 2000);
    QVERIFY(!readFifo);
    // What the file is, not only what it is not.
    QCOMPARE(fifoError, fifo + QStringLiteral(" is not a template file: a named pipe, not a regular file"));
    QVERIFY(!readLink);
    QCOMPARE(error, link + QStringLiteral(" is not a template file: a named pipe, not a regular file"));
    QCOMPARE(cable.count, 0);
}

void tst_TemplateFile::unreadableFileSaysPermissionDenied()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && OrdinaryUser::openUp(dir.path()));
    const QString path = dir.filePath(QStringLiteral("locked.att"));
    QVERIFY(writeTemplateCells(path, table({{1, 1.83}, {2, 2.56}})));
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    QString english, russian;
    {
        const OrdinaryUser user;
        if (!user.active())
            QSKIP("cannot take an ordinary user's permissions");
        CableTemplate cable;
        QVERIFY(!readTwoColumnTemplate(path, cable, &english));
        setMessageLanguage(MessageLanguage::Russian);
        QVERIFY(!readTwoColumnTemplate(path, cable, &russian));
        setMessageLanguage(MessageLanguage::English);
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(english, QStringLiteral("Cannot read %1: Permission denied").arg(path));
    QCOMPARE(russian, QStringLiteral("Не удаётся прочитать %1: Доступ запрещён").arg(path));
}

QTEST_GUILESS_MAIN(tst_TemplateFile)
#include "tst_templatefile.moc"
