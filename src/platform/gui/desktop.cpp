// Desktop services, window manager hints and message boxes.

#include "platform/gui/desktop.h"

#include "platform/platform.h"
#include "x11.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <QWindow>

namespace corvane::platform {

bool openUrl(const QUrl& url)
{
    // Goes to xdg-open (or the portal), which is started and not waited for: false means it
    // could not be started at all.
    return QDesktopServices::openUrl(url);
}

void requestTitleBarOnly(const QWindow& window)
{
    // Qt says "a title bar without buttons" to X11 window managers only through the Motif
    // functions (move and resize) and leaves out the decorations, which managers that go by
    // the decorations read as all of them. Both are spelled out here.
    xcb_connection_t* connection = x11::connection();
    if (!connection)
        return;
    const xcb_atom_t hintsAtom = x11::atom(connection, "_MOTIF_WM_HINTS");
    if (hintsAtom == XCB_ATOM_NONE)
        return;
    enum : quint32 { HasFunctions = 1, HasDecorations = 2, Move = 4, Border = 2, Title = 8 };
    // Which fields count, the functions, the decorations, the input mode, the status.
    const quint32 hints[5] = {HasFunctions | HasDecorations, Move, Border | Title, 0, 0};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window.winId()), hintsAtom, hintsAtom, 32, 5,
                        hints);
    xcb_flush(connection);
}

namespace {

void showMessage(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(icon, title, QString(), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.setText(lineBreaks(text));
    box.exec();
}

} // namespace

void showWarning(QWidget* owner, const QString& title, const QString& text)
{
    showMessage(owner, QMessageBox::Warning, title, text);
}

void showError(QWidget* owner, const QString& title, const QString& text)
{
    showMessage(owner, QMessageBox::Critical, title, text);
}

} // namespace corvane::platform
