#include "drawing/picturefile.h"

#include "engine/checks.h"
#include "engine/filewrite.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

bool writePicture(const QSize &size, const QString &path, const char *format,
                  const std::function<void(QPainter &, const QRect &)> &draw, QString *error)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("Export", text); };
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
