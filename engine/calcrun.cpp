#include "engine/calcrun.h"

#include "engine/checks.h"
#include "engine/messages.h"

std::optional<CalcRun> runCalculation(const CalcSettings &settings, const QString &workdir, QString *error,
                                      const CalcRunProgress &progress)
{
    SweepProgress sweepProgress{progress.begin, progress.step, progress.end, progress.cancel};
    std::optional<CurveSet> curves;
    std::optional<SweepResult> sweep = runSweep(settings, workdir, error, sweepProgress, &curves);
    if (!sweep)
        return std::nullopt;
    CalcRun run;
    run.settings = settings;
    run.settings.maxRate = sweep->maxRate;
    run.sweep = std::move(*sweep);
    if (settings.targetRates.isEmpty())
        return run;
    if (progress.beginTargets)
        progress.beginTargets();
    run.targets = computeTargetTables(settings, *curves, TargetProgress{progress.step, progress.cancel});
    if (progress.end)
        progress.end();
    if (!run.targets) {
        fail(error, localized("The calculation was cancelled", "Расчёт отменён"));
        return std::nullopt;
    }
    return run;
}

QStringList resultHeader(const SweepResult &sweep)
{
    return QStringList{QStringLiteral("L,м")} + sweep.labels;
}
