#pragma once

#include "engine/filewrite.h"

#include <QString>
#include <QStringList>

#include <optional>

class QFile;

// Exit status of kolvane-calc: 0 done; 1 the run failed (a template that cannot be read, output
// not written); 2 bad input (options, values, missing or invalid templates), nothing on stdout;
// 3 some items of a batch were refused while the others were computed.
enum Status { Done = 0, RunFailed = 1, BadInput = 2, SomeRefused = 3 };

struct Failure {
    Status status;
    QString message;
};

// Prints "kolvane-calc: <message>" on stderr and returns the failure's status.
int complain(const Failure &failure);
// Prints "kolvane-calc: warning: <message>" on stderr.
void warn(const QString &message);

// Call first thing in main(): standard descriptors (0-2) that are closed are opened on /dev/null,
// so that no file the program opens later takes one's place and gets the output meant for it.
void holdStandardStreams();
// Whether the standard input (output) was closed when the program started: reading (writing) it
// is then an error of its own, never the empty stream /dev/null holds in its place.
bool standardInputClosedAtStart();
bool standardOutputClosedAtStart();
// Opens `out` on the standard output; a failure naming it when it cannot, or was closed at start.
std::optional<Failure> openStandardOutput(QFile &out);

// The one way a command's output leaves: into `path`, or the standard output for "" and "-". A
// regular file is replaced only once the whole output is on the disk. `streamed` writes as the
// content comes (an output too large to hold); otherwise the whole content is made first.
std::optional<Failure> writeOutput(const QString &path, const ContentWriter &content, bool streamed = false);

// One sub-command: its name, a line for the command list, and its entry point, which gets the
// program's arguments without the command name.
struct Command {
    const char *name;
    const char *summary;
    int (*run)(const QStringList &arguments);
};

// The command list for the program's --help.
QString commandList();

int runTable(const QStringList &arguments);
int runReach(const QStringList &arguments);
int runMargin(const QStringList &arguments);
int runTones(const QStringList &arguments);
int runQualify(const QStringList &arguments);
int runImport(const QStringList &arguments);
// kolvane-calc without a command: the table, with the program's own --help.
int runDefault(const QStringList &arguments);
