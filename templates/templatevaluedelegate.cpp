#include "templates/templatevaluedelegate.h"

#include "templates/templatevalue.h"

#include <QLineEdit>

TemplateValueDelegate::TemplateValueDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QWidget *TemplateValueDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                             const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        line->setValidator(new TemplateValueValidator(line));
    return editor;
}

void TemplateValueDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                         const QModelIndex &index) const
{
    if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        if (!line->hasAcceptableInput())
            return;
        const QString text = line->text().trimmed();
        if (model->data(index, Qt::EditRole).toString() != text)
            model->setData(index, text, Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}
