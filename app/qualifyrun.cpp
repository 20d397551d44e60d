#include "app/qualifyrun.h"

#include "app/progressrunner.h"
#include "engine/filewrite.h"
#include "input/qualifydialog.h"
#include "report/qualifywindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("QualifyRun", text);
}

// Opened without waiting: a named pipe would hold the worker, and with it the window, until some
// writer came along. Only a regular file (or a link to one) is read.
bool openLoops(const QString &path, QFile &file, QString *error)
{
    const QString shown = QDir::toNativeSeparators(path);
    int fd;
    do {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = tr("Не удаётся прочитать %1: %2").arg(shown, systemErrorText(errno));
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = tr("%1 не является обычным файлом").arg(shown);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = tr("Не удаётся прочитать %1: %2").arg(shown, file.errorString());
        return false;
    }
    return true;
}

} // namespace

QualifyOutcome runQualification(QWidget *parent, const QualifySettings &settings, const QString &loopsFile,
                                const QString &workdir)
{
    QualifyOutcome outcome;
    auto table = std::make_shared<QualifyTable>();
    table->settings = settings;
    bool ok = false;
    const bool finished = runWithProgress(parent, [&](ProgressReporter &reporter) {
        reporter.begin(tr("Проверка линий: %1").arg(QFileInfo(loopsFile).fileName()));
        const std::unique_ptr<PlantQualifier> qualifier =
            PlantQualifier::create(settings, workdir, &outcome.error);
        if (!qualifier)
            return;
        QFile input;
        if (!openLoops(loopsFile, input, &outcome.error))
            return;
        const qint64 size = input.isSequential() ? 0 : input.size();
        QualifyOptions options;
        options.cancel = reporter.cancelFlag();
        options.progress = [&reporter, size](qint64 bytes) {
            if (size > 0)
                reporter.step(int(std::min<qint64>(100, bytes * 100 / size)));
        };
        ok = qualifier->run(
            input,
            [&](const QualifyChunk &chunk) {
                table->append(chunk);
                return true;
            },
            &outcome.error, options);
        outcome.warnings = qualifier->takeWarnings();
        reporter.end();
    });
    if (!finished) {
        outcome.cancelled = true;
        outcome.error.clear();
        return outcome;
    }
    if (ok)
        outcome.table = std::move(table);
    return outcome;
}

bool qualifyLoops(QWidget *parent, QMdiArea *area, const CalcSettings &preset,
                  const std::function<void(const QString &)> &status)
{
    QualifyDialog dialog(preset, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QualifyOutcome outcome = runQualification(parent, dialog.settings(), dialog.loopsFile());
    if (outcome.cancelled) {
        status(tr("Проверка линий отменена"));
        return false;
    }
    if (!outcome.table) {
        QMessageBox::warning(parent, tr("Kolvane"), tr("Проверка линий не выполнена.\n%1").arg(outcome.error));
        return false;
    }
    auto *window = new QualifyWindow(outcome.table, dialog.loopsFile());
    QObject::connect(window, &QualifyWindow::exported, window, [status](const QString &path) {
        status(tr("Сохранено: %1").arg(QDir::toNativeSeparators(path)));
    });
    QMdiSubWindow *sub = area->addSubWindow(window);
    sub->resize(760, 460);
    sub->show();
    // Templates the run took nothing from: their loops are there (at 0), the reason here.
    status(outcome.warnings.isEmpty() ? window->summary() : outcome.warnings.join(QStringLiteral("  ")));
    return true;
}
