#include "input/qualifydialog.h"

#include "engine/calcinput.h"
#include "engine/fileread.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"
#include "input/modelfields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>

namespace {

QString fieldName(CalcInput::Field field)
{
    using CalcInput::Field;
    switch (field) {
    case Field::LineTypes: return QObject::tr("Тип линии");
    case Field::Noise: return QObject::tr("Шаблон помех");
    case Field::Capacity: return QObject::tr("Емкость кабеля");
    case Field::Loads: return QObject::tr("Загрузка кабеля");
    case Field::Elfext: return QObject::tr("Нормы ELFEXT");
    case Field::ElfextFrequency: return QObject::tr("Частота нормы ELFEXT");
    case Field::Next: return QObject::tr("Нормы NEXT");
    case Field::NextFrequency: return QObject::tr("Частота нормы NEXT");
    case Field::Margins: return QObject::tr("Запас SNR Margin");
    case Field::TargetRates: return QObject::tr("Целевые скорости");
    case Field::LossFrequency: return QObject::tr("Частота затухания");
    case Field::CodingGain: return QObject::tr("Выигрыш кодирования");
    case Field::Vectoring: return QObject::tr("Векторизация");
    case Field::AlienDisturbers: return QObject::tr("Чужих линий");
    default: return QString();
    }
}

template <typename T>
QString valuesText(const QVector<T> &values)
{
    QStringList out;
    for (T v : values)
        out << QString::number(double(v));
    return out.join(QStringLiteral(", "));
}

QSpinBox *spinBox(const char *name, IntRange range, double value, const QString &suffix)
{
    auto *box = new QSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setRange(range.min, range.max);
    box->setValue(int(value));
    box->setSuffix(suffix);
    return box;
}

// A condition's field, and beside it the values the calculation had when there were several: the
// run takes the one in the field, and the user sees that it is one of them.
template <typename T = int>
QWidget *conditionRow(QWidget *field, const QVector<T> &preset = {}, const char *noteName = nullptr)
{
    auto *row = new QWidget;
    row->setFocusProxy(field); // the label's shortcut goes to the field
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field);
    if (preset.size() > 1) {
        auto *note = new QLabel(QObject::tr("в расчёте несколько значений: %1; для проверки — одно")
                                    .arg(valuesText(preset)));
        note->setObjectName(QLatin1String(noteName));
        note->setStyleSheet(QStringLiteral("color: #a04000"));
        layout->addWidget(note);
    }
    layout->addStretch(1);
    return row;
}

} // namespace

QualifyDialog::QualifyDialog(const CalcSettings &preset, QWidget *parent, const QString &workdir)
    : QDialog(parent), m_preset(preset)
{
    using namespace CalcInput;
    setWindowTitle(tr("Kolvane - проверка линий"));

    auto *layout = new QVBoxLayout(this);

    auto *fileRow = new QHBoxLayout;
    auto *fileLabel = new QLabel(tr("&Файл записей линий:"));
    fileRow->addWidget(fileLabel);
    m_file = new QLineEdit;
    m_file->setObjectName(QStringLiteral("loopsFileEdit"));
    m_file->setMinimumWidth(320);
    m_file->setPlaceholderText(tr("id;кабель;длина или затухание (31.5dB)[;участки], первая строка — заголовок"));
    fileLabel->setBuddy(m_file);
    fileRow->addWidget(m_file, 1);
    auto *browseButton = new QPushButton(tr("&Обзор..."));
    browseButton->setObjectName(QStringLiteral("browseButton"));
    connect(browseButton, &QPushButton::clicked, this, &QualifyDialog::browse);
    fileRow->addWidget(browseButton);
    layout->addLayout(fileRow);

    auto *servicesBox = new QGroupBox(tr("Услуги"));
    auto *servicesLayout = new QVBoxLayout(servicesBox);
    auto *countRow = new QFormLayout;
    m_count = new QSpinBox;
    m_count->setObjectName(QStringLiteral("serviceCountBox"));
    m_count->setRange(1, MaxValues);
    countRow->addRow(tr("&Число услуг (типов линии):"), m_count);
    servicesLayout->addLayout(countRow);
    m_targets = new QCheckBox(tr("&Целевые скорости: запас SNR Margin и годность линии"));
    m_targets->setObjectName(QStringLiteral("targetsBox"));
    servicesLayout->addWidget(conditionRow(m_targets, preset.targetRates, "targetsFamilyNote"));

    QStringList offered = listTemplateEntries(workspacePath(workdir, templateDirectory(LineTypeDmt)));
    for (const QString &name : preset.lineTypes)
        if (!offered.contains(name))
            offered << name;
    auto *grid = new QGridLayout;
    for (int i = 0; i < MaxValues; ++i) {
        Service s;
        s.label = new QLabel(tr("Услуга %1").arg(i + 1));
        s.lineType = new QComboBox;
        s.lineType->setObjectName(QStringLiteral("serviceLineBox%1").arg(i));
        s.lineType->addItems(offered);
        s.target = new QSpinBox;
        s.target->setObjectName(QStringLiteral("serviceTargetBox%1").arg(i));
        s.target->setRange(TargetRate.min, TargetRate.max);
        s.target->setSuffix(tr(" кбит/с"));
        s.target->setValue(preset.targetRates.isEmpty() ? DefaultTargetRate : preset.targetRates.first());
        if (i < preset.lineTypes.size())
            s.lineType->setCurrentText(preset.lineTypes.at(i));
        else if (i < offered.size())
            s.lineType->setCurrentIndex(i);
        s.label->setBuddy(s.lineType);
        grid->addWidget(s.label, i, 0);
        grid->addWidget(s.lineType, i, 1);
        grid->addWidget(s.target, i, 2);
        m_services << s;
    }
    servicesLayout->addLayout(grid);
    layout->addWidget(servicesBox);

    // Each loop is one curve per service: every condition takes exactly one value.
    auto *conditionsBox = new QGroupBox(tr("Условия расчёта"));
    auto *form = new QFormLayout(conditionsBox);
    m_capacity = spinBox("capacityBox", Capacity, preset.cableCapacity, tr(" пар"));
    m_load = spinBox("loadBox", Load, preset.xDSL_points.value(0, DefaultLoad), tr(" пар"));
    m_elfext = spinBox("elfextBox", Norm, preset.Norm_ELFEXT_points.value(0, DefaultNorm), tr(" дБ"));
    m_elfextFrequency = spinBox("elfextFrequencyBox", Frequency, preset.norm_ELFEXT_frequency, tr(" кГц"));
    m_next = spinBox("nextBox", Norm, preset.Norm_NEXT_points.value(0, DefaultNorm), tr(" дБ"));
    m_nextFrequency = spinBox("nextFrequencyBox", Frequency, preset.norm_NEXT_frequency, tr(" кГц"));
    m_margin = spinBox("marginBox", Margin, preset.SNRMargin_points.value(0, DefaultMargin), tr(" дБ"));
    m_lossFrequency = spinBox("lossFrequencyBox", Frequency, preset.lossFrequency, tr(" кГц"));
    m_noise = new QComboBox;
    m_noise->setObjectName(QStringLiteral("noiseBox"));
    for (const QString &entry : listTemplateEntries(workspacePath(workdir, templateDirectory(AdditiveNoise))))
        m_noise->addItem(noiseNameFromEntry(entry));
    if (m_noise->findText(preset.noiseTemplate) < 0)
        m_noise->addItem(preset.noiseTemplate);
    m_noise->setCurrentText(preset.noiseTemplate);
    m_codingGain = ModelFields::codingGainField(QStringLiteral("codingGainEdit"));
    m_codingGain->setFrame(true);
    ModelFields::setCodingGain(m_codingGain, preset.codingGain);
    m_vectoring = ModelFields::vectoringBox(QStringLiteral("vectoringBox"));
    m_vectoring->setFrame(true);
    m_vectoring->setSuffix(tr(" дБ"));
    ModelFields::setVectoring(m_vectoring, preset.vectoring);
    m_aliens = ModelFields::aliensBox(QStringLiteral("alienBox"));
    m_aliens->setFrame(true);
    // The load stays within the cable, as in the calculation dialog, and above the aliens.
    m_load->setMaximum(std::min(Load.max, m_capacity->value()));
    connect(m_capacity, &QSpinBox::valueChanged, m_load, [this](int capacity) {
        m_load->setMaximum(std::min(CalcInput::Load.max, capacity));
    });
    const auto limitAliens = [this] { ModelFields::limitAliens(m_aliens, m_vectoring, m_load->value()); };
    limitAliens();
    m_aliens->setValue(preset.alienDisturbers);
    connect(m_load, &QSpinBox::valueChanged, this, limitAliens);
    connect(m_vectoring, &QSpinBox::valueChanged, this, limitAliens);
    form->addRow(tr("&Емкость кабеля:"), conditionRow(m_capacity));
    form->addRow(tr("&Загрузка кабеля:"), conditionRow(m_load, preset.xDSL_points, "loadFamilyNote"));
    form->addRow(tr("Нормы &ELFEXT:"), conditionRow(m_elfext, preset.Norm_ELFEXT_points, "elfextFamilyNote"));
    form->addRow(tr("Частота нормы ELFEXT:"), conditionRow(m_elfextFrequency));
    form->addRow(tr("Нормы &NEXT:"), conditionRow(m_next, preset.Norm_NEXT_points, "nextFamilyNote"));
    form->addRow(tr("Частота нормы NEXT:"), conditionRow(m_nextFrequency));
    form->addRow(tr("Запас SNR &Margin:"), conditionRow(m_margin, preset.SNRMargin_points, "marginFamilyNote"));
    form->addRow(tr("Шаблон &помех:"), m_noise);
    // Loop records may give a loss ("31.5dB") instead of a length: it is taken at this frequency.
    form->addRow(tr("Затухание в записях — на частоте &F:"), conditionRow(m_lossFrequency));
    form->addRow(tr("Выигрыш &кодирования, дБ:"), conditionRow(m_codingGain));
    form->addRow(tr("&Векторизация, глубина D:"), conditionRow(m_vectoring));
    form->addRow(tr("Чужих &линий N:"), conditionRow(m_aliens));
    layout->addWidget(conditionsBox);

    auto *buttons = new QDialogButtonBox;
    auto *runButton = buttons->addButton(tr("Проверить"), QDialogButtonBox::AcceptRole);
    runButton->setObjectName(QStringLiteral("qualifyButton"));
    runButton->setDefault(true);
    auto *cancelButton = buttons->addButton(tr("Отмена"), QDialogButtonBox::RejectRole);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QualifyDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    m_count->setValue(std::max<int>(1, std::min<int>(MaxValues, preset.lineTypes.size())));
    m_targets->setChecked(!preset.targetRates.isEmpty());
    connect(m_count, &QSpinBox::valueChanged, this, &QualifyDialog::showServices);
    connect(m_targets, &QCheckBox::toggled, this, &QualifyDialog::showServices);
    showServices();
}

QString QualifyDialog::loopsFile() const
{
    return m_file->text();
}

void QualifyDialog::setLoopsFile(const QString &path)
{
    m_file->setText(path);
}

QualifySettings QualifyDialog::settings() const
{
    QualifySettings s;
    CalcSettings &c = s.conditions;
    c = m_preset;
    c.cableTypes.clear();
    c.sections.clear();
    c.targetRates.clear();
    c.lineTypes.clear();
    for (int i = 0; i < m_count->value(); ++i) {
        c.lineTypes << m_services.at(i).lineType->currentText();
        if (m_targets->isChecked())
            s.targets << m_services.at(i).target->value();
    }
    c.cableCapacity = m_capacity->value();
    c.xDSL_points = {m_load->value()};
    c.Norm_ELFEXT_points = {float(m_elfext->value())};
    c.norm_ELFEXT_frequency = float(m_elfextFrequency->value());
    c.Norm_NEXT_points = {float(m_next->value())};
    c.norm_NEXT_frequency = float(m_nextFrequency->value());
    c.SNRMargin_points = {float(m_margin->value())};
    c.noiseTemplate = m_noise->currentText();
    c.lossFrequency = m_lossFrequency->value();
    // Accepting refuses a gain that is no number.
    QString unread;
    c.codingGain = ModelFields::codingGain(m_codingGain, {}, &unread).value_or(0.0f);
    c.vectoring = ModelFields::vectoring(m_vectoring);
    c.alienDisturbers = ModelFields::aliens(m_aliens, m_vectoring);
    CalcInput::fillSummaries(c);
    return s;
}

void QualifyDialog::showServices()
{
    for (int i = 0; i < m_services.size(); ++i) {
        const bool shown = i < m_count->value();
        m_services.at(i).label->setVisible(shown);
        m_services.at(i).lineType->setVisible(shown);
        m_services.at(i).target->setVisible(shown && m_targets->isChecked());
    }
}

void QualifyDialog::browse()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Файл записей линий"), m_file->text(),
                                                      tr("Записи линий (*.csv *.txt);;Все файлы (*)"));
    if (!path.isEmpty())
        m_file->setText(path);
}

void QualifyDialog::accept()
{
    const QString path = loopsFile();
    const QString shown = QDir::toNativeSeparators(path);
    const QualifySettings chosen = settings();
    QString problem;
    if (path.isEmpty())
        problem = tr("Не выбран файл записей линий.");
    else if (pathLookupError(path) == ENOENT)
        problem = tr("Файл %1 не найден.").arg(shown);
    else if (const QString why = fileReadProblem(path); !why.isEmpty())
        problem = tr("Не удаётся прочитать %1: %2").arg(shown, why);
    else if (!ModelFields::codingGain(m_codingGain, fieldName, &problem))
        problem = tr("Проверка невозможна: %1").arg(problem);
    else if (!CalcInput::validateLoopConditions(chosen.conditions, chosen.targets, fieldName, &problem))
        problem = tr("Проверка невозможна: %1").arg(problem);
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, tr("Kolvane"), problem);
        return;
    }
    QDialog::accept();
}
