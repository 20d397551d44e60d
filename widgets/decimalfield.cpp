#include "widgets/decimalfield.h"

#include "engine/decimaltext.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPalette>

DecimalValidator::DecimalValidator(Empty empty, Width width, QObject *parent)
    : QValidator(parent)
    , m_empty(empty)
    , m_width(width)
{
}

bool DecimalValidator::isNumber(const QString &text, Width width)
{
    return width == Float ? parseDecimalFloat(text).has_value() : parseDecimal(text).has_value();
}

QValidator::State DecimalValidator::validate(QString &input, int &) const
{
    if (input.trimmed().isEmpty())
        return m_empty == EmptyAccepted ? Acceptable : Intermediate;
    return isNumber(input, m_width) ? Acceptable : Intermediate;
}

QColor refusedBackground()
{
    return QColor(255, 215, 215);
}

QColor refusedText()
{
    return QColor(170, 0, 0);
}

QString refusedDecimalTip(const QString &text)
{
    return QCoreApplication::translate("DecimalField",
                                       "«%1» — не число. Дробную часть отделяйте точкой или запятой: 11.8 или 11,8")
        .arg(text);
}

void makeDecimalField(QLineEdit *field, DecimalValidator::Empty empty, DecimalValidator::Width width)
{
    field->setValidator(new DecimalValidator(empty, width, field));
    showRefusedDecimal(field);
}

void showRefusedDecimal(QLineEdit *field)
{
    const QPalette normal = field->palette();
    const auto show = [field, normal](const QString &text) {
        const bool refused = classifyDecimal(text) == DecimalInput::Refused;
        QPalette palette = normal;
        if (refused) {
            palette.setColor(QPalette::Base, refusedBackground());
            palette.setColor(QPalette::Text, refusedText());
        }
        field->setPalette(palette);
        field->setToolTip(refused ? refusedDecimalTip(text) : QString());
    };
    QObject::connect(field, &QLineEdit::textChanged, field, show);
    show(field->text());
}
