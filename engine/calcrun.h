#pragma once

#include "engine/calcsettings.h"
#include "engine/loss.h"
#include "engine/sweep.h"
#include "engine/targettables.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

// One calculation as every window shows it and every export writes it: the record it ran (its
// maxRate written), the sweep's rows, curve labels and warnings, and, when the record names target
// rates, the reach and margin tables of the sweep's own curves: over lengths, or over losses on a
// loss axis.
struct CalcRun {
    CalcSettings settings;
    SweepResult sweep;
    std::optional<TargetTables> targets;         // on a length axis
    std::optional<LossTargetTables> lossTargets; // on a loss axis
    bool hasTargets() const { return targets || lossTargets; }
};

// The stages of a run: the sweep's (begin gets the name of "Вычисляю для %1"), then, with target
// rates, one stage of reach and margin (beginTargets). `step` gets 0..100 within a stage, `end`
// closes it. `cancel`, watched from another thread, stops the run within a fraction of a second.
struct CalcRunProgress {
    std::function<void(const QString &name)> begin;
    std::function<void()> beginTargets;
    std::function<void(int value)> step;
    std::function<void()> end;
    const std::atomic_bool *cancel = nullptr;
};

// The record's sweep on the axis it names: runSweep over its lengths, or runLossSweep over its
// losses at its reference frequency.
std::optional<SweepResult> runAxisSweep(const CalcSettings &settings, const QString &workdir, QString *error,
                                        const SweepProgress &progress = {},
                                        std::optional<CurveSet> *loaded = nullptr);

// Runs `settings` on the templates under `workdir` ("" = the current directory), reading them
// once for the rates and the target tables. nullopt with *error on bad input (as runSweep) and
// when cancelled.
std::optional<CalcRun> runCalculation(const CalcSettings &settings, const QString &workdir, QString *error,
                                      const CalcRunProgress &progress = {});

// The result table's column headers: the axis ("L,м", "A,дБ@300кГц"), then one label per curve.
QStringList resultHeader(const CalcSettings &settings, const SweepResult &sweep);

// The reach and margin tables of a run as kolvane-calc reach and margin write them; an empty
// content for a run without target rates.
ContentWriter reachCsvContent(const CalcRun &run);
ContentWriter marginCsvContent(const CalcRun &run);
