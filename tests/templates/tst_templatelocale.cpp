// Template values are shown with '.' whatever the users' locale: the files are shared between
// machines, and a Russian desktop would otherwise turn 0.5 into "0,5". Typed, a point and a comma
// both separate the fraction.

#include "widgets/decimalfield.h"
#include "templates/templatestablewidget.h"
#include "templates/templatevalue.h"

#include "russianlocale.h"
#include "templatetestutil.h"

#include <QTemporaryDir>
#include <QtTest>


class tst_TemplateLocale : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void shownAndReadBack_data();
    void shownAndReadBack();
    void typing_data();
    void typing();
};

void tst_TemplateLocale::initTestCase_data()
{
    QTest::addColumn<bool>("cLibrary");
    QTest::newRow("QLocale") << false;
    QTest::newRow("QLocale and C library") << true;
}

void tst_TemplateLocale::shownAndReadBack_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0.1") << double(0.1f) << "0.1";
    QTest::newRow("-87.5 dBm/Hz") << -87.5 << "-87.5";
    QTest::newRow("1/3 needs eight digits") << double(1.0f / 3.0f) << "0.33333334";
    QTest::newRow("1e7") << 1e7 << "1e+07";
    QTest::newRow("1234567 without group separators") << 1234567.0 << "1234567";
}

void tst_TemplateLocale::shownAndReadBack()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    SWITCH_TO_RUSSIAN_LOCALE();

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("v.att"));
    QVERIFY(writeBytes(path, cellBytes({{0, 0, value}})));
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(path);
    QVERIFY(table.loadFromFile());
    QCOMPARE(table.item(0, 0)->text(), text);
    QCOMPARE(formatTemplateValue(value), text);

    bool ok = false;
    const float back = parseTemplateValue(text, &ok);
    QVERIFY(ok);
    QCOMPARE(double(back), double(float(value)));
}

void tst_TemplateLocale::typing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("state");
    QTest::addColumn<double>("saved"); // what the file holds after saving
    QTest::newRow("decimal point") << "-2.5" << "-2.5" << int(QValidator::Acceptable) << -2.5;
    QTest::newRow("exponent") << "1.5e3" << "1.5e3" << int(QValidator::Acceptable) << 1500.0;
    QTest::newRow("decimal comma") << "11,8" << "11,8" << int(QValidator::Acceptable) << double(11.8f);
}

void tst_TemplateLocale::typing()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, state);
    QFETCH(double, saved);
    SWITCH_TO_RUSSIAN_LOCALE();

    const DecimalValidator validator(DecimalValidator::EmptyAccepted, DecimalValidator::Float);
    QString text = typed;
    int pos = text.size();
    QCOMPARE(int(validator.validate(text, pos)), state);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("t.att"));
    QVERIFY(writeBytes(path, cellBytes({{0, 0, 1.0}, {0, 1, 2.0}})));
    TemplatesTableWidget table;
    table.setTemplateKind(CableAttenuation);
    table.setFilePath(path);
    QVERIFY(table.loadFromFile());
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    typeIntoCell(&table, 0, 1, typed);
    QCOMPARE(table.item(0, 1)->text(), shown);
    QVERIFY(table.saveToFile());
    QCOMPARE(readBytes(path), cellBytes({{0, 0, 1.0}, {0, 1, saved}}));
}

QTEST_MAIN(tst_TemplateLocale)
#include "tst_templatelocale.moc"
