// "Импорт измерений линии…" as a user goes through it: a sample measurement becomes templates and
// a ready calculation, whose table is what kolvane-calc computes on those templates.
#include "appfixture.h"
#include "kolvanecalc.h"

#include "engine/csvwriter.h"
#include "engine/measuredline.h"
#include "input/importdialog.h"
#include "report/spectrumwindow.h"

#include <QLineEdit>
#include <QMdiArea>
#include <QProcess>
#include <QSettings>
#include <QTableView>
#include <QTableView>
#include <QTreeWidget>

namespace {

const QString Sample = QStringLiteral(KOLVANE_SOURCE_DIR "/samples/measured/measured-a.txt");
const QString Name = QStringLiteral("Линия 1");

// Fills the dialog as a user would and presses "Импортировать"; `then` runs once the click returns.
ModalAnswerer::Action importAs(const std::function<void(ImportDialog *)> &then = {})
{
    return [then](QWidget *w) {
        auto *dialog = qobject_cast<ImportDialog *>(w);
        QVERIFY2(dialog, "the import dialog did not open");
        dialog->setFiles({Sample});
        dialog->findChild<QLineEdit *>(QStringLiteral("templateName"))->setText(Name);
        dialog->findChild<QSpinBox *>(QStringLiteral("lineLength"))->setValue(1500);
        auto *button = dialog->findChild<QPushButton *>(QStringLiteral("importButton"));
        QVERIFY(button->isEnabled());
        // Clicked from the event loop, so that the answerer can answer a question it asks.
        QTimer::singleShot(0, dialog, [dialog, button, then] {
            QTest::mouseClick(button, Qt::LeftButton);
            if (then)
                then(dialog);
        });
    };
}

} // namespace

class tst_MeasuredImport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void importRunsTheReadyCalculation();

private:
    std::unique_ptr<AppFixture> m_app;
    QTemporaryDir m_settings;
};

void tst_MeasuredImport::init()
{
    // The ready calculation goes into the recent list, which lives in the user's settings.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_MeasuredImport::cleanup()
{
    QCOMPARE(m_app->answerer->unexpected(), 0);
    m_app.reset();
}

void tst_MeasuredImport::importRunsTheReadyCalculation()
{
    MainWindow *w = m_app->window.get();
    m_app->answerer->push(importAs());
    m_app->press(QKeySequence(QStringLiteral("Ctrl+I")));
    QTRY_COMPARE(m_app->answerer->pending(), 0);
    QCOMPARE(w->windowTitle(), QStringLiteral("Kolvane - Измерение ") + Name);
    auto *tree = m_app->child<QTreeWidget>("templateTree");
    QCOMPARE(tree->findItems(Name + QLatin1Char('.'), Qt::MatchStartsWith | Qt::MatchRecursive).size(), 2);

    // The measured line at its length, its QLN as noise, load 1, every DMT line type a curve.
    QStringList args{QStringLiteral("--cable"), Name, QStringLiteral("--noise"), Name, QStringLiteral("--load=1"),
                     QStringLiteral("--from=0"), QStringLiteral("--to=1500"), QStringLiteral("--step=100")};
    const QStringList lineTypes = Measured::dmtLineTypes(m_app->workspace);
    QCOMPARE(lineTypes.size(), 7);
    for (const QString &line : lineTypes)
        args << QStringLiteral("--line") << line;
    QProcess cli;
    cli.setWorkingDirectory(m_app->workspace);
    cli.start(QStringLiteral(KOLVANE_CALC), args);
    QVERIFY(cli.waitForFinished(120000));
    QCOMPARE(cli.exitCode(), 0);
    auto *table = m_app->child<QTableView>("resultTable");
    const QStringList headers = headerTexts(table);
    QByteArray shown;
    QTextStream out(&shown);
    writeCsv(out, headers, w->resultSet());
    out.flush();
    QCOMPARE(shown, cli.readAllStandardOutput());

    // The spectrum of the line at its own length holds the modem's SNR beside the model's.
    const QRect cell = table->visualRect(table->model()->index(table->model()->rowCount() - 1, 1));
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    SpectrumWindow *spectrum = nullptr;
    for (QMdiSubWindow *sub : m_app->child<QMdiArea>("resultsArea")->subWindowList())
        spectrum = spectrum ? spectrum : qobject_cast<SpectrumWindow *>(sub);
    QVERIFY(spectrum && spectrum->spectrum().measuredSnr);
    const QAbstractItemModel *numbers = spectrum->table()->model();
    QCOMPARE(numbers->headerData(6, Qt::Horizontal).toString(), QStringLiteral("SNRизм,дБ"));
    QCOMPARE(numbers->index(0, 6).data().toString(), QStringLiteral("42"));

    // Importing again under the same name asks first; "No" writes nothing and keeps the dialog.
    const QByteArray cable = test::fileContents(m_app->path(QStringLiteral("Cable/Линия 1.att")));
    QVERIFY(test::writeFile(m_app->path(QStringLiteral("Cable/Линия 1.att")), cable + QByteArray(12, '\0')));
    m_app->answerer->push(importAs([](ImportDialog *dialog) {
        QVERIFY(dialog->isVisible());
        dialog->reject();
    }));
    m_app->answerer->pushButton(QMessageBox::No);
    m_app->press(QKeySequence(QStringLiteral("Ctrl+I")));
    QTRY_COMPARE(m_app->answerer->pending(), 0);
    QVERIFY(m_app->answerer->texts().first().contains(QStringLiteral("Cable/Линия 1.att")));
    QCOMPARE(test::fileContents(m_app->path(QStringLiteral("Cable/Линия 1.att"))), cable + QByteArray(12, '\0'));
}

QTEST_MAIN(tst_MeasuredImport)
#include "tst_measuredimport.moc"
