#include "i18n/warning.h"

#include "common/product.h"
#include "i18n/translate.h"
#include "platform/gui/desktop.h"

namespace corvane {

void showTwoLineWarning(QWidget* owner, const QString& problem, const QString& secondLine)
{
    platform::showWarning(owner, MessageTitle, problem + u'\r' + secondLine);
}

void showTwoLineWarning(QWidget* owner, const Translator& translator, const TextRef& problem,
                        const TextRef& remedy)
{
    // Looked up anew for every message, the problem first.
    const QString first = translator.Translate(problem);
    showTwoLineWarning(owner, first, translator.Translate(remedy));
}

} // namespace corvane
