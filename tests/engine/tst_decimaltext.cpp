#include "engine/decimaltext.h"

#include <QtTest>

#include <cmath>

class tst_DecimalText : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void tst_DecimalText::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value"); // NaN: not a number
    QTest::addColumn<bool>("isFloat"); // parseDecimalFloat reads it too
    QTest::addColumn<int>("input"); // a DecimalInput
    const double none = std::nan("");
    QTest::newRow("decimal comma") << "11,8" << 11.8 << true << int(DecimalInput::Number);
    QTest::newRow("decimal point") << "11.8" << 11.8 << true << int(DecimalInput::Number);
    QTest::newRow("comma with blanks and sign") << " -0,5 " << -0.5 << true << int(DecimalInput::Number);
    QTest::newRow("comma and exponent") << "1,5e3" << 1500.0 << true << int(DecimalInput::Number);
    QTest::newRow("comma first") << ",5" << 0.5 << true << int(DecimalInput::Number);
    QTest::newRow("trailing comma") << "11," << 11.0 << true << int(DecimalInput::Number);
    QTest::newRow("comma is never a group separator") << "1,234" << 1.234 << true << int(DecimalInput::Number);
    QTest::newRow("beyond float") << "1e39" << 1e39 << false << int(DecimalInput::Number);
    QTest::newRow("inf") << "inf" << HUGE_VAL << true << int(DecimalInput::Number);
    QTest::newRow("two commas") << "1,2,3" << none << false << int(DecimalInput::Refused);
    QTest::newRow("point and comma") << "1.5,3" << none << false << int(DecimalInput::Refused);
    QTest::newRow("blank as group separator") << "1 234,5" << none << false << int(DecimalInput::Refused);
    QTest::newRow("letters") << "12a" << none << false << int(DecimalInput::Refused);
    QTest::newRow("other digits") << QString::fromUtf8("١٢") << none << false << int(DecimalInput::Refused);
    QTest::newRow("empty") << "" << none << false << int(DecimalInput::Unfinished);
    QTest::newRow("lone minus") << "-" << none << false << int(DecimalInput::Unfinished);
    QTest::newRow("lone comma") << "," << none << false << int(DecimalInput::Unfinished);
    QTest::newRow("unfinished exponent") << "1,5e" << none << false << int(DecimalInput::Unfinished);
}

void tst_DecimalText::parse()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(bool, isFloat);
    QFETCH(int, input);
    const std::optional<double> parsed = parseDecimal(text);
    QCOMPARE(parsed.has_value(), !std::isnan(value));
    if (parsed)
        QCOMPARE(*parsed, value);
    const std::optional<float> narrowed = parseDecimalFloat(text);
    QCOMPARE(narrowed.has_value(), isFloat);
    if (narrowed)
        QCOMPARE(*narrowed, float(value));
    QCOMPARE(int(classifyDecimal(text)), input);
}

QTEST_GUILESS_MAIN(tst_DecimalText)
#include "tst_decimaltext.moc"
