#pragma once

// What the windows share of their look. Their layouts are in pixels at 96 dots per inch, and so
// are their fonts.

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

namespace corvane {

/// The grey of the main window's texts: the tool captions show it while the pointer is
/// elsewhere.
inline const QColor GreyText(0x80, 0x80, 0x80);

inline QFont pixelFont(const QString& family, int pixelSize)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    return font;
}

/// The windows' font: Tahoma at 8 points where it is installed, else the desktop's own font at
/// that size. Asking for a missing Tahoma would make fontconfig search for a stand-in at every
/// start (about a millisecond), only to pick the desktop's sans font in the end.
inline QFont windowFont()
{
    static const bool installed =
        QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive);
    return pixelFont(installed ? QStringLiteral("Tahoma") : QGuiApplication::font().family(), 11);
}

} // namespace corvane
