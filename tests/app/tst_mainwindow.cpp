#include "app/helplauncher.h"
#include "app/mainwindow.h"
#include "app/qttranslation.h"
#include "report/graphoptions.h"
#include "report/graphwidget.h"
#include "templates/cmdisubwindow.h"
#include "templates/newfiledialog.h"
#include "templates/templatemanager.h"
#include "templates/templatestablewidget.h"

#include "appfixture.h"

#include <QAction>
#include <QDesktopServices>
#include <QDockWidget>
#include <QLabel>
#include <QLibraryInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolBar>
#include <QTranslator>
#include <QTreeWidget>

// Collects the URLs the program asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;
public slots:
    void openUrl(const QUrl &url) { urls << url; }
};

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void actions_data();
    void actions();
    void menus_data();
    void menus();
    void toolBars();
    void frameAtStart();
    void contextMenus_data();
    void contextMenus();
    void viewCommands();
    void firstResultFillsTheArea_data();
    void firstResultFillsTheArea();
    void windowMenu();
    void layoutKeptBetweenSessions();
    void treeListsTheWorkspace();
    void shortcutsOpenTheirDialogs_data();
    void shortcutsOpenTheirDialogs();
    void templateCommandsActOnTheActiveEditor();
    void closingAsksAboutUnsavedEditors_data();
    void closingAsksAboutUnsavedEditors();
    void aboutBox();
    void help_data();
    void help();
    void qtTextsAreRussian();

private:
    QAction *action(const char *name) const { return m_app->child<QAction>(name); }
    static QStringList texts(const QList<QAction *> &actions);

    std::unique_ptr<AppFixture> m_app;
};

void tst_MainWindow::init()
{
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_MainWindow::cleanup()
{
    m_app.reset();
}

QStringList tst_MainWindow::texts(const QList<QAction *> &actions)
{
    QStringList result;
    for (const QAction *a : actions)
        result << (a->isSeparator() ? QStringLiteral("---") : a->text());
    return result;
}

void tst_MainWindow::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<QString>("statusTip");
    QTest::addColumn<bool>("hasIcon");

    QTest::newRow("new file") << "newFileAct" << "Новый шаблон…" << QKeySequence(QKeySequence::New)
                              << "Создать новый файл шаблона" << true;
    QTest::newRow("save") << "saveAct" << "Сохранить" << QKeySequence(QKeySequence::Save)
                          << "Сохранить файл на диск" << true;
    QTest::newRow("save as") << "saveAsAct" << "Сохранить как..." << QKeySequence()
                             << "Сохранить файл под новым именем" << false;
    QTest::newRow("exit") << "exitAct" << "Выход" << QKeySequence("Ctrl+Q") << "Выйти из приложения" << false;
    QTest::newRow("qualify") << "qualifyAct" << "Проверка линий…" << QKeySequence("Ctrl+L")
                             << "Рассчитать линии из файла записей для выбранных услуг" << true;
    QTest::newRow("import") << "importAct" << "Импорт измерений линии…" << QKeySequence("Ctrl+I")
                            << "Шаблоны кабеля и помех из измерений модема и расчёт того, что даст линия" << false;
    QTest::newRow("insert row") << "insertLineAct" << "Вставить строку" << QKeySequence()
                                << "Вставить новую строку в данную позицию" << true;
    QTest::newRow("delete row") << "deleteLineAct" << "Удалить строку" << QKeySequence()
                                << "Удалить текущую строку" << true;
    QTest::newRow("tree") << "showTreeAct" << "Дерево шаблонов" << QKeySequence()
                          << "Показать дерево шаблонов" << false;
    QTest::newRow("templates tab") << "showTemplatesAct" << "Вкладка \"шаблоны\"" << QKeySequence()
                                   << "Переключиться на вкладку \"шаблоны\"" << false;
    QTest::newRow("results tab") << "showResultAct" << "Вкладка \"результат\"" << QKeySequence()
                                 << "Переключиться на вкладку \"результат\"" << false;
    QTest::newRow("calculation") << "calcInputAct" << "Ввод исходных данных" << QKeySequence(Qt::Key_F5)
                                 << "Ввод исходных данных к расчёту" << true;
    QTest::newRow("graph options") << "graphOptionsAct" << "Настройки" << QKeySequence(Qt::Key_F6)
                                   << "Настройки параметров графика" << true;
    QTest::newRow("csv") << "exportCsvAct" << "Экспорт в *.csv" << QKeySequence("Ctrl+T")
                         << "Экспортировать таблицу результатов в csv-формат" << true;
    QTest::newRow("pdf") << "exportPdfAct" << "Экспорт в *.pdf" << QKeySequence("Ctrl+1")
                         << "Экспортировать график в pdf-формат" << true;
    QTest::newRow("png") << "exportPngAct" << "Экспорт в *.png" << QKeySequence("Ctrl+2")
                         << "Экспортировать график в png-формат" << true;
    QTest::newRow("jpg") << "exportJpgAct" << "Экспорт в *.jpg" << QKeySequence("Ctrl+3")
                         << "Экспортировать график в jpg-формат" << true;
    QTest::newRow("help") << "helpAct" << "Вызвать справку" << QKeySequence(Qt::Key_F1) << "Вызвать справку"
                          << false;
    QTest::newRow("about") << "aboutAct" << "О программе..." << QKeySequence() << "О программе..." << false;
    QTest::newRow("tile") << "tileAct" << "Упорядочить" << QKeySequence("Shift+F4")
                          << "Расположить окна вкладки рядом, без перекрытий, на всю её площадь" << false;
    QTest::newRow("cascade") << "cascadeAct" << "Каскадом" << QKeySequence("Shift+F5")
                             << "Расположить окна вкладки каскадом" << false;
    QTest::newRow("report") << "reportPdfAct" << "Отчёт PDF…" << QKeySequence("Ctrl+R")
                            << "Сохранить отчёт с графиком и таблицами в pdf-формат" << true;
    QTest::newRow("print") << "printAct" << "Печать…" << QKeySequence("Ctrl+P")
                           << "Напечатать отчёт с графиком и таблицами" << false;
    QTest::newRow("copy graph") << "copyGraphAct" << "Копировать график" << QKeySequence(QKeySequence::Copy)
                                << "Копировать график в буфер обмена как изображение" << false;
    QTest::newRow("open setup") << "openSetupAct" << "Открыть расчёт…" << QKeySequence(QKeySequence::Open)
                                << "Открыть сохранённый расчёт и выполнить его" << false;
    QTest::newRow("save setup") << "saveSetupAct" << "Сохранить расчёт…" << QKeySequence("Ctrl+Shift+S")
                                << "Сохранить исходные данные расчёта и настройки графика в файл" << false;
}

void tst_MainWindow::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QKeySequence, shortcut);
    QFETCH(QString, statusTip);
    QFETCH(bool, hasIcon);

    const QAction *a = action(qPrintable(name));
    QVERIFY(a);
    QCOMPARE(a->text(), text);
    QCOMPARE(a->shortcut(), shortcut);
    QCOMPARE(a->statusTip(), statusTip);
    QCOMPARE(!a->icon().isNull(), hasIcon);
    if (hasIcon) {
        // Our own pictures, not blank squares.
        const QImage image = a->icon().pixmap(32, 32).toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 2, qPrintable(name));
    }
}

void tst_MainWindow::menus_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("file") << 0 << "Файл"
                          << QStringList{"Новый шаблон…", "Сохранить", "---", "Открыть расчёт…", "Сохранить расчёт…",
                                         "Последние расчёты", "---", "Отчёт PDF…", "Печать…", "---",
                                         "Проверка линий…", "Импорт измерений линии…", "---", "Выход"};
    QTest::newRow("edit") << 1 << "Правка" << QStringList{"Вставить строку", "Удалить строку"};
    QTest::newRow("view") << 2 << "Вид"
                          << QStringList{"Дерево шаблонов", "Вкладка \"шаблоны\"", "Вкладка \"результат\""};
    QTest::newRow("tools") << 3 << "Инструменты" << QStringList{"Ввод исходных данных", "График", "Таблица"};
    QTest::newRow("window") << 4 << "Окно" << QStringList{"Упорядочить", "Каскадом"};
    QTest::newRow("help") << 5 << "Справка" << QStringList{"Вызвать справку", "О программе..."};
}

void tst_MainWindow::menus()
{
    QFETCH(int, index);
    QFETCH(QString, title);
    QFETCH(QStringList, items);

    const QList<QAction *> bar = m_app->window->menuBar()->actions();
    QCOMPARE(bar.size(), 6);
    QCOMPARE(bar.at(index)->text(), title);
    QCOMPARE(texts(bar.at(index)->menu()->actions()), items);
}

void tst_MainWindow::toolBars()
{
    const QList<QToolBar *> bars = m_app->window->findChildren<QToolBar *>();
    QCOMPARE(bars.size(), 2);
    QToolBar *file = m_app->child<QToolBar>("fileToolBar");
    QToolBar *calc = m_app->child<QToolBar>("calcToolBar");
    QVERIFY(file && calc);
    QCOMPARE(file->windowTitle(), QStringLiteral("Файл"));
    QCOMPARE(texts(file->actions()), (QStringList{"Новый шаблон…", "Сохранить"}));
    QCOMPARE(calc->windowTitle(), QStringLiteral("Вычислить"));
    // JPG before PNG here, unlike the graph menu.
    QCOMPARE(texts(calc->actions()), (QStringList{"Ввод исходных данных", "Настройки", "Экспорт в *.csv",
                                                  "Экспорт в *.pdf", "Экспорт в *.jpg", "Экспорт в *.png"}));

    QMenu *tools = m_app->window->menuBar()->actions().at(3)->menu();
    QMenu *graph = tools->actions().at(1)->menu();
    QMenu *table = tools->actions().at(2)->menu();
    QVERIFY(graph && table);
    QCOMPARE(texts(graph->actions()),
             (QStringList{"Настройки", "Экспорт в *.pdf", "Экспорт в *.png", "Экспорт в *.jpg"}));
    QCOMPARE(texts(table->actions()), QStringList{"Экспорт в *.csv"});
    QVERIFY(!graph->icon().isNull());
    QVERIFY(!table->icon().isNull());

    // Save-as is reachable from nowhere.
    for (QObject *o : action("saveAsAct")->associatedObjects())
        QVERIFY2(!qobject_cast<QMenu *>(o) && !qobject_cast<QToolBar *>(o), "save-as is placed somewhere");
}

void tst_MainWindow::frameAtStart()
{
    MainWindow *w = m_app->window.get();
    QCOMPARE(w->windowTitle(), QStringLiteral("Kolvane"));
    QVERIFY(!w->windowIcon().isNull());
    QVERIFY(!w->isMaximized());

    auto *tabs = m_app->child<QTabWidget>("tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QStringLiteral("шаблоны"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("результат"));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->widget(0), m_app->child<QMdiArea>("templatesArea"));
    QCOMPARE(tabs->widget(1), m_app->child<QMdiArea>("resultsArea"));

    auto *dock = m_app->child<QDockWidget>("treeDock");
    QVERIFY(dock);
    QVERIFY(dock->isHidden());
    QCOMPARE(w->dockWidgetArea(dock), Qt::LeftDockWidgetArea);

    // Both result windows wait in the results area; the table shows 200 empty rows.
    const QList<QMdiSubWindow *> results = m_app->child<QMdiArea>("resultsArea")->subWindowList();
    QCOMPARE(results.size(), 2);
    auto *table = m_app->child<QTableView>("resultTable");
    QCOMPARE(table->model()->rowCount(), 200);
    QCOMPARE(table->model()->columnCount(), 26);
    QCOMPARE(headerTexts(table).at(0), QStringLiteral("L,м"));
    QCOMPARE(m_app->child<QMdiSubWindow>("tableWindow")->windowTitle(), QStringLiteral("Kolvane - Таблица скорости"));
    QCOMPARE(m_app->child<QMdiSubWindow>("graphWindow")->windowTitle(), QStringLiteral("Kolvane - График скорости"));
    QVERIFY(!m_app->child<GraphWidget>("graphWidget")->hasResult());

    QCOMPARE(w->graphSettings(), GraphSettings());
    QVERIFY(!w->propertiesDialog());
    QVERIFY(!w->calcSettings());
    QVERIFY(w->graphOptionsDialog());
}

void tst_MainWindow::contextMenus_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("result table") << "resultTable" << QStringList{"Экспорт в *.csv", "Копировать", "Спектр линии…"};
    QTest::newRow("graph") << "graphWidget"
                           << QStringList{"Настройки", "Экспорт в *.pdf", "Экспорт в *.png", "Экспорт в *.jpg", "---",
                                          "Копировать график"};
}

void tst_MainWindow::contextMenus()
{
    QFETCH(QString, widget);
    QFETCH(QStringList, items);
    QWidget *w = m_app->child<QWidget>(qPrintable(widget));
    QVERIFY(w);
    QCOMPARE(w->contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(texts(w->actions()), items);
}

void tst_MainWindow::viewCommands()
{
    auto *tabs = m_app->child<QTabWidget>("tabWidget");
    auto *dock = m_app->child<QDockWidget>("treeDock");

    action("showResultAct")->trigger();
    QCOMPARE(tabs->currentIndex(), 1);
    action("showResultAct")->trigger();
    QCOMPARE(tabs->currentIndex(), 1);
    action("showTemplatesAct")->trigger();
    QCOMPARE(tabs->currentIndex(), 0);

    action("showTreeAct")->trigger();
    QVERIFY(dock->isVisible());
    dock->close();
    QVERIFY(!dock->isVisible());
    action("showTreeAct")->trigger();
    QVERIFY(dock->isVisible());

    // Closing a result window only hides it; switching tabs does not bring it back.
    auto *table = m_app->child<QMdiSubWindow>("tableWindow");
    table->close();
    QVERIFY(table->isHidden());
    action("showResultAct")->trigger();
    QVERIFY(table->isHidden());
    QCOMPARE(m_app->child<QMdiArea>("resultsArea")->subWindowList().size(), 2);
}

namespace {

// The shown windows of `area` fill it without overlapping.
bool tiled(const QMdiArea *area)
{
    QRegion covered;
    qint64 sum = 0;
    for (const QMdiSubWindow *w : area->subWindowList()) {
        if (w->isVisible()) {
            covered += w->geometry();
            sum += qint64(w->width()) * w->height();
        }
    }
    const QRect all = area->viewport()->rect();
    return covered == QRegion(all) && sum == qint64(all.width()) * all.height();
}

} // namespace

void tst_MainWindow::firstResultFillsTheArea_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("targets");
    // A maximized window on the two screens, short of a panel.
    QTest::newRow("1366x768, with target rates") << QSize(1366, 700) << true;
    QTest::newRow("1600x1000") << QSize(1600, 930) << false;
}

void tst_MainWindow::firstResultFillsTheArea()
{
    QFETCH(QSize, size);
    QFETCH(bool, targets);
    m_app->window->resize(size);
    m_app->calculate(targets ? chooseFamily(QStringLiteral("targetRatesCountBox"), 2) : DialogSetup());
    auto *area = m_app->child<QMdiArea>("resultsArea");
    QCOMPARE(area->subWindowList().size(), targets ? 4 : 2);
    QVERIFY(tiled(area));
    // The graph, wider than high, gets the larger part.
    auto *graph = m_app->child<QMdiSubWindow>("graphWindow");
    QVERIFY(graph->width() > area->viewport()->width() / 2);

    // The template tree narrows the area: an arrangement left as it was follows it.
    auto *dock = m_app->child<QDockWidget>("treeDock");
    m_app->window->showProjectTree();
    QTRY_VERIFY(tiled(area));
    dock->close();
    QTRY_VERIFY(tiled(area));
    // A window the user moved to the right edge is brought back into the narrower area.
    graph->move(area->viewport()->width() - graph->width(), 0);
    m_app->window->showProjectTree();
    QTRY_VERIFY(area->viewport()->rect().contains(graph->geometry()));
}

void tst_MainWindow::windowMenu()
{
    m_app->calculate();
    auto *tabs = m_app->child<QTabWidget>("tabWidget");
    auto *area = m_app->child<QMdiArea>("resultsArea");
    auto *table = m_app->child<QMdiSubWindow>("tableWindow");
    auto *graph = m_app->child<QMdiSubWindow>("graphWindow");
    auto *menu = m_app->child<QMenu>("windowMenu");
    emit menu->aboutToShow();
    QCOMPARE(texts(menu->actions()), (QStringList{"Упорядочить", "Каскадом", "---", "&1 Kolvane - Таблица скорости",
                                                  "&2 Kolvane - График скорости"}));
    // Choosing a window shows its tab and brings it forward.
    tabs->setCurrentIndex(0);
    menu->actions().at(3)->trigger();
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(area->activeSubWindow(), table);

    m_app->press(QKeySequence(QStringLiteral("Shift+F5")));
    QVERIFY(table->geometry().intersects(graph->geometry()));
    QVERIFY(table->geometry().topLeft() != graph->geometry().topLeft());
    m_app->press(QKeySequence(QStringLiteral("Shift+F4")));
    QVERIFY(tiled(area));
}

void tst_MainWindow::layoutKeptBetweenSessions()
{
    m_app->window->setGeometry(60, 40, 1200, 800);
    m_app->calculate();
    auto *graph = m_app->child<QMdiSubWindow>("graphWindow");
    graph->setGeometry(40, 30, 640, 520);
    const QRect table = m_app->child<QMdiSubWindow>("tableWindow")->geometry();
    QVERIFY(m_app->window->close());

    // The next session: the same place and size, and its first result as the user left it.
    m_app->window = std::make_unique<MainWindow>();
    m_app->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_app->window.get()));
    QCOMPARE(m_app->window->geometry(), QRect(60, 40, 1200, 800));
    m_app->calculate();
    QCOMPARE(m_app->child<QMdiSubWindow>("graphWindow")->geometry(), QRect(40, 30, 640, 520));
    QCOMPARE(m_app->child<QMdiSubWindow>("tableWindow")->geometry(), table);
}

void tst_MainWindow::treeListsTheWorkspace()
{
    auto *tree = m_app->child<QTreeWidget>("templateTree");
    QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Дерево шаблонов"));
    QCOMPARE(tree->topLevelItemCount(), 3);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Тип кабеля"));
    QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("Тип линии xDSL"));
    QCOMPARE(tree->topLevelItem(2)->text(0), QStringLiteral("Шаблон помех на входе приемника"));
    QCOMPARE(tree->topLevelItem(0)->childCount(), 4);
    QCOMPARE(tree->topLevelItem(1)->childCount(), 10);
    QCOMPARE(tree->topLevelItem(2)->childCount(), 3);

    // A double-click opens the template in the templates tab, whatever tab was current.
    action("showResultAct")->trigger();
    QTreeWidgetItem *cable = tree->topLevelItem(0)->child(0);
    emit tree->itemDoubleClicked(cable, 0);
    QCOMPARE(m_app->child<QTabWidget>("tabWidget")->currentIndex(), 0);
    TemplateEditorEntry *editor = m_app->window->templateManager()->activeEditor();
    QVERIFY(editor);
    QCOMPARE(editor->path, QStringLiteral("Cable/") + cable->text(0));
    QVERIFY(editor->table->item(0, 0));
}

void tst_MainWindow::shortcutsOpenTheirDialogs_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("dialogClass");
    QTest::newRow("F5 calculation") << QKeySequence(Qt::Key_F5) << "PropertiesDialog";
    QTest::newRow("F6 graph options") << QKeySequence(Qt::Key_F6) << "GraphOptions";
    QTest::newRow("Ctrl+N new template") << QKeySequence(QKeySequence::New) << "NewFileDialog";
    QTest::newRow("F1 help") << QKeySequence(Qt::Key_F1) << "QMessageBox";
}

void tst_MainWindow::shortcutsOpenTheirDialogs()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, dialogClass);

    // No help viewer here: F1 asks whether to open the HTML help instead.
    m_app->window->helpLauncher().hasChmViewer = [] { return false; };
    QString seen;
    m_app->answerer->push([&seen](QWidget *w) {
        seen = QString::fromLatin1(w->metaObject()->className());
        static_cast<QDialog *>(w)->reject();
    });
    m_app->press(keys);
    QTRY_COMPARE(seen, dialogClass);
    QCOMPARE(m_app->answerer->unexpected(), 0);
}

void tst_MainWindow::templateCommandsActOnTheActiveEditor()
{
    auto *tree = m_app->child<QTreeWidget>("templateTree");
    emit tree->itemDoubleClicked(tree->topLevelItem(2)->child(0), 0);
    TemplateEditorEntry *editor = m_app->window->templateManager()->activeEditor();
    QVERIFY(editor);
    const QByteArray before = [&] {
        QFile f(editor->path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const int rows = editor->table->rowCount();

    editor->table->setCurrentCell(0, 0);
    action("insertLineAct")->trigger();
    QCOMPARE(editor->table->rowCount(), rows + 1);
    QCOMPARE(editor->table->item(1, 0)->text(), QStringLiteral("0"));
    QVERIFY(editor->table->isModified());
    QVERIFY(editor->window->windowTitle().endsWith(QLatin1String(" *")));

    editor->table->setCurrentCell(1, 0);
    action("deleteLineAct")->trigger();
    QCOMPARE(editor->table->rowCount(), rows);

    m_app->press(QKeySequence::Save);
    QVERIFY(!editor->table->isModified());
    QFile after(editor->path);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
}

void tst_MainWindow::closingAsksAboutUnsavedEditors_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("fileChanged");
    QTest::newRow("yes saves and closes") << QMessageBox::Yes << true << true;
    QTest::newRow("no drops and closes") << QMessageBox::No << true << false;
    QTest::newRow("cancel keeps the program") << QMessageBox::Cancel << false << false;
}

void tst_MainWindow::closingAsksAboutUnsavedEditors()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, closes);
    QFETCH(bool, fileChanged);

    auto *tree = m_app->child<QTreeWidget>("templateTree");
    emit tree->itemDoubleClicked(tree->topLevelItem(0)->child(1), 0);
    TemplateEditorEntry *editor = m_app->window->templateManager()->activeEditor();
    QVERIFY(editor);
    QFile file(editor->path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    // Column 1 (attenuation) may take any value without breaking the file's validity.
    editor->table->item(0, 1)->setText(QStringLiteral("1.5"));
    QVERIFY(editor->table->isModified());

    m_app->answerer->pushButton(answer);
    const bool closed = m_app->window->close();
    QCOMPARE(closed, closes);
    QCOMPARE(m_app->answerer->pending(), 0);
    QCOMPARE(m_app->answerer->texts().size(), 1);
    QVERIFY(m_app->answerer->texts().first().contains(editor->path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll() != before, fileChanged);
}

void tst_MainWindow::aboutBox()
{
    QString title, text;
    QFont font;
    int width = 0;
    m_app->answerer->push([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        font = label->font();
        width = label->contentsRect().width();
        box->accept();
    });
    action("aboutAct")->trigger();
    QCOMPARE(title, QStringLiteral("О программе Kolvane"));
    QVERIFY(text.contains(QLatin1String("<h3>Kolvane v1.6 26.02.2012</h3>")));
    QVERIFY(text.contains(QStringLiteral(
        "Программа Kolvane обеспечивает расчет скоростных характеристик цифровых абонентских линий ADSL, "
        "ADSL2, ADSL2+, VDSL2, SHDSL в зависимости от типа кабеля, загрузки кабеля цифровыми линиями, "
        "норм переходных влияний, длины кабельной линии, аддитивных помех.")));
    // Laid out at the box's width, every address stays on one line.
    QTextDocument document;
    document.setDefaultFont(font);
    document.setHtml(text);
    document.setTextWidth(width);
    document.size();
    int links = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!block.text().contains(QLatin1String("https://")))
            continue;
        ++links;
        QVERIFY2(block.layout()->lineCount() == 1, qPrintable(block.text()));
    }
    QCOMPARE(links, 2);
}

void tst_MainWindow::help_data()
{
    QTest::addColumn<bool>("chmPresent");
    QTest::addColumn<bool>("viewer");
    QTest::addColumn<bool>("htmlPresent");
    QTest::addColumn<QMessageBox::StandardButton>("answer"); // NoButton: no question expected
    QTest::addColumn<QString>("opened");                     // file name opened, "" for none

    QTest::newRow("viewer opens help.chm") << true << true << true << QMessageBox::NoButton << "help.chm";
    QTest::newRow("no viewer, HTML accepted") << true << false << true << QMessageBox::Yes << "index.html";
    QTest::newRow("no viewer, HTML declined") << true << false << true << QMessageBox::No << "";
    QTest::newRow("no help.chm, HTML accepted") << false << true << true << QMessageBox::Yes << "index.html";
    QTest::newRow("nothing to show") << false << false << false << QMessageBox::Ok << "";
}

void tst_MainWindow::help()
{
    QFETCH(bool, chmPresent);
    QFETCH(bool, viewer);
    QFETCH(bool, htmlPresent);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(QString, opened);

    if (chmPresent) {
        QFile chm(m_app->path("help.chm"));
        QVERIFY(chm.open(QIODevice::WriteOnly));
        chm.write("ITSF");
    }
    const QString html = m_app->path("html/index.html");
    if (htmlPresent) {
        QDir().mkpath(m_app->path("html"));
        QFile index(html);
        QVERIFY(index.open(QIODevice::WriteOnly));
    }
    HelpLauncher &launcher = m_app->window->helpLauncher();
    launcher.hasChmViewer = [viewer] { return viewer; };
    launcher.hasHtmlViewer = [] { return true; };
    launcher.htmlIndexCandidates = {m_app->path("nowhere/index.html"), html};

    UrlCatcher catcher;
    if (answer != QMessageBox::NoButton)
        m_app->answerer->pushButton(answer);

    m_app->press(QKeySequence(Qt::Key_F1));

    QCOMPARE(m_app->answerer->pending(), 0);
    QCOMPARE(m_app->answerer->unexpected(), 0);
    if (opened.isEmpty()) {
        QVERIFY(catcher.urls.isEmpty());
    } else {
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(QFileInfo(catcher.urls.first().toLocalFile()).fileName(), opened);
        QVERIFY(QFileInfo::exists(catcher.urls.first().toLocalFile()));
    }
    if (answer != QMessageBox::NoButton)
        QVERIFY(!m_app->answerer->texts().first().isEmpty());
}

void tst_MainWindow::qtTextsAreRussian()
{
    const QString catalogue = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ru.qm");
    QVERIFY2(QFileInfo::exists(catalogue), "Qt's Russian catalogue is not installed (qt6-translations-l10n)");
    QVERIFY(installQtTranslation(*QCoreApplication::instance()));

    QMessageBox box(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    const QString yes = box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&'));
    const QString no = box.button(QMessageBox::No)->text().remove(QLatin1Char('&'));
    const QString cancel = box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&'));
    QCOMPARE(yes, QStringLiteral("Да"));
    QCOMPARE(no, QStringLiteral("Нет"));
    QCOMPARE(cancel, QStringLiteral("Отмена"));

    for (QTranslator *t : QCoreApplication::instance()->findChildren<QTranslator *>())
        QCoreApplication::removeTranslator(t);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
