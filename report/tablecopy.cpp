#include "report/tablecopy.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTableView>

#include <algorithm>
#include <set>

namespace {

QString cellText(const QAbstractItemModel *model, int row, int column)
{
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
}

QString headerText(const QAbstractItemModel *model, int column)
{
    return model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

// Tabs and line breaks inside a cell would split it in a spreadsheet.
QString plain(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return out.simplified();
}

QString html(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
}

} // namespace

QMimeData *tableMimeData(const QTableView *table, KeyColumn key)
{
    const QAbstractItemModel *model = table->model();
    std::set<int> rows, columns;
    const QItemSelectionModel *selection = table->selectionModel();
    const QModelIndexList selected = selection ? selection->selectedIndexes() : QModelIndexList();
    std::set<std::pair<int, int>> cells;
    for (const QModelIndex &index : selected) {
        rows.insert(index.row());
        columns.insert(index.column());
        cells.insert({index.row(), index.column()});
    }
    const bool all = selected.isEmpty();
    if (key == KeyColumn::Include && !all) {
        columns.insert(0);
        for (int r : rows)
            cells.insert({r, 0});
    }
    if (all && model) {
        for (int r = 0; r < model->rowCount(); ++r)
            rows.insert(r);
        for (int c = 0; c < model->columnCount(); ++c)
            columns.insert(c);
    }
    // Hidden columns are not part of what the user sees.
    for (auto it = columns.begin(); it != columns.end();)
        it = table->isColumnHidden(*it) ? columns.erase(it) : std::next(it);

    QStringList textLines;
    QString htmlText = QStringLiteral("<table border=\"1\" cellspacing=\"0\"><thead><tr>");
    QStringList header;
    for (int c : columns) {
        header << plain(headerText(model, c));
        htmlText += QStringLiteral("<th>%1</th>").arg(html(headerText(model, c)));
    }
    textLines << header.join(QLatin1Char('\t'));
    htmlText += QStringLiteral("</tr></thead><tbody>");
    for (int r : rows) {
        if (table->isRowHidden(r))
            continue;
        QStringList fields;
        htmlText += QStringLiteral("<tr>");
        for (int c : columns) {
            const bool take = all || cells.count({r, c});
            const QString text = take ? cellText(model, r, c) : QString();
            fields << plain(text);
            const bool number = !text.isEmpty() && (text.at(0).isDigit() || text.at(0) == QLatin1Char('-'));
            htmlText += number ? QStringLiteral("<td align=\"right\">%1</td>").arg(html(text))
                               : QStringLiteral("<td>%1</td>").arg(html(text));
        }
        htmlText += QStringLiteral("</tr>");
        textLines << fields.join(QLatin1Char('\t'));
    }
    htmlText += QStringLiteral("</tbody></table>");

    auto *data = new QMimeData;
    data->setText(textLines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    data->setHtml(htmlText);
    return data;
}

void copyTable(const QTableView *table, KeyColumn key)
{
    QApplication::clipboard()->setMimeData(tableMimeData(table, key));
}

QAction *addCopyAction(QTableView *table, KeyColumn key)
{
    auto *action = new QAction(QCoreApplication::translate("TableCopy", "Копировать"), table);
    action->setObjectName(QStringLiteral("copyTableAct"));
    action->setShortcut(QKeySequence::Copy);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    action->setStatusTip(QCoreApplication::translate("TableCopy", "Копировать таблицу или выделенные ячейки в буфер обмена"));
    QObject::connect(action, &QAction::triggered, table, [table, key] { copyTable(table, key); });
    table->addAction(action);
    return action;
}
