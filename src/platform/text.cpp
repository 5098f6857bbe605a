#include "platform/platform.h"

namespace corvane::platform {

QString lineBreaks(QStringView text)
{
    QString lines = text.toString();
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    return lines;
}

} // namespace corvane::platform
