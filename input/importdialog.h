#pragma once

#include "engine/measuredline.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

// The measured line as a chart of Hlog, QLN and SNR, drawn with drawMeasuredChart at its size.
class MeasuredPreview : public QWidget
{
    Q_OBJECT
public:
    explicit MeasuredPreview(QWidget *parent = nullptr);
    void setMeasurement(const std::optional<Measured::Measurement> &measurement);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<Measured::Measurement> m_measurement;
};

// "Импорт измерений линии": the files a line's modems measured become a cable template (Hlog) and
// a noise template (QLN) of one name, and a ready calculation of what the line would carry. What
// the files hold is shown (chart, summary, warnings) before anything is written; templates of
// that name are replaced only when the user says so.
class ImportDialog : public QDialog
{
    Q_OBJECT
public:
    // Writes into the workspace `workdir` ("" = the current directory).
    explicit ImportDialog(QWidget *parent = nullptr, const QString &workdir = QString());

    void setFiles(const QStringList &paths);
    QStringList files() const;
    // What the files hold as now chosen; nullopt with the reason in the summary when refused.
    const std::optional<Measured::Measurement> &measurement() const { return m_measurement; }

    // After an import: the absolute path of the ready calculation's setup file, "" when there is
    // none (no Hlog, no DMT line type in the workspace); and a line saying what was written.
    QString setupFile() const { return m_setupFile; }
    QString outcome() const { return m_outcome; }

public slots:
    // Writes the templates (asking before replacing any) and closes; a failure is shown and the
    // dialog stays open.
    void accept() override;

private slots:
    void addFiles();
    void removeFile();
    void reload();
    void updateState();

private:
    QString setupRelativePath() const;

    QString m_workdir;
    QListWidget *m_files = nullptr;
    QComboBox *m_format = nullptr;
    QComboBox *m_annex = nullptr;
    QLineEdit *m_name = nullptr;
    QSpinBox *m_length = nullptr;
    MeasuredPreview *m_preview = nullptr;
    QPlainTextEdit *m_summary = nullptr;
    QLabel *m_nameProblem = nullptr;
    QPushButton *m_import = nullptr;
    std::optional<Measured::Measurement> m_measurement;
    QString m_readError;
    QString m_setupFile;
    QString m_outcome;
};
