#include "settings/help.h"

#include "i18n/texts.h"
#include "i18n/translate.h"
#include "i18n/warning.h"
#include "platform/platform.h"

#include <QWidget>

namespace corvane {

namespace {

void warnNotOpened(QWidget* owner, const Translator& translator, const QString& file)
{
    showTwoLineWarning(owner, translator.Translate(texts::HelpNotOpened), file);
}

// The same pages as HTML, beside the compiled help, in the web browser; when they are not
// there or cannot be opened, the warning names the file tried last.
void openPages(QWidget* owner, const Translator& translator, const QString& chm)
{
    const QString html = translator.programFolder() + QStringLiteral("help/index.html");
    if (!platform::isRegularFile(html)) {
        warnNotOpened(owner, translator, chm);
        return;
    }
    platform::openFile(html, owner, [owner, &translator, html](bool opened) {
        if (!opened)
            warnNotOpened(owner, translator, html);
    });
}

} // namespace

void openHelp(QWidget* owner, const Translator& translator)
{
    const QString chm = translator.programFolder() + QStringLiteral("corvane.chm");
    if (!platform::isRegularFile(chm)) {
        showTwoLineWarning(owner, translator, texts::HelpMissing, texts::HelpRemedy);
        return;
    }
    // Handed to the opener only when the desktop has a viewer for it: without one the opener
    // would give it to the web browser, which offers to download it. A viewer that fails (its
    // program gone) leaves the pages.
    platform::findDefaultApplication(QStringLiteral("application/vnd.ms-htmlhelp"), owner,
                                     [owner, &translator, chm](bool viewer) {
                                         if (!viewer) {
                                             openPages(owner, translator, chm);
                                             return;
                                         }
                                         platform::openFile(
                                             chm, owner, [owner, &translator, chm](bool opened) {
                                                 if (!opened)
                                                     openPages(owner, translator, chm);
                                             });
                                     });
}

} // namespace corvane
