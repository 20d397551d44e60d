#include "engine/calcinput.h"

#include <QtTest>

#include <functional>

using Edit = std::function<void(CalcSettings &)>;
Q_DECLARE_METATYPE(Edit)

namespace {

// The untouched dialog's record for a workspace with one cable and one line type.
CalcSettings untouched()
{
    CalcSettings s;
    s.cableTypes = {QStringLiteral("K1")};
    s.lineTypes = {QStringLiteral("L1.DMT")};
    s.noiseTemplate = QStringLiteral("N1");
    s.cableCapacity = CalcInput::DefaultCapacity;
    s.xDSL_points = {CalcInput::DefaultLoad};
    s.Norm_ELFEXT_points = {float(CalcInput::DefaultNorm)};
    s.Norm_NEXT_points = {float(CalcInput::DefaultNorm)};
    s.norm_ELFEXT_frequency = s.norm_NEXT_frequency = float(CalcInput::DefaultFrequency);
    s.cableLengthFrom = CalcInput::DefaultFrom;
    s.cableLengthTo = CalcInput::DefaultTo;
    s.cableLengthStep = CalcInput::DefaultStep;
    s.SNRMargin_points = {float(CalcInput::DefaultMargin)};
    return s;
}

QString keyOf(CalcInput::Field field)
{
    return QStringLiteral("<%1>").arg(int(field));
}

} // namespace

class tst_CalcInput : public QObject
{
    Q_OBJECT

private slots:
    void summaries();
    void validate_data();
    void validate();
    void runChecksAreLooser();
    void sectionText_data();
    void sectionText();
    void decimalNumbers_data();
    void decimalNumbers();
};

void tst_CalcInput::summaries()
{
    CalcSettings s = untouched();
    CalcInput::fillSummaries(s, true);
    // The untouched dialog's texts, byte for byte: the margin alone has a blank before its unit.
    QCOMPARE(s.xDSL_pointsText, QStringLiteral("1"));
    QCOMPARE(s.norm_ELFEXT_Text, QStringLiteral("10дБ(300кГц)"));
    QCOMPARE(s.norm_NEXT_Text, QStringLiteral("10дБ(300кГц)"));
    QCOMPARE(s.SNRMarginText, QStringLiteral("0 дБ"));
    QCOMPARE(s.cableTypesText, QStringLiteral("K1"));

    s.Norm_NEXT_points = {47, 83, 120};
    s.norm_NEXT_frequency = 80;
    s.SNRMargin_points = {15, 30};
    s.xDSL_points = {1, 3, 4};
    s.cableTypes = {QStringLiteral("a"), QStringLiteral("B")};
    CalcInput::fillSummaries(s);
    QCOMPARE(s.norm_NEXT_Text, QStringLiteral("47,83,120дБ(80кГц)"));
    QCOMPARE(s.SNRMarginText, QStringLiteral("15,30дБ"));
    QCOMPARE(s.xDSL_pointsText, QStringLiteral("1,3,4"));
    QCOMPARE(s.cableTypesText, QStringLiteral("a, B"));
    QCOMPARE(CalcInput::lengthsSummary(9500, 10500, 1000), QStringLiteral("от 9500 до 10500; шаг 1000"));
    QCOMPARE(CalcInput::sectionsSummary({{QStringLiteral("ТПП-0.64"), 1200}, {QStringLiteral("ТПП-0.5"), 300}}),
             QStringLiteral("ТПП-0.64 1200м + ТПП-0.5 300м"));
}

void tst_CalcInput::validate_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("message"); // empty: accepted

    using F = CalcInput::Field;
    const auto key = [](F f) { return keyOf(f); };
    QTest::newRow("untouched") << Edit([](CalcSettings &) {}) << QString();
    QTest::newRow("bounds are inclusive") << Edit([](CalcSettings &s) {
        s.cableCapacity = 99;
        s.xDSL_points = {1, 99};
        s.cableLengthFrom = 0;
        s.cableLengthTo = 30000;
        s.cableLengthStep = 5000;
    }) << QString();
    QTest::newRow("capacity 0") << Edit([](CalcSettings &s) { s.cableCapacity = 0; })
                                << key(F::Capacity) + ": 0 is below 1";
    QTest::newRow("norm 121") << Edit([](CalcSettings &s) { s.Norm_NEXT_points = {121}; })
                              << key(F::Next) + ": 121 is above 120";
    QTest::newRow("fractional norm") << Edit([](CalcSettings &s) { s.Norm_ELFEXT_points = {30.5f}; })
                                     << key(F::Elfext) + ": 30.5 is not a whole number";
    QTest::newRow("step below the table's") << Edit([](CalcSettings &s) { s.cableLengthStep = 7; })
                                            << key(F::LengthStep) + ": 7 is below 10";
    QTest::newRow("eleven margins") << Edit([](CalcSettings &s) {
        s.SNRMargin_points = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    }) << key(F::Margins) + ": 11 values, at most 10";
    QTest::newRow("repeated load") << Edit([](CalcSettings &s) { s.xDSL_points = {2, 2}; })
                                   << key(F::Loads) + ": the values must be strictly increasing";
    QTest::newRow("no load") << Edit([](CalcSettings &s) { s.xDSL_points.clear(); })
                             << key(F::Loads) + ": no value given";
    QTest::newRow("from beyond to") << Edit([](CalcSettings &s) {
        s.cableLengthFrom = 2000;
        s.cableLengthTo = 1000;
    }) << key(F::LengthFrom) + " 2000 is beyond " + key(F::LengthTo) + " 1000";
    QTest::newRow("two families") << Edit([](CalcSettings &s) {
        s.xDSL_points = {1, 2};
        s.SNRMargin_points = {0, 6};
    }) << "only one parameter may have several values, not " + key(F::Loads) + " and " + key(F::Margins);
    QTest::newRow("sections fit") << Edit([](CalcSettings &s) {
        s.sections = {{QStringLiteral("K2"), 500}, {QStringLiteral("K3"), 500}};
    }) << QString();
    QTest::newRow("first length inside the sections") << Edit([](CalcSettings &s) {
        s.sections = {{QStringLiteral("K2"), 800}, {QStringLiteral("K3"), 300}};
    }) << key(F::LengthFrom) + " 1000 is below the sections' total of 1100 m";
    QTest::newRow("sections beyond 30 km") << Edit([](CalcSettings &s) {
        s.sections = {{QStringLiteral("K2"), 20000}, {QStringLiteral("K3"), 10001}};
        s.cableLengthFrom = s.cableLengthTo = 30000;
    }) << key(F::Sections) + ": the sections add up to 30001 m, above 30000 m";
    QTest::newRow("section of 0 m") << Edit([](CalcSettings &s) {
        s.sections = {{QStringLiteral("K2"), 0}};
    }) << key(F::Sections) + ": 0 is below 1";
    QTest::newRow("targets not increasing") << Edit([](CalcSettings &s) {
        s.targetRates = {8000, 2000};
    }) << key(F::TargetRates) + ": the values must be strictly increasing";
    QTest::newRow("target above 1 Gbit/s") << Edit([](CalcSettings &s) { s.targetRates = {1000001}; })
                                           << key(F::TargetRates) + ": 1000001 is above 1000000";
}

void tst_CalcInput::validate()
{
    QFETCH(Edit, edit);
    QFETCH(QString, message);
    CalcSettings s = untouched();
    edit(s);
    QString error;
    const bool ok = CalcInput::validate(s, CalcInput::Checks::Input, keyOf, &error);
    QCOMPARE(ok, message.isEmpty());
    QCOMPARE(error, message);
}

void tst_CalcInput::runChecksAreLooser()
{
    // A run takes what the dialog cannot give (two families, fractional norms, a fine step)
    // but never a sweep without lengths or a loop shorter than its sections.
    CalcSettings s = untouched();
    s.xDSL_points = {1, 2};
    s.SNRMargin_points = {0, 6};
    s.Norm_ELFEXT_points = {30.5f};
    s.cableLengthStep = 1;
    QString error;
    QVERIFY2(CalcInput::validate(s, CalcInput::Checks::Run, keyOf, &error), qPrintable(error));
    s.cableLengthStep = 0;
    QVERIFY(!CalcInput::validate(s, CalcInput::Checks::Run, keyOf, &error));
    QVERIFY(error.startsWith(keyOf(CalcInput::Field::LengthStep)));
    s.cableLengthStep = 10;
    s.sections = {{QStringLiteral("K2"), 1500}};
    QVERIFY(!CalcInput::validate(s, CalcInput::Checks::Run, keyOf, &error));
    QVERIFY(error.contains(QStringLiteral("1500 m")));
}

void tst_CalcInput::sectionText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cable");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("message"); // empty: read
    QTest::newRow("plain") << "K1:300" << "K1" << 300 << "";
    QTest::newRow("blanks around both parts") << " K1 : 300 " << "K1" << 300 << "";
    QTest::newRow("a colon inside the name") << "ТПП:0.4:1200" << "ТПП:0.4" << 1200 << "";
    QTest::newRow("no colon") << "K1" << "" << 0 << "<s>: \"K1\" is not CABLE:LENGTH";
    QTest::newRow("no cable") << " :300" << "" << 0 << "<s>: \" :300\" is not CABLE:LENGTH";
    QTest::newRow("fractional length") << "K1:12.5" << "" << 0 << "<s>: \"12.5\" is not a whole number";
    QTest::newRow("length 0") << "K1:0" << "" << 0 << "<s>: 0 is below 1";
    QTest::newRow("beyond 30 km") << "K1:30001" << "" << 0 << "<s>: 30001 is above 30000";
}

void tst_CalcInput::sectionText()
{
    QFETCH(QString, text);
    QFETCH(QString, cable);
    QFETCH(int, length);
    QFETCH(QString, message);
    CableSection section;
    const std::optional<CalcInput::Problem> problem = CalcInput::parseSection(text, &section);
    QCOMPARE(problem ? CalcInput::describe(*problem, [](CalcInput::Field) { return QStringLiteral("<s>"); }) : QString(),
             message);
    if (!problem)
        QCOMPARE(section, (CableSection{cable, length}));
}

void tst_CalcInput::decimalNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown"); // as files write it; empty: refused
    QTest::newRow("one decimal") << "12.5" << 12.5 << "12.5";
    QTest::newRow("whole") << " 40 " << 40.0 << "40";
    QTest::newRow("tenths over ten, not a float step") << "0.3" << 3 / 10.0 << "0.3";
    QTest::newRow("negative") << "-0.5" << -0.5 << "-0.5";
    QTest::newRow("two decimals") << "12.55" << 0.0 << "";
    QTest::newRow("decimal comma") << "1,5" << 0.0 << "";
    QTest::newRow("point alone") << "7." << 0.0 << "";
}

void tst_CalcInput::decimalNumbers()
{
    // The coming loss and coding-gain inputs take one decimal; no row of today's table does.
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(QString, shown);
    CalcInput::Input in = CalcInput::input(CalcInput::Field::Margins);
    in.decimals = 1;
    double read = 0;
    const std::optional<CalcInput::Problem> problem = CalcInput::parseNumber(in, text, &read);
    QCOMPARE(!problem, !shown.isEmpty());
    if (problem) {
        QCOMPARE(problem->kind, CalcInput::Problem::NotDecimalText);
        return;
    }
    QCOMPARE(read, value);
    QCOMPARE(CalcInput::numberText(in, read), shown);
}

QTEST_GUILESS_MAIN(tst_CalcInput)
#include "tst_calcinput.moc"
