#pragma once

#include <QSize>
#include <QString>

#include <functional>

class QPainter;
class QRect;

// Draws a picture of `size` on white with `draw` and writes it as `format` ("PNG", "JPG") through
// the common write path, without waiting for a FIFO's reader (a window must not freeze). False
// with *error (why, in words) on failure; an earlier file then stays as it was.
bool writePicture(const QSize &size, const QString &path, const char *format,
                  const std::function<void(QPainter &painter, const QRect &area)> &draw, QString *error);
