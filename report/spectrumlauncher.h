#pragma once

#include "engine/calcsettings.h"
#include "engine/resultset.h"

#include <QObject>

#include <functional>

class QAction;
class QMdiArea;
class QModelIndex;
class QTableView;
class SpectrumWindow;

// Opens the spectrum of a result cell (one length, one curve): "Спектр линии…" in the result
// table's context menu and a double-click on the cell. The window goes into `area`; its numbers
// are traced anew from the run's record and the templates, which takes a moment at most.
class SpectrumLauncher : public QObject
{
    Q_OBJECT
public:
    // What the result table shows: the record of its run (null before the first) and its rows.
    struct Run {
        const CalcSettings *calc = nullptr;
        const ResultSet *rows = nullptr;
    };
    using RunSource = std::function<Run()>;

    // Adds the action to `table` (which shows its actions as its context menu) and takes over
    // a double-click on a result cell; elsewhere a double-click does what the table does.
    SpectrumLauncher(QTableView *table, QMdiArea *area, RunSource run, QObject *parent = nullptr);

    QAction *action() const { return m_action; }

    // The window of table cell (row, column); column 0 holds the lengths, curve j is column
    // j + 1. An open window of the same run and cell is brought forward instead of a second
    // one. Null when the cell holds no result or the trace fails (a message box says why).
    SpectrumWindow *open(int row, int column);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The cell's curve (0-based) when it holds a result of the run, else -1.
    int curveAt(int row, int column) const;
    void updateAction();
    void openCurrent();

    QTableView *m_table;
    QMdiArea *m_area;
    RunSource m_run;
    QAction *m_action;
};
