#include "report/export.h"

#include "report/graphwidget.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QTemporaryFile>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Export", text);
}

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
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

    // One multi-argument arg(): a '%' inside a template name must not be taken as a marker.
    return tr("%1_M=%2_m=%3_%4_Тип_линии_xDSL=%5_SNR_Margin=%6_%7")
        .arg(settings.cableTypesText, QString::number(settings.cableCapacity), settings.xDSL_pointsText, norms,
             types, settings.SNRMarginText, settings.noiseTemplate);
}

bool exportGraphImage(GraphWidget *graph, const QString &path, const char *format, QString *error)
{
    if (!checkGraph(graph, error))
        return false;
    if (path.isEmpty())
        return fail(error, tr("Не задано имя файла"));
    if (!QImageWriter::supportedImageFormats().contains(QByteArray(format).toLower()))
        return fail(error, tr("Формат %1 не поддерживается").arg(QString::fromLatin1(format)));

    QImage image(graph->size(), QImage::Format_RGB32);
    image.fill(QColor(Qt::white).rgb());
    {
        QPainter painter(&image);
        graph->drawGraph(painter);
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, file.errorString());
    QImageWriter writer(&file, format);
    if (!writer.write(image)) {
        file.cancelWriting();
        return fail(error, writer.errorString());
    }
    if (!file.commit())
        return fail(error, file.errorString());
    return true;
}

bool exportGraphPdf(GraphWidget *graph, const QString &path, QString *error)
{
    if (!checkGraph(graph, error))
        return false;
    if (path.isEmpty())
        return fail(error, tr("Не задано имя файла"));

    // The printer writes its own file, so it gets a temporary one in the target directory,
    // renamed over the target only once the document is complete.
    const QFileInfo target(path);
    QTemporaryFile temporary(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!temporary.open())
        return fail(error, tr("Не удаётся создать файл в %1: %2")
                               .arg(QDir::toNativeSeparators(target.absolutePath()), temporary.errorString()));
    temporary.close();

    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFileName(temporary.fileName());
    printer.setOutputFormat(QPrinter::PdfFormat);
    QPainter painter;
    if (!painter.begin(&printer))
        return fail(error, tr("Не удаётся записать PDF в %1").arg(QDir::toNativeSeparators(temporary.fileName())));
    graph->drawGraph(painter);
    if (!painter.end())
        return fail(error, tr("Не удаётся записать PDF в %1").arg(QDir::toNativeSeparators(temporary.fileName())));

    if (QFileInfo(temporary.fileName()).size() == 0)
        return fail(error, tr("PDF-документ пуст"));
    if (!temporary.rename(target.absoluteFilePath()))
        return fail(error, temporary.errorString());
    temporary.setAutoRemove(false);
    return true;
}
