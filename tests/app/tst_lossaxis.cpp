// A calculation swept by loss, from the dialog to the tables, the graph and the exports.

#include "report/graphwidget.h"
#include "report/spectrumlauncher.h"
#include "report/spectrumwindow.h"
#include "report/targetwindows.h"

#include "widgets/decimalfield.h"

#include "appfixture.h"
#include "kolvanecalc.h"

#include <QLineEdit>
#include <QSpinBox>
#include <QMdiArea>
#include <QPainter>

namespace {

// Two cables behind a section, by loss at 1000 kHz from 4 to 40,5 dB by 1,5 dB, with two targets:
// the section alone loses more than the first losses.
DialogSetup sweepByLoss(const QString &to = QStringLiteral("40,5"))
{
    return [to](PropertiesDialog *d) {
        chooseCables({"PE-thin-0.32mm", "PE-0.64mm-22AWG"})(d);
        dialogChild<QComboBox>(d, "sectionCountBox")->setCurrentIndex(1);
        dialogChild<QSpinBox>(d, "sectionLengthBoxes0")->setValue(700);
        dialogChild<QComboBox>(d, "sectionCableBoxes0")->setCurrentText("PE-thin-0.32mm");
        dialogChild<QComboBox>(d, "axisBox")->setCurrentIndex(1);
        dialogChild<QSpinBox>(d, "lossFrequencyBox")->setValue(1000);
        dialogChild<QLineEdit>(d, "lossFromEdit")->setText("4");
        dialogChild<QLineEdit>(d, "lossToEdit")->setText(to);
        dialogChild<QLineEdit>(d, "lossStepEdit")->setText("1,5");
        dialogChild<QComboBox>(d, "targetRatesCountBox")->setCurrentIndex(2);
    };
}

const QStringList sweepOptions{"--cable", "PE-thin-0.32mm", "--cable", "PE-0.64mm-22AWG", "--section",
                               "PE-thin-0.32mm:700", "--axis", "loss", "--loss-freq", "1000", "--from", "4",
                               "--to", "40.5", "--step", "1.5"};

QByteArray exported(AppFixture &app, const QString &name, const std::function<void()> &trigger)
{
    const QString path = app.path(name);
    app.answerer->pushSaveFile(path);
    trigger();
    return test::fileContents(path);
}

} // namespace

class tst_LossAxis : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void exportsEqualTheCommandLine();
    void screenFollowsTheAxis();
    void refusedLossKeepsTheDialogOpen();

private:
    std::unique_ptr<AppFixture> m_app;
};

void tst_LossAxis::init()
{
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_LossAxis::cleanup()
{
    m_app.reset();
}

void tst_LossAxis::exportsEqualTheCommandLine()
{
    m_app->calculate(sweepByLoss());
    const CalcRun *run = m_app->window->lastRun();
    QVERIFY(run && run->lossTargets);
    const QStringList rates{"--rate", "1024,2048"};
    const QString dir = m_app->workspace;
    const test::Run table = test::calc(QStringList{"table"} + sweepOptions, dir);
    QCOMPARE(exported(*m_app, "t.csv", [&] { m_app->press(QKeySequence("Ctrl+T")); }), table.out);
    QVERIFY(table.out.contains("\n4;-;-;\n") && !table.out.contains("\n40.5;-;"));
    TargetWindows *targets = m_app->window->targetWindows();
    for (TargetWindows::Kind kind : {TargetWindows::ReachKind, TargetWindows::MarginKind}) {
        // The reach's grid is the run's range at the command's own step, 0.1 dB.
        const QStringList command = kind == TargetWindows::ReachKind
                                        ? QStringList{"reach"} + rates + sweepOptions.mid(0, sweepOptions.size() - 2)
                                        : QStringList{"margin", "--rate", "1024"} + sweepOptions;
        const test::Run cli = test::calc(command, dir);
        QCOMPARE(cli.code, 0);
        QCOMPARE(exported(*m_app, QString("k%1.csv").arg(int(kind)), [&] { targets->exportAction(kind)->trigger(); }),
                 cli.out);
    }
}

void tst_LossAxis::screenFollowsTheAxis()
{
    m_app->calculate(sweepByLoss());
    auto *table = m_app->child<QTableView>("resultTable");
    QCOMPARE(headerTexts(table).first(), QStringLiteral("A,дБ@1000кГц"));
    QCOMPARE(rowTexts(table, 0).mid(0, 3), (QStringList{"4", "—", "—"}));
    QCOMPARE(cellText(table, 1, 0), QStringLiteral("5.5"));

    // The graph: losses on its axis, its reference frequency in the conditions block, and the
    // read-out in dB; a loss without a loop reads nothing.
    auto *graph = m_app->child<GraphWidget>("graphWidget");
    QImage image(graph->size(), QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.setFont(graph->font());
    const QVector<GraphText> texts = drawGraph(painter, graph->rect(), graph->shownPicture());
    QStringList drawn;
    for (const GraphText &t : texts)
        drawn << t.text;
    QVERIFY(drawn.contains("A,дБ"));
    QVERIFY2(drawn.join('\n').contains("Затухание A на F=1000кГц"), qPrintable(drawn.join('|')));
    QCOMPARE(graphReadoutText(graphReadout(graph->shownPicture().run, 40)), QStringLiteral("A=4 дБ: a —, b — кбит/с"));
    QVERIFY(graphReadoutText(graphReadout(graph->shownPicture().run, 400)).startsWith("A=40 дБ: a "));
    // The user's length axis is left as it was: a loss axis does not write into it.
    QCOMPARE(m_app->window->findChild<GraphWidget *>()->graphSource().settings.lengthMax, GraphSettings().lengthMax);
    // ... and F6 shows its entries as not in use.
    bool lengthEntriesEnabled = true;
    m_app->answerer->push([&](QWidget *w) {
        lengthEntriesEnabled = w->findChild<QSpinBox *>("lengthMaxBox")->isEnabled();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    m_app->window->findChild<QAction *>("graphOptionsAct")->trigger();
    QVERIFY(!lengthEntriesEnabled);

    // The spectrum of a cell at a loss: its converted loop; a cell without a loop has none.
    auto *launcher = m_app->window->findChild<SpectrumLauncher *>();
    QVERIFY(launcher);
    QVERIFY(!launcher->open(0, 1));
    const ResultRow &row = m_app->window->lastRun()->sweep.rows.at(20);
    SpectrumWindow *spectrum = launcher->open(20, 2);
    QVERIFY(spectrum);
    QCOMPARE(spectrum->spectrum().length, row.loops.at(1));
    QCOMPARE(spectrum->windowTitle(), QStringLiteral("Kolvane - Спектр: %1, A=34 дБ, L=%2 м")
                                          .arg(spectrum->spectrum().curve)
                                          .arg(row.loops.at(1)));
}

void tst_LossAxis::refusedLossKeepsTheDialogOpen()
{
    m_app->calculate(sweepByLoss());
    // A loss with two decimals is refused with a message, and Отмена returns to the last run's fields.
    // Out of the answerer's turn, so that it answers the message box the click opens.
    m_app->answerer->push([](QWidget *w) {
        QTimer::singleShot(0, w, [d = qobject_cast<PropertiesDialog *>(w)] {
            dialogChild<QLineEdit>(d, "lossToEdit")->setText("40,55");
            QTest::mouseClick(d->findChild<QPushButton *>("calculateButton"), Qt::LeftButton);
            dialogChild<QLineEdit>(d, "lossToEdit")->setText("3");
            QTest::mouseClick(d->findChild<QPushButton *>("calculateButton"), Qt::LeftButton);
            QVERIFY(d->isVisible());
            dialogChild<QLineEdit>(d, "lossFromEdit")->setText("4x");
            dialogChild<QComboBox>(d, "axisBox")->setCurrentIndex(0);
            QTest::mouseClick(d->findChild<QPushButton *>("cancelButton"), Qt::LeftButton);
        });
    });
    m_app->answerer->pushEscape();
    m_app->answerer->pushEscape();
    m_app->window->showPropertiesDialog();
    QCOMPARE(m_app->answerer->texts(),
             (QStringList{"Расчёт невозможен: конечное затухание: у числа 40.55 больше знаков после точки, чем 1",
                          "Расчёт невозможен: начальное затухание 4 больше, чем конечное затухание 3"}));
    CalcSettings kept;
    m_app->window->findChild<PropertiesDialog *>()->fillSettings(kept);
    QCOMPARE(kept.axis, SweepAxis::Loss);
    QCOMPARE(kept.lossTo, 405);
    // The field put back looks as a number does again.
    auto *from = m_app->window->findChild<QLineEdit *>("lossFromEdit");
    QCOMPARE(from->text(), QStringLiteral("4"));
    QVERIFY(from->palette().color(QPalette::Base) != refusedBackground());

    // Saved and opened again, the setup brings the axis back into the dialog and reruns it.
    const QString setup = m_app->path("loss.kolvane");
    QVERIFY(m_app->window->saveSetupFile(setup));
    QVERIFY(test::fileContents(setup).contains("\"losses\": {\"from\": 4, \"to\": 40.5, \"step\": 1.5}"));
    const SweepResult before = m_app->window->lastRun()->sweep;
    m_app->calculate([](PropertiesDialog *d) { dialogChild<QComboBox>(d, "axisBox")->setCurrentIndex(0); });
    QVERIFY(m_app->window->openSetupFile(setup));
    QCOMPARE(m_app->window->lastRun()->sweep.rows, before.rows);
}

QTEST_MAIN(tst_LossAxis)
#include "tst_lossaxis.moc"
