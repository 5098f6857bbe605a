// The user's short date format. Qt's short formats show two-digit years; the launcher shows
// the build date with four, so the year is widened.

#include "platform/platform.h"

#include <QDate>
#include <QLocale>

namespace corvane::platform {

QString fullYearDateFormat(const QString& format)
{
    // Which 'y's are format letters and which are quoted text.
    QString letters = format;
    bool quoted = false;
    for (QChar& c : letters) {
        if (c == u'\'') {
            quoted = !quoted;
            c = u' ';
        } else if (quoted) {
            c = u' ';
        }
    }
    if (letters.contains(QLatin1String("yyyy")))
        return format;

    QString widened;
    widened.reserve(format.size() + 2);
    for (qsizetype i = 0; i < format.size();) {
        qsizetype run = 0;
        while (i + run < format.size() && letters[i + run] == u'y')
            ++run;
        if (run == 2) {
            widened += QLatin1String("yyyy");
            i += run;
        } else if (run > 0) {
            widened += format.mid(i, run);
            i += run;
        } else {
            widened += format[i++];
        }
    }
    return widened;
}

QString shortDate(QDate date)
{
    const QLocale locale = QLocale::system();
    return locale.toString(date, fullYearDateFormat(locale.dateFormat(QLocale::ShortFormat)));
}

} // namespace corvane::platform
