#pragma once

// What the windows share of their look. Their layouts are in pixels at 96 dots per inch, and so
// are their fonts.

#include <QFont>

namespace corvane {

inline QFont pixelFont(const QString& family, int pixelSize)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    return font;
}

/// The windows' font: Tahoma at 8 points.
inline QFont windowFont()
{
    return pixelFont(QStringLiteral("Tahoma"), 11);
}

} // namespace corvane
