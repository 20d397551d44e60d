#include "engine/decimaltext.h"

#include <QRegularExpression>

namespace {

// The text with its one decimal comma made a point; nullopt when it holds both or more than one.
std::optional<QString> withDecimalPoint(const QString &text)
{
    const qsizetype commas = text.count(QLatin1Char(','));
    if (commas == 0)
        return text;
    if (commas > 1 || text.contains(QLatin1Char('.')))
        return std::nullopt;
    QString point = text;
    point.replace(QLatin1Char(','), QLatin1Char('.'));
    return point;
}

// The text read by `convert` (QString::toDouble or toFloat) once its decimal comma is a point.
template <typename T>
std::optional<T> read(const QString &text, T (QString::*convert)(bool *) const)
{
    const std::optional<QString> point = withDecimalPoint(text);
    bool ok = false;
    const T value = point ? ((*point).*convert)(&ok) : T();
    return ok ? std::optional<T>(value) : std::nullopt;
}

} // namespace

std::optional<double> parseDecimal(const QString &text)
{
    return read(text, &QString::toDouble);
}

std::optional<float> parseDecimalFloat(const QString &text)
{
    return read(text, &QString::toFloat);
}

DecimalInput classifyDecimal(const QString &text)
{
    if (parseDecimal(text))
        return DecimalInput::Number;
    // Beginnings of a number or of inf/nan.
    static const QRegularExpression beginning(QStringLiteral(
        "^\\s*[+-]?([0-9]*[.,]?[0-9]*([eE][+-]?[0-9]*)?|[iI]([nN][fF]?)?|[nN]([aA][nN]?)?)\\s*$"));
    return beginning.match(text).hasMatch() ? DecimalInput::Unfinished : DecimalInput::Refused;
}
