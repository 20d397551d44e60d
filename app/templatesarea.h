#pragma once

#include <QMdiArea>

// The "шаблоны" area: while no editor window is shown there it tells a newcomer where to start.
class TemplatesArea : public QMdiArea
{
    Q_OBJECT
public:
    explicit TemplatesArea(QWidget *parent = nullptr);

    // The hint's text; empty once a window is shown.
    QString hint() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
