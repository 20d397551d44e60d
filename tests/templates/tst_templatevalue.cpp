#include "widgets/decimalfield.h"
#include "templates/templatevalue.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

static quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

static float fromBits(quint32 b)
{
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

class tst_TemplateValue : public QObject
{
    Q_OBJECT

private slots:
    void textReadsBackAsTheSameFloat_data();
    void textReadsBackAsTheSameFloat();
    void randomFloatsReadBack();
    void validator_data();
    void validator();
};

void tst_TemplateValue::textReadsBackAsTheSameFloat_data()
{
    QTest::addColumn<float>("value");
    QTest::newRow("0.1") << 0.1f;
    QTest::newRow("1234567") << 1234567.0f;
    QTest::newRow("2^24 + 2") << 16777218.0f;
    QTest::newRow("float max") << std::numeric_limits<float>::max();
    QTest::newRow("below float max") << std::nextafter(std::numeric_limits<float>::max(), 0.0f);
    QTest::newRow("-float max") << -std::numeric_limits<float>::max();
    QTest::newRow("smallest normal") << std::numeric_limits<float>::min();
    QTest::newRow("smallest subnormal") << std::numeric_limits<float>::denorm_min();
    QTest::newRow("negative zero") << -0.0f;
    QTest::newRow("inf") << std::numeric_limits<float>::infinity();
    QTest::newRow("-inf") << -std::numeric_limits<float>::infinity();
    QTest::newRow("-87.5 dBm/Hz") << -87.5f;
    QTest::newRow("next float above 1") << std::nextafter(1.0f, 2.0f);
}

void tst_TemplateValue::textReadsBackAsTheSameFloat()
{
    QFETCH(float, value);
    const QString text = formatTemplateValue(value);
    bool ok = false;
    const float back = parseTemplateValue(text, &ok);
    QVERIFY2(ok, qPrintable(text));
    QCOMPARE(bits(back), bits(value));
}

void tst_TemplateValue::randomFloatsReadBack()
{
    QRandomGenerator random(20240601);
    int checked = 0;
    while (checked < 20000) {
        const float value = fromBits(random.generate());
        if (std::isnan(value))
            continue;
        const QString text = formatTemplateValue(value);
        bool ok = false;
        const float back = parseTemplateValue(text, &ok);
        if (!ok || bits(back) != bits(value))
            QFAIL(qPrintable(QStringLiteral("%1 shown as %2").arg(double(value), 0, 'g', 9).arg(text)));
        ++checked;
    }
    QCOMPARE(formatTemplateValue(std::nan("")), QStringLiteral("nan"));
    bool ok = false;
    QVERIFY(std::isnan(parseTemplateValue(QStringLiteral("nan"), &ok)));
    QVERIFY(ok);
}

void tst_TemplateValue::validator_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("acceptable"); // otherwise Intermediate: a keystroke is never dropped
    QTest::newRow("integer") << "10" << true;
    QTest::newRow("exponent") << "1e7" << true;
    QTest::newRow("decimal comma") << "11,8" << true;
    QTest::newRow("leading comma") << ",5" << true;
    QTest::newRow("blanks around") << " 3 " << true;
    QTest::newRow("empty cell") << "" << true;
    QTest::newRow("inf") << "inf" << true;
    QTest::newRow("unfinished exponent") << "1e" << false;
    QTest::newRow("beyond float range") << "1e39" << false;
    QTest::newRow("point and comma") << "1.5,3" << false;
    QTest::newRow("letters") << "abc" << false;
    QTest::newRow("two numbers") << "1 2" << false;
}

void tst_TemplateValue::validator()
{
    QFETCH(QString, text);
    QFETCH(bool, acceptable);
    const DecimalValidator validator(DecimalValidator::EmptyAccepted, DecimalValidator::Float);
    int pos = text.size();
    QCOMPARE(validator.validate(text, pos), acceptable ? QValidator::Acceptable : QValidator::Intermediate);
}

QTEST_MAIN(tst_TemplateValue)
#include "tst_templatevalue.moc"
