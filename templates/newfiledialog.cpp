#include "templates/newfiledialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

NewFileDialog::NewFileDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowIcon(QIcon(QStringLiteral(":/images/new.png")));

    m_typeLabel = new QLabel(tr("Тип файла:"));
    m_nameLabel = new QLabel(tr("Имя файла:"));
    m_type = new QComboBox;
    m_type->setObjectName(QStringLiteral("fileType"));
    // In TemplateKind order: the index is the kind.
    m_type->addItem(tr("Тип кабеля"));
    m_type->addItem(tr("Тип линии xDSL DMT"));
    m_type->addItem(tr("Тип линии xDSL PAM"));
    m_type->addItem(tr("Шаблон помех"));
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("fileName"));
    m_add = new QPushButton(tr("Добавить"));
    m_add->setObjectName(QStringLiteral("addButton"));
    m_cancel = new QPushButton(tr("Отмена"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));

    auto *grid = new QGridLayout;
    grid->addWidget(m_typeLabel, 0, 0);
    grid->addWidget(m_type, 0, 1);
    grid->addWidget(m_nameLabel, 1, 0);
    grid->addWidget(m_name, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout;
    layout->addLayout(grid);
    layout->addLayout(buttons);
    setLayout(layout);

    setWindowTitle(tr("Добавить новый файл"));
    setFixedHeight(sizeHint().height());
    setFixedSize(sizeHint());

    connect(m_add, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString NewFileDialog::fileName() const
{
    return m_name->text();
}

int NewFileDialog::fileType() const
{
    return m_type->currentIndex();
}
