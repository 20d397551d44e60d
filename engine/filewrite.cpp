#include "engine/filewrite.h"

#include "engine/checks.h"
#include "engine/messages.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The reason of a failed QSaveFile step: errno when the call left one, else what Qt knows.
// Qt reports a full disk as a resource error.
QString reasonOf(int errorNumber, const QFileDevice &file)
{
    if (errorNumber != 0)
        return systemErrorText(errorNumber);
    if (file.error() == QFileDevice::ResourceError)
        return systemErrorText(ENOSPC);
    return file.errorString();
}

// Opens a device, FIFO or socket to be written as it is (a window does not wait for a FIFO's
// reader). Open when the result is >= 0; NotOpened with *error set; BecameRegular when a regular
// file has taken its place since the first look (the caller then replaces that one whole).
enum { NotOpened = -1, BecameRegular = -2 };
int openInPlace(const QString &path, bool fifo, PipeReader pipeReader, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    int flags = O_WRONLY | O_CLOEXEC;
    if (fifo && pipeReader == PipeReader::DontWait)
        flags |= O_NONBLOCK;
    int fd;
    do {
        fd = ::open(name.constData(), flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        fail(error, fifo && errno == ENXIO ? localized("No process reads the pipe", "Канал никто не читает")
                                           : systemErrorText(errno));
        return NotOpened;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        ::close(fd);
        return BecameRegular;
    }
    if (flags & O_NONBLOCK)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// The writer's own reason, else the failed write's, else a plain "could not be made". A write cut
// short (part of it fitted on the disk) leaves no error in the file, only the system's errno.
QString contentFailure(const QString &why, int errorNumber, const QFileDevice &file)
{
    if (!why.isEmpty())
        return why;
    if (file.error() != QFileDevice::NoError || errorNumber != 0)
        return reasonOf(errorNumber, file);
    return localized("The content could not be made", "Не удалось подготовить содержимое файла");
}

bool streamIntoRegularFile(const QString &path, const ContentWriter &content, QString *error)
{
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(error, reasonOf(errno, file));
    QString why;
    errno = 0;
    const bool made = content(file, &why);
    const int writeError = errno;
    if (!made || file.error() != QFileDevice::NoError) {
        const QString reason = contentFailure(why, writeError, file);
        file.cancelWriting();
        return fail(error, reason);
    }
    if (::fsync(file.handle()) != 0 && errno != EINVAL) {
        const QString reason = reasonOf(errno, file);
        file.cancelWriting();
        return fail(error, reason);
    }
    errno = 0;
    if (!file.commit())
        return fail(error, reasonOf(errno, file));
    return true;
}

bool streamInPlace(const QString &path, bool fifo, const ContentWriter &content, QString *error,
                   PipeReader pipeReader)
{
    const int fd = openInPlace(path, fifo, pipeReader, error);
    if (fd == NotOpened)
        return false;
    if (fd == BecameRegular)
        return streamIntoRegularFile(path, content, error);
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        ::close(fd);
        return fail(error, file.errorString());
    }
    QString why;
    errno = 0;
    const bool made = content(file, &why);
    const int writeError = errno;
    const bool failed = !made || file.error() != QFileDevice::NoError;
    const QString reason = failed ? contentFailure(why, writeError, file) : QString();
    file.close();
    if (::close(fd) != 0 && !failed && errno != EINTR)
        return fail(error, systemErrorText(errno));
    if (failed)
        return fail(error, reason);
    return true;
}

} // namespace

QString systemErrorText(int errorNumber)
{
    switch (errorNumber) {
    case ENOSPC:
        return localized("No space left on device", "Нет места на диске");
    case EDQUOT:
        return localized("Disk quota exceeded", "Превышена дисковая квота");
    case EACCES:
    case EPERM:
        return localized("Permission denied", "Доступ запрещён");
    case EROFS:
        return localized("Read-only file system", "Файловая система доступна только для чтения");
    case ENOENT:
        return localized("No such file or directory", "Нет такого файла или каталога");
    case ENOTDIR:
        return localized("Not a directory", "Не является каталогом");
    case EISDIR:
        return localized("Is a directory", "Это каталог");
    case EFBIG:
        return localized("File too large", "Файл слишком велик");
    case EIO:
        return localized("Input/output error", "Ошибка ввода-вывода");
    case ENAMETOOLONG:
        return localized("File name too long", "Слишком длинное имя файла");
    case ELOOP:
        return localized("Too many levels of symbolic links", "Слишком много уровней символических ссылок");
    case EPIPE:
        return localized("The reader closed the pipe", "Читающая сторона закрыла канал");
    case ENXIO:
        return localized("No such device or address", "Нет такого устройства или адреса");
    case EBUSY:
    case ETXTBSY:
        return localized("Device or resource busy", "Устройство или ресурс заняты");
    case EMFILE:
    case ENFILE:
        return localized("Too many open files", "Слишком много открытых файлов");
    case EEXIST:
        return localized("File exists", "Файл уже существует");
    default:
        return QString::fromLocal8Bit(std::strerror(errorNumber));
    }
}

ContentWriter textContent(const std::function<void(QTextStream &)> &write)
{
    return [write](QIODevice &device, QString *) {
        QTextStream stream(&device);
        write(stream);
        stream.flush();
        return stream.status() == QTextStream::Ok;
    };
}

bool writeFileSafely(const QString &path, const ContentWriter &content, QString *error,
                     PipeReader pipeReader)
{
    if (path.isEmpty())
        return fail(error, localized("No file name given", "Не задано имя файла"));
    // The whole content first: a writer that fails touches no file, not even a pipe.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString why;
    if (!content(buffer, &why))
        return fail(error, why.isEmpty() ? localized("The content could not be made",
                                                     "Не удалось подготовить содержимое файла")
                                         : why);
    const QByteArray &data = buffer.data();
    return writeFileStreamed(
        path, [&data](QIODevice &out, QString *) { return out.write(data) == data.size(); }, error,
        pipeReader);
}

bool writeFileStreamed(const QString &path, const ContentWriter &content, QString *error,
                       PipeReader pipeReader)
{
    if (path.isEmpty())
        return fail(error, localized("No file name given", "Не задано имя файла"));
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(error, systemErrorText(EISDIR));
        if (!S_ISREG(st.st_mode))
            return streamInPlace(path, S_ISFIFO(st.st_mode), content, error, pipeReader);
    } else if (errno != ENOENT) {
        return fail(error, systemErrorText(errno));
    }
    return streamIntoRegularFile(path, content, error);
}
