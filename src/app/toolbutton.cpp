#include "app/toolbutton.h"

#include "app/toolcatalog.h"
#include "app/toolpictures.h"
#include "common/layout.h"
#include "common/look.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

namespace corvane {

namespace {

const QColor HoverColor(0x00, 0x00, 0x00);

QPixmap toolIcon(QStringView name, ToolPictures* pictures)
{
    // On an unscaled screen the icon below yields the 36 px drawing as it is, so that one is
    // read alone: decoding the 72 px drawing too would only delay the window's first show.
    if (!screenIsScaled()) {
        if (pictures) {
            if (const QImage picture = pictures->picture(name); !picture.isNull())
                return QPixmap::fromImage(picture);
        }
        return QPixmap(toolPicturePath(name, layout::IconSize));
    }
    // On a scaled screen the 72 px drawing is there for the icon to pick, so it stays sharp.
    QPixmap pixmap(toolPicturePath(name, 2 * layout::IconSize));
    pixmap.setDevicePixelRatio(2.0);
    QIcon icon;
    icon.addFile(toolPicturePath(name, layout::IconSize),
                 QSize(layout::IconSize, layout::IconSize));
    icon.addPixmap(pixmap);
    return icon.pixmap(QSize(layout::IconSize, layout::IconSize));
}

// What a screen reader sees of a tool: a button named by its caption, described by its
// description, that can be pressed.
class ToolButtonAccessible : public QAccessibleWidget
{
public:
    explicit ToolButtonAccessible(ToolButton* button)
        : QAccessibleWidget(button, QAccessible::Button)
    {}

    QString text(QAccessible::Text kind) const override
    {
        const auto* button = static_cast<const ToolButton*>(widget());
        switch (kind) {
        case QAccessible::Name:
            return button->caption()->text();
        case QAccessible::Description:
            return button->image()->statusTip();
        default:
            return QAccessibleWidget::text(kind);
        }
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& name) override
    {
        if (name == pressAction())
            Q_EMIT static_cast<ToolButton*>(widget())->clicked();
    }
};

QAccessibleInterface* accessibleToolButton(const QString& className, QObject* object)
{
    if (className == QLatin1String(ToolButton::staticMetaObject.className()))
        return new ToolButtonAccessible(static_cast<ToolButton*>(object));
    return nullptr;
}

} // namespace

ToolButton::ToolButton(const ToolEntry& tool, QWidget* parent, ToolPictures* pictures)
    : QWidget(parent)
    , m_image(new QLabel(this))
    , m_caption(new QLabel(this))
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(accessibleToolButton);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);

    setObjectName(u"btn_" + tool.id);
    m_image->setObjectName(u"img_" + tool.id);
    m_caption->setObjectName(u"lbl_" + tool.id);

    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(false); // the row's colour shows through the panel
    m_restPosition = QPoint(layout::buttonLeft(tool.position), layout::RowBorder);
    setGeometry(QRect(m_restPosition, QSize(layout::ButtonWidth, layout::ButtonHeight)));

    m_image->setAlignment(Qt::AlignCenter);
    m_image->setPixmap(toolIcon(tool.icon, pictures));

    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_caption->setWordWrap(true);
    m_caption->setText(tool.caption.defaultText.toString());

    for (QLabel* control : {m_image, m_caption}) {
        control->setFocusPolicy(Qt::NoFocus);
        control->installEventFilter(this);
    }
}

void ToolButton::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_image->setGeometry(0, 0, width(), layout::ImageHeight);
    m_caption->setGeometry(0, layout::ImageHeight, width(), height() - layout::ImageHeight);
}

void ToolButton::setPressed(bool pressed)
{
    if (pressed == m_pressed)
        return;
    m_pressed = pressed;
    // Pressed, the button is laid out with a top margin of one pixel: it moves down by one
    // and becomes one pixel shorter.
    const int margin = pressed ? 1 : 0;
    setGeometry(m_restPosition.x(), m_restPosition.y() + margin, layout::ButtonWidth,
                layout::ButtonHeight - margin);
}

void ToolButton::setCaptionColor(QColor color)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
}

bool ToolButton::eventFilter(QObject* watched, QEvent* event)
{
    // Mouse buttons on the icon and caption are handled here and go no further, or the panel
    // would take them as its own as well.
    if ((watched == m_image || watched == m_caption) &&
        handleMouse(static_cast<QWidget*>(watched), event, true))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool ToolButton::event(QEvent* event)
{
    // The panel itself shows no hover or press feedback, but a click on it counts.
    if (handleMouse(this, event, false))
        return true;
    return QWidget::event(event);
}

bool ToolButton::handleMouse(QWidget* control, QEvent* event, bool feedback)
{
    switch (event->type()) {
    case QEvent::Enter:
        if (feedback)
            setCaptionColor(HoverColor);
        return false;
    case QEvent::Leave:
        if (feedback)
            setCaptionColor(GreyText);
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        m_underPointer = control;
        if (feedback)
            setPressed(true);
        // The second press of a double click starts nothing: only a plain press arms a click.
        if (mouse->button() == Qt::LeftButton)
            m_clickTarget = event->type() == QEvent::MouseButtonPress ? control : nullptr;
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        if (mouse->button() == Qt::LeftButton) {
            const bool click = m_clickTarget == control && control->rect().contains(at);
            m_clickTarget = nullptr;
            if (click)
                Q_EMIT clicked();
            // The left button holds the mouse capture, so its release always ends the press.
            if (feedback)
                setPressed(false);
        } else if (feedback) {
            // The other buttons take no capture: only a release over the tool's icon or caption
            // ends the press. The release comes to the control that was pressed wherever it
            // happens, so its place is looked up among both.
            const QPoint onTool = control->mapTo(this, at);
            if (m_image->geometry().contains(onTool) || m_caption->geometry().contains(onTool))
                setPressed(false);
        }
        return true;
    }
    case QEvent::MouseMove: {
        // Qt gives the pressed control every move while any button is held. Only the left
        // button holds the mouse capture, though: with the right or middle one held, the caption
        // and the status bar follow the pointer from control to control, as with none held.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->buttons() & (Qt::RightButton | Qt::MiddleButton) &&
            !(mouse->buttons() & Qt::LeftButton))
            followPointer(*mouse, control);
        return false;
    }
    default:
        return false;
    }
}

void ToolButton::followPointer(const QMouseEvent& move, QWidget* control)
{
    QWidget* top = window();
    const QPoint inWindow = control->mapTo(top, move.position().toPoint());
    QWidget* under = top->rect().contains(inWindow) ? top->childAt(inWindow) : nullptr;
    if (under == m_underPointer)
        return;
    // The crossings Qt would have sent without the button held; once it is released, Qt sends
    // its own, which end in the same state.
    if (m_underPointer) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(m_underPointer, &leave);
    }
    m_underPointer = under;
    if (under) {
        QEnterEvent enter(under->mapFrom(top, inWindow), inWindow, move.globalPosition());
        QCoreApplication::sendEvent(under, &enter);
    }
}

void CategoryLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const int flags = static_cast<int>(alignment()) | Qt::TextSingleLine;
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(area.translated(1, 1), flags, text());
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawText(area, flags, text());
}

} // namespace corvane
