#include "app/helplauncher.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("HelpLauncher", text);
}

} // namespace

HelpLauncher::HelpLauncher()
    : hasChmViewer(&HelpLauncher::desktopHasChmViewer)
    , htmlIndexCandidates(defaultHtmlIndexCandidates())
{
}

bool HelpLauncher::desktopHasChmViewer()
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return false;
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                          QStringLiteral("application/vnd.ms-htmlhelp")});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0
        && !query.readAllStandardOutput().trimmed().isEmpty();
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

void HelpLauncher::open(QWidget *parent) const
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
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(chm.absoluteFilePath())))
        offerHtml(parent, tr("Не удалось открыть файл справки %1.").arg(helpFileName()));
}

void HelpLauncher::offerHtml(QWidget *parent, const QString &reason) const
{
    const QString index = htmlIndex();
    if (index.isEmpty()) {
        QMessageBox::warning(parent, tr("Справка"),
                             reason + QLatin1Char('\n') + tr("Справка в формате HTML тоже не найдена."));
        return;
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(
        parent, tr("Справка"), reason + QLatin1Char('\n') + tr("Открыть справку в формате HTML?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(index)))
        QMessageBox::warning(parent, tr("Справка"),
                             tr("Не удалось открыть %1.").arg(QDir::toNativeSeparators(index)));
}
