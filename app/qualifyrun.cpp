#include "app/qualifyrun.h"

#include "engine/translate.h"
#include "app/progressrunner.h"
#include "engine/fileread.h"
#include "engine/filewrite.h"
#include "engine/looprecords.h"
#include "input/qualifydialog.h"
#include "report/qualifywindow.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>

#include <optional>

namespace {

KOLVANE_TR_CONTEXT("QualifyRun")

// Opened without waiting: a named pipe would hold the worker, and with it the window, until some
// writer came along. Only a regular file (or a link to one) is read.
bool openLoops(const QString &path, QFile &file, QString *error)
{
    QString reason;
    if (openFileForReading(file, path, &reason))
        return true;
    *error = tr("Не удаётся прочитать %1: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
}

using Work = std::function<bool(PlantQualifier &, QFile &input, const QualifyOptions &, QString *error)>;

// Runs `work` over the loop records on a worker thread behind a progress dialog.
QualifyOutcome qualifyInBackground(QWidget *parent, const QualifySettings &settings, const QString &loopsFile,
                                   const QString &workdir, const Work &work)
{
    QualifyOutcome outcome;
    const bool finished = runWithProgress(parent, [&](ProgressReporter &reporter) {
        reporter.begin(tr("Проверка линий: %1").arg(QFileInfo(loopsFile).fileName()));
        const std::unique_ptr<PlantQualifier> qualifier =
            PlantQualifier::create(settings, workdir, &outcome.error);
        if (!qualifier)
            return;
        QFile input;
        if (!openLoops(loopsFile, input, &outcome.error))
            return;
        const qint64 size = input.size();
        QualifyOptions options;
        options.cancel = reporter.cancelFlag();
        options.progress = [&reporter, size](qint64 bytes) {
            if (size > 0)
                reporter.step(int(std::min<qint64>(100, bytes * 100 / size)));
        };
        if (work(*qualifier, input, options, &outcome.error))
            outcome.error.clear();
        else if (outcome.error.isEmpty())
            outcome.error = tr("Проверка линий не выполнена");
        outcome.warnings = qualifier->takeWarnings();
        reporter.end();
    });
    if (!finished) {
        outcome.cancelled = true;
        outcome.error.clear();
    }
    return outcome;
}

// The loops of the file as the run reads them; nullopt when the user cancelled the count.
std::optional<qint64> countLoops(QWidget *parent, const QString &path)
{
    qint64 loops = 0;
    const bool finished = runWithProgress(parent, [&](ProgressReporter &reporter) {
        reporter.begin(tr("Подсчёт линий: %1").arg(QFileInfo(path).fileName()));
        QFile input;
        QString error;
        if (!openLoops(path, input, &error))
            return; // the run says why
        const qint64 size = std::max<qint64>(1, input.size());
        LoopRecordsReader reader(input);
        LoopRecordsReader::Line line;
        while (reader.next(&line)) {
            if ((++loops & 0xffff) == 0) {
                if (reporter.isCancelled())
                    return;
                reporter.step(int(std::min<qint64>(100, reader.bytesRead() * 100 / size)));
            }
        }
        reporter.end();
    });
    if (!finished)
        return std::nullopt;
    return loops;
}

enum class Destination { Window, File, Nowhere };

Destination askDestination(QWidget *parent, const QString &loopsFile, qint64 loops)
{
    QMessageBox box(QMessageBox::Question, tr("Kolvane"),
                    tr("В файле %1 линий: %2. Таблица такого размера в окне займёт много памяти; результат "
                       "можно сразу записать в файл CSV — те же байты, что выводит kolvane-calc qualify.")
                        .arg(QDir::toNativeSeparators(loopsFile), QString::number(loops)),
                    QMessageBox::Save | QMessageBox::Open | QMessageBox::Cancel, parent);
    box.button(QMessageBox::Save)->setText(tr("&Записать в файл CSV..."));
    box.button(QMessageBox::Open)->setText(tr("&Показать в окне"));
    box.button(QMessageBox::Cancel)->setText(tr("Отмена"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save: return Destination::File;
    case QMessageBox::Open: return Destination::Window;
    default: return Destination::Nowhere;
    }
}

void reportWritten(QWidget *parent, const QualifyOutcome &outcome, const QString &target,
                   const std::function<void(const QString &)> &status)
{
    if (outcome.cancelled) {
        status(tr("Проверка линий отменена"));
        return;
    }
    if (!outcome.error.isEmpty()) {
        QMessageBox::warning(parent, tr("Kolvane"), tr("Проверка линий не выполнена.\n%1").arg(outcome.error));
        return;
    }
    QString text = tr("Линий: %1; не рассчитано: %2. Сохранено: %3")
                       .arg(QString::number(outcome.written.loops), QString::number(outcome.written.refused),
                            QDir::toNativeSeparators(target));
    if (!outcome.warnings.isEmpty())
        text += QStringLiteral("  ") + outcome.warnings.join(QStringLiteral("  "));
    status(text);
}

} // namespace

QualifyOutcome runQualification(QWidget *parent, const QualifySettings &settings, const QString &loopsFile,
                                const QString &workdir)
{
    auto table = std::make_shared<QualifyTable>(settings);
    QualifyOutcome outcome = qualifyInBackground(
        parent, settings, loopsFile, workdir,
        [&table](PlantQualifier &qualifier, QFile &input, const QualifyOptions &options, QString *error) {
            return qualifier.run(
                input,
                [&table](const QualifyChunk &chunk) {
                    table->append(chunk);
                    return true;
                },
                error, options);
        });
    if (!outcome.cancelled && outcome.error.isEmpty()) {
        table->finish();
        outcome.table = std::move(table);
    }
    return outcome;
}

QualifyOutcome writeQualification(QWidget *parent, const QualifySettings &settings, const QString &loopsFile,
                                  const QString &target, const QString &workdir)
{
    QualifyStreamOutcome written;
    QualifyOutcome outcome = qualifyInBackground(
        parent, settings, loopsFile, workdir,
        [&](PlantQualifier &qualifier, QFile &input, const QualifyOptions &options, QString *error) {
            QString reason;
            const bool done = writeFileStreamed(
                target,
                [&](QIODevice &out, QString *) { return streamQualification(qualifier, input, out, &written, options); },
                &reason, PipeReader::DontWait);
            if (!done)
                *error = written.error.isEmpty() || written.writeFailed
                             ? tr("Не удалось сохранить файл %1:\n%2").arg(QDir::toNativeSeparators(target), reason)
                             : written.error;
            return done;
        });
    outcome.written = written;
    return outcome;
}

bool qualifyLoops(QWidget *parent, QMdiArea *area, const CalcSettings &preset,
                  const std::function<void(const QString &)> &status, qint64 windowLoops)
{
    QualifyDialog dialog(preset, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString loopsFile = dialog.loopsFile();
    const QualifySettings settings = dialog.settings();
    // Every loop takes a line of two bytes at least: a smaller file is not worth counting.
    if (QFileInfo(loopsFile).size() > 2 * windowLoops) {
        const std::optional<qint64> loops = countLoops(parent, loopsFile);
        if (!loops) {
            status(tr("Проверка линий отменена"));
            return false;
        }
        if (*loops > windowLoops) {
            switch (askDestination(parent, loopsFile, *loops)) {
            case Destination::Nowhere:
                return false;
            case Destination::File: {
                const QString target = QualifyWindow::askCsvPath(parent, loopsFile);
                if (target.isEmpty())
                    return false;
                reportWritten(parent, writeQualification(parent, settings, loopsFile, target), target, status);
                return false;
            }
            case Destination::Window:
                break;
            }
        }
    }
    const QualifyOutcome outcome = runQualification(parent, settings, loopsFile);
    if (outcome.cancelled) {
        status(tr("Проверка линий отменена"));
        return false;
    }
    if (!outcome.table) {
        QMessageBox::warning(parent, tr("Kolvane"), tr("Проверка линий не выполнена.\n%1").arg(outcome.error));
        return false;
    }
    auto *window = new QualifyWindow(outcome.table, loopsFile);
    QObject::connect(window, &QualifyWindow::exported, window, [status](const QString &path) {
        status(tr("Сохранено: %1").arg(QDir::toNativeSeparators(path)));
    });
    QMdiSubWindow *sub = area->addSubWindow(window);
    sub->resize(900, 480);
    sub->show();
    // Templates the run took nothing from: their loops are there (at 0), the reason here.
    status(outcome.warnings.isEmpty() ? window->summary() : outcome.warnings.join(QStringLiteral("  ")));
    return true;
}
