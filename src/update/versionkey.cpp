#include "update/versionkey.h"

#include <QString>

namespace corvane {

std::optional<int> versionKey(QStringView version)
{
    QString padded = version.toString();
    if (padded.size() == 3)
        padded += u".0.0";
    else if (padded.size() == 5)
        padded += u".0";
    if (padded.size() < 7)
        return std::nullopt;

    int key = 0;
    for (qsizetype i = 0; i < 7; i += 2) {
        const char16_t c = padded.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        key = key * 10 + (c - u'0');
    }
    return key;
}

bool isNewerVersion(QStringView offered, QStringView own)
{
    if (offered.isEmpty())
        return false;
    const std::optional<int> offeredKey = versionKey(offered);
    const std::optional<int> ownKey = versionKey(own);
    return offeredKey && ownKey && *offeredKey > *ownKey;
}

} // namespace corvane
