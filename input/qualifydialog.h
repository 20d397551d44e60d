#pragma once

#include "engine/calcsettings.h"
#include "engine/qualify.h"

#include <QDialog>
#include <QString>
#include <QVector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Проверка линий": the loop-records file and the services a plant is qualified for. Each service
// is a line type, with a target rate when targets are asked for; the conditions (load, norms,
// margin, noise) are the calculation dialog's, shown here as a summary.
class QualifyDialog : public QDialog
{
    Q_OBJECT

public:
    // `preset` is the calculation dialog's current choice: its line types become the services, its
    // first target rate their target, the first value of each other list the conditions. The line
    // types offered are those of xDSL/ under `workdir` ("" = the current directory).
    explicit QualifyDialog(const CalcSettings &preset, QWidget *parent = nullptr,
                           const QString &workdir = QString());

    QString loopsFile() const;
    void setLoopsFile(const QString &path);
    // The services and conditions as chosen.
    QualifySettings settings() const;

public slots:
    // Refuses, with a message, a missing file or services that cannot be computed.
    void accept() override;

private slots:
    void browse();
    void showServices();

private:
    struct Service {
        QLabel *label = nullptr;
        QComboBox *lineType = nullptr;
        QSpinBox *target = nullptr;
    };

    CalcSettings m_conditions;
    QLineEdit *m_file = nullptr;
    QSpinBox *m_count = nullptr;
    QCheckBox *m_targets = nullptr;
    QVector<Service> m_services;
};
