#pragma once

// The help: the compiled help file corvane.chm in the program folder, shown by the desktop's
// viewer for it, or the same pages as HTML beside it, shown by the web browser.

class QWidget;

namespace corvane {

class Translator;

/// Opens the help of the translator's program folder: corvane.chm when the desktop has a
/// viewer for CHM files, otherwise, or when the viewer fails, help/index.html in the browser.
/// When there is no corvane.chm file, says so at once in a warning owned by `owner`. The rest
/// happens later, without the window waiting: when nothing could be opened, a warning names
/// the file tried last. `owner` must not be null; `translator` must outlive it.
void openHelp(QWidget* owner, const Translator& translator);

} // namespace corvane
