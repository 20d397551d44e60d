#pragma once

#include "engine/filewrite.h"
#include "engine/targettables.h"
#include "report/targetreport.h"

#include <QObject>

#include <array>
#include <optional>

class QAction;
class QMdiArea;
class QTableWidget;
class ReportMdiSubWindow;

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

    // Shows a run's tables, or hides both windows (and forgets the tables) for nullopt.
    void setTables(const std::optional<TargetTables> &tables);
    const std::optional<TargetTables> &tables() const { return m_tables; }

    // Null before the first run with target rates.
    ReportMdiSubWindow *window(Kind kind) const { return m_parts[kind].window; }
    QTableWidget *table(Kind kind) const { return m_parts[kind].table; }
    QAction *exportAction(Kind kind) const { return m_parts[kind].exportAction; }

    // The CSV of one table as kolvane-calc reach / margin writes it; only with tables().
    ContentWriter csvContent(Kind kind) const;

signals:
    // The user asked to export the table of `kind` (the window's context menu).
    void exportRequested(int kind);

private:
    struct Part {
        ReportMdiSubWindow *window = nullptr;
        QTableWidget *table = nullptr;
        QAction *exportAction = nullptr;
    };
    void createWindows();
    static void fill(QTableWidget *table, const ReportTable &content);

    QMdiArea *m_area;
    std::array<Part, 2> m_parts;
    std::optional<TargetTables> m_tables;
};
