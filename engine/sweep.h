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

