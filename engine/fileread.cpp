#include "engine/fileread.h"

#include "engine/checks.h"
#include "engine/filewrite.h"
#include "engine/messages.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString notRegular(mode_t mode)
{
    if (S_ISDIR(mode))
        return systemErrorText(EISDIR);
    if (S_ISFIFO(mode))
        return localized("a named pipe, not a regular file", "именованный канал, а не обычный файл");
    if (S_ISSOCK(mode))
        return localized("a socket, not a regular file", "сокет, а не обычный файл");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return localized("a device, not a regular file", "устройство, а не обычный файл");
    return localized("not a regular file", "не обычный файл");
}

} // namespace

bool openFileForReading(QFile &file, const QString &path, QString *reason, ReadFailure *failure)
{
    const auto refuse = [reason, failure](ReadFailure kind, const QString &why) {
        if (failure)
            *failure = kind;
        return fail(reason, why);
    };
    if (failure)
        *failure = ReadFailure::None;
    if (path.isEmpty())
        return refuse(ReadFailure::Missing, localized("No file name given", "Не задано имя файла"));
    // The system would read the name only up to a NUL and open some other file.
    if (path.contains(QChar(0)))
        return refuse(ReadFailure::Missing, systemErrorText(ENOENT));
    int fd;
    do {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int e = errno;
        return refuse(e == ENOENT || e == ENOTDIR ? ReadFailure::Missing : ReadFailure::Refused, systemErrorText(e));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        return refuse(ReadFailure::Refused, systemErrorText(e));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(ReadFailure::NotRegular, notRegular(st.st_mode));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(ReadFailure::Refused, file.errorString());
    }
    return true;
}

QString fileReadProblem(const QString &path, ReadFailure *failure)
{
    QFile file;
    QString reason;
    return openFileForReading(file, path, &reason, failure) ? QString() : reason;
}
