#pragma once

#include "engine/calcsettings.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// Whole-number bounds of one input, both ends included.
struct IntRange {
    int min;
    int max;
    constexpr bool contains(qint64 value) const { return value >= min && value <= max; }
};

// The calculation's inputs as the user enters them: their bounds, the untouched dialog's values
// and the summary texts of the dialog's property tree. The dialog, kolvane-calc, setup files and
// the sweep take every such rule from here.
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
// The first target rate the dialog proposes (kbit/s); further ones double it.
constexpr int DefaultTargetRate = 1024;
// The untouched dialog takes the third noise template in name order (the usual background).
constexpr int DefaultNoiseEntry = 2;

// Summary texts, exactly as the property tree shows them.
QString loadsSummary(const QVector<int> &loads);                          // "1,3,4"
QString normsSummary(const QVector<float> &norms, float frequency);       // "47,83,120дБ(300кГц)"
QString marginsSummary(const QVector<float> &margins);                    // "15,30дБ"
QString untouchedMarginsSummary();                                       // "0 дБ", with its blank
QString templatesSummary(const QStringList &names);                       // "a, b"
QString lengthsSummary(int from, int to, int step);                       // "от 1000 до 10000; шаг 1000"
QString sectionsSummary(const QVector<CableSection> &sections);           // "K1 1200м + K2 300м"
QString targetRatesSummary(const QVector<int> &rates);                    // "8000,16000"

// Sets the six summary texts of the record from its lists. The margin text takes the edited form
// ("0дБ") unless `untouchedMargins`, where the dialog shows "0 дБ".
void fillSummaries(CalcSettings &settings, bool untouchedMargins = false);

// Sum of the fixed sections' lengths, m.
qint64 sectionsTotal(const QVector<CableSection> &sections);

// Fields of the record, for messages that name them the way their reader knows them.
enum class Field {
    Cables, LineTypes, Noise, Capacity, Loads, Elfext, ElfextFrequency, Next, NextFrequency,
    LengthFrom, LengthTo, LengthStep, Margins, Sections, TargetRates,
};
using FieldNames = std::function<QString(Field)>;

enum class Checks {
    Run,   // what a run needs: values present, a sweep that exists, a loop that can be built
    Input, // everything the dialog guarantees: bounds, whole numbers, order, one family of curves
};

// Whether the record can be calculated. On failure *error says which field and why, the field
// named by `names` (an option, a setup key). `stepRange` is the length step's bound at Input.
bool validate(const CalcSettings &settings, Checks checks, const FieldNames &names, QString *error,
              IntRange stepRange = Step);

// The conditions of a run over loop records, where every loop brings its own cable, sections and
// length (those fields of the record are not looked at): one to MaxValues line types (the
// services), exactly one value of load, ELFEXT, NEXT and margin, each within the dialog's bounds;
// `targets` empty or one rate per line type, in its order. On failure *error names the field
// through `names`.
bool validateLoopConditions(const CalcSettings &settings, const QVector<int> &targets,
                            const FieldNames &names, QString *error);

} // namespace CalcInput
