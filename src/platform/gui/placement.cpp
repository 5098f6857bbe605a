// Where the dialogs open: centred over the window that owns them.

#include "platform/gui/desktop.h"

#include <QEvent>
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

class OwnerCentring final : public QObject
{
public:
    OwnerCentring(QWidget* dialog, const QWidget& owner)
        : QObject(dialog)
        , m_dialog(dialog)
        , m_owner(owner)
    {
        dialog->move(centred(frameMargins(owner)));
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The first move the window system reports with the frame known is the window manager
        // framing the dialog: placed again by its own frame, and from then on left where the
        // user puts it.
        if (watched == m_dialog && event->type() == QEvent::Move && event->spontaneous()) {
            const QMargins margins = frameMargins(*m_dialog);
            if (!margins.isNull()) {
                m_dialog->removeEventFilter(this);
                if (const QPoint position = centred(margins); position != m_dialog->pos())
                    m_dialog->move(position);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    // Where the dialog's frame goes when it has `margins`. A window's position is that of its
    // frame's corner.
    QPoint centred(const QMargins& margins) const
    {
        const QRect ownerFrame = m_owner.windowHandle() ? m_owner.windowHandle()->frameGeometry()
                                                        : m_owner.frameGeometry();
        const QSize frame = m_dialog->size().grownBy(margins);
        return {ownerFrame.x() + (ownerFrame.width() - frame.width()) / 2,
                ownerFrame.y() + (ownerFrame.height() - frame.height()) / 2};
    }

    QWidget* m_dialog;
    const QWidget& m_owner;
};

} // namespace

void centreOverOwner(QWidget* dialog)
{
    if (const QWidget* owner = dialog->parentWidget())
        new OwnerCentring(dialog, *owner->window());
}

} // namespace corvane::platform
