#include "input/qualifydialog.h"

#include "engine/calcinput.h"
#include "engine/templatekind.h"
#include "engine/workspace.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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

namespace {

constexpr int DefaultTarget = 2048; // kbit/s, when the calculation has no target rate

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
    default: return QString();
    }
}

// The first value of a list, which a qualification takes when the calculation has a family.
template <typename T>
QVector<T> first(const QVector<T> &values, bool *cut)
{
    if (values.size() > 1)
        *cut = true;
    return values.isEmpty() ? values : QVector<T>{values.first()};
}

} // namespace

QualifyDialog::QualifyDialog(const CalcSettings &preset, QWidget *parent, const QString &workdir)
    : QDialog(parent)
{
    using namespace CalcInput;
    setWindowTitle(tr("Kolvane - проверка линий"));

    bool cut = false;
    m_conditions = preset;
    m_conditions.cableTypes.clear();
    m_conditions.sections.clear();
    m_conditions.xDSL_points = first(preset.xDSL_points, &cut);
    m_conditions.Norm_ELFEXT_points = first(preset.Norm_ELFEXT_points, &cut);
    m_conditions.Norm_NEXT_points = first(preset.Norm_NEXT_points, &cut);
    m_conditions.SNRMargin_points = first(preset.SNRMargin_points, &cut);

    auto *layout = new QVBoxLayout(this);

    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel(tr("Файл записей линий:")));
    m_file = new QLineEdit;
    m_file->setObjectName(QStringLiteral("loopsFileEdit"));
    m_file->setMinimumWidth(320);
    m_file->setPlaceholderText(tr("id;кабель;длина[;участки], первая строка — заголовок"));
    fileRow->addWidget(m_file, 1);
    auto *browseButton = new QPushButton(tr("Обзор..."));
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
    countRow->addRow(tr("Число услуг (типов линии):"), m_count);
    servicesLayout->addLayout(countRow);
    m_targets = new QCheckBox(tr("Целевые скорости: запас SNR Margin и годность линии"));
    m_targets->setObjectName(QStringLiteral("targetsBox"));
    servicesLayout->addWidget(m_targets);

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
        s.target->setValue(preset.targetRates.isEmpty() ? DefaultTarget : preset.targetRates.first());
        if (i < preset.lineTypes.size())
            s.lineType->setCurrentText(preset.lineTypes.at(i));
        else if (i < offered.size())
            s.lineType->setCurrentIndex(i);
        grid->addWidget(s.label, i, 0);
        grid->addWidget(s.lineType, i, 1);
        grid->addWidget(s.target, i, 2);
        m_services << s;
    }
    servicesLayout->addLayout(grid);
    layout->addWidget(servicesBox);

    QString conditions =
        tr("Условия расчёта из окна «Ввод исходных данных»: емкость кабеля %1 пар, загрузка %2, "
           "ELFEXT %3, NEXT %4, запас %5, помехи %6.")
            .arg(QString::number(m_conditions.cableCapacity), loadsSummary(m_conditions.xDSL_points),
                 normsSummary(m_conditions.Norm_ELFEXT_points, m_conditions.norm_ELFEXT_frequency),
                 normsSummary(m_conditions.Norm_NEXT_points, m_conditions.norm_NEXT_frequency),
                 marginsSummary(m_conditions.SNRMargin_points),
                 m_conditions.noiseTemplate.isEmpty() ? tr("нет") : m_conditions.noiseTemplate);
    if (cut)
        conditions += QLatin1Char(' ') + tr("Из нескольких значений взято первое.");
    auto *conditionsLabel = new QLabel(conditions);
    conditionsLabel->setObjectName(QStringLiteral("conditionsLabel"));
    conditionsLabel->setWordWrap(true);
    layout->addWidget(conditionsLabel);

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
    s.conditions = m_conditions;
    s.conditions.lineTypes.clear();
    for (int i = 0; i < m_count->value(); ++i) {
        s.conditions.lineTypes << m_services.at(i).lineType->currentText();
        if (m_targets->isChecked())
            s.targets << m_services.at(i).target->value();
    }
    CalcInput::fillSummaries(s.conditions);
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
    const QFileInfo info(path);
    QString problem;
    if (path.isEmpty())
        problem = tr("Не выбран файл записей линий.");
    else if (!info.exists())
        problem = tr("Файл %1 не найден.").arg(QDir::toNativeSeparators(path));
    else if (info.isDir())
        problem = tr("%1 — каталог, а не файл записей линий.").arg(QDir::toNativeSeparators(path));
    else if (!info.isFile())
        problem = tr("%1 не является обычным файлом.").arg(QDir::toNativeSeparators(path));
    else if (!CalcInput::validateLoopConditions(settings().conditions, settings().targets, fieldName, &problem))
        problem = tr("Проверка невозможна: %1").arg(problem);
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, tr("Kolvane"), problem);
        return;
    }
    QDialog::accept();
}
