#include "templates/templatevalue.h"

#include "engine/decimaltext.h"

#include <cmath>
#include <cstring>

namespace {

quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

} // namespace

QString formatTemplateValue(double value)
{
    const float f = float(value);
    if (std::isnan(f))
        return QStringLiteral("nan");
    if (std::isinf(f))
        return f > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    if (f == 0.0f)
        return std::signbit(f) ? QStringLiteral("-0") : QStringLiteral("0");
    // Nine significant digits always identify a float. Of the texts that do, the shortest:
    // 1500 as "1500" rather than "1.5e+03", 1e7 as "1e+07" rather than "10000000".
    QString best = QString::number(double(f), 'g', 9);
    bool ok = false;
    const float back = best.toFloat(&ok);
    if (!ok || bits(back) != bits(f)) {
        // Next to the largest float the nearest 9-digit text lies beyond it, and toFloat
        // refuses it as out of range: take the text of a point a quarter step nearer zero.
        const double towardZero = double(std::nextafter(f, 0.0f));
        best = QString::number(double(f) - (double(f) - towardZero) / 4, 'g', 9);
    }
    for (int precision = 1; precision < 9; ++precision) {
        const QString text = QString::number(double(f), 'g', precision);
        if (text.size() >= best.size())
            continue;
        bool read = false;
        const float again = text.toFloat(&read);
        if (read && bits(again) == bits(f))
            best = text;
    }
    return best;
}

float parseTemplateValue(const QString &text, bool *ok)
{
    const std::optional<float> value = parseDecimalFloat(text);
    if (ok)
        *ok = value.has_value();
    return value.value_or(0.0f);
}

QVector<QStringList> splitCellBlock(const QString &text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Spreadsheets end every row with a line break, the last one too.
    if (lines.endsWith(QLatin1Char('\n')))
        lines.chop(1);
    QVector<QStringList> rows;
    if (lines.isEmpty())
        return rows;
    for (const QString &line : lines.split(QLatin1Char('\n')))
        rows.append(line.split(QLatin1Char('\t')));
    return rows;
}

QString joinCellBlock(const QVector<QStringList> &rows)
{
    QString text;
    for (const QStringList &row : rows)
        text += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return text;
}
