#include "appfixture.h"
#include "piperescue.h"

#include "app/recentsetups.h"
#include "app/templatesarea.h"
#include "engine/csvwriter.h"
#include "engine/setupfile.h"
#include "engine/workspace.h"
#include "report/graphoptions.h"
#include "report/graphwidget.h"
#include "templates/templatemanager.h"

#include <QMenu>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QTreeWidget>

#include <sys/stat.h>

namespace {

const QString SampleSetups = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/setups");

// The table the window shows, as its CSV export writes it.
QByteArray shownCsv(MainWindow *window)
{
    auto *table = window->findChild<QTableView *>(QStringLiteral("resultTable"));
    QStringList headers;
    headers << headerTexts(table);
    QByteArray bytes;
    QTextStream out(&bytes);
    writeCsv(out, headers, window->resultSet());
    out.flush();
    return bytes;
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

QByteArray cliCsv(const QString &workspace, const QStringList &args)
{
    QProcess cli;
    cli.setWorkingDirectory(workspace);
    cli.start(QStringLiteral(KOLVANE_CALC), args);
    if (!cli.waitForFinished(120000) || cli.exitCode() != 0)
        return "failed: " + cli.readAllStandardError();
    return cli.readAllStandardOutput();
}

} // namespace

class tst_Setups : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void saveAndOpenGiveTheSameTable();
    void shippedScenariosRunLikeTheCommandLine_data();
    void shippedScenariosRunLikeTheCommandLine();
    void badSetupsChangeNothing_data();
    void badSetupsChangeNothing();
    void recentList();
    void openThroughShortcut();
    void hintUntilAWindowIsShown();
    void pipesAreRefusedAtOnce();

private:
    std::unique_ptr<AppFixture> m_app;
};

void tst_Setups::init()
{
    // The fixture keeps the recent list out of the user's real settings.
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_Setups::cleanup()
{
    QCOMPARE(m_app->answerer->unexpected(), 0);
    m_app.reset();
}

void tst_Setups::saveAndOpenGiveTheSameTable()
{
    MainWindow *w = m_app->window.get();
    m_app->calculate([](PropertiesDialog *d) {
        chooseLineTypes({QStringLiteral("SHDSL_PAM16.PAM")})(d);
        chooseFamily(QStringLiteral("Norm_NEXT_pointsCountBox"), 3)(d);
        chooseLengths(0, 6000, 500)(d);
    });
    const QByteArray table = shownCsv(w);
    const GraphSettings graph = w->graphSettings();
    QCOMPARE(w->windowTitle(), QStringLiteral("Kolvane"));

    const QString file = m_app->path(QStringLiteral("pam.kolvane"));
    QVERIFY(w->saveSetupFile(file));
    QCOMPARE(w->windowTitle(), QStringLiteral("Kolvane - pam"));

    // Something else, then the saved study again: the same table, graph axes and title.
    m_app->calculate(chooseFamily(QStringLiteral("SNRMargin_pointsCountBox"), 2));
    QVERIFY(shownCsv(w) != table);
    QCOMPARE(w->windowTitle(), QStringLiteral("Kolvane"));
    QVERIFY(w->openSetupFile(file));
    QCOMPARE(shownCsv(w), table);
    QCOMPARE(w->graphSettings(), graph);
    QCOMPARE(w->windowTitle(), QStringLiteral("Kolvane - pam"));
    // The dialog holds the study, so the next F5 starts from it.
    CalcSettings dialog;
    w->propertiesDialog()->fillSettings(dialog);
    QCOMPARE(dialog.Norm_NEXT_points, (QVector<float>{47, 83, 120}));
    // The command line computes the same bytes from the file.
    QCOMPARE(cliCsv(m_app->workspace, {QStringLiteral("--setup"), file}), table);
}

void tst_Setups::shippedScenariosRunLikeTheCommandLine_data()
{
    QTest::addColumn<QString>("file");
    const QStringList files = QDir(SampleSetups).entryList({QStringLiteral("*.kolvane")}, QDir::Files);
    QVERIFY(files.size() >= 6);
    for (const QString &name : files)
        QTest::newRow(qPrintable(name)) << QDir(SampleSetups).filePath(name);
}

void tst_Setups::shippedScenariosRunLikeTheCommandLine()
{
    QFETCH(QString, file);
    MainWindow *w = m_app->window.get();
    QVERIFY(w->openSetupFile(file));
    QCOMPARE(w->windowTitle(), QStringLiteral("Kolvane - ") + QFileInfo(file).completeBaseName());
    QVERIFY(w->statusBar()->currentMessage().isEmpty()); // no unknown key, no empty template
    const QByteArray table = shownCsv(w);
    QVERIFY(table.count('\n') > 10);
    QCOMPARE(cliCsv(m_app->workspace, {QStringLiteral("--setup"), file}), table);
    // Every scenario says what it aims at, and the graph marks how far each target reaches.
    QVERIFY(!w->calcSettings()->targetRates.isEmpty());
    auto *graph = w->findChild<GraphWidget *>(QStringLiteral("graphWidget"));
    QCOMPARE(graph->shownPicture().run.reach.targets, w->calcSettings()->targetRates);
}

void tst_Setups::badSetupsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("mentions");
    const QByteArray head = "{\"format\": \"kolvane-setup\", \"version\": 1";
    QTest::newRow("truncated") << QByteArray(head + ", \"loads\": [1") << QStringList{"JSON"};
    QTest::newRow("wrong type") << QByteArray(head + ", \"capacity\": \"четыре\"}") << QStringList{"capacity"};
    QTest::newRow("out of range") << QByteArray(head + ", \"lengths\": {\"step\": 7}}")
                                  << QStringList{"lengths.step", "7", "10"};
    QTest::newRow("future version") << QByteArray("{\"format\": \"kolvane-setup\", \"version\": 3}")
                                    << QStringList{"3"};
    QTest::newRow("missing templates")
        << QByteArray(head + ", \"cables\": [\"PE-9mm\"], \"sections\": [{\"cable\": \"PE-8mm\", \"length\": 100}],"
                             " \"lineTypes\": [\"X.DMT\"], \"noise\": \"pink\"}")
        << QStringList{"Cable/PE-9mm.att", "Cable/PE-8mm.att", "xDSL/X.DMT", "AddNoise/pink.add"};
}

void tst_Setups::badSetupsChangeNothing()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, mentions);
    MainWindow *w = m_app->window.get();
    m_app->calculate(chooseFamily(QStringLiteral("xDSL_pointsCountBox"), 2));
    const QByteArray table = shownCsv(w);
    const CalcSettings record = *w->calcSettings();
    CalcSettings dialogBefore;
    w->propertiesDialog()->fillSettings(dialogBefore);

    const QString file = m_app->path(QStringLiteral("bad.kolvane"));
    QVERIFY(writeText(file, json));
    m_app->answerer->pushButton(QMessageBox::Ok);
    QVERIFY(!w->openSetupFile(file));
    QCOMPARE(m_app->answerer->texts().size(), 1);
    const QString message = m_app->answerer->texts().first();
    for (const QString &part : mentions)
        QVERIFY2(message.contains(part), qPrintable(message));
    QCOMPARE(shownCsv(w), table);
    QCOMPARE(*w->calcSettings(), record);
    CalcSettings dialogAfter;
    w->propertiesDialog()->fillSettings(dialogAfter);
    QCOMPARE(dialogAfter, dialogBefore);
    QCOMPARE(w->windowTitle(), QStringLiteral("Kolvane"));
    QVERIFY(RecentSetups::paths().isEmpty());
}

void tst_Setups::recentList()
{
    MainWindow *w = m_app->window.get();
    auto *menu = w->findChild<QMenu *>(QStringLiteral("recentSetupsMenu"));
    QVERIFY(menu);
    QVERIFY(!menu->isEnabled());
    QStringList saved;
    for (int i = 1; i <= 6; ++i) {
        saved.prepend(m_app->path(QStringLiteral("s%1.kolvane").arg(i)));
        QVERIFY(w->saveSetupFile(saved.first()));
    }
    // The newest five, newest first; the oldest has gone.
    QCOMPARE(menu->actions().size(), RecentSetups::Size);
    QVERIFY(menu->actions().first()->text().endsWith(QStringLiteral("s6")));
    QCOMPARE(RecentSetups::paths(), saved.mid(0, 5));
    // Choosing one opens it and moves it to the front.
    menu->actions().at(2)->trigger();
    QCOMPARE(w->windowTitle(), QStringLiteral("Kolvane - s4"));
    QVERIFY(menu->actions().first()->text().endsWith(QStringLiteral("s4")));
}

void tst_Setups::openThroughShortcut()
{
    const QString file = QDir(SampleSetups).filePath(QStringLiteral("SHDSL PAM16 и PAM32, дальность на кабеле 0,4 мм.kolvane"));
    QVERIFY(QFileInfo::exists(file));
    ModalAnswerer::FileDialogSeen seen;
    m_app->answerer->pushSaveFile(file, &seen);
    m_app->press(QKeySequence::Open);
    QCOMPARE(seen.title, QStringLiteral("Открыть расчёт"));
    QVERIFY(seen.filters.first().contains(QStringLiteral("*.kolvane")));
    QVERIFY(m_app->window->windowTitle().endsWith(QStringLiteral("0,4 мм")));
    QCOMPARE(m_app->window->calcSettings()->lineTypes.size(), 2);
}

void tst_Setups::hintUntilAWindowIsShown()
{
    auto *area = m_app->child<TemplatesArea>("templatesArea");
    QVERIFY(area);
    QVERIFY(area->hint().contains(QStringLiteral("F5")));
    QVERIFY(area->hint().contains(QStringLiteral("Ctrl+O")));
    QVERIFY(area->hint().contains(QStringLiteral("Дерево шаблонов")));
    const auto darkPixels = [area] {
        const QImage image = area->viewport()->grab().toImage();
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 100;
        return dark;
    };
    m_app->window->showTemplates();
    QVERIFY(darkPixels() > 200);

    auto *tree = m_app->child<QTreeWidget>("templateTree");
    QTreeWidgetItem *cable = tree->topLevelItem(0)->child(0);
    m_app->window->cableFileSelected(cable, 0);
    QVERIFY(area->hint().isEmpty());
    QTRY_VERIFY(area->subWindowList().first()->isVisible());
    area->subWindowList().first()->hide();
    QVERIFY(!area->hint().isEmpty());
}

void tst_Setups::pipesAreRefusedAtOnce()
{
    // A setup that has become a named pipe (opened, or chosen from the recent list) and a template
    // a setup names that is one are refused at once with what they are; the entry stays listed.
    MainWindow *w = m_app->window.get();
    const QString setup = m_app->path(QStringLiteral("pipe.kolvane"));
    const QString naming = m_app->path(QStringLiteral("naming.kolvane"));
    const QString cable = m_app->path(QStringLiteral("Cable/pipe.att"));
    QVERIFY(w->saveSetupFile(setup));
    QVERIFY(writeText(naming, "{\"format\": \"kolvane-setup\", \"version\": 1, \"cables\": [\"pipe\"]}"));
    QVERIFY(QFile::remove(setup));
    for (const QString &pipe : {setup, cable})
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    QElapsedTimer timer;
    timer.start();
    {
        const PipeRescue rescue({setup, cable});
        for (int i = 0; i < 3; ++i)
            m_app->answerer->pushButton(QMessageBox::Ok);
        QVERIFY(!w->openSetupFile(setup));
        m_app->child<QMenu>("recentSetupsMenu")->actions().first()->trigger();
        QVERIFY(!w->openSetupFile(naming));
    }
    QVERIFY(timer.elapsed() < 3000);
    const QStringList texts = m_app->answerer->texts();
    QCOMPARE(texts.size(), 3);
    const QString pipe = QStringLiteral("pipe.kolvane: именованный канал, а не обычный файл");
    QVERIFY2(texts.at(0).endsWith(pipe), qPrintable(texts.at(0)));
    QVERIFY2(texts.at(1).endsWith(pipe), qPrintable(texts.at(1)));
    QVERIFY2(texts.at(2).endsWith(QStringLiteral("не удаётся прочитать шаблоны\nCable/pipe.att: именованный канал, а не обычный файл")),
             qPrintable(texts.at(2)));
    QCOMPARE(RecentSetups::paths(), QStringList{setup});
}

QTEST_MAIN(tst_Setups)
#include "tst_setups.moc"
