#pragma once

#include "engine/calcsettings.h"
#include "engine/resultset.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What a run leaves behind: one row per length, the curve labels (the result table's header
// texts of columns 1..n, two lines "R,кбит/с\n<value>") and the largest rate, truncated.
struct SweepResult {
    ResultSet rows;
    QStringList labels;
    int maxRate = 0;
};

// Progress of a run in stages: one stage per curve for a family of cables or line types,
// one stage for the whole run otherwise. `begin` gets the name shown in "Вычисляю для %1";
// `step` gets 0..100 before each length point; `end` closes the stage. Any may be empty.
struct SweepProgress {
    std::function<void(const QString &name)> begin;
    std::function<void(int value)> step;
    std::function<void()> end;
};

// Runs the whole family of curves for `settings` on the templates under `workdir`
// ("" = the current directory). On bad input (no cable or line type, an unreadable or
// invalid template, an empty sweep) returns nullopt with a message naming the cause in *error.
std::optional<SweepResult> runSweep(const CalcSettings &settings, const QString &workdir,
                                    QString *error, const SweepProgress &progress = {});
