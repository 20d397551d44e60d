#pragma once

// A hand-built run as plain values, for drawing without any widget: flat curves at known
// rates over 0 ... 8000 m, so every curve is one pixel row.

#include "drawing/graphpainter.h"

inline GraphSource flatRun(const QVector<float> &rates, int maxRate)
{
    GraphSource source;
    CalcSettings &calc = source.run.calc;
    calc.cableTypes = {QStringLiteral("K1")};
    calc.xDSL_points = {1};
    calc.cableCapacity = 4;
    calc.norm_ELFEXT_frequency = 300;
    calc.Norm_ELFEXT_points = {10};
    calc.cableLengthTo = 8000;
    calc.cableLengthStep = 1000;
    calc.lineTypes = {QStringLiteral("L1.DMT")};
    calc.SNRMargin_points = {0};
    calc.noiseTemplate = QStringLiteral("N1");
    calc.maxRate = maxRate;
    for (int length = 0; length <= calc.cableLengthTo; length += calc.cableLengthStep)
        source.run.rows.append(ResultRow{float(length), rates});
    source.settings.markVisible = false;
    return source;
}
