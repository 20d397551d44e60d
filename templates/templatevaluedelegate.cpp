#include "templates/templatevaluedelegate.h"

#include "widgets/decimalfield.h"
#include "templates/templatestablewidget.h"

#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>

namespace {

bool refusedCell(const QModelIndex &index)
{
    const QString text = index.data(Qt::DisplayRole).toString();
    return !text.trimmed().isEmpty() && !DecimalValidator::isNumber(text, DecimalValidator::Float);
}

} // namespace

TemplateValueDelegate::TemplateValueDelegate(TemplatesTableWidget *table)
    : QStyledItemDelegate(table)
    , m_table(table)
{
}

QWidget *TemplateValueDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                             const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        showRefusedDecimal(line);
    return editor;
}

void TemplateValueDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                         const QModelIndex &index) const
{
    if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        // Kept as typed, a number or not: the cell shows it refused until it is corrected.
        m_table->setCellText(index.row(), index.column(), line->text().trimmed());
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void TemplateValueDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (!refusedCell(index))
        return;
    option->backgroundBrush = refusedBackground();
    option->palette.setColor(QPalette::Text, refusedText());
    option->palette.setColor(QPalette::HighlightedText, refusedText());
    option->palette.setColor(QPalette::Highlight, refusedBackground().darker(115));
}

bool TemplateValueDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                      const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() == QEvent::ToolTip && refusedCell(index)) {
        QToolTip::showText(event->globalPos(), refusedDecimalTip(index.data().toString()), view);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
