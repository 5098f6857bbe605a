#pragma once

// The help: the compiled help file corvane.chm in the program folder, shown by the desktop's
// viewer for it, or the same pages as HTML beside it, shown by the web browser.

class QWidget;

namespace corvane {

class Translator;

/// Opens the help of the translator's program folder: corvane.chm when the desktop has an
/// application for CHM files, otherwise help/index.html in the browser. When there is no
/// corvane.chm file, or nothing could be handed to the opener, says so in a warning owned by
/// `owner`; the second names the file tried last.
void openHelp(QWidget* owner, const Translator& translator);

} // namespace corvane
