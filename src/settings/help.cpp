#include "settings/help.h"

#include "i18n/texts.h"
#include "i18n/translate.h"
#include "i18n/warning.h"
#include "platform/gui/desktop.h"
#include "platform/platform.h"

#include <QUrl>

namespace corvane {

namespace {

// Opens `chm` or the pages beside it; the file that could not be opened, or empty.
QString openViewerOrPages(const QString& programFolder, const QString& chm)
{
    // Handed to the opener only when the desktop has a viewer for it: otherwise the opener
    // fails where nobody sees it. The same pages as HTML, beside it, open in any browser.
    if (platform::hasApplicationFor(QStringLiteral("application/vnd.ms-htmlhelp")) &&
        platform::openUrl(QUrl::fromLocalFile(chm)))
        return {};
    const QString html = programFolder + QStringLiteral("help/index.html");
    if (!platform::isRegularFile(html))
        return chm;
    return platform::openUrl(QUrl::fromLocalFile(html)) ? QString() : html;
}

} // namespace

void openHelp(QWidget* owner, const Translator& translator)
{
    const QString chm = translator.programFolder() + QStringLiteral("corvane.chm");
    if (!platform::isRegularFile(chm)) {
        showTwoLineWarning(owner, translator, texts::HelpMissing, texts::HelpRemedy);
    } else if (const QString tried = openViewerOrPages(translator.programFolder(), chm);
               !tried.isEmpty()) {
        showTwoLineWarning(owner, translator.Translate(texts::HelpNotOpened), tried);
    }
}

} // namespace corvane
