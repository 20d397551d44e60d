#include "report/export.h"

#include "engine/calcinput.h"
#include "engine/checks.h"
#include "engine/filewrite.h"
#include "report/graphwidget.h"
#include "drawing/picturefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include <algorithm>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Export", text);
}

bool checkGraph(GraphWidget *graph, QString *error)
{
    if (!graph || !graph->hasResult())
        return fail(error, tr("Нет результата расчёта для экспорта"));
    return true;
}

} // namespace

QString defaultExportName(const CalcSettings &settings)
{
    bool dmt = false, pam = false;
    QString types;
    for (const QString &type : settings.lineTypes) {
        const qsizetype dmtAt = type.indexOf(QLatin1String(".DMT"));
        if (dmtAt >= 0) {
            dmt = true;
            types += tr("%1, ").arg(type.left(dmtAt));
        }
        const qsizetype pamAt = type.indexOf(QLatin1String(".PAM"));
        if (pamAt >= 0) {
            pam = true;
            types += tr("%1, ").arg(type.left(pamAt));
        }
    }
    types.chop(2);

    QString norms;
    if (dmt) {
        norms += tr("ELFEXT=%1").arg(settings.norm_ELFEXT_Text);
        if (pam)
            norms += tr("_");
    }
    if (pam)
        norms += tr("NEXT=%1").arg(settings.norm_NEXT_Text);

    QString cables = settings.cableTypesText;
    if (!settings.sections.isEmpty())
        cables += tr("_Участки=%1").arg(CalcInput::sectionsSummary(settings.sections));

    // One multi-argument arg(): a '%' inside a template name must not be taken as a marker.
    return tr("%1_M=%2_m=%3_%4_Тип_линии_xDSL=%5_SNR_Margin=%6_%7")
        .arg(cables, QString::number(settings.cableCapacity), settings.xDSL_pointsText, norms,
             types, settings.SNRMarginText, settings.noiseTemplate);
}

bool exportGraphImage(GraphWidget *graph, const QString &path, const char *format, QString *error)
{
    return checkGraph(graph, error) && exportGraphImage(graph->graphSource(), graph->size(), path, format, error);
}

bool exportGraphPdf(GraphWidget *graph, const QString &path, QString *error)
{
    return checkGraph(graph, error) && exportGraphPdf(graph->graphSource(), graph->size(), path, error);
}

bool exportGraphImage(const GraphSource &source, const QSize &size, const QString &path, const char *format,
                      QString *error)
{
    // Settled for the image's own painter: its default font, the moment of export.
    return writePicture(size, path, format,
                        [&source](QPainter &painter, const QRect &area) {
                            drawGraph(painter, area, settleGraph(source, area, painter));
                        },
                        error);
}

bool exportGraphPdf(const GraphSource &source, const QSize &size, const QString &path, QString *error)
{
    if (size.isEmpty())
        return fail(error, tr("Пустой размер графика"));
    if (path.isEmpty())
        return fail(error, tr("Не задано имя файла"));

    // The printer only writes to a file name of its own. It gets one in a private temporary
    // directory; the finished document then goes the common write path, which replaces an
    // existing file in one step and gives a new one the usual permissions.
    const QTemporaryDir scratch;
    if (!scratch.isValid())
        return fail(error, tr("Не удаётся создать временный каталог: %1").arg(scratch.errorString()));
    const QString draft = scratch.filePath(QStringLiteral("graph.pdf"));

    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFileName(draft);
    printer.setOutputFormat(QPrinter::PdfFormat);
    QPainter painter;
    if (!painter.begin(&printer))
        return fail(error, tr("Не удаётся записать PDF в %1").arg(QDir::toNativeSeparators(draft)));
    // Drawn at the graph's size; a graph wider or taller than the page's printable area is
    // scaled down to it (vector output loses nothing) instead of being cut off at the margin.
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double fit = std::min(double(page.width()) / size.width(), double(page.height()) / size.height());
    if (fit < 1.0)
        painter.scale(fit, fit);
    const QRect area(QPoint(0, 0), size);
    drawGraph(painter, area, settleGraph(source, area, painter));
    if (!painter.end())
        return fail(error, tr("Не удаётся записать PDF в %1").arg(QDir::toNativeSeparators(draft)));

    QFile written(draft);
    if (!written.open(QIODevice::ReadOnly))
        return fail(error, written.errorString());
    const QByteArray document = written.readAll();
    if (document.isEmpty())
        return fail(error, tr("PDF-документ пуст"));

    return writeFileSafely(
        path,
        [&document](QIODevice &out, QString *) { return out.write(document) == document.size(); },
        error, PipeReader::DontWait);
}
