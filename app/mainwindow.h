#pragma once

#include "engine/calcrun.h"
#include "drawing/graphsettings.h"
#include "drawing/reportdocument.h"

#include <QMainWindow>

#include <memory>

class GraphOptions;
class GraphWidget;
class HelpLauncher;
class LastRun;
class PropertiesDialog;
class QAction;
class QDockWidget;
class QMdiArea;
class QMenu;
class QTabWidget;
class QTableView;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class ReportMdiSubWindow;
class RunTableModel;
class TargetWindows;
class SpectrumLauncher;
class TemplateManager;
class WindowArranger;
struct GraphRun;

// The frame every other window hangs in: menus, tool bars, the template tree dock and two MDI
// areas, "шаблоны" for template editors and "результат" for the result table and the graph.
// It owns the last calculation (LastRun) and routes the user's commands; the numbers come from
// the engine, the pictures from the report classes. Its size and place and the arrangement of
// the result windows are kept in the user's settings from one session to the next.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Runs the calculation the dialog describes and fills the result table. Nothing changes
    // when the run is refused (no template, a bad template): a message says why, false; nor
    // when the user cancels it in the progress dialog: false. Warnings about templates without
    // a usable row go to the status bar.
    bool runCalculation();

    // Loads a setup file into the calculation dialog (creating it if need be) and the graph
    // options, and runs it. Nothing changes when the file cannot be read, is no valid setup or
    // names templates the workspace lacks (a message lists them all), or when the run is refused
    // or cancelled. The window's title then names the file.
    bool openSetupFile(const QString &path);
    // Saves the calculation dialog's current state and the graph options as a setup file.
    bool saveSetupFile(const QString &path);

    // Appends the file name proposed for exports of the last calculation.
    void defaultExportName(QString &name) const;

    // The last run, or null before the first one; its record and its rows.
    const CalcRun *lastRun() const;
    const CalcSettings *calcSettings() const;
    const ResultSet &resultSet() const;
    const GraphSettings &graphSettings() const { return *m_graphSettings; }
    PropertiesDialog *propertiesDialog() const { return m_propertiesDialog; }
    // The reach and margin windows of a run with target rates.
    TargetWindows *targetWindows() const { return m_targetWindows; }
    GraphOptions *graphOptionsDialog() const { return m_graphOptionsDialog.get(); }
    TemplateManager *templateManager() const { return m_templates; }
    HelpLauncher &helpLauncher() const { return *m_help; }

public slots:
    void newFile();
    void openPropertiesDialog();
    void save();
    void saveAs();
    void cableFileSelected(QTreeWidgetItem *item, int column);
    void showGraphOptionsDialog();
    void insertLine();
    void deleteLine();
    void exportToCsv();
    void exportToPdf();
    void exportToJpg();
    void exportToPng();
    void exportTargetTable(int kind);
    void showTemplates();
    void showProjectTree();
    void showResult();
    void about();
    void help();
    void TemplateSubWindowModified();
    void showPropertiesDialog();
    void openSetup();
    void saveSetup();
    void exportReportPdf();
    void printReport();
    void selectResultRow(int row);
    // "Окно": the current tab's windows tiled or cascaded.
    void tileWindows();
    void cascadeWindows();
    // "Проверка линий…": a plant's loop records against the services of the calculation's choice.
    void qualifyLines();
    // "Импорт измерений линии…": a measured line's templates, then the calculation of what it carries.
    void importMeasurement();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createCentralArea();
    void createTemplateTree();
    void createActions();
    void createMenus();
    void createToolBars();
    void createResultWindows();
    void createGraphWindow();
    void createContextMenus();
    void updateWindowMenu();
    void updateRecentSetups();
    void updateTitle();
    PropertiesDialog *ensurePropertiesDialog();
    QString setupDirectory() const;
    QAction *addAction(const QString &text, const char *name, const QString &icon,
                       const QKeySequence &shortcut, const QString &statusTip);

    // The windows of a new run: shown, and arranged when it is the session's first result or
    // brings back a window.
    void showRunWindows();
    WindowArranger *currentArranger() const;
    void restoreWindowGeometry();
    void saveWindowLayout() const;

    // True when there is a result to export; the export slots do nothing otherwise.
    bool canExport() const;
    // Asks for the export file; the extension is added when the name lacks it, and a file that
    // would then be replaced without the dialog's own question is asked about. "" = cancelled.
    QString exportFileName(const QString &caption, const QString &filter, const QString &extension,
                           const QString &nameSuffix = QString());
    // What the graph shows of the last run.
    GraphRun graphRun() const;
    void exportGraph(const QString &caption, const QString &filter, const QString &extension,
                     const char *format);
    void reportExport(const QString &path, bool written, const QString &error);
    // The report of the last run: its graph, the result table under the table's header texts.
    ReportContent currentReport() const;

    QTreeWidgetItem *cableRoot = nullptr;
    QTreeWidgetItem *lineTypeRoot = nullptr;
    QTreeWidgetItem *noiseRoot = nullptr;

    QAction *newFileAct = nullptr;
    QAction *saveAct = nullptr;
    QAction *saveAsAct = nullptr;
    QAction *exitAct = nullptr;
    QAction *qualifyAct = nullptr;
    QAction *importAct = nullptr;
    QAction *insertLineAct = nullptr;
    QAction *deleteLineAct = nullptr;
    QAction *showTemplatesAct = nullptr;
    QAction *showTreeAct = nullptr;
    QAction *showResultAct = nullptr;
    QAction *calcInputAct = nullptr;
    QAction *graphOptionsAct = nullptr;
    QAction *exportCsvAct = nullptr;
    QAction *exportPdfAct = nullptr;
    QAction *exportJpgAct = nullptr;
    QAction *exportPngAct = nullptr;
    QAction *helpAct = nullptr;
    QAction *aboutAct = nullptr;
    QAction *openSetupAct = nullptr;
    QAction *saveSetupAct = nullptr;
    QMenu *recentSetupsMenu = nullptr;
    QAction *reportPdfAct = nullptr;
    QAction *printAct = nullptr;
    QAction *copyGraphAct = nullptr;
    QAction *tileAct = nullptr;
    QAction *cascadeAct = nullptr;

    bool calculating = false; // a run is going on: no second one, no closing

    QMenu *fileMenu = nullptr;
    QMenu *editMenu = nullptr;
    QMenu *viewMenu = nullptr;
    QMenu *toolsMenu = nullptr;
    QMenu *graphMenu = nullptr;
    QMenu *tableMenu = nullptr;
    QMenu *windowMenu = nullptr;
    QMenu *helpMenu = nullptr;

    QToolBar *fileToolBar = nullptr;
    QToolBar *calcToolBar = nullptr;

    QTableView *resultTable = nullptr;
    RunTableModel *m_resultModel = nullptr;
    ReportMdiSubWindow *tableWindow = nullptr;
    ReportMdiSubWindow *graphWindow = nullptr;
    TargetWindows *m_targetWindows = nullptr;

    QMdiArea *templatesArea = nullptr;
    QMdiArea *resultsArea = nullptr;
    QTabWidget *tabWidget = nullptr;
    GraphWidget *graphWidget = nullptr;
    SpectrumLauncher *m_spectra = nullptr; // "Спектр линии…" of a result cell
    QTreeWidget *templateTree = nullptr;
    WindowArranger *m_resultArranger = nullptr;
    WindowArranger *m_templateArranger = nullptr;
    bool m_resultsArranged = false; // the session's first result has been arranged

    LastRun *m_lastRun = nullptr;
    TemplateManager *m_templates = nullptr; // the editor windows; a child of this window

    PropertiesDialog *m_propertiesDialog = nullptr;

    std::unique_ptr<GraphSettings> m_graphSettings;
    std::unique_ptr<GraphOptions> m_graphOptionsDialog;

    QDockWidget *treeDock = nullptr;

    std::unique_ptr<HelpLauncher> m_help;

    // The setup file whose calculation the window shows, and that calculation as the file holds it.
    QString m_setupPath;
    QByteArray m_setupText;
    // Paper of the report: A4 until a print dialog chooses another, which the PDF then follows.
    ReportPageSetup m_reportPageSetup;
};
