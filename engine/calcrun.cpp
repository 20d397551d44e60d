#include "engine/calcrun.h"

#include "engine/checks.h"
#include "engine/messages.h"

std::optional<SweepResult> runAxisSweep(const CalcSettings &settings, const QString &workdir, QString *error,
                                        const SweepProgress &progress, std::optional<CurveSet> *loaded)
{
    if (settings.axis == SweepAxis::Loss)
        return runLossSweep(settings, workdir, lossGrid(settings), settings.lossFrequency, error, progress, loaded);
    return runSweep(settings, workdir, error, progress, loaded);
}

std::optional<CalcRun> runCalculation(const CalcSettings &settings, const QString &workdir, QString *error,
                                      const CalcRunProgress &progress)
{
    SweepProgress sweepProgress{progress.begin, progress.step, progress.end, progress.cancel};
    std::optional<CurveSet> curves;
    std::optional<SweepResult> sweep = runAxisSweep(settings, workdir, error, sweepProgress, &curves);
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
    const TargetProgress targetProgress{progress.step, progress.cancel};
    if (settings.axis == SweepAxis::Loss)
        run.lossTargets = computeLossTargetTables(settings, *curves, targetProgress);
    else
        run.targets = computeTargetTables(settings, *curves, targetProgress);
    if (progress.end)
        progress.end();
    if (!run.hasTargets()) {
        fail(error, localized("The calculation was cancelled", "Расчёт отменён"));
        return std::nullopt;
    }
    return run;
}

QStringList resultHeader(const CalcSettings &settings, const SweepResult &sweep)
{
    return QStringList{axisCaption(settings)} + sweep.labels;
}

ContentWriter reachCsvContent(const CalcRun &run)
{
    if (run.lossTargets)
        return lossReachCsvContent(run.lossTargets->reach);
    return run.targets ? reachCsvContent(run.targets->reach) : textContent([](QTextStream &) {});
}

ContentWriter marginCsvContent(const CalcRun &run)
{
    if (run.lossTargets)
        return lossMarginCsvContent(run.lossTargets->margin);
    return run.targets ? marginCsvContent(run.targets->margin) : textContent([](QTextStream &) {});
}
