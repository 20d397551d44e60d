#pragma once

#include "engine/plantqualifier.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QIODevice;

// The qualification's output text, the same bytes from kolvane-calc and the GUI: UTF-8, LF line
// ends, every field followed by ';'. A header `id;` then per service `R,кбит/с <line>;` (with
// targets also `SNR Margin,дБ <line>;Годна <line>;`) and `Ошибка;`; then one line per loop: the
// id, the rate as the result table's CSV writes a float, the margin as marginText() writes it,
// "да" when the rate carries the target, "нет" otherwise, and an empty error field; a refused
// loop has empty values and its reason (in Russian) in the error field. A text field that a
// spreadsheet would take for a formula gets a leading apostrophe.
class QualifyWriter
{
public:
    explicit QualifyWriter(const QualifySettings &settings);

    // The header fields without their ';'.
    static QStringList headers(const QualifySettings &settings);
    QByteArray header() const;
    void append(QByteArray &out, const QualifiedLoop &loop, const ServiceResult *results,
                const LoopProblem *problem);
    // One computed loop: a result per service.
    void appendLoop(QByteArray &out, QByteArrayView id, const ServiceResult *results);
    // One refused loop, its reason in Russian.
    void appendRefused(QByteArray &out, QByteArrayView id, const QString &reason) const;

    // The field texts of one loop.
    QByteArray rateText(float rate);
    QByteArray marginField(const MarginAtRate &margin);
    bool qualifies(int service, float rate) const;
    static QByteArray verdictText(bool qualifies); // "да" / "нет"
    // The reason as the error field holds it: no ';', line break or other control character.
    static QByteArray problemField(const QString &reason);
    // A text field as written: one that starts with '=', '+', '-' or '@' and is not a number
    // gets a leading apostrophe, the spreadsheets' guard against formulas.
    static QByteArray textField(QByteArrayView text);

private:
    QualifySettings m_settings;
    QByteArray m_header;
    QHash<quint32, QByteArray> m_rates; // by the rate's bits
    QVector<QByteArray> m_margins;      // by their place in the searched range
};

// How a streamed qualification went.
struct QualifyStreamOutcome {
    qint64 loops = 0;
    qint64 refused = 0;
    bool writeFailed = false; // writing `out` failed; else a failed run's reason is in `error`
    QString error;
};

// Qualifies `input` and writes the text to `out` as the loops are done: in large blocks and after
// every chunk, so a reader of a pipe sees them as they come. `chunkDone` sees each chunk once it
// is written. False when the run or a write failed (see *outcome).
bool streamQualification(PlantQualifier &qualifier, QIODevice &input, QIODevice &out,
                         QualifyStreamOutcome *outcome, const QualifyOptions &options = {},
                         const std::function<void(const QualifyChunk &)> &chunkDone = {});
