#include "engine/looprecords.h"

#include "engine/calcinput.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

constexpr qint64 ReadBlock = 1 << 20;
// Written where a UTF-16 text is broken: never valid UTF-8, so the line is refused as not text.
constexpr char BrokenText = '\xff';

template <typename Make>
bool refuse(LoopProblem *problem, const Make &make)
{
    if (problem)
        *problem = inBothLanguages(make);
    return false;
}

QString text(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}

bool isBlankLine(QByteArrayView line)
{
    for (char c : line)
        if (c != ' ' && c != '\t')
            return false;
    return true;
}

// U+0000..U+001F and U+007F: in UTF-8 text they are single bytes.
bool isControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
}

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool validUtf8(QByteArrayView bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned min;
        unsigned code;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned t = s[i + k];
            if ((t & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (t & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// A whole number as a loop line writes it: digits with an optional '-', spaces around allowed.
// *shown is the number as a message names it; beyond 12 digits *value only keeps its sign.
bool wholeNumber(QByteArrayView field, qint64 *value, QString *shown)
{
    field = field.trimmed();
    const bool negative = field.startsWith('-');
    const QByteArrayView digits = negative ? field.sliced(1) : field;
    if (digits.isEmpty())
        return false;
    qint64 v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        v = v < 100000000000LL ? v * 10 + (c - '0') : 1000000000000LL;
    }
    *value = negative ? -v : v;
    *shown = v < 1000000000000LL ? QString::number(*value) : QString::fromLatin1(field);
    return true;
}

QString loopSyntax()
{
    return localized("a loop line is id;cable;length[;sections]",
                     "строка линии имеет вид id;кабель;длина[;участки]");
}


// The first field, for a line refused before its fields could be told apart.
QByteArrayView firstField(QByteArrayView line)
{
    const qsizetype semi = line.indexOf(';');
    return semi < 0 ? line : line.first(semi);
}

bool refuseText(LoopProblem *problem, LoopTextEncoding encoding)
{
    if (encoding == LoopTextEncoding::Utf16)
        return refuse(problem, [] { return localized("the line is not UTF-16 text", "строка не является текстом UTF-16"); });
    return refuse(problem, [] { return localized("the line is not UTF-8 text", "строка не является текстом UTF-8"); });
}

} // namespace

QString LoopProblem::text() const
{
    return messageLanguage() == MessageLanguage::Russian ? russian : english;
}

QByteArray loopIdShown(QByteArrayView line)
{
    const QByteArrayView id = firstField(line);
    if (validUtf8(id) && std::none_of(id.begin(), id.end(), isControl))
        return id.toByteArray();
    QString shown = text(id);
    for (QChar &c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar::ReplacementCharacter;
    return shown.toUtf8();
}

bool splitLoopLine(QByteArrayView line, LoopFields *f, LoopProblem *problem, LoopTextEncoding encoding)
{
    *f = LoopFields();
    // A NUL is no character of a loop line: most often the file is UTF-16 without its mark.
    if (line.contains('\0'))
        return refuse(problem, [] {
            return localized("the line holds a NUL byte: loop records are UTF-8 text, or UTF-16 with a byte-order mark",
                             "в строке есть нулевой байт: записи линий — текст UTF-8 или UTF-16 с меткой порядка байтов");
        });
    if (!validUtf8(line))
        return refuseText(problem, encoding);
    if (line.endsWith(';'))
        line.chop(1);
    QByteArrayView parts[4];
    int count = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype semi = line.indexOf(';', start);
        if (count == 4)
            return refuse(problem, [] {
                return localized("too many fields: %1", "слишком много полей: %1").arg(loopSyntax());
            });
        parts[count++] = semi < 0 ? line.sliced(start) : line.sliced(start, semi - start);
        if (semi < 0)
            break;
        start = semi + 1;
    }
    if (count < 3)
        return refuse(problem, [] {
            return localized("too few fields: %1", "мало полей: %1").arg(loopSyntax());
        });
    const auto control = std::find_if(parts[0].begin(), parts[0].end(), isControl);
    if (control != parts[0].end())
        return refuse(problem, [&] {
            return localized("the id holds the control character U+%1", "идентификатор содержит управляющий символ U+%1")
                .arg(QString::number(static_cast<unsigned char>(*control), 16).rightJustified(4, QLatin1Char('0')).toUpper());
        });
    f->id = parts[0];
    f->cable = parts[1];
    f->length = parts[2];
    f->sections = count > 3 ? parts[3] : QByteArrayView();
    return true;
}

bool parseLoopCable(QByteArrayView field, QString *cable, LoopProblem *problem)
{
    field = field.trimmed();
    if (field.isEmpty())
        return refuse(problem, [] { return localized("no cable given", "не задан кабель"); });
    *cable = text(field);
    return true;
}

bool parseLoopLength(QByteArrayView field, int *length, LoopProblem *problem)
{
    qint64 v = 0;
    QString shown;
    if (!wholeNumber(field, &v, &shown))
        return refuse(problem, [&] {
            return localized("length \"%1\" is not a whole number of metres",
                             "длина «%1» не является целым числом метров")
                .arg(text(field.trimmed()));
        });
    if (!CalcInput::Length.contains(v))
        return refuse(problem, [&] {
            return localized("length %1 m is outside %2..%3", "длина %1 м вне диапазона %2..%3")
                .arg(shown, QString::number(CalcInput::Length.min),
                     QString::number(CalcInput::Length.max));
        });
    *length = int(v);
    return true;
}

bool isLoopLoss(QByteArrayView field)
{
    field = field.trimmed();
    return field.size() >= 2 && QByteArrayView(field.last(2)).compare("dB", Qt::CaseInsensitive) == 0;
}

bool parseLoopLoss(QByteArrayView field, int *tenths, LoopProblem *problem)
{
    const QByteArrayView trimmed = field.trimmed();
    const QByteArrayView number = trimmed.chopped(2).trimmed();
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    qsizetype whole = 0;
    while (whole < number.size() && isDigit(number.at(whole)))
        ++whole;
    const qsizetype rest = number.size() - whole;
    const bool decimal = rest == 2 && (number.at(whole) == '.' || number.at(whole) == ',') && isDigit(number.at(whole + 1));
    if (whole == 0 || (rest != 0 && !decimal))
        return refuse(problem, [&] {
            return localized("loss \"%1\" is not a number of dB with at most one decimal",
                             "затухание «%1» не является числом дБ с не более чем одним знаком после запятой")
                .arg(text(trimmed));
        });
    // Far too many digits are outside the bounds all the same.
    qint64 units = 0;
    for (char c : number.first(whole))
        units = std::min<qint64>(units * 10 + (c - '0'), 1000000000);
    units = units * 10 + (decimal ? number.at(whole + 1) - '0' : 0);
    const IntRange &range = CalcInput::Loss;
    if (!range.contains(units))
        return refuse(problem, [&] {
            return localized("loss %1 dB is outside %2..%3 dB", "затухание %1 дБ вне диапазона %2..%3 дБ")
                .arg(text(number).replace(QLatin1Char(','), QLatin1Char('.')), QString::number(range.min / 10),
                     QString::number(range.max / 10));
        });
    *tenths = int(units);
    return true;
}

// `CABLE:LENGTH` joined by '+': each piece and the whole list read by the calculation's own
// section rule, and refused in its words.
bool parseLoopSections(QByteArrayView field, QVector<CableSection> *sections, qint64 *total,
                       LoopProblem *problem)
{
    sections->clear();
    *total = 0;
    field = field.trimmed();
    if (field.isEmpty())
        return true;
    // Named as the loop writes them: a piece's problem names that piece, the list's the sections.
    const auto refused = [problem](const CalcInput::Problem &p, const QString &piece = QString()) {
        return refuse(problem, [&] {
            return CalcInput::describe(p, [&](CalcInput::Field) {
                if (piece.isNull() || p.kind == CalcInput::Problem::NotCableLength)
                    return localized("sections", "участки");
                return localized("section \"%1\"", "участок «%1»").arg(piece);
            });
        });
    };
    qsizetype start = 0;
    for (;;) {
        const qsizetype plus = field.indexOf('+', start);
        const QByteArrayView piece = plus < 0 ? field.sliced(start) : field.sliced(start, plus - start);
        CableSection section;
        const QString pieceText = text(piece.trimmed());
        if (const std::optional<CalcInput::Problem> p = CalcInput::parseSection(pieceText, &section))
            return refused(*p, pieceText);
        sections->append(section);
        if (plus < 0)
            break;
        start = plus + 1;
    }
    if (const std::optional<CalcInput::Problem> p = CalcInput::checkSections(*sections))
        return refused(*p);
    *total = CalcInput::sectionsTotal(*sections);
    return true;
}

bool checkSectionsFitLoop(qint64 total, int length, LoopProblem *problem)
{
    if (total <= length)
        return true;
    return refuse(problem, [&] {
        return localized("the sections add up to %1 m, more than the loop's length of %2 m",
                         "сумма длин участков %1 м больше длины линии %2 м")
            .arg(QString::number(total), QString::number(length));
    });
}

LoopProblem loopLineTooLong()
{
    return inBothLanguages([] {
        return localized("the line is longer than %1 bytes", "строка длиннее %1 байт")
            .arg(QString::number(LoopRecordsReader::MaxLineBytes));
    });
}

bool parseLoopLine(QByteArrayView line, LoopRecord *record, LoopProblem *problem)
{
    *record = LoopRecord();
    record->id = loopIdShown(line);
    LoopFields f;
    if (!splitLoopLine(line, &f, problem))
        return false;
    qint64 total = 0;
    // A loss below the sections' own is found out with their cables.
    const bool loss = isLoopLoss(f.length);
    return parseLoopCable(f.cable, &record->cable, problem)
           && (loss ? parseLoopLoss(f.length, &record->loss, problem) : parseLoopLength(f.length, &record->length, problem))
           && parseLoopSections(f.sections, &record->sections, &total, problem)
           && (loss || checkSectionsFitLoop(total, record->length, problem));
}

// ---------------------------------------------------------------------------------------------

LoopRecordsReader::LoopRecordsReader(QIODevice &input)
    : m_input(input)
{
}

LoopTextEncoding LoopRecordsReader::encoding() const
{
    return m_encoding == Encoding::Utf16LE || m_encoding == Encoding::Utf16BE ? LoopTextEncoding::Utf16
                                                                             : LoopTextEncoding::Utf8;
}

void LoopRecordsReader::decodeUtf16(const char *data, qsizetype size, bool last)
{
    const auto put = [this](char32_t c) {
        if (c < 0x80) {
            m_text += char(c);
        } else if (c < 0x800) {
            m_text += char(0xC0 | (c >> 6));
            m_text += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            m_text += char(0xE0 | (c >> 12));
            m_text += char(0x80 | ((c >> 6) & 0x3F));
            m_text += char(0x80 | (c & 0x3F));
        } else {
            m_text += char(0xF0 | (c >> 18));
            m_text += char(0x80 | ((c >> 12) & 0x3F));
            m_text += char(0x80 | ((c >> 6) & 0x3F));
            m_text += char(0x80 | (c & 0x3F));
        }
    };
    // An odd byte left from the last block starts this one's first unit.
    m_raw.append(data, size);
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_raw.constData());
    const qsizetype units = m_raw.size() / 2;
    const bool little = m_encoding == Encoding::Utf16LE;
    m_text.reserve(units * 3);
    for (qsizetype i = 0; i < units; ++i) {
        const char32_t u = little ? char32_t(bytes[2 * i] | bytes[2 * i + 1] << 8)
                                  : char32_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
        if (m_highSurrogate) {
            const char32_t high = m_highSurrogate;
            m_highSurrogate = 0;
            if (u >= 0xDC00 && u <= 0xDFFF) {
                put(0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00));
                continue;
            }
            m_text += BrokenText;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            m_highSurrogate = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            m_text += BrokenText;
        else
            put(u);
    }
    m_raw.remove(0, units * 2);
    if (last && (m_highSurrogate || !m_raw.isEmpty())) {
        m_text += BrokenText;
        m_highSurrogate = 0;
        m_raw.clear();
    }
}

bool LoopRecordsReader::fill()
{
    m_text.resize(0); // its block stays allocated
    m_pos = 0;
    m_nextCr = -1;
    QByteArray block;
    for (;;) {
        if (m_encoding == Encoding::Utf8) {
            // Read straight into the text: nothing to decode.
            m_text.resize(ReadBlock);
            const qint64 n = m_input.read(m_text.data(), ReadBlock);
            m_text.resize(std::max<qint64>(n, 0));
            if (n > 0) {
                m_bytesRead += n;
                return true;
            }
            if (n < 0)
                break;
        } else {
            block.resize(ReadBlock);
            const qint64 n = m_input.read(block.data(), ReadBlock);
            if (n < 0)
                break;
            if (n > 0) {
                m_bytesRead += n;
                if (m_encoding == Encoding::Unknown) {
                    // The byte-order mark decides; without one the text is UTF-8.
                    m_raw.append(block.constData(), n);
                    if (m_raw.size() < 3)
                        continue;
                    const QByteArray first = m_raw;
                    m_raw.clear();
                    if (first.startsWith("\xff\xfe") || first.startsWith("\xfe\xff")) {
                        m_encoding = first.startsWith("\xff\xfe") ? Encoding::Utf16LE : Encoding::Utf16BE;
                        decodeUtf16(first.constData() + 2, first.size() - 2, false);
                    } else {
                        m_encoding = Encoding::Utf8;
                        m_text = first;
                    }
                } else {
                    decodeUtf16(block.constData(), n, false);
                }
                if (!m_text.isEmpty())
                    return true;
                continue;
            }
        }
        // A pipe read through QFile blocks until data or its end; other sequential devices may
        // merely have nothing yet.
        if (m_input.isSequential() && m_input.waitForReadyRead(-1))
            continue;
        // The end: what is left of a short file or of a broken UTF-16 text.
        if (m_encoding == Encoding::Unknown) {
            m_encoding = Encoding::Utf8;
            m_text = m_raw;
            m_raw.clear();
        } else if (m_encoding != Encoding::Utf8) {
            decodeUtf16(nullptr, 0, true);
        }
        return !m_text.isEmpty();
    }
    m_error = localized("Cannot read the loop records: %1", "Не удаётся прочитать записи линий: %1")
                  .arg(m_input.errorString());
    m_text.clear();
    return false;
}

bool LoopRecordsReader::next(Line *line)
{
    const auto append = [this](QByteArrayView piece) {
        if (m_truncated)
            return;
        const qsizetype room = MaxLineBytes - m_partial.size();
        if (piece.size() > room) {
            m_partial.append(piece.first(room));
            m_truncated = true;
        } else {
            m_partial.append(piece);
        }
    };
    // The header, a byte-order mark in front of it included, says whatever it says.
    const auto deliver = [this, line](QByteArrayView bytes, bool tooLong) {
        if (m_number == 1 || (!tooLong && isBlankLine(bytes)))
            return false;
        line->number = m_number;
        line->bytes = bytes;
        line->tooLong = tooLong;
        return true;
    };
    if (m_clearPartial) {
        m_partial.clear();
        m_truncated = false;
        m_clearPartial = false;
    }
    for (;;) {
        if (m_pos >= m_text.size()) {
            if (!m_ended && fill())
                continue;
            m_ended = true;
            if (m_partial.isEmpty() && !m_truncated)
                return false;
            // The last line, without a line end.
            ++m_number;
            m_clearPartial = true;
            if (deliver(m_partial, m_truncated))
                return true;
            m_partial.clear();
            m_truncated = false;
            return false;
        }
        const char *data = m_text.constData();
        const qsizetype size = m_text.size();
        if (m_afterCr) {
            m_afterCr = false;
            if (data[m_pos] == '\n') {
                ++m_pos;
                continue;
            }
        }
        if (m_nextCr < m_pos) {
            const void *cr = std::memchr(data + m_pos, '\r', size_t(size - m_pos));
            m_nextCr = cr ? qsizetype(static_cast<const char *>(cr) - data) : size;
        }
        const void *nl = std::memchr(data + m_pos, '\n', size_t(std::min(m_nextCr, size) - m_pos));
        const qsizetype end = nl ? qsizetype(static_cast<const char *>(nl) - data) : m_nextCr;
        const QByteArrayView piece(data + m_pos, end - m_pos);
        if (end >= size) {
            append(piece);
            m_pos = size;
            continue;
        }
        m_pos = end + 1;
        if (data[end] == '\r') {
            if (m_pos < size) {
                if (data[m_pos] == '\n')
                    ++m_pos;
            } else {
                m_afterCr = true;
            }
        }
        ++m_number;
        bool delivered;
        if (m_partial.isEmpty() && !m_truncated) {
            const bool tooLong = piece.size() > MaxLineBytes;
            delivered = deliver(tooLong ? piece.first(MaxLineBytes) : piece, tooLong);
        } else {
            append(piece);
            m_clearPartial = true;
            delivered = deliver(m_partial, m_truncated);
        }
        if (delivered)
            return true;
        if (m_clearPartial) {
            m_partial.clear();
            m_truncated = false;
            m_clearPartial = false;
        }
    }
}
