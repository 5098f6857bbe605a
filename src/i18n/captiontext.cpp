#include "i18n/captiontext.h"

namespace corvane {

QString labelText(QStringView caption)
{
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (++i == caption.size())
                break; // a trailing '&' marks nothing and shows nothing
        }
        shown += caption[i];
    }
    return shown;
}

QString longHint(QStringView hint)
{
    const qsizetype bar = hint.indexOf(u'|');
    return (bar < 0 ? hint : hint.mid(bar + 1)).toString();
}

} // namespace corvane
