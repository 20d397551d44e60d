#pragma once

#include "engine/calcinput.h"
#include "engine/calcsettings.h"
#include "engine/fileread.h"
#include "engine/templatekind.h"

#include <QString>
#include <QStringList>
#include <QVector>

// Entries of a template directory as the calculation dialog and the template tree list them:
// files and subdirectories, hidden ones excluded, in name order ignoring case, without "." and "..".
// A missing directory gives an empty list.
QStringList listTemplateEntries(const QString &directory);

// "x.att.old" -> "x": the entry cut before its first ".att" (the whole name when absent).
QString cableNameFromEntry(const QString &entry);
// "AWGN-140.5.add" -> "AWGN-140.5": the entry cut before its first ".add" (the whole name
// when absent), as cable names are cut before ".att".
QString noiseNameFromEntry(const QString &entry);

// A template name that comes from outside the program's own lists (a command line, a stored
// record, a loop record) must name a file inside its directory and be printable: no path
// separator, not "." or "..", no control character (CalcInput::checkName). False with *error
// naming it otherwise. An empty noise name (no noise) is fine.
bool checkTemplateName(TemplateKind kind, const QString &name, QString *error = nullptr);

// The record names no more cables and line types than the workspace under `workdir` holds
// templates of: the most the calculation dialog can choose.
std::optional<CalcInput::Problem> checkTemplateCounts(const CalcSettings &settings, const QString &workdir);

// A template a record names that cannot be opened for reading, and why.
struct TemplateProblem {
    TemplateKind kind;
    QString relative;    // "Cable/x.att"
    ReadFailure failure;
    QString reason;      // in the message language, without the path
};
// Every template file the record names (its cables, the sections' cables, its line types and
// noise), each once and in that order, that cannot be opened for reading under `workdir`.
QVector<TemplateProblem> unreadableTemplates(const CalcSettings &settings, const QString &workdir);

// Why the entries of `directory` cannot be listed, in words; "" when they can or when there is
// no such directory (it lists as empty, as the dialogs show it).
QString listingProblem(const QString &directory);
// 0 when `path` exists, else the errno of looking it up (ENOENT, EACCES, ...).
int pathLookupError(const QString &path);

// The calculation dialog's untouched state for the template directories under `workdir`
// ("" = the current directory): first cable and line type, the third noise entry, M 4, load 1,
// norms 10 dB at 300 kHz, lengths 1000..10000 step 1000, margin 0, and the summary texts.
// An empty Cable or xDSL directory gives an empty list there.
CalcSettings defaultCalcSettings(const QString &workdir = QString());

// Path of a template under `workdir` ("" = relative to the current directory).
QString workspacePath(const QString &workdir, const QString &relative);
