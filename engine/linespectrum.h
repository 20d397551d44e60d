#pragma once

#include "engine/calcsettings.h"
#include "engine/filewrite.h"
#include "engine/lineratemodel.h"
#include "engine/measuredline.h"

#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;

// One cell of the result table taken apart: one curve of a record at one loop length, every
// DMT tone or every PAM candidate rate the model went through, as LineRateModel::trace gives it.
struct LineSpectrum {
    QString curve;      // the curve's name in the table header ("m=1", "ADSL2+_DS.DMT", "кабель K1")
    QString lineType;   // its line type file ("ADSL2+_DS.DMT")
    QString cable;      // its swept cable (name without ".att")
    QString sections;   // the fixed sections in front of it ("K1 1200м + K2 300м"), "" for none
    QString noise;      // the noise template's name, "" for none
    int m = 1;          // load
    float elfextNorm = 0; // dB
    float nextNorm = 0;   // dB
    float margin = 0;     // dB
    int length = 0;     // m, the whole loop's (sections included)
    bool dmt = true;    // tones (DMT) or candidates (PAM) are meant, also when both are empty
    LineTrace trace;
    QStringList warnings; // templates the curve takes nothing from, as the run words them
    // DMT: the SNR the modems measured on the line the swept cable was imported from, if any.
    std::optional<Measured::Series> measuredSnr;
};

// Reads the templates of `settings` under `workdir` ("" = the current directory) and traces
// curve `curve` (0-based, the table's column curve + 1) at `length` m. The record is expected
// to have passed a run's checks; nullopt with *error (in the message language) when a template
// cannot be used, the curve does not exist or the length is outside 0..30000 m or below the
// sections' total.
std::optional<LineSpectrum> traceCurve(const CalcSettings &settings, const QString &workdir, int curve,
                                       int length, QString *error);

// Column captions of a trace: F, S, A, U, SNR, b for DMT; R, fN, SNR, T for PAM; with a measured
// SNR beside a DMT trace, "SNRизм,дБ" last.
QStringList traceColumns(bool dmt, bool measured = false);

// Tones that carry at least one bit.
int loadedTones(const LineTrace &trace);

// The trace as text: the captions, then one line per tone or candidate in the order the model
// went through them; every field followed by ";", lines end with LF, UTF-8. Values stored as
// floats are written as QTextStream writes a float (as the result table's CSV), the PAM
// threshold as it writes a double, bits as integers. Nothing but the captions when the trace
// is empty. With `measured` (DMT) a last field holds the measured SNR of the group holding each
// tone, written as a double, or nothing.
void writeTraceCsv(QTextStream &out, const LineTrace &trace, bool dmt, const Measured::Series *measured = nullptr);
// writeTraceCsv as the content of writeFileSafely.
ContentWriter traceCsvContent(const LineTrace &trace, bool dmt, const Measured::Series *measured = nullptr);
