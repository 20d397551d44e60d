#include "report/graphoptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>

namespace {

template <int Rows>
QGroupBox *groupBox(QWidget *parent, const QString &title, const QString (&labels)[Rows], QWidget *const (&edits)[Rows])
{
    auto *group = new QGroupBox(title, parent);
    auto *layout = new QGridLayout(group);
    for (int row = 0; row < Rows; ++row) {
        layout->addWidget(new QLabel(labels[row]), row, 0, Qt::AlignRight);
        edits[row]->setMinimumSize(55, 20);
        layout->addWidget(edits[row], row, 1);
    }
    return group;
}

} // namespace

GraphOptions::GraphOptions(QWidget *parent)
    : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::CustomizeWindowHint
                   | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/images/options.png")));

    // Named after their setup keys ("lengthMax" in lengthMaxBox), each spin box with its range.
    for (const GraphInput::IntField *field : GraphInput::IntFields) {
        auto *spin = new QSpinBox;
        spin->setObjectName(QString::fromLatin1(field->key) + QStringLiteral("Box"));
        spin->setRange(field->min, field->max);
        spin->setValue(GraphSettings().*field->field);
        m_numbers.append({field, spin});
    }
    for (const GraphInput::BoolField *field : GraphInput::BoolFields) {
        auto *check = new QCheckBox;
        check->setObjectName(QString::fromLatin1(field->key) + QStringLiteral("Box"));
        check->setChecked(GraphSettings().*field->field);
        m_switches.append({field, check});
    }
    box(GraphInput::MarkStep)->setSingleStep(1000);

    const QString axisLabels[3] = {tr("максимум:"), tr("шаг сетки:"), tr("шаг оцифровки:")};
    using namespace GraphInput;
    QGroupBox *lengthGroup = m_lengthGroup = groupBox(this, tr("длина L, м"), axisLabels,
                                      {box(LengthMax), box(LengthGridStep), box(LengthLabelStep)});
    QGroupBox *rateGroup = groupBox(this, tr("скорость R, кбит/с"), axisLabels,
                                    {box(RateMax), box(RateGridStep), box(RateLabelStep)});
    QGroupBox *markGroup = groupBox(this, tr("маркировка"),
                                    {tr("шаг маркировки:"), tr("размер шрифта:"), tr("отображать:")},
                                    {box(MarkStep), box(MarkFontSize), box(MarkVisible)});
    QGroupBox *extraGroup = groupBox(this, tr("доп. параметры"),
                                     {tr("толщина линии:"), tr("шрифт легенды:"), tr("расцветка:"),
                                      tr("целевые скорости:")},
                                     {box(LineWidth), box(LegendFontSize), box(ColorCurves), box(TargetLines)});

    auto *okButton = new QPushButton(tr("OK"));
    okButton->setObjectName(QStringLiteral("okButton"));
    auto *cancelButton = new QPushButton(tr("Отмена"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(okButton, 0, Qt::AlignRight);
    buttons->addWidget(cancelButton, 0, Qt::AlignLeft);

    auto *layout = new QGridLayout(this);
    layout->addWidget(lengthGroup, 0, 0);
    layout->addWidget(rateGroup, 0, 1);
    layout->addWidget(markGroup, 1, 0);
    layout->addWidget(extraGroup, 1, 1);
    layout->addLayout(buttons, 2, 0, 1, 2);

    setWindowTitle(tr("Настройки графика"));
    setFixedHeight(sizeHint().height());
    setFixedSize(sizeHint());

    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QSpinBox *GraphOptions::box(const GraphInput::IntField &field) const
{
    for (const auto &[input, spin] : m_numbers)
        if (input->field == field.field)
            return spin;
    return nullptr;
}

QCheckBox *GraphOptions::box(const GraphInput::BoolField &field) const
{
    for (const auto &[input, check] : m_switches)
        if (input->field == field.field)
            return check;
    return nullptr;
}

void GraphOptions::collectSettings(GraphSettings &settings) const
{
    for (const auto &[input, spin] : m_numbers)
        settings.*input->field = spin->value();
    for (const auto &[input, check] : m_switches)
        settings.*input->field = check->isChecked();
}

void GraphOptions::showAxisSettings(const GraphSettings &settings)
{
    for (const auto &[input, spin] : m_numbers)
        if (GraphInput::isAxis(*input))
            spin->setValue(settings.*input->field);
}

void GraphOptions::showSettings(const GraphSettings &settings)
{
    for (const auto &[input, spin] : m_numbers)
        spin->setValue(settings.*input->field);
    for (const auto &[input, check] : m_switches)
        check->setChecked(settings.*input->field);
}

void GraphOptions::setLengthAxisInUse(bool inUse)
{
    m_lengthGroup->setEnabled(inUse);
    m_lengthGroup->setToolTip(inUse ? QString()
                                    : tr("График по затуханию: ось A масштабируется по расчёту"));
}

void GraphOptions::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        collectSettings(m_opened);
    QDialog::showEvent(event);
}

void GraphOptions::reject()
{
    showSettings(m_opened);
    QDialog::reject();
}
