#pragma once

#include "engine/calcsettings.h"
#include "engine/curveset.h"
#include "engine/filewrite.h"
#include "engine/reach.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <optional>

class QTextStream;

// The planner's two questions for every curve of a run: how far each target rate reaches, and
// how much margin each length keeps at one target rate.

// Reach of every target rate on every curve over one length grid.
struct ReachTable {
    QVector<int> targets;            // kbit/s, one row each
    QStringList curves;              // Curve::name of each column
    QVector<QVector<Reach>> reaches; // [target][curve]
    int from = 0;                    // the grid from, from + step, ... <= to, m
    int to = 0;
    int step = 0;
};

// The margin at one target rate of every curve at every length.
struct MarginTable {
    int target = 0;                          // kbit/s
    QStringList curves;                      // Curve::name of each column
    QVector<float> lengths;                  // m, one row each
    QVector<QVector<MarginAtRate>> margins;  // [length][curve]
};

// The advance 0..100 and the cancel flag (watched from another thread) of reach and margin work.
struct TargetProgress {
    std::function<void(int value)> step;
    const std::atomic_bool *cancel = nullptr;
};

// Reach of `targets` (strictly increasing) for every curve of `set` over the grid; nullopt when
// cancelled.
std::optional<ReachTable> computeReachTable(const CurveSet &set, const QVector<int> &targets, int from, int to,
                                            int step, const TargetProgress &progress = {});
// Margin at `target` for every curve of `set` at `lengths` (ascending is the fast case); the
// curves' own margins play no part. nullopt when cancelled.
std::optional<MarginTable> computeMarginTable(const CurveSet &set, int target, const QVector<float> &lengths,
                                              const TargetProgress &progress = {});

// The grid a run's reach is walked on, m.
constexpr int RunReachStep = 10;

// What a run with target rates shows besides its rates: reach at a RunReachStep grid over the
// run's length range, and the margin at the first target rate at every length of the run.
struct TargetTables {
    ReachTable reach;
    MarginTable margin;
};

// The lengths of a run: from, from + step, ... <= to.
QVector<float> runLengths(const CalcSettings &settings);

// The tables of a run whose record has target rates, for curves loaded from that record.
// nullopt when the record has none, or when cancelled.
std::optional<TargetTables> computeTargetTables(const CalcSettings &settings, const CurveSet &set,
                                                const TargetProgress &progress = {});

// Loads the record's curves from the workspace under `workdir` and computes its tables. nullopt
// with *error when the record has no target rate, a template cannot be used, or the work was
// cancelled.
std::optional<TargetTables> runTargetTables(const CalcSettings &settings, const QString &workdir, QString *error,
                                            const TargetProgress &progress = {});

// The tables as `kolvane-calc reach` and `margin` print them: UTF-8, LF, every field followed by
// ';'. Headers "R,кбит/с;L,м <curve>;..." and "L,м;SNR Margin,дБ <curve>;...".
void writeReachCsv(QTextStream &out, const ReachTable &table);
void writeMarginCsv(QTextStream &out, const MarginTable &table);
// The same as the content of writeFileSafely.
ContentWriter reachCsvContent(const ReachTable &table);
ContentWriter marginCsvContent(const MarginTable &table);

// A header field of these tables as the rate table's CSV writes its labels: the quantity and
// the curve on one line, single blanks.
QString targetHeaderField(const QString &quantity, const QString &curve);
