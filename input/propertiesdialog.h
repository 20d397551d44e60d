#pragma once

#include "engine/calcinput.h"
#include "engine/calcsettings.h"

#include <QDialog>
#include <QString>
#include <QVector>

#include <array>
#include <memory>
#include <optional>

class QComboBox;
class QLineEdit;
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

    // Puts a complete record (a setup, checked beforehand) into the tree as if the user had chosen
    // it: counts, slots, values, cable sections, lengths, noise and every summary. A template name
    // the dialog does not offer yet (created since it was built) is added to its slots. False, with
    // the dialog unchanged, when the record needs more template slots or sections than it has.
    bool setSettings(const CalcSettings &settings, QString *error = nullptr);

    // Shows the ELFEXT row when an active line type is DMT, the NEXT row when one is PAM.
    void updateNormRowsVisibility();

    // The tree row that holds `editor` in its value column (nullptr when none does).
    QTreeWidgetItem *rowOf(const QWidget *editor) const;

    // Opens at a size that shows every row, as far as the screen allows.
    void setVisible(bool visible) override;

public slots:
    // Refuses, with a message naming the field, a loss that is not a number of the sweep or a
    // coding gain that is none of its range.
    void accept() override;
    void change_axis();
    void change_loss();
    void change_lineTypeCount(int index);
    void change_xDSL_points_count(int index);
    void change_Norm_NEXT_points_count(int index);
    void change_Norm_ELFEXT_points_count(int index);
    void change_SNRMargin_points_count(int index);
    void change_targetRates_count(int index);
    void reset_xDSL_Ranges();
    void reset_Norm_NEXT_Range();
    void reset_Norm_ELFEXT_Range();
    void reset_SNRMargin_Range();
    void reset_targetRates_Range();
    void change_norm_ELFEXT_frequency();
    void change_norm_NEXT_frequency();
    void change_cableLengthFrom();
    void change_cableLengthTo();
    void change_cableLengthStep();
    void change_cableTypeCount(int index);
    void change_cableType(int index);
    void change_lineType(int index);
    void change_sectionCount(int index);
    void change_sectionCable();
    void change_sectionLength();

protected:
    // Accepting keeps the dialog's state as the one Отмена returns to; rejecting (Отмена, Esc,
    // the close button) returns to it, so no later run, setup or qualification sees cancelled values.
    void done(int result) override;

private:
    struct EditorState;
    std::unique_ptr<EditorState> captureState() const;
    void restoreState(const EditorState &state);
    QSize rowsSize() const;

    // Every list the user may give several values: two of template names, five of numbers.
    // Target rates are no family of curves: they ask questions of the curves the others give.
    enum class Family { CableTypes, LineTypes, Load, Next, Elfext, Margin, Targets };
    static constexpr int ValueSlots = CalcInput::MaxValues;

    // A list of template names: a count box and one combo box per slot.
    struct TemplateFamily {
        Family family;
        QComboBox *countBox = nullptr;
        QTreeWidgetItem *summaryItem = nullptr;
        QVector<QComboBox *> boxes;
        QVector<QTreeWidgetItem *> items;
    };

    // A list of whole numbers: a count box, ten spin boxes, and the rules for their values.
    struct ValueFamily {
        Family family;
        QComboBox *countBox = nullptr;
        QTreeWidgetItem *summaryItem = nullptr;
        std::array<QSpinBox *, ValueSlots> boxes {};
        std::array<QTreeWidgetItem *, ValueSlots> items {};
        IntRange range;                   // the load's maximum is the capacity M instead
        int spreadOffset = 0;             // a new count spreads values over (maximum - offset]
        QSpinBox *frequencyBox = nullptr; // norms: the frequency their summary names
        void (PropertiesDialog::*resetSlot)() = nullptr; // re-applies the ranges after a change
        int minCount = 1;                 // the count box offers minCount..ValueSlots
        bool curveFamily = true;          // its count makes the others fall back to one value
    };

    QTreeWidgetItem *addRow(QTreeWidgetItem *parent, const QString &caption);
    QComboBox *addCountBox(QTreeWidgetItem *row, const QString &name, int count, int first = 1);
    QSpinBox *addSpinBox(QTreeWidgetItem *row, const QString &name, IntRange range, int value);
    ValueFamily &addValueFamily(Family family, QTreeWidgetItem *top, const QString &objectPrefix,
                                const QString &slotCaption, IntRange range, int spreadOffset,
                                QSpinBox *frequencyBox = nullptr);
    // Index of the last active slot; -1 when the family has none.
    static int lastSlot(const ValueFamily &family);
    // Target rates kept where they still increase, new ones doubling the one before.
    void proposeTargets(ValueFamily &family, int lastSlot);
    void addTemplateSlots(TemplateFamily &family, const QStringList &names, QTreeWidgetItem *countRow,
                          const QString &objectPrefix);

    ValueFamily &values(Family family);
    const ValueFamily &values(Family family) const;
    QComboBox *countBox(Family family) const;
    QTreeWidgetItem *summaryItem(Family family) const;
    int fullMaximum(const ValueFamily &family) const;
    QString valueSummary(const ValueFamily &family, int lastSlot) const;
    static QString templateSummary(const TemplateFamily &family, int lastSlot);
    // The summary of the sweep on its axis: lengths, or losses at their frequency.
    QString lengthSummary() const;
    bool sweepsLoss() const;
    // Rows of the axis shown, the others hidden, and the range row captioned for it.
    void showAxis();
    // A loss field's value in tenths of a dB; nullopt with *problem (in words) when it is none.
    std::optional<int> lossTenths(int index, QString *problem = nullptr) const;

    void applyRangeRule(Family family);
    void changeValueCount(Family family, int index);
    void changeTemplateCount(TemplateFamily &family, int index);
    void showSlots(const QVector<QWidget *> &boxes, const QVector<QTreeWidgetItem *> &items,
                   int lastSlot);
    void showValueSlots(const ValueFamily &family, int lastSlot);
    void showTemplateSlots(const TemplateFamily &family, int lastSlot);
    void fallBack(Family family);
    void loadTemplates(TemplateFamily &family, const QStringList &names);
    void loadValues(ValueFamily &family, const QVector<int> &values);
    void fallBackAllBut(Family family);
    void selectFirstLineTypeWith(const QString &extension);

    // The fixed cable sections in front of the swept cable. They are not a family of curves:
    // every curve runs over the same sections, and no count change touches them.
    struct SectionEditor {
        QComboBox *countBox = nullptr; // index = number of sections
        QTreeWidgetItem *summaryItem = nullptr;
        QVector<QComboBox *> cableBoxes;
        QVector<QSpinBox *> lengthBoxes;
        QVector<QTreeWidgetItem *> cableItems;
        QVector<QTreeWidgetItem *> lengthItems;
    };
    void addSectionRows();
    void addSectionSlots(const QStringList &cableNames);
    void wireSectionEditor();
    QVector<CableSection> activeSections() const;
    int lengthMinimum() const;
    int lengthToMinimum() const;
    void showSections(int count);
    void limitSectionLengths();
    void loadSections(const QVector<CableSection> &sections);
    void offerCableName(const QString &name);
    // The aliens count only with vectoring and stay below the smallest load.
    void updateAliens();

    QPushButton *calculateButton = nullptr;
    QPushButton *cancelButton = nullptr;
    TemplateFamily m_cables {Family::CableTypes, nullptr, nullptr, {}, {}};
    TemplateFamily m_lineTypes {Family::LineTypes, nullptr, nullptr, {}, {}};
    SectionEditor m_sections;
    // In the order their slots are wired: a change runs the rule of its own family.
    std::array<ValueFamily, 5> m_values {{
        {Family::Load, {}, {}, {}, {}, {}, 0, nullptr, &PropertiesDialog::reset_xDSL_Ranges},
        {Family::Next, {}, {}, {}, {}, {}, 0, nullptr, &PropertiesDialog::reset_Norm_NEXT_Range},
        {Family::Elfext, {}, {}, {}, {}, {}, 0, nullptr, &PropertiesDialog::reset_Norm_ELFEXT_Range},
        {Family::Margin, {}, {}, {}, {}, {}, 0, nullptr, &PropertiesDialog::reset_SNRMargin_Range},
        {Family::Targets, {}, {}, {}, {}, {}, 0, nullptr, &PropertiesDialog::reset_targetRates_Range, 0, false},
    }};
    // The sweep by loss: its axis, the reference frequency and the losses from, to and step, in
    // rows of their own beside the lengths' (the rows of the other axis hidden).
    QComboBox *axisBox = nullptr;
    QTreeWidgetItem *lossFrequencyRow = nullptr;
    QSpinBox *lossFrequencyBox = nullptr;
    std::array<QLineEdit *, 3> lossEdits {};
    std::array<QTreeWidgetItem *, 3> lossRows {};
    std::array<QTreeWidgetItem *, 3> lengthRows {};
    QSpinBox *cableLengthFromBox = nullptr;
    QSpinBox *cableLengthToBox = nullptr;
    QSpinBox *cableLengthStepBox = nullptr;
    QSpinBox *norm_ELFEXT_frequencyBox = nullptr;
    QSpinBox *norm_NEXT_frequencyBox = nullptr;
    QComboBox *noiseTemplateBox = nullptr;
    QSpinBox *cableCapacityBox = nullptr;
    QLineEdit *codingGainEdit = nullptr;
    QSpinBox *vectoringBox = nullptr;
    QSpinBox *alienBox = nullptr;
    QTreeWidgetItem *cableLengthItem = nullptr;
    QTreeWidget *propertyTree = nullptr;

    // Index of the load count box the last spread accepted; a refused count returns here.
    int lastAcceptedLoadCountIndex = 0;
    // Set while a count slot assigns its targets, so the range rule cannot pull one back.
    bool rangeRuleSuspended = false;
    // What the dialog showed when it was last accepted (or built, or given a setup).
    std::unique_ptr<EditorState> m_accepted;
};
