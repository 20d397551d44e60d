#include "appfixture.h"

#include "app/qualifyrun.h"
#include "engine/workspace.h"
#include "input/qualifydialog.h"
#include "report/qualifywindow.h"

#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTableView>

#include <sys/stat.h>

namespace {

const QString SampleLoops = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/loops/zarechye.csv");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class tst_QualifyWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dialogIsPresetFromTheCalculation();
    void windowShowsAndExportsTheCommandLinesBytes();
    void copyTakesTheTable();
    void missingFileIsRefusedInTheDialog();
    void cancelLeavesNothing();
    void pipeIsRefusedWithoutWaiting();

private:
    // Answers the qualification dialog: the file, the services' targets (none = no targets).
    void answerDialog(const QString &file, const QVector<int> &targets, QStringList *offered = nullptr);
    QList<QualifyWindow *> windows() const { return m_app->window->findChildren<QualifyWindow *>(); }

    std::unique_ptr<AppFixture> m_app;
};

void tst_QualifyWindow::init()
{
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_QualifyWindow::cleanup()
{
    QCOMPARE(m_app->answerer->unexpected(), 0);
    m_app.reset();
}

void tst_QualifyWindow::answerDialog(const QString &file, const QVector<int> &targets, QStringList *offered)
{
    m_app->answerer->push([=](QWidget *w) {
        auto *dialog = qobject_cast<QualifyDialog *>(w);
        QVERIFY2(dialog, "the qualification dialog did not open");
        if (offered) {
            const int count = dialog->findChild<QSpinBox *>(QStringLiteral("serviceCountBox"))->value();
            for (int i = 0; i < count; ++i)
                *offered << dialog->findChild<QComboBox *>(QStringLiteral("serviceLineBox%1").arg(i))->currentText();
        }
        dialog->setLoopsFile(file);
        dialog->findChild<QCheckBox *>(QStringLiteral("targetsBox"))->setChecked(!targets.isEmpty());
        for (int i = 0; i < targets.size(); ++i)
            dialog->findChild<QSpinBox *>(QStringLiteral("serviceTargetBox%1").arg(i))->setValue(targets.at(i));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("qualifyButton")), Qt::LeftButton);
    });
}

void tst_QualifyWindow::dialogIsPresetFromTheCalculation()
{
    m_app->calculate(chooseLineTypes({"VDSL2-8b_DS.DMT", "SHDSL_PAM32.PAM"}));
    QStringList offered;
    answerDialog(SampleLoops, {}, &offered);
    m_app->window->qualifyLines();
    QCOMPARE(offered, (QStringList{"VDSL2-8b_DS.DMT", "SHDSL_PAM32.PAM"}));
    QCOMPARE(windows().size(), 1);
    const QualifyTable &table = windows().first()->table();
    QCOMPARE(table.settings.conditions.lineTypes, offered);
    QVERIFY(table.settings.targets.isEmpty());
    QCOMPARE(m_app->child<QTabWidget>("tabWidget")->currentIndex(), 1);
}

void tst_QualifyWindow::windowShowsAndExportsTheCommandLinesBytes()
{
    m_app->calculate(chooseLineTypes({"ADSL2+_DS.DMT", "SHDSL_PAM16.PAM"}));
    const QString loops = m_app->path(QStringLiteral("loops.csv"));
    QByteArray input = readAll(SampleLoops);
    input += "ЗР-99-001;PE-0.40mm-26AWG;много\n";
    QVERIFY(writeFile(loops, input));
    answerDialog(loops, {8000, 2048});
    m_app->window->qualifyLines();
    QCOMPARE(windows().size(), 1);
    QualifyWindow *window = windows().first();
    const QualifyTable &table = window->table();
    const int count = input.count('\n') - 1;
    QCOMPARE(table.loops.size(), count);
    QCOMPARE(table.refused(), 1);

    // The summary counts the loops, the qualified ones per service and the refused.
    const QString summary = m_app->child<QLabel>("qualifySummary")->text();
    QCOMPARE(summary, QStringLiteral("Линий: %1; годны: ADSL2+_DS.DMT (8000 кбит/с) — %2, SHDSL_PAM16.PAM (2048 кбит/с) — %3; "
                                     "не рассчитано: 1.")
                          .arg(count)
                          .arg(table.qualified(0))
                          .arg(table.qualified(1)));
    QVERIFY(table.qualified(0) > 0 && table.qualified(0) < count - 1);
    QCOMPARE(m_app->window->statusBar()->currentMessage(), summary);

    // The refused loop's row stands out and says why.
    auto *view = m_app->child<QTableView>("qualifyTable");
    const QAbstractItemModel *model = view->model();
    QCOMPARE(model->rowCount(), count);
    QCOMPARE(model->columnCount(), 8);
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("SNR Margin,дБ\nADSL2+_DS.DMT"));
    QCOMPARE(model->headerData(7, Qt::Horizontal).toString(), QStringLiteral("Ошибка"));
    const int last = count - 1;
    QCOMPARE(model->data(model->index(last, 0)).toString(), QStringLiteral("ЗР-99-001"));
    QCOMPARE(model->data(model->index(last, 0), Qt::BackgroundRole).value<QColor>(), QualifyWindow::refusedColor());
    QCOMPARE(model->data(model->index(last, 7)).toString(), QStringLiteral("длина «много» не является целым числом метров"));
    QVERIFY(!model->data(model->index(0, 0), Qt::BackgroundRole).isValid());

    // Exported, it is what kolvane-calc prints for the same file.
    const QString target = m_app->path(QStringLiteral("qualified.csv"));
    m_app->answerer->pushSaveFile(target);
    window->exportToCsv();
    QCOMPARE(m_app->answerer->pending(), 0);
    QProcess cli;
    cli.setWorkingDirectory(m_app->workspace);
    cli.start(QStringLiteral(KOLVANE_CALC), {"qualify", "--line", "ADSL2+_DS.DMT", "--line", "SHDSL_PAM16.PAM",
                                            "--rate", "8000,2048", loops});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 3);
    const QByteArray expected = cli.readAllStandardOutput();
    QCOMPARE(readAll(target), expected);
    QCOMPARE(m_app->window->statusBar()->currentMessage(),
             QStringLiteral("Сохранено: %1").arg(QDir::toNativeSeparators(target)));

    // The table shows the file's texts.
    const QList<QByteArray> first = expected.split('\n').at(1).split(';');
    for (int c = 0; c < 7; ++c)
        QCOMPARE(model->data(model->index(0, c)).toString(), QString::fromUtf8(first.at(c)));
}

void tst_QualifyWindow::copyTakesTheTable()
{
    m_app->calculate();
    answerDialog(SampleLoops, {8000});
    m_app->window->qualifyLines();
    QCOMPARE(windows().size(), 1);
    auto *view = m_app->child<QTableView>("qualifyTable");
    view->selectionModel()->select(QItemSelection(view->model()->index(0, 0), view->model()->index(1, 3)),
                                   QItemSelectionModel::Select);
    auto *copy = view->findChild<QAction *>(QStringLiteral("copyTableAct"));
    QVERIFY(copy);
    QCOMPARE(copy->shortcut(), QKeySequence(QKeySequence::Copy));
    copy->trigger();
    const QStringList lines = QApplication::clipboard()->mimeData()->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), QStringLiteral("id\tR,кбит/с ADSL2+_DS.DMT\tSNR Margin,дБ ADSL2+_DS.DMT\tГодна ADSL2+_DS.DMT"));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("ЗР-00-003\t")));
    QCOMPARE(lines.size(), 4); // two rows and the final line break
}

void tst_QualifyWindow::missingFileIsRefusedInTheDialog()
{
    m_app->calculate();
    m_app->answerer->push([this](QWidget *w) {
        auto *dialog = qobject_cast<QualifyDialog *>(w);
        QVERIFY(dialog);
        dialog->setLoopsFile(m_app->path(QStringLiteral("nothing.csv")));
        // The refusal's message box comes first, then the dialog is cancelled.
        m_app->answerer->pushButton(QMessageBox::Ok);
        m_app->answerer->push([](QWidget *again) {
            QVERIFY(qobject_cast<QualifyDialog *>(again));
            static_cast<QDialog *>(again)->reject();
        });
        // Clicked after this answer returns: the answerer's timer must be free for the message box.
        QTimer::singleShot(0, dialog, [dialog] {
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("qualifyButton")), Qt::LeftButton);
            QVERIFY(dialog->isVisible());
            dialog->setProperty("answered", false); // to be answered again, with the rejection
        });
    });
    m_app->window->qualifyLines();
    QVERIFY(windows().isEmpty());
    QCOMPARE(m_app->answerer->texts().value(0),
             QStringLiteral("Файл %1 не найден.").arg(QDir::toNativeSeparators(m_app->path(QStringLiteral("nothing.csv")))));
}

void tst_QualifyWindow::cancelLeavesNothing()
{
    // Long enough to be cancelled midway: every length distinct, margins searched.
    QByteArray input = "id;cable;length\n";
    QRandomGenerator rng(3);
    for (int i = 0; i < 300000; ++i)
        input += "L" + QByteArray::number(i) + ";PE-0.40mm-26AWG;" + QByteArray::number(rng.bounded(30001)) + '\n';
    const QString loops = m_app->path(QStringLiteral("big.csv"));
    QVERIFY(writeFile(loops, input));
    m_app->calculate();
    QElapsedTimer cancelled;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (progress && !cancelled.isValid()) {
            cancelled.start();
            if (auto *button = progress->findChild<QPushButton *>())
                button->click(); // "Отмена"
        }
    });
    poll.start(20);
    answerDialog(loops, {8000});
    m_app->window->qualifyLines();
    QVERIFY(cancelled.isValid());
    QVERIFY2(cancelled.elapsed() < 3000, QByteArray::number(cancelled.elapsed()).constData());
    QVERIFY(windows().isEmpty());
    QCOMPARE(m_app->window->statusBar()->currentMessage(), QStringLiteral("Проверка линий отменена"));
}

void tst_QualifyWindow::pipeIsRefusedWithoutWaiting()
{
    // A named pipe nobody writes to would hold the run, and the window with it, for ever.
    const QString fifo = m_app->path(QStringLiteral("loops.fifo"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QualifySettings settings;
    settings.conditions = defaultCalcSettings();
    QElapsedTimer timer;
    timer.start();
    const QualifyOutcome outcome = runQualification(m_app->window.get(), settings, fifo);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(!outcome.table && !outcome.cancelled);
    QCOMPARE(outcome.error, QStringLiteral("%1 не является обычным файлом").arg(fifo));
}

QTEST_MAIN(tst_QualifyWindow)
#include "tst_qualifywindow.moc"
