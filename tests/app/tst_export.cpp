#include "app/mainwindow.h"
#include "report/graphwidget.h"

#include "appfixture.h"
#include "fulldisk.h"

#include <QAction>
#include <QImage>
#include <QImageReader>
#include <QMdiSubWindow>
#include <QProcess>
#include <QStandardPaths>
#include <QElapsedTimer>
#include <QStatusBar>

#include <sys/stat.h>

namespace {

const QString defaultName =
    QStringLiteral("PE-0.40mm-26AWG_M=4_m=1_ELFEXT=10дБ(300кГц)_Тип_линии_xDSL=ADSL2+_DS_SNR_Margin=0 дБ_AWGN-140");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool isRoot()
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("test $(id -u) -eq 0")}) == 0;
}

} // namespace

class tst_Export : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void saveDialogs_data();
    void saveDialogs();
    void csvEqualsTheCommandLine();
    void csvWritesTheRun();
    void imagesHaveTheGraphSizeAndColours_data();
    void imagesHaveTheGraphSizeAndColours();
    void pdfOpensAndIsNotBlank();
    void missingExtensionIsAdded();
    void cancelledDialogWritesNothing_data();
    void cancelledDialogWritesNothing();
    void failedWriteIsReported_data();
    void failedWriteIsReported();
    void nothingBeforeARun_data();
    void nothingBeforeARun();
    void fullDiskKeepsTheOldFile_data();
    void fullDiskKeepsTheOldFile();
    void pipeIsWrittenInPlace_data();
    void pipeIsWrittenInPlace();

private:
    QAction *action(const char *name) const { return m_app->child<QAction>(name); }
    // Runs a family of two line types on the sample workspace.
    void calculateFamily();

    std::unique_ptr<AppFixture> m_app;
};

void tst_Export::init()
{
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_Export::cleanup()
{
    m_app.reset();
}

void tst_Export::calculateFamily()
{
    m_app->calculate(chooseLineTypes({"ADSL2+_DS.DMT", "ADSL_DS.DMT", "VDSL2-8b_DS.DMT"}));
    QVERIFY(m_app->window->calcSettings());
}

void tst_Export::saveDialogs_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("extension");
    QTest::newRow("csv") << "exportCsvAct" << "Сохранить таблицу в *.csv" << "файлы Excel(*.csv)" << ".csv";
    QTest::newRow("pdf") << "exportPdfAct" << "Сохранить график в *.pdf" << "Файлы pdf(*.pdf)" << ".pdf";
    QTest::newRow("jpg") << "exportJpgAct" << "Сохранить график в *.jpg" << "Файлы jpg(*.jpg)" << ".jpg";
    QTest::newRow("png") << "exportPngAct" << "Сохранить график в *.png" << "Файлы png(*.png)" << ".png";
}

void tst_Export::saveDialogs()
{
    QFETCH(QString, action);
    QFETCH(QString, caption);
    QFETCH(QString, filter);
    QFETCH(QString, extension);

    m_app->calculate();
    QString proposed;
    m_app->window->defaultExportName(proposed);
    QCOMPARE(proposed, defaultName);

    ModalAnswerer::FileDialogSeen seen;
    const QString target = m_app->path(QStringLiteral("out") + extension);
    m_app->answerer->pushSaveFile(target, &seen);
    this->action(qPrintable(action))->trigger();

    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(seen.title, caption);
    QCOMPARE(seen.filters, QStringList{filter});
    QCOMPARE(seen.proposedName, defaultName);
    QVERIFY(QFileInfo(target).size() > 0);
    // Written beside the target and renamed: no temporary file is left over.
    QCOMPARE(QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("out") + extension});
}

void tst_Export::csvEqualsTheCommandLine()
{
    calculateFamily();
    const QString target = m_app->path("family.csv");
    m_app->answerer->pushSaveFile(target);
    m_app->press(QKeySequence(QStringLiteral("Ctrl+T")));
    QCOMPARE(m_app->answerer->pending(), 0);

    QProcess cli;
    cli.setWorkingDirectory(m_app->workspace);
    cli.start(QStringLiteral(KOLVANE_CALC), {QStringLiteral("--line"), QStringLiteral("ADSL2+_DS.DMT"),
                                            QStringLiteral("--line"), QStringLiteral("ADSL_DS.DMT"),
                                            QStringLiteral("--line"), QStringLiteral("VDSL2-8b_DS.DMT")});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    const QByteArray expected = cli.readAllStandardOutput();
    const QByteArray written = readAll(target);
    QCOMPARE(written, expected);
    QVERIFY(written.startsWith("L,м;R,кбит/с ADSL2+_DS.DMT;R,кбит/с ADSL_DS.DMT;R,кбит/с VDSL2-8b_DS.DMT;\n"));
    QCOMPARE(written.count('\n'), 11);
}

void tst_Export::csvWritesTheRun()
{
    m_app->calculate();
    auto *table = m_app->child<QTableView>("resultTable");
    const QString original = cellText(table, 0, 1);
    // The cells show the engine's numbers and cannot be typed over.
    QVERIFY(!(table->model()->flags(table->model()->index(0, 1)) & Qt::ItemIsEditable));

    const QString target = m_app->path("edited.csv");
    m_app->answerer->pushSaveFile(target);
    action("exportCsvAct")->trigger();
    const QList<QByteArray> lines = readAll(target).split('\n');
    QCOMPARE(lines.at(0), QByteArray("L,м;R,кбит/с m=1;"));
    QCOMPARE(lines.at(1), QByteArray("1000;") + original.toUtf8() + ";");
}

void tst_Export::imagesHaveTheGraphSizeAndColours_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("tolerance"); // JPG is lossy
    QTest::newRow("png") << "exportPngAct" << ".png" << 0;
    QTest::newRow("jpg") << "exportJpgAct" << ".jpg" << 60;
}

void tst_Export::imagesHaveTheGraphSizeAndColours()
{
    QFETCH(QString, action);
    QFETCH(QString, extension);
    QFETCH(int, tolerance);

    calculateFamily();
    auto *graph = m_app->child<GraphWidget>("graphWidget");
    // The image follows the widget's current size.
    m_app->child<QMdiSubWindow>("graphWindow")->resize(760, 610);
    const QSize size = graph->size();

    const QString target = m_app->path(QStringLiteral("graph") + extension);
    m_app->answerer->pushSaveFile(target);
    this->action(qPrintable(action))->trigger();

    QImage image(target);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    QCOMPARE(QColor(image.pixel(2, 2)).lightness() > 240, true);
    for (int curve = 0; curve < 3; ++curve) {
        const QColor colour = GraphWidget::curveColor(curve);
        bool found = false;
        for (int y = 0; y < image.height() && !found; ++y) {
            for (int x = 0; x < image.width() && !found; ++x) {
                const QColor pixel(image.pixel(x, y));
                found = std::abs(pixel.red() - colour.red()) <= tolerance
                    && std::abs(pixel.green() - colour.green()) <= tolerance
                    && std::abs(pixel.blue() - colour.blue()) <= tolerance;
            }
        }
        QVERIFY2(found, qPrintable(QStringLiteral("curve %1's colour is missing").arg(curve)));
    }
}

void tst_Export::pdfOpensAndIsNotBlank()
{
    calculateFamily();
    const QString target = m_app->path("graph.pdf");
    m_app->answerer->pushSaveFile(target);
    m_app->press(QKeySequence(QStringLiteral("Ctrl+1")));
    const QByteArray pdf = readAll(target);
    QVERIFY(pdf.startsWith("%PDF-"));
    QVERIFY(pdf.trimmed().endsWith("%%EOF"));

    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty())
        QSKIP("pdftoppm (poppler-utils) is not installed");
    QProcess render;
    render.start(pdftoppm, {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("48"), target,
                            m_app->path("page")});
    QVERIFY(render.waitForFinished(60000));
    QCOMPARE(render.exitCode(), 0);
    const QStringList pages = QDir(m_app->workspace).entryList({QStringLiteral("page*.png")});
    QCOMPARE(pages.size(), 1);
    const QImage page(m_app->path(pages.first()));
    QVERIFY(!page.isNull());
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            dark += QColor(page.pixel(x, y)).lightness() < 128;
    QVERIFY2(dark > 500, qPrintable(QStringLiteral("only %1 dark pixels").arg(dark)));
}

void tst_Export::missingExtensionIsAdded()
{
    m_app->calculate();
    // A name typed without the extension, while such a file exists: the user is asked first.
    QFile existing(m_app->path("report.png"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("old");
    existing.close();

    m_app->answerer->pushSaveFile(m_app->path("report"));
    m_app->answerer->pushButton(QMessageBox::No);
    action("exportPngAct")->trigger();
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(readAll(m_app->path("report.png")), QByteArray("old"));

    m_app->answerer->pushSaveFile(m_app->path("report"));
    m_app->answerer->pushButton(QMessageBox::Yes);
    action("exportPngAct")->trigger();
    QVERIFY(!QImage(m_app->path("report.png")).isNull());
    QVERIFY(!QFileInfo::exists(m_app->path("report")));
}

void tst_Export::cancelledDialogWritesNothing_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("csv") << "exportCsvAct";
    QTest::newRow("pdf") << "exportPdfAct";
    QTest::newRow("jpg") << "exportJpgAct";
    QTest::newRow("png") << "exportPngAct";
}

void tst_Export::cancelledDialogWritesNothing()
{
    QFETCH(QString, action);
    m_app->calculate();
    const QStringList before = QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden);
    m_app->answerer->pushSaveFile(QString());
    this->action(qPrintable(action))->trigger();
    // No message either: an unexpected box would be counted.
    QCOMPARE(m_app->answerer->pending(), 0);
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden), before);
}

void tst_Export::failedWriteIsReported_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("readOnlyDirectory"); // else: a file stands where the directory should be
    for (bool readOnly : {false, true}) {
        const char *where = readOnly ? "read-only directory" : "file as directory";
        QTest::addRow("csv, %s", where) << "exportCsvAct" << ".csv" << readOnly;
        QTest::addRow("pdf, %s", where) << "exportPdfAct" << ".pdf" << readOnly;
        QTest::addRow("jpg, %s", where) << "exportJpgAct" << ".jpg" << readOnly;
        QTest::addRow("png, %s", where) << "exportPngAct" << ".png" << readOnly;
    }
}

void tst_Export::failedWriteIsReported()
{
    QFETCH(QString, action);
    QFETCH(QString, extension);
    QFETCH(bool, readOnlyDirectory);

    m_app->calculate();
    QString target;
    if (readOnlyDirectory) {
        if (isRoot())
            QSKIP("permissions do not stop root");
        QVERIFY(QDir().mkpath(m_app->path("locked")));
        QVERIFY(QFile::setPermissions(m_app->path("locked"), QFile::ReadOwner | QFile::ExeOwner));
        target = m_app->path(QStringLiteral("locked/out") + extension);
    } else {
        QFile blocker(m_app->path("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        target = m_app->path(QStringLiteral("blocker/out") + extension);
    }

    // The save dialog cannot choose such a path, so the test answers it with a name first
    // and lets the export write where the dialog would have put it.
    m_app->answerer->pushSaveFileAsIs(target);
    m_app->answerer->pushButton(QMessageBox::Ok);
    this->action(qPrintable(action))->trigger();

    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(m_app->answerer->pending(), 0);
    QCOMPARE(m_app->answerer->texts().size(), 1);
    QVERIFY2(m_app->answerer->texts().first().contains(QStringLiteral("Не удалось сохранить")),
             qPrintable(m_app->answerer->texts().first()));
    QVERIFY(!QFileInfo::exists(target));
    // Nothing went anywhere else either.
    QCOMPARE(QDir(m_app->workspace).entryList(QDir::Files).size(), readOnlyDirectory ? 0 : 1);
    if (readOnlyDirectory)
        QFile::setPermissions(m_app->path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void tst_Export::nothingBeforeARun_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("dialogOpened"); // the calculation dialog was opened and cancelled
    for (bool opened : {false, true}) {
        const char *state = opened ? "dialog cancelled" : "no dialog";
        QTest::addRow("csv, %s", state) << "exportCsvAct" << opened;
        QTest::addRow("pdf, %s", state) << "exportPdfAct" << opened;
        QTest::addRow("jpg, %s", state) << "exportJpgAct" << opened;
        QTest::addRow("png, %s", state) << "exportPngAct" << opened;
    }
}

void tst_Export::nothingBeforeARun()
{
    QFETCH(QString, action);
    QFETCH(bool, dialogOpened);
    if (dialogOpened) {
        m_app->answerCalculationDialog({}, false);
        m_app->window->showPropertiesDialog();
        QVERIFY(m_app->window->propertiesDialog());
    }
    const QStringList before = QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden);
    this->action(qPrintable(action))->trigger();
    QTest::qWait(50);
    // Not even a save dialog: the answerer would have counted it.
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden), before);
}

void tst_Export::fullDiskKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("extension");
    QTest::newRow("csv") << "exportCsvAct" << ".csv";
    QTest::newRow("pdf") << "exportPdfAct" << ".pdf";
    QTest::newRow("jpg") << "exportJpgAct" << ".jpg";
    QTest::newRow("png") << "exportPngAct" << ".png";
}

void tst_Export::fullDiskKeepsTheOldFile()
{
    QFETCH(QString, action);
    QFETCH(QString, extension);
    FullDisk disk;
    if (!disk.available())
        QSKIP(qPrintable(disk.why()));
    m_app->calculate();
    const QString target = disk.filePath(QStringLiteral("out") + extension);
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an earlier export") > 0);
    }
    QVERIFY(disk.fill());

    m_app->answerer->pushSaveFileAsIs(target);
    m_app->answerer->pushButton(QMessageBox::Ok);
    this->action(qPrintable(action))->trigger();

    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(m_app->answerer->pending(), 0);
    const QString message = m_app->answerer->texts().value(0);
    QVERIFY2(message.contains(QStringLiteral("Не удалось сохранить")) && message.contains(target)
                 && message.contains(QStringLiteral("Нет места на диске")),
             qPrintable(message));
    QCOMPARE(readAll(target), QByteArray("an earlier export"));
}

void tst_Export::pipeIsWrittenInPlace_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("csv") << "exportCsvAct" << ".csv" << QByteArray("L,м;");
    QTest::newRow("png") << "exportPngAct" << ".png" << QByteArray("\x89PNG");
}

void tst_Export::pipeIsWrittenInPlace()
{
    QFETCH(QString, action);
    QFETCH(QString, extension);
    QFETCH(QByteArray, start);
    m_app->calculate();
    const QString fifo = m_app->path(QStringLiteral("pipe") + extension);
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const auto stillAPipe = [&fifo] {
        struct stat st;
        return ::lstat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    };

    // Nobody reads: an error at once, not a frozen window.
    m_app->answerer->pushSaveFileAsIs(fifo);
    m_app->answerer->pushButton(QMessageBox::Ok);
    QElapsedTimer timer;
    timer.start();
    this->action(qPrintable(action))->trigger();
    QVERIFY(timer.elapsed() < 3000);
    QCOMPARE(m_app->answerer->pending(), 0);
    QVERIFY2(m_app->answerer->texts().value(0).contains(QStringLiteral("Канал никто не читает")),
             qPrintable(m_app->answerer->texts().value(0)));
    QVERIFY(stillAPipe());

    // A reader waits: it gets the export, and the pipe stays a pipe.
    QProcess reader;
    reader.start(QStringLiteral("cat"), {fifo});
    QVERIFY(reader.waitForStarted());
    QTest::qWait(200); // cat opens the pipe
    m_app->answerer->pushSaveFileAsIs(fifo);
    this->action(qPrintable(action))->trigger();
    const bool finished = reader.waitForFinished(3000);
    if (!finished)
        reader.kill();
    QVERIFY(finished);
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QVERIFY(reader.readAllStandardOutput().startsWith(start));
    QVERIFY(stillAPipe());
    QVERIFY(m_app->window->statusBar()->currentMessage().startsWith(QStringLiteral("Сохранено")));
}

QTEST_MAIN(tst_Export)
#include "tst_export.moc"
