#pragma once

#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

class QWidget;

// What a job running on a worker thread hands back to the window: stages with their own
// progress dialog each, the advance within a stage, and whether the user has cancelled.
// Every call may come from the worker thread.
class ProgressReporter
{
public:
    // Opens a stage: a fresh dialog showing `label`.
    void begin(const QString &label);
    // 0..100 within the current stage; a value equal to the last one is not shown again.
    void step(int value);
    // Closes the current stage's dialog.
    void end();

    bool isCancelled() const { return m_cancelled.load(); }
    // For engine functions that watch a flag themselves (SweepProgress::cancel).
    const std::atomic_bool *cancelFlag() const { return &m_cancelled; }
    void cancel() { m_cancelled.store(true); }

private:
    friend bool runWithProgress(QWidget *, const std::function<void(ProgressReporter &)> &);

    enum class Kind { Begin, Step, End };
    struct Event {
        Kind kind;
        QString label;
        int value = 0;
    };
    void post(const Event &event);
    std::optional<Event> take();

    QMutex m_mutex;
    QList<Event> m_events;
    std::function<void()> m_wake; // asks the window's thread to show what was posted
    std::atomic_bool m_cancelled{false};
};

// Runs `job` on a worker thread and returns when it has finished: true, or false when the
// user cancelled it (the job is expected to stop soon after, through isCancelled() or
// cancelFlag(); its results are then to be dropped). Meanwhile an application-modal progress
// dialog with "Отмена" per stage shows the advance, parented to `parent`, and user input to
// other windows is held back. The job must not touch widgets.
bool runWithProgress(QWidget *parent, const std::function<void(ProgressReporter &)> &job);
