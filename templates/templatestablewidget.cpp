#include "templates/templatestablewidget.h"

#include "engine/checks.h"
#include "engine/templatefile.h"
#include "templates/templatevalue.h"
#include "templates/templatevaluedelegate.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelection>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>
#include <cmath>

namespace {

// The file's own value of a cell, kept so that an untouched cell is written back bit for bit
// even when the file holds a double that no float text can reproduce.
constexpr int StoredValueRole = Qt::UserRole + 1;

// Row and column fields are 16 bits; written as unsigned, as the table has no negative rows.
constexpr int MaxFieldValue = 0xFFFF;

class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace

// One step of the history: rows `first` on, `before` as they were, `after` as they become.
class TemplateRowsCommand : public QUndoCommand
{
public:
    TemplateRowsCommand(TemplatesTableWidget *table, int first, const QVector<TemplatesTableWidget::Row> &before,
                        const QVector<TemplatesTableWidget::Row> &after, const QString &what)
        : QUndoCommand(what)
        , m_table(table)
        , m_first(first)
        , m_before(before)
        , m_after(after)
    {
    }
    void redo() override { m_table->spliceRows(m_first, m_before.size(), m_after); }
    void undo() override { m_table->spliceRows(m_first, m_after.size(), m_before); }

private:
    TemplatesTableWidget *m_table;
    int m_first;
    QVector<TemplatesTableWidget::Row> m_before;
    QVector<TemplatesTableWidget::Row> m_after;
};

TemplatesTableWidget::TemplatesTableWidget(QWidget *parent)
    : QTableWidget(100, 5, parent)
    , m_undo(new QUndoStack(this))
{
    setItemDelegate(new TemplateValueDelegate(this));
    connect(this, &QTableWidget::itemChanged, this, &TemplatesTableWidget::changeRowCount);
    connect(m_undo, &QUndoStack::indexChanged, this, [this] { showModified(!m_undo->isClean()); });
    addEditActions();
}

void TemplatesTableWidget::addEditActions()
{
    QAction *undo = m_undo->createUndoAction(this, tr("Отменить"));
    undo->setObjectName(QStringLiteral("undoAct"));
    undo->setShortcuts(QKeySequence::Undo);
    QAction *redo = m_undo->createRedoAction(this, tr("Повторить"));
    redo->setObjectName(QStringLiteral("redoAct"));
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    // Spreadsheets take Ctrl+Y on every desktop.
    if (!redoKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Y)))
        redoKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_Y));
    redo->setShortcuts(redoKeys);
    auto *copyAct = new QAction(tr("Копировать"), this);
    copyAct->setObjectName(QStringLiteral("copyCellsAct"));
    copyAct->setShortcut(QKeySequence::Copy);
    connect(copyAct, &QAction::triggered, this, &TemplatesTableWidget::copy);
    auto *pasteAct = new QAction(tr("Вставить"), this);
    pasteAct->setObjectName(QStringLiteral("pasteCellsAct"));
    pasteAct->setShortcut(QKeySequence::Paste);
    connect(pasteAct, &QAction::triggered, this, &TemplatesTableWidget::paste);
    auto *separator = new QAction(this);
    separator->setSeparator(true);
    for (QAction *action : {undo, redo, separator, copyAct, pasteAct}) {
        // Within this editor only: every editor window has its own.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

QStringList TemplatesTableWidget::columnCaptions(TemplateKind kind)
{
    switch (kind) {
    case CableAttenuation:
        return {tr("F, кГц"), tr("a, дБ/км")};
    case LineTypeDmt:
        return {tr("F, кГц"), tr("S, дБм/Гц"), tr("Kmax"), tr("N, дБм/Гц")};
    case LineTypePam:
        return {tr("K"), tr("P, дБм"), tr("Rmin, кбит/с"), tr("Rmax, кбит/с"), tr("N, дБм/Гц")};
    case AdditiveNoise:
        return {tr("F, кГц"), tr("N, дБм/Гц")};
    }
    return {};
}

void TemplatesTableWidget::setTemplateKind(TemplateKind kind)
{
    m_kind = kind;
    const QStringList captions = columnCaptions(kind);
    setColumnCount(captions.size());
    for (int c = 0; c < captions.size(); ++c)
        setHorizontalHeaderItem(c, new QTableWidgetItem(captions.at(c)));
}

void TemplatesTableWidget::setFilePath(const QString &path)
{
    m_filePath = path;
    setWindowTitle(m_modified ? m_filePath + QStringLiteral(" *") : m_filePath);
}

void TemplatesTableWidget::setModified(bool value)
{
    if (value)
        m_undo->resetClean();
    else
        m_undo->setClean();
    showModified(value);
}

void TemplatesTableWidget::showModified(bool value)
{
    if (!m_modified && value)
        setWindowTitle(windowTitle() + QStringLiteral(" *"));
    if (!value)
        setWindowTitle(m_filePath);
    m_modified = value;
}

void TemplatesTableWidget::changeRowCount(QTableWidgetItem *)
{
    setModified(true);
}

bool TemplatesTableWidget::loadFromFile(QString *error)
{
    QVector<TemplateCell> cells;
    {
        const WaitCursor wait;
        if (!readTemplateCells(m_filePath, &cells, error))
            return false;
    }
    // Cells no calculation reads (a negative row, a column the kind does not have) stay out of
    // the table, which would otherwise grow to their 16-bit row and column numbers; they are
    // kept aside and written back on save, so the file loses nothing.
    const int columns = columnCaptions(m_kind).size();
    QVector<TemplateCell> shown;
    QVector<TemplateCell> hidden;
    int rows = 1;
    for (const TemplateCell &cell : std::as_const(cells)) {
        if (cell.row < 0 || cell.column < 0 || cell.column >= columns) {
            hidden.append(cell);
        } else {
            shown.append(cell);
            rows = qMax(rows, int(cell.row) + 1);
        }
    }
    if (rows > MaxRows)
        return fail(error, tr("Шаблон %1 занимает %2 строк, а редактор открывает не больше %3 строк")
                               .arg(m_filePath, QString::number(rows), QString::number(MaxRows)));

    const WaitCursor wait;
    // Blocked: placing the file's cells is not an edit.
    const QSignalBlocker blocker(this);
    // Whatever the table held before (edits dropped by "No") must not survive the reload.
    clearContents();
    setRowCount(rows);
    setColumnCount(columns);
    for (const TemplateCell &cell : std::as_const(shown)) {
        auto *item = new QTableWidgetItem(formatTemplateValue(cell.value));
        item->setData(StoredValueRole, cell.value);
        setItem(cell.row, cell.column, item);
    }
    m_hiddenCells = hidden;
    // The table now is the file; undoing into what it held before would mix the two.
    m_undo->clear();
    setModified(false);
    return true;
}

bool TemplatesTableWidget::writeToFile(const QString &path, QString *error) const
{
    if (rowCount() > MaxFieldValue + 1 || columnCount() > MaxFieldValue + 1)
        return fail(error, tr("Слишком много строк или столбцов для формата шаблона"));
    QVector<TemplateCell> cells;
    for (int r = 0; r < rowCount(); ++r) {
        for (int c = 0; c < columnCount(); ++c) {
            const QTableWidgetItem *cell = item(r, c);
            if (!cell)
                continue;
            const QString text = cell->text().trimmed();
            if (text.isEmpty())
                continue;
            const QVariant stored = cell->data(StoredValueRole);
            double value = 0.0;
            if (stored.isValid() && formatTemplateValue(stored.toDouble()) == text) {
                value = stored.toDouble();
            } else {
                bool ok = false;
                value = parseTemplateValue(text, &ok);
                if (!ok)
                    return fail(error, tr("Строка %1, столбец %2: \"%3\" не является числом")
                                           .arg(QString::number(r + 1), QString::number(c + 1),
                                                cell->text()));
            }
            cells.append({qint16(quint16(r)), qint16(quint16(c)), value});
        }
    }
    if (!m_hiddenCells.isEmpty()) {
        // In row and column order like the rest; the table's cells are already in it.
        cells += m_hiddenCells;
        std::stable_sort(cells.begin(), cells.end(), [](const TemplateCell &a, const TemplateCell &b) {
            return a.row != b.row ? a.row < b.row : a.column < b.column;
        });
    }
    const WaitCursor wait;
    return writeTemplateCells(path, cells, error, PipeReader::DontWait);
}

bool TemplatesTableWidget::saveToFile(QString *error)
{
    commitPendingEdit();
    if (!writeToFile(m_filePath, error))
        return false;
    setModified(false);
    return true;
}

bool TemplatesTableWidget::validateFirstColumn() const
{
    float previous = 0.0f;
    for (int r = 0; r < rowCount(); ++r) {
        const QTableWidgetItem *cell = item(r, 0);
        if (!cell || cell->text().trimmed().isEmpty())
            return false;
        bool ok = false;
        const float value = parseTemplateValue(cell->text(), &ok);
        // !(a >= b) also refuses NaN.
        if (!ok || !(value >= 0.0f) || (r > 0 && !(value >= previous)))
            return false;
        previous = value;
    }
    return rowCount() > 0;
}

void TemplatesTableWidget::commitPendingEdit()
{
    // Editing always starts at the current cell (F2, a typed key, a double-click).
    if (QWidget *editor = indexWidget(currentIndex()))
        commitData(editor);
}

QSize TemplatesTableWidget::sizeHint() const
{
    int width = 2 * frameWidth() + verticalHeader()->sizeHint().width() + verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < columnCount(); ++c)
        width += columnWidth(c);
    return {width, QTableWidget::sizeHint().height()};
}

double TemplatesTableWidget::cellValue(int row, int column) const
{
    const QTableWidgetItem *cell = item(row, column);
    bool ok = false;
    const float value = cell ? parseTemplateValue(cell->text(), &ok) : 0.0f;
    return ok ? double(value) : std::nan("");
}

QVector<TemplatesTableWidget::Row> TemplatesTableWidget::rowsAt(int first, int count) const
{
    QVector<Row> rows;
    for (int r = first; r < first + count; ++r) {
        Row row(columnCount());
        for (int c = 0; c < columnCount(); ++c) {
            if (const QTableWidgetItem *cell = item(r, c))
                row[c] = {true, cell->text(), cell->data(StoredValueRole)};
        }
        rows.append(row);
    }
    return rows;
}

void TemplatesTableWidget::replaceRows(int first, int count, const QVector<Row> &rows, const QString &what)
{
    m_undo->push(new TemplateRowsCommand(this, first, rowsAt(first, count), rows, what));
}

void TemplatesTableWidget::spliceRows(int first, int count, const QVector<Row> &rows)
{
    // Blocked: a step of the history marks the table through the history's clean state.
    const QSignalBlocker blocker(this);
    first = std::clamp(first, 0, rowCount());
    count = std::clamp(count, 0, rowCount() - first);
    const int grow = int(rows.size()) - count;
    if (grow > 0)
        model()->insertRows(first + count, grow);
    else if (grow < 0)
        model()->removeRows(first + int(rows.size()), -grow);
    for (int i = 0; i < rows.size(); ++i) {
        for (int c = 0; c < columnCount(); ++c) {
            const Cell cell = c < rows.at(i).size() ? rows.at(i).at(c) : Cell();
            if (!cell.present) {
                delete takeItem(first + i, c);
                continue;
            }
            auto *placed = new QTableWidgetItem(cell.text);
            if (cell.stored.isValid())
                placed->setData(StoredValueRole, cell.stored);
            setItem(first + i, c, placed);
        }
    }
}

void TemplatesTableWidget::setCellText(int row, int column, const QString &text)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return;
    const QTableWidgetItem *cell = item(row, column);
    if (cell ? cell->text() == text : text.isEmpty())
        return;
    QVector<Row> rows = rowsAt(row, 1);
    // The file's value stays with the cell: written back bit for bit if the text returns to it.
    rows[0][column].present = true;
    rows[0][column].text = text;
    replaceRows(row, 1, rows, tr("ввод в ячейку"));
}

void TemplatesTableWidget::insertLine()
{
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() + 1 : 0;
    Row zeros(columnCount(), Cell{true, QStringLiteral("0"), QVariant()});
    replaceRows(row, 0, {zeros}, tr("вставку строки"));
}

void TemplatesTableWidget::deleteLine()
{
    const QModelIndex current = currentIndex();
    if (rowCount() <= 1 || !current.isValid())
        return;
    replaceRows(current.row(), 1, {}, tr("удаление строки"));
}

QString TemplatesTableWidget::selectionText() const
{
    QModelIndexList cells = selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    if (cells.isEmpty() && currentIndex().isValid())
        cells.append(currentIndex());
    if (cells.isEmpty())
        return QString();
    int top = rowCount(), left = columnCount(), bottom = -1, right = -1;
    for (const QModelIndex &index : std::as_const(cells)) {
        top = std::min(top, index.row());
        bottom = std::max(bottom, index.row());
        left = std::min(left, index.column());
        right = std::max(right, index.column());
    }
    QVector<QStringList> block(bottom - top + 1, QStringList());
    for (QStringList &row : block) {
        for (int c = left; c <= right; ++c)
            row.append(QString());
    }
    for (const QModelIndex &index : std::as_const(cells)) {
        if (const QTableWidgetItem *cell = item(index.row(), index.column()))
            block[index.row() - top][index.column() - left] = cell->text();
    }
    return joinCellBlock(block);
}

bool TemplatesTableWidget::pasteText(const QString &text, QString *error)
{
    const QVector<QStringList> block = splitCellBlock(text);
    if (block.isEmpty())
        return fail(error, tr("Буфер обмена не содержит ячеек"));
    const QModelIndex current = currentIndex();
    const int top = current.isValid() ? current.row() : 0;
    const int left = current.isValid() ? current.column() : 0;
    int width = 0;
    for (const QStringList &fields : block) {
        for (int j = 0; j < fields.size(); ++j) {
            // Empty cells past the last column (a trailing tab) change nothing.
            if (fields.at(j).trimmed().isEmpty() && left + j >= columnCount())
                continue;
            width = std::max(width, j + 1);
        }
    }
    if (left + width > columnCount())
        return fail(error, tr("Блок не помещается по ширине: в нём столбцов — %1, а от столбца «%2» до края "
                              "таблицы — %3.")
                               .arg(QString::number(width), model()->headerData(left, Qt::Horizontal).toString(),
                                    QString::number(columnCount() - left)));
    if (top + block.size() > MaxRows)
        return fail(error, tr("Блок не помещается: строк в шаблоне стало бы %1, а можно не больше %2.")
                               .arg(QString::number(top + block.size()), QString::number(MaxRows)));
    commitPendingEdit();
    const int existing = std::min(int(block.size()), rowCount() - top);
    QVector<Row> rows = rowsAt(top, existing);
    rows.resize(block.size(), Row(columnCount()));
    for (int i = 0; i < block.size(); ++i) {
        const QStringList &fields = block.at(i);
        for (int j = 0; j < fields.size() && left + j < columnCount(); ++j)
            rows[i][left + j] = Cell{true, fields.at(j).trimmed(), QVariant()};
    }
    replaceRows(top, existing, rows, tr("вставку блока"));
    setCurrentCell(top, left);
    selectionModel()->select(QItemSelection(model()->index(top, left),
                                            model()->index(top + int(block.size()) - 1, left + std::max(width, 1) - 1)),
                             QItemSelectionModel::ClearAndSelect);
    return true;
}

void TemplatesTableWidget::copy()
{
    commitPendingEdit();
    QApplication::clipboard()->setText(selectionText());
}

void TemplatesTableWidget::paste()
{
    QString error;
    if (!pasteText(QApplication::clipboard()->text(), &error))
        QMessageBox::warning(this, tr("Kolvane"), tr("Вставка не выполнена.\n%1").arg(error));
}
