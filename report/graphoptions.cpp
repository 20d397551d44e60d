#include "report/graphoptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace {

QSpinBox *spinBox(const char *name, const GraphInput::IntField &input)
{
    auto *box = new QSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setRange(input.min, input.max);
    box->setValue(GraphSettings().*input.field);
    return box;
}

QCheckBox *checkBox(const char *name)
{
    auto *box = new QCheckBox;
    box->setObjectName(QLatin1String(name));
    box->setCheckState(Qt::Checked);
    return box;
}

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

    lengthMaxBox = spinBox("lengthMaxBox", GraphInput::LengthMax);
    lengthGridStepBox = spinBox("lengthGridStepBox", GraphInput::LengthGridStep);
    lengthLabelStepBox = spinBox("lengthLabelStepBox", GraphInput::LengthLabelStep);
    rateMaxBox = spinBox("rateMaxBox", GraphInput::RateMax);
    rateGridStepBox = spinBox("rateGridStepBox", GraphInput::RateGridStep);
    rateLabelStepBox = spinBox("rateLabelStepBox", GraphInput::RateLabelStep);
    markVisibleBox = checkBox("markVisibleBox");
    markStepBox = spinBox("markStepBox", GraphInput::MarkStep);
    markStepBox->setSingleStep(1000);
    markFontSizeBox = spinBox("markFontSizeBox", GraphInput::MarkFontSize);
    colorCurvesBox = checkBox("colorCurvesBox");
    lineWidthBox = spinBox("lineWidthBox", GraphInput::LineWidth);
    legendFontSizeBox = spinBox("legendFontSizeBox", GraphInput::LegendFontSize);
    targetLinesBox = checkBox("targetLinesBox");

    const QString axisLabels[3] = {tr("максимум:"), tr("шаг сетки:"), tr("шаг оцифровки:")};
    QGroupBox *lengthGroup = groupBox(this, tr("длина L, м"), axisLabels,
                                      {lengthMaxBox, lengthGridStepBox, lengthLabelStepBox});
    QGroupBox *rateGroup = groupBox(this, tr("скорость R, кбит/с"), axisLabels,
                                    {rateMaxBox, rateGridStepBox, rateLabelStepBox});
    QGroupBox *markGroup = groupBox(this, tr("маркировка"),
                                    {tr("шаг маркировки:"), tr("размер шрифта:"), tr("отображать:")},
                                    {markStepBox, markFontSizeBox, markVisibleBox});
    QGroupBox *extraGroup = groupBox(this, tr("доп. параметры"),
                                     {tr("толщина линии:"), tr("шрифт легенды:"), tr("расцветка:"),
                                      tr("целевые скорости:")},
                                     {lineWidthBox, legendFontSizeBox, colorCurvesBox, targetLinesBox});

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

void GraphOptions::collectSettings(GraphSettings &settings) const
{
    settings.lengthMax = lengthMaxBox->value();
    settings.lengthGridStep = lengthGridStepBox->value();
    settings.lengthLabelStep = lengthLabelStepBox->value();
    settings.rateMax = rateMaxBox->value();
    settings.rateGridStep = rateGridStepBox->value();
    settings.rateLabelStep = rateLabelStepBox->value();
    settings.markVisible = markVisibleBox->checkState() == Qt::Checked;
    settings.markStep = markStepBox->value();
    settings.markFontSize = markFontSizeBox->value();
    settings.colorCurves = colorCurvesBox->checkState() == Qt::Checked;
    settings.lineWidth = lineWidthBox->value();
    settings.legendFontSize = legendFontSizeBox->value();
    settings.targetLines = targetLinesBox->checkState() == Qt::Checked;
}

void GraphOptions::showAxisSettings(const GraphSettings &settings)
{
    lengthMaxBox->setValue(settings.lengthMax);
    lengthGridStepBox->setValue(settings.lengthGridStep);
    lengthLabelStepBox->setValue(settings.lengthLabelStep);
    rateMaxBox->setValue(settings.rateMax);
    rateGridStepBox->setValue(settings.rateGridStep);
    rateLabelStepBox->setValue(settings.rateLabelStep);
}

void GraphOptions::showSettings(const GraphSettings &settings)
{
    showAxisSettings(settings);
    markVisibleBox->setCheckState(settings.markVisible ? Qt::Checked : Qt::Unchecked);
    markStepBox->setValue(settings.markStep);
    markFontSizeBox->setValue(settings.markFontSize);
    colorCurvesBox->setCheckState(settings.colorCurves ? Qt::Checked : Qt::Unchecked);
    lineWidthBox->setValue(settings.lineWidth);
    legendFontSizeBox->setValue(settings.legendFontSize);
}
