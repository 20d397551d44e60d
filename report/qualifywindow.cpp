#include "report/qualifywindow.h"

#include "report/tablecopy.h"
#include "widgets/savedialog.h"

#include "engine/calcinput.h"
#include "engine/filewrite.h"
#include "engine/loss.h"
#include "engine/qualifycsv.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <queue>
#include <vector>

namespace {

enum Column { IdColumn, CableColumn, LengthColumn, SectionsColumn, FirstServiceColumn };

// Sorts `rows` by each loop's key, ties in loop order. Runs of `run` rows are sorted with their
// keys at hand and then merged: beyond the rows, memory holds one run's keys and the merged rows,
// and the keys are looked up in the order the rows are stored in.
template <typename Key, typename KeyOf>
void sortRows(QVector<qint32> &rows, const KeyOf &keyOf, bool descending, qsizetype run)
{
    using Item = std::pair<Key, qint32>;
    const auto before = [descending](const Item &a, const Item &b) {
        if (a.first < b.first)
            return !descending;
        if (b.first < a.first)
            return descending;
        return a.second < b.second;
    };
    const qsizetype n = rows.size();
    std::vector<Item> items;
    for (qsizetype start = 0; start < n; start += run) {
        const qsizetype end = std::min(n, start + run);
        items.clear();
        for (qsizetype i = start; i < end; ++i)
            items.emplace_back(keyOf(rows.at(i)), rows.at(i));
        std::sort(items.begin(), items.end(), before);
        for (qsizetype i = start; i < end; ++i)
            rows[i] = items[size_t(i - start)].second;
    }
    if (n <= run)
        return;
    struct Head {
        Item item;
        qsizetype next;
        qsizetype end;
    };
    const auto after = [&before](const Head &a, const Head &b) { return before(b.item, a.item); };
    std::priority_queue<Head, std::vector<Head>, decltype(after)> heads(after);
    for (qsizetype start = 0; start < n; start += run)
        heads.push({{keyOf(rows.at(start)), rows.at(start)}, start + 1, std::min(n, start + run)});
    QVector<qint32> merged;
    merged.reserve(n);
    while (!heads.empty()) {
        Head head = heads.top();
        heads.pop();
        merged.append(head.item.second);
        if (head.next < head.end) {
            head.item = {keyOf(rows.at(head.next)), rows.at(head.next)};
            ++head.next;
            heads.push(std::move(head));
        }
    }
    rows = std::move(merged);
}

} // namespace

// One row per shown loop: the id, the loop's cable, length and sections, the CSV's service fields
// and its reason of refusal. The loops shown are all in input order, or those a filter lets
// through, in the order of the column sorted by; a page of them at a time, since a view keeps
// some bytes for every row it has.
class QualifyTableModel : public QAbstractTableModel
{
public:
    QualifyTableModel(std::shared_ptr<const QualifyTable> table, int pageRows, QObject *parent)
        : QAbstractTableModel(parent), m_table(std::move(table)), m_writer(m_table->settings()),
          m_perService(m_table->settings().targets.isEmpty() ? 1 : 3), m_pageRows(std::max(1, pageRows))
    {
        const QStringList headers = QualifyWriter::headers(m_table->settings());
        m_headers << headers.first() << tr("Кабель") << tr("Длина, м") << tr("Участки") << headers.mid(1);
        // Cables and sections by name, for the filter and for sorting.
        QStringList sections;
        for (int p = 0; p < m_table->plans(); ++p) {
            const LoopPlan &plan = m_table->plan(p);
            if (!m_cables.contains(plan.cable))
                m_cables << plan.cable;
            sections << CalcInput::sectionsSummary(plan.sections);
        }
        std::sort(m_cables.begin(), m_cables.end());
        QStringList sortedSections = sections;
        std::sort(sortedSections.begin(), sortedSections.end());
        for (int p = 0; p < m_table->plans(); ++p) {
            const LoopPlan &plan = m_table->plan(p);
            m_planCable << int(std::lower_bound(m_cables.cbegin(), m_cables.cend(), plan.cable) - m_cables.cbegin());
            m_planSections << sections.at(p);
            m_planSectionsRank << int(std::lower_bound(sortedSections.cbegin(), sortedSections.cend(), sections.at(p))
                                      - sortedSections.cbegin());
        }
    }

    QStringList cables() const { return m_cables; }
    int errorColumn() const { return int(m_headers.size()) - 1; }
    qint64 shown() const { return m_identity ? m_table->loops() : m_rows.size(); }
    qint64 pageStart() const { return m_first; }
    qint64 pageRows() const { return m_pageRows; }

    // Shows the page that holds the `first`-th shown loop.
    void setPage(qint64 first)
    {
        beginResetModel();
        m_first = std::clamp<qint64>(first, 0, std::max<qint64>(0, shown() - 1)) / m_pageRows * m_pageRows;
        endResetModel();
    }

    // Only refused or failing loops; only loops of cable `cable` (an index into cables(), -1 any).
    void setFilter(bool failingOnly, int cable)
    {
        beginResetModel();
        m_identity = !failingOnly && cable < 0;
        m_rows.clear();
        if (!m_identity) {
            for (qint64 loop = 0; loop < m_table->loops(); ++loop) {
                if (failingOnly && !m_table->fails(loop))
                    continue;
                if (cable >= 0) {
                    const int plan = m_table->planIndex(loop);
                    if (plan < 0 || m_planCable.at(plan) != cable)
                        continue;
                }
                m_rows.append(qint32(loop));
            }
            m_rows.squeeze();
        }
        order();
        m_first = 0;
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(std::min<qint64>(m_pageRows, shown() - m_first));
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_headers.size());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        if (orientation == Qt::Vertical)
            return m_first + section + 1;
        // "R,кбит/с" over "ADSL2+_DS.DMT", as the rate table's headers; copied, one line again.
        if (section < FirstServiceColumn || section >= errorColumn())
            return m_headers.value(section);
        const QString line = m_table->settings().conditions.lineTypes.at(service(section));
        QString text = m_headers.value(section);
        text.chop(line.size() + 1);
        return text + QLatin1Char('\n') + line;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const qint64 loop = loopAt(index.row());
        const bool refused = m_table->isRefused(loop);
        const int column = index.column();
        switch (role) {
        case Qt::BackgroundRole:
            return refused ? QVariant(QualifyWindow::refusedColor()) : QVariant();
        case Qt::TextAlignmentRole:
            return column == IdColumn || column == CableColumn || column == SectionsColumn || column == errorColumn()
                       ? QVariant(int(Qt::AlignLeft | Qt::AlignVCenter))
                       : QVariant(int(Qt::AlignRight | Qt::AlignVCenter));
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            break;
        default:
            return {};
        }
        if (column == IdColumn)
            return QString::fromUtf8(m_table->id(loop));
        if (column == errorColumn() || refused)
            return column == errorColumn() || role == Qt::ToolTipRole ? m_table->problem(loop) : QString();
        const int plan = m_table->planIndex(loop);
        switch (column) {
        case CableColumn: return m_table->plan(plan).cable;
        case LengthColumn: {
            // A loop its record gave by its loss: the length it converted to, and the loss.
            const int loss = m_table->loss(loop);
            if (loss < 0)
                return m_table->length(loop);
            return tr("%1 (%2 дБ)").arg(QString::number(m_table->length(loop)), lossText(loss));
        }
        case SectionsColumn: return m_planSections.at(plan);
        default: break;
        }
        const int s = service(column);
        const ServiceResult r = m_table->result(loop, s);
        switch (field(column)) {
        case 0: return QString::fromUtf8(m_writer.rateText(r.rate));
        case 1: return QString::fromUtf8(m_writer.marginField(r.margin));
        default: return QString::fromUtf8(QualifyWriter::verdictText(m_writer.qualifies(s, r.rate)));
        }
    }

    void sort(int column, Qt::SortOrder order) override
    {
        m_sortColumn = column;
        m_sortOrder = order;
        beginResetModel();
        this->order();
        m_first = 0;
        endResetModel();
    }

private:
    int service(int column) const { return (column - FirstServiceColumn) / m_perService; }
    int field(int column) const { return (column - FirstServiceColumn) % m_perService; }
    qint64 loopAt(int row) const { return m_identity ? m_first + row : m_rows.at(m_first + row); }

    // A refused loop sorts before every computed one. Every key is exact as a float.
    float key(int column, qint64 loop) const
    {
        constexpr float none = -std::numeric_limits<float>::infinity();
        const int plan = m_table->planIndex(loop);
        if (plan < 0)
            return none;
        switch (column) {
        case CableColumn: return float(m_planCable.at(plan));
        case LengthColumn: return float(m_table->length(loop));
        case SectionsColumn: return float(m_planSectionsRank.at(plan));
        default: break;
        }
        const int s = service(column);
        const ServiceResult r = m_table->result(loop, s);
        switch (field(column)) {
        case 0: return r.rate;
        case 1: return float(r.margin.kind == MarginAtRate::Below   ? LowestMarginTenths - 1
                             : r.margin.kind == MarginAtRate::Above ? HighestMarginTenths + 1
                                                                    : r.margin.tenths);
        default: return m_writer.qualifies(s, r.rate) ? 1.0f : 0.0f;
        }
    }

    // Puts the rows in the order of the column sorted by; none keeps input order.
    void order()
    {
        if (m_sortColumn < 0 || m_sortColumn >= m_headers.size())
            return;
        if (m_identity) {
            m_identity = false;
            m_rows.resize(m_table->loops());
            for (qint32 i = 0; i < m_rows.size(); ++i)
                m_rows[i] = i;
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool descending = m_sortOrder == Qt::DescendingOrder;
        const int column = m_sortColumn;
        if (column == IdColumn)
            sortRows<QByteArray>(m_rows, [this](qint32 loop) { return m_table->id(loop); }, descending, 1 << 18);
        else if (column == errorColumn())
            sortRows<QByteArray>(m_rows, [this](qint32 loop) { return m_table->problem(loop).toUtf8(); }, descending,
                                 1 << 18);
        else
            sortRows<float>(m_rows, [this, column](qint32 loop) { return key(column, loop); }, descending, 1 << 20);
        QApplication::restoreOverrideCursor();
    }

    std::shared_ptr<const QualifyTable> m_table;
    mutable QualifyWriter m_writer; // its texts are cached as they are asked for
    QStringList m_headers;
    int m_perService;
    QStringList m_cables;          // the swept cables, by name
    QVector<int> m_planCable;      // per plan: its cable in m_cables
    QStringList m_planSections;    // per plan: its sections as the dialog writes them
    QVector<int> m_planSectionsRank;
    const qint64 m_pageRows;
    bool m_identity = true;        // all loops are shown in input order, m_rows unused
    QVector<qint32> m_rows;        // the loops shown, in order
    qint64 m_first = 0;            // the page's first, among the loops shown
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

QualifyWindow::QualifyWindow(std::shared_ptr<const QualifyTable> table, const QString &loopsFile, QWidget *parent,
                             int pageRows)
    : QWidget(parent), m_table(std::move(table)), m_loopsFile(loopsFile)
{
    setWindowTitle(tr("Kolvane - Проверка линий: %1").arg(QFileInfo(loopsFile).fileName()));
    setWindowIcon(QIcon(QStringLiteral(":/images/table.png")));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *top = new QHBoxLayout;
    m_summary = new QLabel(summary());
    m_summary->setObjectName(QStringLiteral("qualifySummary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(m_summary, 1);
    auto *exportButton = new QPushButton(QIcon(QStringLiteral(":/images/xls.png")), tr("Экспорт в *.csv..."));
    exportButton->setObjectName(QStringLiteral("qualifyExportButton"));
    connect(exportButton, &QPushButton::clicked, this, &QualifyWindow::exportToCsv);
    top->addWidget(exportButton, 0, Qt::AlignTop);
    layout->addLayout(top);

    m_view = new QTableView;
    m_view->setObjectName(QStringLiteral("qualifyTable"));
    m_model = new QualifyTableModel(m_table, pageRows, m_view);

    auto *filters = new QHBoxLayout;
    auto *showLabel = new QLabel(tr("&Показать:"));
    m_show = new QComboBox;
    m_show->setObjectName(QStringLiteral("qualifyShowBox"));
    m_show->addItems({tr("все линии"), tr("только не рассчитанные и негодные")});
    showLabel->setBuddy(m_show);
    auto *cableLabel = new QLabel(tr("&Кабель:"));
    m_cable = new QComboBox;
    m_cable->setObjectName(QStringLiteral("qualifyCableBox"));
    m_cable->addItem(tr("все кабели"));
    m_cable->addItems(m_model->cables());
    cableLabel->setBuddy(m_cable);
    // Narrow windows keep the filters: the lists open as wide as their texts.
    for (QComboBox *box : {m_show, m_cable}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(12);
    }
    m_shown = new QLabel;
    m_shown->setObjectName(QStringLiteral("qualifyShownLabel"));
    filters->addWidget(showLabel);
    filters->addWidget(m_show);
    filters->addSpacing(12);
    filters->addWidget(cableLabel);
    filters->addWidget(m_cable);
    filters->addSpacing(12);
    filters->addWidget(m_shown, 1);
    m_paging = new QWidget;
    auto *paging = new QHBoxLayout(m_paging);
    paging->setContentsMargins(0, 0, 0, 0);
    auto *back = new QPushButton(tr("◀ &Назад"));
    back->setObjectName(QStringLiteral("qualifyPageBackButton"));
    m_page = new QLabel;
    m_page->setObjectName(QStringLiteral("qualifyPageLabel"));
    auto *forward = new QPushButton(tr("&Вперёд ▶"));
    forward->setObjectName(QStringLiteral("qualifyPageForwardButton"));
    paging->addWidget(back);
    paging->addWidget(m_page);
    paging->addWidget(forward);
    connect(back, &QPushButton::clicked, this, [this] { turnPage(-1); });
    connect(forward, &QPushButton::clicked, this, [this] { turnPage(1); });
    filters->addWidget(m_paging);
    layout->addLayout(filters);
    connect(m_show, &QComboBox::currentIndexChanged, this, &QualifyWindow::applyFilter);
    connect(m_cable, &QComboBox::currentIndexChanged, this, &QualifyWindow::applyFilter);

    m_view->setModel(m_model);
    // Millions of rows: fixed heights keep scrolling cheap.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->horizontalHeader()->setSortIndicatorShown(true);
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_view->setSortingEnabled(true);
    m_view->setWordWrap(false);
    // The header and the first thousand rows decide: bounded whatever the number of loops. Long
    // section lists are cut, whole in their tool tip.
    m_view->resizeColumnsToContents();
    m_view->setColumnWidth(SectionsColumn, std::min(m_view->columnWidth(SectionsColumn), 16 * fontMetrics().averageCharWidth()));
    layout->addWidget(m_view, 1);
    connect(m_model, &QAbstractItemModel::modelReset, this, &QualifyWindow::showPaging);
    applyFilter();

    addCopyAction(m_view);
    const auto sortAction = [this](const QString &text, const char *name, const QKeySequence &keys,
                                   Qt::SortOrder order) {
        auto *action = new QAction(text, m_view);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, [this, order] {
            m_view->sortByColumn(std::max(0, m_view->currentIndex().column()), order);
        });
        m_view->addAction(action);
    };
    sortAction(tr("Сортировать по возрастанию"), "qualifySortUpAct", QKeySequence(tr("Ctrl+Shift+Up")),
               Qt::AscendingOrder);
    sortAction(tr("Сортировать по убыванию"), "qualifySortDownAct", QKeySequence(tr("Ctrl+Shift+Down")),
               Qt::DescendingOrder);
    auto *exportAction = new QAction(QIcon(QStringLiteral(":/images/xls.png")), tr("Экспорт в *.csv..."), m_view);
    exportAction->setObjectName(QStringLiteral("qualifyExportAct"));
    exportAction->setShortcut(QKeySequence(tr("Ctrl+E")));
    exportAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(exportAction, &QAction::triggered, this, &QualifyWindow::exportToCsv);
    m_view->addAction(exportAction);
    m_view->setContextMenuPolicy(Qt::ActionsContextMenu);
}

QualifyWindow::~QualifyWindow() = default;

QColor QualifyWindow::refusedColor()
{
    return QColor(255, 214, 214);
}

void QualifyWindow::applyFilter()
{
    m_model->setFilter(m_show->currentIndex() == 1, m_cable->currentIndex() - 1);
    m_shown->setText(tr("показано линий: %1").arg(m_model->shown()));
}

void QualifyWindow::turnPage(int pages)
{
    m_model->setPage(m_model->pageStart() + pages * m_model->pageRows());
}

void QualifyWindow::showPaging()
{
    const qint64 first = m_model->pageStart();
    m_paging->setVisible(m_model->shown() > m_model->pageRows());
    m_page->setText(tr("строки %1–%2 из %3")
                        .arg(QString::number(first + 1), QString::number(first + m_model->rowCount()),
                             QString::number(m_model->shown())));
}

QString QualifyWindow::summary() const
{
    const QualifyTable &t = *m_table;
    const qint64 loops = t.loops();
    const qint64 refused = t.refused();
    QString text = tr("Линий: %1").arg(loops);
    if (!t.settings().targets.isEmpty()) {
        QStringList services;
        for (int s = 0; s < t.services(); ++s)
            services << tr("%1 (%2 кбит/с) — %3").arg(t.settings().conditions.lineTypes.at(s),
                                                      QString::number(t.settings().targets.at(s)),
                                                      QString::number(t.qualified(s)));
        text += tr("; годны: %1").arg(services.join(QStringLiteral(", ")));
    } else {
        text += tr("; рассчитано: %1").arg(loops - refused);
    }
    return text + tr("; не рассчитано: %1.").arg(refused);
}

QString QualifyWindow::askCsvPath(QWidget *parent, const QString &loopsFile)
{
    const QFileInfo source(loopsFile);
    const QString proposed = source.dir().filePath(source.completeBaseName() + tr(" - проверка.csv"));
    return askSaveFileName(parent, tr("Сохранить проверку линий в *.csv"), proposed,
                           {{tr("файлы Excel(*.csv)"), QStringLiteral(".csv")}});
}

bool QualifyWindow::exportCsv(const QString &path, QString *error) const
{
    const std::shared_ptr<const QualifyTable> table = m_table;
    return writeFileStreamed(
        path, [table](QIODevice &out, QString *) { return writeQualifyTable(out, *table); }, error,
        PipeReader::DontWait);
}

void QualifyWindow::exportToCsv()
{
    const QString path = askCsvPath(this, m_loopsFile);
    if (path.isEmpty())
        return;
    QString error;
    if (!exportCsv(path, &error)) {
        showNotSaved(this, path, error);
        return;
    }
    emit exported(path);
}
