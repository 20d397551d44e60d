#pragma once

#include "engine/calcsettings.h"

#include <QString>
#include <QStringList>

// Entries of a template directory as the calculation dialog and the template tree list them:
// files and subdirectories, hidden ones excluded, in name order ignoring case, without "." and "..".
// A missing directory gives an empty list.
QStringList listTemplateEntries(const QString &directory);

// "x.att.old" -> "x": the entry cut before its first ".att" (the whole name when absent).
QString cableNameFromEntry(const QString &entry);
// "white.add" -> "white": the entry up to its first dot.
QString noiseNameFromEntry(const QString &entry);

// The calculation dialog's untouched state for the template directories under `workdir`
// ("" = the current directory): first cable and line type, the third noise entry, M 4, load 1,
// norms 10 dB at 300 kHz, lengths 1000..10000 step 1000, margin 0, and the summary texts.
// An empty Cable or xDSL directory gives an empty list there.
CalcSettings defaultCalcSettings(const QString &workdir = QString());

// Path of a template under `workdir` ("" = relative to the current directory).
QString workspacePath(const QString &workdir, const QString &relative);
