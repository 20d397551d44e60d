#include "app/windowarranger.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>

namespace {

// The least a window can take: what is set on it, or what its frame and contents need.
QSize smallest(const QMdiSubWindow *window)
{
    return window->minimumSize().expandedTo(window->minimumSizeHint());
}

} // namespace

WindowArranger::WindowArranger(QMdiArea *area, QMdiSubWindow *primary, QObject *parent)
    : QObject(parent)
    , m_area(area)
    , m_primary(primary)
{
    m_area->viewport()->installEventFilter(this);
}

QList<QMdiSubWindow *> WindowArranger::shownWindows() const
{
    // Not isVisible(): the area's tab need not be the current one.
    QList<QMdiSubWindow *> shown;
    for (QMdiSubWindow *window : m_area->subWindowList(QMdiArea::CreationOrder))
        if (!window->isHidden())
            shown << window;
    return shown;
}

void WindowArranger::tile()
{
    const QList<QMdiSubWindow *> windows = shownWindows();
    for (QMdiSubWindow *window : windows)
        if (window->isMaximized() || window->isMinimized())
            window->showNormal();
    const QRect area = m_area->viewport()->rect();
    const bool primaryShown = m_primary && windows.contains(m_primary.data());
    if (windows.size() == 1) {
        windows.first()->setGeometry(area);
    } else if (primaryShown && windows.size() <= 4) {
        // The graph is wider than high and the tables are read a few rows at a time.
        const int left = std::max(smallest(m_primary).width(), area.width() * 3 / 5);
        m_primary->setGeometry(0, 0, left, area.height());
        QList<QMdiSubWindow *> others = windows;
        others.removeOne(m_primary.data());
        for (int i = 0; i < others.size(); ++i) {
            const int top = area.height() * i / int(others.size());
            const int bottom = area.height() * (i + 1) / int(others.size());
            others.at(i)->setGeometry(left, top, area.width() - left, bottom - top);
        }
    } else if (!windows.isEmpty()) {
        m_area->tileSubWindows();
    }
    remember(Mode::Tiled);
}

void WindowArranger::cascade()
{
    m_area->cascadeSubWindows();
    remember(Mode::Free);
}

QVariantMap WindowArranger::layout() const
{
    QVariantMap places;
    const QSizeF area = m_area->viewport()->size();
    if (area.isEmpty())
        return places;
    for (const QMdiSubWindow *window : shownWindows()) {
        if (window->objectName().isEmpty())
            continue;
        const QRect g = window->geometry();
        places.insert(window->objectName(), QVariantList{g.x() / area.width(), g.y() / area.height(),
                                                         g.width() / area.width(), g.height() / area.height()});
    }
    return places;
}

bool WindowArranger::applyLayout(const QVariantMap &places)
{
    const QList<QMdiSubWindow *> windows = shownWindows();
    if (windows.isEmpty())
        return false;
    QList<QRectF> fractions;
    for (const QMdiSubWindow *window : windows) {
        const QVariantList place = places.value(window->objectName()).toList();
        if (window->objectName().isEmpty() || place.size() != 4)
            return false;
        fractions << QRectF(place.at(0).toDouble(), place.at(1).toDouble(), place.at(2).toDouble(),
                            place.at(3).toDouble());
    }
    const QSizeF area = m_area->viewport()->size();
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow *window = windows.at(i);
        if (window->isMaximized() || window->isMinimized())
            window->showNormal();
        const QRectF f = fractions.at(i);
        window->setGeometry(QRectF(f.x() * area.width(), f.y() * area.height(), f.width() * area.width(),
                                   f.height() * area.height())
                                .toRect());
    }
    m_restored = places;
    keepInside();
    remember(Mode::Restored);
    return true;
}

void WindowArranger::remember(Mode mode)
{
    m_mode = mode;
    m_placed.clear();
    for (QMdiSubWindow *window : shownWindows())
        m_placed.append({window, window->geometry()});
}

bool WindowArranger::untouched() const
{
    const QList<QMdiSubWindow *> windows = shownWindows();
    if (m_mode == Mode::Free || windows.size() != m_placed.size())
        return false;
    for (int i = 0; i < windows.size(); ++i)
        if (m_placed.at(i).first != windows.at(i) || m_placed.at(i).second != windows.at(i)->geometry())
            return false;
    return true;
}

void WindowArranger::keepInside()
{
    const QRect area = m_area->viewport()->rect();
    for (QMdiSubWindow *window : shownWindows()) {
        if (window->isMaximized() || window->isMinimized())
            continue;
        QRect g = window->geometry();
        const QSize least = smallest(window);
        g.setWidth(std::max(least.width(), std::min(g.width(), area.width())));
        g.setHeight(std::max(least.height(), std::min(g.height(), area.height())));
        g.moveLeft(std::max(0, std::min(g.left(), area.right() + 1 - g.width())));
        g.moveTop(std::max(0, std::min(g.top(), area.bottom() + 1 - g.height())));
        if (g != window->geometry())
            window->setGeometry(g);
    }
}

bool WindowArranger::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_area->viewport() && event->type() == QEvent::Resize) {
        if (!untouched()) {
            keepInside();
            m_mode = Mode::Free;
        } else if (m_mode == Mode::Tiled) {
            tile();
        } else {
            applyLayout(m_restored);
        }
    }
    return QObject::eventFilter(watched, event);
}
