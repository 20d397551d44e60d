#pragma once

// Hand-built runs for the report tests: flat curves at known rates make every curve a
// horizontal line whose pixels can be looked up.

#include "engine/calcsettings.h"
#include "engine/resultset.h"
#include "drawing/graphsettings.h"
#include "report/graphwidget.h"

#include <QImage>
#include <QPainter>

struct GraphFixture {
    CalcSettings calc;
    ResultSet rows;
    GraphSettings settings;
    GraphWidget graph;

    GraphFixture()
    {
        calc.cableTypes = {QStringLiteral("K1")};
        calc.xDSL_points = {1};
        calc.cableCapacity = 4;
        calc.norm_ELFEXT_frequency = 300;
        calc.norm_NEXT_frequency = 200;
        calc.Norm_ELFEXT_points = {10};
        calc.Norm_NEXT_points = {12};
        calc.cableLengthFrom = 0;
        calc.cableLengthTo = 8000;
        calc.cableLengthStep = 1000;
        calc.lineTypes = {QStringLiteral("L1.DMT")};
        calc.SNRMargin_points = {0};
        calc.noiseTemplate = QStringLiteral("N1");
        graph.resize(800, 600);
        graph.setGraphSettings(&settings);
    }

    // `rates[i]` is the constant rate of curve i over lengths 0, step, ..., cableLengthTo.
    void setFlatCurves(const QVector<float> &rates)
    {
        rows.clear();
        for (int length = calc.cableLengthFrom; length <= calc.cableLengthTo; length += calc.cableLengthStep)
            rows.append(ResultRow{float(length), rates});
        float top = 0;
        for (float r : rates)
            top = std::max(top, r);
        calc.maxRate = int(top);
    }

    QImage render(GraphWidget::ScaleMode mode = GraphWidget::AutoScale)
    {
        graph.setResult(&rows, &calc, mode);
        return draw();
    }

    // What an image export gets: a fresh painter on white.
    QImage draw()
    {
        QImage image(graph.size(), QImage::Format_RGB32);
        image.fill(QColor(Qt::white).rgb());
        QPainter painter(&image);
        graph.drawGraph(painter);
        painter.end();
        return image;
    }

    // Pixel row of a flat curve at `rate`, as the axis mapping puts it.
    int rateY(float rate) const
    {
        const QRect plot = graph.plotArea();
        return int(float(plot.bottom()) - float(plot.height()) * rate / float(settings.rateMax));
    }
    int lengthX(float length) const
    {
        const QRect plot = graph.plotArea();
        return int(float(plot.left()) + float(plot.width()) * length / float(settings.lengthMax));
    }
};

inline int countColour(const QImage &image, QRgb colour, int y = -1)
{
    int count = 0;
    for (int row = (y < 0 ? 0 : y); row < (y < 0 ? image.height() : y + 1); ++row)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, row) == colour;
    return count;
}
