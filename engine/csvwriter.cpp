#include "engine/csvwriter.h"

#include "engine/checks.h"
#include "engine/messages.h"

#include <QSaveFile>
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

bool saveCsv(const QString &path, const QStringList &headers, const ResultSet &rows,
             QString *error)
{
    QSaveFile file(path);
    const auto failed = [&](const QString &reason) {
        return fail(error, localized("Cannot write %1: %2", "Не удаётся записать %1: %2").arg(path, reason));
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    QTextStream out(&file);
    writeCsv(out, headers, rows);
    out.flush();
    if (out.status() != QTextStream::Ok) {
        file.cancelWriting();
        return failed(file.errorString());
    }
    if (!file.commit())
        return failed(file.errorString());
    return true;
}
