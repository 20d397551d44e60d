#include "app/lastrun.h"

#include "app/progressrunner.h"


LastRun::LastRun(QObject *parent)
    : QObject(parent)
{
}

LastRun::~LastRun() = default;

LastRun::Outcome LastRun::run(QWidget *progressParent, const CalcSettings &settings, QString *error)
{
    std::optional<CalcRun> result;
    // The sweep runs on a worker thread, so the progress dialog's "Отмена" can be clicked.
    const bool finished = runWithProgress(progressParent, [&](ProgressReporter &reporter) {
        CalcRunProgress progress;
        progress.begin = [&reporter](const QString &name) { reporter.begin(tr("Вычисляю для %1").arg(name)); };
        progress.beginTargets = [&reporter] { reporter.begin(tr("Вычисляю дальность и запас")); };
        progress.step = [&reporter](int value) { reporter.step(value); };
        progress.end = [&reporter] { reporter.end(); };
        progress.cancel = reporter.cancelFlag();
        result = runCalculation(settings, QString(), error, progress);
    });
    if (!finished)
        return Outcome::Cancelled;
    if (!result)
        return Outcome::Refused;
    m_run = std::make_unique<const CalcRun>(std::move(*result));
    emit changed();
    return Outcome::Done;
}
