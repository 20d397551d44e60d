#pragma once

#include "cli/cli.h"
#include "engine/measuredline.h"

#include <QCommandLineParser>

#include <optional>

// How measurement files are read (--format, --annex), for `import` and `tones --measured`.
void addMeasurementOptions(QCommandLineParser &parser);
// The options' values into *options; a failure for a value they do not take.
std::optional<Failure> measurementOptions(const QCommandLineParser &parser, Measured::ReadOptions *options);

// `tones`: --measured FILE (may repeat), read as the options above say.
void addMeasuredSnrOption(QCommandLineParser &parser);
// The downstream SNR of the --measured files into *snr (left empty without the option); a
// failure for files that are refused or hold no SNR.
std::optional<Failure> measuredSnr(const QCommandLineParser &parser, std::optional<Measured::Series> *snr);
