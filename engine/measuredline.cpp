#include "engine/measuredline.h"

#include "engine/checks.h"
#include "engine/fileread.h"
#include "engine/filewrite.h"
#include "engine/messages.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>

namespace Measured {

namespace {

constexpr std::array<Quantity, 3> Quantities{Quantity::Hlog, Quantity::Qln, Quantity::Snr};
constexpr int MostTone = 32767; // a template row number is 16 bits
const char *const LinkFormat = "kolvane-measured-snr";

// The physical range of a quantity's coding and its "no measurement" code.
struct Coding {
    double top;     // the value of code 0
    double bottom;  // the value of the last valid code
    int noValue;    // the code meaning "not measured"
};

Coding codingOf(Quantity q)
{
    switch (q) {
    case Quantity::Hlog: return {6.0, -96.2, 1023};
    case Quantity::Qln: return {-23.0, -150.0, 255};
    case Quantity::Snr: break;
    }
    return {95.0, -32.0, 255};
}

// Each is one double division of an exact integer, so a code and the same value written in dB
// read as the same double.
double decodeRaw(Quantity q, qint64 code)
{
    switch (q) {
    case Quantity::Hlog: return double(60 - code) / 10.0;
    case Quantity::Qln: return double(-46 - code) / 2.0;
    case Quantity::Snr: break;
    }
    return double(code - 64) / 2.0;
}

bool outsideCoding(Quantity q, double v)
{
    const Coding c = codingOf(q);
    const double lo = std::min(c.top, c.bottom), hi = std::max(c.top, c.bottom);
    return !(v >= lo && v <= hi);
}

QString number(double v)
{
    return QString::number(v, 'g', 10);
}

QString unitOf(Quantity q)
{
    return q == Quantity::Qln ? localized("dBm/Hz", "дБм/Гц") : localized("dB", "дБ");
}

// What one file holds, before the files are put together.
struct FileData {
    Format format = Format::Tr181;
    std::array<Series, 3> series;
    QStringList warnings;
};

using Result = std::optional<FileData>;

Result refuse(QString *error, const QString &message)
{
    fail(error, message);
    return std::nullopt;
}

// Checks the decoded values of one series against the coding: a value outside it that is not a
// missing value is refused.
bool checkRange(Quantity q, const Series &s, const QString &where, QString *error)
{
    for (int i = 0; i < s.entries.size(); ++i) {
        const Entry &e = s.entries.at(i);
        if (!e.missing && outsideCoding(q, e.value)) {
            const Coding c = codingOf(q);
            return fail(error, localized("%1: %2 value %3 %4 (entry %5) is outside the coding's %6..%7 %4",
                                         "%1: значение %2 %3 %4 (элемент %5) вне диапазона кодирования %6..%7 %4")
                                   .arg(where, quantityName(q), number(e.value), unitOf(q), QString::number(i),
                                        number(std::min(c.top, c.bottom)), number(std::max(c.top, c.bottom))));
        }
    }
    return true;
}

bool validGroupSize(double g)
{
    return g == 1 || g == 2 || g == 4 || g == 8 || g == 16;
}

QString groupSizeProblem(const QString &where, const QString &given)
{
    return localized("%1: group size %2; it must be 1, 2, 4, 8 or 16",
                     "%1: размер группы %2; допустимы 1, 2, 4, 8 и 16")
        .arg(where, given);
}

QStringList textLines(const QByteArray &content)
{
    QStringList lines = QString::fromUtf8(content).split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    return lines;
}

// ---- Test parameters: NAME=VALUE-LIST lines ----

const char *const ParamPrefix[] = {"HLOG", "QLN", "SNR"};

bool isKnownParam(const QString &param)
{
    for (const char *prefix : ParamPrefix)
        for (const char *kind : {"G", "ps", "MT"})
            for (const char *direction : {"ds", "us"})
                if (param == QLatin1String(prefix) + QLatin1String(kind) + QLatin1String(direction))
                    return true;
    return false;
}

// The parameter a line assigns (its name's last dotted component), "" for a blank, a comment or
// a line without "=".
QString assignedParam(const QString &line, QString *value = nullptr)
{
    const QString trimmed = line.trimmed();
    const int eq = trimmed.indexOf(QLatin1Char('='));
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')) || eq < 0)
        return QString();
    if (value)
        *value = trimmed.mid(eq + 1).trimmed();
    return trimmed.left(eq).trimmed().section(QLatin1Char('.'), -1);
}

bool isToneHeader(const QString &line)
{
    return line.trimmed().startsWith(QLatin1String("Tone number"), Qt::CaseInsensitive);
}

QString unquoted(QString value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2).trimmed();
    return value;
}

bool notAvailable(const QString &value)
{
    return value.isEmpty() || value == QLatin1String("None");
}

Result parseTr181(const QByteArray &content, const QString &name, QString *error)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression item(QStringLiteral("^(?:[0-9]+|-?[0-9]+\\.[0-9]+|-[0-9]+)$"));
    const QStringList lines = textLines(content);
    QHash<QString, QString> values;
    QHash<QString, int> lineOf;
    for (int k = 0; k < lines.size(); ++k) {
        const QString trimmed = lines.at(k).trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (!trimmed.contains(QLatin1Char('=')))
            return refuse(error, localized("%1, line %2: neither NAME=VALUE nor a comment",
                                           "%1, строка %2: не ИМЯ=ЗНАЧЕНИЕ и не комментарий")
                                     .arg(name, QString::number(k + 1)));
        QString value;
        const QString param = assignedParam(trimmed, &value);
        if (!isKnownParam(param))
            continue;
        if (lineOf.contains(param))
            return refuse(error, localized("%1: parameter %2 appears twice (lines %3 and %4)",
                                           "%1: параметр %2 встречается дважды (строки %3 и %4)")
                                     .arg(name, param, QString::number(lineOf.value(param)), QString::number(k + 1)));
        lineOf.insert(param, k + 1);
        values.insert(param, unquoted(value));
    }
    if (lineOf.isEmpty())
        return refuse(error, localized("%1 holds no test parameters (HLOGpsds, QLNpsds, SNRpsds, ...)",
                                       "%1 не содержит параметров измерения (HLOGpsds, QLNpsds, SNRpsds, ...)")
                                 .arg(name));

    FileData data;
    data.format = Format::Tr181;
    for (Quantity q : Quantities) {
        const QString prefix = QLatin1String(ParamPrefix[int(q)]);
        const QString listParam = prefix + QStringLiteral("psds");
        const QString list = values.value(listParam);
        if (notAvailable(list))
            continue;
        const QString where = QStringLiteral("%1: %2").arg(name, listParam);
        Series &s = data.series[size_t(q)];
        s.present = true;
        s.source = name;
        const QString groupParam = prefix + QStringLiteral("Gds");
        const QString group = values.value(groupParam);
        if (notAvailable(group)) {
            data.warnings << localized("%1: %2 not given; group size 1 assumed",
                                       "%1: %2 не задан; принят размер группы 1")
                                 .arg(name, groupParam);
        } else {
            bool ok = false;
            const qint64 g = digits.match(group).hasMatch() ? group.toLongLong(&ok, 10) : 0;
            if (!ok || !validGroupSize(g))
                return refuse(error, groupSizeProblem(QStringLiteral("%1: %2").arg(name, groupParam), group));
            s.groupSize = int(g);
        }
        QStringList items = list.split(QLatin1Char(','));
        if (items.size() > MostGroups) {
            s.dropped = int(items.size()) - MostGroups;
            items = items.mid(0, MostGroups);
            data.warnings << localized("%1 has %2 items; the first %3 are used",
                                       "%1: элементов %2; использованы первые %3")
                                 .arg(where, QString::number(items.size() + s.dropped), QString::number(MostGroups));
        }
        bool raw = true;
        for (int i = 0; i < items.size(); ++i) {
            items[i] = items[i].trimmed();
            if (!item.match(items.at(i)).hasMatch())
                return refuse(error, localized("%1: item %2 \"%3\" is not a number",
                                               "%1: элемент %2 «%3» не является числом")
                                         .arg(where, QString::number(i), items.at(i)));
            raw = raw && digits.match(items.at(i)).hasMatch();
        }
        const Coding coding = codingOf(q);
        bool allZero = raw;
        for (int i = 0; i < items.size(); ++i) {
            Entry e;
            e.tone = i * s.groupSize;
            if (raw) {
                bool ok = false;
                const qint64 code = items.at(i).toLongLong(&ok, 10); // decimal even with leading zeros
                if (!ok || code > coding.noValue)
                    return refuse(error, localized("%1: raw code %2 (item %3) is above %4",
                                                   "%1: код %2 (элемент %3) больше %4")
                                             .arg(where, items.at(i), QString::number(i),
                                                  QString::number(coding.noValue)));
                allZero = allZero && code == 0;
                e.missing = code == coding.noValue;
                e.value = e.missing ? 0.0 : decodeRaw(q, code);
            } else {
                e.value = items.at(i).toDouble();
                e.missing = q == Quantity::Hlog && e.value <= -96.0;
            }
            s.entries << e;
        }
        // Some devices fill every code with 0 when they measured nothing; +6 dB or −23 dBm/Hz
        // throughout is no line.
        if (allZero && items.size() > 1)
            return refuse(error, localized("%1: every code is 0, which devices report when they measured nothing",
                                           "%1: все коды равны 0 — так устройства сообщают, что ничего не измерено")
                                     .arg(where));
        if (!checkRange(q, s, where, error))
            return std::nullopt;
    }
    return data;
}

// ---- Router statistics: JSON ----

Result parseJson(const QByteArray &content, const QString &name, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(content, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refuse(error, localized("%1 is not valid JSON: %2 at byte %3", "%1 — неверный JSON: %2 (байт %3)")
                                 .arg(name, parseError.errorString(), QString::number(parseError.offset)));
    if (!document.isObject())
        return refuse(error, localized("%1: the JSON root is not an object", "%1: корень JSON не является объектом")
                                 .arg(name));
    const QJsonObject root = document.object();
    const char *const keys[] = {"hlog", "qln", "snr"};
    FileData data;
    data.format = Format::Json;
    bool any = false;
    for (Quantity q : Quantities) {
        const QString key = QLatin1String(keys[int(q)]);
        if (!root.contains(key))
            continue;
        any = true;
        const QString where = QStringLiteral("%1: %2.downstream").arg(name, key);
        const QJsonObject downstream = root.value(key).toObject().value(QStringLiteral("downstream")).toObject();
        const QJsonValue list = downstream.value(QStringLiteral("data"));
        if (!list.isArray())
            return refuse(error, localized("%1 has no data array", "%1: нет массива data").arg(where));
        const QJsonValue group = downstream.value(QStringLiteral("groupsize"));
        const double g = group.toDouble(-1);
        if (!group.isDouble() || !validGroupSize(g))
            return refuse(error, groupSizeProblem(where, group.isDouble() ? number(g) : localized("not given", "не задан")));
        Series &s = data.series[size_t(q)];
        s.present = true;
        s.source = name;
        s.groupSize = int(g);
        const QJsonArray values = list.toArray();
        if ((values.size() - 1) * s.groupSize > MostTone)
            return refuse(error, localized("%1: %2 groups of %3 tones reach beyond tone %4",
                                           "%1: %2 групп по %3 тонов выходят за тон %4")
                                     .arg(where, QString::number(values.size()), QString::number(s.groupSize),
                                          QString::number(MostTone)));
        const QJsonValue groups = downstream.value(QStringLiteral("groups"));
        if (groups.isDouble() && groups.toDouble() != double(values.size()))
            data.warnings << localized("%1: groups is %2 but data holds %3 entries; %3 used",
                                       "%1: groups = %2, а в data %3 элементов; использованы %3")
                                 .arg(where, number(groups.toDouble()), QString::number(values.size()));
        bool allCodes = true;
        int numbers = 0;
        for (int i = 0; i < values.size(); ++i) {
            Entry e;
            e.tone = i * s.groupSize;
            e.missing = !values.at(i).isDouble();
            if (!e.missing) {
                e.value = values.at(i).toDouble();
                ++numbers;
                if (q == Quantity::Hlog)
                    allCodes = allCodes && e.value == std::floor(e.value) && e.value > 6;
                else
                    allCodes = allCodes && e.value >= 0;
            }
            s.entries << e;
        }
        // An early producer wrote the raw codes; values in dB never look like that.
        if (q != Quantity::Snr && numbers > 0 && allCodes)
            return refuse(error, localized("%1 holds raw codes where values in %2 are expected",
                                           "%1 содержит коды вместо значений в %2")
                                     .arg(where, unitOf(q)));
        if (!checkRange(q, s, where, error))
            return std::nullopt;
    }
    if (!any)
        return refuse(error, localized("%1 holds no hlog, qln or snr object", "%1 не содержит объектов hlog, qln, snr")
                                 .arg(name));
    return data;
}

// ---- Modem dump: one tone per line ----

Result parseText(const QByteArray &content, const QString &name, int firstDownstream, QString *error)
{
    static const QRegularExpression dataLine(QStringLiteral("^\\s*([0-9]+)\\s+(-?[0-9]+(?:\\.[0-9]+)?)\\s*$"));
    const QStringList lines = textLines(content);
    int k = 0;
    while (k < lines.size() && !isToneHeader(lines.at(k)))
        ++k;
    if (k == lines.size())
        return refuse(error, localized("%1 has no \"Tone number\" line", "%1: нет строки «Tone number»").arg(name));
    const QString what = lines.at(k).trimmed().mid(int(qstrlen("Tone number"))).trimmed();
    std::optional<Quantity> quantity;
    for (Quantity q : Quantities)
        if (what.compare(quantityName(q), Qt::CaseInsensitive) == 0)
            quantity = q;
    if (!quantity)
        return refuse(error, localized("%1 lists \"%2\"; only Hlog, QLN and SNR can be imported",
                                       "%1 содержит «%2»; импортируются только Hlog, QLN и SNR")
                                 .arg(name, what));
    const Quantity q = *quantity;
    FileData data;
    data.format = Format::Text;
    Series &s = data.series[size_t(q)];
    s.present = true;
    s.source = name;
    QHash<int, int> lineOfTone;
    for (++k; k < lines.size(); ++k) {
        const QRegularExpressionMatch m = dataLine.match(lines.at(k));
        if (!m.hasMatch())
            break;
        bool ok = false;
        const int tone = m.captured(1).toInt(&ok, 10);
        if (!ok || tone > MostTone)
            return refuse(error, localized("%1, line %2: tone %3 is beyond %4", "%1, строка %2: тон %3 больше %4")
                                     .arg(name, QString::number(k + 1), m.captured(1), QString::number(MostTone)));
        if (lineOfTone.contains(tone))
            return refuse(error, localized("%1: tone %2 is listed twice (lines %3 and %4)",
                                           "%1: тон %2 указан дважды (строки %3 и %4)")
                                     .arg(name, QString::number(tone), QString::number(lineOfTone.value(tone)),
                                          QString::number(k + 1)));
        lineOfTone.insert(tone, k + 1);
        if (tone < firstDownstream) {
            ++s.dropped;
            continue;
        }
        Entry e;
        e.tone = tone;
        e.value = m.captured(2).toDouble();
        switch (q) {
        case Quantity::Hlog: e.missing = e.value <= -96.0; break;
        case Quantity::Qln: e.missing = e.value == 0 || e.value == -160.0 || e.value < -150.0; break;
        case Quantity::Snr: e.missing = e.value == 0; break;
        }
        s.entries << e;
    }
    std::sort(s.entries.begin(), s.entries.end(), [](const Entry &a, const Entry &b) { return a.tone < b.tone; });
    if (!checkRange(q, s, name, error))
        return std::nullopt;
    return data;
}

// ---- Telling the formats apart ----

struct Looks {
    bool json = false;
    bool tr181 = false;
    bool text = false;
};

Looks looksOf(const QByteArray &content)
{
    Looks looks;
    const QByteArray start = content.trimmed();
    looks.json = start.startsWith('{');
    if (looks.json)
        return looks;
    for (const QString &line : textLines(content)) {
        if (isToneHeader(line))
            looks.text = true;
        else if (isKnownParam(assignedParam(line)))
            looks.tr181 = true;
    }
    return looks;
}

Result parseFile(QByteArray content, const QString &name, const ReadOptions &options, QString *error)
{
    // Exported on some desktops with a byte-order mark, which would hide the first name or brace.
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    const Looks looks = looksOf(content);
    std::optional<Format> format = options.format;
    if (!format) {
        if (looks.tr181 && looks.text)
            return refuse(error, localized("%1 mixes test parameters with a tone dump",
                                           "%1 смешивает параметры измерения с выводом по тонам")
                                     .arg(name));
        if (looks.json)
            format = Format::Json;
        else if (looks.text)
            format = Format::Text;
        else if (looks.tr181)
            format = Format::Tr181;
        else
            return refuse(error, localized("%1 is no measurement of a known format (test parameters, router "
                                           "statistics JSON, a modem's tone dump)",
                                           "%1 не является измерением известного формата (параметры измерения, "
                                           "JSON статистики маршрутизатора, вывод модема по тонам)")
                                     .arg(name));
    }
    switch (*format) {
    case Format::Tr181: return parseTr181(content, name, error);
    case Format::Json: return parseJson(content, name, error);
    case Format::Text: break;
    }
    return parseText(content, name, options.firstDownstreamTone, error);
}

QStringList plausibility(const Measurement &m)
{
    QStringList out;
    const auto count = [](const Series &s, const std::function<bool(double)> &test) {
        int n = 0;
        for (const Entry &e : s.entries)
            n += !e.missing && test(e.value);
        return n;
    };
    if (m.hlog.present) {
        if (const int gains = count(m.hlog, [](double v) { return v > 0; }))
            out << localized("Hlog: %1 values above 0 dB, a gain where a loss is expected",
                             "Hlog: значений выше 0 дБ: %1 — усиление вместо затухания")
                       .arg(gains);
        if (m.hlog.usable() < 8)
            out << localized("Hlog: only %1 usable entries", "Hlog: пригодных значений всего %1").arg(m.hlog.usable());
    }
    if (m.qln.present) {
        const int loud = count(m.qln, [](double v) { return v > -90; });
        if (loud * 10 > m.qln.usable())
            out << localized("QLN: %1 of %2 values above -90 dBm/Hz, loud for a quiet line",
                             "QLN: %1 из %2 значений выше -90 дБм/Гц — слишком громко для тихой линии")
                       .arg(QString::number(loud), QString::number(m.qln.usable()));
        if (count(m.qln, [](double v) { return v == -150.0; }) == m.qln.usable())
            out << localized("QLN: every value at -150 dBm/Hz, the bottom of the coding; the true noise may be lower",
                             "QLN: все значения равны -150 дБм/Гц, нижней границе кодирования; истинный шум может "
                             "быть ниже");
    }
    if (m.snr.present) {
        if (const int high = count(m.snr, [](double v) { return v > 70; }))
            out << localized("SNR: %1 values above 70 dB", "SNR: значений выше 70 дБ: %1").arg(high);
    }
    return out;
}

bool readWhole(const QString &path, QByteArray *content, QString *error)
{
    QFile file;
    QString reason;
    if (!openFileForReading(file, path, &reason))
        return fail(error, localized("Cannot read %1: %2", "Не удаётся прочитать %1: %2").arg(path, reason));
    if (file.size() > MostFileBytes)
        return fail(error, localized("%1 is too large to be read (%2 bytes)",
                                     "%1 слишком велик для чтения (%2 байт)")
                               .arg(path, QString::number(file.size())));
    *content = file.read(MostFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(error, localized("Cannot read %1: %2", "Не удаётся прочитать %1: %2").arg(path, file.errorString()));
    return true;
}

QString linkPath(const QString &workdir, const QString &cable)
{
    return workspacePath(workdir, templateDirectory(CableAttenuation) + QStringLiteral("/.%1%2.measured")
                                      .arg(cable, templateExtension(CableAttenuation)));
}

QByteArray fileHash(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray linkText(const Measurement &m, int lineLength, const QByteArray &cableHash)
{
    QJsonArray tones, values;
    for (const Entry &e : m.snr.entries) {
        if (e.missing)
            continue;
        tones << e.tone;
        values << e.value;
    }
    QJsonObject o;
    o.insert(QStringLiteral("format"), QLatin1String(LinkFormat));
    o.insert(QStringLiteral("version"), 1);
    o.insert(QStringLiteral("cable"), QString::fromLatin1(cableHash));
    o.insert(QStringLiteral("lineLength"), lineLength);
    o.insert(QStringLiteral("sources"), QJsonArray::fromStringList(m.sources));
    o.insert(QStringLiteral("groupSize"), m.snr.groupSize);
    o.insert(QStringLiteral("tones"), tones);
    o.insert(QStringLiteral("snr"), values);
    return QJsonDocument(o).toJson();
}

// One file of an import: how to write it (or, without a writer, to remove it), and what was
// there before, to put back when a later one fails.
struct Step {
    using Writer = std::function<bool(const QString &path, QString *error)>;
    Step(const QString &relative, const Writer &write, bool own = false) : relative(relative), write(write), own(own) {}

    QString relative; // to the workspace
    Writer write;
    bool own;         // the import's own file, replaced without asking
    QString path;
    bool existed = false;
    QByteArray before;
};

bool writeBytes(const QString &path, const QByteArray &bytes, QString *error = nullptr)
{
    return writeFileSafely(path, [&bytes](QIODevice &out, QString *) { return out.write(bytes) == bytes.size(); },
                           error);
}

void undo(const QVector<Step> &done)
{
    for (auto it = done.crbegin(); it != done.crend(); ++it) {
        if (it->existed)
            writeBytes(it->path, it->before);
        else
            QFile::remove(it->path);
    }
}

} // namespace

QString quantityName(Quantity quantity)
{
    switch (quantity) {
    case Quantity::Hlog: return QStringLiteral("Hlog");
    case Quantity::Qln: return QStringLiteral("QLN");
    case Quantity::Snr: break;
    }
    return QStringLiteral("SNR");
}

QString formatName(Format format)
{
    switch (format) {
    case Format::Tr181: return QStringLiteral("TR-181");
    case Format::Json: return QStringLiteral("JSON");
    case Format::Text: break;
    }
    return QStringLiteral("text");
}

std::optional<Format> formatFromName(const QString &name)
{
    if (name == QLatin1String("tr181"))
        return Format::Tr181;
    if (name == QLatin1String("json"))
        return Format::Json;
    if (name == QLatin1String("text"))
        return Format::Text;
    return std::nullopt;
}

std::optional<int> annexFirstDownstreamTone(const QString &annex)
{
    const QString a = annex.toUpper();
    if (a == QLatin1String("A") || a == QLatin1String("I") || a == QLatin1String("L"))
        return 32;
    if (a == QLatin1String("B") || a == QLatin1String("J") || a == QLatin1String("M"))
        return 64;
    return std::nullopt;
}

int Series::usable() const
{
    return int(std::count_if(entries.begin(), entries.end(), [](const Entry &e) { return !e.missing; }));
}

std::optional<double> Series::valueAtTone(int tone) const
{
    // Entries are in increasing tone order: the last one starting at or below the tone.
    auto it = std::upper_bound(entries.begin(), entries.end(), tone,
                               [](int t, const Entry &e) { return t < e.tone; });
    if (it == entries.begin())
        return std::nullopt;
    --it;
    if (it->missing || tone >= it->tone + groupSize)
        return std::nullopt;
    return it->value;
}

std::optional<double> Series::valueAtFrequency(double kHz) const
{
    const double tone = std::round(kHz / ToneSpacing);
    if (!(tone >= 0 && tone <= MostTone))
        return std::nullopt;
    return valueAtTone(int(tone));
}

bool Series::operator==(const Series &o) const
{
    if (present != o.present || groupSize != o.groupSize || entries.size() != o.entries.size())
        return false;
    for (int i = 0; i < entries.size(); ++i) {
        const Entry &a = entries.at(i), &b = o.entries.at(i);
        if (a.tone != b.tone || a.missing != b.missing || (!a.missing && a.value != b.value))
            return false;
    }
    return true;
}

const Series &Measurement::series(Quantity quantity) const
{
    switch (quantity) {
    case Quantity::Hlog: return hlog;
    case Quantity::Qln: return qln;
    case Quantity::Snr: break;
    }
    return snr;
}

std::optional<Measurement> parse(const QVector<QByteArray> &contents, const QStringList &names,
                                 const ReadOptions &options, QString *error)
{
    Measurement m;
    std::array<Series *, 3> into{&m.hlog, &m.qln, &m.snr};
    std::optional<Format> format;
    QString formatSource;
    for (int i = 0; i < contents.size(); ++i) {
        const QString name = names.value(i);
        const Result file = parseFile(contents.at(i), name, options, error);
        if (!file)
            return std::nullopt;
        if (format && *format != file->format) {
            fail(error, localized("Mixed formats: %1 is %2, %3 is %4", "Форматы различаются: %1 — %2, %3 — %4")
                            .arg(formatSource, formatName(*format), name, formatName(file->format)));
            return std::nullopt;
        }
        format = file->format;
        formatSource = name;
        for (Quantity q : Quantities) {
            const Series &s = file->series[size_t(q)];
            if (!s.present)
                continue;
            Series &slot = *into[size_t(q)];
            if (slot.present) {
                fail(error, localized("%1 found twice: in %2 and in %3", "%1 встречается дважды: в %2 и в %3")
                                .arg(quantityName(q), slot.source, name));
                return std::nullopt;
            }
            slot = s;
        }
        m.sources << name;
        m.warnings << file->warnings;
    }
    if (format)
        m.format = *format;
    for (Quantity q : Quantities) {
        const Series &s = m.series(q);
        if (s.present && s.usable() < 2) {
            QString message = localized("%1 in %2: %3 usable entries; at least 2 are needed",
                                        "%1 в %2: пригодных значений %3; нужно не меньше 2")
                                  .arg(quantityName(q), s.source, QString::number(s.usable()));
            if (m.format == Format::Text && s.dropped > 0)
                message += localized(" (%1 tones lie below the downstream band's tone %2)",
                                     " (тонов ниже нисходящей полосы, начинающейся с тона %2: %1)")
                               .arg(QString::number(s.dropped), QString::number(options.firstDownstreamTone));
            fail(error, message);
            return std::nullopt;
        }
    }
    if (!m.hlog.present && !m.qln.present && !m.snr.present) {
        fail(error, localized("No downstream Hlog, QLN or SNR in %1", "В %1 нет Hlog, QLN и SNR нисходящего направления")
                        .arg(names.join(QStringLiteral(", "))));
        return std::nullopt;
    }
    if (!m.qln.present && m.hlog.present)
        m.warnings << localized("No QLN in the measurement: only the cable template is written",
                                "В измерении нет QLN: записывается только шаблон кабеля");
    if (!m.hlog.present && m.qln.present)
        m.warnings << localized("No Hlog in the measurement: only the noise template is written",
                                "В измерении нет Hlog: записывается только шаблон помех");
    m.warnings << plausibility(m);
    return m;
}

std::optional<Measurement> read(const QStringList &paths, const ReadOptions &options, QString *error)
{
    if (paths.isEmpty()) {
        fail(error, localized("No measurement file given", "Не задан файл измерения"));
        return std::nullopt;
    }
    QVector<QByteArray> contents;
    for (const QString &path : paths) {
        QByteArray content;
        if (!readWhole(path, &content, error))
            return std::nullopt;
        contents << content;
    }
    return parse(contents, paths, options, error);
}

QVector<TemplateCell> cableCells(const Series &hlog, int lineLength)
{
    QVector<TemplateCell> cells;
    qint16 row = 0;
    for (const Entry &e : hlog.entries) {
        if (e.missing)
            continue;
        // + 0.0: a measured 0 dB is a loss of 0, not -0.
        const double loss = -e.value * 1000.0 / double(lineLength) + 0.0;
        cells << TemplateCell{row, 0, Series::frequency(e)} << TemplateCell{row, 1, loss};
        ++row;
    }
    return cells;
}

QVector<TemplateCell> noiseCells(const Series &qln)
{
    QVector<TemplateCell> cells;
    qint16 row = 0;
    for (const Entry &e : qln.entries) {
        if (e.missing)
            continue;
        cells << TemplateCell{row, 0, Series::frequency(e)} << TemplateCell{row, 1, e.value};
        ++row;
    }
    return cells;
}

QStringList summary(const Measurement &m)
{
    QStringList out;
    for (Quantity q : Quantities) {
        const Series &s = m.series(q);
        if (!s.present)
            continue;
        const int missing = int(s.entries.size()) - s.usable();
        QString counts = m.format == Format::Text
            ? localized("%1 tones: %2 used, %3 missing", "тонов %1: использовано %2, пропусков %3")
                  .arg(QString::number(s.entries.size() + s.dropped), QString::number(s.usable()),
                       QString::number(missing))
            : localized("%1 groups of %2 tones: %3 used, %4 missing",
                        "групп по %2 тонов: %1, использовано %3, пропусков %4")
                  .arg(QString::number(s.entries.size() + s.dropped), QString::number(s.groupSize),
                       QString::number(s.usable()), QString::number(missing));
        if (s.dropped > 0)
            counts += m.format == Format::Text
                ? localized(", %1 outside the downstream band", ", вне нисходящей полосы %1").arg(s.dropped)
                : localized(", %1 beyond the %2th left out", ", после %2-го отброшено %1")
                      .arg(QString::number(s.dropped), QString::number(MostGroups));
        double lo = 0, hi = 0;
        bool first = true;
        for (const Entry &e : s.entries) {
            if (e.missing)
                continue;
            hi = Series::frequency(e);
            if (first)
                lo = hi;
            first = false;
        }
        out << localized("%1 from %2: %3; %4..%5 kHz", "%1 из %2: %3; %4..%5 кГц")
                   .arg(quantityName(q), s.source, counts, number(lo), number(hi));
    }
    return out;
}

bool checkName(const QString &name, QString *error)
{
    if (name.trimmed().isEmpty())
        return fail(error, localized("No template name given", "Не задано имя шаблона"));
    if (!checkTemplateName(CableAttenuation, name, error))
        return false;
    if (name.startsWith(QLatin1Char('.')))
        return fail(error, localized("The name \"%1\" starts with a dot: the templates would be hidden from the lists",
                                     "Имя «%1» начинается с точки: шаблоны не появятся в списках")
                               .arg(name));
    for (TemplateKind kind : {CableAttenuation, AdditiveNoise})
        if (name.contains(templateExtension(kind)))
            return fail(error, localized("The name \"%1\" holds \"%2\": the template would list under another name",
                                         "Имя «%1» содержит «%2»: шаблон появится в списках под другим именем")
                                   .arg(name, templateExtension(kind)));
    return true;
}

QStringList templateFiles(const Measurement &m, const QString &name)
{
    QStringList files;
    if (m.hlog.present)
        files << cableTemplatePath(name);
    if (m.qln.present)
        files << noiseTemplatePath(name);
    return files;
}

Outcome write(const Measurement &m, const Target &t, QString *error)
{
    if (!checkName(t.name, error))
        return Outcome::Refused;
    if (!m.hlog.present && !m.qln.present) {
        fail(error, localized("No Hlog or QLN in the measurement: nothing to import",
                              "В измерении нет Hlog и QLN: импортировать нечего"));
        return Outcome::Refused;
    }
    if (!LineLength.contains(t.lineLength)) {
        fail(error, localized("The line's length %1 m is outside %2..%3 m", "Длина линии %1 м вне диапазона %2..%3 м")
                        .arg(QString::number(t.lineLength), QString::number(LineLength.min),
                             QString::number(LineLength.max)));
        return Outcome::Refused;
    }
    QVector<Step> steps;
    if (m.hlog.present) {
        const QVector<TemplateCell> cells = cableCells(m.hlog, t.lineLength);
        steps.append({cableTemplatePath(t.name),
                      [cells](const QString &path, QString *why) { return writeTemplateCells(path, cells, why); }});
        // The link names the cable's bytes as written: edited or replaced later, the cable no
        // longer is the measured line. Without SNR an earlier link goes.
        Step link{linkPath(QString(), t.name), {}, true};
        if (m.snr.present)
            link.write = [&m, &t](const QString &path, QString *why) {
                QByteArray cable;
                if (!readWhole(workspacePath(t.workdir, cableTemplatePath(t.name)), &cable, why))
                    return false;
                return writeBytes(path, linkText(m, t.lineLength, fileHash(cable)), why);
            };
        steps.append(link);
    }
    if (m.qln.present) {
        const QVector<TemplateCell> cells = noiseCells(m.qln);
        steps.append({noiseTemplatePath(t.name),
                      [cells](const QString &path, QString *why) { return writeTemplateCells(path, cells, why); }});
    }
    if (!t.extraFile.isEmpty())
        steps.append({t.extraFile, [&t](const QString &path, QString *why) { return writeBytes(path, t.extraBytes, why); }});

    QStringList existing;
    for (Step &s : steps) {
        s.path = workspacePath(t.workdir, s.relative);
        const QFileInfo info(s.path);
        s.existed = info.exists() || info.isSymLink();
        if (!s.existed)
            continue;
        if (!info.isFile()) {
            fail(error, localized("%1 is not a regular file", "%1 не является обычным файлом").arg(s.relative));
            return Outcome::Refused;
        }
        if (!s.own)
            existing << s.relative;
    }
    if (!existing.isEmpty() && !t.replace) {
        fail(error, localized("Already there: %1", "Уже существуют: %1").arg(existing.join(QStringLiteral(", "))));
        return Outcome::Exists;
    }
    for (Step &s : steps)
        if (s.existed && !readWhole(s.path, &s.before, error))
            return Outcome::Failed;

    QVector<Step> done;
    for (const Step &s : std::as_const(steps)) {
        QString why;
        bool ok;
        if (!s.write)
            ok = !s.existed || QFile::remove(s.path);
        else
            ok = QDir().mkpath(QFileInfo(s.path).path()) && s.write(s.path, &why);
        if (!ok) {
            fail(error, localized("Cannot write %1: %2", "Не удаётся записать %1: %2")
                            .arg(s.path, why.isEmpty() ? localized("cannot create or remove it",
                                                                   "не удаётся создать или удалить")
                                                       : why));
            undo(done);
            return Outcome::Failed;
        }
        done << s;
    }
    return Outcome::Written;
}

std::optional<Series> linkedSnr(const QString &workdir, const QString &cable)
{
    QByteArray text, cableBytes;
    if (!readWhole(linkPath(workdir, cable), &text, nullptr)
        || !readWhole(workspacePath(workdir, cableTemplatePath(cable)), &cableBytes, nullptr))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(text).object();
    const QJsonArray tones = o.value(QStringLiteral("tones")).toArray();
    const QJsonArray values = o.value(QStringLiteral("snr")).toArray();
    const int g = o.value(QStringLiteral("groupSize")).toInt();
    if (o.value(QStringLiteral("format")).toString() != QLatin1String(LinkFormat)
        || o.value(QStringLiteral("version")).toInt() != 1
        || o.value(QStringLiteral("cable")).toString().toLatin1() != fileHash(cableBytes) || !validGroupSize(g)
        || tones.size() != values.size() || tones.size() < 2)
        return std::nullopt;
    Series s;
    s.present = true;
    s.groupSize = g;
    const QJsonArray sources = o.value(QStringLiteral("sources")).toArray();
    s.source = sources.isEmpty() ? QString() : sources.first().toString();
    int previous = -1;
    for (int i = 0; i < tones.size(); ++i) {
        const int tone = tones.at(i).toInt(-1);
        if (tone <= previous || !values.at(i).isDouble())
            return std::nullopt;
        s.entries << Entry{tone, values.at(i).toDouble(), false};
        previous = tone;
    }
    return s;
}

QStringList dmtLineTypes(const QString &workdir, int most)
{
    const QString directory = workspacePath(workdir, templateDirectory(LineTypeDmt));
    QStringList out;
    for (const QString &entry : listTemplateEntries(directory))
        if (out.size() < most && lineTypeKind(entry) == LineTypeDmt && QFileInfo(QDir(directory).filePath(entry)).isFile())
            out << entry;
    return out;
}

CalcSettings calculation(const QString &workdir, const QString &name, const QString &noise, int lineLength,
                         const QStringList &lineTypes)
{
    CalcSettings s = defaultCalcSettings(workdir);
    s.cableTypes = QStringList{name};
    s.lineTypes = lineTypes;
    s.noiseTemplate = noise;
    // The measured QLN holds the crosstalk of the line's neighbours already.
    s.xDSL_points = QVector<int>{1};
    // About ten steps of a round size, the last row at the line's own length.
    int step = 10;
    for (int nice : {20, 50, 100, 200, 500, 1000, 2000, 5000})
        if (nice * 10 <= lineLength)
            step = nice;
    s.cableLengthStep = step;
    s.cableLengthFrom = lineLength % step;
    s.cableLengthTo = lineLength;
    s.sections.clear();
    s.targetRates.clear();
    CalcInput::fillSummaries(s, true);
    return s;
}

} // namespace Measured
