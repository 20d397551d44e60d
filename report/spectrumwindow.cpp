#include "report/spectrumwindow.h"


#include "engine/checks.h"
#include "engine/filewrite.h"
#include "engine/loss.h"
#include "report/tablecopy.h"
#include "widgets/savedialog.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <cstring>

namespace {

// The trace as a read-only table: the columns of its CSV, the values as the result table
// writes rates.
class SpectrumTableModel : public QAbstractTableModel
{
public:
    SpectrumTableModel(const LineSpectrum &spectrum, QObject *parent)
        : QAbstractTableModel(parent), m_trace(spectrum.trace), m_dmt(spectrum.dmt), m_measured(spectrum.measuredSnr),
          m_columns(traceColumns(spectrum.dmt, spectrum.measuredSnr.has_value()))
    {
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        if (parent.isValid())
            return 0;
        return int(m_dmt ? m_trace.tones.size() : m_trace.candidates.size());
    }

    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_columns.size());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        if (orientation == Qt::Horizontal)
            return m_columns.value(section);
        return section + 1;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (role == Qt::TextAlignmentRole)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        const auto text = [](double v) { return QString::number(v, 'g', 6); };
        if (m_dmt) {
            const ToneTrace &t = m_trace.tones.at(index.row());
            switch (index.column()) {
            case 0: return text(t.f);
            case 1: return text(t.S);
            case 2: return text(t.A);
            case 3: return text(t.U);
            case 4: return text(t.snr);
            case 5: return QString::number(t.bits);
            case 6:
                if (const std::optional<double> v = m_measured ? m_measured->valueAtFrequency(t.f) : std::nullopt)
                    return text(*v);
                return QString();
            }
            return {};
        }
        const CandidateTrace &c = m_trace.candidates.at(index.row());
        switch (index.column()) {
        case 0: return text(c.rate);
        case 1: return text(c.bandEdge);
        case 2: return text(c.snr);
        case 3: return text(c.threshold);
        }
        return {};
    }

private:
    const LineTrace m_trace;
    const bool m_dmt;
    const std::optional<Measured::Series> m_measured;
    const QStringList m_columns;
};

// Bit for bit: a table rate of -0 or one rounding apart is no match.
bool sameRate(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

SpectrumWidget::SpectrumWidget(const LineSpectrum &spectrum, QWidget *parent)
    : QWidget(parent), m_spectrum(spectrum)
{
    setMinimumSize(420, 300);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click on the chart takes the focus, so that Ctrl+C copies this window's numbers.
    setFocusPolicy(Qt::ClickFocus);
}

void SpectrumWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setFont(font());
    m_chart = settleSpectrumChart(m_spectrum, rect(), painter.fontMetrics());
    drawSpectrumChart(painter, m_chart, m_spectrum);
}

SpectrumWindow::SpectrumWindow(const LineSpectrum &spectrum, std::optional<float> tableRate, QWidget *parent)
    : QMdiSubWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("spectrumWindow"));
    setWindowTitle(titleFor(spectrum.curve, spectrum.length));
    setWindowIcon(QIcon(QStringLiteral(":/images/graph.png")));

    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    m_note = new QLabel;
    m_note->setObjectName(QStringLiteral("spectrumNote"));
    m_note->setWordWrap(true);
    m_note->setStyleSheet(QStringLiteral("QLabel { color: #b00000; padding: 3px; }"));
    QStringList notes = spectrum.warnings;
    if (tableRate && !sameRate(*tableRate, spectrum.trace.rate))
        notes.prepend(tr("Шаблоны изменились после расчёта: в таблице %1 кбит/с, по шаблонам сейчас %2 кбит/с.")
                          .arg(QString::number(double(*tableRate), 'g', 6),
                               QString::number(double(spectrum.trace.rate), 'g', 6)));
    m_note->setText(notes.join(QLatin1Char('\n')));
    m_note->setVisible(!notes.isEmpty());
    layout->addWidget(m_note);

    auto *splitter = new QSplitter(Qt::Vertical);
    m_chart = new SpectrumWidget(spectrum);
    m_chart->setObjectName(QStringLiteral("spectrumChart"));
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("spectrumTable"));
    m_table->setModel(new SpectrumTableModel(spectrum, m_table));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    splitter->addWidget(m_chart);
    splitter->addWidget(m_table);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);
    setWidget(content);

    auto *saveAct = new QAction(tr("Сохранить…"), this);
    saveAct->setObjectName(QStringLiteral("saveSpectrumAct"));
    saveAct->setStatusTip(tr("Сохранить график в PNG или PDF, числа в CSV"));
    connect(saveAct, &QAction::triggered, this, &SpectrumWindow::save);
    // Ctrl+C anywhere in the window copies the table: the chart has no numbers of its own.
    QAction *copyAct = addCopyAction(m_table);
    content->addAction(copyAct);
    m_chart->addActions({saveAct, copyAct});
    m_table->addAction(saveAct);
    m_chart->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    resize(820, 640);
}

QString SpectrumWindow::titleFor(const QString &curve, int length)
{
    return tr("Kolvane - Спектр: %1, L=%2 м").arg(curve, QString::number(length));
}

void SpectrumWindow::setOrigin(const CalcSettings &settings, int curve, int loss)
{
    m_settings = settings;
    m_curve = curve;
    m_loss = loss;
    if (loss >= 0)
        setWindowTitle(tr("Kolvane - Спектр: %1, A=%2 дБ, L=%3 м")
                           .arg(spectrum().curve, lossText(loss), QString::number(spectrum().length)));
}

bool SpectrumWindow::shows(const CalcSettings &settings, int curve, int length, int loss) const
{
    return m_curve == curve && spectrum().length == length && m_loss == loss && m_settings == settings;
}

QString SpectrumWindow::proposedName() const
{
    QString name = tr("Спектр_%1_L=%2м").arg(spectrum().curve, QString::number(spectrum().length));
    // A curve's name may hold characters no file name may.
    for (QChar &c : name)
        if (QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    return name.replace(QLatin1Char(' '), QLatin1Char('_'));
}

bool SpectrumWindow::saveTo(const QString &path, QString *error) const
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) {
        const QSize size = m_chart->size().isEmpty() ? m_chart->sizeHint().expandedTo(QSize(820, 480)) : m_chart->size();
        return exportSpectrumImage(spectrum(), size, path, "PNG", error);
    }
    if (suffix == QLatin1String("pdf"))
        return exportSpectrumPdf(spectrum(), windowTitle(), path, error);
    if (suffix == QLatin1String("csv"))
        return writeFileSafely(path,
                               traceCsvContent(spectrum().trace, spectrum().dmt,
                                               spectrum().measuredSnr ? &*spectrum().measuredSnr : nullptr),
                               error, PipeReader::DontWait);
    return fail(error, tr("Неизвестный тип файла «%1»: сохраняются .png, .pdf и .csv").arg(QFileInfo(path).fileName()));
}

void SpectrumWindow::save()
{
    // Proposed with its extension: a curve's name may hold a dot ("SNR Margin=1.5дБ").
    const QString path = askSaveFileName(this, tr("Сохранить спектр линии"), proposedName() + QStringLiteral(".png"),
                                         {{tr("Рисунок PNG (*.png)"), QStringLiteral(".png")},
                                          {tr("Документ PDF (*.pdf)"), QStringLiteral(".pdf")},
                                          {tr("Таблица CSV (*.csv)"), QStringLiteral(".csv")}});
    if (path.isEmpty())
        return;
    QString error;
    if (!saveTo(path, &error))
        showNotSaved(this, path, error);
}
