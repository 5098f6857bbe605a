#pragma once

// How a looked-up text is shown. Captions follow the accelerator convention of menus and
// buttons: a single '&' marks the next character and is not shown, "&&" shows one '&'.
// Hints may hold a short and a long form separated by '|'; the status bar shows the long one.

#include <QString>

namespace corvane {

/// `caption` as a label shows it: marking '&'s dropped, "&&" made one '&'.
QString labelText(QStringView caption);

/// The part of `hint` after its first '|', or the whole hint when it has none.
QString longHint(QStringView hint);

} // namespace corvane
