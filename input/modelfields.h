#pragma once

#include "engine/calcinput.h"

#include <QString>

#include <optional>

class QLineEdit;
class QSpinBox;

// The fields of the model options both calculation dialogs show: the coding gain (a decimal
// field, a point or a comma), the vectoring depth (a spin box whose lowest value reads "нет")
// and the aliens beside it, which never leave a load without its vectored victim.
namespace ModelFields {

QLineEdit *codingGainField(const QString &objectName);
void setCodingGain(QLineEdit *field, float gain);
// The field's gain, or the problem with its text in words, the field named `name`.
std::optional<float> codingGain(const QLineEdit *field, const CalcInput::FieldNames &names, QString *problem);

QSpinBox *vectoringBox(const QString &objectName);
void setVectoring(QSpinBox *box, std::optional<int> depth);
std::optional<int> vectoring(const QSpinBox *box);

QSpinBox *aliensBox(const QString &objectName);
// The aliens count only with vectoring, and stays below the smallest load.
void limitAliens(QSpinBox *aliens, const QSpinBox *vectoring, int smallestLoad);
int aliens(const QSpinBox *aliens, const QSpinBox *vectoring);

} // namespace ModelFields
