#include "input/propertiesdialog.h"

#include "engine/checks.h"
#include "engine/decimaltext.h"
#include "engine/loss.h"
#include "engine/messages.h"
#include "input/modelfields.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"
#include "widgets/decimalfield.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Number of active slots behind a count box: its index + 1, none when it offers nothing.
int activeCount(const QComboBox *countBox)
{
    return countBox->currentIndex() + 1;
}

// The row of an input, captioned as the table of the calculation's inputs names it.
QString caption(CalcInput::Field field)
{
    return PropertiesDialog::tr(CalcInput::input(field).caption);
}

// The loss fields in order, and the range row's caption on each axis.
constexpr CalcInput::Field LossFields[] = {CalcInput::Field::LossFrom, CalcInput::Field::LossTo,
                                           CalcInput::Field::LossStep};
const char *const LengthRangeCaption = QT_TRANSLATE_NOOP("PropertiesDialog", "Изменение длины кабеля в диапазоне, м");
const char *const LossRangeCaption = QT_TRANSLATE_NOOP("PropertiesDialog", "Изменение затухания в диапазоне, дБ");

template <typename T>
QVector<T> slotValues(const std::array<QSpinBox *, CalcInput::MaxValues> &boxes, int lastSlot)
{
    QVector<T> values;
    for (int i = 0; i <= lastSlot; ++i)
        values << T(boxes[i]->value());
    return values;
}

} // namespace

PropertiesDialog::PropertiesDialog(QWidget *parent, const QString &workdir)
    : QDialog(parent, Qt::WindowFlags())
{
    using namespace CalcInput;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(tr("Kolvane - настройка"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 5);
    propertyTree = new QTreeWidget;
    propertyTree->setObjectName(QStringLiteral("propertyTree"));
    propertyTree->setStyleSheet(QStringLiteral(
        "QTreeView:item:selected {background: rgb(10, 36, 106); color: white;} "
        "QTreeWidget {background: white; alternate-background-color: black; } "
        "QTreeWidget:item {height: 15px; border-bottom: 1px solid gray; "
        "border-right: 1px solid gray;}"));
    propertyTree->setMinimumWidth(300);
    propertyTree->setColumnCount(2);
    propertyTree->setHeaderLabels({tr("Свойство"), tr("Значение")});

    m_cables.summaryItem = addRow(nullptr, caption(Field::Cables));
    QTreeWidgetItem *cableCountRow = addRow(m_cables.summaryItem, tr("всего возможных файлов"));
    m_cables.countBox = addCountBox(cableCountRow, QStringLiteral("cableTypeCountBox"), 0);
    addSectionRows();

    cableCapacityBox = addSpinBox(addRow(nullptr, caption(Field::Capacity)),
                                  QStringLiteral("cableCapacityBox"), Capacity, DefaultCapacity);

    addValueFamily(Family::Load, addRow(nullptr, caption(Field::Loads)),
                   QStringLiteral("xDSL_points"), tr("значение %1, линий xDSL"), Load, 0);

    QTreeWidgetItem *elfextItem = addRow(nullptr, caption(Field::Elfext));
    norm_ELFEXT_frequencyBox = addSpinBox(addRow(elfextItem, caption(Field::ElfextFrequency)),
                                          QStringLiteral("norm_ELFEXT_frequencyBox"), Frequency,
                                          DefaultFrequency);
    addValueFamily(Family::Elfext, elfextItem, QStringLiteral("Norm_ELFEXT_points"),
                   tr("значение %1, дБ"), Norm, Norm.min, norm_ELFEXT_frequencyBox);

    QTreeWidgetItem *nextItem = addRow(nullptr, caption(Field::Next));
    norm_NEXT_frequencyBox = addSpinBox(addRow(nextItem, caption(Field::NextFrequency)),
                                        QStringLiteral("norm_NEXT_frequencyBox"), Frequency,
                                        DefaultFrequency);
    addValueFamily(Family::Next, nextItem, QStringLiteral("Norm_NEXT_points"), tr("значение %1, дБ"),
                   Norm, Norm.min, norm_NEXT_frequencyBox);

    cableLengthItem = addRow(nullptr, tr(LengthRangeCaption));
    cableLengthItem->setText(1, lengthsSummary(DefaultFrom, DefaultTo, DefaultStep));
    axisBox = new QComboBox;
    axisBox->setObjectName(QStringLiteral("axisBox"));
    axisBox->setFrame(false);
    axisBox->addItems({tr("по длине, м"), tr("по затуханию, дБ на частоте F кГц")});
    propertyTree->setItemWidget(addRow(cableLengthItem, caption(Field::Axis)), 1, axisBox);
    lossFrequencyRow = addRow(cableLengthItem, caption(Field::LossFrequency));
    lossFrequencyBox = addSpinBox(lossFrequencyRow, QStringLiteral("lossFrequencyBox"), Frequency, DefaultLossFrequency);
    lengthRows[0] = addRow(cableLengthItem, caption(Field::LengthFrom));
    cableLengthFromBox = addSpinBox(lengthRows[0], QStringLiteral("cableLengthFromBox"), Length, DefaultFrom);
    lengthRows[1] = addRow(cableLengthItem, caption(Field::LengthTo));
    cableLengthToBox = addSpinBox(lengthRows[1], QStringLiteral("cableLengthToBox"), Length, DefaultTo);
    lengthRows[2] = addRow(cableLengthItem, caption(Field::LengthStep));
    cableLengthStepBox = addSpinBox(lengthRows[2], QStringLiteral("cableLengthStepBox"), Step, DefaultStep);
    const QString lossNames[] = {QStringLiteral("lossFromEdit"), QStringLiteral("lossToEdit"),
                                 QStringLiteral("lossStepEdit")};
    for (int i = 0; i < 3; ++i) {
        const Input &in = input(LossFields[i]);
        lossRows[i] = addRow(cableLengthItem, caption(in.field));
        lossEdits[i] = new QLineEdit(numberText(in, fromUnits(in, in.defaultValue)));
        lossEdits[i]->setObjectName(lossNames[i]);
        lossEdits[i]->setFrame(false);
        // As tall as the spin boxes of the rows around it.
        lossEdits[i]->setMinimumHeight(cableLengthFromBox->sizeHint().height());
        makeDecimalField(lossEdits[i], DecimalValidator::EmptyRefused, DecimalValidator::Double);
        propertyTree->setItemWidget(lossRows[i], 1, lossEdits[i]);
    }

    m_lineTypes.summaryItem = addRow(nullptr, caption(Field::LineTypes));
    QTreeWidgetItem *lineCountRow = addRow(m_lineTypes.summaryItem, tr("всего возможных файлов"));
    m_lineTypes.countBox = addCountBox(lineCountRow, QStringLiteral("lineTypeCountBox"), 0);

    ValueFamily &margins = addValueFamily(Family::Margin, addRow(nullptr, caption(Field::Margins)),
                                          QStringLiteral("SNRMargin_points"), tr("значение %1, дБ"),
                                          Margin, 0);
    // Only the untouched margin summary has a blank before the unit.
    margins.summaryItem->setText(1, untouchedMarginsSummary());

    codingGainEdit = ModelFields::codingGainField(QStringLiteral("codingGainEdit"));
    propertyTree->setItemWidget(addRow(nullptr, caption(Field::CodingGain)), 1, codingGainEdit);
    QTreeWidgetItem *vectoringRow = addRow(nullptr, caption(Field::Vectoring));
    vectoringBox = ModelFields::vectoringBox(QStringLiteral("vectoringBox"));
    propertyTree->setItemWidget(vectoringRow, 1, vectoringBox);
    alienBox = ModelFields::aliensBox(QStringLiteral("alienBox"));
    propertyTree->setItemWidget(addRow(vectoringRow, caption(Field::AlienDisturbers)), 1, alienBox);

    QTreeWidgetItem *noiseRow = addRow(nullptr, caption(Field::Noise));
    noiseTemplateBox = new QComboBox;
    noiseTemplateBox->setObjectName(QStringLiteral("noiseTemplateBox"));
    noiseTemplateBox->setFrame(false);
    propertyTree->setItemWidget(noiseRow, 1, noiseTemplateBox);

    addValueFamily(Family::Targets, addRow(nullptr, caption(Field::TargetRates)),
                   QStringLiteral("targetRates"), tr("значение %1, кбит/с"), TargetRate, 0);

    QStringList cableNames;
    for (const QString &entry : listTemplateEntries(workspacePath(workdir, templateDirectory(CableAttenuation))))
        cableNames << cableNameFromEntry(entry);
    addTemplateSlots(m_cables, cableNames, cableCountRow, QStringLiteral("cableTypeBoxes"));
    addSectionSlots(cableNames);
    addTemplateSlots(m_lineTypes, listTemplateEntries(workspacePath(workdir, templateDirectory(LineTypeDmt))),
                     lineCountRow, QStringLiteral("lineTypeBoxes"));
    m_cables.summaryItem->setText(1, templateSummary(m_cables, 0));
    m_lineTypes.summaryItem->setText(1, templateSummary(m_lineTypes, 0));

    for (const QString &entry : listTemplateEntries(workspacePath(workdir, templateDirectory(AdditiveNoise))))
        noiseTemplateBox->addItem(noiseNameFromEntry(entry));
    // The usual background noise; with fewer names nothing is current.
    noiseTemplateBox->setCurrentIndex(DefaultNoiseEntry);

    propertyTree->resizeColumnToContents(0);
    propertyTree->resizeColumnToContents(1);
    propertyTree->resize(480, 500);
    resize(propertyTree->size());
    layout->addWidget(propertyTree);

    calculateButton = new QPushButton(tr("Вычислить"));
    calculateButton->setObjectName(QStringLiteral("calculateButton"));
    calculateButton->setMaximumWidth(100);
    cancelButton = new QPushButton(tr("Отмена"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setMaximumWidth(100);
    auto *buttons = new QHBoxLayout;
    buttons->setAlignment(Qt::AlignHCenter);
    buttons->addWidget(calculateButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);

    // Wired only now: the initial values above must not run any handler.
    using Combo = QComboBox;
    using Spin = QSpinBox;
    connect(m_cables.countBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_cableTypeCount);
    for (QComboBox *box : std::as_const(m_cables.boxes))
        connect(box, qOverload<int>(&Combo::currentIndexChanged), this,
                &PropertiesDialog::change_cableType);
    connect(m_lineTypes.countBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_lineTypeCount);
    for (QComboBox *box : std::as_const(m_lineTypes.boxes))
        connect(box, qOverload<int>(&Combo::currentIndexChanged), this,
                &PropertiesDialog::change_lineType);
    connect(values(Family::Load).countBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_xDSL_points_count);
    connect(values(Family::Next).countBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_Norm_NEXT_points_count);
    connect(values(Family::Elfext).countBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_Norm_ELFEXT_points_count);
    connect(values(Family::Margin).countBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_SNRMargin_points_count);
    connect(values(Family::Targets).countBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_targetRates_count);
    connect(norm_ELFEXT_frequencyBox, &Spin::valueChanged, this,
            &PropertiesDialog::change_norm_ELFEXT_frequency);
    connect(norm_NEXT_frequencyBox, &Spin::valueChanged, this,
            &PropertiesDialog::change_norm_NEXT_frequency);
    connect(cableLengthFromBox, &Spin::valueChanged, this,
            &PropertiesDialog::change_cableLengthFrom);
    connect(cableLengthToBox, &Spin::valueChanged, this, &PropertiesDialog::change_cableLengthTo);
    connect(cableLengthStepBox, &Spin::valueChanged, this,
            &PropertiesDialog::change_cableLengthStep);
    connect(axisBox, qOverload<int>(&Combo::currentIndexChanged), this, &PropertiesDialog::change_axis);
    connect(lossFrequencyBox, &Spin::valueChanged, this, &PropertiesDialog::change_loss);
    for (QLineEdit *edit : lossEdits)
        connect(edit, &QLineEdit::textChanged, this, &PropertiesDialog::change_loss);
    connect(cableCapacityBox, &Spin::valueChanged, this, &PropertiesDialog::reset_xDSL_Ranges);
    connect(vectoringBox, &Spin::valueChanged, this, &PropertiesDialog::updateAliens);
    // Slot by slot, each family in turn: a box's change re-applies its own family's ranges.
    for (int i = 0; i < ValueSlots; ++i) {
        for (ValueFamily &family : m_values) {
            connect(family.boxes[i], &Spin::valueChanged, this, family.resetSlot);
        }
    }
    wireSectionEditor();
    connect(calculateButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    values(Family::Elfext).summaryItem->setHidden(true);
    values(Family::Next).summaryItem->setHidden(true);
    updateNormRowsVisibility();
    showAxis();
    // Every editor in sight: a collapsed branch hides the very fields a run is made of.
    propertyTree->expandAll();
    propertyTree->resizeColumnToContents(0);
    m_accepted = captureState();
}

void PropertiesDialog::setVisible(bool visible)
{
    if (visible && !isVisible())
        resize(size().expandedTo(rowsSize()));
    QDialog::setVisible(visible);
}

QSize PropertiesDialog::rowsSize() const
{
    propertyTree->doItemsLayout();
    int rows = 0;
    int values = 0;
    const QFontMetrics metrics = propertyTree->fontMetrics();
    for (QTreeWidgetItemIterator it(propertyTree, QTreeWidgetItemIterator::NotHidden); *it; ++it) {
        rows += propertyTree->visualItemRect(*it).height();
        const QWidget *editor = propertyTree->itemWidget(*it, 1);
        values = std::max(values, editor ? editor->sizeHint().width() : metrics.horizontalAdvance((*it)->text(1)) + 12);
    }
    const int frame = 2 * propertyTree->frameWidth();
    const QSize tree(propertyTree->columnWidth(0) + values + frame + propertyTree->verticalScrollBar()->sizeHint().width(),
                     propertyTree->header()->sizeHint().height() + rows + frame);
    // The buttons and margins around the tree, as the layout has them.
    const QSize around = layout()->sizeHint() - propertyTree->sizeHint();
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : this->screen();
    // Room for the title bar the window system adds.
    return (tree + around).boundedTo(screen->availableGeometry().size() - QSize(0, 40));
}

PropertiesDialog::~PropertiesDialog() = default;

// Every editor's choices and limits and every row's summary and visibility: the ranges and the
// hidden slots' values are part of what the user left behind, not only what fillSettings reads.
struct PropertiesDialog::EditorState {
    struct Spin {
        QSpinBox *box;
        int minimum, maximum, value;
    };
    struct Combo {
        QComboBox *box;
        QStringList items;
        int current;
    };
    struct Row {
        QTreeWidgetItem *item;
        QString caption; // the range row names the axis it sweeps
        QString summary;
        bool hidden;
    };
    struct Edit {
        QLineEdit *edit;
        QString text;
    };
    QVector<Spin> spins;
    QVector<Combo> combos;
    QVector<Edit> edits;
    QVector<Row> rows;
    int lastAcceptedLoadCountIndex = 0;
};

std::unique_ptr<PropertiesDialog::EditorState> PropertiesDialog::captureState() const
{
    auto state = std::make_unique<EditorState>();
    for (QSpinBox *box : propertyTree->findChildren<QSpinBox *>())
        state->spins.append({box, box->minimum(), box->maximum(), box->value()});
    for (QComboBox *box : propertyTree->findChildren<QComboBox *>()) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        state->combos.append({box, items, box->currentIndex()});
    }
    // The text fields of their own: a spin box's editor is its value.
    for (QLineEdit *edit : propertyTree->findChildren<QLineEdit *>())
        if (!qobject_cast<QAbstractSpinBox *>(edit->parent()) && !qobject_cast<QComboBox *>(edit->parent()))
            state->edits.append({edit, edit->text()});
    for (QTreeWidgetItemIterator it(propertyTree); *it; ++it)
        state->rows.append({*it, (*it)->text(0), (*it)->text(1), (*it)->isHidden()});
    state->lastAcceptedLoadCountIndex = lastAcceptedLoadCountIndex;
    return state;
}

void PropertiesDialog::restoreState(const EditorState &state)
{
    // Put back as it was, without the handlers: the state was consistent when it was taken.
    QVector<std::shared_ptr<QSignalBlocker>> blockers;
    for (QObject *editor : propertyTree->findChildren<QObject *>())
        blockers << std::make_shared<QSignalBlocker>(editor);
    for (const EditorState::Combo &combo : state.combos) {
        combo.box->clear();
        combo.box->addItems(combo.items);
        combo.box->setCurrentIndex(combo.current);
    }
    for (const EditorState::Spin &spin : state.spins) {
        spin.box->setRange(spin.minimum, spin.maximum);
        spin.box->setValue(spin.value);
    }
    for (const EditorState::Row &row : state.rows) {
        row.item->setText(0, row.caption);
        row.item->setText(1, row.summary);
        row.item->setHidden(row.hidden);
        if (QWidget *editor = propertyTree->itemWidget(row.item, 1); editor && row.hidden)
            editor->hide();
    }
    lastAcceptedLoadCountIndex = state.lastAcceptedLoadCountIndex;
    // A text field shows whether its text is a number as it changes: put back where it is heard.
    updateAliens();
    blockers.clear();
    for (const EditorState::Edit &edit : state.edits)
        edit.edit->setText(edit.text);
}

void PropertiesDialog::done(int result)
{
    if (result == QDialog::Accepted)
        m_accepted = captureState();
    else if (m_accepted)
        restoreState(*m_accepted);
    QDialog::done(result);
}

QTreeWidgetItem *PropertiesDialog::addRow(QTreeWidgetItem *parent, const QString &caption)
{
    if (!parent) {
        auto *item = new QTreeWidgetItem(QStringList{caption});
        propertyTree->addTopLevelItem(item);
        return item;
    }
    return new QTreeWidgetItem(parent, QStringList{caption});
}

QComboBox *PropertiesDialog::addCountBox(QTreeWidgetItem *row, const QString &name, int count, int first)
{
    auto *box = new QComboBox;
    box->setObjectName(name);
    box->setFrame(false);
    for (int k = first; k <= count; ++k)
        box->addItem(QString::number(k));
    propertyTree->setItemWidget(row, 1, box);
    return box;
}

QSpinBox *PropertiesDialog::addSpinBox(QTreeWidgetItem *row, const QString &name, IntRange range,
                                       int value)
{
    auto *box = new QSpinBox;
    box->setObjectName(name);
    box->setFrame(false);
    box->setRange(range.min, range.max);
    box->setValue(value);
    propertyTree->setItemWidget(row, 1, box);
    return box;
}

PropertiesDialog::ValueFamily &PropertiesDialog::addValueFamily(Family id, QTreeWidgetItem *top,
                                                                const QString &objectPrefix,
                                                                const QString &slotCaption,
                                                                IntRange range, int spreadOffset,
                                                                QSpinBox *frequencyBox)
{
    ValueFamily &family = values(id);
    family.summaryItem = top;
    family.range = range;
    family.spreadOffset = spreadOffset;
    family.frequencyBox = frequencyBox;
    QTreeWidgetItem *countRow = addRow(top, tr("всего возможных значений"));
    family.countBox = addCountBox(countRow, objectPrefix + QStringLiteral("CountBox"), ValueSlots, family.minCount);
    // Every slot starts at the bottom of the range; the first slot is the untouched value.
    // Target rates start as the rates a count would propose, doubling from the first.
    for (int i = 0; i < ValueSlots; ++i) {
        family.items[i] = addRow(countRow, slotCaption.arg(i + 1));
        const int value = family.curveFamily ? range.min : std::min(CalcInput::DefaultTargetRate << i, range.max);
        family.boxes[i] = addSpinBox(family.items[i], objectPrefix + QStringLiteral("Boxes") + QString::number(i),
                                     range, value);
        if (i >= family.minCount) {
            family.items[i]->setHidden(true);
            family.boxes[i]->hide();
        }
    }
    top->setText(1, valueSummary(family, lastSlot(family)));
    return family;
}

void PropertiesDialog::addTemplateSlots(TemplateFamily &family, const QStringList &names,
                                        QTreeWidgetItem *countRow, const QString &objectPrefix)
{
    for (int i = 0; i < names.size(); ++i) {
        family.countBox->addItem(QString::number(i + 1));
        QTreeWidgetItem *row = addRow(countRow, tr("файл %1").arg(i + 1));
        auto *box = new QComboBox;
        box->setObjectName(objectPrefix + QString::number(i));
        box->setFrame(false);
        box->addItems(names);
        propertyTree->setItemWidget(row, 1, box);
        family.boxes << box;
        family.items << row;
        if (i > 0) {
            row->setHidden(true);
            box->hide();
        }
    }
}

QTreeWidgetItem *PropertiesDialog::rowOf(const QWidget *editor) const
{
    for (QTreeWidgetItemIterator it(propertyTree); *it; ++it) {
        if (propertyTree->itemWidget(*it, 1) == editor)
            return *it;
    }
    return nullptr;
}

void PropertiesDialog::fillSettings(CalcSettings &settings) const
{
    for (int i = 0; i < activeCount(m_cables.countBox); ++i)
        settings.cableTypes << m_cables.boxes.at(i)->currentText();
    settings.cableCapacity = cableCapacityBox->value();
    const auto active = [this](Family id) { return lastSlot(values(id)); };
    settings.xDSL_points << slotValues<int>(values(Family::Load).boxes, active(Family::Load));
    settings.Norm_ELFEXT_points << slotValues<float>(values(Family::Elfext).boxes, active(Family::Elfext));
    settings.Norm_NEXT_points << slotValues<float>(values(Family::Next).boxes, active(Family::Next));
    settings.norm_ELFEXT_frequency = float(norm_ELFEXT_frequencyBox->value());
    settings.norm_NEXT_frequency = float(norm_NEXT_frequencyBox->value());
    settings.cableLengthFrom = cableLengthFromBox->value();
    settings.cableLengthTo = cableLengthToBox->value();
    settings.cableLengthStep = cableLengthStepBox->value();
    settings.axis = sweepsLoss() ? SweepAxis::Loss : SweepAxis::Length;
    settings.lossFrequency = lossFrequencyBox->value();
    // A field that holds no loss (only while the dialog is open) gives one every check refuses.
    settings.lossFrom = lossTenths(0).value_or(-1);
    settings.lossTo = lossTenths(1).value_or(-1);
    settings.lossStep = lossTenths(2).value_or(-1);
    for (int i = 0; i < activeCount(m_lineTypes.countBox); ++i)
        settings.lineTypes << m_lineTypes.boxes.at(i)->currentText();
    settings.SNRMargin_points << slotValues<float>(values(Family::Margin).boxes, active(Family::Margin));
    settings.noiseTemplate = noiseTemplateBox->currentText();
    settings.sections << activeSections();
    settings.targetRates << slotValues<int>(values(Family::Targets).boxes, active(Family::Targets));
    // Accepting refuses a gain that is no number: an accepted dialog always has one.
    QString unread;
    settings.codingGain = ModelFields::codingGain(codingGainEdit, {}, &unread).value_or(0.0f);
    settings.vectoring = ModelFields::vectoring(vectoringBox);
    settings.alienDisturbers = ModelFields::aliens(alienBox, vectoringBox);
    settings.cableTypesText = m_cables.summaryItem->text(1);
    settings.xDSL_pointsText = summaryItem(Family::Load)->text(1);
    settings.norm_ELFEXT_Text = summaryItem(Family::Elfext)->text(1);
    settings.norm_NEXT_Text = summaryItem(Family::Next)->text(1);
    settings.SNRMarginText = summaryItem(Family::Margin)->text(1);
    settings.lineTypesText = m_lineTypes.summaryItem->text(1);
}

bool PropertiesDialog::setSettings(const CalcSettings &settings, QString *error)
{
    if (settings.cableTypes.size() > m_cables.boxes.size() || settings.lineTypes.size() > m_lineTypes.boxes.size())
        return fail(error, tr("В расчёте больше шаблонов, чем в рабочем каталоге"));
    if (settings.sections.size() > m_sections.cableBoxes.size())
        return fail(error, tr("В расчёте больше участков кабеля, чем допускается (%1)")
                               .arg(m_sections.cableBoxes.size()));
    // Everything is set with the handlers blocked and made consistent once at the end.
    QList<QObject *> editors;
    for (QObject *child : propertyTree->findChildren<QObject *>())
        editors << child;
    QVector<std::shared_ptr<QSignalBlocker>> blockers;
    for (QObject *editor : std::as_const(editors))
        blockers << std::make_shared<QSignalBlocker>(editor);

    loadTemplates(m_cables, settings.cableTypes);
    loadSections(settings.sections);
    loadTemplates(m_lineTypes, settings.lineTypes);
    cableCapacityBox->setValue(settings.cableCapacity);
    norm_ELFEXT_frequencyBox->setValue(int(settings.norm_ELFEXT_frequency));
    norm_NEXT_frequencyBox->setValue(int(settings.norm_NEXT_frequency));
    const auto whole = [](const QVector<float> &values) {
        QVector<int> out;
        for (float v : values)
            out << int(v);
        return out;
    };
    loadValues(values(Family::Load), settings.xDSL_points);
    loadValues(values(Family::Elfext), whole(settings.Norm_ELFEXT_points));
    loadValues(values(Family::Next), whole(settings.Norm_NEXT_points));
    loadValues(values(Family::Margin), whole(settings.SNRMargin_points));
    loadValues(values(Family::Targets), settings.targetRates);
    lastAcceptedLoadCountIndex = values(Family::Load).countBox->currentIndex();

    axisBox->setCurrentIndex(settings.axis == SweepAxis::Loss ? 1 : 0);
    lossFrequencyBox->setValue(settings.lossFrequency);

    // The coupled ranges follow the user's next edit of a length.
    for (QSpinBox *box : {cableLengthFromBox, cableLengthToBox})
        box->setRange(lengthMinimum(), CalcInput::Length.max);
    cableLengthFromBox->setValue(settings.cableLengthFrom);
    cableLengthToBox->setValue(settings.cableLengthTo);
    cableLengthStepBox->setValue(settings.cableLengthStep);
    cableLengthItem->setText(1, lengthSummary());

    ModelFields::setVectoring(vectoringBox, settings.vectoring);
    updateAliens();
    alienBox->setValue(settings.alienDisturbers);

    noiseTemplateBox->setCurrentIndex(settings.noiseTemplate.isEmpty() ? -1 : noiseTemplateBox->findText(settings.noiseTemplate));
    if (!settings.noiseTemplate.isEmpty() && noiseTemplateBox->currentIndex() < 0) {
        noiseTemplateBox->addItem(settings.noiseTemplate);
        noiseTemplateBox->setCurrentIndex(noiseTemplateBox->count() - 1);
    }
    blockers.clear();
    ModelFields::setCodingGain(codingGainEdit, settings.codingGain);
    // The loss fields show whether they hold a number as their text changes.
    const int losses[] = {settings.lossFrom, settings.lossTo, settings.lossStep};
    for (int i = 0; i < 3; ++i)
        lossEdits[i]->setText(lossText(losses[i]));
    showAxis();

    // Loads above M stay as the record has them, as after lowering M in the dialog.
    const bool loadsWithinM = std::all_of(settings.xDSL_points.begin(), settings.xDSL_points.end(),
                                          [&](int m) { return m <= settings.cableCapacity; });
    for (ValueFamily &family : m_values)
        if (family.family != Family::Load || loadsWithinM)
            applyRangeRule(family.family);
        else
            family.summaryItem->setText(1, valueSummary(family, lastSlot(family)));
    // Only the untouched margin keeps the blank before its unit.
    if (settings.SNRMargin_points == QVector<float>{float(CalcInput::DefaultMargin)}
        && settings.SNRMarginText == CalcInput::untouchedMarginsSummary())
        summaryItem(Family::Margin)->setText(1, CalcInput::untouchedMarginsSummary());
    updateNormRowsVisibility();
    // A setup counts as accepted: Отмена afterwards returns to it.
    m_accepted = captureState();
    return true;
}

void PropertiesDialog::loadTemplates(TemplateFamily &family, const QStringList &names)
{
    for (const QString &name : names) {
        if (!family.boxes.isEmpty() && family.boxes.first()->findText(name) < 0) {
            for (QComboBox *box : std::as_const(family.boxes))
                box->addItem(name);
        }
    }
    for (int i = 0; i < names.size(); ++i)
        family.boxes.at(i)->setCurrentIndex(family.boxes.at(i)->findText(names.at(i)));
    const int last = int(names.size()) - 1;
    family.countBox->setCurrentIndex(last);
    showTemplateSlots(family, last);
    family.summaryItem->setText(1, templateSummary(family, last));
}

void PropertiesDialog::loadValues(ValueFamily &family, const QVector<int> &numbers)
{
    const int last = std::min(int(numbers.size()), ValueSlots) - 1;
    family.countBox->setCurrentIndex(std::max(last + 1 - family.minCount, 0));
    for (int i = 0; i <= last; ++i) {
        family.boxes[i]->setRange(family.range.min, std::max(fullMaximum(family), numbers.at(i)));
        family.boxes[i]->setValue(numbers.at(i));
    }
    showValueSlots(family, last);
}

void PropertiesDialog::updateNormRowsVisibility()
{
    QTreeWidgetItem *elfext = summaryItem(Family::Elfext);
    QTreeWidgetItem *next = summaryItem(Family::Next);
    elfext->setHidden(true);
    next->setHidden(true);
    // The active line types are the first ones the count box selects.
    for (int i = 0; i < activeCount(m_lineTypes.countBox); ++i) {
        const TemplateKind kind = lineTypeKind(m_lineTypes.boxes.at(i)->currentText());
        if (kind == LineTypeDmt)
            elfext->setHidden(false);
        // A name with neither marker is read as PAM but asks for no norm row.
        if (m_lineTypes.boxes.at(i)->currentText().contains(templateExtension(LineTypePam)))
            next->setHidden(false);
    }
}

PropertiesDialog::ValueFamily &PropertiesDialog::values(Family id)
{
    for (ValueFamily &family : m_values)
        if (family.family == id)
            return family;
    Q_UNREACHABLE();
}

const PropertiesDialog::ValueFamily &PropertiesDialog::values(Family id) const
{
    return const_cast<PropertiesDialog *>(this)->values(id);
}

QComboBox *PropertiesDialog::countBox(Family id) const
{
    if (id == Family::CableTypes)
        return m_cables.countBox;
    if (id == Family::LineTypes)
        return m_lineTypes.countBox;
    return values(id).countBox;
}

QTreeWidgetItem *PropertiesDialog::summaryItem(Family id) const
{
    if (id == Family::CableTypes)
        return m_cables.summaryItem;
    if (id == Family::LineTypes)
        return m_lineTypes.summaryItem;
    return values(id).summaryItem;
}

int PropertiesDialog::lastSlot(const ValueFamily &family)
{
    return family.countBox->currentIndex() + family.minCount - 1;
}

int PropertiesDialog::fullMaximum(const ValueFamily &family) const
{
    // m never exceeds the capacity M.
    return family.family == Family::Load ? cableCapacityBox->value() : family.range.max;
}

QString PropertiesDialog::valueSummary(const ValueFamily &family, int lastSlot) const
{
    switch (family.family) {
    case Family::Next:
    case Family::Elfext:
        return CalcInput::normsSummary(slotValues<float>(family.boxes, lastSlot),
                                       float(family.frequencyBox->value()));
    case Family::Margin:
        return CalcInput::marginsSummary(slotValues<float>(family.boxes, lastSlot));
    case Family::Targets:
        return lastSlot < 0 ? tr("нет") : CalcInput::targetRatesSummary(slotValues<int>(family.boxes, lastSlot));
    default:
        return CalcInput::loadsSummary(slotValues<int>(family.boxes, lastSlot));
    }
}

QString PropertiesDialog::templateSummary(const TemplateFamily &family, int lastSlot)
{
    QStringList names;
    // No slot at all gives an empty summary.
    for (int i = 0; i <= lastSlot && i < family.boxes.size(); ++i)
        names << family.boxes.at(i)->currentText();
    return CalcInput::templatesSummary(names);
}

QString PropertiesDialog::lengthSummary() const
{
    if (sweepsLoss()) {
        // Fields that hold no loss yet leave the summary as it was.
        const std::optional<int> from = lossTenths(0), to = lossTenths(1), step = lossTenths(2);
        if (!from || !to || !step)
            return cableLengthItem->text(1);
        return CalcInput::lossesSummary(*from, *to, *step, lossFrequencyBox->value());
    }
    return CalcInput::lengthsSummary(cableLengthFromBox->value(), cableLengthToBox->value(),
                                     cableLengthStepBox->value());
}

void PropertiesDialog::applyRangeRule(Family id)
{
    if (rangeRuleSuspended)
        return;
    const ValueFamily &family = values(id);
    const int c = lastSlot(family);
    for (int i = 0; i <= c; ++i) {
        int minimum = family.range.min;
        int maximum = fullMaximum(family);
        if (i > 0)
            minimum = family.boxes[i - 1]->value() + 1;
        if (i < c)
            maximum = family.boxes[i + 1]->value() - 1;
        // A clamped value re-enters this rule through its valueChanged; an empty range
        // collapses to its minimum, so neighbours never overtake each other.
        family.boxes[i]->setRange(minimum, maximum);
    }
    family.summaryItem->setText(1, valueSummary(family, c));
    if (id == Family::Load)
        updateAliens();
}

void PropertiesDialog::updateAliens()
{
    // The loads increase: the first is the smallest.
    ModelFields::limitAliens(alienBox, vectoringBox, values(Family::Load).boxes[0]->value());
}

void PropertiesDialog::reset_xDSL_Ranges()
{
    applyRangeRule(Family::Load);
}

void PropertiesDialog::reset_Norm_NEXT_Range()
{
    applyRangeRule(Family::Next);
}

void PropertiesDialog::reset_Norm_ELFEXT_Range()
{
    applyRangeRule(Family::Elfext);
}

void PropertiesDialog::reset_SNRMargin_Range()
{
    applyRangeRule(Family::Margin);
}

void PropertiesDialog::reset_targetRates_Range()
{
    applyRangeRule(Family::Targets);
}

void PropertiesDialog::change_norm_ELFEXT_frequency()
{
    const ValueFamily &family = values(Family::Elfext);
    family.summaryItem->setText(1, valueSummary(family, lastSlot(family)));
}

void PropertiesDialog::change_norm_NEXT_frequency()
{
    const ValueFamily &family = values(Family::Next);
    family.summaryItem->setText(1, valueSummary(family, lastSlot(family)));
}

bool PropertiesDialog::sweepsLoss() const
{
    return axisBox->currentIndex() == 1;
}

void PropertiesDialog::showAxis()
{
    const bool loss = sweepsLoss();
    cableLengthItem->setText(0, tr(loss ? LossRangeCaption : LengthRangeCaption));
    QVector<QTreeWidgetItem *> shown{lossFrequencyRow}, hidden;
    for (int i = 0; i < 3; ++i) {
        shown << lossRows[i];
        hidden << lengthRows[i];
    }
    if (!loss)
        std::swap(shown, hidden);
    for (QTreeWidgetItem *row : std::as_const(hidden)) {
        row->setHidden(true);
        propertyTree->itemWidget(row, 1)->hide();
    }
    for (QTreeWidgetItem *row : std::as_const(shown))
        row->setHidden(false);
    cableLengthItem->setText(1, lengthSummary());
}

std::optional<int> PropertiesDialog::lossTenths(int index, QString *problem) const
{
    // A point or a comma, as people type; then the loss's own decimals and bounds.
    const CalcInput::Input &in = CalcInput::input(LossFields[index]);
    double value = 0;
    if (const std::optional<CalcInput::Problem> p = CalcInput::parseField(in, lossEdits[index]->text(), &value)) {
        fail(problem, CalcInput::describe(*p, runFieldName));
        return std::nullopt;
    }
    return int(std::lround(value * 10.0));
}

void PropertiesDialog::change_axis()
{
    showAxis();
}

void PropertiesDialog::change_loss()
{
    cableLengthItem->setText(1, lengthSummary());
}

void PropertiesDialog::accept()
{
    QString problem;
    QLineEdit *refused = nullptr;
    if (sweepsLoss()) {
        // Each field on its own (its text is said as typed), then the grid they make.
        for (int i = 0; i < 3 && !refused; ++i)
            if (!lossTenths(i, &problem))
                refused = lossEdits[i];
        CalcSettings grid;
        fillSettings(grid);
        if (!refused)
            if (const std::optional<CalcInput::Problem> p = CalcInput::checkGrid(grid, CalcInput::Checks::Input)) {
                problem = CalcInput::describe(*p, runFieldName);
                refused = lossEdits[0];
            }
    }
    if (!refused && !ModelFields::codingGain(codingGainEdit, runFieldName, &problem))
        refused = codingGainEdit;
    if (refused) {
        QMessageBox::warning(this, tr("Kolvane"), tr("Расчёт невозможен: %1").arg(problem));
        refused->setFocus();
        refused->selectAll();
        return;
    }
    QDialog::accept();
}

void PropertiesDialog::change_cableLengthFrom()
{
    cableLengthToBox->setRange(lengthToMinimum(), CalcInput::Length.max);
    cableLengthItem->setText(1, lengthSummary());
}

void PropertiesDialog::change_cableLengthTo()
{
    cableLengthFromBox->setRange(lengthMinimum(),
                                 cableLengthToBox->value() - cableLengthStepBox->value());
    cableLengthItem->setText(1, lengthSummary());
}

void PropertiesDialog::change_cableLengthStep()
{
    cableLengthFromBox->setRange(lengthMinimum(),
                                 cableLengthToBox->value() - cableLengthStepBox->value());
    cableLengthToBox->setRange(lengthToMinimum(), CalcInput::Length.max);
    cableLengthItem->setText(1, lengthSummary());
}

int PropertiesDialog::lengthMinimum() const
{
    // A loop is never shorter than its fixed sections.
    return int(CalcInput::sectionsTotal(activeSections()));
}

int PropertiesDialog::lengthToMinimum() const
{
    // Past the longest loop "to" would leave the record unusable; "from" gives way instead.
    return std::min(cableLengthFromBox->value() + cableLengthStepBox->value(), CalcInput::Length.max);
}

void PropertiesDialog::change_cableType(int)
{
    m_cables.summaryItem->setText(1, templateSummary(m_cables, m_cables.countBox->currentIndex()));
}

void PropertiesDialog::change_lineType(int)
{
    m_lineTypes.summaryItem->setText(1, templateSummary(m_lineTypes, m_lineTypes.countBox->currentIndex()));
    updateNormRowsVisibility();
}

void PropertiesDialog::showSlots(const QVector<QWidget *> &boxes, const QVector<QTreeWidgetItem *> &items,
                                 int lastSlot)
{
    for (int i = 0; i < boxes.size(); ++i) {
        const bool active = i <= lastSlot;
        items.at(i)->setHidden(!active);
        // The view shows the editor of a shown row when its branch is expanded.
        if (!active)
            boxes.at(i)->hide();
    }
}

void PropertiesDialog::showValueSlots(const ValueFamily &family, int lastSlot)
{
    showSlots(QVector<QWidget *>(family.boxes.begin(), family.boxes.end()),
              QVector<QTreeWidgetItem *>(family.items.begin(), family.items.end()), lastSlot);
}

void PropertiesDialog::showTemplateSlots(const TemplateFamily &family, int lastSlot)
{
    showSlots(QVector<QWidget *>(family.boxes.begin(), family.boxes.end()), family.items, lastSlot);
}

void PropertiesDialog::change_cableTypeCount(int index)
{
    changeTemplateCount(m_cables, index);
}

void PropertiesDialog::change_lineTypeCount(int index)
{
    changeTemplateCount(m_lineTypes, index);
}

void PropertiesDialog::changeTemplateCount(TemplateFamily &family, int index)
{
    if (index < 0)
        return;
    showTemplateSlots(family, index);
    fallBackAllBut(family.family);
    family.summaryItem->setText(1, templateSummary(family, index));
    if (family.family == Family::LineTypes)
        updateNormRowsVisibility();
}

void PropertiesDialog::change_xDSL_points_count(int index)
{
    changeValueCount(Family::Load, index);
}

void PropertiesDialog::change_Norm_NEXT_points_count(int index)
{
    changeValueCount(Family::Next, index);
}

void PropertiesDialog::change_Norm_ELFEXT_points_count(int index)
{
    changeValueCount(Family::Elfext, index);
}

void PropertiesDialog::change_SNRMargin_points_count(int index)
{
    changeValueCount(Family::Margin, index);
}

void PropertiesDialog::change_targetRates_count(int index)
{
    changeValueCount(Family::Targets, index);
}

void PropertiesDialog::changeValueCount(Family id, int index)
{
    if (index < 0)
        return;
    ValueFamily &family = values(id);
    if (!family.curveFamily) {
        // No family of curves: the others keep their values, and so do the slots that stay.
        const int last = index + family.minCount - 1;
        {
            const QScopedValueRollback<bool> suspend(rangeRuleSuspended, true);
            proposeTargets(family, last);
        }
        showValueSlots(family, last);
        applyRangeRule(id);
        return;
    }
    const int n = index + 1;
    const int span = fullMaximum(family) - family.spreadOffset;
    // Single precision on purpose: the rounded targets depend on it.
    const float spacing = float(span) / float(n);
    if (id == Family::Load && spacing < 1.0f) {
        // More loads than pairs: go back to the last accepted count, which spreads anew.
        family.countBox->setCurrentIndex(lastAcceptedLoadCountIndex);
        return;
    }

    {
        // The old neighbour-bounded ranges and the range rule would clamp the targets
        // as they arrive one by one; open the full range and apply the rule once after.
        const QScopedValueRollback<bool> suspend(rangeRuleSuspended, true);
        for (int k = 1; k <= n; ++k) {
            family.boxes[k - 1]->setRange(family.range.min, fullMaximum(family));
            family.boxes[k - 1]->setValue(family.spreadOffset + qRound(double(k) * double(spacing)));
        }
    }
    showValueSlots(family, index);
    applyRangeRule(id);
    fallBackAllBut(id);

    // NEXT norms concern PAM line types, ELFEXT norms DMT ones: offer a line type that uses them.
    if (id == Family::Next)
        selectFirstLineTypeWith(templateExtension(LineTypePam));
    else if (id == Family::Elfext)
        selectFirstLineTypeWith(templateExtension(LineTypeDmt));

    family.summaryItem->setText(1, valueSummary(family, index));
    if (id == Family::Load)
        lastAcceptedLoadCountIndex = family.countBox->currentIndex();
}

void PropertiesDialog::proposeTargets(ValueFamily &family, int last)
{
    // A slot shown again keeps its value while it still exceeds the one before; otherwise it
    // doubles that one. Near the top of the range the values give way downwards, so that every
    // slot still fits above its predecessor.
    QVector<qint64> v;
    for (int i = 0; i <= last; ++i) {
        qint64 value = family.boxes[i]->value();
        if (i > 0 && value <= v.last())
            value = std::min<qint64>(v.last() * 2, family.range.max);
        v << value;
    }
    for (int i = last; i >= 0; --i)
        v[i] = std::min<qint64>(v[i], family.range.max - (last - i));
    for (int i = 0; i <= last; ++i) {
        family.boxes[i]->setRange(family.range.min, fullMaximum(family));
        family.boxes[i]->setValue(int(v[i]));
    }
}

void PropertiesDialog::selectFirstLineTypeWith(const QString &extension)
{
    if (m_lineTypes.boxes.isEmpty())
        return;
    QComboBox *first = m_lineTypes.boxes.first();
    const QString other = extension == templateExtension(LineTypePam) ? templateExtension(LineTypeDmt)
                                                                      : templateExtension(LineTypePam);
    if (!first->currentText().contains(other))
        return;
    // The box's own names are the directory listing taken at construction; searching them
    // keeps the choice on an offered name even if the directory changed since.
    for (int i = 0; i < first->count(); ++i) {
        if (first->itemText(i).contains(extension)) {
            first->setCurrentIndex(i);
            return;
        }
    }
}

void PropertiesDialog::fallBackAllBut(Family changed)
{
    static const Family order[] = {Family::CableTypes, Family::Load, Family::Elfext, Family::Next,
                                   Family::LineTypes, Family::Margin};
    for (Family other : order) {
        if (other != changed)
            fallBack(other);
    }
}

void PropertiesDialog::fallBack(Family id)
{
    QComboBox *count = countBox(id);
    if (id == Family::CableTypes || id == Family::LineTypes) {
        const TemplateFamily &family = id == Family::CableTypes ? m_cables : m_lineTypes;
        showTemplateSlots(family, 0);
        {
            const QSignalBlocker block(count); // a fall-back never runs a count slot
            count->setCurrentIndex(family.boxes.isEmpty() ? -1 : 0);
        }
        family.summaryItem->setText(1, templateSummary(family, 0));
        if (id == Family::LineTypes)
            updateNormRowsVisibility();
        return;
    }
    const ValueFamily &family = values(id);
    showValueSlots(family, 0);
    {
        const QSignalBlocker block(count);
        count->setCurrentIndex(0);
    }
    // Slot 0 keeps its value and its range until its next change runs the range rule.
    family.summaryItem->setText(1, valueSummary(family, 0));
}

void PropertiesDialog::addSectionRows()
{
    m_sections.summaryItem = addRow(nullptr, caption(CalcInput::Field::Sections));
    m_sections.summaryItem->setText(1, CalcInput::sectionsSummary({}));
    QTreeWidgetItem *countRow = addRow(m_sections.summaryItem, tr("всего участков"));
    m_sections.countBox = addCountBox(countRow, QStringLiteral("sectionCountBox"), 0);
    m_sections.countBox->addItem(QStringLiteral("0"));
}

void PropertiesDialog::addSectionSlots(const QStringList &cableNames)
{
    // A new section starts as a typical distribution cable in front of the swept one.
    constexpr int newSectionLength = 500;
    QTreeWidgetItem *countRow = m_sections.summaryItem->child(0);
    for (int i = 0; i < CalcInput::MaxSections; ++i) {
        // Without a cable to choose a section cannot be built.
        if (!cableNames.isEmpty())
            m_sections.countBox->addItem(QString::number(i + 1));
        QTreeWidgetItem *cableRow = addRow(countRow, tr("участок %1, кабель").arg(i + 1));
        auto *cable = new QComboBox;
        cable->setObjectName(QStringLiteral("sectionCableBoxes") + QString::number(i));
        cable->setFrame(false);
        cable->addItems(cableNames);
        propertyTree->setItemWidget(cableRow, 1, cable);
        QTreeWidgetItem *lengthRow = addRow(countRow, tr("участок %1, длина, м").arg(i + 1));
        QSpinBox *length = addSpinBox(lengthRow, QStringLiteral("sectionLengthBoxes") + QString::number(i),
                                      CalcInput::SectionLength, newSectionLength);
        m_sections.cableBoxes << cable;
        m_sections.lengthBoxes << length;
        m_sections.cableItems << cableRow;
        m_sections.lengthItems << lengthRow;
    }
    showSections(0);
}

void PropertiesDialog::wireSectionEditor()
{
    connect(m_sections.countBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &PropertiesDialog::change_sectionCount);
    for (QComboBox *box : std::as_const(m_sections.cableBoxes))
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this,
                &PropertiesDialog::change_sectionCable);
    for (QSpinBox *box : std::as_const(m_sections.lengthBoxes))
        connect(box, &QSpinBox::valueChanged, this, &PropertiesDialog::change_sectionLength);
}

QVector<CableSection> PropertiesDialog::activeSections() const
{
    QVector<CableSection> sections;
    const int count = std::max(m_sections.countBox->currentIndex(), 0);
    for (int i = 0; i < count; ++i)
        sections << CableSection{m_sections.cableBoxes.at(i)->currentText(), m_sections.lengthBoxes.at(i)->value()};
    return sections;
}

void PropertiesDialog::showSections(int count)
{
    showSlots(QVector<QWidget *>(m_sections.cableBoxes.begin(), m_sections.cableBoxes.end()),
              m_sections.cableItems, count - 1);
    showSlots(QVector<QWidget *>(m_sections.lengthBoxes.begin(), m_sections.lengthBoxes.end()),
              m_sections.lengthItems, count - 1);
}

void PropertiesDialog::limitSectionLengths()
{
    // Together the sections stay within the longest loop; each length may take what the others
    // leave. Going from the last section to the first, the newest give way when a count grows.
    const QVector<CableSection> sections = activeSections();
    qint64 total = CalcInput::sectionsTotal(sections);
    for (int i = int(sections.size()) - 1; i >= 0; --i) {
        QSpinBox *box = m_sections.lengthBoxes.at(i);
        const QSignalBlocker block(box);
        const qint64 others = total - box->value();
        const qint64 room = std::clamp<qint64>(CalcInput::Length.max - others, CalcInput::SectionLength.min,
                                               CalcInput::SectionLength.max);
        box->setRange(CalcInput::SectionLength.min, int(room));
        total = others + box->value();
    }
    m_sections.summaryItem->setText(1, CalcInput::sectionsSummary(activeSections()));
}

void PropertiesDialog::change_sectionCount(int index)
{
    if (index < 0)
        return;
    showSections(index);
    limitSectionLengths();
    // The lengths may now have to start further out, or may start nearer again.
    change_cableLengthStep();
}

void PropertiesDialog::change_sectionCable()
{
    m_sections.summaryItem->setText(1, CalcInput::sectionsSummary(activeSections()));
}

void PropertiesDialog::change_sectionLength()
{
    limitSectionLengths();
    change_cableLengthStep();
}

void PropertiesDialog::offerCableName(const QString &name)
{
    // The sections offer the names the cable slots offer.
    QList<QComboBox *> boxes(m_cables.boxes.begin(), m_cables.boxes.end());
    boxes << QList<QComboBox *>(m_sections.cableBoxes.begin(), m_sections.cableBoxes.end());
    for (QComboBox *box : std::as_const(boxes))
        if (box->findText(name) < 0)
            box->addItem(name);
}

void PropertiesDialog::loadSections(const QVector<CableSection> &sections)
{
    for (const CableSection &section : sections)
        offerCableName(section.cable);
    // Names a record brought to the cable slots are offered here too.
    if (!m_cables.boxes.isEmpty()) {
        const QComboBox *first = m_cables.boxes.first();
        for (int i = 0; i < first->count(); ++i)
            offerCableName(first->itemText(i));
    }
    // A directory without cables offered no count but 0.
    if (!sections.isEmpty())
        for (int k = m_sections.countBox->count(); k <= CalcInput::MaxSections; ++k)
            m_sections.countBox->addItem(QString::number(k));
    for (int i = 0; i < sections.size(); ++i) {
        QComboBox *cable = m_sections.cableBoxes.at(i);
        cable->setCurrentIndex(cable->findText(sections.at(i).cable));
        QSpinBox *length = m_sections.lengthBoxes.at(i);
        length->setRange(CalcInput::SectionLength.min, CalcInput::SectionLength.max);
        length->setValue(sections.at(i).length);
    }
    m_sections.countBox->setCurrentIndex(int(sections.size()));
    showSections(int(sections.size()));
    limitSectionLengths();
}
