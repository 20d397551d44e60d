#include "engine/setupfile.h"

#include "engine/checks.h"
#include "engine/fileread.h"
#include "engine/filewrite.h"
#include "engine/messages.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>
#include <optional>

namespace SetupFile {

namespace {

// Reads one object's keys, refusing a value of the wrong type with the key's full name and
// collecting the keys nobody asked for.
class Reader
{
public:
    Reader(QString *error, QStringList *warnings) : m_error(error), m_warnings(warnings) {}

    bool failed() const { return m_failed; }

    bool refuse(const QString &key, const QString &problem)
    {
        return refuse(QStringLiteral("%1: %2").arg(key, problem));
    }

    // A message that names its key itself.
    bool refuse(const QString &message)
    {
        if (!m_failed)
            fail(m_error, message);
        m_failed = true;
        return false;
    }

    void unknownKeys(const QJsonObject &object, const QString &prefix, const QStringList &known)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!known.contains(it.key()))
                *m_warnings << localized("unknown key \"%1\" is ignored", "неизвестный ключ \"%1\" пропущен")
                                   .arg(visibleText(prefix + it.key()));
        }
    }

    std::optional<int> whole(const QString &key, const QJsonValue &value)
    {
        const double v = value.toDouble();
        if (!value.isDouble() || v != std::floor(v) || std::fabs(v) > 2e9) {
            refuse(key, localized("expected a whole number, not %1", "ожидается целое число, а не %1")
                            .arg(shown(value)));
            return std::nullopt;
        }
        return int(v);
    }

    // A number with at most `decimals` digits after the point (a whole number for none).
    std::optional<double> number(const QString &key, const QJsonValue &value, int decimals)
    {
        if (decimals == 0) {
            const std::optional<int> v = whole(key, value);
            return v ? std::optional<double>(*v) : std::nullopt;
        }
        const double scale = std::pow(10.0, decimals);
        const double scaled = value.toDouble() * scale;
        if (!value.isDouble() || std::fabs(scaled) > 2e9 || std::fabs(scaled - std::round(scaled)) > 1e-6) {
            refuse(key, localized("expected a number with at most %1 decimal(s), not %2",
                                  "ожидается число не более чем с %1 знаками после точки, а не %2")
                            .arg(QString::number(decimals), shown(value)));
            return std::nullopt;
        }
        return std::round(scaled) / scale;
    }

    std::optional<QString> string(const QString &key, const QJsonValue &value)
    {
        if (!value.isString()) {
            refuse(key, localized("expected a text, not %1", "ожидается текст, а не %1").arg(shown(value)));
            return std::nullopt;
        }
        return value.toString();
    }

    std::optional<QJsonArray> array(const QString &key, const QJsonValue &value)
    {
        if (!value.isArray()) {
            refuse(key, localized("expected a list, not %1", "ожидается список, а не %1").arg(shown(value)));
            return std::nullopt;
        }
        return value.toArray();
    }

    std::optional<QJsonObject> object(const QString &key, const QJsonValue &value)
    {
        if (!value.isObject()) {
            refuse(key, localized("expected an object, not %1", "ожидается объект, а не %1").arg(shown(value)));
            return std::nullopt;
        }
        return value.toObject();
    }

    bool numberList(const QString &key, const QJsonValue &value, int decimals, QVector<double> *out)
    {
        const std::optional<QJsonArray> items = array(key, value);
        if (!items)
            return false;
        QVector<double> parsed;
        for (const QJsonValue &item : *items) {
            const std::optional<double> v = number(key, item, decimals);
            if (!v)
                return false;
            parsed << *v;
        }
        *out = parsed;
        return true;
    }

    bool stringList(const QString &key, const QJsonValue &value, QStringList *out)
    {
        const std::optional<QJsonArray> items = array(key, value);
        if (!items)
            return false;
        QStringList parsed;
        for (const QJsonValue &item : *items) {
            const std::optional<QString> v = string(key, item);
            if (!v)
                return false;
            parsed << *v;
        }
        *out = parsed;
        return true;
    }

private:
    static QString shown(const QJsonValue &value)
    {
        if (value.isString())
            return QStringLiteral("\"%1\"").arg(visibleText(value.toString()));
        if (value.isArray() || value.isObject() || value.isNull() || value.isUndefined()) {
            if (value.isArray())
                return localized("a list", "список");
            if (value.isObject())
                return localized("an object", "объект");
            return QStringLiteral("null");
        }
        return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    }

    QString *m_error;
    QStringList *m_warnings;
    bool m_failed = false;
};

// "elfext.norms" -> {"elfext", "norms"}; a top-level key has no group.
std::pair<QString, QString> splitKey(const char *key)
{
    const QString text = QLatin1String(key);
    const int dot = int(text.indexOf(QLatin1Char('.')));
    if (dot < 0)
        return {QString(), text};
    return {text.left(dot), text.mid(dot + 1)};
}

// Fixed sections: [{"cable": "K1", "length": 300}, ...]; their bounds are checked with the rest.
bool readSections(Reader &r, const QString &key, const QJsonValue &value, QVector<CableSection> *sections)
{
    const std::optional<QJsonArray> items = r.array(key, value);
    if (!items)
        return false;
    QVector<CableSection> parsed;
    for (int i = 0; i < items->size(); ++i) {
        const QString itemKey = QStringLiteral("%1[%2]").arg(key).arg(i);
        const std::optional<QJsonObject> item = r.object(itemKey, items->at(i));
        if (!item)
            return false;
        r.unknownKeys(*item, itemKey + QLatin1Char('.'), {QStringLiteral("cable"), QStringLiteral("length")});
        const std::optional<QString> cable = r.string(itemKey + QStringLiteral(".cable"), item->value(QLatin1String("cable")));
        if (!cable)
            return false;
        const std::optional<int> length = r.whole(itemKey + QStringLiteral(".length"), item->value(QLatin1String("length")));
        if (!length)
            return false;
        parsed << CableSection{*cable, *length};
    }
    *sections = parsed;
    return true;
}

// One input's value, typed by its row; the bounds are checked once the whole record is read.
bool readInput(Reader &r, const CalcInput::Input &in, const QJsonValue &value, CalcSettings &s)
{
    using CalcInput::InputKind;
    const QString key = QLatin1String(in.key);
    switch (in.kind) {
    case InputKind::Names: {
        QStringList names;
        if (!r.stringList(key, value, &names))
            return false;
        in.setNames(s, names);
        return true;
    }
    case InputKind::Name:
    case InputKind::Choice: {
        const std::optional<QString> name = r.string(key, value);
        if (!name)
            return false;
        if (in.kind == InputKind::Choice)
            if (const std::optional<CalcInput::Problem> p = CalcInput::checkChoice(in, *name))
                return r.refuse(CalcInput::describe(*p, keyName));
        in.setNames(s, {*name});
        return true;
    }
    case InputKind::Number: {
        const std::optional<double> v = r.number(key, value, in.decimals);
        if (v)
            in.setNumbers(s, {*v});
        return bool(v);
    }
    case InputKind::Numbers: {
        QVector<double> values;
        if (!r.numberList(key, value, in.decimals, &values))
            return false;
        in.setNumbers(s, values);
        return true;
    }
    case InputKind::Sections:
        return readSections(r, key, value, &s.sections);
    }
    return false;
}

// Where in the file a problem lies: the key of its field, or of the one section it is about.
QString problemKey(const CalcInput::Problem &problem, CalcInput::Field field)
{
    if (field == problem.field && problem.item >= 0)
        return QStringLiteral("%1[%2].length").arg(keyName(field)).arg(problem.item);
    return keyName(field);
}

// What a setup may hold, the problem named by its key.
bool checkStored(const CalcSettings &s, QString *error)
{
    if (const std::optional<CalcInput::Problem> p = CalcInput::check(s, CalcInput::Checks::Stored))
        return fail(error, CalcInput::describe(*p, [&p](CalcInput::Field field) { return problemKey(*p, field); }));
    return true;
}

// The first control character inside a JSON string, which the JSON text standard forbids and the
// parser lets through: a name holding a raw line break would split every message in two.
std::optional<qsizetype> rawControlInString(const QByteArray &bytes)
{
    bool inString = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes.at(i));
        if (!inString) {
            inString = c == '"';
        } else if (c == '\\') {
            ++i;
        } else if (c == '"') {
            inString = false;
        } else if (c < 0x20) {
            return i;
        }
    }
    return std::nullopt;
}

bool readGraph(Reader &r, const QJsonValue &value, GraphSettings *graph, bool *axesGiven)
{
    const std::optional<QJsonObject> o = r.object(QStringLiteral("graph"), value);
    if (!o)
        return false;
    QStringList known;
    for (const GraphInput::IntField *f : GraphInput::IntFields) {
        const QString key = QLatin1String(f->key);
        known << key;
        if (!o->contains(key))
            continue;
        const QString full = QStringLiteral("graph.") + key;
        const std::optional<int> v = r.whole(full, o->value(key));
        if (!v)
            return false;
        if (*v < f->min)
            return r.refuse(full, localized("%1 is below %2", "%1 меньше %2").arg(QString::number(*v), QString::number(f->min)));
        if (*v > f->max)
            return r.refuse(full, localized("%1 is above %2", "%1 больше %2").arg(QString::number(*v), QString::number(f->max)));
        graph->*f->field = *v;
        if (GraphInput::isAxis(*f))
            *axesGiven = true;
    }
    for (const GraphInput::BoolField *f : GraphInput::BoolFields) {
        const QString key = QLatin1String(f->key);
        known << key;
        if (!o->contains(key))
            continue;
        const QJsonValue v = o->value(key);
        if (!v.isBool())
            return r.refuse(QStringLiteral("graph.") + key, localized("expected true or false", "ожидается true или false"));
        graph->*f->field = v.toBool();
    }
    r.unknownKeys(*o, QStringLiteral("graph."), known);
    return true;
}

QString json(const QJsonValue &value)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

QString strings(const QStringList &values)
{
    QStringList texts;
    for (const QString &v : values)
        texts << json(v);
    return QLatin1Char('[') + texts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

} // namespace

QString keyName(CalcInput::Field field)
{
    return QLatin1String(CalcInput::input(field).key);
}

bool parse(const QByteArray &bytes, const CalcSettings &base, Setup *setup, QString *error)
{
    Setup result;
    result.calc = base;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (document.isNull())
        return fail(error, localized("not a valid JSON text: %1 at byte %2", "это не текст JSON: %1 (байт %2)")
                               .arg(parseError.errorString(), QString::number(parseError.offset)));
    if (const std::optional<qsizetype> at = rawControlInString(bytes))
        return fail(error, localized("not a valid JSON text: a control character (U+%1) inside a string at byte %2",
                                     "это не текст JSON: управляющий символ (U+%1) внутри строки (байт %2)")
                               .arg(QStringLiteral("%1").arg(int(static_cast<unsigned char>(bytes.at(*at))), 4, 16,
                                                             QLatin1Char('0')).toUpper(),
                                    QString::number(*at)));
    if (!document.isObject())
        return fail(error, localized("not a Kolvane setup: the text is not a JSON object",
                                     "это не файл расчёта Kolvane: текст не является объектом JSON"));
    const QJsonObject o = document.object();
    if (o.value(QLatin1String("format")).toString() != QLatin1String(Format))
        return fail(error, localized("not a Kolvane setup: \"format\" is not \"%1\"",
                                     "это не файл расчёта Kolvane: \"format\" не равен \"%1\"")
                               .arg(QLatin1String(Format)));
    Reader r(error, &result.warnings);
    const std::optional<int> version = r.whole(QStringLiteral("version"), o.value(QLatin1String("version")));
    if (!version)
        return false;
    if (*version > Version)
        return fail(error, localized("version %1 is newer than this program reads (%2)",
                                     "версия %1 новее той, что читает эта программа (%2)")
                               .arg(QString::number(*version), QString::number(Version)));
    if (*version < 1)
        return r.refuse(QStringLiteral("version"), localized("%1 is below 1", "%1 меньше 1").arg(QString::number(*version)));
    QStringList known = {QStringLiteral("format"), QStringLiteral("version"), QStringLiteral("graph")};
    for (const CalcInput::Input &in : CalcInput::inputs()) {
        const auto [group, member] = splitKey(in.key);
        known << (group.isEmpty() ? member : group);
    }
    r.unknownKeys(o, QString(), known);

    // Every input in the table's order; the members of an object are read where its first one is.
    CalcSettings &s = result.calc;
    QHash<QString, QJsonObject> groups;
    for (const CalcInput::Input &in : CalcInput::inputs()) {
        const auto [group, member] = splitKey(in.key);
        QJsonObject holder = o;
        if (!group.isEmpty()) {
            if (!o.contains(group))
                continue;
            if (!groups.contains(group)) {
                const std::optional<QJsonObject> object = r.object(group, o.value(group));
                if (!object)
                    return false;
                QStringList members;
                for (const CalcInput::Input &other : CalcInput::inputs())
                    if (const auto [otherGroup, otherMember] = splitKey(other.key); otherGroup == group)
                        members << otherMember;
                r.unknownKeys(*object, group + QLatin1Char('.'), members);
                groups.insert(group, *object);
            }
            holder = groups.value(group);
        }
        if (holder.contains(member) && !readInput(r, in, holder.value(member), s))
            return false;
    }
    if (o.contains(QLatin1String("graph")) && !readGraph(r, o.value(QLatin1String("graph")), &result.graph, &result.graphAxesGiven))
        return false;

    if (!checkStored(s, error))
        return false;
    // The summaries are the dialog's; a lone default margin reads as the untouched one, so the
    // untouched state survives a save and an open unchanged.
    CalcInput::fillSummaries(s, s.SNRMargin_points == QVector<float>{float(CalcInput::DefaultMargin)});
    *setup = result;
    return true;
}

bool read(const QString &path, const CalcSettings &base, Setup *setup, QString *error)
{
    QFile file;
    QString reason;
    // A named pipe would hold the caller until some other program wrote to it.
    if (!openFileForReading(file, path, &reason))
        return fail(error, QStringLiteral("%1: %2").arg(path, reason));
    // A setup is a few hundred bytes; anything far larger is not one.
    constexpr qint64 Largest = 1 << 20;
    if (file.size() > Largest)
        return fail(error, localized("%1: too large for a setup file", "%1: слишком велик для файла расчёта").arg(path));
    QString problem;
    if (!parse(file.read(Largest), base, setup, &problem))
        return fail(error, QStringLiteral("%1: %2").arg(path, problem));
    return true;
}

QByteArray text(const CalcSettings &c, const GraphSettings &g, bool axes)
{
    using CalcInput::InputKind;
    const auto value = [&c](const CalcInput::Input &in) -> QString {
        switch (in.kind) {
        case InputKind::Names:
            return strings(in.names(c));
        case InputKind::Name:
        case InputKind::Choice:
            return json(in.names(c).value(0));
        case InputKind::Number:
            return CalcInput::numberText(in, in.numbers(c).value(0));
        case InputKind::Numbers: {
            QStringList texts;
            for (const double v : in.numbers(c))
                texts << CalcInput::numberText(in, v);
            return QLatin1Char('[') + texts.join(QStringLiteral(", ")) + QLatin1Char(']');
        }
        case InputKind::Sections: {
            QStringList sections;
            for (const CableSection &s : c.sections)
                sections << QStringLiteral("{\"cable\": %1, \"length\": %2}").arg(json(s.cable), QString::number(s.length));
            return QLatin1Char('[') + sections.join(QStringLiteral(", ")) + QLatin1Char(']');
        }
        }
        return QString();
    };
    QString out;
    out += QStringLiteral("{\n  \"format\": \"%1\", \"version\": %2,\n").arg(QLatin1String(Format), QString::number(Version));
    // One line per top-level input; the members of an object together on the object's line.
    QString group;
    QStringList members;
    const auto closeGroup = [&] {
        if (!group.isEmpty())
            out += QStringLiteral("  \"%1\": {%2},\n").arg(group, members.join(QStringLiteral(", ")));
        group.clear();
        members.clear();
    };
    for (const CalcInput::Input &in : CalcInput::inputs()) {
        // An input the record does not use, or leaves unset, is not written.
        if (!CalcInput::applies(in, c) || (in.written && !in.written(c))
            || (in.kind == InputKind::Number && in.numbers(c).isEmpty()))
            continue;
        const auto [inGroup, member] = splitKey(in.key);
        if (inGroup != group)
            closeGroup();
        if (inGroup.isEmpty()) {
            out += QStringLiteral("  \"%1\": %2,\n").arg(member, value(in));
        } else {
            group = inGroup;
            members << QStringLiteral("\"%1\": %2").arg(member, value(in));
        }
    }
    closeGroup();
    QStringList graph;
    for (const GraphInput::IntField *f : GraphInput::IntFields) {
        if (!axes && GraphInput::isAxis(*f))
            continue;
        graph << QStringLiteral("    \"%1\": %2").arg(QLatin1String(f->key), QString::number(g.*f->field));
    }
    for (const GraphInput::BoolField *f : GraphInput::BoolFields)
        graph << QStringLiteral("    \"%1\": %2").arg(QLatin1String(f->key),
                                                      g.*f->field ? QStringLiteral("true") : QStringLiteral("false"));
    out += QStringLiteral("  \"graph\": {\n%1\n  }\n}\n").arg(graph.join(QStringLiteral(",\n")));
    return out.toUtf8();
}

bool write(const QString &path, const CalcSettings &calc, const GraphSettings &graph, QString *error, bool axes)
{
    // Never a file that its reader refuses.
    QString problem;
    if (!checkStored(calc, &problem))
        return fail(error, QStringLiteral("%1: %2").arg(path, problem));
    const QByteArray bytes = text(calc, graph, axes);
    QString reason;
    if (!writeFileSafely(path, [&bytes](QIODevice &out, QString *) { return out.write(bytes) == bytes.size(); },
                         &reason, PipeReader::DontWait))
        return fail(error, QStringLiteral("%1: %2").arg(path, reason));
    return true;
}

} // namespace SetupFile
