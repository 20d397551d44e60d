#pragma once

#include "engine/calcsettings.h"
#include "engine/messages.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVector>

class QIODevice;

// Loop records: the loops of a plant as a text file, one header line (skipped whatever it says),
// then one loop per line: `id;cable;length[;sections]`, sections as CABLE:LENGTH joined by '+'.
// The length is whole metres, or the loop's loss as plant records give it: "31.5dB", "31,5dB".
// The text is UTF-8 (a byte-order mark allowed) or UTF-16 with a byte-order mark, as spreadsheets
// save "Unicode text"; lines end in LF, CR LF or CR, in any mix. Blank lines are skipped, and one
// ';' ending a line is allowed (as the program's own CSV ends its lines).

// One loop of a loop-records file.
struct LoopRecord {
    QByteArray id;                  // as written
    QString cable;                  // the swept cable's template name
    int length = 0;                 // m, the whole loop; 0 for a loss, until its cables convert it
    QVector<CableSection> sections; // fixed sections in front of it, exchange side first
    int loss = -1;                  // tenths of a dB when the length field is a loss
};

// Why a loop was not computed, in both languages: the output file says it in Russian whatever
// the program's language, as its header does; messages speak the program's own.
struct LoopProblem {
    QString english;
    QString russian;
    QString text() const; // in the message language
};

// The problem `make` words, made once in each language.
template <typename Make>
LoopProblem inBothLanguages(const Make &make)
{
    LoopProblem p;
    {
        const MessageLanguageScope scope(MessageLanguage::English);
        p.english = make();
    }
    {
        const MessageLanguageScope scope(MessageLanguage::Russian);
        p.russian = make();
    }
    return p;
}

// The text a data line was decoded from: what its broken characters are called.
enum class LoopTextEncoding { Utf8, Utf16 };

// Parses one data line as UTF-8, its line end removed. False with *problem when the line cannot be
// a loop (not text, too few or too many fields, an id with a control character, no cable, a bad
// length or loss, a bad section, sections longer than the loop); record->id is then still the line's
// first field, as loopIdShown() gives it.
bool parseLoopLine(QByteArrayView line, LoopRecord *record, LoopProblem *problem);

// The steps parseLoopLine takes, for a reader that remembers what a cable and sections text means.
struct LoopFields {
    QByteArrayView id;
    QByteArrayView cable;
    QByteArrayView length;
    QByteArrayView sections; // empty without
};
// The line is text (no NUL, valid in its encoding), splits into three or four fields and its id
// holds no control character.
bool splitLoopLine(QByteArrayView line, LoopFields *fields, LoopProblem *problem,
                   LoopTextEncoding encoding = LoopTextEncoding::Utf8);
bool parseLoopCable(QByteArrayView field, QString *cable, LoopProblem *problem);
bool parseLoopLength(QByteArrayView field, int *length, LoopProblem *problem);
// Whether the length field gives a loss (it ends in "dB"), and that loss: digits, at most one
// decimal after '.' or ',', within the loss bounds, in tenths of a dB.
bool isLoopLoss(QByteArrayView field);
bool parseLoopLoss(QByteArrayView field, int *tenths, LoopProblem *problem);
// The sections field; *total is the sum of their lengths.
bool parseLoopSections(QByteArrayView field, QVector<CableSection> *sections, qint64 *total,
                       LoopProblem *problem);
bool checkSectionsFitLoop(qint64 total, int length, LoopProblem *problem);
LoopProblem loopLineTooLong();

// The id a loop is listed under, from the first field of its line: as written when it is text
// without control characters, otherwise with each undecodable byte and control character
// replaced by U+FFFD, so no output ever carries them.
QByteArray loopIdShown(QByteArrayView line);

// Reads a loop-records file one data line at a time, as UTF-8 whatever its encoding; the header
// and blank lines are skipped. Reads on until the end of a pipe.
class LoopRecordsReader
{
public:
    // A loop line is a few hundred bytes at most; a longer one is refused without being held.
    static constexpr qsizetype MaxLineBytes = 65536;

    struct Line {
        qint64 number = 0;    // in the file, the header being line 1
        QByteArrayView bytes; // UTF-8 (where the encoding allowed), no line end; valid until next()
        bool tooLong = false; // only the first MaxLineBytes are here
    };

    explicit LoopRecordsReader(QIODevice &input);

    // The next data line; false at the end of the input or when it cannot be read (error()).
    bool next(Line *line);
    // "" after a clean end; else why the input could not be read, in the message language.
    QString error() const { return m_error; }
    qint64 bytesRead() const { return m_bytesRead; }
    LoopTextEncoding encoding() const;

private:
    enum class Encoding { Unknown, Utf8, Utf16LE, Utf16BE };
    bool fill();
    void decodeUtf16(const char *data, qsizetype size, bool last);

    QIODevice &m_input;
    Encoding m_encoding = Encoding::Unknown;
    QByteArray m_raw;      // read and not yet decoded: the first bytes while the encoding is open
    QByteArray m_text;     // the UTF-8 text of the last block
    qsizetype m_pos = 0;   // in m_text
    qsizetype m_nextCr = -1; // the next '\r' at or after m_pos; m_text.size() when none
    QByteArray m_partial;  // a line the last block did not finish
    bool m_truncated = false;
    bool m_afterCr = false;   // the last line ended in '\r': a '\n' right after it belongs to it
    bool m_clearPartial = false;
    bool m_ended = false;
    quint32 m_highSurrogate = 0;
    qint64 m_number = 0;
    qint64 m_bytesRead = 0;
    QString m_error;
};
