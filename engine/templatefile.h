#pragma once

#include "engine/filewrite.h"
#include "engine/templatekind.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

// One table cell as stored on disk: 12 bytes, big-endian, QDataStream version Qt_4_3.
struct TemplateCell {
    qint16 row = 0;
    qint16 column = 0;
    double value = 0.0;
    bool operator==(const TemplateCell &o) const
    {
        return row == o.row && column == o.column && value == o.value;
    }
};

// Reads every whole cell of the file in file order; a trailing fragment shorter than a cell
// is left out (and counted in *trailingBytes when given). False when the file cannot be opened
// or is no regular file (a FIFO is refused without waiting for a writer); *error names the path.
bool readTemplateCells(const QString &path, QVector<TemplateCell> *cells, QString *error = nullptr,
                       int *trailingBytes = nullptr);
// Writes the cells in the given order through writeFileSafely: on failure the old file is
// intact and *error says why, without the path.
bool writeTemplateCells(const QString &path, const QVector<TemplateCell> &cells,
                        QString *error = nullptr, PipeReader pipeReader = PipeReader::Wait);

// Calculation records. `count` is the number of complete rows; every array holds `count` values,
// and `rows` the file's row number of each entry (for messages that point at a cell).
struct CableTemplate {
    int count = 0;
    QVector<int> rows;
    QVector<float> F; // kHz
    QVector<float> a; // dB/km
};

struct NoiseTemplate {
    int count = 0;
    QVector<int> rows;
    QVector<float> F; // kHz
    QVector<float> N; // dBm/Hz
};

struct LineTypeTemplate {
    TemplateKind kind = LineTypeDmt;
    int count = 0;         // complete rows of either kind; the model uses only row 0 of a PAM file
    QVector<int> rows;     // file row number of each entry
    QVector<float> F;      // DMT: kHz
    QVector<float> S;      // DMT: transmit PSD, dBm/Hz
    QVector<float> Kmax;   // DMT: bits per tone
    QVector<qint32> K;     // PAM: bits per symbol, truncated toward zero
    QVector<double> Kread; // PAM: K as the file holds it; a NaN would truncate to a plain 0
    QVector<float> P;      // PAM: total power, dBm
    QVector<float> Rmin;   // PAM: kbit/s
    QVector<float> Rmax;   // PAM: kbit/s
    QVector<float> N;      // both: the system's own noise PSD, dBm/Hz
};

// Calculation readers. Each starts from an empty record and places cells by their row and
// column fields; only complete rows enter it, in ascending row order. A cell outside the
// kind's columns or with a negative row is ignored; a later duplicate replaces an earlier one.
// False (and an empty record) when the file cannot be opened.
bool readTwoColumnTemplate(const QString &path, CableTemplate &record, QString *error = nullptr);
bool readTwoColumnTemplate(const QString &path, NoiseTemplate &record, QString *error = nullptr);
bool readDmtTemplate(const QString &path, LineTypeTemplate &record, QString *error = nullptr);
bool readPamTemplate(const QString &path, LineTypeTemplate &record, QString *error = nullptr);

struct TemplateRow {
    int row = 0;            // the row field of its cells
    QVector<double> values; // one per column
};
// The complete rows of a cell list for a table of `columns` columns, by the rules above.
QVector<TemplateRow> completeRows(const QVector<TemplateCell> &cells, int columns);
