#pragma once

#include <QColor>
#include <QValidator>

class QLineEdit;

// The validator of a field that takes decimals (parseDecimal: a point or a comma). It refuses no
// keystroke, since a dropped one changes the number unseen (11,8 became 118): whatever is not a
// number stays Intermediate, so QLineEdit::hasAcceptableInput() tells, and the field shows it
// as refused (showRefusedDecimal) until it is one.
class DecimalValidator : public QValidator
{
    Q_OBJECT
public:
    enum Empty { EmptyRefused, EmptyAccepted };
    // Float: a value that is stored as a float, as template cells are (1e39 is then no number).
    enum Width { Double, Float };
    DecimalValidator(Empty empty, Width width, QObject *parent = nullptr);
    State validate(QString &input, int &pos) const override;
    // Whether the text is a number of this width (blanks around allowed).
    static bool isNumber(const QString &text, Width width);

private:
    Empty m_empty;
    Width m_width;
};

// Gives `field` a DecimalValidator and the look of showRefusedDecimal.
void makeDecimalField(QLineEdit *field, DecimalValidator::Empty empty, DecimalValidator::Width width);
// While the field's text cannot become a number whatever is typed next ("1a", "1,2,3"), the
// refused colours and a tool tip saying why. Alone, without the validator, for an editor whose
// every text must be committed (a table cell: item delegates keep text they cannot fix up out).
void showRefusedDecimal(QLineEdit *field);

// Colours of a value that is not a number, in a field or a table cell.
QColor refusedBackground();
QColor refusedText();
// The tool tip of such a value.
QString refusedDecimalTip(const QString &text);
