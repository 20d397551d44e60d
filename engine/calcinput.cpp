#include "engine/calcinput.h"

#include "engine/checks.h"
#include "engine/decimaltext.h"
#include "engine/messages.h"
#include "engine/templatekind.h"

#include <QSet>
#include <QtGlobal>

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <type_traits>

namespace CalcInput {

namespace {

template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<std::optional<T>> : std::true_type {};

// The record's numbers of one input as doubles, and back: a plain number, an optional one (absent
// = no value) or a list.
template <auto Member>
QVector<double> numbersOf(const CalcSettings &s)
{
    const auto &v = s.*Member;
    using T = std::decay_t<decltype(v)>;
    if constexpr (std::is_arithmetic_v<T>) {
        return {double(v)};
    } else if constexpr (IsOptional<T>::value) {
        return v ? QVector<double>{double(*v)} : QVector<double>{};
    } else {
        QVector<double> out;
        out.reserve(v.size());
        for (const auto x : v)
            out << double(x);
        return out;
    }
}

template <auto Member>
void setNumbersOf(CalcSettings &s, const QVector<double> &values)
{
    auto &v = s.*Member;
    using T = std::decay_t<decltype(v)>;
    if constexpr (std::is_arithmetic_v<T>) {
        v = T(values.value(0));
    } else if constexpr (IsOptional<T>::value) {
        v = values.isEmpty() ? T() : T(typename T::value_type(values.first()));
    } else {
        T out;
        out.reserve(values.size());
        for (const double x : values)
            out << typename T::value_type(x);
        v = out;
    }
}

template <auto Member>
QStringList namesOf(const CalcSettings &s)
{
    const auto &v = s.*Member;
    if constexpr (std::is_same_v<std::decay_t<decltype(v)>, QString>)
        return v.isEmpty() ? QStringList() : QStringList{v};
    else
        return v;
}

template <auto Member>
void setNamesOf(CalcSettings &s, const QStringList &names)
{
    auto &v = s.*Member;
    if constexpr (std::is_same_v<std::decay_t<decltype(v)>, QString>)
        v = names.value(0);
    else
        v = names;
}

// A value kept as whole tenths in an int field, read and set as the value itself.
template <auto Member>
QVector<double> tenthsOf(const CalcSettings &s)
{
    return {double(s.*Member) / 10.0};
}

template <auto Member>
void setTenthsOf(CalcSettings &s, const QVector<double> &values)
{
    // Beyond an int the value is refused by its bounds all the same.
    s.*Member = int(std::clamp<qint64>(std::llround(values.value(0) * 10.0), std::numeric_limits<int>::min(),
                                       std::numeric_limits<int>::max()));
}

QStringList axisTexts(const CalcSettings &s)
{
    return {axisWord(s.axis)};
}

void setAxisTexts(CalcSettings &s, const QStringList &words)
{
    s.axis = words.value(0) == axisWord(SweepAxis::Loss) ? SweepAxis::Loss : SweepAxis::Length;
}

bool sweepsLength(const CalcSettings &s)
{
    return s.axis == SweepAxis::Length;
}

bool sweepsLoss(const CalcSettings &s)
{
    return s.axis == SweepAxis::Loss;
}

// Builds a row of the table one property at a time, so that each reads as what it is.
struct Row {
    Input in;

    Row(Field field, InputKind kind, Scope scope, const char *key, const char *option, const char *caption,
        const char *english, const char *russian)
        : in{field, kind, scope, key, option, nullptr, nullptr, caption, english, russian, {0, 0}, 0, 0, 0,
             false, false, nullptr, nullptr, {}, std::nullopt, nullptr, nullptr, nullptr, nullptr}
    {
    }
    Row &decimals(int count)
    {
        in.decimals = count;
        return *this;
    }
    Row &choices(const QStringList &words)
    {
        in.choices = words;
        return *this;
    }
    Row &appliesWhen(bool (*predicate)(const CalcSettings &))
    {
        in.applies = predicate;
        return *this;
    }
    Row &writtenWhen(bool (*predicate)(const CalcSettings &))
    {
        in.written = predicate;
        return *this;
    }
    // Texts kept in a field of another type (an enum): how to read and set them.
    Row &texts(QStringList (*get)(const CalcSettings &), void (*set)(CalcSettings &, const QStringList &))
    {
        in.names = get;
        in.setNames = set;
        return *this;
    }
    Row &help(const char *valueName, const char *text)
    {
        in.valueName = valueName;
        in.help = text;
        return *this;
    }
    Row &bounds(IntRange range, int defaultValue = 0)
    {
        in.range = range;
        in.defaultValue = defaultValue;
        return *this;
    }
    Row &most(int count)
    {
        in.most = count;
        return *this;
    }
    Row &family()
    {
        in.family = true;
        return *this;
    }
    Row &optional()
    {
        in.optional = true;
        return *this;
    }
    Row &needs(Field other)
    {
        in.needs = other;
        return *this;
    }
    template <auto Member>
    Row &numbers()
    {
        in.numbers = &numbersOf<Member>;
        in.setNumbers = &setNumbersOf<Member>;
        return *this;
    }
    template <auto Member>
    Row &tenths()
    {
        in.numbers = &tenthsOf<Member>;
        in.setNumbers = &setTenthsOf<Member>;
        return *this;
    }
    template <auto Member>
    Row &names()
    {
        in.names = &namesOf<Member>;
        in.setNames = &setNamesOf<Member>;
        return *this;
    }
};

QVector<Input> makeInputs()
{
    using K = InputKind;
    using S = CalcSettings;
    const Row rows[] = {
        Row(Field::Cables, K::Names, Scope::Sweep, "cables", "cable", QT_TRANSLATE_NOOP("PropertiesDialog", "Тип кабеля"),
            "cable", "кабель")
            .help("NAME", "Cable template name without .att; may repeat.")
            .family()
            .names<&S::cableTypes>(),
        Row(Field::Sections, K::Sections, Scope::Sweep, "sections", "section",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Участки кабеля"), "cable sections", "участки кабеля")
            .help("CABLE:LENGTH", "A fixed cable section in front of the swept cable, exchange side first; "
                                  "may repeat up to %4 times. LENGTH in whole metres %1..%2; the "
                                  "lengths of the sweep are then the whole loop's.")
            .bounds(SectionLength)
            .most(MaxSections)
            .optional(),
        Row(Field::LineTypes, K::Names, Scope::Conditions, "lineTypes", "line",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Тип линии xDSL"), "line type", "тип линии")
            .help("FILE", "Line type file name with .DMT or .PAM; may repeat.")
            .family()
            .names<&S::lineTypes>(),
        Row(Field::Noise, K::Name, Scope::Conditions, "noise", "noise",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Шаблон помех на входе приемника"), "noise", "помехи")
            .help("NAME", "Noise template name without .add (\"\" for none).")
            .optional()
            .names<&S::noiseTemplate>(),
        Row(Field::Capacity, K::Number, Scope::Conditions, "capacity", "capacity",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Емкость кабеля (пучка) M, пар"), "capacity", "емкость")
            .help("M", "Cable capacity M, pairs, %1..%2 (%3).")
            .bounds(Capacity, DefaultCapacity)
            .numbers<&S::cableCapacity>(),
        Row(Field::Loads, K::Numbers, Scope::Conditions, "loads", "load",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Загрузка кабеля (пучка) m"), "load", "загрузка")
            .help("LIST", "Cable load m, lines, each %1..%2 (%3).")
            .bounds(Load, DefaultLoad)
            .most(MaxValues)
            .family()
            .numbers<&S::xDSL_points>(),
        Row(Field::ElfextFrequency, K::Number, Scope::Conditions, "elfext.frequency", "elfext-freq",
            QT_TRANSLATE_NOOP("PropertiesDialog", "частота нормы, кГц"), "ELFEXT frequency", "частота ELFEXT")
            .help("KHZ", "ELFEXT norm frequency, kHz, %1..%2 (%3).")
            .bounds(Frequency, DefaultFrequency)
            .numbers<&S::norm_ELFEXT_frequency>(),
        Row(Field::Elfext, K::Numbers, Scope::Conditions, "elfext.norms", "elfext",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Нормы ELFEXT для 1км"), "ELFEXT", "ELFEXT")
            .help("LIST", "ELFEXT norms for 1 km, dB, each %1..%2 (%3).")
            .bounds(Norm, DefaultNorm)
            .most(MaxValues)
            .family()
            .numbers<&S::Norm_ELFEXT_points>(),
        Row(Field::NextFrequency, K::Number, Scope::Conditions, "next.frequency", "next-freq",
            QT_TRANSLATE_NOOP("PropertiesDialog", "частота нормы, кГц"), "NEXT frequency", "частота NEXT")
            .help("KHZ", "NEXT norm frequency, kHz, %1..%2 (%3).")
            .bounds(Frequency, DefaultFrequency)
            .numbers<&S::norm_NEXT_frequency>(),
        Row(Field::Next, K::Numbers, Scope::Conditions, "next.norms", "next",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Нормы NEXT"), "NEXT", "NEXT")
            .help("LIST", "NEXT norms, dB, each %1..%2 (%3).")
            .bounds(Norm, DefaultNorm)
            .most(MaxValues)
            .family()
            .numbers<&S::Norm_NEXT_points>(),
        // The sweep by loss: the axis first, since the grid's rows below apply by it and share
        // their options. The reference frequency also converts the losses of loop records.
        Row(Field::Axis, K::Choice, Scope::Grid, "axis", "axis", QT_TRANSLATE_NOOP("PropertiesDialog", "изменение"),
            "axis", "ось расчёта")
            .help("AXIS", "What the sweep varies: length (the default) or loss, the loop's loss in dB at "
                          "--loss-freq; --from, --to and --step are then losses.")
            .choices({axisWord(SweepAxis::Length), axisWord(SweepAxis::Loss)})
            .writtenWhen(&sweepsLoss)
            .texts(&axisTexts, &setAxisTexts),
        Row(Field::LossFrequency, K::Number, Scope::Conditions, "lossFrequency", "loss-freq",
            QT_TRANSLATE_NOOP("PropertiesDialog", "на частоте F, кГц"), "loss frequency", "частота затухания")
            .help("KHZ", "Reference frequency of losses (--axis loss, --loss, loop records in dB), kHz, "
                         "%1..%2 (%3).")
            .bounds(Frequency, DefaultLossFrequency)
            .writtenWhen(&sweepsLoss)
            .numbers<&S::lossFrequency>(),
        Row(Field::LossFrom, K::Number, Scope::Grid, "losses.from", "from", QT_TRANSLATE_NOOP("PropertiesDialog", "от"),
            "first loss", "начальное затухание")
            .help("DB", "With --axis loss: the first loss, dB, at most one decimal, %1..%2 (%3).")
            .decimals(1)
            .bounds(Loss, DefaultLossFrom)
            .appliesWhen(&sweepsLoss)
            .tenths<&S::lossFrom>(),
        Row(Field::LossTo, K::Number, Scope::Grid, "losses.to", "to", QT_TRANSLATE_NOOP("PropertiesDialog", "до"),
            "last loss", "конечное затухание")
            .help("DB", "With --axis loss: the last loss, dB, %1..%2 (%3).")
            .decimals(1)
            .bounds(Loss, DefaultLossTo)
            .appliesWhen(&sweepsLoss)
            .tenths<&S::lossTo>(),
        Row(Field::LossStep, K::Number, Scope::Grid, "losses.step", "step",
            QT_TRANSLATE_NOOP("PropertiesDialog", "с шагом"), "loss step", "шаг затухания")
            .help("DB", "With --axis loss: the loss step, dB, %1..%2 (%3).")
            .decimals(1)
            .bounds(LossStep, DefaultLossStep)
            .appliesWhen(&sweepsLoss)
            .tenths<&S::lossStep>(),
        Row(Field::LengthFrom, K::Number, Scope::Grid, "lengths.from", "from", QT_TRANSLATE_NOOP("PropertiesDialog", "от"),
            "first length", "начальная длина")
            .help("M", "First cable length, m, %1..%2 (%3).")
            .bounds(Length, DefaultFrom)
            .appliesWhen(&sweepsLength)
            .numbers<&S::cableLengthFrom>(),
        Row(Field::LengthTo, K::Number, Scope::Grid, "lengths.to", "to", QT_TRANSLATE_NOOP("PropertiesDialog", "до"),
            "last length", "конечная длина")
            .help("M", "Last cable length, m, %1..%2 (%3).")
            .bounds(Length, DefaultTo)
            .appliesWhen(&sweepsLength)
            .numbers<&S::cableLengthTo>(),
        Row(Field::LengthStep, K::Number, Scope::Grid, "lengths.step", "step",
            QT_TRANSLATE_NOOP("PropertiesDialog", "с шагом"), "length step", "шаг длины")
            .help("M", "Length step, m, %1..%2 (%3).")
            .bounds(Step, DefaultStep)
            .appliesWhen(&sweepsLength)
            .numbers<&S::cableLengthStep>(),
        Row(Field::Margins, K::Numbers, Scope::Conditions, "margins", "margin",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Запас помехозащищенности SNR Margin"), "SNR margin", "SNR margin")
            .help("LIST", "SNR margins, dB, each %1..%2 (%3).")
            .bounds(Margin, DefaultMargin)
            .most(MaxValues)
            .family()
            .numbers<&S::SNRMargin_points>(),
        // Beyond the classic model: single values, each left out of a setup while unset.
        Row(Field::CodingGain, K::Number, Scope::Conditions, "codingGain", "coding-gain",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Выигрыш кодирования, дБ"), "coding gain", "выигрыш кодирования")
            .help("DB", "Coding gain, dB, %1..%2 with at most one decimal after a point (%3): it adds "
                        "to every DMT tone's SNR and lowers a PAM line's threshold.")
            .decimals(1)
            .bounds(CodingGain, 0)
            .writtenWhen([](const S &s) { return s.codingGain != 0; })
            .numbers<&S::codingGain>(),
        Row(Field::Vectoring, K::Number, Scope::Conditions, "vectoring", "vectoring",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Векторизация: глубина подавления D, дБ"), "vectoring depth",
            "глубина векторизации")
            .help("DB", "Vectoring: the far-end crosstalk within the vectored group is cancelled by this "
                        "depth, dB, %1..%2 (none by default). PAM lines ignore it.")
            .bounds(VectoringDepth, 0)
            .optional()
            .numbers<&S::vectoring>(),
        Row(Field::AlienDisturbers, K::Number, Scope::Conditions, "alienDisturbers", "alien",
            QT_TRANSLATE_NOOP("PropertiesDialog", "чужих линий N (вне векторной группы)"), "alien disturbers",
            "чужих линий")
            .help("N", "Disturbers of the load outside the vectored group, %1..%2 (%3), below every "
                       "--load value; only with --vectoring.")
            .bounds(AlienDisturbers, 0)
            .needs(Field::Vectoring)
            .appliesWhen([](const S &s) { return s.vectoring.has_value(); })
            .numbers<&S::alienDisturbers>(),
        // Each command that asks questions of target rates offers --rate its own way.
        Row(Field::TargetRates, K::Numbers, Scope::Conditions, "targetRates", "rate",
            QT_TRANSLATE_NOOP("PropertiesDialog", "Целевые скорости, кбит/с"), "target rates", "целевые скорости")
            .bounds(TargetRate, DefaultTargetRate)
            .most(MaxTargets)
            .optional()
            .numbers<&S::targetRates>(),
    };
    QVector<Input> table;
    for (const Row &row : rows)
        table << row.in;
    return table;
}

// Units per value: 1, or 10 for one decimal.
double scaleOf(const Input &in)
{
    return std::pow(10.0, in.decimals);
}

QString number(float value)
{
    return QString::number(double(value), 'g', 6);
}

template <typename T>
QString joined(const QVector<T> &values)
{
    QStringList texts;
    for (const T &v : values) {
        if constexpr (std::is_same_v<T, float>)
            texts << number(v);
        else
            texts << QString::number(v);
    }
    return texts.join(QLatin1Char(','));
}

Problem problem(Problem::Kind kind, Field field, QStringList values = {})
{
    Problem p{kind, field, -1, values, {}};
    return p;
}

// Shown as a message writes a value the user gave: whole numbers plainly, others to ten digits.
QString shownNumber(double value)
{
    return QString::number(value, 'g', 10);
}

std::optional<Problem> numberProblem(const Input &in, double value, IntRange range, int item = -1)
{
    const double scaled = value * scaleOf(in);
    // A float of one decimal (10.1f) is shown as it was written, not with its binary tail.
    const bool inDecimals = in.decimals > 0 && std::fabs(scaled - std::round(scaled)) <= 1e-3;
    const QString text = inDecimals ? numberText(in, value) : shownNumber(value);
    std::optional<Problem> p;
    if (!std::isfinite(value) || (in.decimals == 0 && value != std::floor(value)))
        p = problem(Problem::NotWhole, in.field, {text});
    else if (in.decimals > 0 && !inDecimals)
        p = problem(Problem::TooManyDecimals, in.field, {text, QString::number(in.decimals)});
    else if (std::round(scaled) < range.min)
        p = problem(Problem::Below, in.field, {text, numberText(in, fromUnits(in, range.min))});
    else if (std::round(scaled) > range.max)
        p = problem(Problem::Above, in.field, {text, numberText(in, fromUnits(in, range.max))});
    if (p)
        p->item = item;
    return p;
}

// One to `most` values (none allowed for an optional input), each within the bounds, strictly
// increasing.
std::optional<Problem> listProblem(const Input &in, const QVector<double> &values, IntRange range)
{
    if (values.isEmpty() && !in.optional)
        return problem(Problem::NoValue, in.field);
    if (in.most > 0 && values.size() > in.most)
        return problem(Problem::TooManyValues, in.field,
                       {QString::number(values.size()), QString::number(in.most)});
    for (int i = 0; i < values.size(); ++i) {
        if (auto p = numberProblem(in, values.at(i), range))
            return p;
        if (i > 0 && !(values.at(i) > values.at(i - 1)))
            return problem(Problem::NotIncreasing, in.field);
    }
    return std::nullopt;
}

} // namespace

std::optional<Problem> checkSections(const QVector<CableSection> &sections)
{
    const Input &in = input(Field::Sections);
    if (sections.size() > in.most)
        return problem(Problem::TooManySections, in.field,
                       {QString::number(sections.size()), QString::number(in.most)});
    for (int i = 0; i < sections.size(); ++i) {
        const CableSection &section = sections.at(i);
        if (section.cable.isEmpty())
            return problem(Problem::SectionWithoutCable, in.field);
        if (auto p = checkName(in.field, section.cable))
            return p;
        if (auto p = numberProblem(in, section.length, in.range, i))
            return p;
    }
    const qint64 total = sectionsTotal(sections);
    if (total > Length.max)
        return problem(Problem::SectionsTooLong, in.field, {QString::number(total), QString::number(Length.max)});
    return std::nullopt;
}

namespace {

std::optional<Problem> namesProblem(const Input &in, const QStringList &names, bool distinct)
{
    if (names.isEmpty() && !in.optional)
        return problem(Problem::NoValue, in.field);
    for (const QString &name : names)
        if (auto p = checkName(in.field, name))
            return p;
    if (distinct) {
        QSet<QString> seen;
        for (const QString &name : names) {
            if (seen.contains(name))
                return problem(Problem::NamedTwice, in.field, {name});
            seen.insert(name);
        }
    }
    return std::nullopt;
}

std::optional<Problem> choiceProblem(const Input &in, const QStringList &value)
{
    if (value.size() == 1 && in.choices.contains(value.first()))
        return std::nullopt;
    if (value.isEmpty() && in.optional)
        return std::nullopt;
    return problem(Problem::NotAChoice, in.field, {value.value(0), in.choices.join(QStringLiteral(", "))});
}

IntRange rangeOf(const Input &in, IntRange stepRange)
{
    return in.field == Field::LengthStep ? stepRange : in.range;
}

// An optional number left without a value has nothing to check.
std::optional<Problem> singleNumberProblem(const Input &in, const CalcSettings &s, IntRange range)
{
    const QVector<double> values = in.numbers(s);
    if (values.isEmpty())
        return in.optional ? std::nullopt : std::optional<Problem>(problem(Problem::NoValue, in.field));
    return numberProblem(in, values.first(), range);
}

// How the inputs bear on each other beyond the sweep: an input set without the one it needs
// (its default passes: the record cannot tell it from unset), and vectoring's aliens, which
// leave the victim's vectored group at least the victim itself at every load.
std::optional<Problem> dependencyProblem(const CalcSettings &s)
{
    for (const Input &in : inputs()) {
        if (!in.needs || valueCount(input(*in.needs), s) > 0)
            continue;
        if (in.kind == InputKind::Number && in.numbers(s).value(0) != fromUnits(in, in.defaultValue))
            return needsProblem(in);
    }
    if (s.vectoring) {
        for (const int m : s.xDSL_points) {
            if (s.alienDisturbers > m - 1) {
                Problem p = problem(Problem::NotBelowOther, Field::AlienDisturbers,
                                    {QString::number(s.alienDisturbers), QString::number(m)});
                p.others = {Field::Loads};
                return p;
            }
        }
    }
    return std::nullopt;
}

} // namespace

const QVector<Input> &inputs()
{
    static const QVector<Input> table = makeInputs();
    return table;
}

const Input &input(Field field)
{
    for (const Input &in : inputs())
        if (in.field == field)
            return in;
    Q_UNREACHABLE();
}

double fromUnits(const Input &in, qint64 units)
{
    return double(units) / scaleOf(in);
}

bool applies(const Input &in, const CalcSettings &s)
{
    return !in.applies || in.applies(s);
}

qsizetype valueCount(const Input &in, const CalcSettings &s)
{
    switch (in.kind) {
    case InputKind::Names:
    case InputKind::Name:
    case InputKind::Choice:
        return in.names(s).size();
    case InputKind::Number:
    case InputKind::Numbers:
        return in.numbers(s).size();
    case InputKind::Sections:
        return s.sections.size();
    }
    return 0;
}

QString numberText(const Input &in, double value)
{
    if (in.decimals == 0)
        return shownNumber(value);
    // The shortest text of the value in its last decimal: "12", "12.5".
    const qint64 units = qint64(std::llround(value * scaleOf(in)));
    const qint64 scale = qint64(std::llround(scaleOf(in)));
    const qint64 whole = units / scale;
    const qint64 rest = std::llabs(units % scale);
    QString text = (units < 0 && whole == 0 ? QStringLiteral("-") : QString()) + QString::number(whole);
    if (rest != 0)
        text += QLatin1Char('.') + QString::number(rest).rightJustified(in.decimals, QLatin1Char('0'));
    return text;
}

QString axisWord(SweepAxis axis)
{
    return axis == SweepAxis::Loss ? QStringLiteral("loss") : QStringLiteral("length");
}

QString describe(const Problem &p, const FieldNames &names)
{
    const auto name = [&names](Field field) { return names ? names(field) : QString(); };
    const QString field = name(p.field);
    const QString v0 = p.values.value(0);
    const QString v1 = p.values.value(1);
    const QString v2 = p.values.value(2);
    switch (p.kind) {
    case Problem::NoValue:
        return localized("%1: no value given", "%1: значение не задано").arg(field);
    case Problem::NotWhole:
        return localized("%1: %2 is not a whole number", "%1: %2 — не целое число").arg(field, v0);
    case Problem::TooManyDecimals:
        return localized("%1: %2 has more than %3 decimal(s)", "%1: у числа %2 больше знаков после точки, чем %3")
            .arg(field, v0, v1);
    case Problem::Below:
        return localized("%1: %2 is below %3", "%1: %2 меньше %3").arg(field, v0, v1);
    case Problem::Above:
        return localized("%1: %2 is above %3", "%1: %2 больше %3").arg(field, v0, v1);
    case Problem::TooManyValues:
        return localized("%1: %2 values, at most %3", "%1: значений %2, допускается не более %3").arg(field, v0, v1);
    case Problem::MoreThanTemplates:
        return localized("%1: %2 values, at most %3: the number of templates in %4",
                         "%1: значений %2, допускается не более %3 — столько шаблонов в каталоге %4")
            .arg(field, v0, v1, v2);
    case Problem::NotIncreasing:
        return localized("%1: the values must be strictly increasing", "%1: значения должны строго возрастать")
            .arg(field);
    case Problem::NamedTwice:
        return localized("%1: \"%2\" is named twice", "%1: «%2» указан дважды").arg(field, visibleText(v0));
    case Problem::NotTemplateName:
        switch (p.field) {
        case Field::LineTypes:
            return localized("line type name \"%1\" is not a template file name (no path separators, "
                             "not \".\" or \"..\")",
                             "Имя типа линии «%1» не является именем файла шаблона (разделители "
                             "пути, «.» и «..» недопустимы)")
                .arg(v0);
        case Field::Noise:
            return localized("noise name \"%1\" is not a template file name (no path separators, "
                             "not \".\" or \"..\")",
                             "Имя шаблона помех «%1» не является именем файла шаблона (разделители "
                             "пути, «.» и «..» недопустимы)")
                .arg(v0);
        default:
            return localized("cable name \"%1\" is not a template file name (no path separators, "
                             "not \".\" or \"..\")",
                             "Имя кабеля «%1» не является именем файла шаблона (разделители пути, "
                             "«.» и «..» недопустимы)")
                .arg(v0);
        }
    case Problem::ControlCharacter:
        switch (p.field) {
        case Field::LineTypes:
            return localized("line type name \"%1\" holds a control character (%2)",
                             "Имя типа линии «%1» содержит управляющий символ (%2)")
                .arg(v0, v1);
        case Field::Noise:
            return localized("noise name \"%1\" holds a control character (%2)",
                             "Имя шаблона помех «%1» содержит управляющий символ (%2)")
                .arg(v0, v1);
        default:
            return localized("cable name \"%1\" holds a control character (%2)",
                             "Имя кабеля «%1» содержит управляющий символ (%2)")
                .arg(v0, v1);
        }
    case Problem::FromBeyondTo:
        return localized("%1 %2 is beyond %3 %4", "%1 %2 больше, чем %3 %4")
            .arg(field, v0, name(p.others.value(0)), v1);
    case Problem::StepNotPositive:
        if (p.field == Field::LossStep)
            return localized("%1: the loss step must be positive (%2 dB given)",
                             "%1: шаг затухания должен быть положительным (задано %2 дБ)")
                .arg(field, v0);
        return localized("%1: the length step must be positive (%2 m given)",
                         "%1: шаг длины должен быть положительным (задано %2 м)")
            .arg(field, v0);
    case Problem::TooManySections:
        return localized("%1: %2 sections, at most %3", "%1: участков %2, допускается не более %3").arg(field, v0, v1);
    case Problem::SectionWithoutCable:
        return localized("%1: a section without a cable", "%1: у участка не задан кабель").arg(field);
    case Problem::SectionsTooLong:
        return localized("%1: the sections add up to %2 m, above %3 m", "%1: сумма длин участков %2 м больше %3 м")
            .arg(field, v0, v1);
    case Problem::FromInsideSections:
        return localized("%1 %2 is below the sections' total of %3 m", "%1 %2 меньше суммы длин участков (%3 м)")
            .arg(field, v0, v1);
    case Problem::SeveralFamilies: {
        QStringList fields;
        for (const Field f : p.others)
            fields << name(f);
        return localized("only one parameter may have several values, not %1",
                         "несколько значений может иметь только один параметр, а не %1")
            .arg(fields.join(localized(" and ", " и ")));
    }
    case Problem::OneValueOnly:
        if (!v1.isEmpty())
            return localized("%1: one value only, %2 given in \"%3\"", "%1: допускается одно значение, задано %2: «%3»")
                .arg(field, v0, visibleText(v1));
        return localized("%1: one value only, %2 given", "%1: допускается одно значение, задано %2").arg(field, v0);
    case Problem::TargetsPerLineType:
        return localized("%1: %2 target rate(s) for %3 line type(s); give one per line type",
                         "%1: целевых скоростей задано %2, типов линии %3; нужна одна скорость "
                         "на каждый тип линии")
            .arg(field, v0, v1);
    case Problem::NotCableLength:
        return localized("%1: \"%2\" is not CABLE:LENGTH", "%1: «%2» не имеет вида КАБЕЛЬ:ДЛИНА")
            .arg(field, visibleText(v0));
    case Problem::NotWholeText:
        return localized("%1: \"%2\" is not a whole number", "%1: «%2» — не целое число").arg(field, visibleText(v0));
    case Problem::NotAChoice:
        return localized("%1: \"%2\" is not one of %3", "%1: «%2» — не одно из значений %3")
            .arg(field, visibleText(v0), v1);
    case Problem::NotDecimalText:
        return localized("%1: \"%2\" is not a number with at most %3 decimal(s)",
                         "%1: «%2» — не число с не более чем %3 знаками после точки")
            .arg(field, visibleText(v0), v1);
    case Problem::NeedsOther:
        return localized("%1 is given only with %2", "%1 задаётся только вместе с %2")
            .arg(field, name(p.others.value(0)));
    case Problem::NotBelowOther:
        return localized("%1 %2 must be below %3 %4", "%1 %2 должно быть меньше, чем %3 %4")
            .arg(field, v0, name(p.others.value(0)), v1);
    }
    return QString();
}

QString loadsSummary(const QVector<int> &loads)
{
    return joined(loads);
}

QString normsSummary(const QVector<float> &norms, float frequency)
{
    return joined(norms) + QStringLiteral("дБ(%1кГц)").arg(number(frequency));
}

QString marginsSummary(const QVector<float> &margins)
{
    return joined(margins) + QStringLiteral("дБ");
}

QString untouchedMarginsSummary()
{
    return QStringLiteral("0 дБ");
}

QString templatesSummary(const QStringList &names)
{
    return names.join(QStringLiteral(", "));
}

QString lengthsSummary(int from, int to, int step)
{
    return QStringLiteral("от %1 до %2; шаг %3")
        .arg(QString::number(from), QString::number(to), QString::number(step));
}

QString lossesSummary(int from, int to, int step, int frequency)
{
    const Input &in = input(Field::LossFrom);
    return QStringLiteral("от %1 до %2; шаг %3 (%4кГц)")
        .arg(numberText(in, fromUnits(in, from)), numberText(in, fromUnits(in, to)), numberText(in, fromUnits(in, step)),
             QString::number(frequency));
}

QString sectionsSummary(const QVector<CableSection> &sections)
{
    QStringList parts;
    for (const CableSection &s : sections)
        parts << QStringLiteral("%1 %2м").arg(s.cable, QString::number(s.length));
    return parts.join(QStringLiteral(" + "));
}

QString targetRatesSummary(const QVector<int> &rates)
{
    return joined(rates);
}

QStringList modelOptionsSummary(const CalcSettings &s)
{
    QStringList lines;
    if (s.vectoring)
        lines << QStringLiteral("Векторизация D=%1дБ, чужих N=%2")
                     .arg(QString::number(*s.vectoring), QString::number(s.alienDisturbers));
    if (s.codingGain != 0)
        lines << QStringLiteral("Выигрыш кодирования %1дБ")
                     .arg(numberText(input(Field::CodingGain), double(s.codingGain)));
    return lines;
}

void fillSummaries(CalcSettings &s, bool untouchedMargins)
{
    s.cableTypesText = templatesSummary(s.cableTypes);
    s.xDSL_pointsText = loadsSummary(s.xDSL_points);
    s.norm_ELFEXT_Text = normsSummary(s.Norm_ELFEXT_points, s.norm_ELFEXT_frequency);
    s.norm_NEXT_Text = normsSummary(s.Norm_NEXT_points, s.norm_NEXT_frequency);
    s.SNRMarginText = untouchedMargins ? untouchedMarginsSummary() : marginsSummary(s.SNRMargin_points);
    s.lineTypesText = templatesSummary(s.lineTypes);
}

qint64 sectionsTotal(const QVector<CableSection> &sections)
{
    qint64 total = 0;
    for (const CableSection &s : sections)
        total += s.length;
    return total;
}

std::optional<Problem> checkName(Field field, const QString &name)
{
    // Names reach the file system: none may lead out of its template directory, and none may hold
    // a character that breaks a message or a file name in two.
    for (const QChar c : name)
        if (isControlCharacter(c.unicode()))
            return problem(Problem::ControlCharacter, field,
                           {visibleText(name), QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper()});
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name == QLatin1String(".")
        || name == QLatin1String(".."))
        return problem(Problem::NotTemplateName, field, {name});
    return std::nullopt;
}

std::optional<Problem> parseNumber(const Input &in, const QString &text, double *value)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    if (in.decimals == 0) {
        const int v = trimmed.toInt(&ok);
        if (!ok)
            return problem(Problem::NotWholeText, in.field, {text});
        *value = v;
        return std::nullopt;
    }
    // Digits, then at most `decimals` of them after a point: a comma would split a list.
    const int point = int(trimmed.indexOf(QLatin1Char('.')));
    const QString whole = point < 0 ? trimmed : trimmed.left(point);
    const QString fraction = point < 0 ? QString() : trimmed.mid(point + 1);
    const auto digits = [](const QString &t) {
        for (const QChar c : t)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        return true;
    };
    const QString unsignedWhole = whole.startsWith(QLatin1Char('-')) || whole.startsWith(QLatin1Char('+')) ? whole.mid(1) : whole;
    if (unsignedWhole.isEmpty() || unsignedWhole.size() > 9 || !digits(unsignedWhole) || !digits(fraction)
        || (point >= 0 && (fraction.isEmpty() || fraction.size() > in.decimals)))
        return problem(Problem::NotDecimalText, in.field, {text, QString::number(in.decimals)});
    const qint64 units = unsignedWhole.toLongLong() * qint64(std::llround(scaleOf(in)))
        + fraction.leftJustified(in.decimals, QLatin1Char('0')).toLongLong();
    *value = fromUnits(in, whole.startsWith(QLatin1Char('-')) ? -units : units);
    return std::nullopt;
}

std::optional<Problem> checkNumber(const Input &in, double value)
{
    return numberProblem(in, value, in.range);
}

std::optional<Problem> checkChoice(const Input &in, const QString &word)
{
    return choiceProblem(in, {word});
}

std::optional<Problem> parseField(const Input &in, const QString &text, double *value)
{
    const std::optional<double> v = parseDecimal(text);
    if (!v)
        return problem(Problem::NotDecimalText, in.field, {text, QString::number(in.decimals)});
    if (auto p = checkNumber(in, *v))
        return p;
    *value = *v;
    return std::nullopt;
}

Problem needsProblem(const Input &in)
{
    Problem p = problem(Problem::NeedsOther, in.field);
    p.others = {*in.needs};
    return p;
}

std::optional<Problem> parseSection(const QString &text, CableSection *section)
{
    const Input &in = input(Field::Sections);
    const int colon = int(text.lastIndexOf(QLatin1Char(':')));
    const QString cable = colon > 0 ? text.left(colon).trimmed() : QString();
    if (cable.isEmpty())
        return problem(Problem::NotCableLength, in.field, {text});
    const QString lengthText = text.mid(colon + 1);
    bool ok = false;
    const int length = lengthText.trimmed().toInt(&ok);
    if (!ok) {
        // Digits too many for a number are still a length, only far too long a one.
        static const QRegularExpression digits(QStringLiteral("^\\s*\\d+\\s*$"));
        if (digits.match(lengthText).hasMatch())
            return problem(Problem::Above, in.field, {lengthText.trimmed(), QString::number(in.range.max)});
        return problem(Problem::NotWholeText, in.field, {lengthText});
    }
    if (auto p = numberProblem(in, length, in.range))
        return p;
    *section = CableSection{cable, length};
    return std::nullopt;
}

std::optional<Problem> check(const CalcSettings &s, Checks checks, IntRange stepRange)
{
    const bool full = checks != Checks::Run;
    // Every input on its own, in the table's order.
    for (const Input &in : inputs()) {
        if (!applies(in, s))
            continue;
        switch (in.kind) {
        case InputKind::Names:
        case InputKind::Name:
            if (auto p = namesProblem(in, in.names(s), checks == Checks::Stored))
                return p;
            break;
        case InputKind::Number:
            if (full)
                if (auto p = singleNumberProblem(in, s, rangeOf(in, stepRange)))
                    return p;
            break;
        case InputKind::Numbers:
            if (full) {
                if (auto p = listProblem(in, in.numbers(s), rangeOf(in, stepRange)))
                    return p;
            } else if (!in.optional && in.numbers(s).isEmpty()) {
                return problem(Problem::NoValue, in.field);
            }
            break;
        case InputKind::Sections:
            if (auto p = checkSections(s.sections))
                return p;
            break;
        case InputKind::Choice:
            if (auto p = choiceProblem(in, in.names(s)))
                return p;
            break;
        }
    }
    // Then how they bear on each other.
    if (auto p = checkGrid(s, checks))
        return p;
    if (auto p = dependencyProblem(s))
        return p;
    if (full) {
        // The dialog lets one parameter have several values; refuse rather than pick one.
        Problem several = problem(Problem::SeveralFamilies, Field::Cables);
        for (const Input &in : inputs())
            if (in.family && applies(in, s) && valueCount(in, s) > 1)
                several.others << in.field;
        if (several.others.size() > 1)
            return several;
    }
    return std::nullopt;
}

std::optional<Problem> checkGrid(const CalcSettings &s, Checks checks)
{
    // The grid of the axis swept; a loss grid may start below the sections' own loss (those
    // points have no loop).
    const bool loss = sweepsLoss(s);
    const Field from = loss ? Field::LossFrom : Field::LengthFrom;
    const Field to = loss ? Field::LossTo : Field::LengthTo;
    const Field step = loss ? Field::LossStep : Field::LengthStep;
    const auto value = [&s](Field field) { return input(field).numbers(s).value(0); };
    const auto text = [&](Field field) { return numberText(input(field), value(field)); };
    if (checks == Checks::Run && value(step) <= 0)
        return problem(Problem::StepNotPositive, step, {text(step)});
    if (value(from) > value(to)) {
        Problem p = problem(Problem::FromBeyondTo, from, {text(from), text(to)});
        p.others = {to};
        return p;
    }
    const qint64 total = sectionsTotal(s.sections);
    if (!loss && s.cableLengthFrom < total)
        return problem(Problem::FromInsideSections, Field::LengthFrom,
                       {QString::number(s.cableLengthFrom), QString::number(total)});
    return std::nullopt;
}

bool validate(const CalcSettings &settings, Checks checks, const FieldNames &names, QString *error,
              IntRange stepRange)
{
    if (const std::optional<Problem> p = check(settings, checks, stepRange))
        return fail(error, describe(*p, names));
    return true;
}

std::optional<Problem> checkTemplateCounts(const CalcSettings &s, int cableTemplates, int lineTypeTemplates)
{
    const std::pair<Field, int> limits[] = {{Field::Cables, cableTemplates}, {Field::LineTypes, lineTypeTemplates}};
    for (const auto &[field, most] : limits) {
        const Input &in = input(field);
        const qsizetype count = valueCount(in, s);
        if (most >= 0 && count > most)
            return problem(Problem::MoreThanTemplates, field,
                           {QString::number(count), QString::number(most),
                            templateDirectory(field == Field::Cables ? CableAttenuation : LineTypeDmt)});
    }
    return std::nullopt;
}

std::optional<Problem> checkLoopConditions(const CalcSettings &s, const QVector<int> &targets)
{
    // The loops bring their own cables, checked as their lines are read; the names given here must
    // still stay inside their directories.
    for (const QString &name : s.cableTypes)
        if (auto p = checkName(Field::Cables, name))
            return p;
    for (const CableSection &section : s.sections)
        if (auto p = checkName(Field::Sections, section.cable))
            return p;
    for (const Input &in : inputs()) {
        if (in.scope != Scope::Conditions || in.field == Field::TargetRates || !applies(in, s))
            continue;
        const qsizetype count = valueCount(in, s);
        if (in.field == Field::LineTypes) {
            // The services: each one a curve of every loop.
            if (count > MaxValues)
                return problem(Problem::TooManyValues, in.field, {QString::number(count), QString::number(MaxValues)});
            if (auto p = namesProblem(in, in.names(s), false))
                return p;
            continue;
        }
        // Each loop is one curve per service: a second value would make a family of them.
        if (in.family && count > 1)
            return problem(Problem::OneValueOnly, in.field, {QString::number(count)});
        switch (in.kind) {
        case InputKind::Names:
        case InputKind::Name:
            if (auto p = namesProblem(in, in.names(s), false))
                return p;
            break;
        case InputKind::Number:
            if (auto p = singleNumberProblem(in, s, in.range))
                return p;
            break;
        case InputKind::Numbers:
            if (auto p = listProblem(in, in.numbers(s), in.range))
                return p;
            break;
        case InputKind::Choice:
            if (auto p = choiceProblem(in, in.names(s)))
                return p;
            break;
        case InputKind::Sections:
            break;
        }
    }
    if (auto p = dependencyProblem(s))
        return p;
    if (targets.isEmpty())
        return std::nullopt;
    const Input &rates = input(Field::TargetRates);
    if (targets.size() != s.lineTypes.size())
        return problem(Problem::TargetsPerLineType, rates.field,
                       {QString::number(targets.size()), QString::number(s.lineTypes.size())});
    for (int target : targets)
        if (auto p = numberProblem(rates, target, rates.range))
            return p;
    return std::nullopt;
}

bool validateLoopConditions(const CalcSettings &settings, const QVector<int> &targets, const FieldNames &names,
                            QString *error)
{
    if (const std::optional<Problem> p = checkLoopConditions(settings, targets))
        return fail(error, describe(*p, names));
    return true;
}

} // namespace CalcInput

QString runFieldName(CalcInput::Field field)
{
    const CalcInput::Input &in = CalcInput::input(field);
    return localized(in.english, in.russian);
}
