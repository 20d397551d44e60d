#pragma once

#include "engine/calcinput.h"
#include "engine/calcsettings.h"
#include "engine/graphsettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A calculation setup: everything one study needs, kept in a UTF-8 JSON file (".kolvane") that
// the GUI and kolvane-calc read and write alike.
struct Setup {
    CalcSettings calc;
    GraphSettings graph;
    bool graphAxesGiven = false; // the file sets an axis: the graph shows it as the user's scale
    QStringList warnings;        // keys this version does not know, ignored
};

namespace SetupFile {

constexpr int Version = 1;
inline const char *const Format = "kolvane-setup";
inline const char *const Extension = ".kolvane";

// Reads a setup. Keys that are absent keep the values of `base` (the untouched dialog's record
// for the workspace) and a default graph. False with *error naming the key and the problem for
// a file that is not a setup, a newer version, a value of the wrong type or out of bounds.
bool parse(const QByteArray &json, const CalcSettings &base, Setup *setup, QString *error);
bool read(const QString &path, const CalcSettings &base, Setup *setup, QString *error);

// The file's text: every key, in the documented order. Without `axes` the graph's six axis
// values are left out, so whoever opens the file scales the graph to the run.
QByteArray text(const CalcSettings &calc, const GraphSettings &graph, bool axes = true);
// Written through writeFileSafely; on failure the old file is intact and *error says why. A record
// that parse() would refuse (a template named twice) is not written.
bool write(const QString &path, const CalcSettings &calc, const GraphSettings &graph, QString *error,
           bool axes = true);

// The key of a setup file that holds a field, for messages ("lengths.step").
QString keyName(CalcInput::Field field);

} // namespace SetupFile
