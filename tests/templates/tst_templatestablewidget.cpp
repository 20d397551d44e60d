#include "templates/templatestablewidget.h"

#include "widgets/decimalfield.h"
#include "templates/templatevalue.h"

#include "templatetestutil.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <atomic>
#include <limits>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(QVector<RawCell>)

class tst_TemplatesTableWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void openSaveKeepsBytes_data();
    void openSaveKeepsBytes();
    void shownText_data();
    void shownText();
    void editSaveReload_data();
    void editSaveReload();
    void reloadDropsEditsNotInFile();
    void validateFirstColumn_data();
    void validateFirstColumn();
    void modifiedMark();
    void typedTextIsKept_data();
    void typedTextIsKept();
    void pasteCopyAndUndo();
    void pasteBlocks_data();
    void pasteBlocks();
    void saveRefusesTextThatIsNotANumber();
    void insertAndDeleteLine();
    void failedSaveKeepsModified();
    void failedSaveInReadOnlyDirectoryKeepsOldFile();
    void unreadableFileLeavesTable();
    void strayCellsStayOutOfTheTable_data();
    void strayCellsStayOutOfTheTable();
    void tooManyRowsAreRefused();
    void fifoIsRefused();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void tst_TemplatesTableWidget::init()
{
    QVERIFY(m_dir.isValid());
}

void tst_TemplatesTableWidget::openSaveKeepsBytes_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVector<RawCell>>("cells");
    QTest::addColumn<int>("rows");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("cable") << int(CableAttenuation) << fullRows(3, 2) << 3;
    QTest::newRow("dmt") << int(LineTypeDmt) << fullRows(4, 4) << 4;
    QTest::newRow("pam") << int(LineTypePam) << fullRows(1, 5) << 1;
    QTest::newRow("noise") << int(AdditiveNoise) << fullRows(5, 2) << 5;
    QTest::newRow("150 rows") << int(CableAttenuation) << fullRows(150, 2) << 150;
    QTest::newRow("empty file") << int(CableAttenuation) << QVector<RawCell>() << 1;
    QTest::newRow("gap in row 2")
        << int(LineTypeDmt)
        << QVector<RawCell>{{0, 0, 1}, {0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {2, 0, 5}, {2, 1, 6}, {2, 3, 8}}
        << 3;
    QTest::newRow("values needing many digits")
        << int(AdditiveNoise)
        << QVector<RawCell>{{0, 0, double(0.1f)},       {0, 1, 1234567.0},
                            {1, 0, 16777216.0},         {1, 1, double(3.4028235e38f)},
                            {2, 0, double(1.17549435e-38f)}, {2, 1, double(-1.4e-45f)},
                            {3, 0, double(-2.2f)},      {3, 1, double(123456.789f)}}
        << 4;
    QTest::newRow("signed zero and non-finite")
        << int(CableAttenuation)
        << QVector<RawCell>{{0, 0, -0.0}, {0, 1, inf}, {1, 0, -inf}, {1, 1, std::nan("")}} << 2;
    QTest::newRow("doubles no float holds")
        << int(CableAttenuation) << QVector<RawCell>{{0, 0, 0.1}, {0, 1, 1e-300}} << 1;
    QTest::newRow("cell beyond the kind's columns")
        << int(CableAttenuation) << QVector<RawCell>{{0, 0, 1}, {0, 1, 2}, {0, 4, 9}} << 1;
}

void tst_TemplatesTableWidget::openSaveKeepsBytes()
{
    QFETCH(int, kind);
    QFETCH(QVector<RawCell>, cells);
    QFETCH(int, rows);

    const QByteArray bytes = cellBytes(cells);
    QVERIFY(writeBytes(path("t"), bytes));
    TemplatesTableWidget table;
    table.setTemplateKind(TemplateKind(kind));
    table.setFilePath(path("t"));
    QVERIFY(table.loadFromFile());
    QCOMPARE(table.rowCount(), rows);
    QVERIFY(!table.isModified());
    QString error;
    QVERIFY2(table.saveToFile(&error), qPrintable(error));
    QCOMPARE(readBytes(path("t")), bytes);
}

void tst_TemplatesTableWidget::shownText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0.1") << double(0.1f) << "0.1";
    QTest::newRow("1234567 in full") << 1234567.0 << "1234567";
    QTest::newRow("1e7") << 1e7 << "1e+07";
    QTest::newRow("-0.5") << -0.5 << "-0.5";
    QTest::newRow("1500 without exponent") << 1500.0 << "1500";
    QTest::newRow("float 0.3") << double(0.3f) << "0.3";
    QTest::newRow("1/3 needs eight digits") << double(1.0f / 3.0f) << "0.33333334";
    QTest::newRow("inf") << std::numeric_limits<double>::infinity() << "inf";
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << "-inf";
    QTest::newRow("nan") << std::nan("") << "nan";
}

void tst_TemplatesTableWidget::shownText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QVERIFY(writeBytes(path("v"), cellBytes({{0, 0, value}})));
    TemplatesTableWidget table;
    table.setFilePath(path("v"));
    QVERIFY(table.loadFromFile());
    QVERIFY(table.item(0, 0));
    QCOMPARE(table.item(0, 0)->text(), text);
}

void tst_TemplatesTableWidget::editSaveReload_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("column");
    QTest::newRow("cable, a") << int(CableAttenuation) << 1;
    QTest::newRow("dmt, Kmax") << int(LineTypeDmt) << 2;
    QTest::newRow("pam, N") << int(LineTypePam) << 4;
    QTest::newRow("noise, F") << int(AdditiveNoise) << 0;
}

void tst_TemplatesTableWidget::editSaveReload()
{
    QFETCH(int, kind);
    QFETCH(int, column);
    const int columns = templateColumnCount(TemplateKind(kind));
    QVector<RawCell> cells = fullRows(3, columns);
    QVERIFY(writeBytes(path("e"), cellBytes(cells)));

    TemplatesTableWidget table;
    table.setTemplateKind(TemplateKind(kind));
    table.setFilePath(path("e"));
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    QVERIFY(table.loadFromFile());
    typeIntoCell(&table, 1, column, QStringLiteral("-1.5e3"));
    QVERIFY(table.isModified());
    QVERIFY(table.saveToFile());

    cells[1 * columns + column].value = -1500.0;
    QCOMPARE(readBytes(path("e")), cellBytes(cells));

    TemplatesTableWidget reloaded;
    reloaded.setTemplateKind(TemplateKind(kind));
    reloaded.setFilePath(path("e"));
    QVERIFY(reloaded.loadFromFile());
    QCOMPARE(reloaded.columnCount(), columns);
    QCOMPARE(reloaded.item(1, column)->text(), QStringLiteral("-1500"));
    QCOMPARE(reloaded.item(2, columns - 1)->text(), table.item(2, columns - 1)->text());
}

void tst_TemplatesTableWidget::reloadDropsEditsNotInFile()
{
    QVERIFY(writeBytes(path("r"), cellBytes(fullRows(2, 2))));
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(path("r"));
    QVERIFY(table.loadFromFile());
    table.setRowCount(5);
    table.setItem(4, 1, new QTableWidgetItem(QStringLiteral("77")));
    table.setItem(0, 0, new QTableWidgetItem(QStringLiteral("66")));
    QVERIFY(table.isModified());
    QVERIFY(table.loadFromFile());
    QCOMPARE(table.rowCount(), 2);
    QCOMPARE(table.item(0, 0)->text(), QStringLiteral("0"));
    QVERIFY(!table.isModified());
    QCOMPARE(table.windowTitle(), path("r"));
}

void tst_TemplatesTableWidget::validateFirstColumn_data()
{
    QTest::addColumn<QStringList>("column0");
    QTest::addColumn<bool>("valid");
    QTest::newRow("falls back to 5") << QStringList{"0", "10", "10", "5"} << false;
    QTest::newRow("non-decreasing") << QStringList{"0", "10", "10", "20"} << true;
    QTest::newRow("-1 in row 0") << QStringList{"-1", "10"} << false;
    QTest::newRow("empty cell in row 2") << QStringList{"0", "1", "", "3"} << false;
    QTest::newRow("missing cell in row 1") << QStringList{"0", QString(), "2"} << false;
    QTest::newRow("not a number") << QStringList{"0", "x"} << false;
    QTest::newRow("nan") << QStringList{"0", "nan"} << false;
    QTest::newRow("one zero row") << QStringList{"0"} << true;
}

void tst_TemplatesTableWidget::validateFirstColumn()
{
    QFETCH(QStringList, column0);
    QFETCH(bool, valid);
    TemplatesTableWidget table;
    table.setTemplateKind(LineTypeDmt);
    table.setRowCount(column0.size());
    for (int r = 0; r < column0.size(); ++r) {
        if (!column0.at(r).isNull())
            table.setItem(r, 0, new QTableWidgetItem(column0.at(r)));
        table.setItem(r, 1, new QTableWidgetItem(QStringLiteral("1")));
    }
    QCOMPARE(table.validateFirstColumn(), valid);
}

void tst_TemplatesTableWidget::modifiedMark()
{
    const QString file = path("m.att");
    QVERIFY(writeBytes(file, cellBytes(fullRows(2, 2))));
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(file);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    QVERIFY(table.loadFromFile());
    QCOMPARE(table.windowTitle(), file);

    typeIntoCell(&table, 0, 1, QStringLiteral("3"));
    QCOMPARE(table.windowTitle(), file + " *");
    typeIntoCell(&table, 1, 1, QStringLiteral("4"));
    QCOMPARE(table.windowTitle(), file + " *");
    QVERIFY(table.saveToFile());
    QCOMPARE(table.windowTitle(), file);
    QVERIFY(!table.isModified());
}

void tst_TemplatesTableWidget::typedTextIsKept_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("refusedWhileTyping"); // no more typing can make it a number
    QTest::addColumn<bool>("refused");            // the committed cell is not a number
    QTest::newRow("decimal comma") << "11,8" << false << false;
    QTest::newRow("letters") << "1a2b" << true << true;
    QTest::newRow("point and comma") << "1.5,0" << true << true;
    QTest::newRow("unfinished exponent") << "1e" << false << true;
    QTest::newRow("beyond float range") << "1e39" << false << true;
    QTest::newRow("exponent") << "1e7" << false << false;
    QTest::newRow("inf") << "inf" << false << false;
    QTest::newRow("clearing empties the cell") << "" << false << false;
}

// Nothing typed is dropped or replaced: what is not a number stays, drawn as refused.
void tst_TemplatesTableWidget::typedTextIsKept()
{
    QFETCH(QString, typed);
    QFETCH(bool, refusedWhileTyping);
    QFETCH(bool, refused);
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setRowCount(2);
    table.setItem(0, 0, new QTableWidgetItem(QStringLiteral("2")));
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    QLineEdit *editor = nullptr;
    beginTypingIntoCell(&table, 0, 0, typed, &editor);
    QVERIFY(editor);
    QCOMPARE(editor->palette().color(QPalette::Base) == refusedBackground(), refusedWhileTyping);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(table.item(0, 0)->text(), typed);
    table.setCurrentCell(1, 1);
    const QImage shown = table.viewport()->grab().toImage();
    const QPoint inside = table.visualRect(table.model()->index(0, 0)).topLeft() + QPoint(2, 2);
    QCOMPARE(shown.pixelColor(inside) == refusedBackground(), refused);
}

void tst_TemplatesTableWidget::saveRefusesTextThatIsNotANumber()
{
    const QString file = path("bad.att");
    const QByteArray before = cellBytes(fullRows(2, 2));
    QVERIFY(writeBytes(file, before));
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(file);
    QVERIFY(table.loadFromFile());
    // Text that bypassed the cell editor (a paste, a program) still must not turn into 0.
    table.setItem(1, 1, new QTableWidgetItem(QStringLiteral("1,5.0")));
    QString error;
    QVERIFY(!table.saveToFile(&error));
    QVERIFY2(error.contains("1,5.0") && error.contains('2'), qPrintable(error));
    QCOMPARE(readBytes(file), before);
    QVERIFY(table.isModified());
}

void tst_TemplatesTableWidget::pasteCopyAndUndo()
{
    const QString file = path("p.att");
    QVERIFY(writeBytes(file, cellBytes(fullRows(2, 2)))); // rows 0 1.25 and 10 11.25
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(file);
    QVERIFY(table.loadFromFile());
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));

    // As a Russian spreadsheet copies three rows: decimal commas, CR LF after every row.
    QApplication::clipboard()->setText(QStringLiteral("100\t1,5\r\n200\t2,25\r\n300\t3\r\n"));
    table.setCurrentCell(1, 0);
    QTest::keyClick(&table, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(table.rowCount(), 4);
    QCOMPARE(table.item(0, 1)->text(), QStringLiteral("1.25"));
    QCOMPARE(table.item(3, 1)->text(), QStringLiteral("3"));
    QCOMPARE(table.windowTitle(), file + " *");
    // The pasted block is selected: copying it gives the same cells back.
    QTest::keyClick(&table, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("100\t1,5\n200\t2,25\n300\t3\n"));
    QVERIFY(table.saveToFile());
    QCOMPARE(readBytes(file), cellBytes({{0, 0, 0}, {0, 1, 1.25}, {1, 0, 100}, {1, 1, 1.5},
                                         {2, 0, 200}, {2, 1, 2.25}, {3, 0, 300}, {3, 1, 3}}));

    // One step undoes the whole paste; redoing it returns to what was saved.
    QTest::keyClick(&table, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(table.rowCount(), 2);
    QCOMPARE(table.item(1, 0)->text(), QStringLiteral("10"));
    QCOMPARE(table.item(1, 1)->text(), QStringLiteral("11.25"));
    QVERIFY(table.isModified());
    QTest::keyClick(&table, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(table.rowCount(), 4);
    QCOMPARE(table.item(2, 1)->text(), QStringLiteral("2,25"));
    QVERIFY(!table.isModified());
}

void tst_TemplatesTableWidget::pasteBlocks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("column"); // of the current cell, in row 1 of a two-row cable table
    QTest::addColumn<QString>("error"); // a part of the refusal; empty: pasted
    QTest::newRow("wider than the table") << "1\t2\t3\n" << 0 << "3";
    QTest::newRow("wider than the columns left") << "1\t2\n" << 1 << "a, дБ/км";
    QTest::newRow("beyond the most rows") << QString("1\n").repeated(TemplatesTableWidget::MaxRows) << 0 << "10001";
    QTest::newRow("nothing to paste") << "" << 0 << "не содержит";
    QTest::newRow("a trailing tab fits") << "5\t6\t\n" << 0 << "";
    QTest::newRow("a header row goes in, refused") << "F, кГц\ta\n" << 0 << "";
}

void tst_TemplatesTableWidget::pasteBlocks()
{
    QFETCH(QString, text);
    QFETCH(int, column);
    QFETCH(QString, error);
    QVERIFY(writeBytes(path("b.att"), cellBytes(fullRows(2, 2))));
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(path("b.att"));
    QVERIFY(table.loadFromFile());
    table.setCurrentCell(1, column);
    QString why;
    QCOMPARE(table.pasteText(text, &why), error.isEmpty());
    QVERIFY2(why.contains(error), qPrintable(why));
    QCOMPARE(table.isModified(), error.isEmpty());
    QCOMPARE(table.undoStack()->count(), error.isEmpty() ? 1 : 0);
    if (error.isEmpty())
        QCOMPARE(table.selectionText(), joinCellBlock(splitCellBlock(text)).replace(QLatin1String("\t\n"), "\n"));
    else
        QCOMPARE(table.item(1, 1)->text(), QStringLiteral("11.25"));
}

void tst_TemplatesTableWidget::insertAndDeleteLine()
{
    TemplatesTableWidget table;
    table.setTemplateKind(LineTypePam);
    table.setRowCount(5);
    for (int r = 0; r < 5; ++r)
        table.setItem(r, 0, new QTableWidgetItem(QString::number(r)));
    table.setModified(false);

    table.setCurrentCell(3, 2);
    table.insertLine();
    QCOMPARE(table.rowCount(), 6);
    for (int c = 0; c < 5; ++c)
        QCOMPARE(table.item(4, c)->text(), QStringLiteral("0"));
    QCOMPARE(table.item(5, 0)->text(), QStringLiteral("4"));
    QVERIFY(table.isModified());

    table.setCurrentCell(1, 0);
    table.deleteLine();
    QCOMPARE(table.rowCount(), 5);
    QCOMPARE(table.item(1, 0)->text(), QStringLiteral("2"));

    table.setCurrentIndex(QModelIndex());
    table.insertLine();
    QCOMPARE(table.item(0, 0)->text(), QStringLiteral("0"));
    table.deleteLine(); // no current row: nothing
    QCOMPARE(table.rowCount(), 6);

    table.setRowCount(1);
    table.setCurrentCell(0, 0);
    table.deleteLine();
    QCOMPARE(table.rowCount(), 1);
}

void tst_TemplatesTableWidget::failedSaveKeepsModified()
{
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(path("missing/dir/x.att"));
    table.setItem(0, 0, new QTableWidgetItem(QStringLiteral("1")));
    QVERIFY(table.isModified());
    QString error;
    QVERIFY(!table.saveToFile(&error));
    QVERIFY(!error.isEmpty());
    QVERIFY(table.isModified());
    QVERIFY(table.windowTitle().endsWith(" *"));
    QVERIFY(!QFile::exists(path("missing/dir/x.att")));
}

void tst_TemplatesTableWidget::failedSaveInReadOnlyDirectoryKeepsOldFile()
{
    QDir().mkpath(path("ro"));
    const QString file = path("ro/x.att");
    const QByteArray before = cellBytes(fullRows(2, 2));
    QVERIFY(writeBytes(file, before));
    QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(path("ro/probe"));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("directory permissions do not stop this user (root); the missing-directory case covers the failure");
    }
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(file);
    QVERIFY(table.loadFromFile());
    table.item(0, 1)->setText(QStringLiteral("9"));
    QString error;
    const bool saved = table.saveToFile(&error);
    QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!saved);
    QVERIFY(!error.isEmpty());
    QVERIFY(table.isModified());
    QCOMPARE(readBytes(file), before);
}

void tst_TemplatesTableWidget::unreadableFileLeavesTable()
{
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(path("nothing-here.att"));
    table.setItem(3, 1, new QTableWidgetItem(QStringLiteral("5")));
    QVERIFY(!table.loadFromFile());
    QCOMPARE(table.rowCount(), 100);
    QCOMPARE(table.item(3, 1)->text(), QStringLiteral("5"));
}

void tst_TemplatesTableWidget::strayCellsStayOutOfTheTable_data()
{
    QTest::addColumn<QVector<RawCell>>("cells");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("shown"); // the text of cell (0, 1), "" for none

    // One 12-byte cell used to make a table of 32768 x 32768 items.
    QTest::newRow("row and column 32767") << QVector<RawCell>{{32767, 32767, 1}} << 1 << "";
    QTest::newRow("row and column -1") << QVector<RawCell>{{-1, -1, 1}} << 1 << "";
    QTest::newRow("negative row") << QVector<RawCell>{{-5, 1, 7}, {0, 0, 1}, {0, 1, 2}} << 1 << "2";
    QTest::newRow("column beyond the kind's")
        << QVector<RawCell>{{0, 0, 1}, {0, 1, 2}, {0, 2, 9}, {1, 0, 3}, {1, 1, 4}, {1, 32767, 9}} << 2 << "2";
}

void tst_TemplatesTableWidget::strayCellsStayOutOfTheTable()
{
    QFETCH(QVector<RawCell>, cells);
    QFETCH(int, rows);
    QFETCH(QString, shown);
    const QByteArray bytes = cellBytes(cells);
    QVERIFY(writeBytes(path("stray.att"), bytes));
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(path("stray.att"));
    QVERIFY(table.loadFromFile());
    QCOMPARE(table.rowCount(), rows);
    QCOMPARE(table.columnCount(), 2);
    QCOMPARE(table.item(0, 1) ? table.item(0, 1)->text() : QString(), shown);
    // Not shown, not lost: saved back as the file had them.
    QVERIFY(table.saveToFile());
    QCOMPARE(readBytes(path("stray.att")), bytes);
}

void tst_TemplatesTableWidget::tooManyRowsAreRefused()
{
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(path("limit.att"));
    QVERIFY(writeBytes(path("limit.att"), cellBytes({{0, 0, 1}, {9999, 1, 2}})));
    QVERIFY(table.loadFromFile());
    QCOMPARE(table.rowCount(), 10000);

    TemplatesTableWidget refusing;
    refusing.setTemplateKind(CableAttenuation);
    refusing.setFilePath(path("big.att"));
    refusing.setItem(3, 1, new QTableWidgetItem(QStringLiteral("5")));
    const QByteArray bytes = cellBytes({{0, 0, 1}, {10000, 0, 2}});
    QVERIFY(writeBytes(path("big.att"), bytes));
    QString error;
    QVERIFY(!refusing.loadFromFile(&error));
    QVERIFY2(error.contains(path("big.att")) && error.contains("10001") && error.contains("10000"),
             qPrintable(error));
    QCOMPARE(refusing.rowCount(), 100);
    QCOMPARE(refusing.item(3, 1)->text(), QStringLiteral("5"));
    QCOMPARE(readBytes(path("big.att")), bytes);
}

void tst_TemplatesTableWidget::fifoIsRefused()
{
    const QString fifo = path("pipe.att");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    // Should the editor wait after all, a writer comes by after a while and lets it go.
    std::atomic_bool done{false};
    std::thread rescue([&] {
        for (int i = 0; i < 50 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        while (!done) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(fifo);
    QElapsedTimer timer;
    timer.start();
    QString error;
    const bool loaded = table.loadFromFile(&error);
    const qint64 elapsed = timer.elapsed();
    done = true;
    rescue.join();
    QVERIFY(elapsed < 2000);
    QVERIFY(!loaded);
    QVERIFY2(error.contains("pipe.att is not a template file"), qPrintable(error));
}

QTEST_MAIN(tst_TemplatesTableWidget)
#include "tst_templatestablewidget.moc"
