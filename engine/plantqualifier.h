#pragma once

#include "engine/calcsettings.h"
#include "engine/looprecords.h"
#include "engine/reach.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class QIODevice;

// Qualification of a whole plant: every loop of a loop-records file against a few services, each
// loop computed as the one-curve table computes it at that one length.

// What a qualification asks: the services and the conditions every loop is computed under.
struct QualifySettings {
    // lineTypes are the services, in column order; noise, capacity, the norm frequencies and one
    // value each of load, ELFEXT, NEXT and margin are the conditions; lossFrequency converts the
    // losses that loop records give instead of lengths. The cables, sections and
    // lengths are the loops' own: those fields are not looked at.
    CalcSettings conditions;
    QVector<int> targets; // kbit/s: none, or one per line type in its order
    int services() const { return conditions.lineTypes.size(); }
};

// One loop's answer for one service.
struct ServiceResult {
    float rate = 0;      // kbit/s at the loop's length under the conditions
    MarginAtRate margin; // at the service's target rate; only with targets
};

// The cable and sections a computed loop is made of.
struct LoopPlan {
    QString cable;
    QVector<CableSection> sections;
};

struct QualifiedLoop {
    qint64 line = 0;  // input line number, the header being line 1
    QByteArray id;    // UTF-8, as loopIdShown() gives it
    int problem = -1; // index into the chunk's problems; -1 when computed
    int plan = -1;    // index into the chunk's plans when computed
    int length = 0;   // m, when computed
    int loss = -1;    // tenths of a dB when the record gave the loop's loss, converted to `length`
};

// Consecutive loops of the input, in input order.
struct QualifyChunk {
    QVector<QualifiedLoop> loops;
    QVector<ServiceResult> results; // one per service for every loop, loop after loop
    QVector<LoopProblem> problems;
    QVector<LoopPlan> plans;
};

struct QualifyOptions {
    int threads = 0; // computing threads; 0 = one per core
    // Watched between lines and inside long evaluations; once true the run stops within a
    // fraction of a second.
    const std::atomic_bool *cancel = nullptr;
    // The input bytes the run has got through: after every chunk, and within a chunk in
    // proportion to the work done. Called on the thread that called run().
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
