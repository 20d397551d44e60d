#pragma once

#include "engine/calcinput.h"
#include "engine/calcsettings.h"
#include "engine/curveset.h"
#include "engine/resultset.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

// What a run leaves behind: one row per length, the curve labels (the result table's header
// texts of columns 1..n, two lines "R,кбит/с\n<value>") and the largest rate, truncated.
// `warnings`: one sentence per template the run used but could take nothing from (no complete
// row), in the message language, naming it as "Cable/x.att"; the run still counts it as rate 0.
struct SweepResult {
    ResultSet rows;
    QStringList labels;
    int maxRate = 0;
    QStringList warnings;
};

// Progress of a run in stages: one stage per curve for a family of cables or line types,
// one stage for the whole run otherwise. `begin` gets the name shown in "Вычисляю для %1";
// `step` gets 0..100 before each length point; `end` closes the stage. Any may be empty.
// `cancel`, when given, is watched from another thread: once it is true the run stops within
// a fraction of a second, even inside one long length point.
struct SweepProgress {
    std::function<void(const QString &name)> begin;
    std::function<void(int value)> step;
    std::function<void()> end;
    const std::atomic_bool *cancel = nullptr;
};

// Runs the whole family of curves for `settings` on the templates under `workdir`
// ("" = the current directory). On bad input (no cable or line type, a template name that
// leaves its directory, an unreadable or invalid template, an empty sweep) returns nullopt
// with a message naming the cause in *error; also nullopt when cancelled. *loaded receives the
// curves the run loaded, so that what else is computed from them reads the templates only once.
std::optional<SweepResult> runSweep(const CalcSettings &settings, const QString &workdir,
                                    QString *error, const SweepProgress &progress = {},
                                    std::optional<CurveSet> *loaded = nullptr);

// The checks runSweep makes before it reads a template: a cable and a line type chosen, and
// CalcInput's run checks. False with *error naming the cause (the templates under `workdir`).
bool checkRun(const CalcSettings &settings, const QString &workdir, QString *error);

// The progress value before point k of the grid from, from + step, ... <= to:
// step·100 / (to - from) · k truncated, 100 when from = to.
int gridProgress(int from, int to, int step, int point);

// "The calculation was cancelled", in the message language.
QString cancelledMessage();

// The rates of every curve of `set` (loaded from `settings`) over a grid of points, each curve
// at its model's loop length there: lengths[model][point], below 0 where the point has no loop
// (rate 0). Row k's `length` is axis[k]. Progress in runSweep's stages, progressValue(k) before
// point k. nullopt when cancelled.
std::optional<SweepResult> sweepCurves(const CalcSettings &settings, const CurveSet &set,
                                       const QVector<float> &axis, const QVector<QVector<float>> &lengths,
                                       const std::function<int(int point)> &progressValue,
                                       const SweepProgress &progress = {});
