#include "report/graphoptions.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

class tst_GraphOptions : public QObject
{
    Q_OBJECT
private slots:
    void startsWithRecordDefaults();
    void ranges_data();
    void ranges();
    void typedValuesReachRecord_data();
    void typedValuesReachRecord();
    void uncheckedBoxesGiveFalse();
    void okAcceptsCancelPutsEntriesBack();
    void everyFieldShownAndCollected();
    void showAxisSettingsClampsAndLeavesTheRest();
    void groupsAndTitle();
    void targetLinesBox();

private:
    static QSpinBox *spin(GraphOptions &dialog, const QString &name)
    {
        auto *box = dialog.findChild<QSpinBox *>(name);
        Q_ASSERT(box);
        return box;
    }
    static void type(QSpinBox *box, const QString &text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Tab);
    }
};

void tst_GraphOptions::startsWithRecordDefaults()
{
    GraphOptions dialog;
    GraphSettings collected;
    collected.lengthMax = -1;
    collected.markVisible = false;
    dialog.collectSettings(collected);
    QCOMPARE(collected, GraphSettings());
}

void tst_GraphOptions::ranges_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("singleStep");
    QTest::newRow("length maximum") << "lengthMaxBox" << 1 << 30000 << 1;
    QTest::newRow("length grid step") << "lengthGridStepBox" << 1 << 10000 << 1;
    QTest::newRow("length label step") << "lengthLabelStepBox" << 1 << 10000 << 1;
    QTest::newRow("rate maximum") << "rateMaxBox" << 1 << 1000000 << 1;
    QTest::newRow("rate grid step") << "rateGridStepBox" << 1 << 100000 << 1;
    QTest::newRow("rate label step") << "rateLabelStepBox" << 1 << 100000 << 1;
    QTest::newRow("mark step moves by 1000") << "markStepBox" << 1 << 100000 << 1000;
    QTest::newRow("mark font") << "markFontSizeBox" << 8 << 30 << 1;
    QTest::newRow("line width") << "lineWidthBox" << 1 << 10 << 1;
    QTest::newRow("legend font") << "legendFontSizeBox" << 8 << 30 << 1;
}

void tst_GraphOptions::ranges()
{
    QFETCH(QString, box);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, singleStep);
    GraphOptions dialog;
    QSpinBox *spinBox = spin(dialog, box);
    QCOMPARE(spinBox->minimum(), minimum);
    QCOMPARE(spinBox->maximum(), maximum);
    QCOMPARE(spinBox->singleStep(), singleStep);
}

void tst_GraphOptions::typedValuesReachRecord_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int GraphSettings::*>("field");
    QTest::addColumn<int>("expected");
    QTest::newRow("length maximum") << "lengthMaxBox" << "12000" << &GraphSettings::lengthMax << 12000;
    QTest::newRow("length grid step") << "lengthGridStepBox" << "300" << &GraphSettings::lengthGridStep << 300;
    QTest::newRow("length label step") << "lengthLabelStepBox" << "1500" << &GraphSettings::lengthLabelStep << 1500;
    QTest::newRow("rate maximum") << "rateMaxBox" << "500000" << &GraphSettings::rateMax << 500000;
    QTest::newRow("rate grid step") << "rateGridStepBox" << "250" << &GraphSettings::rateGridStep << 250;
    QTest::newRow("rate label step") << "rateLabelStepBox" << "5000" << &GraphSettings::rateLabelStep << 5000;
    QTest::newRow("mark step") << "markStepBox" << "2500" << &GraphSettings::markStep << 2500;
    QTest::newRow("mark font") << "markFontSizeBox" << "20" << &GraphSettings::markFontSize << 20;
    QTest::newRow("line width") << "lineWidthBox" << "3" << &GraphSettings::lineWidth << 3;
    QTest::newRow("legend font") << "legendFontSizeBox" << "12" << &GraphSettings::legendFontSize << 12;
    QTest::newRow("typing past the maximum is refused") << "lineWidthBox" << "12" << &GraphSettings::lineWidth << 1;
}

void tst_GraphOptions::typedValuesReachRecord()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(int GraphSettings::*, field);
    QFETCH(int, expected);
    GraphOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    type(spin(dialog, box), typed);
    GraphSettings collected;
    dialog.collectSettings(collected);
    QCOMPARE(collected.*field, expected);
    // Nothing else moved.
    GraphSettings others = collected;
    others.*field = GraphSettings().*field;
    QCOMPARE(others, GraphSettings());
}

void tst_GraphOptions::uncheckedBoxesGiveFalse()
{
    GraphOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *marks = dialog.findChild<QCheckBox *>(QStringLiteral("markVisibleBox"));
    auto *colour = dialog.findChild<QCheckBox *>(QStringLiteral("colorCurvesBox"));
    QVERIFY(marks && colour);
    QCOMPARE(marks->checkState(), Qt::Checked);
    // A box without text is only its indicator; the user ticks it with the space bar.
    for (QCheckBox *box : {marks, colour}) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
    }
    GraphSettings collected;
    dialog.collectSettings(collected);
    QVERIFY(!collected.markVisible);
    QVERIFY(!collected.colorCurves);
}

void tst_GraphOptions::okAcceptsCancelPutsEntriesBack()
{
    GraphOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("okButton"));
    auto *cancel = dialog.findChild<QPushButton *>(QStringLiteral("cancelButton"));
    QVERIFY(ok && cancel);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(cancel->text(), QStringLiteral("Отмена"));

    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    type(spin(dialog, QStringLiteral("lengthMaxBox")), QStringLiteral("5000"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);

    // Typed, then cancelled: the next opening shows, and its OK applies, what was accepted.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    type(spin(dialog, QStringLiteral("lengthMaxBox")), QStringLiteral("7000"));
    dialog.findChild<QCheckBox *>(QStringLiteral("targetLinesBox"))->setChecked(false);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(rejected.count(), 1);
    GraphSettings collected;
    dialog.collectSettings(collected);
    GraphSettings expected;
    expected.lengthMax = 5000;
    QCOMPARE(collected, expected);
}

// Every field of the record reaches its entry and comes back, as a setup file hands them over.
void tst_GraphOptions::everyFieldShownAndCollected()
{
    GraphSettings record;
    for (const GraphInput::IntField *field : GraphInput::IntFields)
        record.*field->field = field->max - 1;
    for (const GraphInput::BoolField *field : GraphInput::BoolFields)
        record.*field->field = false;
    GraphOptions dialog;
    dialog.showSettings(record);
    GraphSettings collected;
    dialog.collectSettings(collected);
    QCOMPARE(collected, record);
}

void tst_GraphOptions::showAxisSettingsClampsAndLeavesTheRest()
{
    GraphOptions dialog;
    spin(dialog, QStringLiteral("lineWidthBox"))->setValue(4);
    GraphSettings settled;
    settled.lengthMax = 10000;
    settled.lengthGridStep = 312;
    settled.lengthLabelStep = 2500;
    settled.rateMax = 2300000; // automatic scale may exceed the box
    settled.rateGridStep = 115000;
    settled.rateLabelStep = 575000;
    settled.markStep = 7000;
    settled.lineWidth = 9;
    settled.colorCurves = false;
    dialog.showAxisSettings(settled);

    GraphSettings shown;
    dialog.collectSettings(shown);
    QCOMPARE(shown.lengthMax, 10000);
    QCOMPARE(shown.lengthGridStep, 312);
    QCOMPARE(shown.lengthLabelStep, 2500);
    QCOMPARE(shown.rateMax, 1000000);
    QCOMPARE(shown.rateGridStep, 100000);
    QCOMPARE(shown.rateLabelStep, 100000);
    QCOMPARE(shown.markStep, GraphSettings().markStep);
    QCOMPARE(shown.lineWidth, 4);
    QVERIFY(shown.colorCurves);
}

void tst_GraphOptions::groupsAndTitle()
{
    GraphOptions dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Настройки графика"));
    QStringList titles;
    for (const QGroupBox *group : dialog.findChildren<QGroupBox *>())
        titles << group->title();
    titles.sort();
    QStringList expected{QStringLiteral("длина L, м"), QStringLiteral("скорость R, кбит/с"),
                         QStringLiteral("маркировка"), QStringLiteral("доп. параметры")};
    expected.sort();
    QCOMPARE(titles, expected);
    // The mark step sits in the "маркировка" group next to its label.
    auto *markGroup = dialog.findChild<QSpinBox *>(QStringLiteral("markStepBox"))->parentWidget();
    QVERIFY(qobject_cast<QGroupBox *>(markGroup));
    QCOMPARE(static_cast<QGroupBox *>(markGroup)->title(), QStringLiteral("маркировка"));
    QStringList labels;
    for (const QLabel *label : markGroup->findChildren<QLabel *>())
        labels << label->text();
    labels.sort();
    QCOMPARE(labels, (QStringList{QStringLiteral("отображать:"), QStringLiteral("размер шрифта:"),
                                  QStringLiteral("шаг маркировки:")}));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
}

void tst_GraphOptions::targetLinesBox()
{
    // On at first, with the extra parameters, and only that field follows it.
    GraphOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *box = dialog.findChild<QCheckBox *>(QStringLiteral("targetLinesBox"));
    QVERIFY(box);
    QCOMPARE(box->checkState(), Qt::Checked);
    auto *group = qobject_cast<QGroupBox *>(box->parentWidget());
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("доп. параметры"));
    QStringList labels;
    for (const QLabel *label : group->findChildren<QLabel *>())
        labels << label->text();
    QVERIFY(labels.contains(QStringLiteral("целевые скорости:")));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    GraphSettings collected;
    dialog.collectSettings(collected);
    GraphSettings expected;
    expected.targetLines = false;
    QCOMPARE(collected, expected);
}

QTEST_MAIN(tst_GraphOptions)
#include "tst_graphoptions.moc"
