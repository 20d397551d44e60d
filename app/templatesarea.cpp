#include "app/templatesarea.h"

#include <QChildEvent>
#include <QMdiSubWindow>
#include <QPainter>

TemplatesArea::TemplatesArea(QWidget *parent)
    : QMdiArea(parent)
{
}

QString TemplatesArea::hint() const
{
    for (const QMdiSubWindow *window : subWindowList())
        if (window->isVisible())
            return QString();
    return tr("Начало работы\n\n"
              "F5 — новый расчёт: выбрать кабель, тип линии, нормы и длины\n"
              "Ctrl+O — открыть готовый расчёт (типовые сценарии лежат в папке setups)\n"
              "«Вид» → «Дерево шаблонов» — посмотреть и править шаблоны кабелей, линий и помех\n"
              "F1 — справка");
}

void TemplatesArea::paintEvent(QPaintEvent *event)
{
    QMdiArea::paintEvent(event);
    const QString text = hint();
    if (text.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::WindowText));
    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 1.15);
    painter.setFont(font);
    painter.drawText(viewport()->rect().adjusted(20, 20, -20, -20), Qt::AlignCenter | Qt::TextWordWrap, text);
}

bool TemplatesArea::viewportEvent(QEvent *event)
{
    // Editor windows are shown and hidden, never destroyed: watch each as it arrives.
    if (event->type() == QEvent::ChildAdded)
        static_cast<QChildEvent *>(event)->child()->installEventFilter(this);
    return QMdiArea::viewportEvent(event);
}

bool TemplatesArea::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
        viewport()->update();
    return QMdiArea::eventFilter(watched, event);
}
