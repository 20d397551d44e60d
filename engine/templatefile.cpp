#include "engine/templatefile.h"

#include "engine/checks.h"
#include "engine/fileread.h"
#include "engine/messages.h"

#include <QDataStream>
#include <QFile>
#include <QMap>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <optional>


namespace {

constexpr int CellSize = 12;
// A huge file must not reserve its whole size up front; the vector grows as cells are read.
constexpr qint64 MaxReservedCells = 1 << 20;

// Opened without waiting: a FIFO would block the reader until some writer came along. Only a
// regular file (a link to one included) is a template.
bool openTemplateFile(QFile &file, const QString &path, QString *error)
{
    QString reason;
    ReadFailure failure = ReadFailure::None;
    if (openFileForReading(file, path, &reason, &failure))
        return true;
    if (failure == ReadFailure::NotRegular)
        return fail(error, localized("%1 is not a template file: %2", "%1 не является файлом шаблона: %2").arg(path, reason));
    return fail(error, localized("Cannot read %1: %2", "Не удаётся прочитать %1: %2").arg(path, reason));
}

bool readRows(const QString &path, int columns, QVector<TemplateRow> *rows, QString *error)
{
    rows->clear();
    QVector<TemplateCell> cells;
    if (!readTemplateCells(path, &cells, error))
        return false;
    *rows = completeRows(cells, columns);
    return true;
}

} // namespace

bool readTemplateCells(const QString &path, QVector<TemplateCell> *cells, QString *error,
                       int *trailingBytes)
{
    cells->clear();
    if (trailingBytes)
        *trailingBytes = 0;
    QFile file;
    if (!openTemplateFile(file, path, error))
        return false;
    const qint64 size = file.size();
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_4_3);
    const qint64 whole = size / CellSize;
    cells->reserve(int(std::min<qint64>(whole, MaxReservedCells)));
    for (qint64 i = 0; i < whole; ++i) {
        TemplateCell cell;
        in >> cell.row >> cell.column >> cell.value;
        if (in.status() != QDataStream::Ok)
            return fail(error, localized("Cannot read %1: %2", "Не удаётся прочитать %1: %2")
                                   .arg(path, systemErrorText(EIO)));
        cells->append(cell);
    }
    if (trailingBytes)
        *trailingBytes = int(size - whole * CellSize);
    return true;
}

bool writeTemplateCells(const QString &path, const QVector<TemplateCell> &cells, QString *error,
                        PipeReader pipeReader)
{
    return writeFileSafely(
        path,
        [&cells](QIODevice &device, QString *) {
            QDataStream out(&device);
            out.setVersion(QDataStream::Qt_4_3);
            for (const TemplateCell &cell : cells)
                out << cell.row << cell.column << cell.value;
            return out.status() == QDataStream::Ok;
        },
        error, pipeReader);
}

QVector<TemplateRow> completeRows(const QVector<TemplateCell> &cells, int columns)
{
    QMap<int, QVector<std::optional<double>>> byRow;
    for (const TemplateCell &cell : cells) {
        if (cell.row < 0 || cell.column < 0 || cell.column >= columns)
            continue;
        auto &row = byRow[cell.row];
        if (row.isEmpty())
            row.resize(columns);
        row[cell.column] = cell.value;
    }
    QVector<TemplateRow> rows;
    rows.reserve(byRow.size());
    for (auto it = byRow.cbegin(); it != byRow.cend(); ++it) {
        QVector<double> values;
        values.reserve(columns);
        for (const std::optional<double> &v : it.value()) {
            if (!v)
                break;
            values.append(*v);
        }
        if (values.size() == columns)
            rows.append({it.key(), values});
    }
    return rows;
}

namespace {

template <typename Record, QVector<float> Record::*Second>
bool readTwoColumns(const QString &path, Record &record, QString *error)
{
    record = Record();
    QVector<TemplateRow> rows;
    const bool ok = readRows(path, 2, &rows, error);
    for (const TemplateRow &row : std::as_const(rows)) {
        record.rows.append(row.row);
        record.F.append(float(row.values[0]));
        (record.*Second).append(float(row.values[1]));
    }
    record.count = rows.size();
    return ok;
}

} // namespace

bool readTwoColumnTemplate(const QString &path, CableTemplate &record, QString *error)
{
    return readTwoColumns<CableTemplate, &CableTemplate::a>(path, record, error);
}

bool readTwoColumnTemplate(const QString &path, NoiseTemplate &record, QString *error)
{
    return readTwoColumns<NoiseTemplate, &NoiseTemplate::N>(path, record, error);
}

bool readDmtTemplate(const QString &path, LineTypeTemplate &record, QString *error)
{
    record = LineTypeTemplate();
    record.kind = LineTypeDmt;
    QVector<TemplateRow> rows;
    const bool ok = readRows(path, 4, &rows, error);
    for (const TemplateRow &row : std::as_const(rows)) {
        record.rows.append(row.row);
        record.F.append(float(row.values[0]));
        record.S.append(float(row.values[1]));
        record.Kmax.append(float(row.values[2]));
        record.N.append(float(row.values[3]));
    }
    record.count = rows.size();
    return ok;
}

bool readPamTemplate(const QString &path, LineTypeTemplate &record, QString *error)
{
    record = LineTypeTemplate();
    record.kind = LineTypePam;
    QVector<TemplateRow> rows;
    const bool ok = readRows(path, 5, &rows, error);
    for (const TemplateRow &row : std::as_const(rows)) {
        record.rows.append(row.row);
        record.K.append(truncToInt(row.values[0]));
        record.Kread.append(row.values[0]);
        record.P.append(float(row.values[1]));
        record.Rmin.append(float(row.values[2]));
        record.Rmax.append(float(row.values[3]));
        record.N.append(float(row.values[4]));
    }
    record.count = rows.size();
    return ok;
}
