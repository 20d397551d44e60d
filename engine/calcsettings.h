#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A fixed length of another cable in front of the swept cable (exchange side first).
struct CableSection {
    QString cable; // name without ".att"
    int length = 0; // m, whole metres >= 1
    bool operator==(const CableSection &o) const { return cable == o.cable && length == o.length; }
    bool operator!=(const CableSection &o) const { return !(*this == o); }
};

// What a run sweeps: the loop's length, or its loss at a reference frequency.
enum class SweepAxis { Length, Loss };

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
    // Beyond the classic dialog: fixed cable sections in loop order (the swept length is the
    // total loop length) and target rates for reach and margin. Both empty = the classic run.
    QVector<CableSection> sections;
    QVector<int> targetRates;          // kbit/s, strictly increasing
    // Beyond the classic model, single values: the coding gain, and vectoring of the binder
    // (its cancellation depth) with the disturbers outside the vectored group. The defaults
    // are the classic model.
    float codingGain = 0;              // dB
    std::optional<int> vectoring;      // dB, none = no vectoring
    int alienDisturbers = 0;
    // The sweep by loss instead of length: the losses in tenths of a dB (so that a grid never
    // adds up floating steps) at the reference frequency, which also converts the losses of loop
    // records. The defaults are the table's (CalcInput::DefaultLoss*); the length fields play no
    // part on a loss axis.
    SweepAxis axis = SweepAxis::Length;
    int lossFrequency = 300;           // kHz
    int lossFrom = 0;                  // tenths of a dB
    int lossTo = 600;
    int lossStep = 10;

    bool operator==(const CalcSettings &o) const;
    bool operator!=(const CalcSettings &o) const { return !(*this == o); }
};
