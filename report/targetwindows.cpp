#include "report/targetwindows.h"

#include "report/reportmdisubwindow.h"
#include "report/tablecopy.h"

#include <QAction>
#include <QHeaderView>
#include <QIcon>
#include <QMdiArea>
#include <QTableWidget>

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
        part.table = new QTableWidget;
        part.table->setObjectName(QLatin1String(names[kind].table));
        // The numbers are the engine's: the export writes them, not what a cell was edited to.
        part.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        part.table->verticalHeader()->hide();
        addCopyAction(part.table);
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

void TargetWindows::setTables(const std::optional<TargetTables> &tables)
{
    m_tables = tables;
    if (!tables) {
        if (!m_parts[0].window)
            return;
        for (Part &part : m_parts) {
            part.window->hide();
            part.table->clear();
            part.table->setRowCount(0);
            part.table->setColumnCount(0);
        }
        return;
    }
    if (!m_parts[0].window)
        createWindows();
    fill(m_parts[ReachKind].table, reachReportTable(tables->reach));
    fill(m_parts[MarginKind].table, marginReportTable(tables->margin));
    for (Part &part : m_parts)
        part.window->show();
}

ContentWriter TargetWindows::csvContent(Kind kind) const
{
    if (!m_tables)
        return [](QIODevice &, QString *) { return false; };
    return kind == ReachKind ? reachCsvContent(m_tables->reach) : marginCsvContent(m_tables->margin);
}

void TargetWindows::fill(QTableWidget *table, const ReportTable &content)
{
    table->setUpdatesEnabled(false);
    table->clear();
    table->setColumnCount(int(content.header.size()));
    table->setRowCount(int(content.rows.size()));
    table->setHorizontalHeaderLabels(content.header);
    for (int r = 0; r < content.rows.size(); ++r) {
        const QStringList &row = content.rows.at(r);
        for (int c = 0; c < row.size(); ++c) {
            auto *item = new QTableWidgetItem(row.at(c));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(r, c, item);
        }
    }
    table->resizeColumnsToContents();
    table->setUpdatesEnabled(true);
}
