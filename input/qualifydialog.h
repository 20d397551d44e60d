#pragma once

#include "engine/calcsettings.h"
#include "engine/plantqualifier.h"

#include <QDialog>
#include <QString>
#include <QVector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Проверка линий": the loop-records file, the services a plant is qualified for and the
// conditions every loop is computed under. Each service is a line type, with a target rate when
// targets are asked for; each condition (capacity, load, norms and their frequencies, margin,
// noise, the frequency of the losses loop records give, coding gain, vectoring and its aliens)
// takes one value, shown in its own field.
class QualifyDialog : public QDialog
{
    Q_OBJECT

public:
    // `preset` is the calculation dialog's current choice: its line types become the services, its
    // first target rate their target, its conditions the fields' values. Where it holds several
    // values of a condition, the field starts at the first and says which ones there were. The
    // line types and noise templates offered are those under `workdir` ("" = the current directory).
    explicit QualifyDialog(const CalcSettings &preset, QWidget *parent = nullptr,
                           const QString &workdir = QString());

    QString loopsFile() const;
    void setLoopsFile(const QString &path);
    // The services and conditions as chosen.
    QualifySettings settings() const;

public slots:
    // Refuses, with a message, a file that cannot be read or services that cannot be computed.
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

    CalcSettings m_preset;
    QLineEdit *m_file = nullptr;
    QSpinBox *m_count = nullptr;
    QCheckBox *m_targets = nullptr;
    QVector<Service> m_services;
    QSpinBox *m_capacity = nullptr;
    QSpinBox *m_load = nullptr;
    QSpinBox *m_elfext = nullptr;
    QSpinBox *m_elfextFrequency = nullptr;
    QSpinBox *m_next = nullptr;
    QSpinBox *m_nextFrequency = nullptr;
    QSpinBox *m_margin = nullptr;
    QSpinBox *m_lossFrequency = nullptr;
    QComboBox *m_noise = nullptr;
    QLineEdit *m_codingGain = nullptr;
    QSpinBox *m_vectoring = nullptr;
    QSpinBox *m_aliens = nullptr;
};
