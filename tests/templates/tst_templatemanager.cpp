#include "templates/templatemanager.h"

#include "engine/templatefile.h"
#include "templates/cmdisubwindow.h"
#include "templates/newfiledialog.h"
#include "templates/templatestablewidget.h"

#include "engine/messages.h"

#include "fulldisk.h"
#include "modalanswerer.h"
#include "ordinaryuser.h"
#include "templatetestutil.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class tst_TemplateManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void treeListsEveryEntryInNameOrder();
    void doubleClickOpensByMarker_data();
    void doubleClickOpensByMarker();
    void doubleClickOnOpenEditorKeepsEdits();
    void commandsActOnTheCurrentEditor();
    void unconfirmedCellTextIsKept_data();
    void unconfirmedCellTextIsKept();
    void failedSaveIsReported();
    void saveAsMovesTheEditor();
    void saveAsAsksBeforeReplacing_data();
    void saveAsAsksBeforeReplacing();
    void newFileCreatesOneZeroRow_data();
    void newFileCreatesOneZeroRow();
    void newFileCancelled();
    void newFileRefusesBadNames_data();
    void newFileRefusesBadNames();
    void newFileAsksBeforeReplacing_data();
    void newFileAsksBeforeReplacing();
    void newFileThatCannotBeCreated();
    void closeAllEditors_data();
    void closeAllEditors();
    void unloadableTemplateGetsNoEditor_data();
    void unloadableTemplateGetsNoEditor();
    void fullDiskKeepsTemplateAndMark_data();
    void fullDiskKeepsTemplateAndMark();

private:
    QTreeWidgetItem *child(QTreeWidgetItem *root, const QString &name) const;
    void doubleClick(QTreeWidgetItem *item);
    static QStringList names(QTreeWidgetItem *root);
    // Fills the new-file dialog once it is up and presses "Добавить".
    static ModalAnswerer::Action fillNewFileDialog(int type, const QString &name);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCurrent;
    std::unique_ptr<QMainWindow> m_window;
    QMdiArea *m_area = nullptr;
    QTreeWidget *m_tree = nullptr;
    QTreeWidgetItem *m_cable = nullptr;
    QTreeWidgetItem *m_line = nullptr;
    QTreeWidgetItem *m_noise = nullptr;
    TemplateManager *m_manager = nullptr;
};

void tst_TemplateManager::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QDir().mkpath("Cable");
    QDir().mkpath("xDSL");

    m_window = std::make_unique<QMainWindow>();
    auto *central = new QWidget;
    auto *layout = new QHBoxLayout(central);
    m_area = new QMdiArea;
    m_tree = new QTreeWidget;
    layout->addWidget(m_tree);
    layout->addWidget(m_area, 1);
    m_window->setCentralWidget(central);
    m_cable = new QTreeWidgetItem(m_tree, QStringList("Тип кабеля"));
    m_line = new QTreeWidgetItem(m_tree, QStringList("Тип линии xDSL"));
    m_noise = new QTreeWidgetItem(m_tree, QStringList("Шаблон помех на входе приемника"));
    m_manager = new TemplateManager(m_area, m_tree, m_cable, m_line, m_noise, m_window.get(),
                                    m_window.get());
    connect(m_tree, &QTreeWidget::itemDoubleClicked, m_manager, &TemplateManager::cableFileSelected);
    m_window->resize(900, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_TemplateManager::cleanup()
{
    m_window.reset();
    QDir::setCurrent(m_oldCurrent);
    m_dir.reset();
}

QTreeWidgetItem *tst_TemplateManager::child(QTreeWidgetItem *root, const QString &name) const
{
    for (int i = 0; i < root->childCount(); ++i)
        if (root->child(i)->text(0) == name)
            return root->child(i);
    return nullptr;
}

QStringList tst_TemplateManager::names(QTreeWidgetItem *root)
{
    QStringList list;
    for (int i = 0; i < root->childCount(); ++i)
        list << root->child(i)->text(0);
    return list;
}

void tst_TemplateManager::doubleClick(QTreeWidgetItem *item)
{
    m_tree->expandAll();
    m_tree->scrollToItem(item);
    const QRect rect = m_tree->visualItemRect(item);
    QVERIFY(rect.isValid());
    // The view takes a double-click only on the item that the press before it hit.
    QTest::mousePress(m_tree->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseRelease(m_tree->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(m_tree->viewport(), Qt::LeftButton, {}, rect.center());
}

ModalAnswerer::Action tst_TemplateManager::fillNewFileDialog(int type, const QString &name)
{
    return [type, name](QWidget *w) {
        auto *dialog = qobject_cast<NewFileDialog *>(w);
        if (!dialog) {
            static_cast<QDialog *>(w)->reject();
            return;
        }
        dialog->findChild<QComboBox *>("fileType")->setCurrentIndex(type);
        QTest::keyClicks(dialog->findChild<QLineEdit *>("fileName"), name);
        QTest::mouseClick(dialog->findChild<QPushButton *>("addButton"), Qt::LeftButton);
    };
}

void tst_TemplateManager::treeListsEveryEntryInNameOrder()
{
    for (const char *name : {"Cable/b.att", "Cable/A.att", "Cable/c.ATT", "Cable/.hidden.att",
                             "xDSL/v.PAM", "xDSL/a.DMT", "xDSL/M.PAM"})
        QVERIFY(writeBytes(name, QByteArray()));
    QDir().mkpath("Cable/sub");
    m_manager->refreshTemplateTree();
    m_manager->refreshTemplateTree(); // a second refresh must not add duplicates
    QCOMPARE(names(m_cable), QStringList({"A.att", "b.att", "c.ATT", "sub"}));
    QCOMPARE(names(m_line), QStringList({"a.DMT", "M.PAM", "v.PAM"}));
    QCOMPARE(names(m_noise), QStringList()); // AddNoise does not exist

    QFile::remove("Cable/b.att");
    m_manager->refreshTemplateTree();
    QCOMPARE(names(m_cable), QStringList({"A.att", "c.ATT", "sub"}));
}

void tst_TemplateManager::doubleClickOpensByMarker_data()
{
    QTest::addColumn<QString>("file");   // created on disk
    QTest::addColumn<int>("branch");     // 0 cable, 1 line type, 2 noise
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("path");   // the editor's path, empty: no editor
    QTest::addColumn<QStringList>("captions"); // the editor's column headers
    const QStringList cable{"F, кГц", "a, дБ/км"};
    const QStringList dmt{"F, кГц", "S, дБм/Гц", "Kmax", "N, дБм/Гц"};
    const QStringList pam{"K", "P, дБм", "Rmin, кбит/с", "Rmax, кбит/с", "N, дБм/Гц"};
    const QStringList noise{"F, кГц", "N, дБм/Гц"};
    QTest::newRow("cable") << "Cable/x.att" << 0 << "x.att" << "Cable/x.att" << cable;
    QTest::newRow("dmt") << "xDSL/a.DMT" << 1 << "a.DMT" << "xDSL/a.DMT" << dmt;
    QTest::newRow("pam") << "xDSL/p.PAM" << 1 << "p.PAM" << "xDSL/p.PAM" << pam;
    QTest::newRow("noise") << "AddNoise/n.add" << 2 << "n.add" << "AddNoise/n.add" << noise;
    QTest::newRow(".att is tried first") << "Cable/x.PAM.att" << 0 << "x.PAM.att" << "Cable/x.PAM.att" << cable;
    QTest::newRow("kind from the name, not the branch") << "AddNoise/y.att" << 2 << "y.att" << "Cable/y.att" << cable;
    QTest::newRow("upper-case .ATT has no kind") << "Cable/c.ATT" << 0 << "c.ATT" << "" << QStringList();
    QTest::newRow("lower-case dmt has no kind") << "xDSL/l.dmt" << 1 << "l.dmt" << "" << QStringList();
    // One entry on one line, showing the character; the editor still opens the file itself.
    QTest::newRow("a line break in the name") << "Cable/a\nb.att" << 0 << "a\u240Ab.att" << "Cable/a\nb.att" << cable;
}

void tst_TemplateManager::doubleClickOpensByMarker()
{
    QFETCH(QString, file);
    QFETCH(int, branch);
    QFETCH(QString, entry);
    QFETCH(QString, path);
    QFETCH(QStringList, captions);
    const int columns = captions.size();

    QDir().mkpath(QFileInfo(file).path());
    QVERIFY(writeBytes(file, cellBytes(fullRows(2, qMax(columns, 2)))));
    m_manager->refreshTemplateTree();
    QTreeWidgetItem *root = QList<QTreeWidgetItem *>{m_cable, m_line, m_noise}.at(branch);
    QTreeWidgetItem *item = child(root, entry);
    QVERIFY(item);
    QSignalSpy shown(m_manager, &TemplateManager::templateShown);

    doubleClick(item);
    if (path.isEmpty()) {
        QCOMPARE(m_manager->editors().size(), 0);
        QCOMPARE(shown.count(), 0);
        return;
    }
    QCOMPARE(m_manager->editors().size(), 1);
    QCOMPARE(shown.count(), 1);
    const TemplateEditorEntry *editor = m_manager->editors().first();
    QCOMPARE(editor->path, path);
    QCOMPARE(editor->table->filePath(), path);
    QCOMPARE(editor->window->windowTitle(), path);
    QStringList headers;
    for (int c = 0; c < editor->table->columnCount(); ++c)
        headers << editor->table->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, captions);
    QVERIFY(!editor->table->isModified());
    // Loaded only when the file is the one the path names.
    if (path == file)
        QCOMPARE(editor->table->item(1, 1)->text(), QStringLiteral("11.25"));
}

void tst_TemplateManager::doubleClickOnOpenEditorKeepsEdits()
{
    QVERIFY(writeBytes("Cable/k.att", cellBytes(fullRows(2, 2))));
    m_manager->refreshTemplateTree();
    QSignalSpy shown(m_manager, &TemplateManager::templateShown);
    doubleClick(child(m_cable, "k.att"));
    QCOMPARE(m_manager->editors().size(), 1);
    TemplatesTableWidget *table = m_manager->editors().first()->table;
    table->item(0, 1)->setText(QStringLiteral("99"));

    doubleClick(child(m_cable, "k.att"));
    QCOMPARE(m_manager->editors().size(), 1);
    QCOMPARE(shown.count(), 2);
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("99"));
    QVERIFY(table->isModified());

    // A hidden editor comes back on a double-click.
    m_manager->editors().first()->window->hide();
    doubleClick(child(m_cable, "k.att"));
    QVERIFY(!m_manager->editors().first()->window->isHidden());
    QCOMPARE(m_area->currentSubWindow(), m_manager->editors().first()->window);
}

void tst_TemplateManager::commandsActOnTheCurrentEditor()
{
    QVERIFY(writeBytes("Cable/one.att", cellBytes(fullRows(2, 2))));
    QVERIFY(writeBytes("xDSL/two.DMT", cellBytes(fullRows(3, 4))));
    m_manager->refreshTemplateTree();
    doubleClick(child(m_cable, "one.att"));
    doubleClick(child(m_line, "two.DMT"));
    QCOMPARE(m_manager->editors().size(), 2);
    TemplateEditorEntry *one = m_manager->editors().at(0);
    TemplateEditorEntry *two = m_manager->editors().at(1);
    QCOMPARE(m_manager->activeEditor(), two);

    m_area->setActiveSubWindow(one->window);
    QCOMPARE(m_manager->activeEditor(), one);
    one->table->setCurrentCell(0, 0);
    m_manager->insertLine();
    QCOMPARE(one->table->rowCount(), 3);
    QCOMPARE(two->table->rowCount(), 3);
    QVERIFY(one->window->windowTitle().endsWith(" *"));
    m_manager->save();
    QVERIFY(!one->table->isModified());
    QVector<RawCell> expected = fullRows(2, 2);
    for (RawCell &cell : expected)
        cell.row = cell.row == 0 ? 0 : 2;
    expected.insert(2, {1, 0, 0.0});
    expected.insert(3, {1, 1, 0.0});
    QCOMPARE(readBytes("Cable/one.att"), cellBytes(expected));

    m_area->setActiveSubWindow(two->window);
    two->table->setCurrentCell(1, 2);
    m_manager->deleteLine();
    QCOMPARE(two->table->rowCount(), 2);
    QCOMPARE(one->table->rowCount(), 3);
    QVERIFY(two->table->isModified());

    // A closed editor is no target.
    two->table->setModified(false);
    two->window->close();
    one->window->close();
    QVERIFY(!m_manager->activeEditor());
    m_manager->insertLine();
    QCOMPARE(two->table->rowCount(), 2);
    QCOMPARE(one->table->rowCount(), 3);
}

void tst_TemplateManager::unconfirmedCellTextIsKept_data()
{
    QTest::addColumn<int>("command"); // 0 "Сохранить", 1 the editor's close button, 2 the program's close
    QTest::newRow("save") << 0;
    QTest::newRow("editor window closed, yes") << 1;
    QTest::newRow("program closed, yes") << 2;
}

void tst_TemplateManager::unconfirmedCellTextIsKept()
{
    QFETCH(int, command);
    QVERIFY(writeBytes("Cable/t.att", cellBytes(fullRows(2, 2))));
    m_manager->refreshTemplateTree();
    doubleClick(child(m_cable, "t.att"));
    QCOMPARE(m_manager->editors().size(), 1);
    TemplateEditorEntry *entry = m_manager->editors().first();
    // Typed, and the command comes before Return or a click elsewhere (Ctrl+S, Ctrl+Q).
    beginTypingIntoCell(entry->table, 1, 1, QStringLiteral("55"));
    if (QTest::currentTestFailed())
        return;

    ModalAnswerer answerer;
    if (command == 0) {
        m_manager->save();
    } else {
        answerer.pushButton(QMessageBox::Yes);
        if (command == 1)
            entry->window->close();
        else
            QVERIFY(m_manager->closeAllEditors());
    }
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QVector<RawCell> expected = fullRows(2, 2);
    expected[3].value = 55.0;
    QCOMPARE(readBytes("Cable/t.att"), cellBytes(expected));
    QVERIFY(!entry->table->isModified());
}

void tst_TemplateManager::failedSaveIsReported()
{
    TemplatesTableWidget *table = m_manager->openTemplateEditor(AdditiveNoise, "n.add");
    // AddNoise does not exist, and saving must not make it.
    table->setItem(0, 0, new QTableWidgetItem(QStringLiteral("1")));
    ModalAnswerer answerer;
    answerer.pushButton(QMessageBox::Ok);
    m_manager->save();
    QCOMPARE(answerer.pending(), 0);
    QVERIFY(answerer.texts().value(0).contains("AddNoise/n.add"));
    QVERIFY(table->isModified());
}

void tst_TemplateManager::saveAsAsksBeforeReplacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("kept") << false;
    QTest::newRow("replaced") << true;
}

void tst_TemplateManager::saveAsAsksBeforeReplacing()
{
    QFETCH(bool, replace);
    QVERIFY(writeBytes("Cable/old.att", cellBytes(fullRows(2, 2))));
    QVERIFY(writeBytes("Cable/other.att", QByteArray("keep")));
    m_manager->refreshTemplateTree();
    doubleClick(child(m_cable, "old.att"));
    // Typed without the extension, the name the dialog asked nothing about; "other.att" is
    // someone's template.
    ModalAnswerer answerer;
    answerer.pushSaveFile(QDir::current().absoluteFilePath("Cable/other"));
    answerer.pushButton(replace ? QMessageBox::Yes : QMessageBox::No);
    m_manager->saveAs();
    QCOMPARE(answerer.pending(), 0);
    QVERIFY2(answerer.texts().value(0).contains("other.att"), qPrintable(answerer.texts().join('|')));
    QCOMPARE(readBytes("Cable/other.att") == "keep", !replace);
    QCOMPARE(m_manager->activeEditor()->path, replace ? QStringLiteral("Cable/other.att") : QStringLiteral("Cable/old.att"));
}

void tst_TemplateManager::saveAsMovesTheEditor()
{
    QVERIFY(writeBytes("Cable/old.att", cellBytes(fullRows(2, 2))));
    QVERIFY(writeBytes("Cable/other.att", QByteArray()));
    m_manager->refreshTemplateTree();
    doubleClick(child(m_cable, "old.att"));
    doubleClick(child(m_cable, "other.att"));
    TemplateEditorEntry *entry = m_manager->editors().first();
    entry->table->item(1, 1)->setText(QStringLiteral("5"));

    QString error;
    QVERIFY(!m_manager->saveEditorAs(entry, QDir::current().absoluteFilePath("Cable/other.att"), &error));
    QVERIFY(error.contains("Cable/other.att"));
    QCOMPARE(entry->path, QStringLiteral("Cable/old.att"));
    QVERIFY(!m_manager->saveEditorAs(entry, "nowhere/new.att", &error));
    QVERIFY(entry->table->isModified());

    QVERIFY(m_manager->saveEditorAs(entry, QDir::current().absoluteFilePath("Cable/new.att"), &error));
    QCOMPARE(entry->path, QStringLiteral("Cable/new.att"));
    QCOMPARE(entry->table->filePath(), QStringLiteral("Cable/new.att"));
    QCOMPARE(entry->window->windowTitle(), QStringLiteral("Cable/new.att"));
    QCOMPARE(readBytes("Cable/old.att"), cellBytes(fullRows(2, 2)));
    QVector<RawCell> expected = fullRows(2, 2);
    expected[3].value = 5.0;
    QCOMPARE(readBytes("Cable/new.att"), cellBytes(expected));
    QVERIFY(child(m_cable, "new.att"));
}

void tst_TemplateManager::newFileCreatesOneZeroRow_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("columns");
    QTest::newRow("cable") << 0 << "Cable/test.att" << 2;
    QTest::newRow("dmt") << 1 << "xDSL/test.DMT" << 4;
    QTest::newRow("pam") << 2 << "xDSL/test.PAM" << 5;
    QTest::newRow("noise, directory made") << 3 << "AddNoise/test.add" << 2;
}

void tst_TemplateManager::newFileCreatesOneZeroRow()
{
    QFETCH(int, type);
    QFETCH(QString, path);
    QFETCH(int, columns);
    QVERIFY(writeBytes("Cable/u.att", QByteArray()));
    QVERIFY(writeBytes("xDSL/z.DMT", QByteArray()));
    m_manager->refreshTemplateTree();

    ModalAnswerer answerer;
    answerer.push(fillNewFileDialog(type, "test"));
    m_manager->newFile();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);

    QVector<RawCell> zeros;
    for (int c = 0; c < columns; ++c)
        zeros.append({0, qint16(c), 0.0});
    QCOMPARE(readBytes(path), cellBytes(zeros));
    QCOMPARE(m_manager->editors().size(), 1);
    const TemplateEditorEntry *editor = m_manager->editors().first();
    QCOMPARE(editor->path, path);
    QCOMPARE(editor->window->windowTitle(), path);
    QCOMPARE(editor->table->rowCount(), 1);
    QCOMPARE(editor->table->columnCount(), columns);
    for (int c = 0; c < columns; ++c)
        QCOMPARE(editor->table->item(0, c)->text(), QStringLiteral("0"));
    QVERIFY(!editor->table->isModified());
    // Listed at its sorted place.
    QTreeWidgetItem *root = QList<QTreeWidgetItem *>{m_cable, m_line, m_line, m_noise}.at(type);
    const QStringList expected = type == 0   ? QStringList{"test.att", "u.att"}
                                 : type == 1 ? QStringList{"test.DMT", "z.DMT"}
                                 : type == 2 ? QStringList{"test.PAM", "z.DMT"}
                                             : QStringList{"test.add"};
    QCOMPARE(names(root), expected);
}

void tst_TemplateManager::newFileCancelled()
{
    ModalAnswerer answerer;
    answerer.push([](QWidget *w) {
        QTest::keyClicks(w->findChild<QLineEdit *>("fileName"), "never");
        QTest::mouseClick(w->findChild<QPushButton *>("cancelButton"), Qt::LeftButton);
    });
    m_manager->newFile();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QVERIFY(!QFile::exists("Cable/never.att"));
    QCOMPARE(m_manager->editors().size(), 0);
}

void tst_TemplateManager::newFileRefusesBadNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("blanks") << "   ";
    QTest::newRow("slash") << "../escape";
    QTest::newRow("subdirectory") << "sub/x";
    QTest::newRow("backslash") << "a\\b";
    QTest::newRow("hidden file") << ".x";
    QTest::newRow("only dots") << "..";
}

void tst_TemplateManager::newFileRefusesBadNames()
{
    QFETCH(QString, name);
    const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    const QStringList before = QDir(".").entryList(all);
    ModalAnswerer answerer;
    answerer.push(fillNewFileDialog(0, name));
    answerer.pushButton(QMessageBox::Ok);
    m_manager->newFile();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QCOMPARE(answerer.texts().size(), 1);
    QCOMPARE(m_manager->editors().size(), 0);
    QCOMPARE(QDir("Cable").entryList(all), QStringList());
    QCOMPARE(QDir(".").entryList(all), before);
    QCOMPARE(QDir("..").entryList(QStringList("escape*")), QStringList());
}

void tst_TemplateManager::newFileAsksBeforeReplacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("no keeps the file and the edits") << false;
    QTest::newRow("yes replaces both") << true;
}

void tst_TemplateManager::newFileAsksBeforeReplacing()
{
    QFETCH(bool, replace);
    const QByteArray old = cellBytes(fullRows(3, 2));
    QVERIFY(writeBytes("Cable/test.att", old));
    m_manager->refreshTemplateTree();
    doubleClick(child(m_cable, "test.att"));
    TemplatesTableWidget *table = m_manager->editors().first()->table;
    table->item(2, 1)->setText(QStringLiteral("8"));

    ModalAnswerer answerer;
    answerer.push(fillNewFileDialog(0, "test"));
    answerer.pushButton(replace ? QMessageBox::Yes : QMessageBox::No);
    m_manager->newFile();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QVERIFY(answerer.texts().value(0).contains("Cable/test.att"));
    QCOMPARE(m_manager->editors().size(), 1);
    if (replace) {
        QCOMPARE(readBytes("Cable/test.att"), cellBytes({{0, 0, 0.0}, {0, 1, 0.0}}));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("0"));
        QVERIFY(!table->isModified());
    } else {
        QCOMPARE(readBytes("Cable/test.att"), old);
        QCOMPARE(table->item(2, 1)->text(), QStringLiteral("8"));
        QVERIFY(table->isModified());
    }
}

void tst_TemplateManager::newFileThatCannotBeCreated()
{
    // "xDSL" as a plain file: the directory cannot be made, whatever the permissions.
    QVERIFY(QDir("xDSL").removeRecursively());
    QVERIFY(writeBytes("xDSL", QByteArray("not a directory")));
    ModalAnswerer answerer;
    answerer.push(fillNewFileDialog(2, "test"));
    answerer.pushButton(QMessageBox::Ok);
    m_manager->newFile();
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QVERIFY(answerer.texts().value(0).contains("xDSL/test.PAM"));
    QCOMPARE(m_manager->editors().size(), 0);
    QCOMPARE(readBytes("xDSL"), QByteArray("not a directory"));
}

void tst_TemplateManager::closeAllEditors_data()
{
    QTest::addColumn<QList<int>>("answers");  // one StandardButton per question asked
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("firstSaved");
    QTest::addColumn<bool>("secondSaved");
    QTest::addColumn<bool>("secondModified");
    QTest::newRow("no, yes") << QList<int>{QMessageBox::No, QMessageBox::Yes} << true << false << true << false;
    QTest::newRow("yes, no") << QList<int>{QMessageBox::Yes, QMessageBox::No} << true << true << false << false;
    QTest::newRow("cancel stops at the first") << QList<int>{QMessageBox::Cancel} << false << false << false << true;
    QTest::newRow("cancel at the second") << QList<int>{QMessageBox::Yes, QMessageBox::Cancel} << false << true << false << true;
}

void tst_TemplateManager::closeAllEditors()
{
    QFETCH(QList<int>, answers);
    QFETCH(bool, result);
    QFETCH(bool, firstSaved);
    QFETCH(bool, secondSaved);
    QFETCH(bool, secondModified);

    const QByteArray original = cellBytes(fullRows(2, 2));
    for (const char *name : {"Cable/a.att", "Cable/b.att", "Cable/c.att"})
        QVERIFY(writeBytes(name, original));
    m_manager->refreshTemplateTree();
    for (const char *name : {"a.att", "b.att", "c.att"})
        doubleClick(child(m_cable, name));
    QCOMPARE(m_manager->editors().size(), 3);
    // b stays clean and must not be asked about.
    m_manager->editors().at(0)->table->item(0, 1)->setText("3");
    m_manager->editors().at(2)->table->item(0, 1)->setText("4");

    ModalAnswerer answerer;
    for (int answer : answers)
        answerer.pushButton(QMessageBox::StandardButton(answer));
    QCOMPARE(m_manager->closeAllEditors(), result);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QVERIFY(answerer.texts().value(0).contains("Cable/a.att"));
    QCOMPARE(readBytes("Cable/a.att") != original, firstSaved);
    QCOMPARE(readBytes("Cable/b.att"), original);
    QCOMPARE(readBytes("Cable/c.att") != original, secondSaved);
    QCOMPARE(m_manager->editors().at(2)->table->isModified(), secondModified);
}

void tst_TemplateManager::unloadableTemplateGetsNoEditor_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO") << "pipe.att" << "Cable/pipe.att не является файлом шаблона";
    QTest::newRow("more rows than the editor takes") << "big.att" << "больше 10000 строк";
    QTest::newRow("no read permission") << "locked.att" << "Cable/locked.att: Доступ запрещён";
}

void tst_TemplateManager::unloadableTemplateGetsNoEditor()
{
    // An editor left empty could be saved over the file; it is not opened at all.
    QFETCH(QString, file);
    QFETCH(QString, reason);
    const QString path = QStringLiteral("Cable/") + file;
    QByteArray bytes = cellBytes({{0, 0, 1}, {0, 1, 2}});
    if (file == "big.att")
        bytes += cellBytes({{32000, 0, 3}, {32000, 1, 4}});
    QVERIFY(writeBytes(path, bytes));
    m_manager->refreshTemplateTree();
    // The tree lists no FIFO; one can take a listed template's place, or come through a link.
    if (file == "pipe.att")
        QVERIFY(QFile::remove(path) && ::mkfifo("Cable/pipe.att", 0600) == 0);
    const bool locked = file == "locked.att";
    if (locked) {
        QVERIFY(OrdinaryUser::openUp(m_dir->path()));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    }
    // Should the editor wait on the FIFO after all, a writer comes by and lets it go.
    std::atomic_bool done{false};
    std::thread rescue([&] {
        for (int i = 0; i < 50 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        while (!done) {
            const int fd = ::open("Cable/pipe.att", O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    setMessageLanguage(MessageLanguage::Russian);
    ModalAnswerer answerer;
    answerer.pushButton(QMessageBox::Ok);
    QElapsedTimer timer;
    timer.start();
    {
        const std::unique_ptr<OrdinaryUser> user(locked ? new OrdinaryUser : nullptr);
        if (user && !user->active()) {
            done = true;
            rescue.join();
            QSKIP("cannot take an ordinary user's permissions");
        }
        doubleClick(child(m_cable, file));
    }
    const qint64 elapsed = timer.elapsed();
    done = true;
    rescue.join();
    setMessageLanguage(MessageLanguage::English);
    QVERIFY(elapsed < 3000);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QVERIFY2(answerer.texts().value(0).contains(reason), qPrintable(answerer.texts().value(0)));
    QCOMPARE(m_manager->editors().size(), 0);
    QVERIFY(m_area->subWindowList().isEmpty());
    if (locked)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    if (file != "pipe.att")
        QCOMPARE(readBytes(path), bytes);
}

void tst_TemplateManager::fullDiskKeepsTemplateAndMark_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("save") << "save";
    QTest::newRow("save as over another template") << "save as";
    QTest::newRow("new file in place of an open one") << "new file";
}

void tst_TemplateManager::fullDiskKeepsTemplateAndMark()
{
    QFETCH(QString, command);
    FullDisk disk;
    if (!disk.available())
        QSKIP(qPrintable(disk.why()));
    // The workspace on the full disk for this test; back to the usual one before it goes.
    struct Back {
        QString to;
        ~Back() { QDir::setCurrent(to); }
    } back{QDir::currentPath()};
    QVERIFY(QDir::setCurrent(disk.path()));
    QVERIFY(QDir().mkpath("Cable"));
    const QByteArray old = cellBytes(fullRows(2, 2));
    QVERIFY(writeBytes("Cable/t.att", old));
    QVERIFY(writeBytes("Cable/other.att", old));
    m_manager->refreshTemplateTree();
    doubleClick(child(m_cable, "t.att"));
    TemplateEditorEntry *entry = m_manager->activeEditor();
    QVERIFY(entry);
    typeIntoCell(entry->table, 1, 1, QStringLiteral("55"));
    QVERIFY(entry->table->isModified());
    QVERIFY(disk.fill());

    setMessageLanguage(MessageLanguage::Russian);
    ModalAnswerer answerer;
    QString target = QStringLiteral("Cable/t.att");
    if (command == "save") {
        answerer.pushButton(QMessageBox::Ok);
        m_manager->save();
    } else if (command == "save as") {
        target = QStringLiteral("Cable/other.att");
        const QString chosen = QDir::current().absoluteFilePath(target);
        answerer.push([chosen](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            QVERIFY(dialog);
            // Replacing is what the user wants here; the dialog's own question is not the point.
            dialog->setOption(QFileDialog::DontConfirmOverwrite);
            ModalAnswerer::typeFileName(dialog, chosen);
            static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
        });
        answerer.pushButton(QMessageBox::Ok);
        m_manager->saveAs();
    } else {
        answerer.push(fillNewFileDialog(0, "t"));
        answerer.pushButton(QMessageBox::Yes);
        answerer.pushButton(QMessageBox::Ok);
        m_manager->newFile();
    }
    setMessageLanguage(MessageLanguage::English);
    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    const QString message = answerer.texts().last();
    QVERIFY2(message.contains(target) && message.contains(QStringLiteral("Нет места на диске")), qPrintable(message));
    QVERIFY(entry->table->isModified());
    QCOMPARE(entry->path, QStringLiteral("Cable/t.att"));
    QCOMPARE(entry->table->item(1, 1)->text(), QStringLiteral("55"));
    QCOMPARE(readBytes("Cable/t.att"), old);
    QCOMPARE(readBytes("Cable/other.att"), old);
    m_window.reset();
}

QTEST_MAIN(tst_TemplateManager)
#include "tst_templatemanager.moc"
