#pragma once

#include <QObject>

#include <array>

class QAction;
class QMdiArea;
class QTableView;
class ReportMdiSubWindow;
class RunTableModel;
struct CalcRun;

// The two result windows of a run with target rates: "Kolvane - Дальность" (rows: target rates,
// columns: curves) and "Kolvane - Запас" (rows: lengths, columns: curves). Each table copies
// with Ctrl+C and offers a CSV export in its context menu, whose bytes are kolvane-calc's.
// A run without target rates hides both; before the first run with target rates they do not
// exist at all, so the result area holds exactly the windows it always did.
class TargetWindows : public QObject
{
    Q_OBJECT
public:
    enum Kind { ReachKind = 0, MarginKind = 1 };

    // The windows will live in `area`, created by the first run with target rates.
    explicit TargetWindows(QMdiArea *area, QObject *parent = nullptr);

    // Shows the tables of `run`, or hides both windows for a run without target rates.
    void setRun(const CalcRun *run);

    // Null before the first run with target rates.
    ReportMdiSubWindow *window(Kind kind) const { return m_parts[kind].window; }
    QTableView *table(Kind kind) const { return m_parts[kind].table; }
    QAction *exportAction(Kind kind) const { return m_parts[kind].exportAction; }

signals:
    // The user asked to export the table of `kind` (the window's context menu).
    void exportRequested(int kind);

private:
    struct Part {
        ReportMdiSubWindow *window = nullptr;
        QTableView *table = nullptr;
        RunTableModel *model = nullptr;
        QAction *exportAction = nullptr;
    };
    void createWindows();

    QMdiArea *m_area;
    std::array<Part, 2> m_parts;
};
