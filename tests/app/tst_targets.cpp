// Target rates in the main window: the reach and margin windows, their exports and the graph.

#include "app/mainwindow.h"
#include "engine/curveset.h"
#include "engine/targettables.h"
#include "engine/templatefile.h"
#include "report/graphwidget.h"
#include "report/reportmdisubwindow.h"
#include "report/targetreport.h"
#include "report/targetwindows.h"

#include "templatefiles.h"

#include "appfixture.h"

#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>

namespace {

DialogSetup both(const DialogSetup &a, const DialogSetup &b)
{
    return [=](PropertiesDialog *d) {
        a(d);
        b(d);
    };
}

DialogSetup chooseTargets(const QVector<int> &rates)
{
    return [=](PropertiesDialog *dialog) {
        dialogChild<QComboBox>(dialog, QStringLiteral("targetRatesCountBox"))->setCurrentIndex(rates.size());
        // Each value's range lies between its neighbours: one pass down, one up, settles any order.
        for (int i = int(rates.size()) - 1; i >= 0; --i)
            dialogChild<QSpinBox>(dialog, QStringLiteral("targetRatesBoxes%1").arg(i))->setValue(rates.at(i));
        for (int i = 0; i < rates.size(); ++i)
            dialogChild<QSpinBox>(dialog, QStringLiteral("targetRatesBoxes%1").arg(i))->setValue(rates.at(i));
    };
}

// Loads 1, 4 and 8 of 8 pairs at ELFEXT 40 dB over 500 ... 5500 m.
DialogSetup loadFamily()
{
    return [](PropertiesDialog *dialog) {
        dialogChild<QSpinBox>(dialog, QStringLiteral("cableCapacityBox"))->setValue(8);
        dialogChild<QComboBox>(dialog, QStringLiteral("xDSL_pointsCountBox"))->setCurrentIndex(2);
        for (int round = 0; round < 2; ++round)
            for (int i = 0; i < 3; ++i)
                dialogChild<QSpinBox>(dialog, QStringLiteral("xDSL_pointsBoxes%1").arg(i))->setValue(QVector<int>{1, 4, 8}.at(i));
        dialogChild<QSpinBox>(dialog, QStringLiteral("Norm_ELFEXT_pointsBoxes0"))->setValue(40);
        chooseLengths(500, 5500, 1000)(dialog);
    };
}

const QStringList familyOptions{"--load", "1,4,8", "--capacity", "8", "--elfext", "40", "--from", "500", "--to", "5500"};

QByteArray cli(const QString &workdir, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(workdir);
    p.start(QStringLiteral(KOLVANE_CALC), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return "<failed> " + p.readAllStandardError();
    return p.readAllStandardOutput();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Clicks "Отмена" of the progress dialog whose label starts with `label` once it has been shown
// for a while: while a stage's dialog opens, the window takes no input yet.
void cancelStage(const QString &label, const QElapsedTimer &clock, qint64 *clickedAt, qint64 seenAt = -1)
{
    QTimer::singleShot(20, qApp, [=, &clock] {
        QProgressDialog *dialog = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QProgressDialog *>(w); d && d->isVisible() && d->labelText().startsWith(label))
                dialog = d;
        auto *button = dialog ? dialog->findChild<QPushButton *>() : nullptr;
        const qint64 seen = button && button->isVisible() ? (seenAt < 0 ? clock.elapsed() : seenAt) : -1;
        if (seen < 0 || clock.elapsed() - seen < 300) {
            if (clock.elapsed() < 60000)
                cancelStage(label, clock, clickedAt, seen);
            return;
        }
        *clickedAt = clock.elapsed();
        QTest::mouseClick(button, Qt::LeftButton);
    });
}

} // namespace

class tst_Targets : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noTargetsNoWindows();
    void tablesShowTheRun();
    void exportsEqualTheCommandLine_data();
    void exportsEqualTheCommandLine();
    void copyWithCtrlC();
    void runWithoutTargetsHidesThem();
    void graphCarriesTheReach();
    void cancelInTheReachStageKeepsEverything();
    void reportCarriesTheTargetTables();

private:
    TargetWindows *windows() const { return m_app->window->targetWindows(); }
    std::unique_ptr<AppFixture> m_app;
};

void tst_Targets::init()
{
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_Targets::cleanup()
{
    m_app.reset();
}

void tst_Targets::noTargetsNoWindows()
{
    m_app->calculate();
    QVERIFY(m_app->window->calcSettings()->targetRates.isEmpty());
    QCOMPARE(m_app->child<QMdiArea>("resultsArea")->subWindowList().size(), 2);
    QVERIFY(!windows()->window(TargetWindows::ReachKind));
    QVERIFY(!m_app->window->lastRun()->targets);
    QVERIFY(m_app->child<GraphWidget>("graphWidget")->shownPicture().run.reach.targets.isEmpty());
}

void tst_Targets::tablesShowTheRun()
{
    m_app->calculate(both(loadFamily(), chooseTargets({512, 4096, 16384})));
    QCOMPARE(m_app->answerer->unexpected(), 0);
    const CalcSettings &run = *m_app->window->calcSettings();
    QCOMPARE(run.targetRates, (QVector<int>{512, 4096, 16384}));

    ReportMdiSubWindow *reachWindow = windows()->window(TargetWindows::ReachKind);
    ReportMdiSubWindow *marginWindow = windows()->window(TargetWindows::MarginKind);
    QVERIFY(reachWindow && marginWindow);
    QVERIFY(reachWindow->isVisible() && marginWindow->isVisible());
    QCOMPARE(reachWindow->windowTitle(), QStringLiteral("Kolvane - Дальность"));
    QCOMPARE(marginWindow->windowTitle(), QStringLiteral("Kolvane - Запас"));
    QCOMPARE(m_app->child<QMdiArea>("resultsArea")->subWindowList().size(), 4);

    // The engine's numbers for the same record, as the window words them.
    QString error;
    const std::optional<CurveSet> set = CurveSet::load(run, m_app->workspace, &error);
    QVERIFY2(set, qPrintable(error));
    const std::optional<TargetTables> expected = computeTargetTables(run, *set);
    QVERIFY(expected);

    const QTableView *reach = windows()->table(TargetWindows::ReachKind);
    QCOMPARE(headerTexts(reach), (QStringList{"R,кбит/с", "L,м\nm=1", "L,м\nm=4", "L,м\nm=8"}));
    QCOMPARE(reach->model()->rowCount(), 3);
    for (int t = 0; t < 3; ++t) {
        QStringList cells{QString::number(run.targetRates.at(t))};
        for (const Reach &r : expected->reach.reaches.at(t))
            cells << reachCellText(r);
        QCOMPARE(rowTexts(reach, t), cells);
    }
    // The grid is 10 m over the run's lengths: reaches end in 0, and 512 kbit/s on one line
    // goes past the 5500 m of the run.
    QCOMPARE(rowTexts(reach, 0).at(1), QStringLiteral("> 5500"));
    QVERIFY(rowTexts(reach, 1).at(3).endsWith(QLatin1Char('0')));

    const QTableView *margin = windows()->table(TargetWindows::MarginKind);
    QCOMPARE(headerTexts(margin), (QStringList{"L,м", "SNR Margin,дБ\nm=1", "SNR Margin,дБ\nm=4", "SNR Margin,дБ\nm=8"}));
    QCOMPARE(margin->model()->rowCount(), 6);
    for (int k = 0; k < 6; ++k) {
        QStringList cells{QString::number(500 + 1000 * k)};
        for (const MarginAtRate &m : expected->margin.margins.at(k))
            cells << marginText(m);
        QCOMPARE(rowTexts(margin, k), cells);
    }
    // Cells are read-only: the export writes the engine's numbers.
    QVERIFY(!(reach->model()->flags(reach->model()->index(0, 1)) & Qt::ItemIsEditable));
}

void tst_Targets::exportsEqualTheCommandLine_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("reach") << int(TargetWindows::ReachKind)
                           << QStringList{"reach", "--rate", "512,4096,16384", "--step", "10"} << "_дальность";
    QTest::newRow("margin") << int(TargetWindows::MarginKind) << QStringList{"margin", "--rate", "512", "--step", "1000"}
                            << "_запас";
}

void tst_Targets::exportsEqualTheCommandLine()
{
    QFETCH(int, kind);
    QFETCH(QStringList, command);
    QFETCH(QString, suffix);
    m_app->calculate(both(loadFamily(), chooseTargets({512, 4096, 16384})));
    QAction *exportAction = windows()->exportAction(TargetWindows::Kind(kind));
    QVERIFY(exportAction);
    // In the table's context menu, beside the copy.
    QTableView *table = windows()->table(TargetWindows::Kind(kind));
    QCOMPARE(table->contextMenuPolicy(), Qt::ActionsContextMenu);
    QVERIFY(table->actions().contains(exportAction));
    QCOMPARE(exportAction->text(), QStringLiteral("Экспорт в *.csv"));

    const QString target = m_app->path(QStringLiteral("targets.csv"));
    ModalAnswerer::FileDialogSeen seen;
    m_app->answerer->pushSaveFile(target, &seen);
    exportAction->trigger();
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(seen.title, QStringLiteral("Сохранить таблицу в *.csv"));
    QVERIFY2(seen.proposedName.endsWith(suffix), qPrintable(seen.proposedName));
    const QByteArray written = readAll(target);
    QCOMPARE(written, cli(m_app->workspace, command + familyOptions));
    QVERIFY(written.startsWith(kind == TargetWindows::ReachKind ? "R,кбит/с;L,м m=1;L,м m=4;L,м m=8;\n"
                                                                : "L,м;SNR Margin,дБ m=1;"));
}

void tst_Targets::copyWithCtrlC()
{
    m_app->calculate(both(loadFamily(), chooseTargets({512, 4096})));
    QTableView *table = windows()->table(TargetWindows::ReachKind);
    QApplication::clipboard()->clear();
    m_app->child<QTabWidget>("tabWidget")->setCurrentIndex(1);
    QApplication::setActiveWindow(m_app->window.get());
    table->setFocus();
    QTest::keySequence(table, QKeySequence::Copy);
    const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("R,кбит/с\tL,м m=1\tL,м m=4\tL,м m=8"));
    QVERIFY2(lines.value(1).startsWith(QStringLiteral("512\t")), qPrintable(lines.value(1)));
    QCOMPARE(lines.size(), 4); // two rows and the final line break
}

void tst_Targets::runWithoutTargetsHidesThem()
{
    m_app->calculate(chooseTargets({1024}));
    QVERIFY(windows()->window(TargetWindows::ReachKind)->isVisible());
    // The dialog keeps its state: the next run takes the targets away.
    m_app->calculate(chooseTargets({}));
    QVERIFY(m_app->window->calcSettings()->targetRates.isEmpty());
    QVERIFY(!m_app->window->lastRun()->targets);
    QVERIFY(windows()->window(TargetWindows::ReachKind)->isHidden());
    QVERIFY(windows()->window(TargetWindows::MarginKind)->isHidden());
    QVERIFY(m_app->child<GraphWidget>("graphWidget")->shownPicture().run.reach.targets.isEmpty());
    // And they come back with the next run that has targets, even after being closed.
    m_app->calculate(chooseTargets({2048}));
    QVERIFY(windows()->window(TargetWindows::MarginKind)->isVisible());
    windows()->window(TargetWindows::MarginKind)->close();
    m_app->calculate();
    QVERIFY(windows()->window(TargetWindows::MarginKind)->isVisible());
}

void tst_Targets::graphCarriesTheReach()
{
    m_app->calculate(both(loadFamily(), chooseTargets({4096})));
    const GraphPicture &shown = m_app->child<GraphWidget>("graphWidget")->shownPicture();
    QCOMPARE(shown.run.calc.targetRates, QVector<int>{4096});
    QCOMPARE(shown.run.reach.reaches, m_app->window->lastRun()->targets->reach.reaches);
    QVERIFY(shown.settings.targetLines);
    // What an export draws is the same run.
    QCOMPARE(m_app->child<GraphWidget>("graphWidget")->graphSource().run.reach.targets, QVector<int>{4096});
}

void tst_Targets::cancelInTheReachStageKeepsEverything()
{
    // A PAM search through every candidate (a negative attenuation): long at every length, so
    // the reach stage is still going when "Отмена" is clicked. The dialog lists its directories
    // once, so the templates come first.
    QVERIFY(test::writeRows(m_app->path("Cable/negative.att"), {{1, 1.8}, {100, -0.5}, {30000, 150}}));
    QVERIFY(test::writeRows(m_app->path("xDSL/slow.PAM"), {{1, 13.5, 192, 100000, -140}}));
    m_app->calculate(chooseTargets({1024}));
    const CalcSettings recordBefore = *m_app->window->calcSettings();
    const TargetTables tablesBefore = *m_app->window->lastRun()->targets;
    const QStringList reachBefore = rowTexts(windows()->table(TargetWindows::ReachKind), 0);

    QElapsedTimer clock;
    qint64 clickedAt = -1;
    m_app->answerCalculationDialog(both(both(chooseCables({"negative"}), chooseLineTypes({"slow.PAM"})),
                                        both(chooseLengths(1000, 1000, 10), chooseTargets({192}))));
    clock.start();
    cancelStage(QStringLiteral("Вычисляю дальность"), clock, &clickedAt);
    m_app->window->showPropertiesDialog();
    const qint64 stoppedAt = clock.elapsed();

    QCOMPARE(m_app->answerer->unexpected(), 0);
    QVERIFY2(clickedAt >= 0, "no reach stage with a cancel button");
    QVERIFY2(stoppedAt - clickedAt < 1000, qPrintable(QString::number(stoppedAt - clickedAt)));
    QCOMPARE(*m_app->window->calcSettings(), recordBefore);
    QCOMPARE(m_app->window->lastRun()->targets->reach.reaches, tablesBefore.reach.reaches);
    QCOMPARE(m_app->window->lastRun()->targets->margin.margins, tablesBefore.margin.margins);
    QCOMPARE(rowTexts(windows()->table(TargetWindows::ReachKind), 0), reachBefore);
    QCOMPARE(m_app->window->statusBar()->currentMessage(), QStringLiteral("Расчёт отменён"));
}

void tst_Targets::reportCarriesTheTargetTables()
{
    m_app->calculate(both(loadFamily(), chooseTargets({512, 4096})));
    const std::optional<TargetTables> &tables = m_app->window->lastRun()->targets;
    QVERIFY(tables);
    const QString target = m_app->path(QStringLiteral("report.pdf"));
    m_app->answerer->pushSaveFile(target);
    m_app->press(QKeySequence(QStringLiteral("Ctrl+R")));
    QVERIFY(QFileInfo::exists(target));
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QProcess process;
    process.start(pdftotext, {QStringLiteral("-layout"), target, QStringLiteral("-")});
    QVERIFY(process.waitForFinished(60000) && process.exitCode() == 0);
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    // After the result table: the reach rows (target, then each curve's reach) and the margins.
    const int reachAt = int(text.indexOf(QStringLiteral("Дальность для целевых скоростей")));
    const int marginAt = int(text.indexOf(QStringLiteral("Запас SNR, дБ, при скорости 512")));
    QVERIFY2(reachAt > 0 && marginAt > reachAt, qPrintable(text.right(2000)));
    for (const ReportTable &table : targetReportTables(*m_app->window->lastRun())) {
        for (const QStringList &row : table.rows) {
            QStringList cells;
            for (const QString &cell : row)
                cells << QRegularExpression::escape(cell);
            const QRegularExpression line(QStringLiteral("^\\s*%1\\s*$").arg(cells.join(QStringLiteral("\\s+"))),
                                          QRegularExpression::MultilineOption);
            QVERIFY2(text.contains(line), qPrintable(line.pattern()));
        }
    }
}

QTEST_MAIN(tst_Targets)
#include "tst_targets.moc"
