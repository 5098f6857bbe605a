// Waiting for a window's first frame on the screen.

#include "platform/gui/desktop.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace corvane::platform {

namespace {

// Watches the window's paints until one lands in an exposed window, then runs the action from
// the event loop and goes. A child of the window, so it goes with the window too.
class FirstFrameWatch final : public QObject
{
public:
    FirstFrameWatch(QWidget* window, std::function<void()> action)
        : QObject(window)
        , m_action(std::move(action))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        const QWindow* handle = static_cast<QWidget*>(watched)->windowHandle();
        if (!handle || !handle->isExposed())
            return false;
        watched->removeEventFilter(this);
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_action();
                deleteLater();
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    std::function<void()> m_action;
};

} // namespace

void afterFirstFrame(QWidget* window, std::function<void()> action)
{
    new FirstFrameWatch(window, std::move(action));
}

} // namespace corvane::platform
