#include "workspacelauncher.h"

#include "engine/checks.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

bool hasTemplateDirectories(const QString &dir)
{
    const QDir base(dir);
    for (const char *name : {"Cable", "xDSL", "AddNoise"}) {
        if (!QFileInfo(base.filePath(QLatin1String(name))).isDir())
            return false;
    }
    return true;
}

QString xdgDataHome(const QProcessEnvironment &environment)
{
    // The XDG base directory rules say a relative value is invalid and must be ignored.
    const QString value = environment.value(QStringLiteral("XDG_DATA_HOME"));
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(environment.value(QStringLiteral("HOME"), QDir::homePath())
                           + QStringLiteral("/.local/share"));
}

QString userWorkspace(const QString &xdgDataHome)
{
    return QDir::cleanPath(xdgDataHome + QStringLiteral("/kolvane/workspace"));
}

bool copyDirectoryTree(const QString &from, const QString &to, QString *error)
{
    const QDir source(from);
    if (!QDir().mkpath(to))
        return fail(error, QStringLiteral("Не удалось создать каталог %1").arg(to));
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString target = QDir(to).filePath(source.relativeFilePath(path));
        if (info.isDir() && !info.isSymLink()) {
            if (!QDir().mkpath(target))
                return fail(error, QStringLiteral("Не удалось создать каталог %1").arg(target));
        } else {
            QFile file(path);
            if (!file.copy(target))
                return fail(error, QStringLiteral("Не удалось скопировать %1 в %2: %3")
                                       .arg(path, target, file.errorString()));
        }
    }
    return true;
}

QString chooseWorkingDirectory(const QString &cwd, const QString &xdgDataHome,
                               const QString &installedSamples, QString *error)
{
    if (hasTemplateDirectories(cwd))
        return QDir::cleanPath(QFileInfo(cwd).absoluteFilePath());

    const QString workspace = userWorkspace(xdgDataHome);
    // Once created, the workspace belongs to the user: never refilled, whatever it holds now.
    if (QFileInfo(workspace).isDir())
        return workspace;
    if (QFileInfo::exists(workspace)) {
        fail(error, QStringLiteral("%1 существует, но не является каталогом").arg(workspace));
        return QString();
    }

    if (!hasTemplateDirectories(installedSamples)) {
        fail(error, QStringLiteral("Не найдены образцы шаблонов (каталоги Cable, xDSL, AddNoise) в %1")
                        .arg(QDir::cleanPath(installedSamples)));
        return QString();
    }

    // Copy beside the final place and rename at the end, so that an interrupted or failed copy
    // is not mistaken for the user's workspace on the next start.
    const QString parent = QFileInfo(workspace).absolutePath();
    if (!QDir().mkpath(parent)) {
        fail(error, QStringLiteral("Не удалось создать каталог %1").arg(parent));
        return QString();
    }
    const QString staging = workspace + QStringLiteral(".partial");
    QDir(staging).removeRecursively();
    QString copyError;
    if (!copyDirectoryTree(installedSamples, staging, &copyError)) {
        QDir(staging).removeRecursively();
        fail(error, copyError);
        return QString();
    }
    if (!QDir().rename(staging, workspace)) {
        QDir(staging).removeRecursively();
        fail(error, QStringLiteral("Не удалось создать каталог %1").arg(workspace));
        return QString();
    }
    return workspace;
}

static bool sameContent(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (first.size() != second.size() || !first.open(QIODevice::ReadOnly)
        || !second.open(QIODevice::ReadOnly))
        return false;
    return first.readAll() == second.readAll();
}

bool provideHelpFile(const QString &workspace, const QString &installedHelp, QString *error)
{
    const QFileInfo installed(installedHelp);
    if (!installed.isFile())
        return true;
    const QString target = QDir(workspace).filePath(QStringLiteral("help.chm"));
    // Compared by content: a copy carries the time of copying, not of the installed file.
    if (sameContent(target, installedHelp))
        return true;
    // Replace through a temporary name: a failed copy keeps the previous help file.
    const QString temporary = target + QStringLiteral(".new");
    QFile::remove(temporary);
    QFile source(installedHelp);
    if (!source.copy(temporary))
        return fail(error, QStringLiteral("Не удалось скопировать %1 в %2: %3")
                               .arg(installedHelp, workspace, source.errorString()));
    QFile::remove(target);
    if (!QFile::rename(temporary, target)) {
        QFile::remove(temporary);
        return fail(error, QStringLiteral("Не удалось записать %1").arg(target));
    }
    return true;
}
