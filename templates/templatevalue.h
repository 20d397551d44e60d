#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The shortest 'g' text that QString::toFloat reads back as the same float (the value is narrowed
// to float first, as the editor stores it); "inf", "-inf", "nan" and "-0" for the special values.
QString formatTemplateValue(double value);
// A cell text as the editor stores it: parseDecimalFloat (a point or a comma, blanks around).
// *ok is false for text that is not a number or lies outside the float range.
float parseTemplateValue(const QString &text, bool *ok);

// A block of cells as spreadsheets put it on the clipboard: rows ended by line breaks ("\r\n"
// too), cells separated by tabs. An empty text is no rows; a row may be shorter than others.
QVector<QStringList> splitCellBlock(const QString &text);
// The same text of a block: every row ended by "\n", so a copied block pastes back unchanged.
QString joinCellBlock(const QVector<QStringList> &rows);
