#pragma once

#include <QString>
#include <QValidator>

// The shortest 'g' text that QString::toFloat reads back as the same float (the value is narrowed
// to float first, as the editor stores it); "inf", "-inf", "nan" and "-0" for the special values.
QString formatTemplateValue(double value);
// A cell text as the editor stores it: QString::toFloat (C locale, surrounding blanks allowed).
// *ok is false for text that is not a number or lies outside the float range.
float parseTemplateValue(const QString &text, bool *ok);

// Accepts what parseTemplateValue accepts, and the empty text (an empty cell is not stored);
// the beginnings of a number ("-", "1e") are intermediate so that typing can go on.
class TemplateValueValidator : public QValidator
{
    Q_OBJECT
public:
    explicit TemplateValueValidator(QObject *parent = nullptr);
    State validate(QString &input, int &pos) const override;
};
