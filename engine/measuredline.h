#pragma once

// A line as its modems measured it, tone group by tone group, downstream: the channel (Hlog, dB),
// the quiet-line noise (QLN, dBm/Hz) and the SNR (dB). Read from three kinds of files: test
// parameters as NAME=VALUE-LIST lines (TR-181/TR-098 names), router statistics as JSON, and a
// modem's command-line dump with one tone per line. Hlog becomes a cable template (its loss spread
// over the line's length), QLN a noise template; the SNR is kept beside the cable for comparison
// with the model's.

#include "engine/calcinput.h"
#include "engine/calcsettings.h"
#include "engine/templatefile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace Measured {

constexpr double ToneSpacing = 4.3125; // kHz
constexpr IntRange LineLength{1, 30000}; // m, whole metres
constexpr int DefaultLineLength = 1000;  // m: without a length the loss is "this line at 1 km"
constexpr int MostGroups = 512;          // entries of a test-parameter list
constexpr qint64 MostFileBytes = 16 * 1024 * 1024;

enum class Quantity { Hlog, Qln, Snr };
enum class Format { Tr181, Json, Text };

// "Hlog", "QLN", "SNR".
QString quantityName(Quantity quantity);
// "TR-181", "JSON", "text".
QString formatName(Format format);
// "tr181", "json", "text" (the option values) to a format; nullopt for anything else.
std::optional<Format> formatFromName(const QString &name);
// First downstream tone of the fixed ADSL band plans: 32 for annex A, I, L; 64 for B, J, M
// (either case). Nullopt for another letter.
std::optional<int> annexFirstDownstreamTone(const QString &annex);

struct Entry {
    int tone = 0;      // the group's first tone (i·G); a tone of its own in a one-tone-per-line dump
    double value = 0;  // dB or dBm/Hz; meaningless when missing
    bool missing = false;
};

// One quantity, downstream. Entries in increasing tone order, missing ones included.
struct Series {
    bool present = false;
    QString source;     // the file it came from, as given
    int groupSize = 1;  // tones per entry
    int dropped = 0;    // items not decoded: upstream tones of a dump, list items beyond 512
    QVector<Entry> entries;

    int usable() const;
    static double frequency(const Entry &e) { return double(e.tone) * ToneSpacing; } // kHz
    // The value of the entry whose group holds `tone`; nullopt outside them or where missing.
    std::optional<double> valueAtTone(int tone) const;
    // The same for the tone nearest to a frequency in kHz.
    std::optional<double> valueAtFrequency(double kHz) const;
    bool operator==(const Series &o) const;
};

struct Measurement {
    Format format = Format::Tr181;
    QStringList sources;
    Series hlog, qln, snr;
    QStringList warnings; // what was assumed or looks implausible, in the message language

    const Series &series(Quantity quantity) const;
};

struct ReadOptions {
    std::optional<Format> format; // nullopt: told by each file's content
    int firstDownstreamTone = 32; // one-tone-per-line dumps hold both directions
};

// Reads and decodes one or more files into one measurement. Nullopt with *error (the file and
// what is wrong with it) for an unknown or mixed format, a quantity found twice, a group size
// other than 1, 2, 4, 8 or 16, a code or value outside its coding, a duplicated parameter, a
// quantity with fewer than two usable entries, or files without any downstream quantity.
std::optional<Measurement> read(const QStringList &paths, const ReadOptions &options, QString *error);
// The same for contents already in memory, `names` naming them in messages.
std::optional<Measurement> parse(const QVector<QByteArray> &contents, const QStringList &names,
                                 const ReadOptions &options, QString *error);

// The cable template's cells: per usable Hlog entry, in increasing frequency, (f, −Hlog·1000/L)
// with L the line's length in m, in double.
QVector<TemplateCell> cableCells(const Series &hlog, int lineLength);
// The noise template's cells: (f, QLN) per usable entry.
QVector<TemplateCell> noiseCells(const Series &qln);

// A line per quantity present: entries used and left out, the frequency range. In the message
// language; the warnings are the measurement's own.
QStringList summary(const Measurement &measurement);

// A name for both templates: a file name inside its directory, not hidden, and without the
// ".att"/".add" that would make it list under another name. False with *error otherwise.
bool checkName(const QString &name, QString *error);

// The workspace files an import writes, relative to the workspace: Cable/NAME.att with Hlog,
// AddNoise/NAME.add with QLN.
QStringList templateFiles(const Measurement &measurement, const QString &name);

struct Target {
    QString workdir;                // "" = the current directory
    QString name;
    int lineLength = DefaultLineLength;
    bool replace = false;           // existing templates are refused otherwise
    // A further file written along (relative to the workspace), e.g. a setup; "" for none.
    QString extraFile;
    QByteArray extraBytes;
};

enum class Outcome { Written, Exists, Refused, Failed };

// Writes the templates and, with Hlog, the link from the cable to its measured SNR, each through
// the safe write path, all or none: a failed write puts back what the earlier ones replaced.
// Nothing is written when files are there already and not to be replaced (Exists), for a bad
// name or length, a measurement without Hlog and QLN or a target that is no regular file
// (Refused).
Outcome write(const Measurement &measurement, const Target &target, QString *error);

// The measured SNR of a cable template that an import wrote, while the cable file is still the
// one written with it; nullopt otherwise (no link, no SNR, the cable edited or replaced since).
std::optional<Series> linkedSnr(const QString &workdir, const QString &cable);

// DMT line types of the workspace in name order (regular files only), at most `most`.
QStringList dmtLineTypes(const QString &workdir, int most = CalcInput::MaxValues);

// "What this line would carry": the measured cable swept up to its length (the last row), noise
// = its QLN (`noise` "" for none), load 1, the line types as the family, the rest as the untouched
// dialog has it for `workdir`.
CalcSettings calculation(const QString &workdir, const QString &name, const QString &noise, int lineLength,
                         const QStringList &lineTypes);

} // namespace Measured
