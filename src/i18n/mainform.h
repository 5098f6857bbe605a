#pragma once

// Puts the main window's translatable texts on its controls by object name, and copies each
// on to the controls that must show the same text. The window hands over the table.

#include "i18n/translate.h"

#include <QList>
#include <QString>
#include <array>

class QObject;
class QWidget;

namespace corvane {

/// One lookup of the main window: the text, and the controls that show it.
struct MainFormText
{
    enum Kind { Caption, Hint };
    Kind kind;
    TextRef text;
    QStringView target;                ///< object name of the control that takes the text
    std::array<QStringView, 2> copyTo; ///< controls that then take the target's text
};

/// Looks up every text of `texts`, in their order, and applies it to `frm_Main` and its
/// children.
void TranslateMainForm(QWidget& frm_Main, const Translator& translator,
                       const QList<MainFormText>& texts);

/// Sets a control's caption ('&' convention) on a label, menu or menu entry.
void setCaption(QObject* control, const QString& caption);
QString caption(const QObject* control);

/// Sets a control's hint; the status bar shows its long form when the pointer is on it.
void setHint(QObject* control, const QString& hint);
QString hint(const QObject* control);

} // namespace corvane
