#pragma once

// The part of the operating-system layer that needs the window system: opening documents,
// bringing the window forward for a later start, window manager hints, where dialogs open,
// the moment a window is first on the screen, and message boxes. Main thread only.

#include <functional>

class QByteArray;
class QString;
class QUrl;
class QWidget;
class QWindow;

namespace corvane::platform {

// ---- Documents ------------------------------------------------------------------------------

/// Hands `url` (a web address or a local file) to the desktop's opener. False when no opener
/// could be started; what the opener then finds is not known here.
bool openUrl(const QUrl& url);

// ---- Desktop session ------------------------------------------------------------------------

/// Brings `window` to the front for a later start that handed over to this copy, using that
/// start's desktop activation token (empty when it brought none) for this once. On X11 it also
/// ends the start's startup notification, so that the desktop stops showing it as busy.
void activateForStart(QWidget* window, const QByteArray& token);

// ---- Windows --------------------------------------------------------------------------------

/// Asks the window manager for a title bar and a border on `window` and no button at all (no
/// window menu, minimise, maximise or close), beyond what Qt's window flags ask for. Call
/// between its creation and its first showing (from a show event), as Qt rewrites the hints
/// whenever the flags change.
void requestTitleBarOnly(const QWindow& window);

/// Places `dialog`, before it is first shown, so that the centre of its frame lies on the
/// centre of its owner's frame (the window of its parent widget) where the owner stands now.
/// The dialog's own frame is known only once the window manager has framed it: until then the
/// owner's frame, drawn by the same window manager, stands in for it, and the dialog is placed
/// again when its frame turns out different. Nothing happens without an owner.
void centreOverOwner(QWidget* dialog);

/// Places `window`, before it is first shown, so that the centre of its frame lies on the
/// centre of the primary screen's work area: by its client area until the window manager has
/// framed it, then by its frame.
void centreOnScreen(QWidget* window);

/// Runs `action` once, on the event loop's first turn after `window` has been painted on the
/// screen: by then the whole window is drawn and the frame handed to the window system. A
/// paint into a window that is not exposed (not mapped yet, or never shown on the screen) does
/// not count. Nothing runs once the window is gone.
void afterFirstFrame(QWidget* window, std::function<void()> action);

// ---- Message boxes --------------------------------------------------------------------------

/// A modal warning box owned by `owner` with one OK button. `text` is plain text; a carriage
/// return in it breaks the line.
void showWarning(QWidget* owner, const QString& title, const QString& text);

/// A modal error box, as for errors that end an action: error icon, one OK button.
void showError(QWidget* owner, const QString& title, const QString& text);

} // namespace corvane::platform
