#pragma once

#include "engine/filewrite.h"
#include "engine/resultset.h"

#include <QString>
#include <QStringList>

class QTextStream;

// The result table as text: the header texts of columns 0..n (each simplified, so a label's
// line break becomes one space), then one line per row; every field is followed by ";",
// lines end with LF, numbers as QTextStream writes a float, UTF-8; "-" for a curve without a
// loop at a loss.
void writeCsv(QTextStream &out, const QStringList &headers, const ResultSet &rows);
// writeCsv as the content of writeFileSafely.
ContentWriter csvContent(const QStringList &headers, const ResultSet &rows);
// The same into a file through writeFileSafely (a device or FIFO is written in place, waiting
// for a reader); false with *error "Cannot write <path>: <why>" in the message language.
bool saveCsv(const QString &path, const QStringList &headers, const ResultSet &rows,
             QString *error = nullptr);
