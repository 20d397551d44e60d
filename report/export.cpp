#include "report/export.h"

#include "engine/translate.h"
#include "engine/calcinput.h"
#include "engine/checks.h"
#include "engine/templatekind.h"
#include "report/graphwidget.h"
#include "drawing/picturefile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QPainter>

namespace {

KOLVANE_TR_CONTEXT("Export")

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
        // Read as the calculation reads it; the name up to its kind's extension.
        const TemplateKind kind = lineTypeKind(type);
        (kind == LineTypeDmt ? dmt : pam) = true;
        const qsizetype extensionAt = type.indexOf(templateExtension(kind));
        types += tr("%1, ").arg(extensionAt >= 0 ? type.left(extensionAt) : QFileInfo(type).completeBaseName());
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

QString reportNameSuffix()
{
    return tr("_отчёт");
}

bool exportGraphImage(GraphWidget *graph, const QString &path, const char *format, QString *error)
{
    return checkGraph(graph, error) && exportGraphImage(graph->graphSource(), graph->size(), path, format, error);
}

bool exportGraphPdf(GraphWidget *graph, const QString &path, QString *error)
{
    return checkGraph(graph, error) && exportGraphPdf(graph->graphSource(), path, error);
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

bool exportGraphPdf(const GraphSource &source, const QString &path, QString *error, const ReportPageSetup &setup)
{
    return writeGraphPdf(source, path, setup, QDateTime::currentDateTime(), error);
}
