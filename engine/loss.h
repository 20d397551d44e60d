#pragma once

#include "engine/calcinput.h"
#include "engine/calcsettings.h"
#include "engine/curveset.h"
#include "engine/filewrite.h"
#include "engine/lineratemodel.h"
#include "engine/reach.h"
#include "engine/sweep.h"
#include "engine/targettables.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class QTextStream;

// Loops given by their loss in dB at a reference frequency, as plant records and line tests
// give them, instead of their length. A loss becomes a loop length through the curve's own
// cables; every rate, margin or tone is then computed at that length. Losses are held in whole
// tenths of a dB, so that a grid never accumulates floating steps.

// The grid a run's reach is walked on over losses, tenths of a dB (RunReachStep's counterpart).
constexpr int RunLossReachStep = 1;

// The loss in dB of `tenths` tenths, as the conversion takes it.
double lossValue(int tenths);
// The shortest text of a loss: "0", "12", "12.5".
QString lossText(int tenths);
// The axis caption of losses at the reference frequency: "A,дБ@300кГц".
QString lossCaption(int referenceFrequency);

// Losses from, from + step, ... <= to, in tenths of a dB.
struct LossGrid {
    int from = CalcInput::DefaultLossFrom;
    int to = CalcInput::DefaultLossTo;
    int step = CalcInput::DefaultLossStep;
    // Empty when step < 1 or from > to.
    QVector<int> points() const;
    bool operator==(const LossGrid &o) const { return from == o.from && to == o.to && step == o.step; }
};

// The record's own loss grid.
LossGrid lossGrid(const CalcSettings &settings);
// The loss in tenths of a dB of a row of a sweep over losses (its `length`).
int rowLossTenths(float rowLength);
// The caption of the axis a record sweeps: "L,м", or lossCaption at its reference frequency.
QString axisCaption(const CalcSettings &settings);

// What turns a loss into a loop length on one curve: the swept cable's attenuation and the
// fixed sections' loss, both at the reference frequency.
class LossConversion
{
public:
    LossConversion(const CableTemplate &swept, const QVector<LoopSection> &sections, int referenceFrequency);

    // The length (m) of the loop whose loss is `loss` dB: the sections, then the swept cable's
    // length (A - S) / aRef km to the nearest metre. nullopt when no loop has that loss (a cable
    // without a complete row, aRef not above 0, a loss below the sections' own or a loop beyond
    // the longest length), with *why in the message language.
    std::optional<int> length(double loss, QString *why = nullptr) const;

    float referenceAttenuation() const { return m_aRef; } // aRef, dB/km
    double sectionsLoss() const { return m_sectionsLoss; } // S, dB

private:
    int m_frequency;
    bool m_rows = false; // every cable has a complete row
    float m_aRef = 0;
    double m_sectionsLoss = 0;
    int m_sectionsLength = 0;
};

// The record's checks for a run over losses: runSweep's, the length fields aside (they play no
// part, and a loss grid may start below the sections' own loss).
bool checkLossRun(const CalcSettings &settings, const QString &workdir, QString *error);

// Every curve of `set` (loaded from `settings`) over the loss grid at `referenceFrequency` kHz,
// each curve at the loop its own cable and the sections give. Row `length` is the loss in dB,
// row `loops` each curve's loop length or ResultRow::NoLoop. nullopt when cancelled.
std::optional<SweepResult> sweepLosses(const CalcSettings &settings, const CurveSet &set, const LossGrid &grid,
                                       int referenceFrequency, const SweepProgress &progress = {});
// runSweep over losses: checks the record, loads its curves (into *loaded when given) and sweeps.
// nullopt with *error on bad input, an empty grid or when cancelled.
std::optional<SweepResult> runLossSweep(const CalcSettings &settings, const QString &workdir, const LossGrid &grid,
                                        int referenceFrequency, QString *error, const SweepProgress &progress = {},
                                        std::optional<CurveSet> *loaded = nullptr);

// How far one target rate reaches on a loss grid: Reach's kinds, the loss in tenths of a dB.
struct LossReach {
    Reach::Kind kind = Reach::None;
    int tenths = 0;
    bool operator==(const LossReach &o) const { return kind == o.kind && tenths == o.tenths; }
};
// "-", "31.5", ">60".
QString lossReachText(const LossReach &reach);

// Reach of every target rate on every curve over a loss grid.
struct LossReachTable {
    QVector<int> targets;                // kbit/s, one row each
    QStringList curves;                  // Curve::name of each column
    QVector<QVector<LossReach>> reaches; // [target][curve]
    LossGrid grid;
    int referenceFrequency = CalcInput::DefaultLossFrequency;
};

// The margin at one target rate of every curve at every loss of a grid.
struct LossMarginTable {
    int target = 0;                                        // kbit/s
    QStringList curves;                                    // Curve::name of each column
    QVector<int> losses;                                   // tenths of a dB, one row each
    QVector<QVector<std::optional<MarginAtRate>>> margins; // [loss][curve], none without a loop
    int referenceFrequency = CalcInput::DefaultLossFrequency;
};

// Reach of `targets` (strictly increasing): for each curve the grid is walked upwards, points
// without a loop skipped, up to the first point whose rate falls short of a target. The cell is
// the last passing loss; None when the first point with a loop already falls short or no point
// has a loop; Beyond with the last loss that has a loop when none falls short. nullopt when
// cancelled.
std::optional<LossReachTable> computeLossReachTable(const CurveSet &set, const QVector<int> &targets,
                                                    const LossGrid &grid, int referenceFrequency,
                                                    const TargetProgress &progress = {});
// Margin at `target` for every curve at every loss of the grid; the curves' own margins play no
// part. nullopt when cancelled.
std::optional<LossMarginTable> computeLossMarginTable(const CurveSet &set, int target, const LossGrid &grid,
                                                      int referenceFrequency, const TargetProgress &progress = {});

// What a run over losses with target rates shows besides its rates: reach on a RunLossReachStep
// grid over the run's loss range, and the margin at the first target rate at every loss of the run.
struct LossTargetTables {
    LossReachTable reach;
    LossMarginTable margin;
};
// The tables of a loss run whose record has target rates, for curves loaded from that record.
// nullopt when the record has none, or when cancelled.
std::optional<LossTargetTables> computeLossTargetTables(const CalcSettings &settings, const CurveSet &set,
                                                        const TargetProgress &progress = {});

// The tables as text, as the length tables are written: headers "R,кбит/с;A,дБ@300кГц <curve>;..."
// and "A,дБ@300кГц;SNR Margin,дБ <curve>;...", losses by lossText, "-" where there is no loop.
void writeLossReachCsv(QTextStream &out, const LossReachTable &table);
void writeLossMarginCsv(QTextStream &out, const LossMarginTable &table);
ContentWriter lossReachCsvContent(const LossReachTable &table);
ContentWriter lossMarginCsvContent(const LossMarginTable &table);
