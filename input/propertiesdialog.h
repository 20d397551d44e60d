#pragma once

#include "engine/calcsettings.h"

#include <QDialog>
#include <QString>
#include <QVector>

#include <array>

class QComboBox;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

// The calculation dialog: one property tree holding every choice of a run. Its slots keep
// the tree consistent while the user edits it, so that at most one family of values
// (cable types, line types, load, NEXT, ELFEXT, SNR margin) has more than one entry.
class PropertiesDialog : public QDialog
{
    Q_OBJECT

public:
    // The template directories are "Cable", "xDSL" and "AddNoise" under `workdir`
    // ("" = the current directory); they are listed once, here.
    explicit PropertiesDialog(QWidget *parent = nullptr, const QString &workdir = QString());
    ~PropertiesDialog() override;

    // Appends the active choices to the lists of a fresh record and assigns every other
    // field but maxRate.
    void fillSettings(CalcSettings &settings) const;

    // Shows the ELFEXT row when an active line type is DMT, the NEXT row when one is PAM.
    void updateNormRowsVisibility();

    // The tree row that holds `editor` in its value column (nullptr when none does).
    QTreeWidgetItem *rowOf(const QWidget *editor) const;

public slots:
    void change_lineTypeCount(int index);
    void change_xDSL_points_count(int index);
    void change_Norm_NEXT_points_count(int index);
    void change_Norm_ELFEXT_points_count(int index);
    void change_SNRMargin_points_count(int index);
    void reset_xDSL_Ranges();
    void reset_Norm_NEXT_Range();
    void reset_Norm_ELFEXT_Range();
    void reset_SNRMargin_Range();
    void change_norm_ELFEXT_frequency();
    void change_norm_NEXT_frequency();
    void change_cableLengthFrom();
    void change_cableLengthTo();
    void change_cableLengthStep();
    void change_cableTypeCount(int index);
    void change_cableType(int index);
    void change_lineType(int index);

private:
    enum class Family { CableTypes, LineTypes, Load, Next, Elfext, Margin };
    static constexpr int ValueSlots = 10;
    using ValueBoxes = std::array<QSpinBox *, ValueSlots>;
    using ValueItems = std::array<QTreeWidgetItem *, ValueSlots>;

    QTreeWidgetItem *addRow(QTreeWidgetItem *parent, const QString &caption);
    QComboBox *addCountBox(QTreeWidgetItem *row, const QString &name, int count);
    QSpinBox *addSpinBox(QTreeWidgetItem *row, const QString &name, int minimum, int maximum,
                         int value);
    void addValueSlots(QTreeWidgetItem *countRow, const QString &caption, const QString &name,
                       int minimum, int maximum, ValueBoxes &boxes, ValueItems &items);
    void addTemplateSlots(const QString &directory, bool cutAttExtension, QComboBox *countBox,
                          QTreeWidgetItem *countRow, const QString &name,
                          QVector<QComboBox *> &boxes, QVector<QTreeWidgetItem *> &items);

    QComboBox *countBox(Family family) const;
    const ValueBoxes &valueBoxes(Family family) const;
    const ValueItems &valueItems(Family family) const;
    QTreeWidgetItem *summaryItem(Family family) const;
    int fullMinimum(Family family) const;
    int fullMaximum(Family family) const;
    int spreadOffset(Family family) const;
    QString valueSummary(Family family, int lastSlot) const;
    QString templateSummary(const QVector<QComboBox *> &boxes, int lastSlot) const;
    QString lengthSummary() const;

    void applyRangeRule(Family family);
    void changeValueCount(Family family, int index);
    void showValueSlots(Family family, int lastSlot);
    void showTemplateSlots(const QVector<QComboBox *> &boxes,
                           const QVector<QTreeWidgetItem *> &items, int lastSlot);
    void fallBack(Family family);
    void selectFirstLineTypeWith(const QString &extension);

    QPushButton *calculateButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QComboBox *cableTypeCountBox = nullptr;
    QComboBox *lineTypeCountBox = nullptr;
    QVector<QComboBox *> cableTypeBoxes;
    QVector<QTreeWidgetItem *> cableTypeItems;
    QVector<QComboBox *> lineTypeBoxes;
    QVector<QTreeWidgetItem *> lineTypeItems;
    QTreeWidgetItem *cableTypeItem = nullptr;
    QSpinBox *cableLengthFromBox = nullptr;
    QSpinBox *cableLengthToBox = nullptr;
    QSpinBox *cableLengthStepBox = nullptr;
    QSpinBox *norm_ELFEXT_frequencyBox = nullptr;
    QSpinBox *norm_NEXT_frequencyBox = nullptr;
    QComboBox *noiseTemplateBox = nullptr;
    QSpinBox *cableCapacityBox = nullptr;
    QTreeWidgetItem *xDSL_pointsItem = nullptr;
    QTreeWidgetItem *SNRMarginItem = nullptr;
    QComboBox *xDSL_pointsCountBox = nullptr;
    QComboBox *Norm_NEXT_pointsCountBox = nullptr;
    QComboBox *Norm_ELFEXT_pointsCountBox = nullptr;
    QComboBox *SNRMargin_pointsCountBox = nullptr;
    QTreeWidgetItem *norm_ELFEXT_Item = nullptr;
    QTreeWidgetItem *norm_NEXT_Item = nullptr;
    QTreeWidgetItem *cableLengthItem = nullptr;
    QTreeWidgetItem *lineTypeItem = nullptr;
    ValueBoxes xDSL_pointsBoxes {};
    ValueItems xDSL_pointsItems {};
    ValueBoxes Norm_NEXT_pointsBoxes {};
    ValueItems Norm_NEXT_pointsItems {};
    ValueBoxes Norm_ELFEXT_pointsBoxes {};
    ValueItems Norm_ELFEXT_pointsItems {};
    ValueBoxes SNRMargin_pointsBoxes {};
    ValueItems SNRMargin_pointsItems {};
    QTreeWidget *propertyTree = nullptr;

    // Index of the load count box the last spread accepted; a refused count returns here.
    int lastAcceptedLoadCountIndex = 0;
    // Set while a count slot assigns its targets, so the range rule cannot pull one back.
    bool rangeRuleSuspended = false;
};
