#pragma once

#include "engine/calcsettings.h"
#include "engine/reach.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class QIODevice;

// Qualification of a whole plant: every loop of a loop-records file against a few services, each
// loop computed as the one-curve table computes it at that one length.
//
// A loop-records file is UTF-8 text, one header line (skipped whatever it says), then one loop per
// line: `id;cable;length[;sections]`, sections as CABLE:LENGTH joined by '+'. Blank lines are
// skipped, CRLF line ends and a byte-order mark accepted, one ';' ending a line is allowed (as
// the program's own CSV ends its lines).

// What a qualification asks: the services and the conditions every loop is computed under.
struct QualifySettings {
    // lineTypes are the services, in column order; noise, capacity, the norm frequencies and one
    // value each of load, ELFEXT, NEXT and margin are the conditions. The cables, sections and
    // lengths are the loops' own: those fields are not looked at.
    CalcSettings conditions;
    QVector<int> targets; // kbit/s: none, or one per line type in its order
};

// One loop of a loop-records file.
struct LoopRecord {
    QByteArray id;                  // as written
    QString cable;                  // the swept cable's template name
    int length = 0;                 // m, the whole loop
    QVector<CableSection> sections; // fixed sections in front of it, exchange side first
};

// Why a loop was not computed, in both languages: the output file says it in Russian whatever
// the program's language, as its header does; messages speak the program's own.
struct LoopProblem {
    QString english;
    QString russian;
    QString text() const; // in the message language
};

// Parses one data line, its line end removed. False with *problem when the line cannot be a loop
// (not UTF-8, too few or too many fields, no cable, a bad length, a bad section, sections longer
// than the loop); record->id is then still the line's first field.
bool parseLoopLine(QByteArrayView line, LoopRecord *record, LoopProblem *problem);

// One loop's answer for one service.
struct ServiceResult {
    float rate = 0;      // kbit/s at the loop's length under the conditions
    MarginAtRate margin; // at the service's target rate; only with targets
};

struct QualifiedLoop {
    qint64 line = 0;  // input line number, the header being line 1
    QByteArray id;    // UTF-8
    int problem = -1; // index into the chunk's (or table's) problems; -1 when computed
};

// Consecutive loops of the input, in input order.
struct QualifyChunk {
    QVector<QualifiedLoop> loops;
    QVector<ServiceResult> results; // one per service for every loop, loop after loop
    QVector<LoopProblem> problems;
};

struct QualifyOptions {
    int threads = 0; // computing threads; 0 = one per core
    // Watched between chunks and inside long evaluations; once true the run stops within a
    // fraction of a second.
    const std::atomic_bool *cancel = nullptr;
    // Input bytes consumed so far, after every chunk.
    std::function<void(qint64 bytes)> progress;
    int chunkLoops = 0; // loops per chunk; 0 = the default (some thousands)
    // Cable groups whose models and answers are kept from chunk to chunk; 0 = as many as a budget
    // of some megabytes holds.
    int keptGroups = 0;
};

// Computes loop records in chunks: the loops of a chunk are grouped by (cable, sections), each
// group's models are built once per service and its lengths evaluated in ascending order on the
// sweep's fast path, spread over the threads; answers are remembered per group and whole-metre
// length, so a plant's repeating lengths are computed once. Memory stays bounded whatever the
// number of loops: a chunk at a time, a bounded number of groups and remembered answers.
class PlantQualifier
{
public:
    // Reads and checks the line-type and noise templates under `workdir` ("" = the current
    // directory). Null with *error when one is missing, unreadable or unusable. The settings are
    // expected to pass CalcInput::validateLoopConditions.
    static std::unique_ptr<PlantQualifier> create(const QualifySettings &settings, const QString &workdir,
                                                  QString *error);
    ~PlantQualifier();

    const QualifySettings &settings() const;
    int services() const;

    // Warnings that came up since the last call, in the message language: templates the run takes
    // nothing from (no complete row), each named once.
    QStringList takeWarnings();

    // Reads `input` to its end and hands the results to `sink` chunk by chunk, in input order.
    // False with *error when the input cannot be read or the run was cancelled; false with
    // *error untouched when the sink returned false.
    bool run(QIODevice &input, const std::function<bool(const QualifyChunk &)> &sink, QString *error,
             const QualifyOptions &options = {});

    struct Private;

private:
    explicit PlantQualifier(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

// The output text, the same bytes from kolvane-calc and the GUI's export: UTF-8, LF line ends,
// every field followed by ';'. A header `id;` then per service `R,кбит/с <line>;` (with targets
// also `SNR Margin,дБ <line>;Годна <line>;`) and `Ошибка;`; then one line per loop: the id, the
// rate as the result table's CSV writes a float, the margin as marginText() writes it, "да" when
// the rate is at least the target, "нет" otherwise, and an empty error field; a refused loop
// has empty values and its reason (in Russian) in the error field.
class QualifyWriter
{
public:
    explicit QualifyWriter(const QualifySettings &settings);

    // The header fields without their ';'.
    static QStringList headers(const QualifySettings &settings);
    QByteArray header() const;
    void append(QByteArray &out, const QualifiedLoop &loop, const ServiceResult *results,
                const LoopProblem *problem);

    // The field texts of one loop.
    QByteArray rateText(float rate);
    QByteArray marginField(const MarginAtRate &margin);
    bool qualifies(int service, float rate) const;
    static QByteArray verdictText(bool qualifies); // "да" / "нет"
    // The reason as the error field holds it: Russian, no ';' or line break.
    static QByteArray problemField(const LoopProblem &problem);

private:
    QualifySettings m_settings;
    QByteArray m_header;
    QHash<quint32, QByteArray> m_rates; // by the rate's bits
    QVector<QByteArray> m_margins;      // by marginIndex()
};

// A whole run kept in memory, as the GUI shows it.
struct QualifyTable {
    QualifySettings settings;
    QVector<QualifiedLoop> loops;
    QVector<ServiceResult> results; // services per loop, loop after loop
    QVector<LoopProblem> problems;  // QualifiedLoop::problem indexes here

    void append(const QualifyChunk &chunk);
    int services() const { return settings.conditions.lineTypes.size(); }
    qint64 refused() const;
    // Loops whose rate reaches the service's target; 0 without targets.
    qint64 qualified(int service) const;
};

// The whole table as QualifyWriter writes it, in large blocks. False when a write fails.
bool writeQualifyTable(QIODevice &out, const QualifyTable &table);
