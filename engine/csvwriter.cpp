#include "engine/csvwriter.h"

#include "engine/checks.h"
#include "engine/messages.h"

#include <QTextStream>

void writeCsv(QTextStream &out, const QStringList &headers, const ResultSet &rows)
{
    for (const QString &header : headers)
        out << header.simplified() << ';';
    out << '\n';
    for (const ResultRow &row : rows) {
        out << row.length << ';';
        for (float rate : row.rates)
            out << rate << ';';
        out << '\n';
    }
}

ContentWriter csvContent(const QStringList &headers, const ResultSet &rows)
{
    return textContent([headers, rows](QTextStream &out) { writeCsv(out, headers, rows); });
}

bool saveCsv(const QString &path, const QStringList &headers, const ResultSet &rows,
             QString *error)
{
    QString reason;
    if (!writeFileSafely(path, csvContent(headers, rows), &reason))
        return fail(error, localized("Cannot write %1: %2", "Не удаётся записать %1: %2").arg(path, reason));
    return true;
}
