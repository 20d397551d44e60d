#include "app/helplauncher.h"

#include "engine/translate.h"
#include "app/helpwindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

KOLVANE_TR_CONTEXT("HelpLauncher")

// Whether xdg-mime names a default application for the type. Qt hands files to xdg-open, which
// needs the same tools; without them QDesktopServices cannot open anything.
bool desktopHandles(const QString &mimeType)
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return false;
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0
        && !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

HelpLauncher::HelpLauncher()
    : hasChmViewer(&HelpLauncher::desktopHasChmViewer)
    , hasHtmlViewer(&HelpLauncher::desktopHasHtmlViewer)
    , openUrl(&QDesktopServices::openUrl)
    , htmlIndexCandidates(defaultHtmlIndexCandidates())
{
}

bool HelpLauncher::desktopHasChmViewer()
{
    return desktopHandles(QStringLiteral("application/vnd.ms-htmlhelp"));
}

bool HelpLauncher::desktopHasHtmlViewer()
{
    return desktopHandles(QStringLiteral("text/html"));
}

QStringList HelpLauncher::defaultHtmlIndexCandidates()
{
    const QString bin = QCoreApplication::applicationDirPath();
    return {
        QDir::cleanPath(bin + QStringLiteral("/../help/html/index.html")),
        QDir::cleanPath(bin + QStringLiteral("/../share/kolvane/help/index.html")),
    };
}

QString HelpLauncher::htmlIndex() const
{
    for (const QString &candidate : htmlIndexCandidates) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QString();
}

void HelpLauncher::open(QWidget *parent)
{
    const QFileInfo chm(helpFileName());
    if (!chm.isFile()) {
        offerHtml(parent, tr("Файл справки %1 не найден в рабочем каталоге %2.")
                              .arg(helpFileName(), QDir::toNativeSeparators(QDir::currentPath())));
        return;
    }
    if (!hasChmViewer || !hasChmViewer()) {
        offerHtml(parent, tr("Не найдена программа для просмотра справки в формате CHM (%1).")
                              .arg(helpFileName()));
        return;
    }
    if (!openUrl || !openUrl(QUrl::fromLocalFile(chm.absoluteFilePath())))
        offerHtml(parent, tr("Не удалось открыть файл справки %1.").arg(helpFileName()));
}

void HelpLauncher::offerHtml(QWidget *parent, const QString &reason)
{
    const QString index = htmlIndex();
    if (index.isEmpty()) {
        QMessageBox::warning(parent, tr("Справка"),
                             reason + QLatin1Char('\n') + tr("Справка в формате HTML тоже не найдена."));
        return;
    }
    // Nothing on the desktop could show it: no question, the program shows it itself.
    if (!hasHtmlViewer || !hasHtmlViewer()) {
        showInWindow(parent, index);
        return;
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(
        parent, tr("Справка"), reason + QLatin1Char('\n') + tr("Открыть справку в формате HTML?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return;
    if (!openUrl || !openUrl(QUrl::fromLocalFile(index)))
        showInWindow(parent, index);
}

HelpWindow *HelpLauncher::window() const
{
    return m_window.data();
}

void HelpLauncher::showInWindow(QWidget *parent, const QString &index)
{
    // One window: F1 again brings it to the front at the page the user left it on.
    if (!m_window) {
        m_window = new HelpWindow(index, parent);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
