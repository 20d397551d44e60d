#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The complete input of one calculation run. At most one of the six value lists
// (cableTypes, lineTypes, xDSL_points, Norm_ELFEXT_points, Norm_NEXT_points,
// SNRMargin_points) holds more than one entry: it forms the family of curves.
struct CalcSettings {
    QStringList cableTypes;            // names without ".att"
    QVector<int> xDSL_points;          // load m
    int cableCapacity = 0;             // M, pairs
    float norm_ELFEXT_frequency = 0;   // kHz
    float norm_NEXT_frequency = 0;     // kHz
    QVector<float> Norm_NEXT_points;   // dB
    QVector<float> Norm_ELFEXT_points; // dB, referred to 1 km
    int cableLengthFrom = 0;           // m
    int cableLengthTo = 0;             // m
    int cableLengthStep = 0;           // m
    QStringList lineTypes;             // file names with ".DMT" / ".PAM"
    QVector<float> SNRMargin_points;   // dB
    QString noiseTemplate;             // name without ".add"
    int maxRate = 0;                   // kbit/s, written by the run
    QString cableTypesText;
    QString xDSL_pointsText;
    QString norm_ELFEXT_Text;
    QString norm_NEXT_Text;
    QString SNRMarginText;
    QString lineTypesText;

    bool operator==(const CalcSettings &o) const;
    bool operator!=(const CalcSettings &o) const { return !(*this == o); }
};
