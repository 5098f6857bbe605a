#pragma once

// Puts the main window's translatable texts on its controls by object name, and copies each
// on to the controls that must show the same text.

#include <QString>

class QObject;
class QWidget;

namespace corvane {

class Translator;

/// Looks up and applies every text of texts::mainForm() to `frm_Main` and its children.
void TranslateMainForm(QWidget& frm_Main, const Translator& translator);

/// Sets a control's caption ('&' convention) on a label, menu or menu entry.
void setCaption(QObject* control, const QString& caption);
QString caption(const QObject* control);

/// Sets a control's hint; the status bar shows its long form when the pointer is on it.
void setHint(QObject* control, const QString& hint);
QString hint(const QObject* control);

} // namespace corvane
