#include "app/progressrunner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutexLocker>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QWindow>

#include <memory>

namespace {

// Between the stages there is no modal dialog, yet the window must not take commands while a
// job runs: user input goes only to the current progress dialog.
class InputBlocker : public QObject
{
public:
    explicit InputBlocker(const QPointer<QProgressDialog> &dialog) : m_dialog(dialog)
    {
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            break;
        default:
            return false;
        }
        if (!m_dialog)
            return true;
        if (auto *widget = qobject_cast<QWidget *>(object))
            return widget->window() != m_dialog;
        if (auto *window = qobject_cast<QWindow *>(object))
            return window != m_dialog->windowHandle();
        return true;
    }

private:
    const QPointer<QProgressDialog> &m_dialog;
};

QProgressDialog *openStage(QWidget *parent, const QString &label, ProgressReporter &reporter)
{
    auto *dialog = new QProgressDialog(label, QApplication::translate("ProgressRunner", "Отмена"), 0, 100,
                                       parent);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setMinimumDuration(0);
    // The last value stays painted until the stage ends; the stage decides when it closes.
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    QObject::connect(dialog, &QProgressDialog::canceled, dialog, [&reporter] { reporter.cancel(); });
    // Escape rejects the dialog without the canceled() signal.
    QObject::connect(dialog, &QDialog::rejected, dialog, [&reporter] { reporter.cancel(); });
    dialog->show();
    // A window paints only once the window system has shown it; wait for that briefly.
    QElapsedTimer shown;
    shown.start();
    while (dialog->windowHandle() && !dialog->windowHandle()->isExposed() && shown.elapsed() < 250)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    return dialog;
}

} // namespace

void ProgressReporter::begin(const QString &label)
{
    post({Kind::Begin, label, 0});
}

void ProgressReporter::step(int value)
{
    post({Kind::Step, QString(), value});
}

void ProgressReporter::end()
{
    post({Kind::End, QString(), 0});
}

void ProgressReporter::post(const Event &event)
{
    bool first = false;
    {
        const QMutexLocker lock(&m_mutex);
        first = m_events.isEmpty();
        m_events.append(event);
    }
    // One wake-up per batch: the window takes everything posted until then.
    if (first && m_wake)
        m_wake();
}

std::optional<ProgressReporter::Event> ProgressReporter::take()
{
    const QMutexLocker lock(&m_mutex);
    if (m_events.isEmpty())
        return std::nullopt;
    return m_events.takeFirst();
}

bool runWithProgress(QWidget *parent, const std::function<void(ProgressReporter &)> &job)
{
    ProgressReporter reporter;
    QPointer<QProgressDialog> dialog;
    const InputBlocker blocker(dialog);
    // Queued wake-ups die with this object if the job is already over.
    QObject context;
    bool pumping = false;

    // Shows the posted events in order. A modal dialog's setValue() and the wait for a new
    // window process events, which may bring the next wake-up: it finds the loop still going.
    const std::function<void()> pump = [&] {
        if (pumping)
            return;
        pumping = true;
        while (const std::optional<ProgressReporter::Event> event = reporter.take()) {
            // After a cancel the dialog stays closed; nothing more is shown.
            if (reporter.isCancelled())
                continue;
            switch (event->kind) {
            case ProgressReporter::Kind::Begin:
                delete dialog;
                dialog = openStage(parent, event->label, reporter);
                break;
            case ProgressReporter::Kind::Step:
                if (dialog && dialog->value() != event->value) {
                    dialog->setValue(event->value);
                    if (dialog)
                        dialog->repaint();
                }
                break;
            case ProgressReporter::Kind::End:
                delete dialog;
                break;
            }
        }
        pumping = false;
    };
    reporter.m_wake = [&context, &pump] { QMetaObject::invokeMethod(&context, pump, Qt::QueuedConnection); };

    std::unique_ptr<QThread> worker(QThread::create([&job, &reporter] { job(reporter); }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    // The last stages may still wait to be shown.
    pump();
    delete dialog;
    return !reporter.isCancelled();
}
