#pragma once

#include "drawing/graphsettings.h"

#include <QDialog>

class QCheckBox;
class QSpinBox;

// "Настройки графика": the user's axes, marks, line width, legend font and colour choice.
// Created once and kept, so the entries survive between openings, also after Отмена.
class GraphOptions : public QDialog
{
    Q_OBJECT
public:
    explicit GraphOptions(QWidget *parent = nullptr);

    // All thirteen entries into the record.
    void collectSettings(GraphSettings &settings) const;
    // The six axis values the graph settled on; each box clamps to its range.
    void showAxisSettings(const GraphSettings &settings);
    // Every entry from the record, as a setup file gives it.
    void showSettings(const GraphSettings &settings);

private:
    QSpinBox *lengthMaxBox = nullptr;
    QSpinBox *lengthGridStepBox = nullptr;
    QSpinBox *lengthLabelStepBox = nullptr;
    QSpinBox *rateMaxBox = nullptr;
    QSpinBox *rateGridStepBox = nullptr;
    QSpinBox *rateLabelStepBox = nullptr;
    QCheckBox *markVisibleBox = nullptr;
    QSpinBox *markStepBox = nullptr;
    QSpinBox *markFontSizeBox = nullptr;
    QCheckBox *colorCurvesBox = nullptr;
    QSpinBox *lineWidthBox = nullptr;
    QSpinBox *legendFontSizeBox = nullptr;
    QCheckBox *targetLinesBox = nullptr;
};
