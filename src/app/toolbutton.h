#pragma once

// The picture buttons of the main window and the grey category captions beside them.

#include <QLabel>
#include <QPointer>
#include <QWidget>

class QMouseEvent;

namespace corvane {

struct ToolEntry;
class ToolPictures;

/// One tool: a panel btn_<id> holding its icon img_<id> and caption lbl_<id>. The caption
/// turns black while the pointer is over the icon or caption, and any mouse button pressed on
/// them moves the whole button down by one pixel until it is released. A left click released
/// inside the icon, caption or panel emits clicked(); a double click's second press does not.
/// Only the left button captures the mouse: while another is held, the pointer's moves over
/// other tools show as they do with no button held.
class ToolButton : public QWidget
{
    Q_OBJECT
public:
    /// `pictures`, when given, supplies the picture on screens that are not scaled.
    ToolButton(const ToolEntry& tool, QWidget* parent, ToolPictures* pictures = nullptr);

    QLabel* image() const { return m_image; }
    QLabel* caption() const { return m_caption; }

Q_SIGNALS:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool handleMouse(QWidget* control, QEvent* event, bool feedback);
    void followPointer(const QMouseEvent& move, QWidget* control);
    void setPressed(bool pressed);
    void setCaptionColor(QColor color);

    QLabel* m_image;
    QLabel* m_caption;
    QPoint m_restPosition;
    QWidget* m_clickTarget = nullptr; ///< where the left button went down for a click
    QPointer<QWidget> m_underPointer; ///< while a button is held: what the pointer is over
    bool m_pressed = false;
};

/// A category caption (Data, Multimedia, …): takes no input and is drawn as engraved, the way
/// disabled text is drawn: once in the light colour one pixel right and down, then in the
/// shadow colour in its place.
class CategoryLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace corvane
