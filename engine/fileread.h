#pragma once

#include <QString>

class QFile;

// The one way the program opens a file it reads (templates, setups, loop records): without
// waiting on a named pipe, and only a regular file (or a link to one). A FIFO, device, socket
// or directory is refused at once. False with *reason saying why in the message language,
// without the path: the system's own words for a failed open ("Too many levels of symbolic
// links", "No such file or directory"), or what kind of file it is instead.
bool openFileForReading(QFile &file, const QString &path, QString *reason);

// Why `path` cannot be opened for reading, in the same words; "" when it can.
QString fileReadProblem(const QString &path);
