#include "input/propertiesdialog.h"

#include "engine/workspace.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace {

constexpr int NormMinimum = 10;      // dB
constexpr int NormMaximum = 120;     // dB
constexpr int MarginMaximum = 30;    // dB
constexpr int LengthMaximum = 30000; // m

// Number of active slots behind a count box: its index + 1, none when it offers nothing.
int activeCount(const QComboBox *countBox)
{
    return countBox->currentIndex() + 1;
}

} // namespace

PropertiesDialog::PropertiesDialog(QWidget *parent, const QString &workdir)
    : QDialog(parent, Qt::WindowFlags())
{
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

    cableTypeItem = addRow(nullptr, tr("Тип кабеля"));
    QTreeWidgetItem *cableCountRow = addRow(cableTypeItem, tr("всего возможных файлов"));
    cableTypeCountBox = addCountBox(cableCountRow, QStringLiteral("cableTypeCountBox"), 0);

    cableCapacityBox = addSpinBox(addRow(nullptr, tr("Емкость кабеля (пучка) M, пар")),
                                  QStringLiteral("cableCapacityBox"), 1, 99, 4);

    xDSL_pointsItem = addRow(nullptr, tr("Загрузка кабеля (пучка) m"));
    xDSL_pointsItem->setText(1, tr("1"));
    QTreeWidgetItem *loadCountRow = addRow(xDSL_pointsItem, tr("всего возможных значений"));
    xDSL_pointsCountBox = addCountBox(loadCountRow, QStringLiteral("xDSL_pointsCountBox"),
                                      ValueSlots);
    addValueSlots(loadCountRow, tr("значение %1, линий xDSL"), QStringLiteral("xDSL_pointsBoxes"),
                  1, 99, xDSL_pointsBoxes, xDSL_pointsItems);

    norm_ELFEXT_Item = addRow(nullptr, tr("Нормы ELFEXT для 1км"));
    norm_ELFEXT_Item->setText(1, tr("10дБ(300кГц)"));
    norm_ELFEXT_frequencyBox = addSpinBox(addRow(norm_ELFEXT_Item, tr("частота нормы, кГц")),
                                          QStringLiteral("norm_ELFEXT_frequencyBox"), 1, 30000,
                                          300);
    QTreeWidgetItem *elfextCountRow = addRow(norm_ELFEXT_Item, tr("всего возможных значений"));
    Norm_ELFEXT_pointsCountBox = addCountBox(
        elfextCountRow, QStringLiteral("Norm_ELFEXT_pointsCountBox"), ValueSlots);
    addValueSlots(elfextCountRow, tr("значение %1, дБ"), QStringLiteral("Norm_ELFEXT_pointsBoxes"),
                  NormMinimum, NormMaximum, Norm_ELFEXT_pointsBoxes, Norm_ELFEXT_pointsItems);

    norm_NEXT_Item = addRow(nullptr, tr("Нормы NEXT"));
    norm_NEXT_Item->setText(1, tr("10дБ(300кГц)"));
    norm_NEXT_frequencyBox = addSpinBox(addRow(norm_NEXT_Item, tr("частота нормы, кГц")),
                                        QStringLiteral("norm_NEXT_frequencyBox"), 1, 30000, 300);
    QTreeWidgetItem *nextCountRow = addRow(norm_NEXT_Item, tr("всего возможных значений"));
    Norm_NEXT_pointsCountBox = addCountBox(nextCountRow, QStringLiteral("Norm_NEXT_pointsCountBox"),
                                           ValueSlots);
    addValueSlots(nextCountRow, tr("значение %1, дБ"), QStringLiteral("Norm_NEXT_pointsBoxes"),
                  NormMinimum, NormMaximum, Norm_NEXT_pointsBoxes, Norm_NEXT_pointsItems);

    cableLengthItem = addRow(nullptr, tr("Изменение длины кабеля в диапазоне, м"));
    cableLengthItem->setText(1, tr("от 1000 до 10000; шаг 1000"));
    cableLengthFromBox = addSpinBox(addRow(cableLengthItem, tr("от")),
                                    QStringLiteral("cableLengthFromBox"), 0, LengthMaximum, 1000);
    cableLengthToBox = addSpinBox(addRow(cableLengthItem, tr("до")),
                                  QStringLiteral("cableLengthToBox"), 0, LengthMaximum, 10000);
    cableLengthStepBox = addSpinBox(addRow(cableLengthItem, tr("с шагом")),
                                    QStringLiteral("cableLengthStepBox"), 10, 5000, 1000);

    lineTypeItem = addRow(nullptr, tr("Тип линии xDSL"));
    QTreeWidgetItem *lineCountRow = addRow(lineTypeItem, tr("всего возможных файлов"));
    lineTypeCountBox = addCountBox(lineCountRow, QStringLiteral("lineTypeCountBox"), 0);

    SNRMarginItem = addRow(nullptr, tr("Запас помехозащищенности SNR Margin"));
    SNRMarginItem->setText(1, tr("0 дБ"));
    QTreeWidgetItem *marginCountRow = addRow(SNRMarginItem, tr("всего возможных значений"));
    SNRMargin_pointsCountBox = addCountBox(marginCountRow, QStringLiteral("SNRMargin_pointsCountBox"),
                                           ValueSlots);
    addValueSlots(marginCountRow, tr("значение %1, дБ"), QStringLiteral("SNRMargin_pointsBoxes"), 0,
                  MarginMaximum, SNRMargin_pointsBoxes, SNRMargin_pointsItems);

    QTreeWidgetItem *noiseRow = addRow(nullptr, tr("Шаблон помех на входе приемника"));
    noiseTemplateBox = new QComboBox;
    noiseTemplateBox->setObjectName(QStringLiteral("noiseTemplateBox"));
    noiseTemplateBox->setFrame(false);
    propertyTree->setItemWidget(noiseRow, 1, noiseTemplateBox);

    addTemplateSlots(workspacePath(workdir, QStringLiteral("Cable")), true, cableTypeCountBox,
                     cableCountRow, QStringLiteral("cableTypeBoxes"), cableTypeBoxes,
                     cableTypeItems);
    addTemplateSlots(workspacePath(workdir, QStringLiteral("xDSL")), false, lineTypeCountBox,
                     lineCountRow, QStringLiteral("lineTypeBoxes"), lineTypeBoxes, lineTypeItems);
    cableTypeItem->setText(1, templateSummary(cableTypeBoxes, 0));
    lineTypeItem->setText(1, templateSummary(lineTypeBoxes, 0));

    const QStringList noises =
        listTemplateEntries(workspacePath(workdir, QStringLiteral("AddNoise")));
    for (const QString &entry : noises)
        noiseTemplateBox->addItem(noiseNameFromEntry(entry));
    // The third name is the usual background noise; with fewer names nothing is current.
    noiseTemplateBox->setCurrentIndex(2);

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
    connect(cableTypeCountBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_cableTypeCount);
    for (QComboBox *box : std::as_const(cableTypeBoxes))
        connect(box, qOverload<int>(&Combo::currentIndexChanged), this,
                &PropertiesDialog::change_cableType);
    connect(lineTypeCountBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_lineTypeCount);
    for (QComboBox *box : std::as_const(lineTypeBoxes))
        connect(box, qOverload<int>(&Combo::currentIndexChanged), this,
                &PropertiesDialog::change_lineType);
    connect(xDSL_pointsCountBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_xDSL_points_count);
    connect(Norm_NEXT_pointsCountBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_Norm_NEXT_points_count);
    connect(Norm_ELFEXT_pointsCountBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_Norm_ELFEXT_points_count);
    connect(SNRMargin_pointsCountBox, qOverload<int>(&Combo::currentIndexChanged), this,
            &PropertiesDialog::change_SNRMargin_points_count);
    connect(norm_ELFEXT_frequencyBox, &Spin::valueChanged, this,
            &PropertiesDialog::change_norm_ELFEXT_frequency);
    connect(norm_NEXT_frequencyBox, &Spin::valueChanged, this,
            &PropertiesDialog::change_norm_NEXT_frequency);
    connect(cableLengthFromBox, &Spin::valueChanged, this,
            &PropertiesDialog::change_cableLengthFrom);
    connect(cableLengthToBox, &Spin::valueChanged, this, &PropertiesDialog::change_cableLengthTo);
    connect(cableLengthStepBox, &Spin::valueChanged, this,
            &PropertiesDialog::change_cableLengthStep);
    connect(cableCapacityBox, &Spin::valueChanged, this, &PropertiesDialog::reset_xDSL_Ranges);
    for (int i = 0; i < ValueSlots; ++i) {
        connect(xDSL_pointsBoxes[i], &Spin::valueChanged, this,
                &PropertiesDialog::reset_xDSL_Ranges);
        connect(Norm_NEXT_pointsBoxes[i], &Spin::valueChanged, this,
                &PropertiesDialog::reset_Norm_NEXT_Range);
        connect(Norm_ELFEXT_pointsBoxes[i], &Spin::valueChanged, this,
                &PropertiesDialog::reset_Norm_ELFEXT_Range);
        connect(SNRMargin_pointsBoxes[i], &Spin::valueChanged, this,
                &PropertiesDialog::reset_SNRMargin_Range);
    }
    connect(calculateButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    norm_ELFEXT_Item->setHidden(true);
    norm_NEXT_Item->setHidden(true);
    updateNormRowsVisibility();
}

PropertiesDialog::~PropertiesDialog() = default;

QTreeWidgetItem *PropertiesDialog::addRow(QTreeWidgetItem *parent, const QString &caption)
{
    if (!parent) {
        auto *item = new QTreeWidgetItem(QStringList{caption});
        propertyTree->addTopLevelItem(item);
        return item;
    }
    return new QTreeWidgetItem(parent, QStringList{caption});
}

QComboBox *PropertiesDialog::addCountBox(QTreeWidgetItem *row, const QString &name, int count)
{
    auto *box = new QComboBox;
    box->setObjectName(name);
    box->setFrame(false);
    for (int k = 1; k <= count; ++k)
        box->addItem(QString::number(k));
    propertyTree->setItemWidget(row, 1, box);
    return box;
}

QSpinBox *PropertiesDialog::addSpinBox(QTreeWidgetItem *row, const QString &name, int minimum,
                                       int maximum, int value)
{
    auto *box = new QSpinBox;
    box->setObjectName(name);
    box->setFrame(false);
    box->setRange(minimum, maximum);
    box->setValue(value);
    propertyTree->setItemWidget(row, 1, box);
    return box;
}

void PropertiesDialog::addValueSlots(QTreeWidgetItem *countRow, const QString &caption,
                                     const QString &name, int minimum, int maximum,
                                     ValueBoxes &boxes, ValueItems &items)
{
    for (int i = 0; i < ValueSlots; ++i) {
        items[i] = addRow(countRow, caption.arg(i + 1));
        boxes[i] = addSpinBox(items[i], name + QString::number(i), minimum, maximum, minimum);
        if (i > 0) {
            items[i]->setHidden(true);
            boxes[i]->hide();
        }
    }
}

void PropertiesDialog::addTemplateSlots(const QString &directory, bool cutAttExtension,
                                        QComboBox *countBox, QTreeWidgetItem *countRow,
                                        const QString &name, QVector<QComboBox *> &boxes,
                                        QVector<QTreeWidgetItem *> &items)
{
    const QStringList entries = listTemplateEntries(directory);
    QStringList names;
    for (const QString &entry : entries)
        names << (cutAttExtension ? cableNameFromEntry(entry) : entry);
    for (int i = 0; i < entries.size(); ++i) {
        countBox->addItem(QString::number(i + 1));
        QTreeWidgetItem *row = addRow(countRow, tr("файл %1").arg(i + 1));
        auto *box = new QComboBox;
        box->setObjectName(name + QString::number(i));
        box->setFrame(false);
        box->addItems(names);
        propertyTree->setItemWidget(row, 1, box);
        boxes << box;
        items << row;
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
    for (int i = 0; i < activeCount(cableTypeCountBox); ++i)
        settings.cableTypes << cableTypeBoxes.at(i)->currentText();
    settings.cableCapacity = cableCapacityBox->value();
    for (int i = 0; i < activeCount(xDSL_pointsCountBox); ++i)
        settings.xDSL_points << xDSL_pointsBoxes[i]->value();
    for (int i = 0; i < activeCount(Norm_ELFEXT_pointsCountBox); ++i)
        settings.Norm_ELFEXT_points << float(Norm_ELFEXT_pointsBoxes[i]->value());
    for (int i = 0; i < activeCount(Norm_NEXT_pointsCountBox); ++i)
        settings.Norm_NEXT_points << float(Norm_NEXT_pointsBoxes[i]->value());
    settings.norm_ELFEXT_frequency = float(norm_ELFEXT_frequencyBox->value());
    settings.norm_NEXT_frequency = float(norm_NEXT_frequencyBox->value());
    settings.cableLengthFrom = cableLengthFromBox->value();
    settings.cableLengthTo = cableLengthToBox->value();
    settings.cableLengthStep = cableLengthStepBox->value();
    for (int i = 0; i < activeCount(lineTypeCountBox); ++i)
        settings.lineTypes << lineTypeBoxes.at(i)->currentText();
    for (int i = 0; i < activeCount(SNRMargin_pointsCountBox); ++i)
        settings.SNRMargin_points << float(SNRMargin_pointsBoxes[i]->value());
    settings.noiseTemplate = noiseTemplateBox->currentText();
    settings.cableTypesText = cableTypeItem->text(1);
    settings.xDSL_pointsText = xDSL_pointsItem->text(1);
    settings.norm_ELFEXT_Text = norm_ELFEXT_Item->text(1);
    settings.norm_NEXT_Text = norm_NEXT_Item->text(1);
    settings.SNRMarginText = SNRMarginItem->text(1);
    settings.lineTypesText = lineTypeItem->text(1);
}

void PropertiesDialog::updateNormRowsVisibility()
{
    norm_ELFEXT_Item->setHidden(true);
    norm_NEXT_Item->setHidden(true);
    // The active line types are the first ones the count box selects.
    for (int i = 0; i < activeCount(lineTypeCountBox); ++i) {
        const QString name = lineTypeBoxes.at(i)->currentText();
        if (name.contains(QLatin1String(".DMT")))
            norm_ELFEXT_Item->setHidden(false);
        if (name.contains(QLatin1String(".PAM")))
            norm_NEXT_Item->setHidden(false);
    }
}

QComboBox *PropertiesDialog::countBox(Family family) const
{
    switch (family) {
    case Family::CableTypes: return cableTypeCountBox;
    case Family::LineTypes: return lineTypeCountBox;
    case Family::Load: return xDSL_pointsCountBox;
    case Family::Next: return Norm_NEXT_pointsCountBox;
    case Family::Elfext: return Norm_ELFEXT_pointsCountBox;
    case Family::Margin: return SNRMargin_pointsCountBox;
    }
    return nullptr;
}

const PropertiesDialog::ValueBoxes &PropertiesDialog::valueBoxes(Family family) const
{
    switch (family) {
    case Family::Next: return Norm_NEXT_pointsBoxes;
    case Family::Elfext: return Norm_ELFEXT_pointsBoxes;
    case Family::Margin: return SNRMargin_pointsBoxes;
    default: return xDSL_pointsBoxes;
    }
}

const PropertiesDialog::ValueItems &PropertiesDialog::valueItems(Family family) const
{
    switch (family) {
    case Family::Next: return Norm_NEXT_pointsItems;
    case Family::Elfext: return Norm_ELFEXT_pointsItems;
    case Family::Margin: return SNRMargin_pointsItems;
    default: return xDSL_pointsItems;
    }
}

QTreeWidgetItem *PropertiesDialog::summaryItem(Family family) const
{
    switch (family) {
    case Family::CableTypes: return cableTypeItem;
    case Family::LineTypes: return lineTypeItem;
    case Family::Load: return xDSL_pointsItem;
    case Family::Next: return norm_NEXT_Item;
    case Family::Elfext: return norm_ELFEXT_Item;
    case Family::Margin: return SNRMarginItem;
    }
    return nullptr;
}

int PropertiesDialog::fullMinimum(Family family) const
{
    switch (family) {
    case Family::Load: return 1;
    case Family::Margin: return 0;
    default: return NormMinimum;
    }
}

int PropertiesDialog::fullMaximum(Family family) const
{
    switch (family) {
    case Family::Load: return cableCapacityBox->value(); // m never exceeds the capacity M
    case Family::Margin: return MarginMaximum;
    default: return NormMaximum;
    }
}

int PropertiesDialog::spreadOffset(Family family) const
{
    return (family == Family::Next || family == Family::Elfext) ? NormMinimum : 0;
}

QString PropertiesDialog::valueSummary(Family family, int lastSlot) const
{
    const ValueBoxes &boxes = valueBoxes(family);
    QString text;
    for (int i = 0; i < lastSlot; ++i)
        text += tr("%1,").arg(boxes[i]->value());
    text += tr("%1").arg(boxes[lastSlot]->value());
    switch (family) {
    case Family::Next: return text + tr("дБ(%1кГц)").arg(norm_NEXT_frequencyBox->value());
    case Family::Elfext: return text + tr("дБ(%1кГц)").arg(norm_ELFEXT_frequencyBox->value());
    case Family::Margin: return text + tr("дБ");
    default: return text;
    }
}

QString PropertiesDialog::templateSummary(const QVector<QComboBox *> &boxes, int lastSlot) const
{
    QString text;
    const int last = qMin(lastSlot, int(boxes.size()) - 1); // no slot at all: empty summary
    for (int i = 0; i < last; ++i)
        text += tr("%1, ").arg(boxes.at(i)->currentText());
    if (last >= 0)
        text += tr("%1").arg(boxes.at(last)->currentText());
    return text;
}

QString PropertiesDialog::lengthSummary() const
{
    return tr("от %1 до %2; шаг %3")
        .arg(cableLengthFromBox->value())
        .arg(cableLengthToBox->value())
        .arg(cableLengthStepBox->value());
}

void PropertiesDialog::applyRangeRule(Family family)
{
    if (rangeRuleSuspended)
        return;
    const ValueBoxes &boxes = valueBoxes(family);
    const int c = countBox(family)->currentIndex();
    for (int i = 0; i <= c; ++i) {
        int minimum = fullMinimum(family);
        int maximum = fullMaximum(family);
        if (i > 0)
            minimum = boxes[i - 1]->value() + 1;
        if (i < c)
            maximum = boxes[i + 1]->value() - 1;
        // A clamped value re-enters this rule through its valueChanged; an empty range
        // collapses to its minimum, so neighbours never overtake each other.
        boxes[i]->setRange(minimum, maximum);
    }
    summaryItem(family)->setText(1, valueSummary(family, c));
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

void PropertiesDialog::change_norm_ELFEXT_frequency()
{
    norm_ELFEXT_Item->setText(
        1, valueSummary(Family::Elfext, Norm_ELFEXT_pointsCountBox->currentIndex()));
}

void PropertiesDialog::change_norm_NEXT_frequency()
{
    norm_NEXT_Item->setText(1, valueSummary(Family::Next, Norm_NEXT_pointsCountBox->currentIndex()));
}

void PropertiesDialog::change_cableLengthFrom()
{
    cableLengthToBox->setRange(cableLengthFromBox->value() + cableLengthStepBox->value(),
                               LengthMaximum);
    cableLengthItem->setText(1, lengthSummary());
}

void PropertiesDialog::change_cableLengthTo()
{
    cableLengthFromBox->setRange(0, cableLengthToBox->value() - cableLengthStepBox->value());
    cableLengthItem->setText(1, lengthSummary());
}

void PropertiesDialog::change_cableLengthStep()
{
    cableLengthFromBox->setRange(0, cableLengthToBox->value() - cableLengthStepBox->value());
    cableLengthToBox->setRange(cableLengthFromBox->value() + cableLengthStepBox->value(),
                               LengthMaximum);
    cableLengthItem->setText(1, lengthSummary());
}

void PropertiesDialog::change_cableType(int)
{
    cableTypeItem->setText(1, templateSummary(cableTypeBoxes, cableTypeCountBox->currentIndex()));
}

void PropertiesDialog::change_lineType(int)
{
    lineTypeItem->setText(1, templateSummary(lineTypeBoxes, lineTypeCountBox->currentIndex()));
    updateNormRowsVisibility();
}

void PropertiesDialog::showTemplateSlots(const QVector<QComboBox *> &boxes,
                                         const QVector<QTreeWidgetItem *> &items, int lastSlot)
{
    for (int i = 0; i < boxes.size(); ++i) {
        const bool active = i <= lastSlot;
        items.at(i)->setHidden(!active);
        // The view shows the editor of a shown row when its branch is expanded.
        if (!active)
            boxes.at(i)->hide();
    }
}

void PropertiesDialog::showValueSlots(Family family, int lastSlot)
{
    const ValueBoxes &boxes = valueBoxes(family);
    const ValueItems &items = valueItems(family);
    for (int i = 0; i < ValueSlots; ++i) {
        const bool active = i <= lastSlot;
        items[i]->setHidden(!active);
        if (!active)
            boxes[i]->hide();
    }
}

void PropertiesDialog::change_cableTypeCount(int index)
{
    if (index < 0)
        return;
    showTemplateSlots(cableTypeBoxes, cableTypeItems, index);
    for (Family other : {Family::Load, Family::Elfext, Family::Next, Family::LineTypes,
                         Family::Margin})
        fallBack(other);
    cableTypeItem->setText(1, templateSummary(cableTypeBoxes, index));
}

void PropertiesDialog::change_lineTypeCount(int index)
{
    if (index < 0)
        return;
    showTemplateSlots(lineTypeBoxes, lineTypeItems, index);
    for (Family other : {Family::CableTypes, Family::Load, Family::Elfext, Family::Next,
                         Family::Margin})
        fallBack(other);
    lineTypeItem->setText(1, templateSummary(lineTypeBoxes, index));
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

void PropertiesDialog::changeValueCount(Family family, int index)
{
    if (index < 0)
        return;
    const int n = index + 1;
    const int span = fullMaximum(family) - spreadOffset(family);
    // Single precision on purpose: the rounded targets depend on it.
    const float spacing = float(span) / float(n);
    if (family == Family::Load && spacing < 1.0f) {
        // More loads than pairs: go back to the last accepted count, which spreads anew.
        xDSL_pointsCountBox->setCurrentIndex(lastAcceptedLoadCountIndex);
        return;
    }

    const ValueBoxes &boxes = valueBoxes(family);
    {
        // The old neighbour-bounded ranges and the range rule would clamp the targets
        // as they arrive one by one; open the full range and apply the rule once after.
        const QScopedValueRollback<bool> suspend(rangeRuleSuspended, true);
        for (int k = 1; k <= n; ++k) {
            boxes[k - 1]->setRange(fullMinimum(family), fullMaximum(family));
            boxes[k - 1]->setValue(spreadOffset(family) + qRound(double(k) * double(spacing)));
        }
    }
    showValueSlots(family, index);
    applyRangeRule(family);

    static const Family order[] = {Family::CableTypes, Family::Load, Family::Elfext, Family::Next,
                                   Family::LineTypes, Family::Margin};
    for (Family other : order) {
        if (other != family)
            fallBack(other);
    }

    // NEXT norms concern PAM line types, ELFEXT norms DMT ones: offer a line type that uses them.
    if (family == Family::Next)
        selectFirstLineTypeWith(QStringLiteral(".PAM"));
    else if (family == Family::Elfext)
        selectFirstLineTypeWith(QStringLiteral(".DMT"));

    summaryItem(family)->setText(1, valueSummary(family, index));
    if (family == Family::Load)
        lastAcceptedLoadCountIndex = xDSL_pointsCountBox->currentIndex();
}

void PropertiesDialog::selectFirstLineTypeWith(const QString &extension)
{
    if (lineTypeBoxes.isEmpty())
        return;
    QComboBox *first = lineTypeBoxes.first();
    const QString other = extension == QLatin1String(".PAM") ? QStringLiteral(".DMT")
                                                              : QStringLiteral(".PAM");
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

void PropertiesDialog::fallBack(Family family)
{
    QComboBox *count = countBox(family);
    if (family == Family::CableTypes || family == Family::LineTypes) {
        const bool cables = family == Family::CableTypes;
        const QVector<QComboBox *> &boxes = cables ? cableTypeBoxes : lineTypeBoxes;
        showTemplateSlots(boxes, cables ? cableTypeItems : lineTypeItems, 0);
        {
            const QSignalBlocker block(count); // a fall-back never runs a count slot
            count->setCurrentIndex(boxes.isEmpty() ? -1 : 0);
        }
        summaryItem(family)->setText(1, templateSummary(boxes, 0));
        if (!cables)
            updateNormRowsVisibility();
        return;
    }
    showValueSlots(family, 0);
    {
        const QSignalBlocker block(count);
        count->setCurrentIndex(0);
    }
    // Slot 0 keeps its value and its range until its next change runs the range rule.
    summaryItem(family)->setText(1, valueSummary(family, 0));
}
