#pragma once

#include <QStyledItemDelegate>

// Cell editor of the template tables: a line edit that takes numbers only, and a commit that
// leaves the cell as it was when the text is still unfinished ("1e", "-").
class TemplateValueDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit TemplateValueDelegate(QObject *parent = nullptr);
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
};
