#pragma once

#include <QString>

#include <functional>

class QIODevice;

// Puts a file's whole content into `out`; false (with *error when given) abandons the write.
using ContentWriter = std::function<bool(QIODevice &out, QString *error)>;

class QTextStream;

// A text writer as file content: what `write` puts into the stream, UTF-8, failing when the
// stream does. Every CSV and text export goes through here.
ContentWriter textContent(const std::function<void(QTextStream &)> &write);

// A FIFO nobody reads yet: the command line waits for a reader, as a shell redirection does;
// a window must not freeze on it and gives up at once.
enum class PipeReader { Wait, DontWait };

// The one way the program writes a file. A regular file (or a new one) is replaced in one
// step through QSaveFile once every byte has reached the disk; on any failure the old file
// stays byte for byte as it was. An existing device, FIFO or socket (or a link to one) is
// written in place, never replaced; a directory is refused. False with *error saying why in
// words in the message language ("No space left on device"); the path is left to the caller.
bool writeFileSafely(const QString &path, const ContentWriter &content, QString *error = nullptr,
                     PipeReader pipeReader = PipeReader::Wait);

// For content too large to hold in memory: `content` writes straight into the target as it goes,
// best in large blocks. A regular file (or a new one) is still replaced in one step once every
// byte has reached the disk, and a writer that fails (or a failed write) leaves the old file as it
// was. A device, FIFO or socket receives the bytes as they come: there a writer failing midway has
// already written its first part. Otherwise as writeFileSafely.
bool writeFileStreamed(const QString &path, const ContentWriter &content, QString *error = nullptr,
                       PipeReader pipeReader = PipeReader::Wait);

// What a failed system call's errno means, in the message language.
QString systemErrorText(int errorNumber);
