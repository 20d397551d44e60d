#include "appfixture.h"

#include "app/qualifyrun.h"
#include "engine/calcinput.h"
#include "engine/workspace.h"
#include "input/qualifydialog.h"
#include "report/qualifywindow.h"

#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableView>

#include <sys/stat.h>
#include <unistd.h>

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

// What kolvane-calc qualify prints for the file, the services ADSL2+ and SHDSL PAM16.
QByteArray cliOutput(const QString &loops, const QStringList &more)
{
    QProcess cli;
    cli.start(QStringLiteral(KOLVANE_CALC),
              QStringList{"qualify", "--line", "ADSL2+_DS.DMT", "--line", "SHDSL_PAM16.PAM"} + more + QStringList{loops});
    return cli.waitForFinished(60000) ? cli.readAllStandardOutput() : QByteArray("<not finished>");
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
    void sortsAndFilters();
    void showsAPageAtATime();
    void largeFileGoesStraightToAFile();
    void copyTakesTheTable();
    void unreadableFileIsRefusedInTheDialog_data();
    void unreadableFileIsRefusedInTheDialog();
    void cancelLeavesNothing();
    void pipeIsRefusedWithoutWaiting();

private:
    // Answers the qualification dialog: the file, the services' targets (none = no targets), and
    // what else `more` does in it.
    void answerDialog(const QString &file, const QVector<int> &targets,
                      const std::function<void(QualifyDialog *)> &more = {});
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

void tst_QualifyWindow::answerDialog(const QString &file, const QVector<int> &targets,
                                     const std::function<void(QualifyDialog *)> &more)
{
    m_app->answerer->push([=](QWidget *w) {
        auto *dialog = qobject_cast<QualifyDialog *>(w);
        QVERIFY2(dialog, "the qualification dialog did not open");
        if (more)
            more(dialog);
        dialog->setLoopsFile(file);
        dialog->findChild<QCheckBox *>(QStringLiteral("targetsBox"))->setChecked(!targets.isEmpty());
        for (int i = 0; i < targets.size(); ++i)
            dialog->findChild<QSpinBox *>(QStringLiteral("serviceTargetBox%1").arg(i))->setValue(targets.at(i));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("qualifyButton")), Qt::LeftButton);
    });
}

void tst_QualifyWindow::dialogIsPresetFromTheCalculation()
{
    m_app->calculate([](PropertiesDialog *d) {
        chooseFamily(QStringLiteral("Norm_NEXT_pointsCountBox"), 3, QStringLiteral("Norm_NEXT_pointsBoxes"), {40, 50, 60})(d);
        chooseLineTypes({"VDSL2-8b_DS.DMT"})(d);
        d->findChild<QSpinBox *>(QStringLiteral("vectoringBox"))->setValue(20);
    });
    QStringList offered;
    QString note;
    int next = 0;
    int depth = 0;
    int target = 0;
    answerDialog(SampleLoops, {}, [&](QualifyDialog *dialog) {
        const int count = dialog->findChild<QSpinBox *>(QStringLiteral("serviceCountBox"))->value();
        for (int i = 0; i < count; ++i)
            offered << dialog->findChild<QComboBox *>(QStringLiteral("serviceLineBox%1").arg(i))->currentText();
        // The NEXT family shows its values beside the one value the run takes.
        next = dialog->findChild<QSpinBox *>(QStringLiteral("nextBox"))->value();
        auto *label = dialog->findChild<QLabel *>(QStringLiteral("nextFamilyNote"));
        note = label && label->isVisibleTo(dialog) ? label->text() : QString();
        QVERIFY(!dialog->findChild<QLabel *>(QStringLiteral("loadFamilyNote")));
        target = dialog->findChild<QSpinBox *>(QStringLiteral("serviceTargetBox0"))->value();
        // Each condition is its own field.
        QTest::keyClick(dialog->findChild<QSpinBox *>(QStringLiteral("nextBox")), Qt::Key_Up);
        dialog->findChild<QSpinBox *>(QStringLiteral("marginBox"))->setValue(4);
        depth = dialog->findChild<QSpinBox *>(QStringLiteral("vectoringBox"))->value();
        dialog->findChild<QLineEdit *>(QStringLiteral("codingGainEdit"))->setText(QStringLiteral("1,5"));
        dialog->findChild<QSpinBox *>(QStringLiteral("capacityBox"))->setValue(10);
        dialog->findChild<QSpinBox *>(QStringLiteral("loadBox"))->setValue(5);
        dialog->findChild<QSpinBox *>(QStringLiteral("alienBox"))->setValue(4);
    });
    m_app->window->qualifyLines();
    QCOMPARE(offered, QStringList{"VDSL2-8b_DS.DMT"});
    QCOMPARE(next, 40);
    QCOMPARE(note, QStringLiteral("в расчёте несколько значений: 40, 50, 60; для проверки — одно"));
    QCOMPARE(target, CalcInput::DefaultTargetRate);
    QCOMPARE(windows().size(), 1);
    const QualifySettings &settings = windows().first()->table().settings();
    QCOMPARE(settings.conditions.lineTypes, offered);
    QCOMPARE(settings.conditions.Norm_NEXT_points, QVector<float>{41});
    QCOMPARE(settings.conditions.SNRMargin_points, QVector<float>{4});
    QCOMPARE(depth, 20);
    QCOMPARE(std::tuple(settings.conditions.codingGain, settings.conditions.vectoring, settings.conditions.alienDisturbers),
             std::tuple(1.5f, std::optional<int>(20), 4));
    QVERIFY(settings.targets.isEmpty());
    QCOMPARE(m_app->child<QTabWidget>("tabWidget")->currentIndex(), 1);
}

void tst_QualifyWindow::windowShowsAndExportsTheCommandLinesBytes()
{
    m_app->calculate(chooseLineTypes({"ADSL2+_DS.DMT", "SHDSL_PAM16.PAM"}));
    const QString loops = m_app->path(QStringLiteral("loops.csv"));
    QByteArray input = readAll(SampleLoops);
    input += "ЗР-99-000;PE-0.40mm-26AWG;31,5dB;PE-0.64mm-22AWG:700\nЗР-99-001;PE-0.40mm-26AWG;много\n";
    QVERIFY(writeFile(loops, input));
    answerDialog(loops, {8000, 2048});
    m_app->window->qualifyLines();
    QCOMPARE(windows().size(), 1);
    QualifyWindow *window = windows().first();
    const QualifyTable &table = window->table();
    const int count = input.count('\n') - 1;
    QCOMPARE(table.loops(), count);
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

    // The loop's cable, length and sections beside the verdicts; the refused row stands out.
    auto *view = m_app->child<QTableView>("qualifyTable");
    const QAbstractItemModel *model = view->model();
    QCOMPARE(model->rowCount(), count);
    QCOMPARE(model->columnCount(), 11);
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Кабель"));
    QCOMPARE(model->headerData(5, Qt::Horizontal).toString(), QStringLiteral("SNR Margin,дБ\nADSL2+_DS.DMT"));
    QCOMPARE(model->headerData(10, Qt::Horizontal).toString(), QStringLiteral("Ошибка"));
    const int last = count - 1;
    QCOMPARE(model->data(model->index(last, 0)).toString(), QStringLiteral("ЗР-99-001"));
    QCOMPARE(model->data(model->index(last, 0), Qt::BackgroundRole).value<QColor>(), QualifyWindow::refusedColor());
    QCOMPARE(model->data(model->index(last, 10)).toString(), QStringLiteral("длина «много» не является целым числом метров"));
    QCOMPARE(model->data(model->index(last, 1)).toString(), QString());
    QVERIFY(!model->data(model->index(0, 0), Qt::BackgroundRole).isValid());
    const int withSections = int(input.left(input.indexOf("ЗР-06-003;")).count('\n')) - 1;
    QCOMPARE(model->data(model->index(withSections, 0)).toString(), QStringLiteral("ЗР-06-003"));
    QCOMPARE(model->data(model->index(withSections, 1)).toString(), QStringLiteral("PE-0.40mm-26AWG"));
    QCOMPARE(model->data(model->index(withSections, 2)).toInt(), 4342);
    QCOMPARE(model->data(model->index(withSections, 3)).toString(), QStringLiteral("PE-0.64mm-22AWG 3100м"));
    // A loop given by its loss: the length its cables give, beside the loss.
    QVERIFY(QRegularExpression("^\\d{4} \\(31.5 дБ\\)$").match(model->data(model->index(last - 1, 2)).toString()).hasMatch());

    // Exported, it is what kolvane-calc prints for the same file.
    const QString target = m_app->path(QStringLiteral("qualified.csv"));
    m_app->answerer->pushSaveFile(target);
    window->exportToCsv();
    QCOMPARE(m_app->answerer->pending(), 0);
    const QByteArray expected = cliOutput(loops, {"--rate", "8000,2048"});
    QCOMPARE(readAll(target), expected);
    QCOMPARE(m_app->window->statusBar()->currentMessage(),
             QStringLiteral("Сохранено: %1").arg(QDir::toNativeSeparators(target)));

    // The table shows the file's texts.
    const QList<QByteArray> first = expected.split('\n').at(1).split(';');
    QCOMPARE(model->data(model->index(0, 0)).toString(), QString::fromUtf8(first.at(0)));
    for (int c = 1; c < 7; ++c)
        QCOMPARE(model->data(model->index(0, c + 3)).toString(), QString::fromUtf8(first.at(c)));
}

void tst_QualifyWindow::sortsAndFilters()
{
    m_app->calculate(chooseLineTypes({"ADSL2+_DS.DMT", "SHDSL_PAM16.PAM"}));
    const QString loops = m_app->path(QStringLiteral("loops.csv"));
    const QByteArray input = readAll(SampleLoops) + "x;PE-0.40mm-26AWG;-1\n";
    QVERIFY(writeFile(loops, input));
    answerDialog(loops, {8000, 2048});
    m_app->window->qualifyLines();
    QCOMPARE(windows().size(), 1);
    QualifyWindow *window = windows().first();
    auto *view = m_app->child<QTableView>("qualifyTable");
    const QAbstractItemModel *model = view->model();
    const int count = model->rowCount();
    const auto column = [model](int c) {
        QStringList out;
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->data(model->index(r, c)).toString();
        return out;
    };

    // A click on "Длина, м" sorts by length, the refused loop first; a second click reverses it.
    QHeaderView *header = view->horizontalHeader();
    const QPoint lengthHeader(header->sectionViewportPosition(2) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, lengthHeader);
    QStringList lengths = column(2);
    QCOMPARE(lengths.first(), QString());
    QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("x"));
    for (int r = 2; r < count; ++r)
        QVERIFY(lengths.at(r - 1).toInt() <= lengths.at(r).toInt());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, lengthHeader);
    QCOMPARE(column(2).first(), lengths.last());
    QCOMPARE(column(2).last(), QString());

    // From the keyboard: the current column, here the ADSL2+ rate, descending; then the ids.
    QApplication::setActiveWindow(m_app->window.get());
    view->setFocus();
    view->setCurrentIndex(model->index(0, 4));
    QTest::keyClick(view, Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier);
    const QStringList rates = column(4);
    for (int r = 1; r < count - 1; ++r)
        QVERIFY(rates.at(r - 1).toFloat() >= rates.at(r).toFloat());
    view->setCurrentIndex(model->index(0, 0));
    QTest::keyClick(view, Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier);
    QStringList ids = column(0);
    QVERIFY(std::is_sorted(ids.begin(), ids.end(), [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); }));

    // Only the refused and failing loops; then one cable's among them.
    auto *show = m_app->child<QComboBox>("qualifyShowBox");
    show->setCurrentIndex(1);
    const QualifyTable &table = window->table();
    qint64 failing = 0;
    for (qint64 loop = 0; loop < table.loops(); ++loop)
        failing += table.fails(loop) ? 1 : 0;
    QCOMPARE(model->rowCount(), int(failing));
    QVERIFY(failing > 1 && failing < count);
    for (int r = 0; r < model->rowCount(); ++r) {
        const QString row = column(6).at(r) + column(9).at(r);
        QVERIFY2(row.contains(QStringLiteral("нет")) || !column(10).at(r).isEmpty(), qPrintable(row));
    }
    auto *cable = m_app->child<QComboBox>("qualifyCableBox");
    cable->setCurrentText(QStringLiteral("PE-0.64mm-22AWG"));
    QVERIFY(model->rowCount() > 0 && model->rowCount() < failing);
    QCOMPARE(column(1).filter(QStringLiteral("PE-0.64mm-22AWG")).size(), model->rowCount());
    ids = column(0);
    QVERIFY(std::is_sorted(ids.begin(), ids.end(), [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); }));
    QCOMPARE(m_app->child<QLabel>("qualifyShownLabel")->text(), QStringLiteral("показано линий: %1").arg(model->rowCount()));

    // The export is the whole run in input order whatever is shown.
    const QString target = m_app->path(QStringLiteral("qualified.csv"));
    m_app->answerer->pushSaveFile(target);
    window->exportToCsv();
    QCOMPARE(readAll(target), cliOutput(loops, {"--rate", "8000,2048"}));
}

void tst_QualifyWindow::showsAPageAtATime()
{
    QualifySettings settings;
    settings.conditions = defaultCalcSettings();
    settings.conditions.lineTypes = QStringList{QStringLiteral("ADSL2+_DS.DMT")};
    const QualifyOutcome outcome = runQualification(m_app->window.get(), settings, SampleLoops);
    QVERIFY2(outcome.table, qPrintable(outcome.error));
    QualifyWindow window(outcome.table, SampleLoops, nullptr, 100);
    auto *view = window.findChild<QTableView *>(QStringLiteral("qualifyTable"));
    auto *page = window.findChild<QLabel *>(QStringLiteral("qualifyPageLabel"));
    const QAbstractItemModel *model = view->model();
    QCOMPARE(model->rowCount(), 100);
    QCOMPARE(page->text(), QStringLiteral("строки 1–100 из 273"));
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("qualifyPageForwardButton")), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("qualifyPageForwardButton")), Qt::LeftButton);
    QCOMPARE(page->text(), QStringLiteral("строки 201–273 из 273"));
    QCOMPARE(model->rowCount(), 73);
    QCOMPARE(model->data(model->index(0, 0)).toString(), QString::fromUtf8(outcome.table->id(200)));
    QCOMPARE(model->headerData(0, Qt::Vertical).toInt(), 201);
    // Sorted, the first page of the new order; fewer loops than a page need no pages.
    view->sortByColumn(2, Qt::DescendingOrder);
    QCOMPARE(page->text(), QStringLiteral("строки 1–100 из 273"));
    window.findChild<QComboBox *>(QStringLiteral("qualifyCableBox"))->setCurrentText(QStringLiteral("PE-0.50mm-24AWG"));
    QCOMPARE(model->rowCount(), 58);
    QVERIFY(window.findChild<QWidget *>(QStringLiteral("qualifyPageLabel"))->parentWidget()->isHidden());
}

void tst_QualifyWindow::largeFileGoesStraightToAFile()
{
    m_app->calculate(chooseLineTypes({"ADSL2+_DS.DMT", "SHDSL_PAM16.PAM"}));
    const QString target = m_app->path(QStringLiteral("zarechye - проверка.csv"));
    answerDialog(SampleLoops, {8000, 2048});
    m_app->answerer->pushButton(QMessageBox::Save);
    m_app->answerer->pushSaveFile(target);
    CalcSettings preset;
    m_app->window->findChild<PropertiesDialog *>()->fillSettings(preset);
    // A window for 100 loops at most: the sample's 273 are offered to go to a file.
    QVERIFY(!qualifyLoops(m_app->window.get(), m_app->child<QMdiArea>("resultsArea"), preset,
                          [this](const QString &text) { m_app->window->statusBar()->showMessage(text); }, 100));
    QCOMPARE(m_app->answerer->pending(), 0);
    QVERIFY(m_app->answerer->texts().value(0).contains(QStringLiteral("линий: 273")));
    QVERIFY(windows().isEmpty());
    QCOMPARE(readAll(target), cliOutput(SampleLoops, {"--rate", "8000,2048"}));
    QCOMPARE(m_app->window->statusBar()->currentMessage(),
             QStringLiteral("Линий: 273; не рассчитано: 0. Сохранено: %1").arg(QDir::toNativeSeparators(target)));
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
    QCOMPARE(lines.first(), QStringLiteral("id\tКабель\tДлина, м\tУчастки"));
    QCOMPARE(lines.at(1), QStringLiteral("ЗР-00-003\tPE-0.40mm-26AWG\t2513\t"));
    QCOMPARE(lines.size(), 4); // two rows and the final line break
}

void tst_QualifyWindow::unreadableFileIsRefusedInTheDialog_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message"); // %1 the path
    QTest::newRow("missing") << "nothing.csv" << "Файл %1 не найден.";
    QTest::newRow("symlink loop") << "loop.csv" << "Не удаётся прочитать %1: Слишком много уровней символических ссылок";
    QTest::newRow("named pipe") << "loops.fifo" << "Не удаётся прочитать %1: именованный канал, а не обычный файл";
}

void tst_QualifyWindow::unreadableFileIsRefusedInTheDialog()
{
    QFETCH(QString, name);
    const QString path = m_app->path(name);
    const QByteArray local = QFile::encodeName(path);
    if (name == QLatin1String("loop.csv"))
        QVERIFY(::symlink(local.constData(), local.constData()) == 0);
    if (name == QLatin1String("loops.fifo"))
        QVERIFY(::mkfifo(local.constData(), 0600) == 0);
    m_app->calculate();
    m_app->answerer->push([this, path](QWidget *w) {
        auto *dialog = qobject_cast<QualifyDialog *>(w);
        QVERIFY(dialog);
        dialog->setLoopsFile(path);
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
    QFETCH(QString, message);
    QCOMPARE(m_app->answerer->texts().value(0), message.arg(QDir::toNativeSeparators(path)));
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
    QCOMPARE(outcome.error, QStringLiteral("Не удаётся прочитать %1: именованный канал, а не обычный файл").arg(fifo));
}

QTEST_MAIN(tst_QualifyWindow)
#include "tst_qualifywindow.moc"
