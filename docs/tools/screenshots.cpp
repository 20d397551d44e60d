// Takes the README's pictures from the real program: screenshots WORKSPACE OUTPUT_DIR PDFTOPPM
// WORKSPACE is a scratch copy of the sample workspace, the program's working directory. The
// README's calculations go through the calculation dialog, as a user would run them; it writes
//   main-window.png     the main window with a family of four line types over 0-4000 m,
//   graph-readout.png   the same window with the mouse over the graph: the cursor's read-out,
//   report-page1.png    the first page of the PDF report of that run,
//   graph-default.png   the graph of the default calculation.
#include "app/mainwindow.h"
#include "input/propertiesdialog.h"
#include "report/graphwidget.h"
#include "drawing/reportdocument.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QProcess>
#include <QSettings>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <functional>

namespace {

int fail(const QString &message)
{
    QTextStream(stderr) << "screenshots: " << message << Qt::endl;
    return 1;
}

// Answers the calculation dialog once it is shown: `setup` fills it, then "Вычислить".
void answerDialog(const std::function<void(PropertiesDialog *)> &setup)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, setup] {
        auto *dialog = qobject_cast<PropertiesDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        setup(dialog);
        dialog->findChild<QPushButton *>(QStringLiteral("calculateButton"))->click();
    });
    timer->start(20);
}

void chooseLineTypes(PropertiesDialog *dialog, const QStringList &names)
{
    dialog->findChild<QComboBox *>(QStringLiteral("lineTypeCountBox"))->setCurrentIndex(int(names.size()) - 1);
    for (int i = 0; i < names.size(); ++i) {
        auto *box = dialog->findChild<QComboBox *>(QStringLiteral("lineTypeBoxes%1").arg(i));
        box->setCurrentIndex(box->findText(names.at(i)));
    }
}

void chooseLengths(PropertiesDialog *dialog, int from, int to, int step)
{
    dialog->findChild<QSpinBox *>(QStringLiteral("cableLengthStepBox"))->setValue(step);
    dialog->findChild<QSpinBox *>(QStringLiteral("cableLengthToBox"))->setValue(to);
    dialog->findChild<QSpinBox *>(QStringLiteral("cableLengthFromBox"))->setValue(from);
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool save(const QImage &image, const QString &path)
{
    if (!image.convertToFormat(QImage::Format_RGB32).save(path, "PNG"))
        return false;
    QTextStream(stdout) << "wrote " << QDir::toNativeSeparators(path) << Qt::endl;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return fail(QStringLiteral("usage: screenshots WORKSPACE OUTPUT_DIR PDFTOPPM"));
    const QDir out(QDir(args.at(2)).absolutePath());
    if (!QDir::setCurrent(args.at(1)))
        return fail(QStringLiteral("no workspace at %1").arg(args.at(1)));
    // The pictures do not depend on how the user left the program's windows.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QDir(args.at(1)).filePath(QStringLiteral(".settings")));

    MainWindow window;
    window.resize(1180, 720);
    window.show();
    settle();

    auto *graph = window.findChild<GraphWidget *>(QStringLiteral("graphWidget"));
    auto *tableWindow = window.findChild<QMdiSubWindow *>(QStringLiteral("tableWindow"));
    auto *graphWindow = window.findChild<QMdiSubWindow *>(QStringLiteral("graphWindow"));

    answerDialog([](PropertiesDialog *dialog) {
        chooseLineTypes(dialog, {QStringLiteral("ADSL_DS.DMT"), QStringLiteral("ADSL2+_DS.DMT"),
                                 QStringLiteral("VDSL2-8b_DS.DMT"), QStringLiteral("VDSL2-17a_DS.DMT")});
        chooseLengths(dialog, 0, 4000, 100);
    });
    window.showPropertiesDialog();
    if (!window.calcSettings())
        return fail(QStringLiteral("the calculation did not run"));
    const QSize area = window.findChild<QMdiArea *>(QStringLiteral("resultsArea"))->viewport()->size();
    tableWindow->setGeometry(0, 0, 390, area.height());
    graphWindow->setGeometry(390, 0, area.width() - 390, area.height());
    settle();
    if (!save(window.grab().toImage(), out.filePath(QStringLiteral("main-window.png"))))
        return fail(QStringLiteral("cannot write main-window.png"));

    // The mouse over the graph at about 1500 m.
    const QRect plot = graph->plotArea();
    const QPointF at(graphPoint(plot, window.graphSettings(), 1500.f, 0.f).x(), plot.top() + plot.height() * 0.6);
    QMouseEvent move(QEvent::MouseMove, at, graph->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(graph, &move);
    settle();
    if (!save(window.grab().toImage(), out.filePath(QStringLiteral("graph-readout.png"))))
        return fail(QStringLiteral("cannot write graph-readout.png"));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(graph, &leave);

    // The report of this run, as "Отчёт PDF…" writes it; its first page at 80 dpi.
    const QStringList header = resultHeader(window.lastRun()->settings, window.lastRun()->sweep);
    const QTemporaryDir scratch;
    const QString pdf = scratch.filePath(QStringLiteral("report.pdf"));
    QString error;
    if (!writeReportPdf(reportContent(graph->graphSource(), header), pdf, ReportPageSetup(), &error))
        return fail(error);
    const QString page = scratch.filePath(QStringLiteral("page"));
    if (QProcess::execute(args.at(3), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("80"),
                                       QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                       QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, page})
        != 0)
        return fail(QStringLiteral("pdftoppm failed"));
    QImage first(page + QStringLiteral(".png"));
    if (first.isNull() || !save(first, out.filePath(QStringLiteral("report-page1.png"))))
        return fail(QStringLiteral("cannot write report-page1.png"));

    // The default calculation, its graph alone.
    answerDialog([](PropertiesDialog *dialog) {
        chooseLineTypes(dialog, {QStringLiteral("ADSL2+_DS.DMT")});
        chooseLengths(dialog, 1000, 10000, 1000);
    });
    window.showPropertiesDialog();
    graphWindow->showNormal();
    graphWindow->resize(graphWindow->size() - graph->size() + QSize(752, 532));
    settle();
    if (!save(graph->grab().toImage(), out.filePath(QStringLiteral("graph-default.png"))))
        return fail(QStringLiteral("cannot write graph-default.png"));
    return 0;
}
