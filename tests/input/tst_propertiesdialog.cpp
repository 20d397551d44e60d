#include "input/propertiesdialog.h"

#include "engine/calcinput.h"
#include "engine/workspace.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <memory>

Q_DECLARE_METATYPE(CalcSettings)

namespace {

// Editor object names and the top-row caption of one family of the tree.
struct FamilyNames {
    QString countBox;
    QString slotPrefix;
    QString caption;
};

FamilyNames familyNames(const QString &key)
{
    if (key == QLatin1String("cable"))
        return {"cableTypeCountBox", "cableTypeBoxes", "Тип кабеля"};
    if (key == QLatin1String("line"))
        return {"lineTypeCountBox", "lineTypeBoxes", "Тип линии xDSL"};
    if (key == QLatin1String("load"))
        return {"xDSL_pointsCountBox", "xDSL_pointsBoxes", "Загрузка кабеля (пучка) m"};
    if (key == QLatin1String("elfext"))
        return {"Norm_ELFEXT_pointsCountBox", "Norm_ELFEXT_pointsBoxes", "Нормы ELFEXT для 1км"};
    if (key == QLatin1String("next"))
        return {"Norm_NEXT_pointsCountBox", "Norm_NEXT_pointsBoxes", "Нормы NEXT"};
    if (key == QLatin1String("margin"))
        return {"SNRMargin_pointsCountBox", "SNRMargin_pointsBoxes",
                "Запас помехозащищенности SNR Margin"};
    if (key == QLatin1String("targets"))
        return {"targetRatesCountBox", "targetRatesBoxes", "Целевые скорости, кбит/с"};
    return {};
}

const QStringList allFamilies = {"cable", "line", "load", "elfext", "next", "margin"};

// Entries ending in "/" become subdirectories, the rest empty files.
void populate(const QString &directory, const QStringList &entries)
{
    QDir().mkpath(directory);
    for (const QString &entry : entries) {
        if (entry.endsWith(QLatin1Char('/'))) {
            QDir(directory).mkpath(entry);
        } else {
            QFile file(QDir(directory).filePath(entry));
            file.open(QIODevice::WriteOnly);
        }
    }
}

const QStringList standardCables = {"c.att", "B.att", "a.att"};
const QStringList standardLines = {"x.DMT", "y.PAM"};
const QStringList standardNoises = {"n1.add", "n2.add", "n3.add"};

// A dialog shown on a temporary workspace.
struct Fixture {
    QTemporaryDir workspace;
    std::unique_ptr<PropertiesDialog> dialog;

    bool open(const QStringList &cables = standardCables,
              const QStringList &lines = standardLines,
              const QStringList &noises = standardNoises)
    {
        if (!workspace.isValid())
            return false;
        populate(workspace.filePath("Cable"), cables);
        populate(workspace.filePath("xDSL"), lines);
        populate(workspace.filePath("AddNoise"), noises);
        return show();
    }

    bool show()
    {
        dialog = std::make_unique<PropertiesDialog>(nullptr, workspace.path());
        dialog->show();
        return QTest::qWaitForWindowExposed(dialog.get());
    }

    template <typename T>
    T *editor(const QString &name) const
    {
        return dialog->findChild<T *>(name);
    }
    QComboBox *countBox(const QString &family) const
    {
        return editor<QComboBox>(familyNames(family).countBox);
    }
    QSpinBox *valueBox(const QString &family, int slot) const
    {
        return editor<QSpinBox>(familyNames(family).slotPrefix + QString::number(slot));
    }
    QComboBox *templateBox(const QString &family, int slot) const
    {
        return editor<QComboBox>(familyNames(family).slotPrefix + QString::number(slot));
    }
    QTreeWidgetItem *topRow(const QString &family) const
    {
        const auto tree = editor<QTreeWidget>("propertyTree");
        const QList<QTreeWidgetItem *> rows =
            tree->findItems(familyNames(family).caption, Qt::MatchExactly, 0);
        return rows.value(0);
    }
    QString summary(const QString &family) const { return topRow(family)->text(1); }
    QTreeWidgetItem *row(const QString &caption) const
    {
        return editor<QTreeWidget>("propertyTree")->findItems(caption, Qt::MatchExactly, 0).value(0);
    }
    QString lengthSummary() const { return row("Изменение длины кабеля в диапазоне, м")->text(1); }
    QString sectionSummary() const { return row("Участки кабеля")->text(1); }
    QComboBox *sectionCount() const { return editor<QComboBox>("sectionCountBox"); }
    QComboBox *sectionCable(int slot) const { return editor<QComboBox>("sectionCableBoxes" + QString::number(slot)); }
    QSpinBox *sectionLength(int slot) const { return editor<QSpinBox>("sectionLengthBoxes" + QString::number(slot)); }
    QList<int> values(const QString &family) const
    {
        QList<int> result;
        // The target count box starts at 0, the others at 1.
        const int last = countBox(family)->currentIndex() - (family == QLatin1String("targets") ? 1 : 0);
        for (int i = 0; i <= last; ++i)
            result << valueBox(family, i)->value();
        return result;
    }
    bool rowShown(QWidget *editor) const { return !dialog->rowOf(editor)->isHidden(); }
    CalcSettings settings() const
    {
        CalcSettings record;
        dialog->fillSettings(record);
        return record;
    }

    // "next=2" picks count index 2, "targets=3" three target rates, "target1=5000" sets the
    // second target, "capacity=10", "from=", "to=", "step=" set spin boxes, "typefrom=9500"
    // types into the From box; "sections=2" sets the number of sections, "length1=700" the
    // length of the first, "cable1=2" picks its third cable name.
    void apply(const QString &action) const
    {
        const QString key = action.section(QLatin1Char('='), 0, 0);
        const int value = action.section(QLatin1Char('='), 1).toInt();
        if (allFamilies.contains(key) || key == QLatin1String("targets")) {
            countBox(key)->setCurrentIndex(value);
        } else if (key == QLatin1String("sections")) {
            sectionCount()->setCurrentIndex(value);
        } else if (key.startsWith(QLatin1String("length"))) {
            sectionLength(key.mid(6).toInt() - 1)->setValue(value);
        } else if (key.startsWith(QLatin1String("cable"))) {
            sectionCable(key.mid(5).toInt() - 1)->setCurrentIndex(value);
        } else if (key.startsWith(QLatin1String("target"))) {
            valueBox(QStringLiteral("targets"), key.mid(6).toInt())->setValue(value);
        } else if (key == QLatin1String("capacity")) {
            editor<QSpinBox>("cableCapacityBox")->setValue(value);
        } else if (key == QLatin1String("typefrom")) {
            QSpinBox *box = editor<QSpinBox>("cableLengthFromBox");
            box->selectAll();
            QTest::keyClicks(box, QString::number(value));
        } else {
            editor<QSpinBox>("cableLength" + key.left(1).toUpper() + key.mid(1) + "Box")
                ->setValue(value);
        }
    }
};

} // namespace

class tst_PropertiesDialog : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void templateLists_data();
    void templateLists();
    void untouchedDefaults_data();
    void untouchedDefaults();
    void normRows_data();
    void normRows();
    void spreadValues_data();
    void spreadValues();
    void rangeRule_data();
    void rangeRule();
    void capacityBoundsLoad_data();
    void capacityBoundsLoad();
    void lengthCoupling_data();
    void lengthCoupling();
    void fallBack_data();
    void fallBack();
    void loadRefusal_data();
    void loadRefusal();
    void lineTypeFollowsNorms_data();
    void lineTypeFollowsNorms();
    void severalTemplates_data();
    void severalTemplates();
    void frequencyInSummary_data();
    void frequencyInSummary();
    void emptyTemplateDirectories_data();
    void emptyTemplateDirectories();
    void reopenKeepsState();
    void cancelReturnsToTheAcceptedState_data();
    void cancelReturnsToTheAcceptedState();
    void loadSettings_data();
    void loadSettings();
    void loadedDialogStaysLive();
    void sectionRows();
    void sections_data();
    void sections();
    void loadedSectionsStayLive();
    void targetCounts_data();
    void targetCounts();
    void targetRangeRule();
    void targetsAreNoFamily_data();
    void targetsAreNoFamily();
};

void tst_PropertiesDialog::construction()
{
    Fixture f;
    QVERIFY(f.open());
    PropertiesDialog &d = *f.dialog;
    QCOMPARE(d.windowTitle(), QStringLiteral("Kolvane - настройка"));
    QVERIFY(d.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(d.windowFlags() & Qt::WindowContextHelpButtonHint));

    const auto tree = f.editor<QTreeWidget>("propertyTree");
    QVERIFY(tree);
    QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Свойство"));
    QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Значение"));
    QStringList captions;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        captions << tree->topLevelItem(i)->text(0);
    // Opened with every branch and every row in sight: no field waits behind a collapsed row.
    for (QTreeWidgetItemIterator it(tree, QTreeWidgetItemIterator::NotHidden); *it; ++it) {
        if ((*it)->parent() && tree->visualItemRect((*it)->parent()).isEmpty())
            continue; // under a hidden row
        QVERIFY((*it)->childCount() == 0 || (*it)->isExpanded());
        QVERIFY2(tree->viewport()->rect().contains(tree->visualItemRect(*it)), qPrintable((*it)->text(0)));
        if (QWidget *editor = tree->itemWidget(*it, 1))
            QVERIFY(editor->isVisible());
    }
    QCOMPARE(captions, (QStringList{"Тип кабеля", "Участки кабеля", "Емкость кабеля (пучка) M, пар",
                                    "Загрузка кабеля (пучка) m", "Нормы ELFEXT для 1км",
                                    "Нормы NEXT", "Изменение длины кабеля в диапазоне, м",
                                    "Тип линии xDSL", "Запас помехозащищенности SNR Margin",
                                    "Выигрыш кодирования, дБ", "Векторизация: глубина подавления D, дБ",
                                    "Шаблон помех на входе приемника", "Целевые скорости, кбит/с"}));
    QCOMPARE(f.lengthSummary(), QStringLiteral("от 1000 до 10000; шаг 1000"));

    // Rows of the load family: count row, then ten slots of which only the first is shown.
    QTreeWidgetItem *countRow = f.topRow("load")->child(0);
    QCOMPARE(countRow->text(0), QStringLiteral("всего возможных значений"));
    QCOMPARE(countRow->childCount(), 10);
    QCOMPARE(countRow->child(9)->text(0), QStringLiteral("значение 10, линий xDSL"));
    QCOMPARE(f.countBox("margin")->count(), 10);
    QCOMPARE(f.countBox("margin")->itemText(9), QStringLiteral("10"));
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(countRow->child(i)->isHidden(), i > 0);
        QCOMPARE(d.rowOf(f.valueBox("load", i)), countRow->child(i));
    }
    QCOMPARE(f.valueBox("next", 3)->minimum(), 10);
    QCOMPARE(f.valueBox("next", 3)->maximum(), 120);
    QCOMPARE(f.valueBox("load", 0)->maximum(), 99);

    // Target rates: none at first, up to ten, each 1 ... 1000000 kbit/s.
    QComboBox *targets = f.countBox("targets");
    QCOMPARE(targets->count(), 11);
    QCOMPARE(targets->itemText(0), QStringLiteral("0"));
    QCOMPARE(targets->itemText(10), QStringLiteral("10"));
    QCOMPARE(targets->currentIndex(), 0);
    QCOMPARE(f.summary("targets"), QStringLiteral("нет"));
    QTreeWidgetItem *targetRows = f.topRow("targets")->child(0);
    QCOMPARE(targetRows->childCount(), 10);
    QCOMPARE(targetRows->child(0)->text(0), QStringLiteral("значение 1, кбит/с"));
    for (int i = 0; i < 10; ++i)
        QVERIFY(targetRows->child(i)->isHidden());
    QCOMPARE(f.valueBox("targets", 9)->minimum(), 1);
    QCOMPARE(f.valueBox("targets", 9)->maximum(), 1000000);
    QVERIFY(f.settings().targetRates.isEmpty());

    for (const QComboBox *box : d.findChildren<QComboBox *>())
        QVERIFY2(!box->hasFrame(), qPrintable(box->objectName()));
    for (const QSpinBox *box : d.findChildren<QSpinBox *>())
        QVERIFY2(!box->hasFrame(), qPrintable(box->objectName()));
}

void tst_PropertiesDialog::templateLists_data()
{
    QTest::addColumn<QStringList>("cables");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("noises");
    QTest::addColumn<QStringList>("cableNames");
    QTest::addColumn<QStringList>("lineNames");
    QTest::addColumn<QString>("noise");

    QTest::newRow("names in case-ignoring order")
        << standardCables << standardLines << standardNoises << QStringList{"a", "B", "c"}
        << QStringList{"x.DMT", "y.PAM"} << "n3";
    QTest::newRow("missing .att kept, .att.old cut")
        << QStringList{"readme", "q.att.old"} << QStringList{"v.PAM"} << standardNoises
        << QStringList{"q", "readme"} << QStringList{"v.PAM"} << "n3";
    QTest::newRow("subdirectory and foreign file listed, hidden file not")
        << QStringList{"sub/", ".hidden.att", "k.att"} << QStringList{"notes.txt", "x.DMT"}
        << standardNoises << QStringList{"k", "sub"} << QStringList{"notes.txt", "x.DMT"} << "n3";
    QTest::newRow("third noise in case-ignoring order")
        << standardCables << standardLines << QStringList{"D.add", "c.add", "A.add", "b.x.add"}
        << QStringList{"a", "B", "c"} << QStringList{"x.DMT", "y.PAM"} << "c";
    QTest::newRow("noise names keep their dots before .add")
        << standardCables << standardLines << QStringList{"AWGN-140.5.add", "AWGN-130.add", "AWGN-140+ISDN.add"}
        << QStringList{"a", "B", "c"} << QStringList{"x.DMT", "y.PAM"} << "AWGN-140.5";
    QTest::newRow("two noise files leave none current")
        << standardCables << standardLines << QStringList{"a.add", "b.add"}
        << QStringList{"a", "B", "c"} << QStringList{"x.DMT", "y.PAM"} << "";
}

void tst_PropertiesDialog::templateLists()
{
    QFETCH(QStringList, cables);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, noises);
    QFETCH(QStringList, cableNames);
    QFETCH(QStringList, lineNames);
    QFETCH(QString, noise);

    Fixture f;
    QVERIFY(f.open(cables, lines, noises));
    const QList<QPair<QString, QStringList>> families = {{"cable", cableNames}, {"line", lineNames}};
    for (const auto &[family, names] : families) {
        QComboBox *count = f.countBox(family);
        QCOMPARE(count->count(), names.size());
        for (int k = 0; k < names.size(); ++k) {
            QCOMPARE(count->itemText(k), QString::number(k + 1));
            QComboBox *slot = f.templateBox(family, k);
            QVERIFY(slot);
            QStringList offered;
            for (int i = 0; i < slot->count(); ++i)
                offered << slot->itemText(i);
            QCOMPARE(offered, names);
            QCOMPARE(slot->currentIndex(), 0);
            QCOMPARE(f.dialog->rowOf(slot)->text(0), QStringLiteral("файл %1").arg(k + 1));
            QCOMPARE(f.rowShown(slot), k == 0);
        }
        QVERIFY(!f.templateBox(family, names.size()));
        QCOMPARE(f.summary(family), names.first());
    }
    const auto noiseBox = f.editor<QComboBox>("noiseTemplateBox");
    QCOMPARE(noiseBox->currentIndex(), noise.isEmpty() ? -1 : 2);
    QCOMPARE(noiseBox->currentText(), noise);
    QCOMPARE(f.settings().noiseTemplate, noise);
}

void tst_PropertiesDialog::untouchedDefaults_data()
{
    QTest::addColumn<QStringList>("cables");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("noises");
    QTest::addColumn<QString>("cable");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("noise");

    QTest::newRow("standard workspace")
        << standardCables << standardLines << standardNoises << "a" << "x.DMT" << "n3";
    QTest::newRow("PAM line type first, .att.old cable")
        << QStringList{"q.att.old"} << QStringList{"m.PAM", "n.DMT"} << QStringList{"w.add"}
        << "q" << "m.PAM" << "";
    QTest::newRow("empty template directories")
        << QStringList{} << QStringList{} << QStringList{} << "" << "" << "";
}

void tst_PropertiesDialog::untouchedDefaults()
{
    QFETCH(QStringList, cables);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, noises);
    QFETCH(QString, cable);
    QFETCH(QString, line);
    QFETCH(QString, noise);

    Fixture f;
    QVERIFY(f.open(cables, lines, noises));
    QSignalSpy accepted(f.dialog.get(), &QDialog::accepted);
    QTest::mouseClick(f.editor<QPushButton>("calculateButton"), Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
    QVERIFY(!f.dialog->isVisible());

    const CalcSettings s = f.settings();
    QCOMPARE(s, defaultCalcSettings(f.workspace.path()));
    QCOMPARE(s.cableTypes, cable.isEmpty() ? QStringList() : QStringList{cable});
    QCOMPARE(s.lineTypes, line.isEmpty() ? QStringList() : QStringList{line});
    QCOMPARE(s.noiseTemplate, noise);
    QCOMPARE(s.cableCapacity, 4);
    QCOMPARE(s.xDSL_points, QVector<int>{1});
    QCOMPARE(s.Norm_NEXT_points, QVector<float>{10.0f});
    QCOMPARE(s.Norm_ELFEXT_points, QVector<float>{10.0f});
    QCOMPARE(s.norm_NEXT_frequency, 300.0f);
    QCOMPARE(s.norm_ELFEXT_frequency, 300.0f);
    QCOMPARE(s.cableLengthFrom, 1000);
    QCOMPARE(s.cableLengthTo, 10000);
    QCOMPARE(s.cableLengthStep, 1000);
    QCOMPARE(s.SNRMargin_points, QVector<float>{0.0f});
    QCOMPARE(s.maxRate, 0);
    QCOMPARE(s.cableTypesText, cable);
    QCOMPARE(s.lineTypesText, line);
    QCOMPARE(s.xDSL_pointsText, QStringLiteral("1"));
    QCOMPARE(s.norm_NEXT_Text, QStringLiteral("10дБ(300кГц)"));
    QCOMPARE(s.norm_ELFEXT_Text, QStringLiteral("10дБ(300кГц)"));
    QCOMPARE(s.SNRMarginText, QStringLiteral("0 дБ"));
}

void tst_PropertiesDialog::normRows_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("lineCountIndex");
    QTest::addColumn<int>("secondLine"); // name index picked in line slot 2, -1: none
    QTest::addColumn<bool>("elfextShown");
    QTest::addColumn<bool>("nextShown");

    QTest::newRow("DMT first shows ELFEXT") << standardLines << 0 << -1 << true << false;
    QTest::newRow("PAM first shows NEXT") << QStringList{"a.PAM", "b.DMT"} << 0 << -1 << false
                                          << true;
    QTest::newRow("DMT and PAM active show both") << standardLines << 1 << 1 << true << true;
    QTest::newRow("second slot alike shows one") << standardLines << 1 << 0 << true << false;
    QTest::newRow("PAM in a hidden slot shows nothing more")
        << standardLines << 0 << 1 << true << false;
    QTest::newRow("foreign file shows neither") << QStringList{"notes.txt", "x.DMT"} << 0 << -1
                                                << false << false;
    QTest::newRow("extension test is case-sensitive") << QStringList{"z.dmt"} << 0 << -1 << false
                                                      << false;
}

void tst_PropertiesDialog::normRows()
{
    QFETCH(QStringList, lines);
    QFETCH(int, lineCountIndex);
    QFETCH(int, secondLine);
    QFETCH(bool, elfextShown);
    QFETCH(bool, nextShown);

    Fixture f;
    QVERIFY(f.open(standardCables, lines));
    if (secondLine >= 0) {
        // Pick PAM in slot 2 first, then hide it again, so the row rule sees only active slots.
        f.apply(QStringLiteral("line=1"));
        f.templateBox("line", 1)->setCurrentIndex(secondLine);
    }
    f.apply(QStringLiteral("line=%1").arg(lineCountIndex));
    QCOMPARE(!f.topRow("elfext")->isHidden(), elfextShown);
    QCOMPARE(!f.topRow("next")->isHidden(), nextShown);
    // Hidden norm rows are still part of the record.
    QCOMPARE(f.settings().Norm_NEXT_points.size(), 1);
    QCOMPARE(f.settings().Norm_ELFEXT_points.size(), 1);
}

void tst_PropertiesDialog::spreadValues_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("countIndex");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<QString>("summary");

    const QList<QList<int>> norms = {
        {120}, {65, 120}, {47, 83, 120}, {38, 65, 93, 120}, {32, 54, 76, 98, 120},
        {28, 47, 65, 83, 102, 120}, {26, 41, 57, 73, 89, 104, 120},
        {24, 38, 51, 65, 79, 93, 106, 120}, {22, 34, 47, 59, 71, 83, 96, 108, 120},
        {21, 32, 43, 54, 65, 76, 87, 98, 109, 120}};
    const QList<QList<int>> margins = {
        {30}, {15, 30}, {10, 20, 30}, {8, 15, 23, 30}, {6, 12, 18, 24, 30},
        {5, 10, 15, 20, 25, 30}, {4, 9, 13, 17, 21, 26, 30}, {4, 8, 11, 15, 19, 23, 26, 30},
        {3, 7, 10, 13, 17, 20, 23, 27, 30}, {3, 6, 9, 12, 15, 18, 21, 24, 27, 30}};
    auto join = [](const QList<int> &v) {
        QStringList parts;
        for (int x : v)
            parts << QString::number(x);
        return parts.join(QLatin1Char(','));
    };
    for (int i = 0; i < 10; ++i) {
        // A count of one is only reached from another count: picking the shown one does nothing.
        const QStringList before = i == 0 ? QStringList{"next=2"} : QStringList{};
        QTest::addRow("NEXT %d values", i + 1) << before << "next" << i << norms[i]
                                               << join(norms[i]) + "дБ(300кГц)";
        const QStringList beforeMargin = i == 0 ? QStringList{"margin=3"} : QStringList{};
        QTest::addRow("SNR margin %d values", i + 1) << beforeMargin << "margin" << i << margins[i]
                                                     << join(margins[i]) + "дБ";
    }
    QTest::newRow("ELFEXT 3 values") << QStringList{} << "elfext" << 2 << norms[2]
                                     << "47,83,120дБ(300кГц)";
    QTest::newRow("NEXT 3 to 2 values, top not pulled back")
        << QStringList{"next=2"} << "next" << 1 << norms[1] << "65,120дБ(300кГц)";
    QTest::newRow("NEXT 2 to 3 values, middle not pulled back")
        << QStringList{"next=1"} << "next" << 2 << norms[2] << "47,83,120дБ(300кГц)";
    QTest::newRow("NEXT 10 to 9 values") << QStringList{"next=9"} << "next" << 8 << norms[8]
                                         << join(norms[8]) + "дБ(300кГц)";
    QTest::newRow("SNR margin 10 to 4 values") << QStringList{"margin=9"} << "margin" << 3
                                               << margins[3] << "8,15,23,30дБ";
    QTest::newRow("load M=4, 1 value") << QStringList{"load=1"} << "load" << 0 << QList<int>{4}
                                       << "4";
    QTest::newRow("load M=4, 2 values") << QStringList{} << "load" << 1 << QList<int>{2, 4}
                                        << "2,4";
    QTest::newRow("load M=4, 3 values") << QStringList{} << "load" << 2 << QList<int>{1, 3, 4}
                                        << "1,3,4";
    QTest::newRow("load M=4, 4 values") << QStringList{} << "load" << 3
                                        << QList<int>{1, 2, 3, 4} << "1,2,3,4";
    QTest::newRow("load M=10, 3 values") << QStringList{"capacity=10"} << "load" << 2
                                         << QList<int>{3, 7, 10} << "3,7,10";
    // 3 x float(7/6) falls just below 3.5: the spacing must stay single precision.
    QTest::newRow("load M=7, 6 values") << QStringList{"capacity=7"} << "load" << 5
                                        << QList<int>{1, 2, 3, 5, 6, 7} << "1,2,3,5,6,7";
    QTest::newRow("load M=10, 4 to 3 values") << QStringList{"capacity=10", "load=3"} << "load"
                                              << 2 << QList<int>{3, 7, 10} << "3,7,10";
}

void tst_PropertiesDialog::spreadValues()
{
    QFETCH(QStringList, before);
    QFETCH(QString, family);
    QFETCH(int, countIndex);
    QFETCH(QList<int>, expected);
    QFETCH(QString, summary);

    Fixture f;
    QVERIFY(f.open());
    for (const QString &action : std::as_const(before))
        f.apply(action);
    f.apply(QStringLiteral("%1=%2").arg(family).arg(countIndex));
    f.editor<QTreeWidget>("propertyTree")->expandAll(); // the NEXT row may only now be shown

    QCOMPARE(f.countBox(family)->currentIndex(), countIndex);
    QCOMPARE(f.values(family), expected);
    QCOMPARE(f.summary(family), summary);
    for (int i = 0; i < 10; ++i) {
        QSpinBox *box = f.valueBox(family, i);
        QCOMPARE(f.rowShown(box), i <= countIndex);
        QTRY_COMPARE(box->isVisible(), i <= countIndex);
        if (i > countIndex || countIndex == 0)
            continue;
        // Each active box is bounded by its neighbours.
        if (i > 0)
            QCOMPARE(box->minimum(), expected[i - 1] + 1);
        if (i < countIndex)
            QCOMPARE(box->maximum(), expected[i + 1] - 1);
    }
    for (const QString &other : allFamilies) {
        if (other != family)
            QCOMPARE(f.countBox(other)->currentIndex(), 0);
    }

    const CalcSettings s = f.settings();
    QList<int> recorded;
    if (family == QLatin1String("load"))
        recorded = s.xDSL_points;
    const QVector<float> floats = family == QLatin1String("next")     ? s.Norm_NEXT_points
                                  : family == QLatin1String("elfext") ? s.Norm_ELFEXT_points
                                  : s.SNRMargin_points;
    if (family != QLatin1String("load")) {
        for (float v : floats)
            recorded << int(v);
    }
    QCOMPARE(recorded, expected);
}

void tst_PropertiesDialog::rangeRule_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("value");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<QString>("summary");

    QTest::newRow("middle NEXT raised past its upper neighbour")
        << QStringList{"next=2"} << "next" << 1 << 200 << QList<int>{47, 119, 120}
        << "47,119,120дБ(300кГц)";
    QTest::newRow("middle NEXT lowered past its lower neighbour")
        << QStringList{"next=2"} << "next" << 1 << 30 << QList<int>{47, 48, 120}
        << "47,48,120дБ(300кГц)";
    QTest::newRow("middle NEXT moved between its neighbours")
        << QStringList{"next=2"} << "next" << 1 << 100 << QList<int>{47, 100, 120}
        << "47,100,120дБ(300кГц)";
    QTest::newRow("first ELFEXT raised pushes the second's minimum")
        << QStringList{"elfext=1"} << "elfext" << 0 << 90 << QList<int>{90, 120}
        << "90,120дБ(300кГц)";
    QTest::newRow("top SNR margin lowered pulls the first's maximum")
        << QStringList{"margin=1"} << "margin" << 1 << 20 << QList<int>{15, 20} << "15,20дБ";
    QTest::newRow("single SNR margin edited loses the blank")
        << QStringList{} << "margin" << 0 << 5 << QList<int>{5} << "5дБ";
    QTest::newRow("single NEXT value keeps the full range")
        << QStringList{} << "next" << 0 << 200 << QList<int>{120} << "120дБ(300кГц)";
    QTest::newRow("first load value raised past the top")
        << QStringList{"load=1"} << "load" << 0 << 9 << QList<int>{3, 4} << "3,4";
    QTest::newRow("single load value bounded by M")
        << QStringList{} << "load" << 0 << 9 << QList<int>{4} << "4";
}

void tst_PropertiesDialog::rangeRule()
{
    QFETCH(QStringList, before);
    QFETCH(QString, family);
    QFETCH(int, slot);
    QFETCH(int, value);
    QFETCH(QList<int>, expected);
    QFETCH(QString, summary);

    Fixture f;
    QVERIFY(f.open());
    for (const QString &action : std::as_const(before))
        f.apply(action);
    f.valueBox(family, slot)->setValue(value);

    QCOMPARE(f.values(family), expected);
    QCOMPARE(f.summary(family), summary);
    const int last = expected.size() - 1;
    const int fullMin = family == QLatin1String("load") ? 1 : family == QLatin1String("margin") ? 0 : 10;
    const int fullMax = family == QLatin1String("load") ? 4 : family == QLatin1String("margin") ? 30 : 120;
    for (int i = 0; i <= last; ++i) {
        QSpinBox *box = f.valueBox(family, i);
        QCOMPARE(box->minimum(), i == 0 ? fullMin : expected[i - 1] + 1);
        QCOMPARE(box->maximum(), i == last ? qMax(fullMax, box->minimum()) : expected[i + 1] - 1);
    }
}

void tst_PropertiesDialog::capacityBoundsLoad_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<int>("topMaximum");

    QTest::newRow("M below the top value pulls it down")
        << QStringList{"load=1"} << 3 << QList<int>{2, 3} << 3;
    QTest::newRow("M below the number of values leaves upper values above M")
        << QStringList{"load=3"} << 2 << QList<int>{1, 2, 3, 4} << 4;
    QTest::newRow("larger M widens the top range")
        << QStringList{"load=1"} << 10 << QList<int>{2, 4} << 10;
    QTest::newRow("single value follows M down") << QStringList{} << 1 << QList<int>{1} << 1;
}

void tst_PropertiesDialog::capacityBoundsLoad()
{
    QFETCH(QStringList, before);
    QFETCH(int, capacity);
    QFETCH(QList<int>, expected);
    QFETCH(int, topMaximum);

    Fixture f;
    QVERIFY(f.open());
    for (const QString &action : std::as_const(before))
        f.apply(action);
    f.apply(QStringLiteral("capacity=%1").arg(capacity));
    QCOMPARE(f.values("load"), expected);
    QCOMPARE(f.valueBox("load", expected.size() - 1)->maximum(), topMaximum);
    QCOMPARE(f.settings().cableCapacity, capacity);
}

void tst_PropertiesDialog::lengthCoupling_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("fromMaximum");
    QTest::addColumn<int>("toMinimum");

    QTest::newRow("raising From lifts To") << QStringList{"from=9500"} << 9500 << 10500 << 1000
                                           << 9500 << 10500;
    QTest::newRow("typing From lifts To") << QStringList{"typefrom=9500"} << 9500 << 10500
                                          << 1000 << 9500 << 10500;
    QTest::newRow("lowering To below From + Step") << QStringList{"to=500"} << 0 << 1000 << 1000
                                                   << 0 << 1000;
    QTest::newRow("From cannot rise until To grows") << QStringList{"to=500", "from=300"} << 0
                                                     << 1000 << 1000 << 0 << 1000;
    QTest::newRow("From rises again once To grows")
        << QStringList{"to=500", "to=3000", "from=1500"} << 1500 << 3000 << 1000 << 2000 << 2500;
    QTest::newRow("larger step pulls From down") << QStringList{"from=8000", "step=3000"} << 7000
                                                 << 10000 << 3000 << 7000 << 10000;
    QTest::newRow("step past the span lifts To")
        << QStringList{"from=9500", "step=5000"} << 5500 << 10500 << 5000 << 5500 << 10500;
    // "to" never passes the longest loop; "from" gives way to keep a step between them.
    QTest::newRow("From near the longest loop stops To there")
        << QStringList{"from=29500"} << 29000 << 30000 << 1000 << 29000 << 30000;
}

void tst_PropertiesDialog::lengthCoupling()
{
    QFETCH(QStringList, actions);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, step);
    QFETCH(int, fromMaximum);
    QFETCH(int, toMinimum);

    Fixture f;
    QVERIFY(f.open());
    f.editor<QTreeWidget>("propertyTree")->expandAll();
    for (const QString &action : std::as_const(actions))
        f.apply(action);
    const auto fromBox = f.editor<QSpinBox>("cableLengthFromBox");
    const auto toBox = f.editor<QSpinBox>("cableLengthToBox");
    QCOMPARE(fromBox->value(), from);
    QCOMPARE(toBox->value(), to);
    QCOMPARE(f.editor<QSpinBox>("cableLengthStepBox")->value(), step);
    QCOMPARE(fromBox->maximum(), fromMaximum);
    QCOMPARE(toBox->minimum(), toMinimum);
    QCOMPARE(f.lengthSummary(), QStringLiteral("от %1 до %2; шаг %3").arg(from).arg(to).arg(step));
    const CalcSettings s = f.settings();
    QCOMPARE(s.cableLengthFrom, from);
    QCOMPARE(s.cableLengthTo, to);
    QCOMPARE(s.cableLengthStep, step);
}

void tst_PropertiesDialog::fallBack_data()
{
    QTest::addColumn<QStringList>("actions");
    // Count indexes and summaries in the order cable, line, load, elfext, next, margin.
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<QStringList>("summaries");

    QTest::newRow("SNR count after two cable types")
        << QStringList{"cable=1", "margin=1"} << QList<int>{0, 0, 0, 0, 0, 1}
        << QStringList{"a", "x.DMT", "1", "10дБ(300кГц)", "10дБ(300кГц)", "15,30дБ"};
    QTest::newRow("fall-back keeps the first NEXT value without spreading")
        << QStringList{"next=2", "margin=2"} << QList<int>{0, 0, 0, 0, 0, 2}
        << QStringList{"a", "y.PAM", "1", "10дБ(300кГц)", "47дБ(300кГц)", "10,20,30дБ"};
    QTest::newRow("cable count falls back loads")
        << QStringList{"load=1", "cable=2"} << QList<int>{2, 0, 0, 0, 0, 0}
        << QStringList{"a, a, a", "x.DMT", "2", "10дБ(300кГц)", "10дБ(300кГц)", "0дБ"};
    QTest::newRow("line count falls back norms")
        << QStringList{"elfext=1", "line=1"} << QList<int>{0, 1, 0, 0, 0, 0}
        << QStringList{"a", "x.DMT, x.DMT", "1", "65дБ(300кГц)", "10дБ(300кГц)", "0дБ"};
    QTest::newRow("load count falls back line types")
        << QStringList{"line=1", "load=1"} << QList<int>{0, 0, 1, 0, 0, 0}
        << QStringList{"a", "x.DMT", "2,4", "10дБ(300кГц)", "10дБ(300кГц)", "0дБ"};
    QTest::newRow("ELFEXT count falls back NEXT")
        << QStringList{"next=3", "elfext=1"} << QList<int>{0, 0, 0, 1, 0, 0}
        << QStringList{"a", "x.DMT", "1", "65,120дБ(300кГц)", "38дБ(300кГц)", "0дБ"};
}

void tst_PropertiesDialog::fallBack()
{
    QFETCH(QStringList, actions);
    QFETCH(QList<int>, counts);
    QFETCH(QStringList, summaries);

    Fixture f;
    QVERIFY(f.open());
    for (const QString &action : std::as_const(actions))
        f.apply(action);
    for (int i = 0; i < allFamilies.size(); ++i) {
        const QString &family = allFamilies.at(i);
        QCOMPARE(f.countBox(family)->currentIndex(), counts.at(i));
        QCOMPARE(f.summary(family), summaries.at(i));
        const int slotCount = family == QLatin1String("cable") ? 3 : family == QLatin1String("line") ? 2 : 10;
        for (int k = 0; k < slotCount; ++k)
            QCOMPARE(f.rowShown(f.editor<QWidget>(familyNames(family).slotPrefix
                                                  + QString::number(k))),
                     k <= counts.at(i));
    }
    const CalcSettings s = f.settings();
    const QList<int> sizes = {int(s.cableTypes.size()), int(s.lineTypes.size()),
                              int(s.xDSL_points.size()), int(s.Norm_ELFEXT_points.size()),
                              int(s.Norm_NEXT_points.size()), int(s.SNRMargin_points.size())};
    QList<int> expectedSizes;
    for (int c : counts)
        expectedSizes << c + 1;
    QCOMPARE(sizes, expectedSizes);
    QCOMPARE(s.cableTypesText, summaries.at(0));
    QCOMPARE(s.lineTypesText, summaries.at(1));
}

void tst_PropertiesDialog::loadRefusal_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("countIndex");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("5 loads for M=4, none accepted before")
        << QStringList{} << 0 << QList<int>{4};
    QTest::newRow("5 loads for M=4 return to 2 accepted") << QStringList{"load=1"} << 1
                                                          << QList<int>{2, 4};
    QTest::newRow("accepted count survives a fall-back")
        << QStringList{"load=2", "next=2"} << 2 << QList<int>{1, 3, 4};
    QTest::newRow("5 loads for M=10 accepted")
        << QStringList{"capacity=10"} << 4 << QList<int>{2, 4, 6, 8, 10};
}

void tst_PropertiesDialog::loadRefusal()
{
    QFETCH(QStringList, before);
    QFETCH(int, countIndex);
    QFETCH(QList<int>, expected);

    Fixture f;
    QVERIFY(f.open());
    for (const QString &action : std::as_const(before))
        f.apply(action);
    f.apply(QStringLiteral("margin=1"));
    f.apply(QStringLiteral("load=4"));
    QCOMPARE(f.countBox("load")->currentIndex(), countIndex);
    QCOMPARE(f.values("load"), expected);
    QCOMPARE(f.settings().xDSL_points, QVector<int>(expected.begin(), expected.end()));
    QCOMPARE(f.countBox("margin")->currentIndex(), 0);
    QCOMPARE(f.countBox("next")->currentIndex(), 0);
}

void tst_PropertiesDialog::lineTypeFollowsNorms_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("addedLater");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<bool>("elfextShown");
    QTest::addColumn<bool>("nextShown");

    QTest::newRow("NEXT count selects a PAM type") << standardLines << QStringList{}
                                                   << QStringList{"next=2"} << "y.PAM" << false
                                                   << true;
    QTest::newRow("NEXT count without a PAM type")
        << QStringList{"x.DMT", "z.DMT"} << QStringList{} << QStringList{"next=2"} << "x.DMT"
        << true << false;
    QTest::newRow("ELFEXT count selects a DMT type")
        << QStringList{"a.PAM", "b.DMT"} << QStringList{} << QStringList{"elfext=1"} << "b.DMT"
        << true << false;
    QTest::newRow("NEXT count keeps a PAM type") << QStringList{"a.PAM", "b.PAM"}
                                                 << QStringList{} << QStringList{"next=1"}
                                                 << "a.PAM" << false << true;
    QTest::newRow("SNR count leaves the line type") << standardLines << QStringList{}
                                                    << QStringList{"margin=1"} << "x.DMT" << true
                                                    << false;
    QTest::newRow("NEXT count after two line types") << standardLines << QStringList{}
                                                     << QStringList{"line=1", "next=1"} << "y.PAM"
                                                     << false << true;
    QTest::newRow("PAM file added after construction is not offered")
        << standardLines << QStringList{"w.PAM"} << QStringList{"next=1"} << "y.PAM" << false
        << true;
}

void tst_PropertiesDialog::lineTypeFollowsNorms()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, addedLater);
    QFETCH(QStringList, actions);
    QFETCH(QString, firstLine);
    QFETCH(bool, elfextShown);
    QFETCH(bool, nextShown);

    Fixture f;
    QVERIFY(f.open(standardCables, lines));
    populate(f.workspace.filePath("xDSL"), addedLater);
    for (const QString &action : std::as_const(actions))
        f.apply(action);
    QCOMPARE(f.templateBox("line", 0)->currentText(), firstLine);
    QCOMPARE(f.summary("line"), firstLine);
    QCOMPARE(!f.topRow("elfext")->isHidden(), elfextShown);
    QCOMPARE(!f.topRow("next")->isHidden(), nextShown);
    QCOMPARE(f.settings().lineTypes, QStringList{firstLine});
}

void tst_PropertiesDialog::severalTemplates_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("countIndex");
    QTest::addColumn<int>("lastChoice");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("two cables, second changed") << "cable" << 1 << 2 << QStringList{"a", "c"};
    QTest::newRow("three cables") << "cable" << 2 << 2 << QStringList{"a", "a", "c"};
    QTest::newRow("two line types with extensions") << "line" << 1 << 1
                                                    << QStringList{"x.DMT", "y.PAM"};
}

void tst_PropertiesDialog::severalTemplates()
{
    QFETCH(QString, family);
    QFETCH(int, countIndex);
    QFETCH(int, lastChoice);
    QFETCH(QStringList, expected);

    Fixture f;
    QVERIFY(f.open());
    f.editor<QTreeWidget>("propertyTree")->expandAll();
    f.apply(QStringLiteral("margin=1"));
    f.apply(QStringLiteral("%1=%2").arg(family).arg(countIndex));
    for (int k = 0; k < 3; ++k) {
        QComboBox *box = f.templateBox(family, k);
        if (box)
            QTRY_COMPARE(box->isVisible(), k <= countIndex);
    }
    f.templateBox(family, countIndex)->setCurrentIndex(lastChoice);

    const CalcSettings s = f.settings();
    const bool cables = family == QLatin1String("cable");
    QCOMPARE(cables ? s.cableTypes : s.lineTypes, expected);
    QCOMPARE(cables ? s.cableTypesText : s.lineTypesText, expected.join(QLatin1String(", ")));
    QCOMPARE(cables ? s.lineTypes.size() : s.cableTypes.size(), 1);
    QCOMPARE(s.SNRMargin_points.size(), 1);
    QCOMPARE(s.xDSL_points.size(), 1);
    if (!cables) {
        QVERIFY(!f.topRow("elfext")->isHidden());
        QVERIFY(!f.topRow("next")->isHidden());
    }
}

void tst_PropertiesDialog::frequencyInSummary_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<QString>("summary");

    QTest::newRow("single NEXT value") << "next" << QStringList{} << 1000 << "10дБ(1000кГц)";
    QTest::newRow("three ELFEXT values") << "elfext" << QStringList{"elfext=2"} << 2000
                                         << "47,83,120дБ(2000кГц)";
}

void tst_PropertiesDialog::frequencyInSummary()
{
    QFETCH(QString, family);
    QFETCH(QStringList, before);
    QFETCH(int, frequency);
    QFETCH(QString, summary);

    Fixture f;
    QVERIFY(f.open());
    for (const QString &action : std::as_const(before))
        f.apply(action);
    const bool next = family == QLatin1String("next");
    f.editor<QSpinBox>(next ? "norm_NEXT_frequencyBox" : "norm_ELFEXT_frequencyBox")
        ->setValue(frequency);
    QCOMPARE(f.summary(family), summary);
    const CalcSettings s = f.settings();
    QCOMPARE(next ? s.norm_NEXT_frequency : s.norm_ELFEXT_frequency, float(frequency));
    QCOMPARE(next ? s.norm_ELFEXT_frequency : s.norm_NEXT_frequency, 300.0f);
    QCOMPARE(next ? s.norm_NEXT_Text : s.norm_ELFEXT_Text, summary);
}

void tst_PropertiesDialog::emptyTemplateDirectories_data()
{
    QTest::addColumn<bool>("createDirectories");
    QTest::addColumn<QStringList>("cables");

    QTest::newRow("missing directories") << false << QStringList{};
    QTest::newRow("empty directories") << true << QStringList{};
    QTest::newRow("only line types missing") << true << standardCables;
}

void tst_PropertiesDialog::emptyTemplateDirectories()
{
    QFETCH(bool, createDirectories);
    QFETCH(QStringList, cables);

    Fixture f;
    QVERIFY(f.workspace.isValid());
    if (createDirectories) {
        populate(f.workspace.filePath("Cable"), cables);
        populate(f.workspace.filePath("xDSL"), {});
        populate(f.workspace.filePath("AddNoise"), {});
    }
    QVERIFY(f.show());
    QCOMPARE(f.countBox("line")->count(), 0);
    QCOMPARE(f.countBox("cable")->count(), cables.size());
    QCOMPARE(f.summary("line"), QString());
    QVERIFY(f.topRow("next")->isHidden());
    QVERIFY(f.topRow("elfext")->isHidden());

    // Every count change runs fall-backs and the norm line-type choice over the missing slots.
    for (const char *action : {"next=2", "elfext=1", "load=1", "margin=3", "cable=1"})
        f.apply(QString::fromLatin1(action));
    QSignalSpy accepted(f.dialog.get(), &QDialog::accepted);
    QTest::mouseClick(f.editor<QPushButton>("calculateButton"), Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);

    const CalcSettings s = f.settings();
    QVERIFY(s.lineTypes.isEmpty());
    QCOMPARE(s.lineTypesText, QString());
    QCOMPARE(s.cableTypes.size(), cables.isEmpty() ? 0 : 2);
    QCOMPARE(s.cableTypesText, cables.isEmpty() ? QString() : QStringLiteral("a, a"));
    QCOMPARE(s.Norm_NEXT_points.size(), 1);
    // Without cables the last count change offers nothing to pick; the margins stay spread.
    QCOMPARE(s.SNRMargin_points.size(), cables.isEmpty() ? 4 : 1);
    QCOMPARE(s.noiseTemplate, QString());
}

void tst_PropertiesDialog::reopenKeepsState()
{
    Fixture f;
    QVERIFY(f.open());
    f.apply(QStringLiteral("next=2"));
    f.valueBox("next", 1)->setValue(90);
    f.apply(QStringLiteral("from=2000"));

    QSignalSpy accepted(f.dialog.get(), &QDialog::accepted);
    QTest::mouseClick(f.editor<QPushButton>("calculateButton"), Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
    QVERIFY(!f.dialog->isVisible());
    f.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));

    QCOMPARE(f.countBox("next")->currentIndex(), 2);
    QCOMPARE(f.values("next"), (QList<int>{47, 90, 120}));
    QCOMPARE(f.summary("next"), QStringLiteral("47,90,120дБ(300кГц)"));
    QCOMPARE(f.templateBox("line", 0)->currentText(), QStringLiteral("y.PAM"));
    const CalcSettings s = f.settings();
    QCOMPARE(s.Norm_NEXT_points, (QVector<float>{47.0f, 90.0f, 120.0f}));
    QCOMPARE(s.cableLengthFrom, 2000);
    QCOMPARE(s.lineTypes, QStringList{"y.PAM"});
}

void tst_PropertiesDialog::cancelReturnsToTheAcceptedState_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Отмена") << "button";
    QTest::newRow("Esc") << "escape";
    QTest::newRow("close button") << "close";
}

void tst_PropertiesDialog::cancelReturnsToTheAcceptedState()
{
    QFETCH(QString, how);
    Fixture f;
    QVERIFY(f.open());
    f.apply(QStringLiteral("next=2"));
    f.valueBox("next", 1)->setValue(90);
    f.apply(QStringLiteral("to=6000"));
    QTest::mouseClick(f.editor<QPushButton>("calculateButton"), Qt::LeftButton);
    const CalcSettings accepted = f.settings();
    const int hiddenSlot = f.valueBox("next", 3)->value();
    QSpinBox *from = f.editor<QSpinBox>("cableLengthFromBox");
    const int fromMaximum = from->maximum();

    // Changes of every kind: a count, a value, a coupled length, a template, a hidden slot.
    f.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));
    f.apply(QStringLiteral("next=4"));
    f.valueBox("next", 1)->setValue(60);
    f.apply(QStringLiteral("from=5500"));
    f.templateBox("cable", 0)->setCurrentIndex(2);
    f.apply(QStringLiteral("capacity=20"));
    if (how == QLatin1String("button"))
        QTest::mouseClick(f.editor<QPushButton>("cancelButton"), Qt::LeftButton);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
    else
        f.dialog->close();
    QVERIFY(!f.dialog->isVisible());

    QCOMPARE(f.settings(), accepted);
    QCOMPARE(f.values("next"), (QList<int>{47, 90, 120}));
    QCOMPARE(f.summary("next"), QStringLiteral("47,90,120дБ(300кГц)"));
    QCOMPARE(from->maximum(), fromMaximum);
    // The slot hidden again keeps the value it had when accepted.
    QVERIFY(!f.rowShown(f.valueBox("next", 3)));
    QCOMPARE(f.valueBox("next", 3)->value(), hiddenSlot);
}

void tst_PropertiesDialog::loadSettings_data()
{
    QTest::addColumn<CalcSettings>("record");
    const auto base = [] {
        CalcSettings s;
        s.cableTypes = {QStringLiteral("B")};
        s.lineTypes = {QStringLiteral("y.PAM")};
        s.noiseTemplate = QStringLiteral("n1");
        s.cableCapacity = 10;
        s.xDSL_points = {3};
        s.Norm_ELFEXT_points = {56};
        s.Norm_NEXT_points = {58};
        s.norm_ELFEXT_frequency = 300;
        s.norm_NEXT_frequency = 80;
        s.cableLengthFrom = 0;
        s.cableLengthTo = 6000;
        s.cableLengthStep = 250;
        s.SNRMargin_points = {6};
        return s;
    };
    QTest::newRow("single curve") << base();
    CalcSettings s = base();
    s.cableTypes = {QStringLiteral("c"), QStringLiteral("a")};
    QTest::newRow("cable family in any order") << s;
    s = base();
    s.lineTypes = {QStringLiteral("x.DMT"), QStringLiteral("y.PAM")};
    QTest::newRow("line type family") << s;
    s = base();
    s.xDSL_points = {2, 5, 9, 10};
    QTest::newRow("load family up to M") << s;
    s = base();
    s.xDSL_points = {12};
    QTest::newRow("load above M stays") << s;
    s = base();
    s.Norm_NEXT_points = {40, 50, 60, 70, 80, 90, 100, 110, 115, 120};
    QTest::newRow("ten NEXT norms") << s;
    s = base();
    s.SNRMargin_points = {0, 30};
    s.cableLengthFrom = s.cableLengthTo = 3000;
    QTest::newRow("margins at both ends, a single length") << s;
    s = base();
    s.noiseTemplate.clear();
    QTest::newRow("no noise") << s;
    s = base();
    s.SNRMargin_points = {0};
    QTest::newRow("margin 0 after an edit") << s;
    s = base();
    s.sections = {{QStringLiteral("c"), 700}, {QStringLiteral("a"), 300}};
    s.cableLengthFrom = 1000;
    QTest::newRow("two sections, From at their total") << s;
    s = base();
    s.sections = {{QStringLiteral("B"), 29000}, {QStringLiteral("a"), 999}, {QStringLiteral("a"), 1}};
    s.cableLengthFrom = s.cableLengthTo = 30000;
    QTest::newRow("sections filling the longest loop") << s;
    s = base();
    s.cableTypes = {QStringLiteral("a"), QStringLiteral("c")};
    s.sections = {{QStringLiteral("unlisted"), 200}};
    s.cableLengthFrom = 250;
    QTest::newRow("cable family behind an unlisted section cable") << s;
    s = base();
    for (int i = 0; i < 10; ++i)
        s.sections.append({QStringLiteral("B"), 100 * (i + 1)});
    s.cableLengthFrom = 5500;
    QTest::newRow("ten sections") << s;
    s.targetRates = {2048, 8000};
    QTest::newRow("target rates") << s;
    s = base();
    s.xDSL_points = {2, 5};
    s.targetRates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 1000000};
    QTest::newRow("ten target rates at both ends with a family") << s;
}

void tst_PropertiesDialog::loadSettings()
{
    // What the dialog gives back is exactly what was put in, with the dialog's own summaries.
    QFETCH(CalcSettings, record);
    Fixture f;
    QVERIFY(f.open());
    CalcSettings expected = record;
    CalcInput::fillSummaries(expected);
    QString error;
    QVERIFY2(f.dialog->setSettings(expected, &error), qPrintable(error));
    QCOMPARE(f.settings(), expected);
    QCOMPARE(f.topRow("cable")->text(1), expected.cableTypesText);
    QCOMPARE(f.rowShown(f.templateBox("cable", 1)), expected.cableTypes.size() > 1);
    // The norm rows follow the loaded line types.
    const bool pam = expected.lineTypes.join(' ').contains(".PAM");
    QCOMPARE(!f.topRow("next")->isHidden(), pam);
    // The sections: their summary, their rows, and the lengths they leave buildable.
    const int total = int(CalcInput::sectionsTotal(expected.sections));
    QCOMPARE(f.sectionSummary(), CalcInput::sectionsSummary(expected.sections));
    QCOMPARE(f.sectionCount()->currentIndex(), int(expected.sections.size()));
    for (int i = 0; i < 10; ++i)
        QCOMPARE(f.rowShown(f.sectionLength(i)), i < expected.sections.size());
    QCOMPARE(f.editor<QSpinBox>("cableLengthFromBox")->minimum(), total);
    QCOMPARE(f.editor<QSpinBox>("cableLengthToBox")->minimum(), total);
    // The sections and the cable slots offer the same names.
    QStringList cableNames, sectionNames;
    for (int i = 0; i < f.templateBox("cable", 0)->count(); ++i)
        cableNames << f.templateBox("cable", 0)->itemText(i);
    for (int i = 0; i < f.sectionCable(9)->count(); ++i)
        sectionNames << f.sectionCable(9)->itemText(i);
    QCOMPARE(sectionNames, cableNames);
    QCOMPARE(f.countBox("targets")->currentIndex(), expected.targetRates.size());
    QCOMPARE(f.summary("targets"), expected.targetRates.isEmpty()
                                       ? QStringLiteral("нет")
                                       : CalcInput::targetRatesSummary(expected.targetRates));
}

void tst_PropertiesDialog::loadedDialogStaysLive()
{
    Fixture f;
    QVERIFY(f.open());
    CalcSettings s = defaultCalcSettings(f.workspace.path());
    s.Norm_NEXT_points = {47, 83, 120};
    s.lineTypes = {QStringLiteral("y.PAM")};
    CalcInput::fillSummaries(s);
    QVERIFY(f.dialog->setSettings(s));
    // The range rule holds the loaded neighbours, and a count change still falls the family back.
    f.valueBox("next", 1)->setValue(130);
    QCOMPARE(f.values("next"), (QList<int>{47, 119, 120}));
    f.apply(QStringLiteral("margin=2"));
    QCOMPARE(f.countBox("next")->currentIndex(), 0);
    QCOMPARE(f.summary("next"), QStringLiteral("47дБ(300кГц)"));
    // A name the dialog did not list when it was built is offered from now on.
    s = defaultCalcSettings(f.workspace.path());
    s.cableTypes = {QStringLiteral("new")};
    QVERIFY(f.dialog->setSettings(s));
    QCOMPARE(f.templateBox("cable", 0)->currentText(), QStringLiteral("new"));
    QVERIFY(f.templateBox("cable", 1)->findText(QStringLiteral("new")) >= 0);

    // A record without target rates takes those of the dialog away.
    f.apply(QStringLiteral("targets=2"));
    QCOMPARE(f.settings().targetRates.size(), 2);
    QVERIFY(f.dialog->setSettings(s));
    QVERIFY(f.settings().targetRates.isEmpty());
    QVERIFY(!f.rowShown(f.valueBox("targets", 0)));
}

void tst_PropertiesDialog::targetCounts_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("untouched") << QStringList{} << QList<int>{};
    QTest::newRow("three proposed, doubling") << QStringList{"targets=3"} << QList<int>{1024, 2048, 4096};
    QTest::newRow("all ten") << QStringList{"targets=10"}
                             << QList<int>{1024, 2048, 4096, 8192, 16384, 32768, 65536, 131072, 262144, 524288};
    QTest::newRow("a new target doubles an edited one")
        << QStringList{"targets=1", "target0=20000", "targets=3"} << QList<int>{20000, 40000, 80000};
    QTest::newRow("values come back after a lower count")
        << QStringList{"targets=3", "target2=50000", "targets=1", "targets=3"} << QList<int>{1024, 2048, 50000};
    QTest::newRow("a shown-again value below its predecessor doubles it")
        << QStringList{"targets=2", "targets=1", "target0=3000", "targets=2"} << QList<int>{3000, 6000};
    QTest::newRow("near the top the values give way downwards")
        << QStringList{"targets=1", "target0=999999", "targets=3"} << QList<int>{999998, 999999, 1000000};
    QTest::newRow("doubling stops at the top")
        << QStringList{"targets=1", "target0=700000", "targets=2"} << QList<int>{700000, 1000000};
    QTest::newRow("back to none") << QStringList{"targets=2", "targets=0"} << QList<int>{};
}

void tst_PropertiesDialog::targetCounts()
{
    QFETCH(QStringList, actions);
    QFETCH(QList<int>, expected);
    Fixture f;
    QVERIFY(f.open());
    f.editor<QTreeWidget>("propertyTree")->expandAll();
    for (const QString &action : std::as_const(actions))
        f.apply(action);
    QCOMPARE(f.values("targets"), expected);
    const CalcSettings s = f.settings();
    QCOMPARE(QList<int>(s.targetRates.begin(), s.targetRates.end()), expected);
    QCOMPARE(f.summary("targets"),
             expected.isEmpty() ? QStringLiteral("нет") : CalcInput::targetRatesSummary(s.targetRates));
    for (int i = 0; i < 10; ++i)
        QCOMPARE(f.rowShown(f.valueBox("targets", i)), i < expected.size());
    // What the dialog gives is a valid run.
    QString error;
    QVERIFY2(CalcInput::validate(s, CalcInput::Checks::Input, {}, &error), qPrintable(error));
}

void tst_PropertiesDialog::targetRangeRule()
{
    // Neighbours bound each other as in every value family.
    Fixture f;
    QVERIFY(f.open());
    f.apply(QStringLiteral("targets=3"));
    QCOMPARE(f.valueBox("targets", 1)->minimum(), 1025);
    QCOMPARE(f.valueBox("targets", 1)->maximum(), 4095);
    QCOMPARE(f.valueBox("targets", 2)->maximum(), 1000000);
    f.apply(QStringLiteral("target0=5000"));
    QCOMPARE(f.values("targets"), (QList<int>{2047, 2048, 4096}));
    f.apply(QStringLiteral("target2=100"));
    QCOMPARE(f.values("targets"), (QList<int>{2047, 2048, 2049}));
    QCOMPARE(f.summary("targets"), QStringLiteral("2047,2048,2049"));
}

void tst_PropertiesDialog::targetsAreNoFamily_data()
{
    QTest::addColumn<QString>("family");
    for (const QString &family : allFamilies)
        QTest::newRow(qPrintable(family)) << family;
}

void tst_PropertiesDialog::targetsAreNoFamily()
{
    // Target rates ask questions of the curves: their count leaves every family as it is, and
    // no family's count touches them.
    QFETCH(QString, family);
    Fixture f;
    QVERIFY(f.open());
    f.apply(family + QStringLiteral("=1"));
    const CalcSettings before = f.settings();
    f.apply(QStringLiteral("targets=2"));
    f.apply(QStringLiteral("target1=3000"));
    CalcSettings expected = before;
    expected.targetRates = {1024, 3000};
    QCOMPARE(f.settings(), expected);
    QCOMPARE(f.countBox(family)->currentIndex(), 1);

    const QString other = family == QLatin1String("load") ? QStringLiteral("margin") : QStringLiteral("load");
    f.apply(other + QStringLiteral("=2"));
    QCOMPARE(f.settings().targetRates, (QVector<int>{1024, 3000}));
    f.apply(QStringLiteral("targets=1"));
    QCOMPARE(f.countBox(other)->currentIndex(), 2);
}

void tst_PropertiesDialog::sectionRows()
{
    Fixture f;
    QVERIFY(f.open());
    QTreeWidgetItem *top = f.row("Участки кабеля");
    QCOMPARE(top->text(1), QString());
    QTreeWidgetItem *countRow = top->child(0);
    QCOMPARE(countRow->text(0), QStringLiteral("всего участков"));
    QCOMPARE(f.dialog->rowOf(f.sectionCount()), countRow);
    QStringList counts;
    for (int i = 0; i < f.sectionCount()->count(); ++i)
        counts << f.sectionCount()->itemText(i);
    QCOMPARE(counts, (QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    QCOMPARE(f.sectionCount()->currentIndex(), 0);
    QCOMPARE(countRow->childCount(), 20);
    QCOMPARE(f.dialog->rowOf(f.sectionCable(9))->text(0), QStringLiteral("участок 10, кабель"));
    QCOMPARE(f.dialog->rowOf(f.sectionLength(9))->text(0), QStringLiteral("участок 10, длина, м"));
    for (int i = 0; i < 10; ++i) {
        QVERIFY(!f.rowShown(f.sectionCable(i)));
        QVERIFY(!f.rowShown(f.sectionLength(i)));
        QCOMPARE(f.sectionCable(i)->currentText(), QStringLiteral("a"));
        QCOMPARE(f.sectionCable(i)->count(), 3);
        QCOMPARE(f.sectionLength(i)->minimum(), 1);
        QCOMPARE(f.sectionLength(i)->maximum(), 30000);
    }
    QVERIFY(!f.sectionCable(10));
    QVERIFY(f.settings().sections.isEmpty());

    // Without a cable to choose no section can be added.
    Fixture empty;
    QVERIFY(empty.open({}));
    QCOMPARE(empty.sectionCount()->count(), 1);
    QCOMPARE(empty.sectionCount()->itemText(0), QStringLiteral("0"));
}

void tst_PropertiesDialog::sections_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("expected"); // "cable:length" per section
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QList<int>>("lengths");   // from, to, from's minimum, to's minimum
    QTest::addColumn<QList<int>>("counts");    // cable, line, load, elfext, next, margin

    const QList<int> single = {0, 0, 0, 0, 0, 0};
    QTest::newRow("two new sections end at From")
        << QStringList{"sections=2"} << QStringList{"a:500", "a:500"} << "a 500м + a 500м"
        << QList<int>{1000, 10000, 1000, 2000} << single;
    QTest::newRow("cables and lengths chosen")
        << QStringList{"sections=2", "cable1=2", "length1=700", "cable2=1", "length2=100"}
        << QStringList{"c:700", "B:100"} << "c 700м + B 100м" << QList<int>{1200, 10000, 800, 2200} << single;
    QTest::newRow("sections past From lift From and To")
        << QStringList{"sections=2", "length1=6000", "length2=5000"} << QStringList{"a:6000", "a:5000"}
        << "a 6000м + a 5000м" << QList<int>{11000, 12000, 11000, 12000} << single;
    QTest::newRow("From cannot go below the sections")
        << QStringList{"sections=1", "length1=2500", "from=300"} << QStringList{"a:2500"} << "a 2500м"
        << QList<int>{2500, 10000, 2500, 3500} << single;
    QTest::newRow("fewer sections let From go lower again")
        << QStringList{"sections=2", "length1=6000", "length2=5000", "sections=1", "from=3000"}
        << QStringList{"a:6000"} << "a 6000м" << QList<int>{6000, 12000, 6000, 7000} << single;
    QTest::newRow("no sections again")
        << QStringList{"sections=3", "sections=0", "from=0"} << QStringList{} << ""
        << QList<int>{0, 10000, 0, 1000} << single;
    QTest::newRow("a section cannot pass the longest loop")
        << QStringList{"sections=2", "length1=29800"} << QStringList{"a:29500", "a:500"}
        << "a 29500м + a 500м" << QList<int>{30000, 30000, 30000, 30000} << single;
    QTest::newRow("sections added to a long one give way")
        << QStringList{"sections=1", "length1=29800", "sections=3"} << QStringList{"a:29800", "a:199", "a:1"}
        << "a 29800м + a 199м + a 1м" << QList<int>{30000, 30000, 30000, 30000} << single;
    QTest::newRow("a section count leaves a family alone")
        << QStringList{"load=1", "sections=1"} << QStringList{"a:500"} << "a 500м"
        << QList<int>{1000, 10000, 500, 2000} << QList<int>{0, 0, 1, 0, 0, 0};
    QTest::newRow("a family's count leaves the sections alone")
        << QStringList{"sections=2", "length2=800", "cable=1"} << QStringList{"a:500", "a:800"}
        << "a 500м + a 800м" << QList<int>{1300, 10000, 1300, 2300} << QList<int>{1, 0, 0, 0, 0, 0};
}

void tst_PropertiesDialog::sections()
{
    QFETCH(QStringList, actions);
    QFETCH(QStringList, expected);
    QFETCH(QString, summary);
    QFETCH(QList<int>, lengths);
    QFETCH(QList<int>, counts);

    Fixture f;
    QVERIFY(f.open());
    f.editor<QTreeWidget>("propertyTree")->expandAll();
    for (const QString &action : std::as_const(actions))
        f.apply(action);

    QCOMPARE(f.sectionSummary(), summary);
    for (int i = 0; i < 10; ++i) {
        QTRY_COMPARE(f.sectionCable(i)->isVisible(), i < expected.size());
        QTRY_COMPARE(f.sectionLength(i)->isVisible(), i < expected.size());
    }
    const auto fromBox = f.editor<QSpinBox>("cableLengthFromBox");
    const auto toBox = f.editor<QSpinBox>("cableLengthToBox");
    QCOMPARE((QList<int>{fromBox->value(), toBox->value(), fromBox->minimum(), toBox->minimum()}), lengths);
    QCOMPARE(f.lengthSummary(), QStringLiteral("от %1 до %2; шаг 1000").arg(lengths.at(0)).arg(lengths.at(1)));
    for (int i = 0; i < allFamilies.size(); ++i)
        QCOMPARE(f.countBox(allFamilies.at(i))->currentIndex(), counts.at(i));

    const CalcSettings s = f.settings();
    QStringList recorded;
    for (const CableSection &section : s.sections)
        recorded << QStringLiteral("%1:%2").arg(section.cable).arg(section.length);
    QCOMPARE(recorded, expected);
    // Whatever the user did, the record can be run.
    QString error;
    QVERIFY2(CalcInput::validate(s, CalcInput::Checks::Input, [](CalcInput::Field) { return QStringLiteral("field"); },
                                 &error),
             qPrintable(error));
}

void tst_PropertiesDialog::loadedSectionsStayLive()
{
    Fixture f;
    QVERIFY(f.open());
    CalcSettings s = defaultCalcSettings(f.workspace.path());
    s.sections = {{QStringLiteral("c"), 1000}, {QStringLiteral("B"), 500}};
    s.cableLengthFrom = 1500;
    s.cableLengthTo = 1500;
    CalcInput::fillSummaries(s);
    QVERIFY(f.dialog->setSettings(s));
    QCOMPARE(f.settings(), s);
    // Each loaded length leaves the others their room in the longest loop.
    QCOMPARE(f.sectionLength(0)->maximum(), 29500);
    QCOMPARE(f.sectionLength(1)->maximum(), 29000);
    f.sectionLength(1)->setValue(2000);
    QCOMPARE(f.sectionSummary(), QStringLiteral("c 1000м + B 2000м"));
    QCOMPARE(f.editor<QSpinBox>("cableLengthFromBox")->value(), 3000);
    QCOMPARE(f.editor<QSpinBox>("cableLengthToBox")->value(), 4000);
    // A record without sections takes them away again.
    s = defaultCalcSettings(f.workspace.path());
    QVERIFY(f.dialog->setSettings(s));
    QCOMPARE(f.sectionCount()->currentIndex(), 0);
    QCOMPARE(f.sectionSummary(), QString());
    QCOMPARE(f.settings(), s);
    QCOMPARE(f.editor<QSpinBox>("cableLengthFromBox")->minimum(), 0);
    // More sections than any loop may have are refused, and the dialog keeps what it had.
    s.sections = QVector<CableSection>(11, CableSection{QStringLiteral("a"), 1});
    s.cableLengthFrom = 11;
    QString error;
    QVERIFY(!f.dialog->setSettings(s, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(f.settings(), defaultCalcSettings(f.workspace.path()));
}

QTEST_MAIN(tst_PropertiesDialog)
#include "tst_propertiesdialog.moc"
