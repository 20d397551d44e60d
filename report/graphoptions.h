#pragma once

#include "drawing/graphsettings.h"

#include <QDialog>
#include <QVector>

#include <utility>

class QCheckBox;
class QGroupBox;
class QSpinBox;

// "Настройки графика": the user's axes, marks, line width, legend font, colour choice and target
// lines. Created once and kept; Отмена (or Esc, or closing) puts back the entries it was opened
// with, so nothing cancelled reaches a later OK. Its entries are the setup files' graph fields
// (GraphInput), read and written through the same lists.
class GraphOptions : public QDialog
{
    Q_OBJECT
public:
    explicit GraphOptions(QWidget *parent = nullptr);

    // Every entry into the record.
    void collectSettings(GraphSettings &settings) const;
    // The six axis values the graph settled on; each box clamps to its range.
    void showAxisSettings(const GraphSettings &settings);
    // Every entry from the record, as a setup file gives it.
    void showSettings(const GraphSettings &settings);
    // A graph over losses is scaled to its run along the loss axis: the length entries are shown
    // but cannot be edited then, so nothing suggests they would move it.
    void setLengthAxisInUse(bool inUse);

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QSpinBox *box(const GraphInput::IntField &field) const;
    QCheckBox *box(const GraphInput::BoolField &field) const;

    QVector<std::pair<const GraphInput::IntField *, QSpinBox *>> m_numbers;
    QVector<std::pair<const GraphInput::BoolField *, QCheckBox *>> m_switches;
    QGroupBox *m_lengthGroup = nullptr;
    GraphSettings m_opened; // the entries as the dialog was opened with them
};
