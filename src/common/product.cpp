#include "common/product.h"

namespace corvane {

QUrl homePage()
{
    return QUrl(QStringLiteral(CORVANE_HOMEPAGE));
}

QUrl updateInfoAddress()
{
    return QUrl(QStringLiteral(CORVANE_HOMEPAGE "update.ini"));
}

} // namespace corvane
