#include "templates/templatestablewidget.h"

#include "engine/checks.h"
#include "engine/templatefile.h"
#include "templates/templatevalue.h"
#include "templates/templatevaluedelegate.h"

#include <QApplication>
#include <QSignalBlocker>

#include <algorithm>

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

TemplatesTableWidget::TemplatesTableWidget(QWidget *parent)
    : QTableWidget(100, 5, parent)
{
    setItemDelegate(new TemplateValueDelegate(this));
    connect(this, &QTableWidget::itemChanged, this, &TemplatesTableWidget::changeRowCount);
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
    // The table now is the file.
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

void TemplatesTableWidget::insertLine()
{
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() + 1 : 0;
    insertRow(row);
    for (int c = 0; c < columnCount(); ++c)
        setItem(row, c, new QTableWidgetItem(QStringLiteral("0")));
    setModified(true);
}

void TemplatesTableWidget::deleteLine()
{
    const QModelIndex current = currentIndex();
    if (rowCount() <= 1 || !current.isValid())
        return;
    removeRow(current.row());
    setModified(true);
}
