#pragma once

#include <QString>

class QFile;

// Why a file could not be opened for reading: missing (no such file, or a path through something
// that is no directory), not a regular file, or refused by the system (permissions, a link loop).
enum class ReadFailure { None, Missing, NotRegular, Refused };

// The one way the program opens a file it reads (templates, setups, loop records): without
// waiting on a named pipe, and only a regular file (or a link to one). A FIFO, device, socket
// or directory is refused at once. False with *reason saying why in the message language,
// without the path: the system's own words for a failed open ("Too many levels of symbolic
// links", "No such file or directory"), or what kind of file it is instead.
// *failure (when given) says which kind of failure it was.
bool openFileForReading(QFile &file, const QString &path, QString *reason, ReadFailure *failure = nullptr);

// Why `path` cannot be opened for reading, in the same words; "" when it can.
QString fileReadProblem(const QString &path, ReadFailure *failure = nullptr);
