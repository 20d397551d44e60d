#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QVariantMap>

class QMdiArea;
class QMdiSubWindow;

// Keeps the windows of an MDI area on screen and in order. "Упорядочить" gives the area's main
// window (the graph) the larger left part and stacks the others beside it; an arrangement the
// user has not touched since follows the area's size (showing the template tree narrows it), and
// a window the area's shrinking would leave partly outside is moved and cut back into it.
class WindowArranger : public QObject
{
    Q_OBJECT
public:
    // `primary` (may be null) is the window tile() gives a part of its own.
    explicit WindowArranger(QMdiArea *area, QMdiSubWindow *primary = nullptr, QObject *parent = nullptr);

    // The primary window on the left, at least its minimum width, the others one above the other
    // beside it; one window fills the area; without the primary, or with more than four windows,
    // the area's own tiling.
    void tile();
    void cascade();

    // Where the named shown windows are, as fractions of the area, for the user's settings.
    QVariantMap layout() const;
    // Puts every shown window where `layout` has it; false, with nothing moved, unless `layout`
    // has a place for each.
    bool applyLayout(const QVariantMap &layout);

    // The windows not hidden, in the order they were created.
    QList<QMdiSubWindow *> shownWindows() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Mode { Free, Tiled, Restored };
    void remember(Mode mode);
    bool untouched() const;
    void keepInside();

    QMdiArea *m_area;
    QPointer<QMdiSubWindow> m_primary;
    Mode m_mode = Mode::Free;
    QList<QPair<QMdiSubWindow *, QRect>> m_placed; // what the last arrangement gave each window
    QVariantMap m_restored;
};
