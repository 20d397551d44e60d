#pragma once

#include <QSplitter>

class TemplatesTableWidget;

// What an editor window holds: the template's table and, beside it, the plot of its values
// against frequency (none for a PAM line type), redrawn as cells change. The pane's title is
// the table's, so the window shows the path and the modified mark.
class TemplateEditorPane : public QSplitter
{
    Q_OBJECT
public:
    // Takes the table over; its kind must be set already.
    explicit TemplateEditorPane(TemplatesTableWidget *table, QWidget *parent = nullptr);

    TemplatesTableWidget *table() const { return m_table; }
    // Null for a PAM line type.
    QWidget *plot() const { return m_plot; }
    QSize sizeHint() const override;

private:
    TemplatesTableWidget *m_table;
    QWidget *m_plot = nullptr;
};

// The plot of a table's values, drawn with drawTemplatePlot from the numbers the table holds.
class TemplatePlotWidget : public QWidget
{
    Q_OBJECT
public:
    explicit TemplatePlotWidget(TemplatesTableWidget *table, QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TemplatesTableWidget *m_table;
};
