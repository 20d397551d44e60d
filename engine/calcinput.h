#pragma once

#include "engine/calcsettings.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

// Whole-number bounds of one input, both ends included.
struct IntRange {
    int min;
    int max;
    constexpr bool contains(qint64 value) const { return value >= min && value <= max; }
};

// The calculation's inputs as the user enters them: one row per input (its setup-file key,
// command-line option, dialog caption, bounds, default, whether it forms a family), the checks
// that read those rows and return typed problems, and the summary texts of the dialog's property
// tree. The dialog, kolvane-calc, setup files, the sweep and the loop conditions take every such
// rule from here.
namespace CalcInput {

constexpr IntRange Capacity{1, 99};       // pairs
constexpr IntRange Load{1, 99};           // lines; the dialog also keeps loads within the capacity
constexpr IntRange Norm{10, 120};         // dB
constexpr IntRange Margin{0, 30};         // dB
constexpr IntRange Frequency{1, 30000};   // kHz
constexpr IntRange Length{0, 30000};      // m
constexpr IntRange Step{10, 5000};        // m
constexpr IntRange FineStep{1, 5000};     // m: the reach grid may be finer than a table
constexpr IntRange SectionLength{1, 30000}; // m
constexpr IntRange TargetRate{1, 1000000};  // kbit/s
constexpr IntRange Loss{0, 1500};         // tenths of a dB
constexpr IntRange LossStep{1, 500};      // tenths of a dB
constexpr IntRange CodingGain{0, 100};      // tenths of a dB
constexpr IntRange VectoringDepth{0, 60};   // dB
constexpr IntRange AlienDisturbers{0, 98};  // lines; below every load
constexpr int MaxValues = 10;   // per value list
constexpr int MaxSections = 10;
constexpr int MaxTargets = 10;

constexpr int DefaultCapacity = 4;
constexpr int DefaultLoad = 1;
constexpr int DefaultNorm = 10;
constexpr int DefaultFrequency = 300;
constexpr int DefaultFrom = 1000;
constexpr int DefaultTo = 10000;
constexpr int DefaultStep = 1000;
constexpr int DefaultMargin = 0;
// A sweep by loss, in tenths of a dB, at the frequency (kHz) where plant records and frequency
// plans give the insertion loss.
constexpr int DefaultLossFrequency = 300;
constexpr int DefaultLossFrom = 0;
constexpr int DefaultLossTo = 600;
constexpr int DefaultLossStep = 10;
// The first target rate the dialog proposes (kbit/s); further ones double it.
constexpr int DefaultTargetRate = 1024;
// The untouched dialog takes the third noise template in name order (the usual background).
constexpr int DefaultNoiseEntry = 2;

// Fields of the record, one per row of the table below.
enum class Field {
    Cables, LineTypes, Noise, Capacity, Loads, Elfext, ElfextFrequency, Next, NextFrequency,
    LengthFrom, LengthTo, LengthStep, Margins, Sections, TargetRates,
    Axis, LossFrequency, LossFrom, LossTo, LossStep,
    CodingGain, Vectoring, AlienDisturbers,
};
using FieldNames = std::function<QString(Field)>;

// How an input holds its values.
enum class InputKind {
    Names,    // template names, one per curve: a repeated option, a list of texts in a setup
    Name,     // one template name, "" for none
    Number,   // one number
    Numbers,  // strictly increasing numbers: comma-separated on the command line, a list in a setup
    Sections, // fixed cable sections in loop order: CABLE:LENGTH on the command line
    Choice,   // one of a few words (`choices`), held as text through `names`
};

// Which runs take an input.
enum class Scope {
    Conditions, // every run, a run over loop records included
    Sweep,      // the swept cable and its sections: each loop record brings its own
    Grid,       // the sweep's points: a command at one length of its own does without them
};

// One input of the calculation.
struct Input {
    Field field;
    InputKind kind;
    Scope scope;
    const char *key;       // setup file; "group.member" for a member of an object
    const char *option;    // command line, without "--"
    const char *valueName; // the option's value in --help
    // The option's --help text: %1 lowest, %2 highest, %3 default, %4 most values. nullptr: each
    // command that takes the option offers it with a text of its own.
    const char *help;
    const char *caption;   // the calculation dialog's row (tr() context "PropertiesDialog")
    const char *english;   // how a run's messages name it
    const char *russian;
    IntRange range;        // numbers, and the length of each section: in units of the last decimal
    int decimals;          // digits a number may have after the point: 0 or 1
    int defaultValue;      // the untouched dialog's, in the units of `range`
    int most;              // lists: values at most; 0 = bounded by the templates of the workspace
    bool family;           // several values make a family of curves
    bool optional;         // may be left without a value
    // Whether the record uses the input at all (a sweep by length uses no losses): one that does
    // not is neither checked nor written, and an option it shares goes to the row that applies.
    // nullptr: always.
    bool (*applies)(const CalcSettings &);
    // Whether a setup file holds the input's key: nullptr, always (an optional number without a
    // value never); a condition to keep a key out of files that do not use it ("codingGain": 0).
    bool (*written)(const CalcSettings &);
    QStringList choices;   // a Choice's words, the default first
    // An input that means something only beside another one's value ("--alien" with
    // "--vectoring"): given without it, it is refused.
    std::optional<Field> needs;
    // Numbers as the record holds them, in their own unit (dB, not tenths); one for a Number.
    QVector<double> (*numbers)(const CalcSettings &);
    void (*setNumbers)(CalcSettings &, const QVector<double> &);
    // Names, Name and Choice inputs (a Name or Choice as a list of one, none when "").
    QStringList (*names)(const CalcSettings &);
    void (*setNames)(CalcSettings &, const QStringList &);
};

// Every input, in the order of a setup file (and of the command line's --help).
const QVector<Input> &inputs();
const Input &input(Field field);

// The value of a count of the input's units (those of `range` and `defaultValue`): the count
// itself, or tenths / 10 (in double) for one decimal.
double fromUnits(const Input &input, qint64 units);
// Whether the record uses the input (Input::applies).
bool applies(const Input &input, const CalcSettings &settings);
// How many values the record holds for an input.
qsizetype valueCount(const Input &input, const CalcSettings &settings);
// A number of the input as its messages and files write it: "12", "12.5".
QString numberText(const Input &input, double value);
// The words of the axis choice: "length", "loss".
QString axisWord(SweepAxis axis);

// What is wrong with an input, put into words at the edge (English in kolvane-calc, Russian in
// the GUI) with the field names of whoever reads it: an option, a setup key, a dialog's word.
struct Problem {
    enum Kind {
        NoValue,              // no value of a field that needs one
        NotWhole,             // values: the number
        TooManyDecimals,      // values: the number, the decimals allowed
        Below,                // values: the number, the bound
        Above,                // values: the number, the bound
        TooManyValues,        // values: the count, the most
        MoreThanTemplates,    // values: the count, the templates, their directory
        NotIncreasing,
        NamedTwice,           // values: the name
        NotTemplateName,      // values: the name (a path separator, "." or "..")
        ControlCharacter,     // values: the name made visible, the character ("U+000A")
        FromBeyondTo,         // others: the last length; values: both lengths
        StepNotPositive,      // values: the step
        TooManySections,      // values: the count, the most
        SectionWithoutCable,
        SectionsTooLong,      // values: the total, the most
        FromInsideSections,   // values: the first length, the sections' total
        SeveralFamilies,      // others: every field with several values
        OneValueOnly,         // values: the count, the text that gave them if any
        TargetsPerLineType,   // values: the targets, the line types
        NotCableLength,       // values: the text
        NotWholeText,         // values: the text
        NotDecimalText,       // values: the text, the decimals allowed
        NotAChoice,           // values: the text, the choices
        NeedsOther,           // others: the input it needs
        NotBelowOther,        // values: the number, the other's; others: the other input
    };
    Kind kind;
    Field field = Field::Cables;
    int item = -1;            // the section whose length it is about, -1 for the field
    QStringList values;
    QVector<Field> others;
};

// The problem in the message language, naming fields through `names`.
QString describe(const Problem &problem, const FieldNames &names);

// Every input of a section list on its own: the count, each cable name and length, the total.
std::optional<Problem> checkSections(const QVector<CableSection> &sections);

// Summary texts, exactly as the property tree shows them.
QString loadsSummary(const QVector<int> &loads);                          // "1,3,4"
QString normsSummary(const QVector<float> &norms, float frequency);       // "47,83,120дБ(300кГц)"
QString marginsSummary(const QVector<float> &margins);                    // "15,30дБ"
QString untouchedMarginsSummary();                                       // "0 дБ", with its blank
QString templatesSummary(const QStringList &names);                       // "a, b"
QString lengthsSummary(int from, int to, int step);                       // "от 1000 до 10000; шаг 1000"
QString lossesSummary(int from, int to, int step, int frequency);        // "от 0 до 60; шаг 0.5 (300кГц)", tenths
QString sectionsSummary(const QVector<CableSection> &sections);           // "K1 1200м + K2 300м"
QString targetRatesSummary(const QVector<int> &rates);                    // "8000,16000"

// The model options the record sets, one line each as the graph's conditions block shows them:
// "Векторизация D=25дБ, чужих N=2", "Выигрыш кодирования 2.5дБ"; none for the classic model.
QStringList modelOptionsSummary(const CalcSettings &settings);

// Sets the six summary texts of the record from its lists. The margin text takes the edited form
// ("0дБ") unless `untouchedMargins`, where the dialog shows "0 дБ".
void fillSummaries(CalcSettings &settings, bool untouchedMargins = false);

// Sum of the fixed sections' lengths, m.
qint64 sectionsTotal(const QVector<CableSection> &sections);

// A template name that comes from outside the program's own lists must name a file inside its
// directory and be printable: no path separator, not "." or "..", no control character. `field`
// says which kind of template (Cables and Sections: a cable).
std::optional<Problem> checkName(Field field, const QString &name);

// One fixed section as text: CABLE:LENGTH, the cable everything before the last ':' (a name may
// hold one itself), both parts trimmed, LENGTH a whole number of metres within SectionLength.
// Problems name Field::Sections: NotCableLength, NotWholeText, Below, Above.
std::optional<Problem> parseSection(const QString &text, CableSection *section);

// A number of the input as text ("12", "+12", "12.5" with one decimal allowed; blanks around it
// are fine): its value, or NotWholeText / NotDecimalText. The bounds are checked with the rest.
std::optional<Problem> parseNumber(const Input &input, const QString &text, double *value);
// One number of the input against its decimals and bounds: NotWhole, TooManyDecimals, Below, Above.
std::optional<Problem> checkNumber(const Input &input, double value);
// A word for a Choice: NotAChoice unless it is one of its words. Read before it is set, since a
// choice held in a field of another type keeps no word it does not know.
std::optional<Problem> checkChoice(const Input &input, const QString &word);

// A number of the input as a dialog's field takes it (a point or a comma before the decimal),
// checked against the input's decimals and bounds: its value, or NotDecimalText, TooManyDecimals,
// Below or Above.
std::optional<Problem> parseField(const Input &input, const QString &text, double *value);

// The problem of an input given without the one it needs (Input::needs).
Problem needsProblem(const Input &input);

enum class Checks {
    Run,    // what a run needs: values present, a sweep that exists, a loop that can be built
    Input,  // everything the dialog guarantees: bounds, whole numbers, order, one family of curves
    Stored, // what a setup file and the command line may hold: Input, and no cable or line type
            // named twice (the dialog's slots may repeat one; a file or a list of options has no
            // reason to, and a name given thousands of times would make as many curves)
};

// Whether the record can be calculated; the first problem otherwise. `stepRange` is the length
// step's bound at Input.
std::optional<Problem> check(const CalcSettings &settings, Checks checks, IntRange stepRange = Step);
// The part of check() about the grid of the axis swept: a positive step (Run), "from" not beyond
// "to", lengths not inside the sections.
std::optional<Problem> checkGrid(const CalcSettings &settings, Checks checks);
// The same, with the problem in words (field names through `names`) in *error.
bool validate(const CalcSettings &settings, Checks checks, const FieldNames &names, QString *error,
              IntRange stepRange = Step);

// The record names no more cables and line types than the workspace holds templates of each
// (`cableTemplates`, `lineTypeTemplates`; -1 when unknown): the most the dialog can choose.
// MoreThanTemplates.
std::optional<Problem> checkTemplateCounts(const CalcSettings &settings, int cableTemplates,
                                           int lineTypeTemplates);

// The conditions of a run over loop records, where every loop brings its own cable, sections and
// length (those fields of the record are not looked at): one to MaxValues line types (the
// services), exactly one value of load, ELFEXT, NEXT and margin, each within the dialog's bounds;
// `targets` empty or one rate per line type, in its order.
std::optional<Problem> checkLoopConditions(const CalcSettings &settings, const QVector<int> &targets);
// The same, with the problem in words in *error.
bool validateLoopConditions(const CalcSettings &settings, const QVector<int> &targets,
                            const FieldNames &names, QString *error);

} // namespace CalcInput

// A field of the record as a run's messages name it ("начальная длина"), in the message language.
QString runFieldName(CalcInput::Field field);
