#pragma once

#include "engine/calcsettings.h"
#include "engine/linespectrum.h"
#include "drawing/spectrumchart.h"

#include <QMdiSubWindow>
#include <QWidget>

#include <optional>

class QLabel;
class QTableView;

// The chart of one line's spectrum on screen, drawn with drawSpectrumChart at the widget's size.
class SpectrumWidget : public QWidget
{
    Q_OBJECT
public:
    explicit SpectrumWidget(const LineSpectrum &spectrum, QWidget *parent = nullptr);

    const LineSpectrum &spectrum() const { return m_spectrum; }
    // The layout of the last drawing, in widget coordinates.
    const SpectrumChart &shownChart() const { return m_chart; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    LineSpectrum m_spectrum;
    SpectrumChart m_chart;
};

// "Kolvane - Спектр: <curve>, L=<length> м" (", A=<loss> дБ, L=..." at a loss): the chart of one cell of the result table above the
// table of its numbers. Context menu: "Сохранить…" (PNG, PDF or CSV) and "Копировать" (Ctrl+C,
// the table or its selection). Deleted when closed.
class SpectrumWindow : public QMdiSubWindow
{
    Q_OBJECT
public:
    // `tableRate`: the rate the result table shows for this cell; a trace that disagrees (the
    // templates changed since the run) is pointed out above the chart.
    explicit SpectrumWindow(const LineSpectrum &spectrum, std::optional<float> tableRate = std::nullopt,
                            QWidget *parent = nullptr);

    static QString titleFor(const QString &curve, int length);

    const LineSpectrum &spectrum() const { return m_chart->spectrum(); }
    SpectrumWidget *chart() const { return m_chart; }
    QTableView *table() const { return m_table; }
    // The note above the chart; hidden when there is nothing to say.
    QLabel *note() const { return m_note; }

    // Where it came from: the run's record and the curve (0-based), for finding it again; on a
    // loss axis the loss (tenths of a dB) the loop length was converted from, which the title names.
    void setOrigin(const CalcSettings &settings, int curve, int loss = -1);
    bool shows(const CalcSettings &settings, int curve, int length, int loss = -1) const;

    // The file name proposed for saving, without extension.
    QString proposedName() const;
    // By the file's extension: .png the chart at its size on screen, .pdf on a landscape A4
    // page, .csv the numbers as `kolvane-calc tones` prints them. False with *error otherwise.
    bool saveTo(const QString &path, QString *error) const;

public slots:
    // Asks for a file and saves there; a failure is shown in a message box.
    void save();

private:
    SpectrumWidget *m_chart = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_note = nullptr;
    CalcSettings m_settings;
    int m_curve = -1;
    int m_loss = -1;
};
