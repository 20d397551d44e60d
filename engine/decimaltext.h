#pragma once

#include <QString>

#include <optional>

// Numbers as people type and paste them: a point or a comma before the fraction, whatever the
// locale (Russian spreadsheets write 11,8; files and the command line write 11.8). Otherwise the
// C syntax QString::toDouble reads: blanks around, a sign, an exponent, "inf" and "nan"; no group
// separators, so "1,234" is 1.234 and "1 234" is not a number.

// The number, or nullopt for anything else (empty text, two separators, letters, beyond double).
std::optional<double> parseDecimal(const QString &text);
// The same narrowed to float as QString::toFloat does it; nullopt also beyond the float range.
std::optional<float> parseDecimalFloat(const QString &text);

// What a field's text is while it is being typed.
enum class DecimalInput {
    Number,     // parseDecimal reads it
    Unfinished, // not yet, but typing on can make it one: "", "-", "11,", "1e"
    Refused,    // no typing at the end makes it a number: "1a", "1,2,3", "1.5,3"
};
DecimalInput classifyDecimal(const QString &text);
