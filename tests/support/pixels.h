#pragma once

// Reading drawn pictures: colours compared with a little tolerance for antialiasing.

#include <QColor>
#include <QImage>
#include <QPointF>

#include <cmath>
#include <cstdlib>

inline bool near(QRgb a, const QColor &b)
{
    return std::abs(qRed(a) - b.red()) < 12 && std::abs(qGreen(a) - b.green()) < 12 && std::abs(qBlue(a) - b.blue()) < 12;
}

// Pixels of `color` in a small box around a point.
inline int around(const QImage &image, QPointF at, const QColor &color, int radius = 2)
{
    int n = 0;
    const int x0 = int(std::lround(at.x())), y0 = int(std::lround(at.y()));
    for (int y = y0 - radius; y <= y0 + radius; ++y)
        for (int x = x0 - radius; x <= x0 + radius; ++x)
            if (image.rect().contains(x, y) && near(image.pixel(x, y), color))
                ++n;
    return n;
}
