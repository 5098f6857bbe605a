#pragma once

// The program's icon, which every window shows in its title bar, task bar entry and window
// switcher.

#include <QIcon>
#include <QString>

namespace corvane {

/// The pictures installed for the desktop's icon theme under the program's prefix (the
/// program folder is lib/corvane/ there), which the menu entry shows too, or, where one is not
/// installed, the same picture built into the program. Nothing is decoded until a window
/// system asks for the pictures.
QIcon applicationIcon(const QString& programFolder);

} // namespace corvane
