#include "drawing/picturefile.h"

#include "engine/translate.h"
#include "engine/checks.h"
#include "engine/filewrite.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

namespace {

KOLVANE_TR_CONTEXT("Export")

} // namespace

bool writePicture(const QSize &size, const QString &path, const char *format,
                  const std::function<void(QPainter &, const QRect &)> &draw, QString *error)
{
    if (size.isEmpty())
        return fail(error, tr("Пустой размер рисунка"));
    if (path.isEmpty())
        return fail(error, tr("Не задано имя файла"));
    if (!QImageWriter::supportedImageFormats().contains(QByteArray(format).toLower()))
        return fail(error, tr("Формат %1 не поддерживается").arg(QString::fromLatin1(format)));

    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(Qt::white).rgb());
    {
        QPainter painter(&image);
        draw(painter, QRect(QPoint(0, 0), size));
    }
    return writeFileSafely(
        path,
        [&](QIODevice &out, QString *why) {
            QImageWriter writer(&out, format);
            if (writer.write(image))
                return true;
            return fail(why, writer.errorString());
        },
        error, PipeReader::DontWait);
}

bool writePdf(const QString &path, const QString &title, int dpi,
              const std::function<bool(QPdfWriter &, QString *)> &paint, QString *error)
{
    if (path.isEmpty())
        return fail(error, tr("Не задано имя файла"));
    // Through the common write path: no full-disk failure passes for a document, a device or
    // pipe is written in place, and a window does not wait for a pipe's reader.
    return writeFileSafely(
        path,
        [&](QIODevice &out, QString *why) {
            QPdfWriter pdf(&out);
            pdf.setResolution(dpi);
            pdf.setCreator(QStringLiteral("Kolvane"));
            pdf.setTitle(title);
            return paint(pdf, why);
        },
        error, PipeReader::DontWait);
}

bool writePdfPage(const QString &path, const QString &title, int dpi, const QPageLayout &layout,
                  const std::function<void(QPainter &, const QRect &)> &draw, QString *error)
{
    return writePdf(
        path, title, dpi,
        [&](QPdfWriter &pdf, QString *why) {
            pdf.setPageLayout(layout);
            QPainter painter;
            if (!painter.begin(&pdf))
                return fail(why, tr("Не удаётся начать PDF-документ"));
            draw(painter, QRect(QPoint(0, 0), pdf.pageLayout().paintRectPixels(dpi).size()));
            if (!painter.end())
                return fail(why, tr("Не удаётся завершить PDF-документ"));
            return true;
        },
        error);
}
