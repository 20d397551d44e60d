#include "input/importdialog.h"

#include "drawing/measuredchart.h"
#include "engine/graphsettings.h"
#include "engine/setupfile.h"
#include "engine/workspace.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The calculation dialog's "Открыть расчёт…" looks here first.
const char *const SetupDirectory = "setups";

} // namespace

MeasuredPreview::MeasuredPreview(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(480, 260);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MeasuredPreview::setMeasurement(const std::optional<Measured::Measurement> &measurement)
{
    m_measurement = measurement;
    update();
}

void MeasuredPreview::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const Measured::Measurement m = m_measurement.value_or(Measured::Measurement());
    drawMeasuredChart(painter, settleMeasuredChart(m, rect(), painter.fontMetrics()), m);
}

ImportDialog::ImportDialog(QWidget *parent, const QString &workdir)
    : QDialog(parent), m_workdir(workdir)
{
    setWindowTitle(tr("Kolvane - импорт измерений линии"));
    auto *layout = new QVBoxLayout(this);

    auto *filesRow = new QHBoxLayout;
    m_files = new QListWidget;
    m_files->setObjectName(QStringLiteral("measurementFiles"));
    m_files->setMaximumHeight(fontMetrics().height() * 5);
    filesRow->addWidget(m_files, 1);
    auto *buttons = new QVBoxLayout;
    auto *add = new QPushButton(tr("&Добавить файлы…"));
    add->setObjectName(QStringLiteral("addFilesButton"));
    connect(add, &QPushButton::clicked, this, &ImportDialog::addFiles);
    auto *remove = new QPushButton(tr("&Убрать"));
    remove->setObjectName(QStringLiteral("removeFileButton"));
    connect(remove, &QPushButton::clicked, this, &ImportDialog::removeFile);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    filesRow->addLayout(buttons);
    auto *filesLabel = new QLabel(tr("&Файлы измерения (для вывода модема — по файлу на Hlog, QLN и SNR):"));
    filesLabel->setBuddy(m_files);
    layout->addWidget(filesLabel);
    layout->addLayout(filesRow);

    auto *form = new QFormLayout;
    m_format = new QComboBox;
    m_format->setObjectName(QStringLiteral("formatBox"));
    m_format->addItem(tr("определить по содержимому"));
    m_format->addItem(tr("A: параметры измерения ИМЯ=список (TR-181)"), int(Measured::Format::Tr181));
    m_format->addItem(tr("B: статистика маршрутизатора (JSON)"), int(Measured::Format::Json));
    m_format->addItem(tr("C: вывод модема, тон в строке"), int(Measured::Format::Text));
    form->addRow(tr("Фор&мат:"), m_format);
    m_annex = new QComboBox;
    m_annex->setObjectName(QStringLiteral("annexBox"));
    for (const char *annex : {"A", "B", "I", "J", "L", "M"})
        m_annex->addItem(QLatin1String(annex));
    m_annex->setToolTip(tr("Вывод модема содержит тоны обоих направлений: нисходящие начинаются с тона 32 "
                           "(приложения A, I, L) или 64 (B, J, M)"));
    form->addRow(tr("При&ложение (для формата C):"), m_annex);
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("templateName"));
    form->addRow(tr("&Имя шаблонов:"), m_name);
    m_nameProblem = new QLabel;
    m_nameProblem->setObjectName(QStringLiteral("nameProblem"));
    m_nameProblem->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
    m_nameProblem->setWordWrap(true);
    form->addRow(QString(), m_nameProblem);
    m_length = new QSpinBox;
    m_length->setObjectName(QStringLiteral("lineLength"));
    m_length->setRange(0, Measured::LineLength.max);
    m_length->setSuffix(tr(" м"));
    // 0 stands for "not known": the loss is then that of this line at 1 km.
    m_length->setSpecialValueText(tr("неизвестна (%1 м)").arg(Measured::DefaultLineLength));
    form->addRow(tr("&Длина линии:"), m_length);
    layout->addLayout(form);

    m_preview = new MeasuredPreview;
    m_preview->setObjectName(QStringLiteral("measuredPreview"));
    layout->addWidget(m_preview, 1);
    m_summary = new QPlainTextEdit;
    m_summary->setObjectName(QStringLiteral("importSummary"));
    m_summary->setReadOnly(true);
    m_summary->setMaximumHeight(fontMetrics().height() * 9);
    layout->addWidget(m_summary);

    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_import = box->button(QDialogButtonBox::Ok);
    m_import->setText(tr("Импортировать"));
    m_import->setObjectName(QStringLiteral("importButton"));
    box->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    connect(box, &QDialogButtonBox::accepted, this, &ImportDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &ImportDialog::reject);
    layout->addWidget(box);

    connect(m_format, &QComboBox::currentIndexChanged, this, &ImportDialog::reload);
    connect(m_annex, &QComboBox::currentIndexChanged, this, &ImportDialog::reload);
    connect(m_name, &QLineEdit::textChanged, this, &ImportDialog::updateState);
    connect(m_length, &QSpinBox::valueChanged, this, &ImportDialog::updateState);
    resize(720, 640);
    reload();
}

void ImportDialog::setFiles(const QStringList &paths)
{
    m_files->clear();
    for (const QString &path : paths)
        m_files->addItem(QDir::toNativeSeparators(path));
    // The first file's name is a fair proposal until the user types one.
    if (m_name->text().isEmpty() && !paths.isEmpty())
        m_name->setText(QFileInfo(paths.first()).completeBaseName());
    reload();
}

QStringList ImportDialog::files() const
{
    QStringList paths;
    for (int i = 0; i < m_files->count(); ++i)
        paths << QDir::fromNativeSeparators(m_files->item(i)->text());
    return paths;
}

void ImportDialog::addFiles()
{
    const QStringList chosen = QFileDialog::getOpenFileNames(
        this, tr("Файлы измерения линии"), QString(),
        tr("Измерения (*.txt *.json *.log *.csv);;Все файлы (*)"));
    QStringList all = files();
    for (const QString &path : chosen)
        if (!all.contains(path))
            all << path;
    if (!chosen.isEmpty())
        setFiles(all);
}

void ImportDialog::removeFile()
{
    delete m_files->currentItem();
    reload();
}

void ImportDialog::reload()
{
    m_measurement.reset();
    m_readError.clear();
    const QStringList paths = files();
    if (!paths.isEmpty()) {
        Measured::ReadOptions options;
        if (m_format->currentData().isValid())
            options.format = Measured::Format(m_format->currentData().toInt());
        options.firstDownstreamTone = Measured::annexFirstDownstreamTone(m_annex->currentText()).value_or(32);
        m_measurement = Measured::read(paths, options, &m_readError);
    }
    m_preview->setMeasurement(m_measurement);
    updateState();
}

QString ImportDialog::setupRelativePath() const
{
    return QStringLiteral("%1/%2%3").arg(QLatin1String(SetupDirectory), tr("Измерение %1").arg(m_name->text()),
                                         QLatin1String(SetupFile::Extension));
}

void ImportDialog::updateState()
{
    QString nameError;
    const bool nameOk = Measured::checkName(m_name->text(), &nameError);
    m_nameProblem->setText(nameOk ? QString() : nameError);
    m_nameProblem->setVisible(!nameOk && !m_name->text().isEmpty());
    QStringList lines;
    if (!m_measurement) {
        lines << (m_readError.isEmpty() ? tr("Добавьте файлы измерения линии.") : tr("Не импортируется: %1").arg(m_readError));
    } else {
        lines << Measured::summary(*m_measurement);
        for (const QString &warning : std::as_const(m_measurement->warnings))
            lines << tr("Предупреждение: %1").arg(warning);
        if (!m_measurement->hlog.present && !m_measurement->qln.present)
            lines << tr("Нет ни Hlog, ни QLN: импортировать нечего.");
        else if (nameOk) {
            QStringList written = Measured::templateFiles(*m_measurement, m_name->text());
            if (m_measurement->hlog.present && !Measured::dmtLineTypes(m_workdir).isEmpty())
                written << setupRelativePath();
            if (!written.isEmpty())
                lines << tr("Будут записаны: %1").arg(written.join(QStringLiteral(", ")));
        }
    }
    m_summary->setPlainText(lines.join(QLatin1Char('\n')));
    m_import->setEnabled(m_measurement && nameOk && (m_measurement->hlog.present || m_measurement->qln.present));
}

void ImportDialog::accept()
{
    if (!m_measurement || !m_import->isEnabled())
        return;
    Measured::Target target;
    target.workdir = m_workdir;
    target.name = m_name->text();
    target.lineLength = m_length->value() > 0 ? m_length->value() : Measured::DefaultLineLength;
    const QStringList lineTypes = Measured::dmtLineTypes(m_workdir);
    if (m_measurement->hlog.present && !lineTypes.isEmpty()) {
        const CalcSettings calc = Measured::calculation(m_workdir, target.name,
                                                        m_measurement->qln.present ? target.name : QString(),
                                                        target.lineLength, lineTypes);
        target.extraFile = setupRelativePath();
        target.extraBytes = SetupFile::text(calc, GraphSettings(), false);
    }
    QString error;
    Measured::Outcome outcome = Measured::write(*m_measurement, target, &error);
    if (outcome == Measured::Outcome::Exists) {
        if (QMessageBox::question(this, tr("Kolvane"), tr("%1\nЗаменить?").arg(error), QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No)
            != QMessageBox::Yes)
            return;
        target.replace = true;
        outcome = Measured::write(*m_measurement, target, &error);
    }
    if (outcome != Measured::Outcome::Written) {
        QMessageBox::warning(this, tr("Kolvane"), tr("Измерение не импортировано.\n%1").arg(error));
        return;
    }
    const QStringList written = Measured::templateFiles(*m_measurement, target.name);
    m_setupFile = target.extraFile.isEmpty()
        ? QString()
        : QFileInfo(workspacePath(m_workdir, target.extraFile)).absoluteFilePath();
    m_outcome = tr("Записаны шаблоны: %1").arg(written.join(QStringLiteral(", ")));
    if (m_measurement->hlog.present && lineTypes.isEmpty())
        m_outcome += tr("; в рабочем каталоге нет типов линий DMT для расчёта");
    QDialog::accept();
}
