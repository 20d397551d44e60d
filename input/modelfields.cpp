#include "input/modelfields.h"

#include "engine/translate.h"
#include "widgets/decimalfield.h"

#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>

namespace ModelFields {

namespace {

KOLVANE_TR_CONTEXT("ModelFields")

// Below the depth's range: no vectoring.
constexpr int NoVectoring = CalcInput::VectoringDepth.min - 1;

} // namespace

QLineEdit *codingGainField(const QString &objectName)
{
    auto *field = new QLineEdit;
    field->setObjectName(objectName);
    field->setFrame(false);
    makeDecimalField(field, DecimalValidator::EmptyRefused, DecimalValidator::Double);
    setCodingGain(field, 0);
    return field;
}

void setCodingGain(QLineEdit *field, float gain)
{
    const CalcInput::Input &in = CalcInput::input(CalcInput::Field::CodingGain);
    field->setText(CalcInput::numberText(in, double(gain)));
}

std::optional<float> codingGain(const QLineEdit *field, const CalcInput::FieldNames &names, QString *problem)
{
    const CalcInput::Input &in = CalcInput::input(CalcInput::Field::CodingGain);
    double value = 0;
    if (const std::optional<CalcInput::Problem> p = CalcInput::parseField(in, field->text(), &value)) {
        *problem = CalcInput::describe(*p, names);
        return std::nullopt;
    }
    return float(value);
}

QSpinBox *vectoringBox(const QString &objectName)
{
    auto *box = new QSpinBox;
    box->setObjectName(objectName);
    box->setFrame(false);
    box->setRange(NoVectoring, CalcInput::VectoringDepth.max);
    box->setSpecialValueText(tr("нет"));
    box->setValue(NoVectoring);
    return box;
}

void setVectoring(QSpinBox *box, std::optional<int> depth)
{
    box->setValue(depth.value_or(NoVectoring));
}

std::optional<int> vectoring(const QSpinBox *box)
{
    return box->value() == NoVectoring ? std::nullopt : std::optional<int>(box->value());
}

QSpinBox *aliensBox(const QString &objectName)
{
    auto *box = new QSpinBox;
    box->setObjectName(objectName);
    box->setFrame(false);
    box->setRange(CalcInput::AlienDisturbers.min, CalcInput::AlienDisturbers.min);
    box->setEnabled(false);
    return box;
}

void limitAliens(QSpinBox *aliens, const QSpinBox *vectoringBox, int smallestLoad)
{
    const int most = std::clamp(smallestLoad - 1, CalcInput::AlienDisturbers.min, CalcInput::AlienDisturbers.max);
    aliens->setRange(CalcInput::AlienDisturbers.min, most);
    aliens->setEnabled(vectoring(vectoringBox).has_value());
}

int aliens(const QSpinBox *aliens, const QSpinBox *vectoringBox)
{
    return vectoring(vectoringBox) ? aliens->value() : 0;
}

} // namespace ModelFields
