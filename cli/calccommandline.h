#pragma once

#include "cli/cli.h"
#include "engine/calcinput.h"
#include "engine/calcsettings.h"
#include "engine/filewrite.h"
#include "engine/graphsettings.h"

#include <QCommandLineParser>
#include <QString>

#include <functional>
#include <optional>

class QTextStream;

// The options every calculating command shares (workspace, templates, conditions, lengths,
// output) and their parsing into a settings record over the dialog's defaults.
class CalcCommandLine
{
public:
    struct Config {
        QString command;       // "" for the default command
        QString description;   // first lines of --help
        int defaultFrom = CalcInput::DefaultFrom;
        int defaultTo = CalcInput::DefaultTo;
        int defaultStep = CalcInput::DefaultStep;
        IntRange stepRange = CalcInput::Step;
        // The grid with --axis loss, in tenths of a dB.
        int defaultLossFrom = CalcInput::DefaultLossFrom;
        int defaultLossTo = CalcInput::DefaultLossTo;
        int defaultLossStep = CalcInput::DefaultLossStep;
        bool acceptsMargin = true; // false: the margin is what the command answers
        bool acceptsLengths = true; // false: no --from/--to/--step; the command gives setLength()
        // false: every loop brings its own cable, sections and length (loop records): --cable,
        // --section, --from, --to, --step and --write-setup are not offered, and the value lists
        // take one value each (CalcInput::validateLoopConditions).
        bool sweepsCable = true;
        QString positional;     // the one positional argument the command takes ("FILE"), "" none
        QString positionalHelp; // its line in --help
    };

    explicit CalcCommandLine(const Config &config);

    // For options of the command's own.
    QCommandLineParser &parser() { return m_parser; }

    // Parses the arguments (the program name first, the command name left out). --help and
    // --version print and exit here.
    std::optional<Failure> parse(const QStringList &arguments);

    QString workdir() const { return m_workdir; }
    // The positional argument of a command that takes one.
    QString positionalArgument() const { return m_positional; }

    // For a command that works at one length of its own: the record's sweep becomes that single
    // length, and the checks name it `option`. Call before settings().
    void setLength(int metres, const QString &option);
    // The same at one loss (tenths of a dB): the record sweeps that single loss.
    void setLoss(int tenths, const QString &option);

    // The settings that the options describe (over a --setup file's, over the dialog's defaults),
    // checked as the dialog would keep them, with every template present in the workspace.
    std::optional<Failure> settings(CalcSettings &out);
    // With --write-setup FILE: writes `settings` and the setup's graph options there (to the
    // standard output for "-") and returns the exit status; nullopt when the option is not given
    // (the command computes as usual).
    std::optional<int> writeSetupIfAsked(const CalcSettings &settings);

    // The single value of `name` as a whole number within `range`; nullopt when the option is
    // absent or refused (then failure() is set).
    std::optional<int> wholeNumber(const QString &name, IntRange range);
    // The single value of `name` as a number of `input` (its decimals and bounds, refused in its
    // words), in the input's units (tenths with one decimal).
    std::optional<int> decimalNumber(const QString &name, const CalcInput::Input &input);
    // A comma-separated list of at most `most` whole numbers within `range`, strictly increasing.
    std::optional<QVector<int>> wholeNumbers(const QString &name, IntRange range, int most);
    std::optional<Failure> failure() const { return m_failure; }

    // Writes the command's text to -o FILE (atomically) or to the standard output.
    std::optional<Failure> write(const std::function<void(QTextStream &)> &writer);

    // The option that names a field of the record, for messages.
    static QString optionName(CalcInput::Field field);

private:
    // Whether the command takes the input as an option at all, its bounds and its default.
    bool offers(const CalcInput::Input &input) const;
    IntRange range(const CalcInput::Input &input) const;
    int defaultUnits(const CalcInput::Input &input) const;
    // Reads the input's option into the record; a refusal goes to failure().
    void readOption(const CalcInput::Input &input, CalcSettings &settings);
    void refuse(const QString &message, Status status = BadInput);
    std::optional<int> parseWhole(const QString &name, const QString &text);
    std::optional<QString> single(const QString &name);

    Config m_config;
    QCommandLineParser m_parser;
    QString m_workdir;
    QString m_positional;
    GraphSettings m_graph; // a --setup file's, else the defaults
    bool m_graphAxes = false; // the --setup file fixes the axes
    std::optional<Failure> m_failure;
    std::optional<int> m_length;
    std::optional<int> m_loss;
    QString m_lengthOption;
};
