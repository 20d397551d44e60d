#include "engine/calcinput.h"

#include "engine/checks.h"
#include "engine/messages.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"

#include <cmath>

namespace CalcInput {

namespace {

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

class Checker
{
public:
    Checker(const FieldNames &names, QString *error) : m_names(names), m_error(error) {}

    QString name(Field field) const { return m_names ? m_names(field) : QString(); }

    bool refuse(const QString &message) { return fail(m_error, message); }

    bool present(Field field, qsizetype count)
    {
        if (count > 0)
            return true;
        return refuse(localized("%1: no value given", "%1: значение не задано").arg(name(field)));
    }

    bool inRange(Field field, double value, IntRange range)
    {
        const QString text = QString::number(value, 'g', 10);
        if (!std::isfinite(value) || value != std::floor(value))
            return refuse(localized("%1: %2 is not a whole number", "%1: %2 — не целое число")
                              .arg(name(field), text));
        if (value < range.min)
            return refuse(localized("%1: %2 is below %3", "%1: %2 меньше %3")
                              .arg(name(field), text, QString::number(range.min)));
        if (value > range.max)
            return refuse(localized("%1: %2 is above %3", "%1: %2 больше %3")
                              .arg(name(field), text, QString::number(range.max)));
        return true;
    }

    // One to `most` values, each within `range`, strictly increasing.
    template <typename T>
    bool list(Field field, const QVector<T> &values, IntRange range, int most = MaxValues,
              bool mayBeEmpty = false)
    {
        if (!mayBeEmpty && !present(field, values.size()))
            return false;
        if (values.size() > most)
            return refuse(localized("%1: %2 values, at most %3", "%1: значений %2, допускается не более %3")
                              .arg(name(field), QString::number(values.size()), QString::number(most)));
        for (int i = 0; i < values.size(); ++i) {
            if (!inRange(field, double(values.at(i)), range))
                return false;
            if (i > 0 && !(values.at(i) > values.at(i - 1)))
                return refuse(localized("%1: the values must be strictly increasing",
                                        "%1: значения должны строго возрастать")
                                  .arg(name(field)));
        }
        return true;
    }

private:
    const FieldNames &m_names;
    QString *m_error;
};

// Names reach the file system: none may lead out of its template directory.
bool namesStayInside(const CalcSettings &s, QString *error)
{
    for (const QString &name : s.cableTypes)
        if (!checkTemplateName(CableAttenuation, name, error))
            return false;
    for (const CableSection &section : s.sections)
        if (!checkTemplateName(CableAttenuation, section.cable, error))
            return false;
    for (const QString &name : s.lineTypes)
        if (!checkTemplateName(LineTypeDmt, name, error))
            return false;
    return checkTemplateName(AdditiveNoise, s.noiseTemplate, error);
}

} // namespace

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

bool validate(const CalcSettings &s, Checks checks, const FieldNames &names, QString *error,
              IntRange stepRange)
{
    Checker c(names, error);
    const bool input = checks == Checks::Input;

    if (!c.present(Field::Cables, s.cableTypes.size()) || !c.present(Field::LineTypes, s.lineTypes.size()))
        return false;
    if (!namesStayInside(s, error))
        return false;
    if (input) {
        if (!c.inRange(Field::Capacity, s.cableCapacity, Capacity)
            || !c.list(Field::Loads, s.xDSL_points, Load)
            || !c.list(Field::Elfext, s.Norm_ELFEXT_points, Norm)
            || !c.list(Field::Next, s.Norm_NEXT_points, Norm)
            || !c.inRange(Field::ElfextFrequency, s.norm_ELFEXT_frequency, Frequency)
            || !c.inRange(Field::NextFrequency, s.norm_NEXT_frequency, Frequency)
            || !c.inRange(Field::LengthFrom, s.cableLengthFrom, Length)
            || !c.inRange(Field::LengthTo, s.cableLengthTo, Length)
            || !c.inRange(Field::LengthStep, s.cableLengthStep, stepRange)
            || !c.list(Field::Margins, s.SNRMargin_points, Margin))
            return false;
    } else {
        if (!c.present(Field::Loads, s.xDSL_points.size()) || !c.present(Field::Elfext, s.Norm_ELFEXT_points.size())
            || !c.present(Field::Next, s.Norm_NEXT_points.size())
            || !c.present(Field::Margins, s.SNRMargin_points.size()))
            return false;
        if (s.cableLengthStep <= 0)
            return c.refuse(localized("%1: the length step must be positive (%2 m given)",
                                      "%1: шаг длины должен быть положительным (задано %2 м)")
                                .arg(c.name(Field::LengthStep), QString::number(s.cableLengthStep)));
    }
    if (s.cableLengthFrom > s.cableLengthTo)
        return c.refuse(localized("%1 %2 is beyond %3 %4", "%1 %2 больше, чем %3 %4")
                            .arg(c.name(Field::LengthFrom), QString::number(s.cableLengthFrom),
                                 c.name(Field::LengthTo), QString::number(s.cableLengthTo)));

    if (s.sections.size() > MaxSections)
        return c.refuse(localized("%1: %2 sections, at most %3", "%1: участков %2, допускается не более %3")
                            .arg(c.name(Field::Sections), QString::number(s.sections.size()),
                                 QString::number(MaxSections)));
    for (const CableSection &section : s.sections) {
        if (section.cable.isEmpty())
            return c.refuse(localized("%1: a section without a cable", "%1: у участка не задан кабель")
                                .arg(c.name(Field::Sections)));
        if (!c.inRange(Field::Sections, section.length, SectionLength))
            return false;
    }
    const qint64 total = sectionsTotal(s.sections);
    if (total > Length.max)
        return c.refuse(localized("%1: the sections add up to %2 m, above %3 m",
                                  "%1: сумма длин участков %2 м больше %3 м")
                            .arg(c.name(Field::Sections), QString::number(total), QString::number(Length.max)));
    if (s.cableLengthFrom < total)
        return c.refuse(localized("%1 %2 is below the sections' total of %3 m",
                                  "%1 %2 меньше суммы длин участков (%3 м)")
                            .arg(c.name(Field::LengthFrom), QString::number(s.cableLengthFrom),
                                 QString::number(total)));

    if (input) {
        if (!c.list(Field::TargetRates, s.targetRates, TargetRate, MaxTargets, true))
            return false;
        // The dialog lets one parameter have several values; refuse rather than pick one.
        QStringList several;
        const std::pair<Field, qsizetype> lists[] = {
            {Field::Cables, s.cableTypes.size()},   {Field::LineTypes, s.lineTypes.size()},
            {Field::Loads, s.xDSL_points.size()},    {Field::Elfext, s.Norm_ELFEXT_points.size()},
            {Field::Next, s.Norm_NEXT_points.size()}, {Field::Margins, s.SNRMargin_points.size()},
        };
        for (const auto &[field, count] : lists)
            if (count > 1)
                several << c.name(field);
        if (several.size() > 1)
            return c.refuse(localized("only one parameter may have several values, not %1",
                                      "несколько значений может иметь только один параметр, а не %1")
                                .arg(several.join(localized(" and ", " и "))));
    }
    return true;
}

bool validateLoopConditions(const CalcSettings &s, const QVector<int> &targets, const FieldNames &names,
                            QString *error)
{
    Checker c(names, error);
    if (!c.present(Field::LineTypes, s.lineTypes.size()))
        return false;
    if (s.lineTypes.size() > MaxValues)
        return c.refuse(localized("%1: %2 values, at most %3", "%1: значений %2, допускается не более %3")
                            .arg(c.name(Field::LineTypes), QString::number(s.lineTypes.size()),
                                 QString::number(MaxValues)));
    // The loops bring their own cables, checked as their lines are read.
    if (!namesStayInside(s, error))
        return false;
    // Each loop is one curve per service: a second value would make a family of them.
    const auto one = [&c](Field field, qsizetype count) {
        if (count <= 1)
            return c.present(field, count);
        return c.refuse(localized("%1: one value only, %2 given", "%1: допускается одно значение, задано %2")
                            .arg(c.name(field), QString::number(count)));
    };
    if (!c.inRange(Field::Capacity, s.cableCapacity, Capacity)
        || !one(Field::Loads, s.xDSL_points.size()) || !c.list(Field::Loads, s.xDSL_points, Load)
        || !one(Field::Elfext, s.Norm_ELFEXT_points.size()) || !c.list(Field::Elfext, s.Norm_ELFEXT_points, Norm)
        || !one(Field::Next, s.Norm_NEXT_points.size()) || !c.list(Field::Next, s.Norm_NEXT_points, Norm)
        || !c.inRange(Field::ElfextFrequency, s.norm_ELFEXT_frequency, Frequency)
        || !c.inRange(Field::NextFrequency, s.norm_NEXT_frequency, Frequency)
        || !one(Field::Margins, s.SNRMargin_points.size()) || !c.list(Field::Margins, s.SNRMargin_points, Margin))
        return false;
    if (targets.isEmpty())
        return true;
    if (targets.size() != s.lineTypes.size())
        return c.refuse(localized("%1: %2 target rate(s) for %3 line type(s); give one per line type",
                                  "%1: целевых скоростей задано %2, типов линии %3; нужна одна скорость "
                                  "на каждый тип линии")
                            .arg(c.name(Field::TargetRates), QString::number(targets.size()),
                                 QString::number(s.lineTypes.size())));
    for (int target : targets)
        if (!c.inRange(Field::TargetRates, target, TargetRate))
            return false;
    return true;
}

} // namespace CalcInput
