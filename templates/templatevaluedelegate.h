#pragma once

#include <QStyledItemDelegate>

class TemplatesTableWidget;

// Cell editor of the template tables: a line edit that takes every keystroke and shows text that
// cannot become a number as refused. Its text is committed as typed, through the table's undo
// history; a cell whose text is not a number (point or comma decimals) is drawn refused.
class TemplateValueDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit TemplateValueDelegate(TemplatesTableWidget *table);
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    TemplatesTableWidget *m_table;
};
