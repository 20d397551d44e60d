#pragma once

#include "drawing/reportdocument.h"

#include <QAbstractTableModel>

struct CalcRun;

// A table of one run as its window shows it: the rates against length (the result table), the
// reach of the target rates, or the margin at the first target rate. The texts are the report's,
// so the screen, the clipboard and the PDF agree; the cells are read-only, since the exports
// write the engine's numbers and not what a cell was edited to.
class RunTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Kind { Rates, Reach, Margin };

    explicit RunTableModel(Kind kind, QObject *parent = nullptr);

    // Shows the table of this kind of `run`. Before the first run (null) the rate table is a
    // blank sheet under "L,м"; a run without target rates leaves the reach and margin empty.
    void setRun(const CalcRun *run);
    const ReportTable &table() const { return m_table; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    Kind m_kind;
    ReportTable m_table;
    int m_rows = 0;
    int m_columns = 0;
};
