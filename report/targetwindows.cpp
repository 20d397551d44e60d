#include "report/targetwindows.h"

#include "engine/calcrun.h"
#include "report/reportmdisubwindow.h"
#include "report/runtablemodel.h"
#include "report/tablecopy.h"

#include <QAction>
#include <QHeaderView>
#include <QIcon>
#include <QMdiArea>
#include <QTableView>

TargetWindows::TargetWindows(QMdiArea *area, QObject *parent)
    : QObject(parent)
    , m_area(area)
{
}

void TargetWindows::createWindows()
{
    struct Names {
        const char *window;
        const char *table;
        const char *action;
        QString title;
    };
    const Names names[2] = {
        {"reachWindow", "reachTable", "exportReachCsvAct", tr("Kolvane - Дальность")},
        {"marginWindow", "marginTable", "exportMarginCsvAct", tr("Kolvane - Запас")},
    };
    for (int kind = 0; kind < 2; ++kind) {
        Part &part = m_parts[kind];
        part.table = new QTableView;
        part.table->setObjectName(QLatin1String(names[kind].table));
        part.model = new RunTableModel(kind == ReachKind ? RunTableModel::Reach : RunTableModel::Margin, part.table);
        part.table->setModel(part.model);
        part.table->verticalHeader()->hide();
        addCopyAction(part.table, KeyColumn::Include);
        part.exportAction = new QAction(QIcon(QStringLiteral(":/images/xls.png")), tr("Экспорт в *.csv"), part.table);
        part.exportAction->setObjectName(QLatin1String(names[kind].action));
        part.exportAction->setStatusTip(tr("Экспортировать таблицу в csv-формат"));
        connect(part.exportAction, &QAction::triggered, this, [this, kind] { emit exportRequested(kind); });
        part.table->addAction(part.exportAction);
        part.table->setContextMenuPolicy(Qt::ActionsContextMenu);

        part.window = new ReportMdiSubWindow(m_area);
        part.window->setObjectName(QLatin1String(names[kind].window));
        part.window->setWidget(part.table);
        part.window->setWindowTitle(names[kind].title);
        part.window->setWindowIcon(QIcon(QStringLiteral(":/images/table.png")));
        part.window->hide();
    }
}

void TargetWindows::setRun(const CalcRun *run)
{
    const bool targets = run && run->hasTargets();
    if (!targets && !m_parts[0].window)
        return;
    if (!m_parts[0].window)
        createWindows();
    for (Part &part : m_parts) {
        part.model->setRun(run);
        if (!targets) {
            part.window->hide();
            continue;
        }
        part.table->resizeColumnsToContents();
        part.window->show();
    }
}
