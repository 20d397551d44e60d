#include "engine/setupfile.h"

#include "engine/checks.h"
#include "engine/filewrite.h"
#include "engine/messages.h"

#include <QFile>
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
        if (!m_failed)
            fail(m_error, QStringLiteral("%1: %2").arg(key, problem));
        m_failed = true;
        return false;
    }

    void unknownKeys(const QJsonObject &object, const QString &prefix, const QStringList &known)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!known.contains(it.key()))
                *m_warnings << localized("unknown key \"%1\" is ignored", "неизвестный ключ \"%1\" пропущен")
                                   .arg(prefix + it.key());
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

    template <typename T>
    bool wholeList(const QString &key, const QJsonValue &value, QVector<T> *out)
    {
        const std::optional<QJsonArray> items = array(key, value);
        if (!items)
            return false;
        QVector<T> parsed;
        for (const QJsonValue &item : *items) {
            const std::optional<int> v = whole(key, item);
            if (!v)
                return false;
            parsed << T(*v);
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
            return QStringLiteral("\"%1\"").arg(value.toString());
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

const QStringList TopKeys = {
    QStringLiteral("format"), QStringLiteral("version"), QStringLiteral("cables"), QStringLiteral("sections"),
    QStringLiteral("lineTypes"), QStringLiteral("noise"), QStringLiteral("capacity"), QStringLiteral("loads"),
    QStringLiteral("elfext"), QStringLiteral("next"), QStringLiteral("lengths"), QStringLiteral("margins"),
    QStringLiteral("targetRates"), QStringLiteral("graph"),
};

// {"frequency": 300, "norms": [10]}
bool readNorms(Reader &r, const QString &key, const QJsonValue &value, float *frequency, QVector<float> *norms)
{
    const std::optional<QJsonObject> o = r.object(key, value);
    if (!o)
        return false;
    r.unknownKeys(*o, key + QLatin1Char('.'), {QStringLiteral("frequency"), QStringLiteral("norms")});
    if (o->contains(QLatin1String("frequency"))) {
        const std::optional<int> f = r.whole(key + QStringLiteral(".frequency"), o->value(QLatin1String("frequency")));
        if (!f)
            return false;
        *frequency = float(*f);
    }
    if (o->contains(QLatin1String("norms")))
        return r.wholeList(key + QStringLiteral(".norms"), o->value(QLatin1String("norms")), norms);
    return true;
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

template <typename T>
QString numbers(const QVector<T> &values)
{
    QStringList texts;
    for (const T &v : values)
        texts << QString::number(double(v), 'g', 10);
    return QLatin1Char('[') + texts.join(QStringLiteral(", ")) + QLatin1Char(']');
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
    using CalcInput::Field;
    switch (field) {
    case Field::Cables: return QStringLiteral("cables");
    case Field::LineTypes: return QStringLiteral("lineTypes");
    case Field::Noise: return QStringLiteral("noise");
    case Field::Capacity: return QStringLiteral("capacity");
    case Field::Loads: return QStringLiteral("loads");
    case Field::Elfext: return QStringLiteral("elfext.norms");
    case Field::ElfextFrequency: return QStringLiteral("elfext.frequency");
    case Field::Next: return QStringLiteral("next.norms");
    case Field::NextFrequency: return QStringLiteral("next.frequency");
    case Field::LengthFrom: return QStringLiteral("lengths.from");
    case Field::LengthTo: return QStringLiteral("lengths.to");
    case Field::LengthStep: return QStringLiteral("lengths.step");
    case Field::Margins: return QStringLiteral("margins");
    case Field::Sections: return QStringLiteral("sections");
    case Field::TargetRates: return QStringLiteral("targetRates");
    }
    return QString();
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
    r.unknownKeys(o, QString(), TopKeys);

    CalcSettings &s = result.calc;
    const auto has = [&](const char *key) { return o.contains(QLatin1String(key)); };
    const auto value = [&](const char *key) { return o.value(QLatin1String(key)); };
    if (has("cables") && !r.stringList(QStringLiteral("cables"), value("cables"), &s.cableTypes))
        return false;
    if (has("sections")) {
        const std::optional<QJsonArray> items = r.array(QStringLiteral("sections"), value("sections"));
        if (!items)
            return false;
        s.sections.clear();
        for (int i = 0; i < items->size(); ++i) {
            const QString key = QStringLiteral("sections[%1]").arg(i);
            const std::optional<QJsonObject> item = r.object(key, items->at(i));
            if (!item)
                return false;
            r.unknownKeys(*item, key + QLatin1Char('.'), {QStringLiteral("cable"), QStringLiteral("length")});
            const std::optional<QString> cable = r.string(key + QStringLiteral(".cable"), item->value(QLatin1String("cable")));
            if (!cable)
                return false;
            const std::optional<int> length = r.whole(key + QStringLiteral(".length"), item->value(QLatin1String("length")));
            if (!length)
                return false;
            s.sections << CableSection{*cable, *length};
        }
    }
    if (has("lineTypes") && !r.stringList(QStringLiteral("lineTypes"), value("lineTypes"), &s.lineTypes))
        return false;
    if (has("noise")) {
        const std::optional<QString> noise = r.string(QStringLiteral("noise"), value("noise"));
        if (!noise)
            return false;
        s.noiseTemplate = *noise;
    }
    if (has("capacity")) {
        const std::optional<int> v = r.whole(QStringLiteral("capacity"), value("capacity"));
        if (!v)
            return false;
        s.cableCapacity = *v;
    }
    if (has("loads") && !r.wholeList(QStringLiteral("loads"), value("loads"), &s.xDSL_points))
        return false;
    if (has("elfext") && !readNorms(r, QStringLiteral("elfext"), value("elfext"), &s.norm_ELFEXT_frequency, &s.Norm_ELFEXT_points))
        return false;
    if (has("next") && !readNorms(r, QStringLiteral("next"), value("next"), &s.norm_NEXT_frequency, &s.Norm_NEXT_points))
        return false;
    if (has("lengths")) {
        const std::optional<QJsonObject> lengths = r.object(QStringLiteral("lengths"), value("lengths"));
        if (!lengths)
            return false;
        r.unknownKeys(*lengths, QStringLiteral("lengths."),
                      {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("step")});
        const std::pair<const char *, int CalcSettings::*> fields[] = {
            {"from", &CalcSettings::cableLengthFrom}, {"to", &CalcSettings::cableLengthTo},
            {"step", &CalcSettings::cableLengthStep}};
        for (const auto &[key, field] : fields) {
            if (!lengths->contains(QLatin1String(key)))
                continue;
            const std::optional<int> v = r.whole(QStringLiteral("lengths.") + QLatin1String(key),
                                                 lengths->value(QLatin1String(key)));
            if (!v)
                return false;
            s.*field = *v;
        }
    }
    if (has("margins") && !r.wholeList(QStringLiteral("margins"), value("margins"), &s.SNRMargin_points))
        return false;
    if (has("targetRates") && !r.wholeList(QStringLiteral("targetRates"), value("targetRates"), &s.targetRates))
        return false;
    if (has("graph") && !readGraph(r, value("graph"), &result.graph, &result.graphAxesGiven))
        return false;

    if (!CalcInput::validate(s, CalcInput::Checks::Input, keyName, error))
        return false;
    // The summaries are the dialog's; a lone default margin reads as the untouched one, so the
    // untouched state survives a save and an open unchanged.
    CalcInput::fillSummaries(s, s.SNRMargin_points == QVector<float>{float(CalcInput::DefaultMargin)});
    *setup = result;
    return true;
}

bool read(const QString &path, const CalcSettings &base, Setup *setup, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
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
    QStringList sections;
    for (const CableSection &s : c.sections)
        sections << QStringLiteral("{\"cable\": %1, \"length\": %2}").arg(json(s.cable), QString::number(s.length));
    QStringList graph;
    for (const GraphInput::IntField *f : GraphInput::IntFields) {
        if (!axes && GraphInput::isAxis(*f))
            continue;
        graph << QStringLiteral("    \"%1\": %2").arg(QLatin1String(f->key), QString::number(g.*f->field));
    }
    for (const GraphInput::BoolField *f : GraphInput::BoolFields)
        graph << QStringLiteral("    \"%1\": %2").arg(QLatin1String(f->key),
                                                      g.*f->field ? QStringLiteral("true") : QStringLiteral("false"));
    const auto norms = [](float frequency, const QVector<float> &values) {
        return QStringLiteral("{\"frequency\": %1, \"norms\": %2}")
            .arg(QString::number(double(frequency), 'g', 10), numbers(values));
    };
    QString out;
    out += QStringLiteral("{\n  \"format\": \"%1\", \"version\": %2,\n").arg(QLatin1String(Format), QString::number(Version));
    out += QStringLiteral("  \"cables\": %1,\n").arg(strings(c.cableTypes));
    out += QStringLiteral("  \"sections\": [%1],\n").arg(sections.join(QStringLiteral(", ")));
    out += QStringLiteral("  \"lineTypes\": %1,\n").arg(strings(c.lineTypes));
    out += QStringLiteral("  \"noise\": %1,\n").arg(json(c.noiseTemplate));
    out += QStringLiteral("  \"capacity\": %1,\n").arg(c.cableCapacity);
    out += QStringLiteral("  \"loads\": %1,\n").arg(numbers(c.xDSL_points));
    out += QStringLiteral("  \"elfext\": %1,\n").arg(norms(c.norm_ELFEXT_frequency, c.Norm_ELFEXT_points));
    out += QStringLiteral("  \"next\": %1,\n").arg(norms(c.norm_NEXT_frequency, c.Norm_NEXT_points));
    out += QStringLiteral("  \"lengths\": {\"from\": %1, \"to\": %2, \"step\": %3},\n")
               .arg(QString::number(c.cableLengthFrom), QString::number(c.cableLengthTo), QString::number(c.cableLengthStep));
    out += QStringLiteral("  \"margins\": %1,\n").arg(numbers(c.SNRMargin_points));
    out += QStringLiteral("  \"targetRates\": %1,\n").arg(numbers(c.targetRates));
    out += QStringLiteral("  \"graph\": {\n%1\n  }\n}\n").arg(graph.join(QStringLiteral(",\n")));
    return out.toUtf8();
}

bool write(const QString &path, const CalcSettings &calc, const GraphSettings &graph, QString *error, bool axes)
{
    const QByteArray bytes = text(calc, graph, axes);
    QString reason;
    if (!writeFileSafely(path, [&bytes](QIODevice &out, QString *) { return out.write(bytes) == bytes.size(); },
                         &reason, PipeReader::DontWait))
        return fail(error, QStringLiteral("%1: %2").arg(path, reason));
    return true;
}

} // namespace SetupFile
