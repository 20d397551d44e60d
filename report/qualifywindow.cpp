#include "report/qualifywindow.h"

#include "engine/filewrite.h"
#include "report/tablecopy.h"
#include "widgets/savedialog.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// One row per loop; the columns are the CSV's fields.
class QualifyTableModel : public QAbstractTableModel
{
public:
    explicit QualifyTableModel(std::shared_ptr<const QualifyTable> table, QObject *parent)
        : QAbstractTableModel(parent), m_table(std::move(table)), m_writer(m_table->settings),
          m_headers(QualifyWriter::headers(m_table->settings)),
          m_perService(m_table->settings.targets.isEmpty() ? 1 : 3)
    {
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_table->loops.size());
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
            return section + 1;
        // "R,кбит/с" over "ADSL2+_DS.DMT", as the rate table's headers; copied, one line again.
        if (section == 0 || section + 1 >= m_headers.size())
            return m_headers.value(section);
        const QString line = m_table->settings.conditions.lineTypes.at((section - 1) / m_perService);
        QString text = m_headers.value(section);
        text.chop(line.size() + 1);
        return text + QLatin1Char('\n') + line;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const QualifiedLoop &loop = m_table->loops.at(index.row());
        const bool refused = loop.problem >= 0;
        const int column = index.column();
        const bool last = column + 1 == m_headers.size();
        switch (role) {
        case Qt::BackgroundRole:
            return refused ? QVariant(QualifyWindow::refusedColor()) : QVariant();
        case Qt::TextAlignmentRole:
            return column == 0 || last ? QVariant(int(Qt::AlignLeft | Qt::AlignVCenter))
                                       : QVariant(int(Qt::AlignRight | Qt::AlignVCenter));
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            break;
        default:
            return {};
        }
        if (column == 0)
            return QString::fromUtf8(loop.id);
        if (last)
            return refused ? m_table->problems.at(loop.problem).russian : QString();
        if (refused)
            return role == Qt::ToolTipRole ? m_table->problems.at(loop.problem).russian : QString();
        const int service = (column - 1) / m_perService;
        const ServiceResult &r = m_table->results.at(qsizetype(index.row()) * m_table->services() + service);
        switch ((column - 1) % m_perService) {
        case 0:
            return QString::fromUtf8(m_writer.rateText(r.rate));
        case 1:
            return QString::fromUtf8(m_writer.marginField(r.margin));
        default:
            return QString::fromUtf8(QualifyWriter::verdictText(m_writer.qualifies(service, r.rate)));
        }
    }

private:
    std::shared_ptr<const QualifyTable> m_table;
    mutable QualifyWriter m_writer; // its texts are cached as they are asked for
    QStringList m_headers;
    int m_perService;
};

} // namespace

QualifyWindow::QualifyWindow(std::shared_ptr<const QualifyTable> table, const QString &loopsFile, QWidget *parent)
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
    m_view->setModel(new QualifyTableModel(m_table, m_view));
    // Hundreds of thousands of rows: fixed heights keep scrolling cheap.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setWordWrap(false);
    // The header and the first thousand rows decide: bounded whatever the number of loops.
    m_view->resizeColumnsToContents();
    layout->addWidget(m_view, 1);

    addCopyAction(m_view);
    auto *exportAction = new QAction(QIcon(QStringLiteral(":/images/xls.png")), tr("Экспорт в *.csv..."), m_view);
    exportAction->setObjectName(QStringLiteral("qualifyExportAct"));
    connect(exportAction, &QAction::triggered, this, &QualifyWindow::exportToCsv);
    m_view->addAction(exportAction);
    m_view->setContextMenuPolicy(Qt::ActionsContextMenu);
}

QualifyWindow::~QualifyWindow() = default;

QColor QualifyWindow::refusedColor()
{
    return QColor(255, 214, 214);
}

QString QualifyWindow::summary() const
{
    const QualifyTable &t = *m_table;
    const qint64 loops = t.loops.size();
    const qint64 refused = t.refused();
    QString text = tr("Линий: %1").arg(loops);
    if (!t.settings.targets.isEmpty()) {
        QStringList services;
        for (int s = 0; s < t.services(); ++s)
            services << tr("%1 (%2 кбит/с) — %3").arg(t.settings.conditions.lineTypes.at(s),
                                                      QString::number(t.settings.targets.at(s)),
                                                      QString::number(t.qualified(s)));
        text += tr("; годны: %1").arg(services.join(QStringLiteral(", ")));
    } else {
        text += tr("; рассчитано: %1").arg(loops - refused);
    }
    return text + tr("; не рассчитано: %1.").arg(refused);
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
    const QFileInfo source(m_loopsFile);
    const QString proposed = source.dir().filePath(source.completeBaseName() + tr(" - проверка.csv"));
    const QString path = askSaveFileName(this, tr("Сохранить проверку линий в *.csv"), proposed,
                                         {{tr("файлы Excel(*.csv)"), QStringLiteral(".csv")}});
    if (path.isEmpty())
        return;
    QString error;
    if (!exportCsv(path, &error)) {
        showNotSaved(this, path, error);
        return;
    }
    emit exported(path);
}
