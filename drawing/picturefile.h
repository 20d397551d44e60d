#pragma once

#include <QSize>
#include <QString>

#include <functional>

class QPageLayout;
class QPainter;
class QPdfWriter;
class QRect;

// Draws a picture of `size` on white with `draw` and writes it as `format` ("PNG", "JPG") through
// the common write path, without waiting for a FIFO's reader (a window must not freeze). False
// with *error (why, in words) on failure; an earlier file then stays as it was.
bool writePicture(const QSize &size, const QString &path, const char *format,
                  const std::function<void(QPainter &painter, const QRect &area)> &draw, QString *error);

// The one way a PDF is written: a document titled `title` at `dpi` dots per inch whose pages
// `paint` lays out and paints (it begins and ends its own painter), written like writePicture.
bool writePdf(const QString &path, const QString &title, int dpi,
              const std::function<bool(QPdfWriter &pdf, QString *why)> &paint, QString *error);

// A one-page PDF of `layout`: `draw` paints into the page's printable area, in device pixels at
// `dpi` with the origin at its top left corner.
bool writePdfPage(const QString &path, const QString &title, int dpi, const QPageLayout &layout,
                  const std::function<void(QPainter &painter, const QRect &page)> &draw, QString *error);
