// kolvane-calc: the calculation without the GUI. `kolvane-calc [COMMAND] [options]`; the default
// command prints the result table as the CSV export writes it.

#include "cli/calccommandline.h"
#include "cli/cli.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

const Command commands[] = {
    {"table", "Rates against cable length as the result table's CSV (the default command).", runTable},
    {"reach", "How far each target rate reaches on every curve.", runReach},
    {"margin", "The SNR margin every length keeps at a target rate.", runMargin},
    {"tones", "One curve at one length tone by tone (DMT) or rate by rate (PAM), as CSV.", runTones},
    {"qualify", "Rates, margins and verdicts for every loop of a loop-records file.", runQualify},
    {"import", "A line's measured Hlog and QLN as a cable and a noise template.", runImport},
};

bool closedAtStart[3] = {false, false, false};

const Command *findCommand(const QString &name)
{
    for (const Command &command : commands)
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

} // namespace

QString commandList()
{
    QString text = QStringLiteral("Commands:\n");
    for (const Command &command : commands)
        text += QStringLiteral("  %1  %2\n").arg(QString::fromLatin1(command.name).leftJustified(8),
                                                 QString::fromLatin1(command.summary));
    text += QStringLiteral("Run \"kolvane-calc COMMAND --help\" for the options of one command.");
    return text;
}

void holdStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        closedAtStart[fd] = true;
        // The lowest free descriptor is this one: the ones below it are open by now.
        const int held = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

bool standardInputClosedAtStart()
{
    return closedAtStart[0];
}

bool standardOutputClosedAtStart()
{
    return closedAtStart[1];
}

std::optional<Failure> openStandardOutput(QFile &out)
{
    if (standardOutputClosedAtStart())
        return Failure{RunFailed, QStringLiteral("cannot write the standard output: it is closed")};
    if (!out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Failure{RunFailed, QStringLiteral("cannot write the standard output: %1").arg(out.errorString())};
    return std::nullopt;
}

std::optional<Failure> writeOutput(const QString &path, const ContentWriter &content, bool streamed)
{
    if (!path.isEmpty() && path != QLatin1String("-")) {
        QString reason;
        if (!(streamed ? writeFileStreamed(path, content, &reason) : writeFileSafely(path, content, &reason)))
            return Failure{RunFailed, QStringLiteral("Cannot write %1: %2").arg(path, reason)};
        return std::nullopt;
    }
    QFile out;
    if (const std::optional<Failure> f = openStandardOutput(out))
        return f;
    QString reason;
    errno = 0;
    if (!content(out, &reason) || !out.flush() || out.error() != QFile::NoError) {
        // The file device remembers no errno; the stream's failure is the write's.
        const QString why = out.error() != QFile::NoError ? out.errorString() : systemErrorText(errno);
        return Failure{RunFailed, QStringLiteral("cannot write the standard output: %1").arg(why)};
    }
    return std::nullopt;
}

int complain(const Failure &failure)
{
    std::fprintf(stderr, "kolvane-calc: %s\n", failure.message.toLocal8Bit().constData());
    return failure.status;
}

void warn(const QString &message)
{
    std::fprintf(stderr, "kolvane-calc: warning: %s\n", message.toLocal8Bit().constData());
}

int main(int argc, char *argv[])
{
    // Before anything opens a file or an event descriptor that could take 0, 1 or 2.
    holdStandardStreams();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kolvane-calc"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KOLVANE_VERSION));

    QStringList arguments = app.arguments();
    const QString first = arguments.value(1);
    if (!first.isEmpty() && !first.startsWith(QLatin1Char('-'))) {
        const Command *command = findCommand(first);
        if (!command)
            return complain({BadInput, QStringLiteral("unknown command \"%1\"; see --help").arg(first)});
        arguments.removeAt(1);
        return command->run(arguments);
    }
    return runDefault(arguments);
}
