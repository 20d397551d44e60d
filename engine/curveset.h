#pragma once

#include "engine/calcsettings.h"
#include "engine/lineratemodel.h"
#include "engine/templatefile.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

// Reads a template of the workspace under `workdir` ("" = the current directory) and checks that
// the model can use every value it holds (finite, bounded, no negative Kmax). False with *error
// naming the file (and the row and column of a bad value).
bool loadCableTemplate(const QString &workdir, const QString &name, CableTemplate &record, QString *error);
bool loadLineTypeTemplate(const QString &workdir, const QString &fileName, LineTypeTemplate &record,
                          QString *error);
// An empty name is no noise at all.
bool loadNoiseTemplate(const QString &workdir, const QString &name, NoiseTemplate &record, QString *error);

// Collects one warning per template that gives the model nothing (no complete row, a DMT table of
// one row): the run goes on with rate 0 (or no noise) for it, but the user is told.
class EmptyTemplates
{
public:
    void check(const CableTemplate &record, const QString &name);
    void check(const LineTypeTemplate &record, const QString &fileName);
    void check(const NoiseTemplate &record, const QString &name);
    QStringList warnings() const { return m_warnings; }

private:
    void check(const QString &relative, int rows, int needed, bool noise);
    QStringList m_seen;
    QStringList m_warnings;
};

// The model options a record asks for, the same for every curve.
ModelOptions modelOptions(const CalcSettings &settings);

// The family of curves a record asks for: the parameter that varies (the first of line types,
// cables, loads, ELFEXT, NEXT, margins with several values), one model per distinct cable and
// line type, and the conditions and label of every curve.
class CurveSet
{
public:
    enum class Family { None, LineTypes, Cables, Loads, Elfext, Next, Margins };

    struct Curve {
        int model = 0;    // index of its LineRateModel
        int m = 1;        // load
        float elfextNorm = 0;
        float nextNorm = 0;
        float margin = 0;
        QString name;     // the value that tells it apart ("m=10", "ADSL2+_DS.DMT", "кабель K1")
        QString label;    // the result table's header: "R,кбит/с\n" + name
        // Whether the two differ in nothing but their margin, as the curves of a margin family.
        bool sameButMargin(const Curve &o) const
        {
            return model == o.model && m == o.m && elfextNorm == o.elfextNorm && nextNorm == o.nextNorm;
        }
    };

    // Reads and checks every template the record names, sections included, and builds the models.
    // nullopt with *error when a template is missing, unreadable or holds values the model cannot
    // use. The record is expected to pass CalcInput's run checks.
    static std::optional<CurveSet> load(const CalcSettings &settings, const QString &workdir, QString *error);

    Family family() const { return m_family; }
    const QVector<Curve> &curves() const { return m_curves; }
    // Curve::name of every curve.
    QStringList names() const;
    const LineRateModel &model(int index) const { return *m_models.at(index); }
    int modelCount() const { return int(m_models.size()); }
    // What every curve is evaluated with besides its conditions.
    const ModelOptions &options() const { return m_options; }
    // The loop of a model: its swept cable, and the fixed sections in front of it (every model's).
    const CableTemplate &sweptCable(int model) const { return m_cables.at(model); }
    const QVector<LoopSection> &sections() const { return m_sections; }
    // One sentence per template the run takes nothing from, as EmptyTemplates words it.
    QStringList warnings() const { return m_warnings; }

private:
    Family m_family = Family::None;
    QVector<Curve> m_curves;
    std::vector<std::shared_ptr<const LineRateModel>> m_models;
    QVector<CableTemplate> m_cables; // per model
    QVector<LoopSection> m_sections;
    ModelOptions m_options;
    QStringList m_warnings;
};

// "R,кбит/с\n" + value: the header of a curve's column.
QString rateLabel(const QString &value);
