#include "report/runtablemodel.h"

#include "engine/calcrun.h"
#include "report/targetreport.h"

namespace {

// The rate table before any run: room to look at, as it always opened.
constexpr int BlankRows = 200;
constexpr int BlankColumns = 26;

} // namespace

RunTableModel::RunTableModel(Kind kind, QObject *parent)
    : QAbstractTableModel(parent)
    , m_kind(kind)
{
    setRun(nullptr);
}

void RunTableModel::setRun(const CalcRun *run)
{
    beginResetModel();
    m_table = ReportTable();
    m_rows = m_columns = 0;
    if (m_kind == Rates && !run) {
        m_table.header = resultHeader(CalcSettings(), SweepResult());
        m_rows = BlankRows;
        m_columns = BlankColumns;
    } else if (m_kind == Rates) {
        m_table = resultReportTable(run->sweep.rows, resultHeader(run->settings, run->sweep), run->settings.axis);
    } else if (run && run->hasTargets()) {
        m_table = targetReportTables(*run).at(m_kind == Reach ? 0 : 1);
    }
    m_rows = std::max(m_rows, int(m_table.rows.size()));
    m_columns = std::max(m_columns, int(m_table.header.size()));
    endResetModel();
}

int RunTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RunTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant RunTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_table.rows.size())
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    return m_table.rows.at(index.row()).value(index.column());
}

QVariant RunTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_table.header.size())
        return m_table.header.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags RunTableModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
