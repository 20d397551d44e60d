#include "app/mainwindow.h"

#include "app/helplauncher.h"
#include "app/lastrun.h"
#include "app/recentsetups.h"
#include "app/templatesarea.h"
#include "app/qualifyrun.h"
#include "app/usersettings.h"
#include "app/windowarranger.h"
#include "engine/csvwriter.h"
#include "engine/filewrite.h"
#include "engine/setupfile.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"
#include "input/importdialog.h"
#include "input/propertiesdialog.h"
#include "report/export.h"
#include "report/graphoptions.h"
#include "report/graphwidget.h"
#include "report/reportmdisubwindow.h"
#include "report/reportprint.h"
#include "report/runtablemodel.h"
#include "report/spectrumlauncher.h"
#include "report/tablecopy.h"
#include "report/targetreport.h"
#include "report/targetwindows.h"
#include "templates/templatemanager.h"
#include "widgets/savedialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QTreeWidget>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_help(std::make_unique<HelpLauncher>())
{
    auto *statusLabel = new QLabel;
    statusLabel->setIndent(3);
    statusLabel->setMinimumHeight(15);
    statusBar()->addWidget(statusLabel, 1);

    m_graphSettings = std::make_unique<GraphSettings>();
    m_graphOptionsDialog = std::make_unique<GraphOptions>();
    m_lastRun = new LastRun(this);

    restoreWindowGeometry();
    createCentralArea();
    createTemplateTree();
    m_templates = new TemplateManager(templatesArea, templateTree, cableRoot, lineTypeRoot, noiseRoot,
                                      this, this);
    connect(m_templates, &TemplateManager::templateShown, this, &MainWindow::showTemplates);
    m_templates->refreshTemplateTree();

    createActions();
    createMenus();
    createToolBars();
    connect(templateTree, &QTreeWidget::itemDoubleClicked, this, &MainWindow::cableFileSelected);

    createResultWindows();
    createGraphWindow();
    m_targetWindows = new TargetWindows(resultsArea, this);
    connect(m_targetWindows, &TargetWindows::exportRequested, this, &MainWindow::exportTargetTable);
    m_resultArranger = new WindowArranger(resultsArea, graphWindow, this);
    m_templateArranger = new WindowArranger(templatesArea, nullptr, this);
    createContextMenus();

    setWindowIcon(QIcon(QStringLiteral(":/images/main.png")));
    setWindowTitle(tr("Kolvane"));
}

MainWindow::~MainWindow()
{
    // The graph points into the records below; it goes first.
    delete graphWindow;
    graphWindow = nullptr;
    graphWidget = nullptr;
}

void MainWindow::createCentralArea()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *layout = new QHBoxLayout(central);
    tabWidget = new QTabWidget(central);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));
    tabWidget->setTabShape(QTabWidget::Triangular);
    tabWidget->setDocumentMode(true);

    templatesArea = new TemplatesArea;
    templatesArea->setObjectName(QStringLiteral("templatesArea"));
    templatesArea->setFrameShape(QFrame::Box);
    tabWidget->addTab(templatesArea, tr("шаблоны"));
    resultsArea = new QMdiArea;
    resultsArea->setObjectName(QStringLiteral("resultsArea"));
    resultsArea->setFrameShape(QFrame::Box);
    tabWidget->addTab(resultsArea, tr("результат"));

    layout->addWidget(tabWidget);
    tabWidget->setCurrentIndex(0);
}

void MainWindow::createTemplateTree()
{
    treeDock = new QDockWidget(this);
    treeDock->setObjectName(QStringLiteral("treeDock"));
    treeDock->hide();
    templateTree = new QTreeWidget;
    templateTree->setObjectName(QStringLiteral("templateTree"));
    treeDock->setWidget(templateTree);
    addDockWidget(Qt::LeftDockWidgetArea, treeDock);
    templateTree->headerItem()->setText(0, tr("Дерево шаблонов"));

    cableRoot = new QTreeWidgetItem(templateTree);
    cableRoot->setText(0, tr("Тип кабеля"));
    lineTypeRoot = new QTreeWidgetItem(templateTree);
    lineTypeRoot->setText(0, tr("Тип линии xDSL"));
    noiseRoot = new QTreeWidgetItem(templateTree);
    noiseRoot->setText(0, tr("Шаблон помех на входе приемника"));
}

QAction *MainWindow::addAction(const QString &text, const char *name, const QString &icon,
                               const QKeySequence &shortcut, const QString &statusTip)
{
    auto *action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    if (!icon.isEmpty())
        action->setIcon(QIcon(icon));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    action->setStatusTip(statusTip);
    return action;
}

void MainWindow::createActions()
{
    newFileAct = addAction(tr("Новый шаблон…"), "newFileAct", QStringLiteral(":/images/new.png"),
                           QKeySequence::New, tr("Создать новый файл шаблона"));
    connect(newFileAct, &QAction::triggered, this, &MainWindow::newFile);

    saveAct = addAction(tr("Сохранить"), "saveAct", QStringLiteral(":/images/save.png"),
                        QKeySequence::Save, tr("Сохранить файл на диск"));
    connect(saveAct, &QAction::triggered, this, &MainWindow::save);

    saveAsAct = addAction(tr("Сохранить как..."), "saveAsAct", QString(), QKeySequence(),
                          tr("Сохранить файл под новым именем"));
    connect(saveAsAct, &QAction::triggered, this, &MainWindow::saveAs);

    qualifyAct = addAction(tr("Проверка линий…"), "qualifyAct", QStringLiteral(":/images/table.png"),
                           QKeySequence(tr("Ctrl+L")),
                           tr("Рассчитать линии из файла записей для выбранных услуг"));
    connect(qualifyAct, &QAction::triggered, this, &MainWindow::qualifyLines);

    importAct = addAction(tr("Импорт измерений линии…"), "importAct", QString(), QKeySequence(tr("Ctrl+I")),
                          tr("Шаблоны кабеля и помех из измерений модема и расчёт того, что даст линия"));
    connect(importAct, &QAction::triggered, this, &MainWindow::importMeasurement);

    exitAct = addAction(tr("Выход"), "exitAct", QString(), QKeySequence(tr("Ctrl+Q")),
                        tr("Выйти из приложения"));
    connect(exitAct, &QAction::triggered, this, &QWidget::close);

    insertLineAct = addAction(tr("Вставить строку"), "insertLineAct", QStringLiteral(":/images/add.png"),
                              QKeySequence(), tr("Вставить новую строку в данную позицию"));
    connect(insertLineAct, &QAction::triggered, this, &MainWindow::insertLine);

    deleteLineAct = addAction(tr("Удалить строку"), "deleteLineAct", QStringLiteral(":/images/remove.png"),
                              QKeySequence(), tr("Удалить текущую строку"));
    connect(deleteLineAct, &QAction::triggered, this, &MainWindow::deleteLine);

    showTreeAct = addAction(tr("Дерево шаблонов"), "showTreeAct", QString(), QKeySequence(),
                            tr("Показать дерево шаблонов"));
    connect(showTreeAct, &QAction::triggered, this, &MainWindow::showProjectTree);

    showTemplatesAct = addAction(tr("Вкладка \"шаблоны\""), "showTemplatesAct", QString(), QKeySequence(),
                                 tr("Переключиться на вкладку \"шаблоны\""));
    connect(showTemplatesAct, &QAction::triggered, this, &MainWindow::showTemplates);

    showResultAct = addAction(tr("Вкладка \"результат\""), "showResultAct", QString(), QKeySequence(),
                              tr("Переключиться на вкладку \"результат\""));
    connect(showResultAct, &QAction::triggered, this, &MainWindow::showResult);

    calcInputAct = addAction(tr("Ввод исходных данных"), "calcInputAct", QStringLiteral(":/images/calculate.png"),
                             QKeySequence(Qt::Key_F5), tr("Ввод исходных данных к расчёту"));
    connect(calcInputAct, &QAction::triggered, this, &MainWindow::showPropertiesDialog);

    graphOptionsAct = addAction(tr("Настройки"), "graphOptionsAct", QStringLiteral(":/images/options.png"),
                                QKeySequence(Qt::Key_F6), tr("Настройки параметров графика"));
    connect(graphOptionsAct, &QAction::triggered, this, &MainWindow::showGraphOptionsDialog);

    exportCsvAct = addAction(tr("Экспорт в *.csv"), "exportCsvAct", QStringLiteral(":/images/xls.png"),
                             QKeySequence(tr("Ctrl+t")),
                             tr("Экспортировать таблицу результатов в csv-формат"));
    connect(exportCsvAct, &QAction::triggered, this, &MainWindow::exportToCsv);

    exportPdfAct = addAction(tr("Экспорт в *.pdf"), "exportPdfAct", QStringLiteral(":/images/pdf.png"),
                             QKeySequence(tr("Ctrl+1")), tr("Экспортировать график в pdf-формат"));
    connect(exportPdfAct, &QAction::triggered, this, &MainWindow::exportToPdf);

    exportPngAct = addAction(tr("Экспорт в *.png"), "exportPngAct", QStringLiteral(":/images/png.png"),
                             QKeySequence(tr("Ctrl+2")), tr("Экспортировать график в png-формат"));
    connect(exportPngAct, &QAction::triggered, this, &MainWindow::exportToPng);

    exportJpgAct = addAction(tr("Экспорт в *.jpg"), "exportJpgAct", QStringLiteral(":/images/jpg.png"),
                             QKeySequence(tr("Ctrl+3")), tr("Экспортировать график в jpg-формат"));
    connect(exportJpgAct, &QAction::triggered, this, &MainWindow::exportToJpg);

    helpAct = addAction(tr("Вызвать справку"), "helpAct", QString(), QKeySequence(Qt::Key_F1),
                        tr("Вызвать справку"));
    connect(helpAct, &QAction::triggered, this, &MainWindow::help);

    aboutAct = addAction(tr("О программе..."), "aboutAct", QString(), QKeySequence(), tr("О программе..."));
    connect(aboutAct, &QAction::triggered, this, &MainWindow::about);

    openSetupAct = addAction(tr("Открыть расчёт…"), "openSetupAct", QString(), QKeySequence::Open,
                             tr("Открыть сохранённый расчёт и выполнить его"));
    connect(openSetupAct, &QAction::triggered, this, &MainWindow::openSetup);
    saveSetupAct = addAction(tr("Сохранить расчёт…"), "saveSetupAct", QString(), QKeySequence(tr("Ctrl+Shift+S")),
                             tr("Сохранить исходные данные расчёта и настройки графика в файл"));
    connect(saveSetupAct, &QAction::triggered, this, &MainWindow::saveSetup);

    reportPdfAct = addAction(tr("Отчёт PDF…"), "reportPdfAct", QStringLiteral(":/images/pdf.png"),
                             QKeySequence(tr("Ctrl+R")), tr("Сохранить отчёт с графиком и таблицами в pdf-формат"));
    connect(reportPdfAct, &QAction::triggered, this, &MainWindow::exportReportPdf);

    printAct = addAction(tr("Печать…"), "printAct", QString(), QKeySequence(tr("Ctrl+P")),
                         tr("Напечатать отчёт с графиком и таблицами"));
    connect(printAct, &QAction::triggered, this, &MainWindow::printReport);

    copyGraphAct = addAction(tr("Копировать график"), "copyGraphAct", QString(), QKeySequence::Copy,
                             tr("Копировать график в буфер обмена как изображение"));
    // Ctrl+C copies what has the focus: the graph once it is clicked, a table otherwise.
    copyGraphAct->setShortcutContext(Qt::WidgetWithChildrenShortcut);

    tileAct = addAction(tr("Упорядочить"), "tileAct", QString(), QKeySequence(tr("Shift+F4")),
                        tr("Расположить окна вкладки рядом, без перекрытий, на всю её площадь"));
    connect(tileAct, &QAction::triggered, this, &MainWindow::tileWindows);
    cascadeAct = addAction(tr("Каскадом"), "cascadeAct", QString(), QKeySequence(tr("Shift+F5")),
                           tr("Расположить окна вкладки каскадом"));
    connect(cascadeAct, &QAction::triggered, this, &MainWindow::cascadeWindows);
}

void MainWindow::createMenus()
{
    fileMenu = menuBar()->addMenu(tr("Файл"));
    fileMenu->addAction(newFileAct);
    fileMenu->addAction(saveAct);
    fileMenu->addSeparator();
    fileMenu->addAction(openSetupAct);
    fileMenu->addAction(saveSetupAct);
    recentSetupsMenu = fileMenu->addMenu(tr("Последние расчёты"));
    recentSetupsMenu->setObjectName(QStringLiteral("recentSetupsMenu"));
    updateRecentSetups();
    fileMenu->addSeparator();
    fileMenu->addAction(reportPdfAct);
    fileMenu->addAction(printAct);
    fileMenu->addSeparator();
    fileMenu->addAction(qualifyAct);
    fileMenu->addAction(importAct);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAct);

    editMenu = menuBar()->addMenu(tr("Правка"));
    editMenu->addAction(insertLineAct);
    editMenu->addAction(deleteLineAct);

    viewMenu = menuBar()->addMenu(tr("Вид"));
    viewMenu->addAction(showTreeAct);
    viewMenu->addAction(showTemplatesAct);
    viewMenu->addAction(showResultAct);

    toolsMenu = menuBar()->addMenu(tr("Инструменты"));
    toolsMenu->addAction(calcInputAct);
    graphMenu = toolsMenu->addMenu(QIcon(QStringLiteral(":/images/graph.png")), tr("График"));
    graphMenu->addAction(graphOptionsAct);
    graphMenu->addAction(exportPdfAct);
    graphMenu->addAction(exportPngAct);
    graphMenu->addAction(exportJpgAct);
    tableMenu = toolsMenu->addMenu(QIcon(QStringLiteral(":/images/table.png")), tr("Таблица"));
    tableMenu->addAction(exportCsvAct);

    windowMenu = menuBar()->addMenu(tr("Окно"));
    windowMenu->setObjectName(QStringLiteral("windowMenu"));
    windowMenu->addAction(tileAct);
    windowMenu->addAction(cascadeAct);
    // The list of windows is made as the menu opens.
    connect(windowMenu, &QMenu::aboutToShow, this, &MainWindow::updateWindowMenu);

    helpMenu = menuBar()->addMenu(tr("Справка"));
    helpMenu->addAction(helpAct);
    helpMenu->addAction(aboutAct);
}

void MainWindow::createToolBars()
{
    fileToolBar = addToolBar(tr("Файл"));
    fileToolBar->setObjectName(QStringLiteral("fileToolBar"));
    fileToolBar->addAction(newFileAct);
    fileToolBar->addAction(saveAct);

    calcToolBar = addToolBar(tr("Вычислить"));
    calcToolBar->setObjectName(QStringLiteral("calcToolBar"));
    for (QAction *action : {calcInputAct, graphOptionsAct, exportCsvAct, exportPdfAct, exportJpgAct, exportPngAct})
        calcToolBar->addAction(action);
}

void MainWindow::createResultWindows()
{
    resultTable = new QTableView;
    resultTable->setObjectName(QStringLiteral("resultTable"));
    m_resultModel = new RunTableModel(RunTableModel::Rates, resultTable);
    resultTable->setModel(m_resultModel);

    tableWindow = new ReportMdiSubWindow(resultsArea);
    tableWindow->setObjectName(QStringLiteral("tableWindow"));
    tableWindow->setWidget(resultTable);
    tableWindow->setWindowTitle(tr("Kolvane - Таблица скорости"));
    tableWindow->setWindowIcon(QIcon(QStringLiteral(":/images/table.png")));
    tableWindow->show();
}

void MainWindow::createGraphWindow()
{
    graphWidget = new GraphWidget;
    graphWidget->setObjectName(QStringLiteral("graphWidget"));
    graphWidget->setGraphSettings(m_graphSettings.get());
    graphWindow = new ReportMdiSubWindow(resultsArea);
    graphWindow->setObjectName(QStringLiteral("graphWindow"));
    graphWindow->setWindowTitle(tr("Kolvane - График скорости"));
    graphWindow->setWindowIcon(QIcon(QStringLiteral(":/images/graph.png")));
    graphWindow->setWidget(graphWidget);
    graphWindow->setMinimumWidth(550);
    graphWindow->setMinimumHeight(450);
    graphWindow->show();
}

void MainWindow::createContextMenus()
{
    resultTable->addAction(exportCsvAct);
    addCopyAction(resultTable, KeyColumn::Include);
    resultTable->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_spectra = new SpectrumLauncher(
        resultTable, resultsArea, [this] { return SpectrumLauncher::Run{calcSettings(), &resultSet()}; }, this);

    graphWidget->addAction(graphOptionsAct);
    graphWidget->addAction(exportPdfAct);
    graphWidget->addAction(exportPngAct);
    graphWidget->addAction(exportJpgAct);
    auto *separator = new QAction(graphWidget);
    separator->setSeparator(true);
    graphWidget->addAction(separator);
    graphWidget->addAction(copyGraphAct);
    graphWidget->setFocusPolicy(Qt::ClickFocus);
    graphWidget->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copyGraphAct, &QAction::triggered, graphWidget, &GraphWidget::copyGraph);

    connect(graphWidget, &GraphWidget::rowClicked, this, &MainWindow::selectResultRow);
    connect(graphWidget, &GraphWidget::readoutChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(text);
    });
}

// Calculation

PropertiesDialog *MainWindow::ensurePropertiesDialog()
{
    if (!m_propertiesDialog)
        m_propertiesDialog = new PropertiesDialog(this);
    return m_propertiesDialog;
}

void MainWindow::showPropertiesDialog()
{
    if (calculating)
        return;
    ensurePropertiesDialog();
    if (m_propertiesDialog->exec() != QDialog::Accepted)
        return;
    if (!runCalculation())
        return;
    graphWidget->setGraphSettings(m_graphSettings.get());
    graphWidget->setResult(graphRun(), GraphWidget::AutoScale);
    m_graphOptionsDialog->showAxisSettings(*m_graphSettings);
}

void MainWindow::showGraphOptionsDialog()
{
    if (calculating)
        return;
    m_graphOptionsDialog->setLengthAxisInUse(!lastRun() || lastRun()->settings.axis == SweepAxis::Length);
    if (m_graphOptionsDialog->exec() != QDialog::Accepted || !m_propertiesDialog)
        return;
    // Taken over only with a run that ends: a refused or cancelled one leaves the graph as it was.
    GraphSettings chosen = *m_graphSettings;
    m_graphOptionsDialog->collectSettings(chosen);
    if (!runCalculation())
        return;
    *m_graphSettings = chosen;
    graphWidget->setGraphSettings(m_graphSettings.get());
    graphWidget->setResult(graphRun(), GraphWidget::UserScale);
    m_graphOptionsDialog->showAxisSettings(*m_graphSettings);
}

void MainWindow::qualifyLines()
{
    if (calculating)
        return;
    if (!m_propertiesDialog)
        m_propertiesDialog = new PropertiesDialog(this);
    CalcSettings preset;
    m_propertiesDialog->fillSettings(preset);
    calculating = true;
    const bool shown = qualifyLoops(this, resultsArea, preset,
                                    [this](const QString &text) { statusBar()->showMessage(text); });
    calculating = false;
    if (shown)
        tabWidget->setCurrentIndex(1);
}

void MainWindow::importMeasurement()
{
    if (calculating)
        return;
    ImportDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_templates->refreshTemplateTree();
    showProjectTree();
    if (dialog.setupFile().isEmpty())
        statusBar()->showMessage(dialog.outcome(), 10000);
    else
        openSetupFile(dialog.setupFile());
}

bool MainWindow::runCalculation()
{
    if (!m_propertiesDialog || calculating)
        return false;
    CalcSettings settings;
    m_propertiesDialog->fillSettings(settings);
    QString error;
    calculating = true;
    const LastRun::Outcome outcome = m_lastRun->run(this, settings, &error);
    calculating = false;
    if (outcome == LastRun::Outcome::Cancelled) {
        // Nothing of the run is kept: the tables, the graph and the last record stay as they were.
        statusBar()->showMessage(tr("Расчёт отменён"), 5000);
        return false;
    }
    if (outcome == LastRun::Outcome::Refused) {
        QMessageBox::warning(this, tr("Kolvane"), tr("Расчёт не выполнен.\n%1").arg(error));
        return false;
    }
    const CalcRun &run = *m_lastRun->get();
    m_resultModel->setRun(&run);
    // A family's labels differ in width; a single curve keeps the width it has.
    if (run.sweep.labels.size() > 1)
        for (int column = 1; column <= run.sweep.labels.size(); ++column)
            resultTable->resizeColumnToContents(column);
    m_targetWindows->setRun(&run);
    showRunWindows();
    updateTitle();
    // Templates the run could take nothing from: the curves are there (at 0), the reason here.
    if (!run.sweep.warnings.isEmpty())
        statusBar()->showMessage(run.sweep.warnings.join(QStringLiteral("  ")));
    else
        statusBar()->clearMessage();
    return true;
}

const CalcRun *MainWindow::lastRun() const
{
    return m_lastRun->get();
}

const CalcSettings *MainWindow::calcSettings() const
{
    return lastRun() ? &lastRun()->settings : nullptr;
}

const ResultSet &MainWindow::resultSet() const
{
    static const ResultSet none;
    return lastRun() ? lastRun()->sweep.rows : none;
}

// Windows

void MainWindow::showRunWindows()
{
    const QList<QMdiSubWindow *> before = m_resultArranger->shownWindows();
    for (ReportMdiSubWindow *window : {graphWindow, tableWindow})
        if (window->isHidden())
            window->show();
    tabWidget->setCurrentIndex(1);
    // The first result fills the area as the last session left it, or tiled; a window that a run
    // brings back is tiled in with the others.
    if (!m_resultsArranged) {
        if (!m_resultArranger->applyLayout(userSettings().value(QStringLiteral("window/results")).toMap()))
            m_resultArranger->tile();
        m_resultsArranged = true;
    } else if (m_resultArranger->shownWindows() != before) {
        m_resultArranger->tile();
    }
}

WindowArranger *MainWindow::currentArranger() const
{
    return tabWidget->currentIndex() == 0 ? m_templateArranger : m_resultArranger;
}

void MainWindow::tileWindows()
{
    currentArranger()->tile();
}

void MainWindow::cascadeWindows()
{
    currentArranger()->cascade();
}

void MainWindow::updateWindowMenu()
{
    windowMenu->clear();
    windowMenu->addAction(tileAct);
    windowMenu->addAction(cascadeAct);
    // Both tabs' windows: choosing one shows its tab.
    int number = 0;
    for (int tab = 0; tab < 2; ++tab) {
        const auto *area = static_cast<QMdiArea *>(tabWidget->widget(tab));
        const QList<QMdiSubWindow *> windows = (tab == 0 ? m_templateArranger : m_resultArranger)->shownWindows();
        if (!windows.isEmpty())
            windowMenu->addSeparator();
        for (QMdiSubWindow *window : windows) {
            ++number;
            const QString text = number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(window->windowTitle())
                                             : window->windowTitle();
            QAction *action = windowMenu->addAction(text);
            action->setCheckable(true);
            action->setChecked(tab == tabWidget->currentIndex() && area->activeSubWindow() == window);
            connect(action, &QAction::triggered, this, [this, tab, window] {
                tabWidget->setCurrentIndex(tab);
                if (window->isMinimized())
                    window->showNormal();
                window->mdiArea()->setActiveSubWindow(window);
            });
        }
    }
}

void MainWindow::restoreWindowGeometry()
{
    if (restoreGeometry(userSettings().value(QStringLiteral("window/geometry")).toByteArray()))
        return;
    // The first start: most of the screen, so that the graph and the tables fit side by side.
    const QRect screen = this->screen()->availableGeometry();
    resize(QSize(855, 600).expandedTo(screen.size() * 0.9));
    move(screen.center() - rect().center());
}

void MainWindow::saveWindowLayout() const
{
    QSettings settings = userSettings();
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    // Only a session that showed a result has an arrangement worth keeping.
    if (m_resultsArranged)
        settings.setValue(QStringLiteral("window/results"), m_resultArranger->layout());
}

// Setup files

QString MainWindow::setupDirectory() const
{
    // The bundled scenarios sit in the workspace's "setups"; otherwise where the last one was.
    if (QFileInfo(QStringLiteral("setups")).isDir())
        return QDir(QStringLiteral("setups")).absolutePath();
    const QStringList recent = RecentSetups::paths();
    if (!recent.isEmpty())
        return QFileInfo(recent.first()).absolutePath();
    return QDir::currentPath();
}

void MainWindow::openSetup()
{
    if (calculating)
        return;
    const QString path = QFileDialog::getOpenFileName(this, tr("Открыть расчёт"), setupDirectory(),
                                                      tr("Расчёты Kolvane (*.kolvane);;Все файлы (*)"));
    if (!path.isEmpty())
        openSetupFile(path);
}

void MainWindow::saveSetup()
{
    if (calculating)
        return;
    const QString path = askSaveFileName(this, tr("Сохранить расчёт"), setupDirectory(),
                                         {{tr("Расчёты Kolvane (*.kolvane)"), QLatin1String(SetupFile::Extension)}});
    if (!path.isEmpty())
        saveSetupFile(path);
}

bool MainWindow::saveSetupFile(const QString &path)
{
    CalcSettings settings;
    ensurePropertiesDialog()->fillSettings(settings);
    QString error;
    // The axes go into the file only where the user set them; automatic ones follow the run.
    const bool userAxes = graphWidget->hasResult() && graphWidget->currentScaleMode() == GraphWidget::UserScale;
    if (!SetupFile::write(path, settings, *m_graphSettings, &error, userAxes)) {
        QMessageBox::warning(this, tr("Kolvane"), tr("Не удалось сохранить расчёт:\n%1").arg(error));
        return false;
    }
    RecentSetups::add(path);
    updateRecentSetups();
    m_setupPath = path;
    m_setupText = SetupFile::text(settings, GraphSettings());
    updateTitle();
    statusBar()->showMessage(tr("Расчёт сохранён: %1").arg(QDir::toNativeSeparators(path)), 5000);
    return true;
}

bool MainWindow::openSetupFile(const QString &path)
{
    if (calculating)
        return false;
    Setup setup;
    QString error;
    if (!SetupFile::read(path, defaultCalcSettings(), &setup, &error)) {
        QMessageBox::warning(this, tr("Kolvane"), tr("Не удалось открыть расчёт.\n%1").arg(error));
        return false;
    }
    // No more curves than the dialog can hold, then every template the setup names must be
    // readable in this workspace: all missing and unreadable ones are listed.
    if (const std::optional<CalcInput::Problem> p = checkTemplateCounts(setup.calc, QString())) {
        QMessageBox::warning(this, tr("Kolvane"), tr("Не удалось открыть расчёт.\n%1: %2")
                                                      .arg(path, CalcInput::describe(*p, SetupFile::keyName)));
        return false;
    }
    QStringList missing;
    QStringList unreadable;
    for (const TemplateProblem &problem : unreadableTemplates(setup.calc, QString())) {
        if (problem.failure == ReadFailure::Missing)
            missing << problem.relative;
        else
            unreadable << QStringLiteral("%1: %2").arg(problem.relative, problem.reason);
    }
    if (!missing.isEmpty() || !unreadable.isEmpty()) {
        QStringList lines;
        if (!missing.isEmpty())
            lines << tr("в рабочем каталоге нет шаблонов") << missing;
        if (!unreadable.isEmpty())
            lines << tr("не удаётся прочитать шаблоны") << unreadable;
        QMessageBox::warning(this, tr("Kolvane"), tr("Расчёт %1 не выполнен: %2")
                                                      .arg(QDir::toNativeSeparators(path), lines.join(QLatin1Char('\n'))));
        return false;
    }

    // What the dialogs held, so a refused or cancelled run leaves them as they were.
    PropertiesDialog *dialog = ensurePropertiesDialog();
    CalcSettings before;
    dialog->fillSettings(before);
    GraphSettings optionsBefore;
    m_graphOptionsDialog->collectSettings(optionsBefore);
    if (!dialog->setSettings(setup.calc, &error)) {
        QMessageBox::warning(this, tr("Kolvane"), tr("Не удалось открыть расчёт.\n%1").arg(error));
        return false;
    }
    m_graphOptionsDialog->showSettings(setup.graph);
    const QString previousPath = m_setupPath;
    const QByteArray previousText = m_setupText;
    m_setupPath = path;
    m_setupText = SetupFile::text(setup.calc, GraphSettings());
    if (!runCalculation()) {
        dialog->setSettings(before);
        m_graphOptionsDialog->showSettings(optionsBefore);
        m_setupPath = previousPath;
        m_setupText = previousText;
        return false;
    }
    // A file that fixes the axes is shown with them; otherwise the scale follows the run.
    *m_graphSettings = setup.graph;
    graphWidget->setGraphSettings(m_graphSettings.get());
    graphWidget->setResult(graphRun(), setup.graphAxesGiven ? GraphWidget::UserScale : GraphWidget::AutoScale);
    m_graphOptionsDialog->showAxisSettings(*m_graphSettings);
    RecentSetups::add(path);
    updateRecentSetups();
    if (!setup.warnings.isEmpty())
        statusBar()->showMessage(setup.warnings.join(QStringLiteral("; ")), 10000);
    return true;
}

void MainWindow::updateRecentSetups()
{
    recentSetupsMenu->clear();
    const QStringList paths = RecentSetups::paths();
    for (int i = 0; i < paths.size(); ++i) {
        const QString path = paths.at(i);
        QAction *action = recentSetupsMenu->addAction(
            QStringLiteral("&%1 %2").arg(QString::number(i + 1), QFileInfo(path).completeBaseName()));
        action->setStatusTip(QDir::toNativeSeparators(path));
        connect(action, &QAction::triggered, this, [this, path] {
            // Only a file that is gone is dropped from the list; any other reason is shown.
            ReadFailure failure = ReadFailure::None;
            fileReadProblem(path, &failure);
            if (failure == ReadFailure::Missing) {
                QMessageBox::warning(this, tr("Kolvane"), tr("Файл %1 не найден").arg(QDir::toNativeSeparators(path)));
                RecentSetups::remove(path);
                updateRecentSetups();
                return;
            }
            openSetupFile(path);
        });
    }
    recentSetupsMenu->setEnabled(!paths.isEmpty());
}

void MainWindow::updateTitle()
{
    // The title names the setup file while the calculation shown is the one the file holds.
    const bool fromSetup = !m_setupPath.isEmpty() && lastRun()
        && SetupFile::text(lastRun()->settings, GraphSettings()) == m_setupText;
    setWindowTitle(fromSetup ? tr("Kolvane - %1").arg(QFileInfo(m_setupPath).completeBaseName()) : tr("Kolvane"));
}

// Export

void MainWindow::defaultExportName(QString &name) const
{
    if (lastRun())
        name += ::defaultExportName(lastRun()->settings);
}

bool MainWindow::canExport() const
{
    return m_propertiesDialog && lastRun() && graphWidget->hasResult();
}

GraphRun MainWindow::graphRun() const
{
    return graphRunOf(*lastRun());
}

QString MainWindow::exportFileName(const QString &caption, const QString &filter, const QString &extension,
                                   const QString &nameSuffix)
{
    QString proposed;
    defaultExportName(proposed);
    proposed += nameSuffix;
    return askSaveFileName(this, caption, proposed, {{filter, extension}});
}

void MainWindow::reportExport(const QString &path, bool written, const QString &error)
{
    if (written)
        statusBar()->showMessage(tr("Сохранено: %1").arg(QDir::toNativeSeparators(path)), 5000);
    else
        showNotSaved(this, path, error);
}

void MainWindow::exportToCsv()
{
    if (!canExport())
        return;
    const QString path = exportFileName(tr("Сохранить таблицу в *.csv"), tr("файлы Excel(*.csv)"),
                                        QStringLiteral(".csv"));
    if (path.isEmpty())
        return;
    QString error;
    const bool written =
        writeFileSafely(path, csvContent(resultHeader(lastRun()->settings, lastRun()->sweep), resultSet()), &error,
                        PipeReader::DontWait);
    reportExport(path, written, error);
}

void MainWindow::exportTargetTable(int kind)
{
    if (!canExport() || !lastRun()->hasTargets())
        return;
    const bool reach = kind == TargetWindows::ReachKind;
    const QString path = exportFileName(tr("Сохранить таблицу в *.csv"), tr("файлы Excel(*.csv)"),
                                        QStringLiteral(".csv"), reach ? tr("_дальность") : tr("_запас"));
    if (path.isEmpty())
        return;
    QString error;
    const bool written = writeFileSafely(path, reach ? reachCsvContent(*lastRun()) : marginCsvContent(*lastRun()),
                                         &error, PipeReader::DontWait);
    reportExport(path, written, error);
}

void MainWindow::exportGraph(const QString &caption, const QString &filter, const QString &extension,
                             const char *format)
{
    if (!canExport())
        return;
    const QString path = exportFileName(caption, filter, extension);
    if (path.isEmpty())
        return;
    QString error;
    // The run the graph shows, at the size it is shown (a PDF: its page), settled anew for the file.
    const GraphSource source = graphWidget->graphSource();
    const bool written = format ? exportGraphImage(source, graphWidget->size(), path, format, &error)
                                : exportGraphPdf(source, path, &error, m_reportPageSetup);
    reportExport(path, written, error);
}

void MainWindow::exportToPdf()
{
    exportGraph(tr("Сохранить график в *.pdf"), tr("Файлы pdf(*.pdf)"), QStringLiteral(".pdf"), nullptr);
}

void MainWindow::exportToJpg()
{
    exportGraph(tr("Сохранить график в *.jpg"), tr("Файлы jpg(*.jpg)"), QStringLiteral(".jpg"), "JPG");
}

void MainWindow::exportToPng()
{
    exportGraph(tr("Сохранить график в *.png"), tr("Файлы png(*.png)"), QStringLiteral(".png"), "PNG");
}

ReportContent MainWindow::currentReport() const
{
    // With target rates, the reach and margin tables follow the result table.
    return reportContent(graphWidget->graphSource(), resultHeader(lastRun()->settings, lastRun()->sweep),
                         targetReportTables(*lastRun()));
}

void MainWindow::exportReportPdf()
{
    if (!canExport())
        return;
    const QString path = exportFileName(tr("Сохранить отчёт в *.pdf"), tr("Файлы pdf(*.pdf)"), QStringLiteral(".pdf"),
                                        reportNameSuffix());
    if (path.isEmpty())
        return;
    QString error;
    const bool written = writeReportPdf(currentReport(), path, m_reportPageSetup, &error);
    reportExport(path, written, error);
}

void MainWindow::printReport()
{
    if (!canExport())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(m_reportPageSetup.pageSize);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Печать отчёта"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_reportPageSetup = reportPageSetup(printer.pageLayout());
    QString error;
    if (!::printReport(printer, currentReport(), &error))
        QMessageBox::warning(this, tr("Kolvane"), tr("Не удалось напечатать отчёт:\n%1").arg(error));
}

void MainWindow::selectResultRow(int row)
{
    if (row < 0 || row >= m_resultModel->rowCount())
        return;
    resultTable->selectRow(row);
    resultTable->scrollTo(resultTable->model()->index(row, 0), QAbstractItemView::PositionAtCenter);
}

// Templates

void MainWindow::newFile()
{
    m_templates->newFile();
}

void MainWindow::openPropertiesDialog()
{
}

void MainWindow::save()
{
    m_templates->save();
}

void MainWindow::saveAs()
{
    m_templates->saveAs();
}

void MainWindow::cableFileSelected(QTreeWidgetItem *item, int column)
{
    m_templates->cableFileSelected(item, column);
}

void MainWindow::insertLine()
{
    m_templates->insertLine();
}

void MainWindow::deleteLine()
{
    m_templates->deleteLine();
}

void MainWindow::TemplateSubWindowModified()
{
    setWindowModified(true);
}

// View

void MainWindow::showTemplates()
{
    tabWidget->setCurrentIndex(0);
}

void MainWindow::showProjectTree()
{
    treeDock->show();
}

void MainWindow::showResult()
{
    tabWidget->setCurrentIndex(1);
}

// Help

void MainWindow::about()
{
    QMessageBox::about(
        this, tr("О программе Kolvane"),
        tr("<h3>Kolvane v1.6 26.02.2012</h3>"
           "<table>"
           "<tr><td width=\"200\"><b>Kolvane developers</b>&nbsp;&nbsp;&nbsp;</td>"
           "<td width=\"150\" style=\"white-space:nowrap\"><a href=\"https://kolvane.invalid\">"
           "https://kolvane.invalid</a>&nbsp;&nbsp;&nbsp;</td>"
           "<td width=\"150\"><b>+7 000 000-00-00</b></td></tr>"
           "<tr><td><b>Kolvane support</b></td>"
           "<td style=\"white-space:nowrap\"><a href=\"https://support.kolvane.invalid\">"
           "https://support.kolvane.invalid</a></td>"
           "<td><b>+7 000 000-00-01</b></td></tr>"
           "</table>"
           "<br><p>Программа Kolvane обеспечивает расчет скоростных характеристик цифровых абонентских "
           "линий ADSL, ADSL2, ADSL2+, VDSL2, SHDSL в зависимости от типа кабеля, загрузки кабеля "
           "цифровыми линиями, норм переходных влияний, длины кабельной линии, аддитивных помех.</p>"));
}

void MainWindow::help()
{
    m_help->open(this);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A close requested by the window system while a run paints its progress waits for the run.
    // Unsaved template edits are asked about, one editor at a time; Cancel keeps the program.
    if (calculating || !m_templates->closeAllEditors()) {
        event->ignore();
        return;
    }
    saveWindowLayout();
    event->accept();
}
