// The report, printing, the clipboard and the graph's read-out as the main window offers them.

#include "app/mainwindow.h"
#include "report/graphwidget.h"

#include "appfixture.h"

#include <QAction>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPrintDialog>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>

namespace {

const QString defaultName =
    QStringLiteral("PE-0.40mm-26AWG_M=4_m=1_ELFEXT=10дБ(300кГц)_Тип_линии_xDSL=ADSL2+_DS_SNR_Margin=0 дБ_AWGN-140");

QString poppler(const char *name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

QString output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

int countColourApprox(const QImage &image, const QColor &colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel(image.pixel(x, y));
            count += std::abs(pixel.red() - colour.red()) < 20 && std::abs(pixel.green() - colour.green()) < 20
                && std::abs(pixel.blue() - colour.blue()) < 20;
        }
    }
    return count;
}

void moveTo(QWidget *widget, const QPoint &at)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

class tst_ReportCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reportPdf();
    void reportFailureIsReported();
    void printDialogCancelled();
    void printToFile();
    void nothingBeforeARun_data();
    void nothingBeforeARun();
    void tableCopy_data();
    void tableCopy();
    void graphCopy();
    void readoutInTheStatusBar();
    void clickSelectsTheNearestRow();

private:
    QAction *action(const char *name) const { return m_app->child<QAction>(name); }
    QTableView *table() const { return m_app->child<QTableView>("resultTable"); }
    GraphWidget *graph() const { return m_app->child<GraphWidget>("graphWidget"); }

    std::unique_ptr<AppFixture> m_app;
};

void tst_ReportCommands::init()
{
    m_app = std::make_unique<AppFixture>();
    QVERIFY(m_app->start());
}

void tst_ReportCommands::cleanup()
{
    m_app.reset();
}

void tst_ReportCommands::reportPdf()
{
    m_app->calculate(chooseLengths(0, 8000, 100));

    ModalAnswerer::FileDialogSeen seen;
    const QString target = m_app->path("report.pdf");
    m_app->answerer->pushSaveFile(target, &seen);
    m_app->press(QKeySequence(QStringLiteral("Ctrl+R")));
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(seen.title, QStringLiteral("Сохранить отчёт в *.pdf"));
    QCOMPARE(seen.filters, QStringList{QStringLiteral("Файлы pdf(*.pdf)")});
    // Not the graph PDF's name, which it would otherwise offer to overwrite.
    QCOMPARE(seen.proposedName, defaultName + QStringLiteral("_отчёт"));
    QCOMPARE(QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("report.pdf")});

    if (poppler("pdfinfo").isEmpty() || poppler("pdftotext").isEmpty())
        QSKIP("pdfinfo and pdftotext (poppler-utils) are not installed");
    const QString info = output(poppler("pdfinfo"), {target});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+[3-9]"))), qPrintable(info));
    const QString text = output(poppler("pdftotext"), {QStringLiteral("-layout"), target, QStringLiteral("-")});
    QVERIFY(text.contains(QStringLiteral("Кабель=PE-0.40mm-26AWG")));
    // Every row as the table shows it.
    for (int row = 0; row < table()->model()->rowCount(); ++row) {
        QStringList cells = rowTexts(table(), row);
        for (QString &cell : cells)
            cell = QRegularExpression::escape(cell);
        const QRegularExpression line(QStringLiteral("^\\s*%1\\s*$").arg(cells.join(QStringLiteral("\\s+"))),
                                      QRegularExpression::MultilineOption);
        QVERIFY2(text.contains(line), qPrintable(line.pattern()));
    }
}

void tst_ReportCommands::reportFailureIsReported()
{
    m_app->calculate();
    QFile blocker(m_app->path("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString target = m_app->path("blocker/report.pdf");
    m_app->answerer->pushSaveFileAsIs(target);
    m_app->answerer->pushButton(QMessageBox::Ok);
    action("reportPdfAct")->trigger();
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(m_app->answerer->texts().size(), 1);
    QVERIFY2(m_app->answerer->texts().first().contains(QStringLiteral("Не удалось сохранить")),
             qPrintable(m_app->answerer->texts().first()));
    QVERIFY(!QFileInfo::exists(target));
}

void tst_ReportCommands::printDialogCancelled()
{
    m_app->calculate();
    const QStringList before = QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden);
    QString shown;
    m_app->answerer->push([&shown](QWidget *w) {
        shown = QString::fromLatin1(w->metaObject()->className());
        if (auto *dialog = qobject_cast<QPrintDialog *>(w))
            shown += QLatin1Char(' ') + dialog->windowTitle();
        static_cast<QDialog *>(w)->reject();
    });
    m_app->press(QKeySequence(QStringLiteral("Ctrl+P")));
    QCOMPARE(m_app->answerer->pending(), 0);
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QVERIFY2(shown.endsWith(QStringLiteral("Печать отчёта")), qPrintable(shown));
    QCOMPARE(QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden), before);
}

// The dialog's "print to file" writes the same document through the printer.
void tst_ReportCommands::printToFile()
{
    m_app->calculate(chooseLengths(0, 8000, 100));
    const QString target = m_app->path("printed.pdf");
    bool answered = false;
    m_app->answerer->push([&](QWidget *w) {
        auto *dialog = qobject_cast<QPrintDialog *>(w);
        QVERIFY(dialog);
        auto *fileName = dialog->findChild<QLineEdit *>(QStringLiteral("filename"));
        if (!fileName || !fileName->isEnabled()) {
            dialog->reject();
            return;
        }
        fileName->setText(target);
        answered = true;
        dialog->accept();
    });
    action("printAct")->trigger();
    QCOMPARE(m_app->answerer->unexpected(), 0);
    if (!answered)
        QSKIP("the print dialog offers no printing to a file here");
    QVERIFY(QFileInfo::exists(target));
    if (poppler("pdfinfo").isEmpty())
        QSKIP("pdfinfo (poppler-utils) is not installed");
    const QString info = output(poppler("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                     QStringLiteral("2"), target});
    const QRegularExpressionMatch first =
        QRegularExpression(QStringLiteral("Page +1 size:\\s+([0-9.]+) x ([0-9.]+)")).match(info);
    const QRegularExpressionMatch second =
        QRegularExpression(QStringLiteral("Page +2 size:\\s+([0-9.]+) x ([0-9.]+)")).match(info);
    QVERIFY2(first.hasMatch() && second.hasMatch(), qPrintable(info));
    QVERIFY(first.captured(1).toDouble() > first.captured(2).toDouble());
    QVERIFY(second.captured(1).toDouble() < second.captured(2).toDouble());
}

void tst_ReportCommands::nothingBeforeARun_data()
{
    QTest::addColumn<QString>("keys");
    QTest::newRow("report") << "Ctrl+R";
    QTest::newRow("print") << "Ctrl+P";
}

void tst_ReportCommands::nothingBeforeARun()
{
    QFETCH(QString, keys);
    const QStringList before = QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden);
    m_app->press(QKeySequence(keys));
    QTest::qWait(50);
    QCOMPARE(m_app->answerer->unexpected(), 0);
    QCOMPARE(QDir(m_app->workspace).entryList(QDir::Files | QDir::Hidden), before);
}

void tst_ReportCommands::tableCopy_data()
{
    QTest::addColumn<bool>("selectCell");
    QTest::newRow("nothing selected: the whole table") << false;
    QTest::newRow("one selected cell") << true;
}

void tst_ReportCommands::tableCopy()
{
    QFETCH(bool, selectCell);
    m_app->calculate(chooseLineTypes({"ADSL2+_DS.DMT", "ADSL_DS.DMT"}));
    m_app->child<QMdiSubWindow>("tableWindow")->setFocus();
    QTableView *t = table();
    t->clearSelection();
    if (selectCell)
        t->selectionModel()->select(t->model()->index(2, 1), QItemSelectionModel::Select);
    QApplication::setActiveWindow(m_app->window.get());
    t->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(t, Qt::Key_C, Qt::ControlModifier);

    const QMimeData *data = QApplication::clipboard()->mimeData();
    QVERIFY(data);
    const QStringList lines = data->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (selectCell) {
        // The cell comes with its length and both headers: a number alone cannot be read.
        QCOMPARE(lines, (QStringList{"L,м\tR,кбит/с ADSL2+_DS.DMT", "3000\t" + cellText(t, 2, 1)}));
    } else {
        QCOMPARE(lines.size(), t->model()->rowCount() + 1);
        QCOMPARE(lines.first(), QStringLiteral("L,м\tR,кбит/с ADSL2+_DS.DMT\tR,кбит/с ADSL_DS.DMT"));
        QCOMPARE(lines.at(3), rowTexts(t, 2).join(QLatin1Char('\t')));
    }
    QVERIFY(data->html().contains(QStringLiteral("<th>R,кбит/с<br>ADSL2+_DS.DMT</th>")));
    QVERIFY(data->html().contains(QStringLiteral("<td align=\"right\">%1</td>").arg(cellText(t, 2, 1))));
}

void tst_ReportCommands::graphCopy()
{
    m_app->calculate();
    m_app->child<QMdiSubWindow>("graphWindow")->resize(720, 560);
    QApplication::clipboard()->clear();
    QAction *copy = action("copyGraphAct");
    QVERIFY(graph()->actions().contains(copy));
    copy->trigger();
    const QImage image = QApplication::clipboard()->image();
    QCOMPARE(image.size(), graph()->size() * graph()->devicePixelRatioF());
    // The curve is in it.
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QVERIFY(countColourApprox(rgb, GraphWidget::curveColor(0)) > 100);

    // Ctrl+C copies what has the focus: the clicked graph, then the table again.
    QApplication::clipboard()->clear();
    QApplication::setActiveWindow(m_app->window.get());
    QTest::mouseClick(graph(), Qt::LeftButton, {}, graph()->plotArea().center());
    QTRY_VERIFY(graph()->hasFocus());
    QTest::keyClick(graph(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->image().size(), graph()->size() * graph()->devicePixelRatioF());
    table()->setFocus();
    QTRY_VERIFY(table()->hasFocus());
    QTest::keyClick(table(), Qt::Key_C, Qt::ControlModifier);
    QVERIFY(QApplication::clipboard()->text().startsWith(QStringLiteral("L,м\t")));
}

void tst_ReportCommands::readoutInTheStatusBar()
{
    m_app->calculate();
    GraphWidget *g = graph();
    const QRect plot = g->plotArea();
    moveTo(g, QPoint(plot.left() + plot.width() / 3, plot.center().y()));
    const QString message = m_app->window->statusBar()->currentMessage();
    QVERIFY(message.startsWith(QStringLiteral("L=")));
    QCOMPARE(message, g->readoutText());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(g, &leave);
    QCOMPARE(m_app->window->statusBar()->currentMessage(), QString());
}

void tst_ReportCommands::clickSelectsTheNearestRow()
{
    m_app->calculate(chooseLengths(0, 8000, 100));
    QTableView *t = table();
    QCOMPARE(t->model()->rowCount(), 81);
    t->scrollToTop();
    GraphWidget *g = graph();
    const QRect plot = g->plotArea();
    const GraphSettings &s = m_app->window->graphSettings();
    // 7020 m on the screen: the row of 7000 m.
    const int x = int(graphPoint(plot, s, 7020.f, 0.f).x());
    QTest::mouseClick(g, Qt::LeftButton, Qt::NoModifier, QPoint(x, plot.center().y()));
    QCOMPARE(t->currentIndex().row(), 70);
    QCOMPARE(cellText(t, 70, 0), QStringLiteral("7000"));
    const QModelIndexList rows = t->selectionModel()->selectedRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().row(), 70);
    // Scrolled to it.
    QVERIFY(t->viewport()->rect().intersects(t->visualRect(t->model()->index(70, 0))));
}

QTEST_MAIN(tst_ReportCommands)
#include "tst_reportcommands.moc"
