#include "app/mainwindow.h"
#include "engine/sweep.h"
#include "engine/templatefile.h"
#include "engine/workspace.h"
#include "report/graphoptions.h"
#include "report/graphwidget.h"
#include "drawing/reportdocument.h"

#include "templatefiles.h"

#include "appfixture.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>

#include <atomic>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// What a progress dialog of the run showed: its label and every value its bar painted.
struct ProgressRecord {
    QString label;
    QList<int> painted;
};

// Watches every paint of a progress bar while the run goes on without an event loop.
class ProgressWatcher : public QObject
{
public:
    QList<ProgressRecord> dialogs;

    ProgressWatcher() { qApp->installEventFilter(this); }
    ~ProgressWatcher() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        auto *bar = qobject_cast<QProgressBar *>(object);
        if (!bar)
            return false;
        auto *dialog = qobject_cast<QProgressDialog *>(bar->parentWidget());
        if (!dialog)
            return false;
        if (dialogs.isEmpty() || m_current != dialog) {
            m_current = dialog;
            dialogs.append({dialog->labelText(), {}});
        }
        QList<int> &painted = dialogs.last().painted;
        if (painted.isEmpty() || painted.last() != bar->value())
            painted.append(bar->value());
        return false;
    }

private:
    const QProgressDialog *m_current = nullptr;
};

DialogSetup both(const DialogSetup &a, const DialogSetup &b)
{
    return [=](PropertiesDialog *d) {
        a(d);
        b(d);
    };
}

// Clicks "Отмена" of the run's progress dialog once the run has gone on for `after` ms;
// *clickedAt is then the run clock's time of the click, or stays -1.
void cancelRunAfter(int after, const QElapsedTimer &clock, qint64 *clickedAt)
{
    QTimer::singleShot(50, qApp, [=, &clock] {
        QProgressDialog *dialog = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QProgressDialog *>(w); d && d->isVisible())
                dialog = d;
        if (!dialog || clock.elapsed() < after) {
            if (clock.elapsed() < 20000)
                cancelRunAfter(after, clock, clickedAt);
            return;
        }
        auto *button = dialog->findChild<QPushButton *>();
        if (!button || !button->isVisible())
            return;
        *clickedAt = clock.elapsed();
        QTest::mouseClick(button, Qt::LeftButton);
    });
}

DialogSetup chooseLoads(int capacity, const QVector<int> &loads)
{
    return [=](PropertiesDialog *dialog) {
        dialogChild<QSpinBox>(dialog, QStringLiteral("cableCapacityBox"))->setValue(capacity);
        dialogChild<QComboBox>(dialog, QStringLiteral("xDSL_pointsCountBox"))->setCurrentIndex(loads.size() - 1);
        // Each value's range lies between its neighbours: one pass down, one up, settles any order.
        for (int i = 0; i < loads.size(); ++i)
            dialogChild<QSpinBox>(dialog, QStringLiteral("xDSL_pointsBoxes%1").arg(i))->setValue(loads.at(i));
        for (int i = loads.size() - 1; i >= 0; --i)
            dialogChild<QSpinBox>(dialog, QStringLiteral("xDSL_pointsBoxes%1").arg(i))->setValue(loads.at(i));
    };
}

// Types a whole number into a spin box of the calculation dialog, as the user does.
void typeInto(QSpinBox *box, int value)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::number(value));
}

// Two sections in front of the swept cable: an exchange trunk, then a distribution cable. The
// second is typed first, so that no intermediate total pushes "from" past where it ends up.
void addTwoSections(PropertiesDialog *dialog)
{
    dialog->findChild<QTreeWidget *>(QStringLiteral("propertyTree"))->expandAll();
    dialogChild<QComboBox>(dialog, QStringLiteral("sectionCountBox"))->setCurrentIndex(2);
    const QStringList cables = {QStringLiteral("PE-0.64mm-22AWG"), QStringLiteral("PE-0.50mm-24AWG")};
    const QList<int> lengths = {1500, 300};
    for (int i = 1; i >= 0; --i) {
        auto *cable = dialogChild<QComboBox>(dialog, QStringLiteral("sectionCableBoxes%1").arg(i));
        auto *length = dialogChild<QSpinBox>(dialog, QStringLiteral("sectionLengthBoxes%1").arg(i));
        QTRY_VERIFY(cable->isVisible() && length->isVisible());
        cable->setCurrentIndex(cable->findText(cables.at(i)));
        typeInto(length, lengths.at(i));
    }
    QTreeWidgetItem *top = dialog->rowOf(dialogChild<QComboBox>(dialog, QStringLiteral("sectionCountBox")))->parent();
    QCOMPARE(top->text(1), QStringLiteral("PE-0.64mm-22AWG 1500м + PE-0.50mm-24AWG 300м"));
}

} // namespace

class tst_Calculation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void untouchedDialogGivesTheEngineNumbers();
    void families_data();
    void families();
    void twoSectionsGiveTheEngineNumbers();
    void modelOptionsReachTheGraph();
    void tableShrinksAfterALargerResult();
    void manyCablesAreNotCutOff();
    void progressIsPaintedAsItAdvances();
    void refusedRuns_data();
    void refusedRuns();
    void cancelledDialogRunsNothing();
    void graphOptionsBeforeAnyCalculation();
    void graphOptionsRerunInUserScale();
    void graphOptionsOkWithoutChangeKeepsTheGraph_data();
    void graphOptionsOkWithoutChangeKeepsTheGraph();
    void closedResultWindowsComeBack();
    void cancelKeepsEverything_data();
    void cancelKeepsEverything();
    void fifoTemplateDoesNotFreeze();
    void templatesWithoutRowsWarn();

private:
    QTableView *table() const { return m_app->child<QTableView>("resultTable"); }

    std::unique_ptr<AppFixture> m_app;
};

void tst_Calculation::init()
{
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_Calculation::cleanup()
{
    m_app.reset();
}

void tst_Calculation::untouchedDialogGivesTheEngineNumbers()
{
    m_app->calculate();
    QCOMPARE(m_app->answerer->unexpected(), 0);

    QString error;
    const CalcSettings expected = defaultCalcSettings();
    const std::optional<SweepResult> engine = runSweep(expected, QString(), &error);
    QVERIFY2(engine, qPrintable(error));

    QTableView *t = table();
    QCOMPARE(t->model()->rowCount(), 10);
    QCOMPARE(t->model()->columnCount(), 2);
    QCOMPARE(headerTexts(t), (QStringList{"L,м", "R,кбит/с\nm=1"}));
    const ResultSet &rows = m_app->window->resultSet();
    QCOMPARE(rows.size(), 10);
    for (int r = 0; r < 10; ++r) {
        QCOMPARE(cellText(t, r, 0), QString::number(1000 * (r + 1)));
        QCOMPARE(rows.at(r).length, float(1000 * (r + 1)));
        QCOMPARE(bits(rows.at(r).rates.at(0)), bits(engine->rows.at(r).rates.at(0)));
        QCOMPARE(cellText(t, r, 1), QString::number(double(engine->rows.at(r).rates.at(0)), 'g', 6));
    }
    QVERIFY(engine->maxRate > 0);

    const CalcSettings *settings = m_app->window->calcSettings();
    QVERIFY(settings);
    QCOMPARE(settings->maxRate, engine->maxRate);
    CalcSettings withoutRate = *settings;
    withoutRate.maxRate = expected.maxRate;
    QCOMPARE(withoutRate, expected);

    // The results are in front, and the graph scaled itself to the run.
    QCOMPARE(m_app->child<QTabWidget>("tabWidget")->currentIndex(), 1);
    auto *graph = m_app->child<GraphWidget>("graphWidget");
    QVERIFY(graph->hasResult());
    QCOMPARE(graph->currentScaleMode(), GraphWidget::AutoScale);
    QCOMPARE(m_app->window->graphSettings().lengthMax, 10000);
    QCOMPARE(m_app->window->graphSettings().rateMax, niceCeiling(engine->maxRate));
    // The options dialog shows the axis values the graph chose.
    auto *lengthMaxBox = m_app->window->graphOptionsDialog()->findChild<QSpinBox *>("lengthMaxBox");
    QCOMPARE(lengthMaxBox->value(), 10000);
}

void tst_Calculation::families_data()
{
    QTest::addColumn<DialogSetup>("setup");
    QTest::addColumn<QStringList>("headers");

    QTest::newRow("loads 1, 2, 5") << chooseLoads(8, {1, 2, 5})
                                   << QStringList{"L,м", "R,кбит/с\nm=1", "R,кбит/с\nm=2", "R,кбит/с\nm=5"};
    QTest::newRow("a DMT and a PAM line type")
        << chooseLineTypes({"ADSL2+_DS.DMT", "SHDSL_PAM16.PAM"})
        << QStringList{"L,м", "R,кбит/с\nADSL2+_DS.DMT", "R,кбит/с\nSHDSL_PAM16.PAM"};
    QTest::newRow("two cables")
        << chooseCables({"PE-0.40mm-26AWG", "PE-0.50mm-24AWG"})
        << QStringList{"L,м", "R,кбит/с\nкабель PE-0.40mm-26AWG", "R,кбит/с\nкабель PE-0.50mm-24AWG"};
    QTest::newRow("three margins")
        << chooseFamily(QStringLiteral("SNRMargin_pointsCountBox"), 3, QStringLiteral("SNRMargin_pointsBoxes"),
                        {0, 6, 12})
        << QStringList{"L,м", "R,кбит/с\nSNR Margin=0дБ", "R,кбит/с\nSNR Margin=6дБ", "R,кбит/с\nSNR Margin=12дБ"};
}

void tst_Calculation::families()
{
    QFETCH(DialogSetup, setup);
    QFETCH(QStringList, headers);

    m_app->calculate(setup);
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QTableView *t = table();
    QCOMPARE(headerTexts(t), headers);
    QCOMPARE(t->model()->rowCount(), 10);

    // The GUI shows exactly what the engine computes for the record the dialog filled.
    const CalcSettings *settings = m_app->window->calcSettings();
    QVERIFY(settings);
    QString error;
    const std::optional<SweepResult> engine = runSweep(*settings, QString(), &error);
    QVERIFY2(engine, qPrintable(error));
    QCOMPARE(m_app->window->resultSet(), engine->rows);
    QCOMPARE(settings->maxRate, engine->maxRate);
    int largest = 0;
    for (const ResultRow &row : engine->rows)
        for (float rate : row.rates)
            largest = std::max(largest, int(rate));
    QCOMPARE(settings->maxRate, largest);
    for (int r = 0; r < t->model()->rowCount(); ++r)
        for (int c = 1; c < t->model()->columnCount(); ++c)
            QCOMPARE(cellText(t, r, c), QString::number(double(engine->rows.at(r).rates.at(c - 1)), 'g', 6));
}

void tst_Calculation::twoSectionsGiveTheEngineNumbers()
{
    m_app->calculate(addTwoSections);
    QCOMPARE(m_app->answerer->unexpected(), 0);

    // The record is the untouched one with the two sections, the lengths starting at their total.
    CalcSettings expected = defaultCalcSettings();
    expected.sections = {{QStringLiteral("PE-0.64mm-22AWG"), 1500}, {QStringLiteral("PE-0.50mm-24AWG"), 300}};
    expected.cableLengthFrom = 1800;
    const CalcSettings *settings = m_app->window->calcSettings();
    QVERIFY(settings);
    CalcSettings withoutRate = *settings;
    withoutRate.maxRate = 0;
    QCOMPARE(withoutRate, expected);

    QString error;
    const std::optional<SweepResult> engine = runSweep(expected, QString(), &error);
    QVERIFY2(engine, qPrintable(error));
    QCOMPARE(settings->maxRate, engine->maxRate);
    QTableView *t = table();
    QCOMPARE(t->model()->rowCount(), 9);
    QCOMPARE(headerTexts(t), (QStringList{"L,м", "R,кбит/с\nm=1"}));
    const ResultSet &rows = m_app->window->resultSet();
    QCOMPARE(rows.size(), 9);
    for (int r = 0; r < 9; ++r) {
        QCOMPARE(cellText(t, r, 0), QString::number(1800 + 1000 * r));
        QCOMPARE(rows.at(r).length, engine->rows.at(r).length);
        QCOMPARE(bits(rows.at(r).rates.at(0)), bits(engine->rows.at(r).rates.at(0)));
        QCOMPARE(cellText(t, r, 1), QString::number(double(engine->rows.at(r).rates.at(0)), 'g', 6));
    }

    // The sections took part: the swept cable alone gives other rates at the same lengths.
    CalcSettings oneCable = expected;
    oneCable.sections.clear();
    const std::optional<SweepResult> alone = runSweep(oneCable, QString(), &error);
    QVERIFY2(alone, qPrintable(error));
    QVERIFY(alone->rows.first().rates.first() != rows.first().rates.first());

    QString proposed;
    m_app->window->defaultExportName(proposed);
    QVERIFY2(proposed.contains(QStringLiteral("_Участки=PE-0.64mm-22AWG 1500м + PE-0.50mm-24AWG 300м_")),
             qPrintable(proposed));
}

void tst_Calculation::modelOptionsReachTheGraph()
{
    // A gain typed with a decimal comma, one decimal too many at first; vectoring with 2 aliens.
    QString refusal;
    m_app->calculate([&](PropertiesDialog *dialog) {
        chooseLoads(50, {25})(dialog);
        auto *gain = dialogChild<QLineEdit>(dialog, QStringLiteral("codingGainEdit"));
        gain->setText(QStringLiteral("2,55"));
        typeInto(dialogChild<QSpinBox>(dialog, QStringLiteral("vectoringBox")), 25);
        typeInto(dialogChild<QSpinBox>(dialog, QStringLiteral("alienBox")), 2);
        // The answerer's own timer does not fire inside its answer.
        QTimer::singleShot(100, dialog, [&refusal] {
            refusal = QApplication::activeModalWidget()->property("text").toString();
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
        });
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("calculateButton")), Qt::LeftButton);
        gain->setText(QStringLiteral("2,5"));
    });
    QCOMPARE(refusal, QStringLiteral("Расчёт невозможен: выигрыш кодирования: у числа 2.55 больше знаков после точки, чем 1"));
    CalcSettings expected = defaultCalcSettings();
    std::tie(expected.cableCapacity, expected.xDSL_points, expected.codingGain, expected.vectoring,
             expected.alienDisturbers) = std::tuple(50, QVector<int>{25}, 2.5f, 25, 2);
    CalcInput::fillSummaries(expected, true);
    QString error;
    QCOMPARE(m_app->window->resultSet(), runSweep(expected, QString(), &error)->rows);

    // The conditions block, the proposed file names and the report title name both options.
    QImage image(900, 600, QImage::Format_RGB32);
    QPainter painter(&image);
    QString block;
    for (const GraphText &text : drawGraph(painter, image.rect(), m_app->child<GraphWidget>("graphWidget")->shownPicture()))
        block += text.text;
    QVERIFY2(block.contains(QStringLiteral("SNR Margin=0дБ\nВекторизация D=25дБ, чужих N=2\nВыигрыш кодирования 2.5дБ\n")),
             qPrintable(block));
    QString proposed;
    m_app->window->defaultExportName(proposed);
    QVERIFY(proposed.contains(QStringLiteral("_SNR_Margin=0 дБ_Векторизация_D=25дБ_чужих_N=2_Выигрыш_кодирования_2.5дБ_")));
    QVERIFY(reportTitle(expected, QDate(2024, 1, 1)).endsWith(QStringLiteral("N=2; Выигрыш кодирования 2.5дБ; 01.01.2024")));

    // Отмена returns the fields to what the run took, a text that is no number included.
    m_app->answerCalculationDialog([](PropertiesDialog *dialog) {
        QTest::keyClicks(dialogChild<QLineEdit>(dialog, QStringLiteral("codingGainEdit")), QStringLiteral("x"));
        dialogChild<QSpinBox>(dialog, QStringLiteral("vectoringBox"))->setValue(-1);
    }, false);
    m_app->window->showPropertiesDialog();
    CalcSettings kept;
    m_app->window->findChild<PropertiesDialog *>()->fillSettings(kept);
    QCOMPARE(std::tuple(kept.codingGain, kept.vectoring, kept.alienDisturbers), std::tuple(2.5f, std::optional<int>(25), 2));
    QVERIFY(m_app->window->findChild<QLineEdit *>(QStringLiteral("codingGainEdit"))->toolTip().isEmpty());
}

void tst_Calculation::tableShrinksAfterALargerResult()
{
    m_app->calculate(both(chooseLineTypes({"ADSL2+_DS.DMT", "ADSL_DS.DMT", "VDSL2-8b_DS.DMT"}),
                          chooseLengths(0, 30000, 10)));
    QCOMPARE(table()->model()->rowCount(), 3001);
    QCOMPARE(table()->model()->columnCount(), 4);
    QCOMPARE(cellText(table(), 3000, 0), QStringLiteral("30000"));

    m_app->calculate(both(chooseLineTypes({"ADSL2+_DS.DMT"}), chooseLengths(1000, 9500, 1000)));
    QCOMPARE(table()->model()->rowCount(), 9);
    QCOMPARE(table()->model()->columnCount(), 2);
    QCOMPARE(cellText(table(), 8, 0), QStringLiteral("9000"));
    QCOMPARE(headerTexts(table()).at(0), QStringLiteral("L,м"));
    QCOMPARE(headerTexts(table()).at(1), QStringLiteral("R,кбит/с\nm=1"));
}

void tst_Calculation::manyCablesAreNotCutOff()
{
    // More cables than the 19 curves a table of 20 columns would hold. The dialog lists the
    // directory when it is first opened, so the copies made now are offered.
    const QString source = m_app->path("Cable/PE-0.40mm-26AWG.att");
    for (int i = 0; i < 21; ++i)
        QVERIFY(QFile::copy(source, m_app->path(QStringLiteral("Cable/x%1.att").arg(i, 2, 10, QLatin1Char('0')))));
    m_app->calculate([](PropertiesDialog *dialog) {
        auto *count = dialogChild<QComboBox>(dialog, QStringLiteral("cableTypeCountBox"));
        count->setCurrentIndex(count->count() - 1);
    });
    const QStringList cables = m_app->window->calcSettings()->cableTypes;
    QCOMPARE(cables.size(), 25);
    QCOMPARE(table()->model()->columnCount(), 26);
    QCOMPARE(headerTexts(table()).at(25), QStringLiteral("R,кбит/с\nкабель ") + cables.last());
    QVERIFY(!cellText(table(), 9, 25).isEmpty());
    QCOMPARE(m_app->window->resultSet().first().rates.size(), 25);
}

void tst_Calculation::progressIsPaintedAsItAdvances()
{
    ProgressWatcher watcher;
    m_app->calculate(both(chooseLineTypes({"ADSL2+_DS.DMT", "SHDSL_PAM16.PAM"}), chooseLengths(1000, 10000, 1000)));
    QCOMPARE(m_app->answerer->unexpected(), 0);

    // One dialog per line type, each painted at every new value: 0, 11, 22, ... 100.
    QCOMPARE(watcher.dialogs.size(), 2);
    QCOMPARE(watcher.dialogs.at(0).label, QStringLiteral("Вычисляю для ADSL2+_DS.DMT"));
    QCOMPARE(watcher.dialogs.at(1).label, QStringLiteral("Вычисляю для SHDSL_PAM16.PAM"));
    const QList<int> expected = {0, 11, 22, 33, 44, 55, 66, 77, 88, 100};
    for (const ProgressRecord &dialog : watcher.dialogs) {
        // The first paint may come with the window's first show, before the run's first value.
        QList<int> painted = dialog.painted;
        if (!painted.isEmpty() && painted.first() == -1)
            painted.removeFirst();
        QCOMPARE(painted, expected);
    }
    // The dialogs are gone once the run is over.
    QVERIFY(m_app->window->findChildren<QProgressDialog *>().isEmpty());

    // A value family is one dialog for the whole run, named after the cable.
    watcher.dialogs.clear();
    m_app->calculate(chooseLoads(8, {1, 2, 5}));
    QCOMPARE(watcher.dialogs.size(), 1);
    QCOMPARE(watcher.dialogs.at(0).label, QStringLiteral("Вычисляю для PE-0.40mm-26AWG"));
}

void tst_Calculation::refusedRuns_data()
{
    QTest::addColumn<QString>("emptied");     // a template directory emptied before the dialog opens
    QTest::addColumn<QString>("damaged");     // a template file overwritten after a first run
    QTest::addColumn<QString>("messagePart"); // what the message must name
    QTest::addColumn<QString>("russian");     // the engine's words, in the GUI's language

    QTest::newRow("no cable") << "Cable" << "" << "Cable" << "Нет шаблона кабеля: каталог Cable пуст";
    QTest::newRow("no line type") << "xDSL" << "" << "xDSL" << "Нет шаблона типа линии: каталог xDSL пуст";
    QTest::newRow("infinite frequency") << "" << "Cable/PE-0.40mm-26AWG.att" << "PE-0.40mm-26AWG.att"
                                        << "строка 2, столбец «F, кГц»: значение не является конечным числом";
}

void tst_Calculation::refusedRuns()
{
    QFETCH(QString, emptied);
    QFETCH(QString, damaged);
    QFETCH(QString, messagePart);
    QFETCH(QString, russian);

    if (!emptied.isEmpty()) {
        QDir(m_app->path(emptied)).removeRecursively();
        QVERIFY(QDir().mkpath(m_app->path(emptied)));
    } else {
        m_app->calculate();
        QVERIFY(m_app->window->calcSettings());
        QVERIFY(writeTemplateCells(m_app->path(damaged), {{0, 0, 1.0}, {0, 1, 2.0}, {1, 0, qInf()}, {1, 1, 3.0}}));
        m_app->child<QTabWidget>("tabWidget")->setCurrentIndex(0);
    }
    const ResultSet rowsBefore = m_app->window->resultSet();
    const CalcSettings *settingsBefore = m_app->window->calcSettings();
    const QStringList headersBefore = headerTexts(table());
    const int rowCountBefore = table()->model()->rowCount();

    m_app->answerCalculationDialog();
    m_app->answerer->pushButton(QMessageBox::Ok);
    m_app->window->showPropertiesDialog();

    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(m_app->answerer->texts().size(), 1);
    const QString message = m_app->answerer->texts().first();
    QVERIFY2(message.contains(messagePart), qPrintable(message));
    QVERIFY2(message.contains(russian), qPrintable(message));
    // Nothing else changed: the last results, the record, the table and the current tab.
    QCOMPARE(m_app->window->resultSet(), rowsBefore);
    QCOMPARE(m_app->window->calcSettings(), settingsBefore);
    QCOMPARE(headerTexts(table()), headersBefore);
    QCOMPARE(table()->model()->rowCount(), rowCountBefore);
    QCOMPARE(m_app->child<QTabWidget>("tabWidget")->currentIndex(), 0);
    QVERIFY(m_app->window->findChildren<QProgressDialog *>().isEmpty());
}

void tst_Calculation::cancelledDialogRunsNothing()
{
    m_app->answerCalculationDialog({}, false);
    m_app->window->showPropertiesDialog();
    QVERIFY(m_app->window->propertiesDialog());
    QVERIFY(!m_app->window->calcSettings());
    QVERIFY(m_app->window->resultSet().isEmpty());
    QCOMPARE(table()->model()->rowCount(), 200);
    QCOMPARE(m_app->child<QTabWidget>("tabWidget")->currentIndex(), 0);
}

void tst_Calculation::graphOptionsBeforeAnyCalculation()
{
    GraphOptions *options = m_app->window->graphOptionsDialog();
    m_app->answerer->push([](QWidget *w) {
        auto *dialog = qobject_cast<GraphOptions *>(w);
        QVERIFY(dialog);
        dialog->findChild<QSpinBox *>("lengthMaxBox")->setValue(5000);
        QTest::mouseClick(dialog->findChild<QPushButton *>("okButton"), Qt::LeftButton);
    });
    m_app->window->showGraphOptionsDialog();
    QCOMPARE(m_app->answerer->pending(), 0);
    // No run, no record taken over; the typed value waits in the dialog.
    QVERIFY(!m_app->window->propertiesDialog());
    QVERIFY(m_app->window->resultSet().isEmpty());
    QCOMPARE(m_app->window->graphSettings(), GraphSettings());
    QCOMPARE(options->findChild<QSpinBox *>("lengthMaxBox")->value(), 5000);
    QVERIFY(!m_app->child<GraphWidget>("graphWidget")->hasResult());
}

void tst_Calculation::graphOptionsRerunInUserScale()
{
    m_app->calculate();
    // The user changes the dialog after the run and cancels: the options' OK re-runs what was
    // accepted, never the cancelled lengths.
    m_app->answerCalculationDialog(chooseLengths(1000, 5000, 500), false);
    m_app->window->showPropertiesDialog();

    m_app->answerer->push([](QWidget *w) {
        auto *dialog = qobject_cast<GraphOptions *>(w);
        QVERIFY(dialog);
        dialog->findChild<QSpinBox *>("lengthMaxBox")->setValue(6000);
        dialog->findChild<QSpinBox *>("lengthGridStepBox")->setValue(400);
        dialog->findChild<QSpinBox *>("lengthLabelStepBox")->setValue(600);
        QTest::mouseClick(dialog->findChild<QPushButton *>("okButton"), Qt::LeftButton);
    });
    m_app->window->showGraphOptionsDialog();
    QCOMPARE(m_app->answerer->unexpected(), 0);

    QCOMPARE(table()->model()->rowCount(), 10);
    QCOMPARE(m_app->window->calcSettings()->cableLengthTo, 10000);
    auto *graph = m_app->child<GraphWidget>("graphWidget");
    QCOMPARE(graph->currentScaleMode(), GraphWidget::UserScale);
    const GraphSettings &settings = m_app->window->graphSettings();
    QCOMPARE(settings.lengthMax, 6000);
    QCOMPARE(settings.lengthGridStep, 400);
    // Legible steps are kept as asked: labels every 600 m between grid lines every 400 m.
    QCOMPARE(settings.lengthLabelStep, 600);
    GraphOptions *options = m_app->window->graphOptionsDialog();
    QCOMPARE(options->findChild<QSpinBox *>("lengthLabelStepBox")->value(), 600);
}

void tst_Calculation::graphOptionsOkWithoutChangeKeepsTheGraph_data()
{
    QTest::addColumn<QByteArray>("setup"); // empty: a run from the calculation dialog
    QTest::addColumn<QSize>("window");
    QTest::newRow("automatic scale, 1600 x 1000") << QByteArray() << QSize(1600, 1000);
    QTest::newRow("automatic scale, 1366 x 768") << QByteArray() << QSize(1366, 768);
    QTest::newRow("setup: no target lines, a label every metre")
        << QByteArray(R"({"format": "kolvane-setup", "version": 1, "targetRates": [2048],
                          "graph": {"targetLines": false, "lengthLabelStep": 1}})") << QSize(1366, 768);
}

// OK in "Настройки" without a change draws the same picture, the clock's line aside.
void tst_Calculation::graphOptionsOkWithoutChangeKeepsTheGraph()
{
    QFETCH(QByteArray, setup);
    QFETCH(QSize, window);
    m_app->window->resize(window);
    QFile file(m_app->path(QStringLiteral("study.kolvane")));
    if (setup.isEmpty())
        m_app->calculate(chooseLengths(0, 10000, 100));
    else
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(setup) && file.flush()
                && m_app->window->openSetupFile(file.fileName()));
    auto *graph = m_app->child<GraphWidget>("graphWidget");
    const auto picture = [graph] {
        GraphPicture shown = graph->shownPicture();
        shown.stamp = QDateTime(QDate(2012, 2, 26), QTime(12, 0));
        QImage image(graph->size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        drawGraph(painter, graph->rect(), shown);
        return image;
    };
    const QImage before = picture();
    const GraphSettings settled = m_app->window->graphSettings();
    m_app->answerer->push([](QWidget *w) { QTest::mouseClick(w->findChild<QPushButton *>("okButton"), Qt::LeftButton); });
    m_app->press(QKeySequence(Qt::Key_F6));
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(m_app->window->graphSettings(), settled);
    QVERIFY(picture() == before);
    // A setup's label every metre is widened as the dialog's would be, to a round legible step.
    QVERIFY(QString::number(settled.lengthLabelStep).contains(QRegularExpression(QStringLiteral("^[125]00+$"))));
}

void tst_Calculation::closedResultWindowsComeBack()
{
    auto *tableWindow = m_app->child<QMdiSubWindow>("tableWindow");
    auto *graphWindow = m_app->child<QMdiSubWindow>("graphWindow");
    tableWindow->close();
    graphWindow->close();
    QVERIFY(tableWindow->isHidden() && graphWindow->isHidden());

    m_app->calculate();
    QVERIFY(tableWindow->isVisible());
    QVERIFY(graphWindow->isVisible());
    QCOMPARE(m_app->child<QTabWidget>("tabWidget")->currentIndex(), 1);
}

void tst_Calculation::cancelKeepsEverything_data()
{
    QTest::addColumn<bool>("fromGraphOptions");
    QTest::newRow("run from the calculation dialog") << false;
    QTest::newRow("run from the graph options") << true;
}

void tst_Calculation::cancelKeepsEverything()
{
    QFETCH(bool, fromGraphOptions);
    // A PAM search through every candidate at every length (a negative attenuation): seconds
    // per length. The dialog lists its directories once, so the templates come first.
    QVERIFY(test::writeRows(m_app->path("Cable/negative.att"), {{1, 1.8}, {100, -0.5}, {30000, 150}}));
    QVERIFY(test::writeRows(m_app->path("xDSL/slow.PAM"), {{1, 13.5, 192, 100000, -140}}));
    const DialogSetup slow = both(both(chooseCables({"negative"}), chooseLineTypes({"slow.PAM"})),
                                  chooseLengths(1000, 3000, 500));
    m_app->calculate();
    m_app->child<QTabWidget>("tabWidget")->setCurrentIndex(0);
    const ResultSet rowsBefore = m_app->window->resultSet();
    const CalcSettings *settingsBefore = m_app->window->calcSettings();
    const CalcSettings recordBefore = *settingsBefore;
    const QStringList headersBefore = headerTexts(table());
    const QString cellBefore = cellText(table(), 3, 1);
    const GraphSettings graphBefore = m_app->window->graphSettings();
    const QImage pictureBefore = m_app->child<GraphWidget>("graphWidget")->graphPixmap().toImage();

    QElapsedTimer clock;
    qint64 clickedAt = -1;
    if (fromGraphOptions) {
        // The slow choice is accepted and its run cancelled; the options' OK runs it again.
        QElapsedTimer first;
        qint64 firstClick = -1;
        m_app->answerCalculationDialog(slow);
        first.start();
        cancelRunAfter(400, first, &firstClick);
        m_app->window->showPropertiesDialog();
        QVERIFY(firstClick >= 0);
        m_app->answerer->push([&](QWidget *w) {
            auto *dialog = qobject_cast<GraphOptions *>(w);
            QVERIFY(dialog);
            dialog->findChild<QSpinBox *>("lengthMaxBox")->setValue(6000);
            clock.start();
            cancelRunAfter(400, clock, &clickedAt);
            QTest::mouseClick(dialog->findChild<QPushButton *>("okButton"), Qt::LeftButton);
        });
        m_app->window->showGraphOptionsDialog();
    } else {
        m_app->answerCalculationDialog(slow);
        clock.start();
        cancelRunAfter(400, clock, &clickedAt);
        m_app->window->showPropertiesDialog();
    }
    const qint64 stoppedAt = clock.elapsed();

    QCOMPARE(m_app->answerer->unexpected(), 0);
    QVERIFY2(clickedAt >= 0, "no progress dialog with a cancel button");
    QVERIFY2(stoppedAt - clickedAt < 500, qPrintable(QString::number(stoppedAt - clickedAt)));
    QVERIFY(m_app->window->findChildren<QProgressDialog *>().isEmpty());
    // Everything the user had is still there.
    QCOMPARE(m_app->window->resultSet(), rowsBefore);
    QCOMPARE(m_app->window->calcSettings(), settingsBefore);
    QCOMPARE(*m_app->window->calcSettings(), recordBefore);
    QCOMPARE(headerTexts(table()), headersBefore);
    QCOMPARE(table()->model()->rowCount(), 10);
    QCOMPARE(cellText(table(), 3, 1), cellBefore);
    QCOMPARE(m_app->window->graphSettings(), graphBefore);
    QCOMPARE(m_app->child<GraphWidget>("graphWidget")->graphPixmap().toImage(), pictureBefore);
    QCOMPARE(m_app->child<QTabWidget>("tabWidget")->currentIndex(), 0);
    QCOMPARE(m_app->window->statusBar()->currentMessage(), QStringLiteral("Расчёт отменён"));

    // The program goes on as before: the next run works.
    m_app->calculate(chooseLengths(1000, 2000, 1000));
    QCOMPARE(table()->model()->rowCount(), 2);
}

void tst_Calculation::fifoTemplateDoesNotFreeze()
{
    // The dialog offers a cable that is a FIFO by the time the run reads it.
    m_app->calculate();
    const QString cable = m_app->path("Cable/PE-0.40mm-26AWG.att");
    QVERIFY(QFile::remove(cable) && ::mkfifo(QFile::encodeName(cable).constData(), 0600) == 0);
    // Should the run wait after all, a writer comes by after a while and lets it go.
    std::atomic_bool done{false};
    std::thread rescue([&] {
        for (int i = 0; i < 50 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        while (!done) {
            const int fd = ::open(QFile::encodeName(cable).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    m_app->answerCalculationDialog();
    m_app->answerer->pushButton(QMessageBox::Ok);
    QElapsedTimer timer;
    timer.start();
    m_app->window->showPropertiesDialog();
    const qint64 elapsed = timer.elapsed();
    done = true;
    rescue.join();
    QVERIFY(elapsed < 3000);
    QCOMPARE(m_app->answerer->unexpected(), 0);
    const QString message = m_app->answerer->texts().value(0);
    QVERIFY2(message.contains(QStringLiteral("Cable/PE-0.40mm-26AWG.att не является файлом шаблона")),
             qPrintable(message));
}

void tst_Calculation::templatesWithoutRowsWarn()
{
    // An empty cable template: the curve is there at rate 0, and the status bar says why.
    QVERIFY(test::writeRows(m_app->path("Cable/empty.att"), {}));
    m_app->calculate(chooseCables({"empty", "PE-0.40mm-26AWG"}));
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(table()->model()->columnCount(), 3);
    QCOMPARE(cellText(table(), 0, 1), QStringLiteral("0"));
    QCOMPARE(m_app->window->statusBar()->currentMessage(),
             QStringLiteral("В шаблоне Cable/empty.att нет ни одной полной строки; его скорости равны 0"));

    // A run without such templates leaves no warning behind.
    m_app->calculate(chooseCables({"PE-0.40mm-26AWG"}));
    QCOMPARE(m_app->window->statusBar()->currentMessage(), QString());
}

QTEST_MAIN(tst_Calculation)
#include "tst_calculation.moc"
