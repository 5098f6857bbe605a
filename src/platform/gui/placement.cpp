// Where the windows open: the main window centred on the screen, the dialogs over the window
// that owns them, each by its frame.

#include "platform/gui/desktop.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace corvane::platform {

namespace {

// The frames are asked of the windows themselves: a widget keeps what it learnt of its frame
// until it moves, and a window that the window manager frames after it has been placed does
// not move.
QMargins frameMargins(const QWidget& window)
{
    return window.windowHandle() ? window.windowHandle()->frameMargins() : QMargins();
}

/// Keeps a window's frame centred on an area until the window manager has framed it.
class FrameCentring final : public QObject
{
public:
    using Area = std::function<QRect()>;

    FrameCentring(QWidget* window, Area area, const QMargins& guess)
        : QObject(window)
        , m_window(window)
        , m_area(std::move(area))
    {
        window->move(centred(guess));
        window->installEventFilter(this);
        // A window manager that keeps the client where it was asked for reports no move at
        // all: by the first frame on the screen it has framed the window.
        afterFirstFrame(window, [this] { placeByFrame(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Move && event->spontaneous())
            placeByFrame();
        return QObject::eventFilter(watched, event);
    }

private:
    // Once the frame is known, which the window manager framing the window has made it, the
    // window is placed again by its own frame, and from then on left where the user puts it.
    void placeByFrame()
    {
        const QMargins margins = frameMargins(*m_window);
        if (m_placed || margins.isNull())
            return;
        m_placed = true;
        m_window->removeEventFilter(this);
        // Placed by its client area: what the widget knows of its frame may be older.
        const QRect client(centred(margins) + QPoint(margins.left(), margins.top()),
                           m_window->size());
        if (client != m_window->geometry())
            m_window->setGeometry(client);
    }

    // Where the window's frame goes when it has `margins`. A window's position is that of its
    // frame's corner.
    QPoint centred(const QMargins& margins) const
    {
        const QRect area = m_area();
        const QSize frame = m_window->size().grownBy(margins);
        return {area.x() + (area.width() - frame.width()) / 2,
                area.y() + (area.height() - frame.height()) / 2};
    }

    QWidget* m_window;
    Area m_area;
    bool m_placed = false;
};

} // namespace

void centreOverOwner(QWidget* dialog)
{
    const QWidget* parent = dialog->parentWidget();
    if (!parent)
        return;
    // The owner's frame, drawn by the same window manager, is the best guess at the dialog's.
    const QWidget& owner = *parent->window();
    new FrameCentring(
        dialog,
        [&owner] {
            return owner.windowHandle() ? owner.windowHandle()->frameGeometry()
                                        : owner.frameGeometry();
        },
        frameMargins(owner));
}

void centreOnScreen(QWidget* window)
{
    // No frame is known before the first window is framed: placed by its client area first.
    new FrameCentring(window, [] { return QGuiApplication::primaryScreen()->availableGeometry(); },
                      {});
}

} // namespace corvane::platform
