#pragma once

// Where the dialogs open: centred over the window that owns them.

class QWidget;

namespace corvane {

/// Places `dialog`, before it is first shown, so that the centre of its frame lies on the
/// centre of its owner's frame (the window of its parent widget) where the owner stands now.
/// The dialog's own frame is known only once the window manager has framed it: until then the
/// owner's frame, drawn by the same window manager, stands in for it, and the dialog is placed
/// again when its frame turns out different. Nothing happens without an owner.
void centreOverOwner(QWidget* dialog);

} // namespace corvane
