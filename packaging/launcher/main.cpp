// Starts the GUI program in a directory that holds the template directories: the current one when
// it has them, otherwise the user's workspace, seeded from the installed samples on first use.
#include "workspacelauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

static int fail(const QString &message)
{
    QTextStream(stderr) << "kolvane-launcher: " << message << Qt::endl;
    return 1;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString binDir = QCoreApplication::applicationDirPath();
    const QString dataDir = QDir::cleanPath(binDir + QStringLiteral("/../share/kolvane"));

    QString error;
    const QString workdir =
        chooseWorkingDirectory(QDir::currentPath(), xdgDataHome(QProcessEnvironment::systemEnvironment()),
                               dataDir + QStringLiteral("/workspace"), &error);
    if (workdir.isEmpty())
        return fail(error);
    // Only the workspace we manage gets the help file; a directory of the user's own stays untouched.
    if (workdir != QDir::cleanPath(QDir::current().absolutePath())
        && !provideHelpFile(workdir, dataDir + QStringLiteral("/help.chm"), &error))
        QTextStream(stderr) << "kolvane-launcher: " << error << Qt::endl;   // the program still runs

    if (!QDir::setCurrent(workdir))
        return fail(QStringLiteral("Не удалось перейти в каталог %1").arg(workdir));

    const QByteArray program = QFile::encodeName(binDir + QStringLiteral("/kolvane"));
    std::vector<char *> arguments;
    arguments.push_back(const_cast<char *>(program.constData()));
    for (int i = 1; i < argc; ++i)
        arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    // Replaces this process, so the desktop's start-up notification follows the real program.
    execv(program.constData(), arguments.data());
    return fail(QStringLiteral("Не удалось запустить %1: %2")
                    .arg(QFile::decodeName(program), QString::fromLocal8Bit(std::strerror(errno))));
}
