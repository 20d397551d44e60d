#include "templates/cmdisubwindow.h"
#include "templates/templatestablewidget.h"

#include "modalanswerer.h"
#include "templatetestutil.h"

#include <QMdiArea>
#include <QTemporaryDir>
#include <QtTest>

class tst_CMdiSubWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void closeQuestion_data();
    void closeQuestion();
    void cleanEditorClosesWithoutQuestion();
    void invalidDataBlocksYes();
    void failedSaveOnYesKeepsEditor();

private:
    // An editor window on `file` holding fullRows(2, 2), loaded and shown.
    void openEditor(const QString &file);

    QTemporaryDir m_dir;
    QMdiArea *m_area = nullptr;
    CMdiSubWindow *m_window = nullptr;
    TemplatesTableWidget *m_table = nullptr;
};

void tst_CMdiSubWindow::init()
{
    QVERIFY(m_dir.isValid());
    m_area = new QMdiArea;
    m_area->resize(600, 400);
    m_area->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_area));
}

void tst_CMdiSubWindow::cleanup()
{
    delete m_area;
    m_area = nullptr;
}

void tst_CMdiSubWindow::openEditor(const QString &file)
{
    QVERIFY(writeBytes(file, cellBytes(fullRows(2, 2))));
    m_table = new TemplatesTableWidget;
    m_table->setTemplateKind(CableAttenuation);
    m_window = new CMdiSubWindow;
    m_window->setWidget(m_table);
    m_area->addSubWindow(m_window);
    m_table->setFilePath(file);
    QVERIFY(m_table->loadFromFile());
    m_window->show();
}

void tst_CMdiSubWindow::closeQuestion_data()
{
    QTest::addColumn<int>("answer"); // a StandardButton, or 0 for Escape
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<bool>("fileChanged");
    QTest::addColumn<QString>("cellText");
    QTest::newRow("yes saves and hides") << int(QMessageBox::Yes) << true << false << true << "42";
    QTest::newRow("no reloads and hides") << int(QMessageBox::No) << true << false << false << "1.25";
    QTest::newRow("cancel keeps editing") << int(QMessageBox::Cancel) << false << true << false << "42";
    QTest::newRow("escape keeps editing") << 0 << false << true << false << "42";
}

void tst_CMdiSubWindow::closeQuestion()
{
    QFETCH(int, answer);
    QFETCH(bool, hidden);
    QFETCH(bool, modified);
    QFETCH(bool, fileChanged);
    QFETCH(QString, cellText);

    const QString file = m_dir.filePath("q.att");
    openEditor(file);
    const QByteArray before = readBytes(file);
    m_table->setItem(0, 1, new QTableWidgetItem(QStringLiteral("42")));
    QVERIFY(m_table->isModified());

    ModalAnswerer answerer;
    if (answer)
        answerer.pushButton(QMessageBox::StandardButton(answer));
    else
        answerer.pushEscape();
    m_window->close();

    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QCOMPARE(answerer.texts().size(), 1);
    QCOMPARE(answerer.texts().first(), QStringLiteral("Документ %1 изменён.\nХотите сохранить ваши изменения?").arg(file));
    QCOMPARE(m_window->isHidden(), hidden);
    QCOMPARE(m_table->isModified(), modified);
    QCOMPARE(m_window->windowTitle().endsWith(" *"), modified);
    QCOMPARE(readBytes(file) != before, fileChanged);
    QCOMPARE(m_table->item(0, 1)->text(), cellText);
    // Never destroyed: the window comes back with the same table.
    m_window->show();
    QCOMPARE(m_window->widget(), m_table);
}

void tst_CMdiSubWindow::cleanEditorClosesWithoutQuestion()
{
    openEditor(m_dir.filePath("c.att"));
    ModalAnswerer answerer;
    m_window->close();
    QCOMPARE(answerer.unexpected(), 0);
    QVERIFY(m_window->isHidden());
}

void tst_CMdiSubWindow::invalidDataBlocksYes()
{
    const QString file = m_dir.filePath("v.att");
    openEditor(file);
    const QByteArray before = readBytes(file);
    // Frequencies must not fall: 10 then 5.
    m_table->item(0, 0)->setText(QStringLiteral("10"));
    m_table->item(1, 0)->setText(QStringLiteral("5"));

    ModalAnswerer answerer;
    answerer.pushButton(QMessageBox::Yes);
    answerer.pushButton(QMessageBox::Ok);
    m_window->close();

    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QCOMPARE(answerer.texts().value(1), QStringLiteral("Неправильно введены данные"));
    QVERIFY(!m_window->isHidden());
    QVERIFY(m_table->isModified());
    QCOMPARE(readBytes(file), before);
}

void tst_CMdiSubWindow::failedSaveOnYesKeepsEditor()
{
    openEditor(m_dir.filePath("f.att"));
    // A path in a missing directory cannot be written, whoever runs the test.
    m_table->setFilePath(m_dir.filePath("gone/f.att"));
    m_table->item(0, 1)->setText(QStringLiteral("7"));

    ModalAnswerer answerer;
    answerer.pushButton(QMessageBox::Yes);
    answerer.pushButton(QMessageBox::Ok);
    m_window->close();

    QCOMPARE(answerer.pending(), 0);
    QCOMPARE(answerer.unexpected(), 0);
    QVERIFY2(answerer.texts().value(1).contains("gone/f.att"), qPrintable(answerer.texts().join('|')));
    QVERIFY(!m_window->isHidden());
    QVERIFY(m_table->isModified());
    QVERIFY(m_window->windowTitle().endsWith(" *"));
}

QTEST_MAIN(tst_CMdiSubWindow)
#include "tst_cmdisubwindow.moc"
